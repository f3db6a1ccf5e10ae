// CVellumDoc: the one document of the program, a wxDocument around
// CDocumentModel (DocumentModel.h). The model holds the images and their
// rules; this class adds the window side: the path name and the recent-file
// list, the modified flag, the title shown in the frame, the wait cursor and
// the views.
//
// Opening never closes the document through the framework: the document
// lives for the whole run and OnOpenDocument replaces its content, reading
// the new file before the old image goes.
#ifndef VELLUM_UI_VELLUMDOC_H
#define VELLUM_UI_VELLUMDOC_H

#include <functional>
#include <string>

#include <wx/docview.h>

#include "DialogLogic.h"
#include "DocumentModel.h"

class CVellumView;

class CVellumDoc : public wxDocument
{
public:
  CVellumDoc();

  vellum::CDocumentModel m_model;

  // Empties the document (model contents and title).
  bool DeleteContents() override;
  // The framework's start-up call does not scan; every later call scans one
  // page (New Scan).
  bool OnNewDocument() override;
  // Opens path with the model's open kind and page index; reports failures
  // to the user and returns true in every case.
  bool OnOpenDocument(const wxString &path) override;
  // Writes the image to path as the document's save kind behind the "Save in
  // progress" window, at full scale; clears the modified flag on success.
  // The framework's own writer (which truncates the file first) is never
  // used.
  bool OnSaveDocument(const wxString &path) override;

  // File > Save: nothing without an image or when unmodified; without a path
  // name, or when the write fails, Save As follows. True when written.
  bool Save() override;
  // File > Save As: the save dialog, then SaveAsTo. True when written.
  bool SaveAs() override;
  // Save As after the dialog: name as typed and the dialog's filter index
  // (1..5). Runs the resolution review for DjVu, completes the name, stores
  // "SaveDir"/"SaveType", writes, and on success takes the name as the path
  // name and sets the "last saved as" title.
  bool SaveAsTo(const std::string &name, int filterIndex);
  // Frameworks's close question: the document's own "Save %s first?".
  bool OnSaveModified() override { return AskSaveFirst(); }

  // "Save %s first?" when modified: false for Cancel; Yes runs the Save As
  // flow (SetSaveAsHook); a cancelled or failed save answers false and keeps
  // the changes; after a save or No the modified flag is cleared.
  bool AskSaveFirst();

  // The Save As flow, provided by the save command; none: nothing is saved.
  static void SetSaveAsHook(std::function<bool(CVellumDoc &)> hook);

  // Sets the title kept by the document and shown in the frame.
  void SetDocTitle(const std::string &title);
  std::string DocTitle() const { return m_model.m_strTitle; }

  // The settings and screen values rendering needs, with the view's layer.
  vellum::RenderEnv Env() const;

  // Zoom step for rendering a freshly decoded DjVu or IW44 page (the view's
  // fit rule applied to the page's size).
  int FitZoom(const CDibImage &page) const;

  // Rerender through the model with the current settings.
  int Rerender(bool useDither, bool fancyZoom, int zoom);

  CVellumView *View() const;

  // Image menu orientation and colour commands (ID_IMAGE_*): the undo copy,
  // the operation, the modified flag and the views; "Failed to rotate!"
  // when a rotation fails. False when the operation failed.
  bool ImageOperation(int commandId);
  // Edit > Undo: exchanges image and undo image (a second Undo redoes).
  bool UndoEdit();
  // Edit > Empty Undo Buffer, after the confirmation.
  void EmptyUndoBuffer();

  // What the settings dialogs need to know of the document (marks it
  // modified through this object).
  vellum::DialogDocument DialogDoc();

private:
  static std::function<bool(CVellumDoc &)> s_saveAs;
  wxDECLARE_DYNAMIC_CLASS(CVellumDoc);
};

#endif

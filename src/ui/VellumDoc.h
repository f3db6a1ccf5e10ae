// CVellumDoc: the one document of the program, a wxDocument around
// CDocumentModel (DocumentModel.h). The model holds the images and their
// rules; this class adds the window side: the path name, the modified flag,
// the title shown in the frame, the wait cursor, the dialogs and the views.
// It owns its commands: the edit, image, undo and save commands are in its
// event table (the framework routes the frame's menu events to it through
// the active view; the edit commands are VellumDocEdit.cpp).
//
// The document is created by the document template with the settings of
// the run and the frame that hosts it (FrameHost.h); it talks to its view
// through IDocumentView (DocumentView.h).
//
// Opening never closes the document through the framework: the document
// lives for the whole run and Open replaces its content, reading the new
// file before the old image goes.
#ifndef VELLUM_UI_VELLUMDOC_H
#define VELLUM_UI_VELLUMDOC_H

#include <functional>
#include <cstdint>
#include <string>
#include <vector>

#include <wx/docview.h>

#include "DialogLogic.h"
#include "DocumentModel.h"
#include "EditLogic.h"
#include "FrameLogic.h"
#include "Settings.h"

namespace vellum
{
class IDocumentView;
class IFrameHost;
} // namespace vellum
class CVellumView;

class CVellumDoc : public wxDocument
{
public:
  // settings: the run's, kept by the application; host: the frame, or
  // null (no window: nothing is shown, a DjVu page is not rendered).
  CVellumDoc(CVellumSettings &settings, vellum::IFrameHost *host);

  vellum::CDocumentModel m_model;

  // The document of the manager (the program has one); null before it is
  // created and after it is closed.
  static CVellumDoc *First(wxDocManager *manager);

  vellum::IFrameHost *Host() const { return m_pHost; }
  // The frame going away detaches itself (null).
  void SetHost(vellum::IFrameHost *host) { m_pHost = host; }

  // Opens path as kind (kKindNone, kKindUnknown or kKindAllSupported: the
  // kind from the file's name) at page pageIndex (0-based) of a document of
  // many pages. A failure is reported to the user and leaves the document
  // as it was.
  void Open(const std::string &path, int kind, int pageIndex);

  // Empties the document (model contents and title).
  bool DeleteContents() override;
  // The framework's start-up call does not scan; every later call scans one
  // page (New Scan).
  bool OnNewDocument() override;
  // The framework's open: Open(path, kKindNone, 0); true in every case.
  bool OnOpenDocument(const wxString &path) override;
  // Writes the image to path as the document's save kind behind the "Save in
  // progress" window, at full scale; clears the modified flag on success.
  // The framework's own writer (which truncates the file first) is never
  // used.
  bool OnSaveDocument(const wxString &path) override;

  // File > Save: nothing without an image or when unmodified; without a path
  // name or a save kind, or when the write fails, Save As follows. True when
  // written.
  bool Save() override;
  // File > Save As: the save dialog, then SaveAsTo. True when written.
  bool SaveAs() override;
  // Save As after the dialog: name as typed and the dialog's filter index
  // (1..5). Runs the resolution review for DjVu, completes the name, stores
  // "SaveDir"/"SaveType", writes, and on success takes the name as the path
  // name and sets the "last saved as" title. A document of pages saved whole
  // (a book, or a multi-page TIFF file as a book) is the new book from then
  // on, titled with its name and page.
  bool SaveAsTo(const std::string &name, int filterIndex);
  // Whether OnSaveDocument writes every page of the multi-page TIFF file
  // shown as one DjVu document (the DjVu save kind, whole-document scope;
  // not once the page has the book it was saved as).
  bool SavesTiffAsBook() const;
  // Frameworks's close question: the document's own "Save %s first?".
  bool OnSaveModified() override { return AskSaveFirst(); }

  // "Save %s first?" when modified: false for Cancel; Yes runs SaveAs() (or
  // the hook of SetSaveAsHook when one is set); a cancelled or failed save
  // answers false and keeps the changes; after a save or No the modified
  // flag is cleared.
  bool AskSaveFirst();
  // The same before the page shown is left for another page of the
  // document: "Save changes to page %d?".
  bool AskSavePageFirst();

  // Replaces the Save As that AskSaveFirst runs (none set: SaveAs()). The
  // program installs none; it is there for callers that script the flow.
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
  // The page rendered ahead at zoom with the settings in force (the model's
  // RenderAhead), and whether such a rendering is kept already.
  int RenderAhead(int zoom);
  bool IsRenderedAhead(int zoom) const;

  // The view showing the document, as the class the caller knows (the
  // frame, tests: CVellumView); the document itself uses ShownView().
  template <class V = CVellumView> V *View() const { return dynamic_cast<V *>(GetFirstView()); }
  vellum::IDocumentView *ShownView() const;

  // The enabling state of the document's part of the frame's commands
  // (image, modified flag; no scanner).
  vellum::FrameState CommandState() const;

  // Image menu orientation and colour commands (ID_IMAGE_*): the undo copy,
  // the operation, the modified flag and the views; "Failed to rotate!"
  // when a rotation fails. False when the operation failed.
  bool ImageOperation(int commandId);
  // Edit > Undo (Redo with redo): the image before (after) the last edit.
  bool UndoEdit(bool redo = false);
  // Edit > Empty Undo Buffer, after the confirmation.
  void EmptyUndoBuffer();

  // What the settings dialogs need to know of the document (marks it
  // modified through this object).
  vellum::DialogDocument DialogDoc();

  // ---------------------------------------------------- edit commands
  // Each takes the undo copy where it changes the image, works at full
  // scale (the view's rendering comes back afterwards), and shows its own
  // failure message. True when the image or the clipboard was changed.

  // Image > Crop: keeps the view's selection (none: nothing happens).
  bool CropToSelection();
  // Image > Resize: the Resize dialog, then Resample with its size and
  // method.
  bool ResizeImage();
  // Image > Resize after the dialog (tests call it without the dialog).
  bool ResampleTo(int width, int height, int method);
  // Edit > Copy: the selection (or the whole image) to the clipboard.
  bool CopySelection();
  // Edit > Cut: Copy, then the rectangle cleared to index 0 or black. A
  // rectangle that could not be put on the clipboard is not cleared.
  bool CutSelection();
  // Edit > Paste: with an image, the clipboard image waits to be placed
  // with the mouse (the view's place mode); without one, Paste As New.
  bool PasteFromClipboard();
  // Edit > Paste As New: the clipboard image replaces the document
  // ("Untitled clipboard image"); after "Save %s first?" when modified.
  bool PasteAsNew();
  // Edit > Clear: empties the document after "Save %s first?".
  bool ClearDocument();
  // Edit > Empty Clipboard.
  void EmptyClipboard();

  // The selection bitmap of rect (inclusive, top row 0) of the image as
  // held: a packed DIB block, empty after "Can't allocate memory for
  // selection!", "Selections of %d bit images is not supported", or for a
  // rectangle outside the image.
  std::vector<uint8_t> MakeSelectionBitmap(const vellum::SelRect &rect);

  // Places the pending pasted image with its first stored row at stored
  // row y, column x. 0 without a change: the image is shallower than the
  // pasted one (the paste stays pending), or the paste failed ("Failed to
  // insert sub-image!"; the pasted image is dropped). 1 when placed.
  int InsertAt(int x, int y);

  // The clipboard's image into target. For the document's own image the
  // document is emptied first (path name, modified flag, undo image), but
  // only once the clipboard's block has been read and checked. 0 when the
  // clipboard holds no image or a malformed one.
  int ReadClipboardInto(CDibImage &target);

private:
  // The question, its answers and the save behind Yes for AskSaveFirst and
  // AskSavePageFirst.
  bool AskToSave(const std::string &question);
  // Full-scale protocol around an operation: renders the page at full
  // scale when "Dither" or "FancyZoom" is on, and back at the view's zoom.
  struct FullScale
  {
    int zoom = 0;
    int rendered = 0;
  };
  FullScale BeginFullScale();
  void EndFullScale(const FullScale &state);
  // The view's selection rectangle, or the whole image when there is none.
  vellum::SelRect SelectionOrWhole() const;
  // The model changed under the view: modified flag, views, status panes.
  void EditDone();
  // The framework's new-document step: empty, unmodified, no path name.
  void BaseNewDocument();

  void OnCrop(wxCommandEvent &);
  void OnResize(wxCommandEvent &);
  void OnCut(wxCommandEvent &);
  void OnCopy(wxCommandEvent &);
  void OnPaste(wxCommandEvent &);
  void OnPasteNew(wxCommandEvent &);
  void OnClear(wxCommandEvent &);
  void OnEmptyClipboard(wxCommandEvent &);
  void OnUpdateEdit(wxUpdateUIEvent &);
  void OnSave(wxCommandEvent &);
  void OnSaveAs(wxCommandEvent &);
  void OnUpdateSave(wxUpdateUIEvent &);
  void OnUpdateSaveAs(wxUpdateUIEvent &);
  void OnImageOperation(wxCommandEvent &);
  void OnUpdateHasImage(wxUpdateUIEvent &);
  void OnUndo(wxCommandEvent &);
  void OnRedo(wxCommandEvent &);
  void OnEmptyUndo(wxCommandEvent &);
  void OnUpdateUndo(wxUpdateUIEvent &);
  void OnUpdateRedo(wxUpdateUIEvent &);

  CVellumSettings &m_settings;
  vellum::IFrameHost *m_pHost;
  static std::function<bool(CVellumDoc &)> s_saveAs;
  wxDECLARE_CLASS(CVellumDoc);
  wxDECLARE_EVENT_TABLE();
};

#endif

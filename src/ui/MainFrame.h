// CMainFrame: the main window. Menus, the toolbar with the zoom box, the
// three-pane status bar, the view's canvas and the selection bar (the
// directory browser, a wxAUI pane docked at the bottom or the top); the
// commands that are not the document's or the view's: open, scan, source,
// drops, exit and close, the settings dialogs, the bar toggle, help.
//
// The frame is the browser's IBrowserObserver: the browser opens files
// through the document, writes pane 0 and hides the bar for a slideshow.
// Print, Print Preview and Print Setup are the document manager's commands
// (the view's OnCreatePrintout); VellumApp.h enables them.
#ifndef VELLUM_UI_MAINFRAME_H
#define VELLUM_UI_MAINFRAME_H

#include <memory>
#include <string>
#include <vector>

#include <wx/aui/framemanager.h>
#include <wx/docview.h>

#include "BrowserPanel.h"
#include "DibImage.h"
#include "FrameLogic.h"
#include "ZoomLogic.h"

namespace vellum
{
class CPagePanel;
class IPageHost;
} // namespace vellum

class wxComboBox;
class wxDropTarget;
class CVellumDoc;
class CVellumView;

class CMainFrame : public wxDocParentFrame, public vellum::IBrowserObserver
{
public:
  CMainFrame(wxDocManager *manager);
  ~CMainFrame() override;

  // The view drawing in this frame (set by the view itself); its canvas
  // becomes the centre pane.
  void SetView(CVellumView *view);
  CVellumView *View() const { return m_pView; }
  CVellumDoc *Doc() const;

  // Title: "Vellum", or "<document title> - Vellum".
  void UpdateTitle();
  // Sets a status pane and repaints it at once.
  void SetPaneText(int index, const std::string &text);
  // Panes 1 and 2 from the document's image.
  void ShowImageInfo();
  void SelectZoomBoxEntry(int index);
  int ZoomBoxSelection() const;
  // Width of the frame's other control bars: the toolbar and the shown
  // selection bar.
  int BarsWidth() const;
  // Lists the browser's directory again (after a save into it, on Refresh).
  void RefreshBrowser();
  // The selection bar's content; null only while the frame is being built.
  vellum::CBrowserPanel *Browser() const { return m_pBrowser; }
  wxAuiManager &Aui() { return m_aui; }
  // The page-thumbnail panel (pages/PagePanel.h), shown beside the view for
  // a document of many pages while the "PageBar" setting is on.
  vellum::CPagePanel *Pages() const { return m_pPages; }
  bool IsPageBarShown() const;
  // The page pane and the page panel from the document's page (part of
  // ShowImageInfo).
  void ShowPageInfo();
  // The enabling state of the frame's commands now.
  vellum::FrameState CommandState() const;

  // The fit step of a page of this size and resolution in the area the
  // "WindowFit" and "ImageFit" settings give.
  int FitStepFor(vellum::Extent size, int xdpi, int ydpi) const;

  // Open command after the dialog: filterIndex 1..7 as in the filter table.
  void OpenWithChoice(const std::string &path, int filterIndex);
  // Files dropped on the window, opened in order; false when the drop was
  // cancelled at "Save %s first?".
  bool OpenDroppedFiles(const std::vector<std::string> &files);
  // New Scan and Select Source.
  void NewScan();
  void SelectSource();

  // A key pressed anywhere in the frame (the key hook): the command keys run
  // their command when it is enabled, the navigation keys (with the page or
  // the toolbar focused) page or scroll the view. False when the key is not
  // the frame's (the focused window gets it).
  bool HandleKey(int modifiers, int key, wxWindow *focus);
  // Runs a command when its update handler enables it; false otherwise.
  bool RunCommandIfEnabled(int command);

  wxMenu *RecentFilesMenu() const { return m_pRecentMenu; }

  // A drop target opening dropped files here; the view's canvas gets one
  // too, since a drop lands on the window under the pointer.
  wxDropTarget *MakeDropTarget();

  // After a successful open (any way): clears the stale status pane 0, and
  // the Open and Save dialogs and the selection bar go to the file's folder.
  void OnDocumentOpened(const std::string &path);

  // IBrowserObserver. A slide is read into the frame's own record, never
  // into the document.
  void OnBrowserStatus(const std::string &text) override;
  void OnBrowserOpen(const std::string &path) override;
  const CDibImage *OnSlideshowOpen(const std::string &path) override;
  bool IsBrowserShown() const override;
  void ShowBrowser(bool show) override;
  wxWindow *MainWindow() override { return this; }

private:
  void CreateMenus();
  void CreateBars();
  void CreateBrowserBar();
  void CreatePageBar();
  void OnPageBar(wxCommandEvent &);
  void OnUpdatePageBar(wxUpdateUIEvent &);
  void SetAccelerators();
  void OnCanvasDestroyed(wxWindowDestroyEvent &event);
  void OnCharHook(wxKeyEvent &event);
  void OnFullScreen(wxCommandEvent &);
  void OnSelectionBar(wxCommandEvent &);
  void OnUpdateSelectionBar(wxUpdateUIEvent &);
  void OnUpdateSelectTool(wxUpdateUIEvent &);
  void OnHelpTopics(wxCommandEvent &);
  void OnOpen(wxCommandEvent &);
  void OnNewScan(wxCommandEvent &);
  void OnSelectSource(wxCommandEvent &);
  void OnUpdateScanner(wxUpdateUIEvent &);
  void OnExitCommand(wxCommandEvent &);
  void OnAbout(wxCommandEvent &);
  void OnStartupInfo(wxCommandEvent &);
  void OnZoomBox(wxCommandEvent &);
  void OnZoomText(wxCommandEvent &);
  void OnCloseWindow(wxCloseEvent &);
  void OnSave(wxCommandEvent &);
  void OnSaveAs(wxCommandEvent &);
  void OnUpdateSave(wxUpdateUIEvent &);
  void OnUpdateSaveAs(wxUpdateUIEvent &);
  void OnGeneralSettings(wxCommandEvent &);
  void OnDjVuSettings(wxCommandEvent &);
  void OnIw44Settings(wxCommandEvent &);
  void OnJpegSettings(wxCommandEvent &);
  void OnImageOperation(wxCommandEvent &);
  void OnUpdateHasImage(wxUpdateUIEvent &);
  void OnUndo(wxCommandEvent &);
  void OnEmptyUndo(wxCommandEvent &);
  void OnRedo(wxCommandEvent &);
  void OnUpdateRedo(wxUpdateUIEvent &);
  void OnUpdateUndo(wxUpdateUIEvent &);

  CVellumView *m_pView = nullptr;
  wxWindow *m_pCanvas = nullptr; // the centre pane
  wxAuiManager m_aui;
  vellum::CBrowserPanel *m_pBrowser = nullptr;
  wxComboBox *m_pZoomBox = nullptr; // the steps listed; a percentage may be typed
  wxMenu *m_pRecentMenu = nullptr;
  vellum::CPagePanel *m_pPages = nullptr;
  std::unique_ptr<vellum::IPageHost> m_pPageHost;
  std::unique_ptr<CDibImage> m_pSlide; // the slideshow's current image
  wxDECLARE_EVENT_TABLE();
};

#endif

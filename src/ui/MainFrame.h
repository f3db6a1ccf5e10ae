// CMainFrame: the main window. Menus, the toolbar with the zoom box, the
// three-pane status bar, the view's canvas and the selection bar (the
// directory browser, a wxAUI pane docked at the bottom or the top); the
// commands that are not the document's or the view's: open, scan, source,
// drops, exit and close, the settings dialogs, the bar toggle, help.
//
// The frame is the browser's IBrowserObserver (the browser opens files
// through the document, writes pane 0 and hides the bar for a slideshow)
// and the document's and view's IFrameHost (FrameHost.h). The document owns
// its commands (edit, image, undo, save); the view its zoom, page and layer
// commands; Print, Print Preview and Print Setup are the document manager's
// (the view's OnCreatePrintout; DocManager.h enables them).
#ifndef VELLUM_UI_MAINFRAME_H
#define VELLUM_UI_MAINFRAME_H

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <wx/aui/framemanager.h>
#include <wx/docview.h>

#include "BrowserPanel.h"
#include "DibImage.h"
#include "FrameHost.h"
#include "FrameLogic.h"
#include "Settings.h"
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

class CMainFrame : public wxDocParentFrame, public vellum::IBrowserObserver, public vellum::IFrameHost
{
public:
  // settings: the run's, used and changed by the frame's commands and the
  // browser; saveSettings: writes them, when the frame closes.
  CMainFrame(wxDocManager *manager, CVellumSettings &settings, std::function<void()> saveSettings);
  ~CMainFrame() override;

  // IFrameHost.
  wxFrame *HostWindow() override { return this; }
  // The view drawing in this frame (set by the view itself); its canvas
  // becomes the centre pane.
  void SetView(CVellumView *view) override;
  // Title: "Vellum", or "<document title> - Vellum".
  void UpdateTitle() override;
  void SetPaneText(int index, const std::string &text) override;
  // Panes 1 and 2 from the document's image, then the page pane.
  void ShowImageInfo() override;
  void SelectZoomBoxEntry(int index) override;
  // The toolbar and the shown selection bar.
  int BarsWidth() const override;
  void RefreshBrowser() override;
  int FitStepFor(vellum::Extent size, int xdpi, int ydpi) const override;
  // Clears the stale status pane 0; the recent-file list, the Open and Save
  // dialogs and the selection bar follow the file.
  void OnDocumentOpened(const std::string &path, int pageIndex) override;
  void OnDocumentSavedAs(const std::string &path) override;
  // A drop target opening dropped files here; the view's canvas gets one
  // too, since a drop lands on the window under the pointer.
  wxDropTarget *MakeDropTarget() override;

  CVellumView *View() const { return m_pView; }
  CVellumDoc *Doc() const;

  int ZoomBoxSelection() const;
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
  void OnGeneralSettings(wxCommandEvent &);
  void OnDjVuSettings(wxCommandEvent &);
  void OnIw44Settings(wxCommandEvent &);
  void OnJpegSettings(wxCommandEvent &);

  CVellumSettings &m_settings;
  std::function<void()> m_saveSettings;
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

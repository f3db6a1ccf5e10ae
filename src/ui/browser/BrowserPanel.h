// The directory browser panel ("selection bar") and the slideshow window.
//
// CBrowserPanel is a plain wxPanel the main frame docks (wxAUI, bottom or
// top): a path box, a type filter and a list of the directory's image files
// and subdirectories. Its rules are BrowserLogic.h; what it needs from the
// program (status text, opening a file, showing or hiding itself) goes
// through IBrowserObserver, which the frame implements.
//
// CSlideshowWindow is the slideshow: a full-screen window over the main
// window showing the document's image as each selected file is opened,
// driven by a one-shot timer started once the image is shown; Esc or Q end
// it, every other key is swallowed. The sequence rules are
// SlideshowLogic.h.
#ifndef VELLUM_UI_BROWSER_BROWSERPANEL_H
#define VELLUM_UI_BROWSER_BROWSERPANEL_H

#include <string>
#include <vector>

#include <wx/frame.h>
#include <wx/panel.h>
#include <wx/timer.h>
#include <wx/weakref.h>

#include "BrowserLogic.h"
#include "SlideshowLogic.h"

class wxBitmapComboBox;
class wxChoice;
class wxListCtrl;
class wxListEvent;
class wxImageList;
class CDibImage;
class CVellumSettings;

namespace vellum
{

// What the browser and the slideshow ask of the program. All calls come on
// the GUI thread; none may destroy the panel.
class IBrowserObserver
{
public:
  virtual ~IBrowserObserver() = default;
  // Status pane 0.
  virtual void OnBrowserStatus(const std::string &text) = 0;
  // Double-click on a file: when the document is modified ask "Save %s
  // first?" (Cancel: nothing), then reset the page index and forced kind and
  // open path; repaint.
  virtual void OnBrowserOpen(const std::string &path) = 0;
  // Slideshow: reset the page index and forced kind and open path without
  // asking to save; repaint. Returns the document's image after the open
  // (null or empty when it failed and nothing is shown). The pointer is
  // read at once and not kept.
  virtual const CDibImage *OnSlideshowOpen(const std::string &path) = 0;
  // The bar's visibility (the frame's wxAUI pane).
  virtual bool IsBrowserShown() const = 0;
  virtual void ShowBrowser(bool show) = 0;
  // The main window (slideshow parent and focus).
  virtual wxWindow *MainWindow() = 0;
};

// Commands of the list's context menu.
enum
{
  ID_BROWSER_DETAILED = wxID_HIGHEST + 400, // "Detailed &List"
  ID_BROWSER_SELECT_ALL,                    // "Select &All"
  ID_BROWSER_SLIDESHOW,                     // "&Slideshow"
  ID_BROWSER_DELETE,                        // "&Delete"
  ID_BROWSER_LIST,
  ID_BROWSER_FILTER,
  ID_BROWSER_PATH
};

class CSlideshowWindow;

class CBrowserPanel : public wxPanel
{
public:
  // settings: the program's settings ("LCOpenDir", "LCOpenType",
  // "SlideDelay" are read and written here); both references must outlive
  // the panel. Sets itself up (image lists, columns, filter, path box) and
  // lists "LCOpenDir".
  CBrowserPanel(wxWindow *parent, CVellumSettings &settings, IBrowserObserver &observer,
                wxWindowID id = wxID_ANY);
  ~CBrowserPanel() override;

  // Lists dir (normally "LCOpenDir") again and puts "Current directory: %s"
  // in the status pane. The frame calls RefreshList() after a save into the
  // listed directory and on View > Refresh.
  void FillFileList(const std::string &dir);
  void RefreshList();
  void FillPathBox();

  // The listed directory (as listed, without trailing "/").
  const std::string &Directory() const { return m_dir; }
  // Names in display order; selected names in display order; full paths of
  // the selected files (directories left out).
  std::vector<std::string> ListedNames() const;
  std::vector<std::string> SelectedNames() const;
  std::vector<std::string> SelectedFiles() const;
  void SelectName(const std::string &name, bool select = true);

  // Context-menu commands, callable directly.
  bool IsDetailed() const;
  void SetDetailed(bool detailed);
  void SelectAll();
  void DeleteSelected();
  // Starts the slideshow over the selected files; false when no file is
  // selected or a show is already running.
  bool StartSlideshow();
  CSlideshowWindow *Slideshow() const { return m_show.get(); }
  // Activates (as a double-click) the item showing name.
  void ActivateName(const std::string &name);
  // A header click on column.
  void ClickColumn(int column);
  // A choice in the filter box (0..6) or the path box.
  void ChooseFilter(int index);
  void ChoosePath(int index);

  const SortState &Sort() const { return m_sort; }
  wxListCtrl *List() const { return m_list; }
  wxChoice *FilterBox() const { return m_filter; }
  wxBitmapComboBox *PathBox() const { return m_path; }
  const std::vector<PathBoxItem> &PathItems() const { return m_pathItems; }

private:
  void BuildImageLists();
  void InsertColumns();
  void SortList();
  void ShowDirectoryStatus();
  // The entry name behind a list item (its item data).
  std::string EntryName(long item) const;
  void OnActivated(wxListEvent &event);
  void OnColumnClick(wxListEvent &event);
  void OnContextMenu(wxContextMenuEvent &event);
  void OnListLeftDown(wxMouseEvent &event);
  void OnFilter(wxCommandEvent &event);
  void OnPath(wxCommandEvent &event);
  void OnMenu(wxCommandEvent &event);
  static int wxCALLBACK CompareItems(wxIntPtr a, wxIntPtr b, wxIntPtr panel);

  CVellumSettings &m_settings;
  IBrowserObserver &m_observer;
  std::string m_dir;
  std::vector<FileEntry> m_entries;
  std::vector<PathBoxItem> m_pathItems;
  SortState m_sort;
  bool m_detailed = false;
  wxListCtrl *m_list = nullptr;
  wxChoice *m_filter = nullptr;
  wxBitmapComboBox *m_path = nullptr;
  wxImageList *m_smallImages = nullptr;
  wxWeakRef<CSlideshowWindow> m_show;
};

class CSlideshowWindow : public wxFrame
{
public:
  // Hides the bar when shown (and shows it again at the end), opens the
  // first file and starts the cycle. delayMs: the time each image stays.
  CSlideshowWindow(IBrowserObserver &observer, CSlideSequence sequence, int delayMs, bool fullScreen = true);
  ~CSlideshowWindow() override;

  // Ends the show (as Esc or Q) and destroys the window; restore: show the
  // bar again when it was hidden and give the focus back to the main window.
  void End(bool restore = true);
  bool Ended() const { return m_ended; }
  const CSlideSequence &Sequence() const { return m_sequence; }
  // The status text last shown.
  const std::string &StatusText() const { return m_status; }
  // Shows the next file at once (the timer's work).
  void Next();
  // A key-down reaching the window (Esc and Q end the show).
  void HandleKey(int keyCode);

private:
  void ShowCurrent();
  void OnTimer(wxTimerEvent &event);
  void OnCharHook(wxKeyEvent &event);
  void OnKey(wxKeyEvent &event);
  void OnPaint(wxPaintEvent &event);
  void OnSize(wxSizeEvent &event);
  void OnClose(wxCloseEvent &event);
  void RebuildBitmap();

  IBrowserObserver &m_observer;
  CSlideSequence m_sequence;
  int m_delayMs;
  bool m_barWasShown = false;
  bool m_ended = false;
  std::string m_status;
  wxImage m_image;   // the document's image as last opened
  wxBitmap m_bitmap; // m_image fitted to the window
  // The surface the show draws on and the keys come to: a frame without a
  // child that takes the focus gets no key events under GTK.
  wxWindow *m_surface = nullptr;
  wxTimer m_timer;
};

} // namespace vellum

#endif

// The main frame under a virtual display: the selection bar (docked
// browser) and what it opens, the slideshow's hand-over, the print commands
// and print preview, the Edit and Image menu entries and the "Select" tool,
// the settings hand-over, the start-up hint and closing. Message boxes are
// recorded through the message-box hook; modal dialogs are answered by a
// wxModalDialogHook without being shown; every wait is bounded. The binary
// restarts itself under xvfb-run when DISPLAY is unset.
#include "../GuiTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <wx/aui/framemanager.h>
#include <wx/checkbox.h>
#include <wx/dcclient.h>
#include <wx/listctrl.h>
#include <wx/log.h>
#include <wx/menu.h>
#include <wx/modalhook.h>
#include <wx/print.h>
#include <wx/statusbr.h>
#include <wx/toolbar.h>

#include "BrowserPanel.h"
#include "CommandIds.h"
#include "Dialogs.h"
#include "DocumentNames.h"
#include "FrameHost.h"
#include "FrameLogic.h"
#include "HintHelp.h"
#include "MainFrame.h"
#include "MessageBox.h"
#include "PageLogic.h"
#include "PrintLogic.h"
#include "Printout.h"
#include "VellumApp.h"
#include "VellumDoc.h"
#include "VellumView.h"
#include "ViewerTestApp.h"

wxIMPLEMENT_APP_NO_MAIN(CVellumApp);

using namespace vellum;

namespace
{

struct Box
{
  std::string text;
  unsigned style;
};
std::vector<Box> g_boxes;
int g_answer = VID_OK; // answer to questions

int RecordBox(const char *text, const char *, unsigned style)
{
  g_boxes.push_back({text, style});
  const unsigned buttons = style & VMB_BUTTON_MASK;
  return buttons == VMB_YESNO || buttons == VMB_YESNOCANCEL ? g_answer : VID_OK;
}

// Answers every modal dialog with OK without showing it, after the script
// (if any) has set its controls.
class AnswerDialogs : public wxModalDialogHook
{
public:
  std::vector<std::string> titles;
  std::function<void(wxDialog *)> script;
  int Enter(wxDialog *dialog) override
  {
    titles.push_back(dialog->GetTitle().utf8_string());
    if (script)
      script(dialog);
    return wxID_OK;
  }
  void Exit(wxDialog *) override {}
};
AnswerDialogs g_dialogs;

using vellum_test::Corpus;
using vellum_test::Env;
std::string Tmp()
{
  return Env("VELLUM_TEST_TMP", "/tmp");
}
// The folder the settings file names as "LCOpenDir" before start-up.
std::string Folder()
{
  return Tmp() + "/frame-folder";
}

void Copy(const std::string &from, const std::string &to)
{
  std::ifstream in(from, std::ios::binary);
  std::ofstream out(to, std::ios::binary);
  out << in.rdbuf();
}

bool Exists(const std::string &path)
{
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// Runs the event loop for about ms milliseconds (bounded).
void Pump(int ms = 30)
{
  vellum_test::PumpFor(ms);
}

// Runs the event loop until done() or the limit; false at the limit.
bool RunUntil(const std::function<bool()> &done, int limitMs = 10000)
{
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  while (!done())
  {
    if (std::chrono::steady_clock::now() > end)
      return false;
    Pump(10);
  }
  return true;
}

using vellum_test::App;
using vellum_test::Doc;
using vellum_test::Frame;
CBrowserPanel &Browser()
{
  return *Frame().Browser();
}

void Command(int id)
{
  wxCommandEvent event(wxEVT_MENU, id);
  event.SetEventObject(&Frame());
  Frame().ProcessWindowEvent(event);
}

// The state the frame's update handlers give a command.
struct UiState
{
  bool enabled, checked;
};
UiState Update(int id)
{
  wxUpdateUIEvent event(id);
  event.SetEventObject(&Frame());
  Frame().ProcessWindowEvent(event);
  return {!event.GetSetEnabled() || event.GetEnabled(), event.GetSetChecked() && event.GetChecked()};
}
bool Enabled(int id)
{
  return Update(id).enabled;
}

void Open(const std::string &path)
{
  Doc().Open(path, kKindNone, 0);
  Pump(10);
}

std::string PaneText(int pane)
{
  return Frame().GetStatusBar()->GetStatusText(pane).utf8_string();
}

wxAuiPaneInfo &BarPane()
{
  return Frame().Aui().GetPane(kSelectionBarName);
}

bool IsBrowserShownNow()
{
  return Frame().IsBrowserShown() && Frame().Browser()->IsShownOnScreen();
}

class FrameGui : public ::testing::Test
{
protected:
  void SetUp() override
  {
    g_boxes.clear();
    g_answer = VID_OK;
    g_dialogs.titles.clear();
    g_dialogs.script = nullptr;
    Doc().Modify(false);
    CVellumSettings &s = App().m_settings;
    s.ImageFit = 0;
    s.WindowFit = 0;
    s.PrintSize = 0;
    s.ShrinkPrint = 1;
    s.SlideDelay = 600; // the tests step the show themselves
  }
};

} // namespace

TEST_F(FrameGui, SelectionBarIsDockedAtTheBottomAndListsTheStartFolder)
{
  wxAuiPaneInfo &pane = BarPane();
  ASSERT_TRUE(pane.IsOk());
  EXPECT_EQ(pane.window, Frame().Browser());
  EXPECT_EQ(pane.caption, "Selection Bar");
  EXPECT_EQ(pane.dock_direction, wxAUI_DOCK_BOTTOM);
  EXPECT_TRUE(pane.IsShown());
  EXPECT_TRUE(pane.IsBottomDockable());
  EXPECT_TRUE(pane.IsTopDockable());
  EXPECT_FALSE(pane.IsLeftDockable());
  EXPECT_FALSE(pane.IsRightDockable());
  EXPECT_TRUE(pane.IsFloatable());
  // Below the view, inside the frame.
  wxWindow *canvas = Doc().View()->m_pCanvas;
  ASSERT_NE(canvas, nullptr);
  EXPECT_TRUE(canvas->IsShown());
  EXPECT_GT(Frame().Browser()->GetScreenPosition().y, canvas->GetScreenPosition().y);

  // "LCOpenDir" from the settings file was listed at start-up.
  EXPECT_EQ(Browser().Directory(), Folder());
  EXPECT_EQ(Browser().ListedNames(), (std::vector<std::string>{"..", "sub", "a.bmp", "b.jpg"}));
  Browser().RefreshList();
  EXPECT_EQ(PaneText(0), "Current directory: " + Folder());

  // View > Selection Bar hides and shows it, with its check mark.
  EXPECT_TRUE(Update(ID_VIEW_SELECTION_BAR).checked);
  Command(ID_VIEW_SELECTION_BAR);
  EXPECT_FALSE(BarPane().IsShown());
  EXPECT_FALSE(Frame().Browser()->IsShownOnScreen());
  EXPECT_FALSE(Update(ID_VIEW_SELECTION_BAR).checked);
  Command(ID_VIEW_SELECTION_BAR);
  EXPECT_TRUE(BarPane().IsShown());
  EXPECT_TRUE(Update(ID_VIEW_SELECTION_BAR).checked);

  // Floated, then docked at the top: above the view, still listing.
  BarPane().Float();
  Frame().Aui().Update();
  Pump(50);
  EXPECT_TRUE(IsBrowserShownNow());
  EXPECT_NE(Frame().Browser()->GetParent(), &Frame());
  BarPane().Dock().Top();
  Frame().Aui().Update();
  Pump(50);
  EXPECT_EQ(Frame().Browser()->GetParent(), &Frame());
  EXPECT_LT(Frame().Browser()->GetScreenPosition().y, canvas->GetScreenPosition().y);
  EXPECT_TRUE(Update(ID_VIEW_SELECTION_BAR).checked);
  BarPane().Bottom();
  Frame().Aui().Update();
  Pump(20);
  EXPECT_GT(Frame().Browser()->GetScreenPosition().y, canvas->GetScreenPosition().y);
  EXPECT_EQ(Browser().ListedNames().size(), 4u);
  EXPECT_TRUE(g_boxes.empty());
}

TEST_F(FrameGui, DoubleClickOpensThroughTheDocumentAskingToSaveFirst)
{
  Browser().ActivateName("a.bmp");
  ASSERT_TRUE(Doc().m_model.HasImage());
  EXPECT_EQ(Doc().GetFilename().utf8_string(), Folder() + "/a.bmp");

  // Modified, then Cancel at "Save %s first?": nothing is opened.
  Doc().Modify(true);
  g_answer = VID_CANCEL;
  Browser().ActivateName("b.jpg");
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].text, "Save a.bmp first?");
  EXPECT_EQ(Doc().GetFilename().utf8_string(), Folder() + "/a.bmp");
  EXPECT_TRUE(Doc().IsModified());

  // No: opened with the kind from its name, not modified.
  g_answer = VID_NO;
  Doc().m_model.m_nOpenKind = 3; // a forced kind left from the Open dialog is reset
  Browser().ActivateName("b.jpg");
  EXPECT_EQ(Doc().GetFilename().utf8_string(), Folder() + "/b.jpg");
  EXPECT_EQ(Doc().m_model.m_nContentKind, 5);
  EXPECT_FALSE(Doc().IsModified());

  // A directory moves the list, not the document.
  Browser().ActivateName("sub");
  EXPECT_EQ(App().m_settings.LCOpenDir, Folder() + "/sub");
  Browser().ActivateName("..");
  EXPECT_EQ(App().m_settings.LCOpenDir, Folder());
  EXPECT_EQ(Doc().GetFilename().utf8_string(), Folder() + "/b.jpg");
}

TEST_F(FrameGui, SaveIntoTheListedFolderListsItAgain)
{
  Open(Corpus("bmp/rgb24.bmp"));
  // The bar follows the opened file's folder; the save goes to the one listed.
  EXPECT_EQ(Frame().Browser()->Directory(), DirectoryOf(Corpus("bmp/rgb24.bmp")));
  Browser().FillFileList(Folder());
  ASSERT_TRUE(Doc().SaveAsTo(Folder() + "/c.bmp", 3));
  EXPECT_EQ(Browser().ListedNames(), (std::vector<std::string>{"..", "sub", "a.bmp", "b.jpg", "c.bmp"}));
  std::remove((Folder() + "/c.bmp").c_str());
  Browser().RefreshList();
  EXPECT_EQ(Browser().ListedNames().size(), 4u);
}

TEST_F(FrameGui, TypeColumnShowsABooksPageCountWhole)
{
  // A detailed list of a folder with a book: the Type column fits
  // "DjVu, 4 pages"; it does not narrow for a folder of short texts.
  const std::string dir = Tmp() + "/frame-types";
  ASSERT_EQ(std::system(("mkdir -p '" + dir + "'").c_str()), 0);
  Copy(Corpus("books/book-bundled-4p.djvu"), dir + "/book.djvu");
  const bool detailed = Browser().IsDetailed();
  Browser().SetDetailed(true);
  Browser().FillFileList(dir);
  wxListCtrl *list = Browser().List();
  const int wide = list->GetColumnWidth(2);
  EXPECT_GE(wide, list->GetTextExtent("DjVu, 4 pages").x);
  Browser().FillFileList(Folder());
  EXPECT_EQ(list->GetColumnWidth(2), wide);
  Browser().SetDetailed(detailed);
}

TEST_F(FrameGui, SlideshowOpensTheSelectedFilesAndHidesTheBarMeanwhile)
{
  Browser().FillFileList(Folder());
  const wxString shown = Doc().GetFilename();
  Doc().Modify(true); // the show does not ask
  Browser().SelectName("a.bmp");
  Browser().SelectName("b.jpg");
  Browser().SelectName("sub");
  ASSERT_TRUE(Browser().StartSlideshow());
  CSlideshowWindow *show = Browser().Slideshow();
  ASSERT_NE(show, nullptr);
  EXPECT_TRUE(g_boxes.empty());
  EXPECT_FALSE(BarPane().IsShown());
  EXPECT_EQ(Doc().GetFilename(), shown); // slides are read apart from the document
  EXPECT_EQ(PaneText(0), "Showing image 1/2. Press ESC or Q to quit.");
  show->Next();
  EXPECT_EQ(Doc().GetFilename(), shown);
  EXPECT_EQ(PaneText(0), "Showing image 2/2. Press ESC or Q to quit.");
  show->HandleKey('Q');
  EXPECT_TRUE(RunUntil([] { return Browser().Slideshow() == nullptr; }, 5000));
  EXPECT_TRUE(BarPane().IsShown());
  EXPECT_EQ(Doc().GetFilename(), shown);
  Doc().Modify(false);
}

TEST_F(FrameGui, PrintCommandsNeedAnImage)
{
  const int kPrintAndSelect[] = {wxID_PRINT, wxID_PREVIEW, wxID_PRINT_SETUP, ID_TOOL_SELECT};
  Doc().DeleteContents();
  Doc().UpdateAllViews();
  ASSERT_FALSE(Doc().m_model.HasImage());
  for (int id : kPrintAndSelect)
    EXPECT_FALSE(Enabled(id)) << id;
  Open(Corpus("bmp/rgb24.bmp"));
  ASSERT_TRUE(Doc().m_model.HasImage());
  for (int id : kPrintAndSelect)
    EXPECT_TRUE(Enabled(id)) << id;
  // The view hands the printout the image and the screen's percentage.
  std::unique_ptr<wxPrintout> printout(Doc().View()->OnCreatePrintout());
  ASSERT_NE(dynamic_cast<CVellumPrintout *>(printout.get()), nullptr);
  Doc().DeleteContents();
  EXPECT_EQ(Doc().View()->OnCreatePrintout(), nullptr);
}

namespace
{

wxPreviewFrame *FindPreview()
{
  for (wxWindow *w : wxTopLevelWindows)
    if (auto *p = dynamic_cast<wxPreviewFrame *>(w))
      if (!p->IsBeingDeleted())
        return p;
  return nullptr;
}

} // namespace

TEST_F(FrameGui, PrintPreviewOpensAndCloses)
{
  Open(Corpus("bmp/rgb24.bmp")); // 72 DPI
  ASSERT_TRUE(Doc().m_model.HasImage());
  Command(wxID_PREVIEW);
  ASSERT_TRUE(RunUntil([] { return FindPreview() != nullptr; }, 5000));
  wxPreviewFrame *preview = FindPreview();
  EXPECT_TRUE(RunUntil([preview] { return preview->IsShownOnScreen(); }, 5000));
  Pump(100);
  EXPECT_TRUE(g_boxes.empty()) << (g_boxes.empty() ? "" : g_boxes[0].text);
  preview->Close();
  EXPECT_TRUE(RunUntil([] { return FindPreview() == nullptr; }, 5000));
  EXPECT_TRUE(Frame().IsEnabled());

  // Without a resolution at original size the preview asks; No leaves the
  // page blank.
  Open(Corpus("bmp/photo-vgl-a.bmp"));
  ASSERT_TRUE(Doc().m_model.HasImage());
  ASSERT_EQ(Doc().m_model.m_pImage->m_nXDpi, 0);
  g_answer = VID_NO;
  Command(wxID_PREVIEW);
  ASSERT_TRUE(RunUntil([] { return FindPreview() != nullptr; }, 5000));
  EXPECT_TRUE(RunUntil([] { return !g_boxes.empty(); }, 5000));
  if (!g_boxes.empty())
  {
    EXPECT_EQ(g_boxes[0].text, kMsgResolutionUnknown);
  }
  FindPreview()->Close();
  EXPECT_TRUE(RunUntil([] { return FindPreview() == nullptr; }, 5000));
}

TEST_F(FrameGui, MenusCarryTheEditImageAndPrintCommandsAndTheToolbarTheSelectTool)
{
  wxMenuBar *bar = Frame().GetMenuBar();
  struct Row
  {
    int id;
    const char *label;
  } const rows[] = {
      {wxID_PRINT, "&Print…\tCtrl+P"},
      {wxID_PREVIEW, "Print Pre&view…"},
      {wxID_PRINT_SETUP, "P&rint Setup…"},
      {wxID_CUT, "Cu&t\tCtrl+X"},
      {wxID_COPY, "&Copy\tCtrl+C"},
      {wxID_PASTE, "&Paste\tCtrl+V"},
      {ID_EDIT_PASTE_NEW, "Paste As &New\tCtrl+Shift+V"},
      {ID_EDIT_CLEAR, "C&lear"},
      {ID_EDIT_EMPTY_CLIPBOARD, "Empty &Clipboard"},
      {ID_IMAGE_CROP, "&Crop"},
      {ID_IMAGE_RESIZE, "&Resize…"},
      {ID_VIEW_SELECTION_BAR, "S&election Bar"},
      {wxID_HELP_CONTENTS, "&Help Topics\tF1"},
      {ID_HELP_STARTUP_INFO, "Start&up Information…"},
  };
  for (const Row &r : rows)
  {
    wxMenuItem *item = bar->FindItem(r.id);
    ASSERT_NE(item, nullptr) << r.label;
    EXPECT_EQ(item->GetItemLabel().utf8_string(), r.label);
  }
  EXPECT_TRUE(bar->FindItem(ID_VIEW_SELECTION_BAR)->IsCheckable());
  EXPECT_EQ(bar->FindItem(ID_VIEW_SELECTION_BAR)->GetHelp(), kSelectionBarHelp);

  // The second keys of Cut, Copy, Paste and Undo.
  const wxAcceleratorTable *keys = Frame().GetAcceleratorTable();
  ASSERT_TRUE(keys && keys->IsOk());

  wxToolBar *tb = Frame().GetToolBar();
  const wxToolBarToolBase *select = tb->FindById(ID_TOOL_SELECT);
  ASSERT_NE(select, nullptr);
  EXPECT_TRUE(select->CanBeToggled());
  EXPECT_EQ(select->GetShortHelp(), "Select");
  EXPECT_EQ(tb->GetToolPos(ID_ZOOM_BOX), 9);
  // Fly-by help from the menus.
  EXPECT_EQ(tb->GetToolLongHelp(ID_ZOOM_BOX), "Set zoom ratio");
  EXPECT_EQ(tb->GetToolLongHelp(wxID_PRINT), bar->GetHelpString(wxID_PRINT));
  EXPECT_FALSE(tb->GetToolLongHelp(ID_FILE_OPEN_IMAGE).empty());
}

TEST_F(FrameGui, StatusPanesFitTheirSamples)
{
  wxStatusBar *status = Frame().GetStatusBar();
  // Size, resolution, then the page of a document of many pages.
  ASSERT_EQ(status->GetFieldsCount(), 4);
  wxClientDC dc(status);
  dc.SetFont(status->GetFont());
  wxRect r1, r2, r3;
  ASSERT_TRUE(status->GetFieldRect(1, r1));
  ASSERT_TRUE(status->GetFieldRect(2, r2));
  ASSERT_TRUE(status->GetFieldRect(3, r3));
  EXPECT_GE(r1.width, dc.GetTextExtent(kPaneSizeSample).x);
  EXPECT_GE(r2.width, dc.GetTextExtent(kPaneDpiSample).x);
  EXPECT_GE(r3.width, dc.GetTextExtent(kPagePaneSample).x);
  wxRect r0;
  ASSERT_TRUE(status->GetFieldRect(0, r0));
  EXPECT_GT(r0.width, r1.width); // pane 0 takes the rest
}

namespace
{

// What a document told the window hosting it.
class RecordingHost : public IFrameHost
{
public:
  std::vector<std::pair<std::string, int>> opened; // OnDocumentOpened
  std::vector<std::string> savedAs;
  int titles = 0, imageInfo = 0, fitAsked = 0;
  wxFrame *HostWindow() override { return nullptr; }
  void SetView(CVellumView *) override {}
  wxDropTarget *MakeDropTarget() override { return nullptr; }
  int BarsWidth() const override { return 0; }
  int FitStepFor(Extent, int, int) const override
  {
    ++const_cast<RecordingHost *>(this)->fitAsked;
    return -2;
  }
  void UpdateTitle() override { ++titles; }
  void SetPaneText(int, const std::string &) override {}
  void ShowImageInfo() override { ++imageInfo; }
  void SelectZoomBoxEntry(int) override {}
  void RefreshBrowser() override {}
  void OnDocumentOpened(const std::string &path, int pageIndex) override
  {
    opened.push_back({path, pageIndex});
  }
  void OnDocumentSavedAs(const std::string &path) override { savedAs.push_back(path); }
};

} // namespace

// A document outside the program, with a host of its own and no view: Open
// takes the kind it is given (none: from the name) and the page; the host
// hears of every open that succeeds, with the page shown, and of nothing
// else; a failed open keeps what was there.
TEST_F(FrameGui, DocumentOpensThroughOneCallAndTellsItsHost)
{
  struct Case
  {
    const char *file;
    int kind;
    int page;
    bool opens;
    int contentKind; // of the document afterwards
    int pageShown;
  };
  const Case cases[] = {
      {"bmp/rgb24.bmp", kKindNone, 0, true, kKindBmp, 0},
      {"tiff/multipage-palette-3p.tif", kKindNone, 2, true, kKindTiff, 2},
      {"tiff/multipage-palette-3p.tif", kKindTiff, 1, true, kKindTiff, 1},
      {"jpeg/baseline-227x149.jpg", kKindUnknown, 0, true, kKindJpeg, 0},
      {"jpeg/baseline-227x149.jpg", kKindAllSupported, 0, true, kKindJpeg, 0},
      {"jpeg/baseline-227x149.jpg", kKindBmp, 0, false, kKindJpeg, 0}, // the kind given is the reader
      {"bad/djvu-truncated.djvu", kKindNone, 0, false, kKindJpeg, 0},
      {"djvu/compound-flower-fg44-bg44.djvu", kKindNone, 0, true, kKindDjVu, 0},
      {"missing-file.bmp", kKindNone, 0, false, kKindDjVu, 0},
  };
  CVellumSettings settings;
  RecordingHost host;
  CVellumDoc doc(settings, &host);
  std::string shown;
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.file);
    const std::string name = c.file;
    const std::string path =
        name.rfind("missing", 0) == 0 ? Env("VELLUM_CORPUS", VELLUM_CORPUS_DIR) + "/" + name : Corpus(name);
    const size_t before = host.opened.size();
    g_boxes.clear();
    doc.Open(path, c.kind, c.page);
    if (c.opens)
    {
      ASSERT_EQ(host.opened.size(), before + 1);
      EXPECT_EQ(host.opened.back(), std::make_pair(path, c.pageShown));
      EXPECT_TRUE(g_boxes.empty());
      shown = path;
    }
    else
    {
      EXPECT_EQ(host.opened.size(), before);
      EXPECT_EQ(g_boxes.size(), 1u);
    }
    EXPECT_EQ(doc.m_model.m_nContentKind, c.contentKind);
    EXPECT_EQ(doc.GetFilename().utf8_string(), shown);
    ASSERT_TRUE(doc.m_model.HasImage());
    EXPECT_EQ(doc.m_model.m_pImage->m_nPageIndex, c.pageShown);
  }
  // The DjVu page was rendered at the step the host chose.
  EXPECT_EQ(host.fitAsked, 1);
  EXPECT_GT(host.titles, 0);
  EXPECT_EQ(host.imageInfo, 6);

  // Save As names the file to the host's recent-file list; without a host
  // the document saves all the same.
  const std::string out = Tmp() + "/host-save.bmp";
  ASSERT_TRUE(doc.SaveAsTo(out, 3));
  EXPECT_EQ(host.savedAs, std::vector<std::string>{out});
  doc.SetHost(nullptr);
  doc.Open(Corpus("bmp/pal8.bmp"), kKindNone, 0);
  EXPECT_EQ(doc.GetFilename().utf8_string(), Corpus("bmp/pal8.bmp"));
  EXPECT_EQ(host.opened.size(), 6u);
  ASSERT_TRUE(doc.SaveAsTo(out, 3));
  EXPECT_EQ(host.savedAs.size(), 1u);
  std::remove(out.c_str());
}

TEST_F(FrameGui, SettingsOkMarksTheDocumentOnlyForItsOwnKind)
{
  // JPEG Settings: OK while a BMP is shown leaves Save disabled.
  Open(Corpus("bmp/rgb24.bmp"));
  ASSERT_TRUE(Doc().m_model.HasImage());
  Command(ID_OPTIONS_JPEG);
  ASSERT_EQ(g_dialogs.titles.size(), 1u);
  EXPECT_FALSE(Doc().IsModified());
  EXPECT_FALSE(Enabled(ID_FILE_SAVE));
  // While a JPEG is shown it enables Save.
  Open(Folder() + "/b.jpg");
  ASSERT_EQ(Doc().m_model.m_nContentKind, 5);
  EXPECT_FALSE(Enabled(ID_FILE_SAVE));
  Command(ID_OPTIONS_JPEG);
  EXPECT_TRUE(Doc().IsModified());
  EXPECT_TRUE(Enabled(ID_FILE_SAVE));
  Doc().Modify(false);
  // IW44 and DjVu dialogs leave a JPEG alone.
  Command(ID_OPTIONS_IW44);
  Command(ID_OPTIONS_DJVU);
  EXPECT_FALSE(Doc().IsModified());

  // DjVu Advanced Parameters on a DjVu page: quick set becomes -1 and the
  // page is marked for saving again.
  Open(Corpus("djvu/form-scan-cjb2.djvu"));
  ASSERT_EQ(Doc().m_model.m_nContentKind, 1);
  App().m_settings.DjvuQuickSet = 2;
  EXPECT_TRUE(RunDjVuAdvancedDialog(&Frame(), App().m_settings, Doc().DialogDoc()));
  EXPECT_EQ(App().m_settings.DjvuQuickSet, -1);
  EXPECT_TRUE(Doc().IsModified());
  Doc().Modify(false);
}

TEST_F(FrameGui, StartupInformationShowsTheHintAndStoresItsCheckBox)
{
  App().m_settings.NoStartupInfo = 0;
  bool wasChecked = true;
  g_dialogs.script = [&wasChecked](wxDialog *dialog)
  {
    auto *check = dynamic_cast<wxCheckBox *>(dialog->FindWindow(CHintDlg::IDC_HINT_CHECK));
    ASSERT_NE(check, nullptr);
    wasChecked = check->GetValue();
    check->SetValue(true);
  };
  Command(ID_HELP_STARTUP_INFO);
  ASSERT_EQ(g_dialogs.titles.size(), 1u);
  EXPECT_EQ(g_dialogs.titles[0], "Vellum Hint");
  EXPECT_FALSE(wasChecked);
  EXPECT_EQ(App().m_settings.NoStartupInfo, 1);
}

// Last: closing.
TEST_F(FrameGui, CloseWithAModifiedImageAndCancelKeepsTheWindowAndWritesNoSettings)
{
  Open(Corpus("bmp/rgb24.bmp"));
  Doc().Modify(true);
  std::remove(App().m_strProfileName.c_str());
  g_answer = VID_CANCEL;
  EXPECT_FALSE(Frame().Close(false));
  Pump(50);
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].text, "Save rgb24.bmp first?");
  EXPECT_FALSE(Exists(App().m_strProfileName));
  ASSERT_NE(App().MainFrame(), nullptr);
  EXPECT_TRUE(Frame().IsShown());
  EXPECT_FALSE(Frame().IsBeingDeleted());
  EXPECT_TRUE(Doc().IsModified());
  Doc().Modify(false);
}

int main(int argc, char **argv)
{
  // Without a display, run again under a virtual one.
  if (int status = vellum_test::RerunUnderXvfb(argc, argv, "1280x1024x24"); status >= 0)
    return status;
  ::testing::InitGoogleTest(&argc, argv);
  // The folder the browser lists at start-up, named by the settings file.
  std::system(("rm -rf '" + Folder() + "'").c_str());
  mkdir(Folder().c_str(), 0755);
  mkdir((Folder() + "/sub").c_str(), 0755);
  try
  {
    Copy(Corpus("bmp/pal8.bmp"), Folder() + "/a.bmp");
    Copy(Corpus("jpeg/baseline-227x149.jpg"), Folder() + "/b.jpg");
  }
  catch (const std::exception &e)
  {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  std::ofstream(Folder() + "/notes.txt") << "not an image";
  const std::string ini = Tmp() + "/Vellum.ini";
  std::ofstream(ini) << "[General]\nLCOpenDir=" << Folder() << "\nLCOpenType=100\nNoStartupInfo=1\n";

  vellum_test::ViewerStart start;
  start.settingsFile = ini;
  start.saneDir = Tmp() + "/sane-config"; // no scanner backends at all
  start.hooks = []
  {
    VellumSetMessageBoxHook(RecordBox);
    g_dialogs.Register();
  };
  return vellum_test::RunViewerTests(argv[0], start);
}

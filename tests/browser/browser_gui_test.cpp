// The browser panel, the slideshow window, the printout and the hint window
// under a virtual display, driven through a fake frame (IBrowserObserver).
// Message boxes are recorded; modal dialogs are scripted through a modal
// dialog hook; every wait is bounded. The binary restarts itself under
// xvfb-run when DISPLAY is unset.
#include "../GuiTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <wx/app.h>
#include <wx/bmpcbox.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/dcmemory.h>
#include <wx/frame.h>
#include <wx/init.h>
#include <wx/listctrl.h>
#include <wx/log.h>
#include <wx/modalhook.h>

#include "BrowserPanel.h"
#include "DibImage.h"
#include "HintHelp.h"
#include "MessageBox.h"
#include "Printout.h"
#include "Settings.h"

using namespace vellum;

namespace
{

std::vector<std::string> g_boxes;
int g_answer = VID_YES;

int RecordBox(const char *text, const char *, unsigned style)
{
  g_boxes.push_back(text);
  const unsigned buttons = style & VMB_BUTTON_MASK;
  return buttons == VMB_YESNO || buttons == VMB_YESNOCANCEL ? g_answer : VID_OK;
}

// Runs the script on each modal dialog once its loop runs.
class ScriptHook : public wxModalDialogHook
{
public:
  std::function<void(wxDialog *)> script;

protected:
  int Enter(wxDialog *dialog) override
  {
    dialog->CallAfter(
        [this, dialog]
        {
          if (script)
            script(dialog);
          if (dialog->IsModal())
            dialog->EndModal(wxID_OK);
        });
    return wxID_NONE;
  }
  void Exit(wxDialog *) override {}
};
ScriptHook g_hook;

// Lets the event loop run until done() or the limit.
bool RunUntil(const std::function<bool()> &done, int limitMs = 10000)
{
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  while (!done())
  {
    if (std::chrono::steady_clock::now() > end)
      return false;
    wxTheApp->ProcessPendingEvents();
    wxYield();
    usleep(5000);
  }
  return true;
}

using vellum_test::Corpus;

void Copy(const std::string &from, const std::string &to)
{
  std::ifstream in(from, std::ios::binary);
  std::ofstream out(to, std::ios::binary);
  out << in.rdbuf();
}

// The frame's side of the browser.
struct Host : IBrowserObserver
{
  wxFrame *frame = nullptr;
  std::vector<std::string> statuses, opened, shown;
  bool barShown = true;
  CDibImage image;

  void OnBrowserStatus(const std::string &text) override { statuses.push_back(text); }
  void OnBrowserOpen(const std::string &path) override { opened.push_back(path); }
  const CDibImage *OnSlideshowOpen(const std::string &path) override
  {
    shown.push_back(path);
    image.LoadBmp(path.c_str(), DIB_HEADER_INFO);
    return &image;
  }
  bool IsBrowserShown() const override { return barShown; }
  void ShowBrowser(bool show) override { barShown = show; }
  wxWindow *MainWindow() override { return frame; }
};

class BrowserGui : public ::testing::Test
{
protected:
  void SetUp() override
  {
    const char *base = std::getenv("VELLUM_TEST_TMP");
    std::string tmpl = std::string(base ? base : "/tmp") + "/browserguiXXXXXX";
    ASSERT_NE(mkdtemp(&tmpl[0]), nullptr);
    m_dir = tmpl;
    g_boxes.clear();
    g_answer = VID_YES;
    m_host.frame = new wxFrame(nullptr, wxID_ANY, "Vellum", wxDefaultPosition, wxSize(600, 400));
    m_host.frame->Show();
  }
  void TearDown() override
  {
    m_host.frame->Destroy();
    RunUntil([] { return wxTopLevelWindows.empty(); }, 2000);
    std::system(("rm -rf '" + m_dir + "'").c_str());
  }
  std::string m_dir;
  Host m_host;
  CVellumSettings m_settings;
};

} // namespace

TEST_F(BrowserGui, ListsSortsNavigatesAndDeletes)
{
  Copy(Corpus("bmp/pal8.bmp"), m_dir + "/b.bmp");
  Copy(Corpus("bmp/pal1.bmp"), m_dir + "/a.BMP");
  Copy(Corpus("pnm/rgb-8bit.ppm"), m_dir + "/c.ppm");
  std::ofstream(m_dir + "/notes.txt") << "x";
  mkdir((m_dir + "/sub").c_str(), 0755);
  m_settings.LCOpenDir = m_dir + "/";
  m_settings.LCOpenType = 100;

  auto *panel = new CBrowserPanel(m_host.frame, m_settings, m_host);
  EXPECT_EQ(panel->Directory(), m_dir);
  EXPECT_EQ(m_settings.LCOpenDir, m_dir);
  EXPECT_EQ(panel->ListedNames(), (std::vector<std::string>{"..", "sub", "a.BMP", "b.bmp", "c.ppm"}));
  ASSERT_FALSE(m_host.statuses.empty());
  EXPECT_EQ(m_host.statuses.back(), "Current directory: " + m_dir);
  EXPECT_EQ(panel->FilterBox()->GetSelection(), 7);
  ASSERT_GE(panel->PathBox()->GetSelection(), 0);
  EXPECT_EQ(panel->PathItems()[panel->PathBox()->GetSelection()].text, m_dir.substr(m_dir.rfind('/') + 1));

  // Size twice: descending, directories last.
  panel->ClickColumn(kColSize);
  panel->ClickColumn(kColSize);
  EXPECT_EQ(panel->ListedNames(), (std::vector<std::string>{"c.ppm", "b.bmp", "a.BMP", "..", "sub"}));
  panel->ClickColumn(kColName);

  // The detailed list shows the four columns and the texts.
  panel->SetDetailed(true);
  ASSERT_EQ(panel->List()->GetColumnCount(), 4);
  EXPECT_EQ(panel->List()->GetItemText(2, kColType), "Bmp");
  EXPECT_EQ(panel->List()->GetItemText(4, kColType), "Pnm");
  EXPECT_EQ(panel->List()->GetItemText(0, kColSize), "");
  panel->SetDetailed(false);
  EXPECT_FALSE(panel->IsDetailed());

  // Filter PNM: directories and c.ppm.
  panel->ChooseFilter(3);
  EXPECT_EQ(m_settings.LCOpenType, 4);
  EXPECT_EQ(panel->ListedNames(), (std::vector<std::string>{"..", "sub", "c.ppm"}));
  panel->ChooseFilter(7); // All supported

  // Into "sub" and back up with "..".
  panel->ActivateName("sub");
  EXPECT_EQ(m_settings.LCOpenDir, m_dir + "/sub");
  EXPECT_EQ(panel->ListedNames(), (std::vector<std::string>{".."}));
  EXPECT_EQ(panel->PathItems()[panel->PathBox()->GetSelection()].text, "sub");
  panel->ActivateName("..");
  EXPECT_EQ(m_settings.LCOpenDir, m_dir);
  panel->ActivateName("b.bmp");
  EXPECT_EQ(m_host.opened, (std::vector<std::string>{m_dir + "/b.bmp"}));

  // The path box goes back to the parent directory.
  const int sel = panel->PathBox()->GetSelection();
  ASSERT_GT(sel, 0);
  panel->ChoosePath(sel - 1);
  EXPECT_EQ(m_settings.LCOpenDir, m_dir.substr(0, m_dir.rfind('/')));
  panel->FillFileList(m_dir);
  panel->FillPathBox();

  // Select All takes the files only; Delete asks, then moves them to the
  // desktop's trash (the test's private XDG_DATA_HOME, never the real one).
  const char *data = std::getenv("XDG_DATA_HOME");
  ASSERT_NE(data, nullptr);
  ASSERT_NE(std::string(data).find("testhome"), std::string::npos) << data;
  panel->SelectAll();
  EXPECT_EQ(panel->SelectedNames(), (std::vector<std::string>{"a.BMP", "b.bmp", "c.ppm"}));
  panel->SelectName("sub");
  EXPECT_EQ(panel->SelectedFiles(), (std::vector<std::string>{"a.BMP", "b.bmp", "c.ppm"}));
  g_answer = VID_NO;
  panel->DeleteSelected();
  EXPECT_EQ(panel->ListedNames().size(), 5u);
  g_answer = VID_YES;
  panel->SelectName("sub", false);
  panel->SelectName("b.bmp", false);
  panel->SelectName("c.ppm", false);
  panel->DeleteSelected();
  ASSERT_EQ(g_boxes.size(), 2u);
  EXPECT_EQ(g_boxes[1], DeleteQuestion(1));
  EXPECT_EQ(panel->ListedNames(), (std::vector<std::string>{"..", "sub", "b.bmp", "c.ppm"}));
  EXPECT_NE(std::find(m_host.statuses.begin(), m_host.statuses.end(), "Moving a.BMP to the Trash."),
            m_host.statuses.end());
  struct stat st;
  EXPECT_EQ(stat((std::string(data) + "/Trash/files/a.BMP").c_str(), &st), 0);
  EXPECT_EQ(stat((std::string(data) + "/Trash/info/a.BMP.trashinfo").c_str(), &st), 0);
}

TEST_F(BrowserGui, SlideshowCyclesAndEndsOnQ)
{
  Copy(Corpus("bmp/pal8.bmp"), m_dir + "/one.bmp");
  Copy(Corpus("bmp/photo-night-192x144.bmp"), m_dir + "/two.bmp");
  m_settings.LCOpenDir = m_dir;
  auto *panel = new CBrowserPanel(m_host.frame, m_settings, m_host);
  EXPECT_FALSE(panel->StartSlideshow()); // nothing selected
  panel->SelectName("one.bmp");
  panel->SelectName("two.bmp");
  panel->SelectName("..");
  m_settings.SlideDelay = 1;
  ASSERT_TRUE(panel->StartSlideshow());
  CSlideshowWindow *show = panel->Slideshow();
  ASSERT_NE(show, nullptr);
  EXPECT_FALSE(m_host.barShown);
  EXPECT_FALSE(panel->StartSlideshow()); // one show at a time

  // Two images, one second each: 1/2, 2/2, 1/2 again.
  m_host.statuses.clear();
  m_host.statuses.push_back(show->StatusText());
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(RunUntil([&] { return m_host.shown.size() >= 3; }, 8000));
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(seconds, 1.9);
  EXPECT_EQ(m_host.shown,
            (std::vector<std::string>{m_dir + "/one.bmp", m_dir + "/two.bmp", m_dir + "/one.bmp"}));
  EXPECT_EQ(m_host.statuses, (std::vector<std::string>{"Showing image 1/2. Press ESC or Q to quit.",
                                                       "Showing image 2/2. Press ESC or Q to quit.",
                                                       "Showing image 1/2. Press ESC or Q to quit."}));

  // Other keys are swallowed; Q ends the show and the bar comes back.
  wxKeyEvent space(wxEVT_CHAR_HOOK);
  space.m_keyCode = ' ';
  show->GetEventHandler()->ProcessEvent(space);
  EXPECT_FALSE(show->Ended());
  wxKeyEvent q(wxEVT_CHAR_HOOK);
  q.m_keyCode = 'Q';
  show->GetEventHandler()->ProcessEvent(q);
  EXPECT_TRUE(m_host.barShown);
  ASSERT_TRUE(RunUntil([&] { return panel->Slideshow() == nullptr; }, 3000));
  const size_t count = m_host.shown.size();
  RunUntil([] { return false; }, 1300);
  EXPECT_EQ(m_host.shown.size(), count); // no more images after the end
}

TEST_F(BrowserGui, PrintoutCentresTheImageAndAsksWithoutResolution)
{
  CDibImage image;
  ASSERT_EQ(image.CreateBlock(100, 50, 24, DIB_ROWS_BOTTOMUP), 1);
  for (int r = 0; r < 50; ++r)
    for (int x = 0; x < 100; ++x)
    {
      unsigned char *p = image.Row(r) + 3 * x;
      p[0] = 0; // blue, green, red
      p[1] = 0;
      p[2] = 255;
    }
  image.m_nXDpi = image.m_nYDpi = 100;

  auto printPage = [&](wxBitmap &page) -> PrintPlan
  {
    page.Create(400, 400, 24);
    wxMemoryDC dc(page);
    dc.SetBackground(*wxWHITE_BRUSH);
    dc.Clear();
    CVellumPrintout printout(image, m_settings, 100);
    printout.SetDC(&dc);
    printout.SetPPIPrinter(100, 100);
    printout.SetPPIScreen(100, 100);
    printout.SetPageSizePixels(400, 400);
    printout.SetPageSizeMM(102, 102);
    printout.SetPaperRectPixels(wxRect(0, 0, 400, 400));
    EXPECT_TRUE(printout.OnPrintPage(1));
    dc.SelectObject(wxNullBitmap);
    return printout.LastPlan();
  };
  auto colour = [](const wxBitmap &bmp, int x, int y)
  {
    const wxImage img = bmp.ConvertToImage();
    return wxColour(img.GetRed(x, y), img.GetGreen(x, y), img.GetBlue(x, y));
  };

  // 100 DPI on a 100 DPI page: 100 x 50 centred on 400 x 400.
  m_settings.PrintSize = 0;
  m_settings.ShrinkPrint = 1;
  wxBitmap page;
  PrintPlan plan = printPage(page);
  EXPECT_EQ(plan.outcome, PrintPlan::kDraw);
  EXPECT_EQ(plan.px, 100);
  EXPECT_EQ(plan.offsetX, 150);
  EXPECT_EQ(plan.offsetY, 175);
  EXPECT_EQ(colour(page, 200, 200), *wxRED);
  EXPECT_EQ(colour(page, 140, 200), *wxWHITE);
  EXPECT_EQ(colour(page, 200, 170), *wxWHITE);
  EXPECT_TRUE(g_boxes.empty());

  // Unknown resolution: No leaves the page blank, Yes prints at screen size
  // for this page only.
  image.m_nXDpi = 0;
  g_answer = VID_NO;
  plan = printPage(page);
  EXPECT_EQ(plan.outcome, PrintPlan::kBlank);
  EXPECT_EQ(colour(page, 200, 200), *wxWHITE);
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0], kMsgResolutionUnknown);
  g_answer = VID_YES;
  CVellumPrintout::SetScreenPpiOverride(50);
  plan = printPage(page);
  CVellumPrintout::SetScreenPpiOverride(0);
  EXPECT_EQ(plan.px, 200);
  EXPECT_EQ(m_settings.PrintSize, 0);
  EXPECT_EQ(colour(page, 105, 200), *wxRED);
  EXPECT_EQ(colour(page, 200, 145), *wxWHITE);

  // A preview draws its page at every redraw: one question for the
  // printout, before the first page, and every drawing follows the answer.
  g_boxes.clear();
  {
    page.Create(400, 400, 24);
    wxMemoryDC dc(page);
    CVellumPrintout printout(image, m_settings, 100);
    printout.SetDC(&dc);
    printout.SetPPIPrinter(100, 100);
    printout.SetPageSizePixels(400, 400);
    printout.SetPageSizeMM(102, 102);
    printout.SetPaperRectPixels(wxRect(0, 0, 400, 400));
    printout.OnPreparePrinting();
    EXPECT_EQ(g_boxes.size(), 1u);
    for (int redraw = 0; redraw < 3; ++redraw)
    {
      EXPECT_TRUE(printout.OnPrintPage(1));
      EXPECT_EQ(printout.LastPlan().outcome, PrintPlan::kDraw);
    }
    EXPECT_EQ(g_boxes.size(), 1u);
    dc.SelectObject(wxNullBitmap);
  }

  m_settings.PrintSize = 5;
  plan = printPage(page);
  EXPECT_EQ(plan.outcome, PrintPlan::kUnknownSetting);
  EXPECT_EQ(g_boxes.back(), kMsgUnknownPrintSize);
}

TEST_F(BrowserGui, HintDialogStoresItsCheckBoxAndHelpOpens)
{
  std::string caption;
  g_hook.script = [&](wxDialog *d)
  {
    caption = d->GetTitle().utf8_string();
    auto *check = wxDynamicCast(d->FindWindow(CHintDlg::IDC_HINT_CHECK), wxCheckBox);
    ASSERT_NE(check, nullptr);
    EXPECT_FALSE(check->GetValue());
    check->SetValue(true);
  };
  EXPECT_TRUE(RunHintDialog(m_host.frame, false));
  EXPECT_EQ(caption, "Vellum Hint");
  g_hook.script = nullptr;
  EXPECT_FALSE(RunHintDialog(m_host.frame, false));
  EXPECT_TRUE(RunHintDialog(m_host.frame, true));
  m_settings.NoStartupInfo = 1;
  g_hook.script = [](wxDialog *d)
  { wxDynamicCast(d->FindWindow(CHintDlg::IDC_HINT_CHECK), wxCheckBox)->SetValue(false); };
  ShowHint(m_host.frame, m_settings);
  EXPECT_EQ(m_settings.NoStartupInfo, 0);
  g_hook.script = nullptr;

  // The help book of the source tree opens in the help viewer.
  ASSERT_FALSE(HelpDirectory().empty());
  EXPECT_EQ(ShowHelp(m_host.frame, kHelpResize), kHelpViewer);
  EXPECT_EQ(ShowHelp(m_host.frame, nullptr), kHelpViewer);
}

int main(int argc, char **argv)
{
  if (int status = vellum_test::RerunUnderXvfb(argc, argv); status >= 0)
    return status;
  ::testing::InitGoogleTest(&argc, argv);
  wxApp::SetInstance(new wxApp);
  int wxArgc = 1;
  char *wxArgv[] = {argv[0], nullptr};
  if (!wxEntryStart(wxArgc, wxArgv))
  {
    std::fprintf(stderr, "no display\n");
    return 1;
  }
  delete wxLog::SetActiveTarget(new wxLogStderr);
  VellumSetMessageBoxHook(RecordBox);
  g_hook.Register();
  const int rc = RUN_ALL_TESTS();
  g_hook.Unregister();
  wxEntryCleanup();
  return rc;
}

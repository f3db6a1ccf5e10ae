// The viewer under a real (virtual) display: start-up, opening every corpus
// file, drops, pages, zoom, layers, scanning and closing. Message boxes are
// recorded through the message-box hook; modal dialogs are answered by a
// wxModalDialogHook; every wait is bounded.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/dir.h>
#include <wx/filehistory.h>
#include <wx/image.h>
#include <wx/imagpng.h>
#include <wx/log.h>
#include <wx/modalhook.h>
#include <wx/scrolwin.h>
#include <wx/statusbr.h>

#include "CommandIds.h"
#include "DocumentNames.h"
#include "MainFrame.h"
#include "MessageBox.h"
#include "Scanner.h"
#include "UiHooks.h"
#include "VellumApp.h"
#include "VellumDoc.h"
#include "VellumView.h"

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
int g_answer = VID_OK; // answer to questions (Yes/No/Cancel boxes)

int RecordBox(const char *text, const char *, unsigned style)
{
  g_boxes.push_back({text, style});
  const unsigned buttons = style & VMB_BUTTON_MASK;
  return buttons == VMB_YESNO || buttons == VMB_YESNOCANCEL ? g_answer : VID_OK;
}

// Answers every modal dialog with OK without showing it.
class AnswerDialogs : public wxModalDialogHook
{
public:
  int shown = 0;
  int Enter(wxDialog *) override
  {
    ++shown;
    return wxID_OK;
  }
  void Exit(wxDialog *) override {}
};
AnswerDialogs g_dialogs;

std::string Env(const char *name, const char *def)
{
  const char *v = std::getenv(name);
  return v ? v : def;
}

std::string Corpus(const std::string &rel)
{
  return Env("VELLUM_CORPUS", "../shared/corpus") + "/" + rel;
}
std::string Tmp()
{
  return Env("VELLUM_TEST_TMP", "/tmp");
}

// Runs the event loop for about ms milliseconds (bounded).
void Pump(int ms = 50)
{
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  do
  {
    wxTheApp->ProcessPendingEvents();
    wxTheApp->Yield(true);
    wxMilliSleep(5);
  } while (std::chrono::steady_clock::now() < end);
}

CVellumApp &App()
{
  return wxGetApp();
}
CMainFrame &Frame()
{
  return *App().MainFrame();
}
CVellumDoc &Doc()
{
  return *App().Document();
}
CVellumView &View()
{
  return *Doc().View();
}

// Opens as the command line does (kind from the name).
void OpenAsCommandLine(const std::string &path)
{
  Doc().m_model.m_nOpenKind = 0;
  Doc().m_model.m_nPageIndex = 0;
  Doc().OnOpenDocument(wxString::FromUTF8(path));
  Pump(10);
}

// Paints the view now.
void Paint()
{
  View().m_pCanvas->Refresh();
  View().m_pCanvas->Update();
  Pump(10);
}

bool Enabled(int id)
{
  wxUpdateUIEvent event(id);
  event.SetEventObject(&Frame());
  Frame().ProcessWindowEvent(event);
  return !event.GetSetEnabled() || event.GetEnabled(); // no handler: enabled
}

class Gui : public ::testing::Test
{
protected:
  void SetUp() override
  {
    g_boxes.clear();
    g_answer = VID_OK;
    Doc().Modify(false);
    CVellumSettings &s = App().m_settings;
    s.ImageFit = 0;
    s.WindowFit = 1;
    s.FancyZoom = 1;
    s.Dither = 1;
    SetScreenDepthOverride(0);
  }
};

std::vector<std::string> CorpusFiles(const std::string &dir)
{
  std::vector<std::string> out;
  wxArrayString names;
  wxDir::GetAllFiles(wxString::FromUTF8(Corpus(dir)), &names, wxEmptyString, wxDIR_FILES);
  for (const wxString &n : names)
    out.push_back(n.utf8_string());
  std::sort(out.begin(), out.end());
  return out;
}

} // namespace

TEST_F(Gui, StartsEmptyShowingTheLogo)
{
  EXPECT_FALSE(Doc().m_model.HasImage());
  EXPECT_EQ(Frame().GetTitle(), "Vellum");
  EXPECT_EQ(View().m_nZoom, 0);
  EXPECT_EQ(Frame().ZoomBoxSelection(), 9);
  EXPECT_FALSE(Enabled(ID_VIEW_ZOOM_IN));
  EXPECT_FALSE(Enabled(ID_VIEW_LAYER_BW));
  EXPECT_TRUE(Enabled(ID_FILE_OPEN_IMAGE));
  EXPECT_EQ(Frame().GetStatusBar()->GetStatusText(1), " WxHxBits");
  EXPECT_EQ(Frame().GetStatusBar()->GetStatusText(2), " DPI");
  // Window fit with no image: 600 x 500.
  const wxSize size = Frame().GetSize();
  EXPECT_EQ(size.x, 600);
  EXPECT_EQ(size.y, 500);
  Paint();
  EXPECT_TRUE(g_boxes.empty());
}

TEST_F(Gui, OpensEveryReadableCorpusFileAndRefusesTheBadOnes)
{
  for (const char *dir : {"bmp", "djvu", "jpeg", "pnm", "tiff", "scan", "photo", "page"})
    for (const std::string &path : CorpusFiles(dir))
    {
      SCOPED_TRACE(path);
      g_boxes.clear();
      OpenAsCommandLine(path);
      Paint();
      const int kind = GetImageFileType(path.c_str());
      const bool questionable = path.find("/q-") != std::string::npos;
      if (kind == IMAGE_FILE_UNKNOWN)
      {
        ASSERT_EQ(g_boxes.size(), 1u);
        EXPECT_EQ(g_boxes[0].text, "File type not recognized!");
        EXPECT_FALSE(Doc().m_model.HasImage());
      }
      else if (questionable)
      {
        // Read it or refuse it, without crashing.
        EXPECT_TRUE(Doc().m_model.HasImage() || !g_boxes.empty());
      }
      else
      {
        EXPECT_TRUE(Doc().m_model.HasImage());
        EXPECT_TRUE(g_boxes.empty()) << (g_boxes.empty() ? "" : g_boxes[0].text);
        EXPECT_EQ(Doc().GetFilename().utf8_string(), path);
        EXPECT_EQ(Doc().m_model.m_nContentKind, kind);
        EXPECT_EQ(Frame().GetTitle().utf8_string().rfind(FileNameOf(path), 0), 0u);
      }
    }
  // Bad files: refused with "Failed to open the image!" (the document empty,
  // its path name unchanged), or, for the few the corpus allows, read.
  wxString lastGood = Doc().GetFilename();
  const char *mayOpen[] = {"plain-p", "bundled", "jpeg-truncated", "ifd-loop"};
  for (const std::string &path : CorpusFiles("bad"))
  {
    SCOPED_TRACE(path);
    g_boxes.clear();
    OpenAsCommandLine(path);
    Paint();
    EXPECT_EQ(Doc().m_model.m_strLastOpenedPath, path);
    if (Doc().m_model.HasImage())
    {
      EXPECT_TRUE(std::any_of(std::begin(mayOpen), std::end(mayOpen),
                              [&](const char *p) { return path.find(p) != std::string::npos; }));
      lastGood = Doc().GetFilename();
      continue;
    }
    ASSERT_FALSE(g_boxes.empty());
    EXPECT_EQ(g_boxes.back().text, "Failed to open the image!");
    EXPECT_EQ(Doc().DocTitle(), "");
    EXPECT_EQ(Frame().GetTitle(), "Vellum");
    EXPECT_EQ(Doc().GetFilename(), lastGood);
  }
}

TEST_F(Gui, DroppedFilesOpenInOrder)
{
  const std::string notes = Tmp() + "/notes.txt";
  std::ofstream(notes) << "text\n";
  ASSERT_TRUE(Frame().OpenDroppedFiles({notes}));
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].text, "File type not recognized!");
  EXPECT_FALSE(Doc().m_model.HasImage());

  g_boxes.clear();
  ASSERT_TRUE(Frame().OpenDroppedFiles({Corpus("bmp/rgb24.bmp"), Corpus("pnm/rgb-8bit.ppm")}));
  EXPECT_TRUE(g_boxes.empty());
  EXPECT_EQ(Doc().DocTitle(), "rgb-8bit.ppm");

  // A modified image asks first; Cancel ignores the drop.
  Doc().Modify(true);
  g_answer = VID_CANCEL;
  EXPECT_FALSE(Frame().OpenDroppedFiles({Corpus("bmp/rgb24.bmp")}));
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].text, "Save rgb-8bit.ppm first?");
  EXPECT_EQ(g_boxes[0].style, VMB_YESNOCANCEL | VMB_ICONQUESTION);
  EXPECT_EQ(Doc().DocTitle(), "rgb-8bit.ppm");
  g_answer = VID_NO;
  EXPECT_TRUE(Frame().OpenDroppedFiles({Corpus("bmp/rgb24.bmp")}));
  EXPECT_EQ(Doc().DocTitle(), "rgb24.bmp");
  EXPECT_FALSE(Doc().IsModified());
}

TEST_F(Gui, OpenDialogChoiceForcesTheKind)
{
  // The BMP filter on a JPEG file forces the BMP reader, which fails.
  Frame().OpenWithChoice(Corpus("jpeg/baseline-227x149.jpg"), 3);
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].text, "Failed to open the image!");
  EXPECT_EQ(App().m_settings.OpenType, 3);
  EXPECT_EQ(App().m_settings.OpenDir, Corpus("jpeg"));
  g_boxes.clear();
  Frame().OpenWithChoice(Corpus("bmp/pal8.bmp"), 7);
  EXPECT_TRUE(g_boxes.empty());
  EXPECT_EQ(App().m_settings.OpenType, 100);
  EXPECT_EQ(Doc().m_model.m_nContentKind, kKindBmp);
}

TEST_F(Gui, PagesThroughAMultiPageTiff)
{
  Frame().OpenWithChoice(Corpus("tiff/multipage-palette-3p.tif"), 5);
  ASSERT_TRUE(Doc().m_model.HasImage()) << (g_boxes.empty() ? "" : g_boxes[0].text);
  EXPECT_EQ(Doc().DocTitle(), "multipage-palette-3p.tif (page 1 of 3)");
  EXPECT_FALSE(Enabled(ID_PAGE_FIRST));
  EXPECT_FALSE(Enabled(ID_PAGE_PREVIOUS));
  EXPECT_TRUE(Enabled(ID_PAGE_NEXT));
  Frame().ProcessCommand(ID_PAGE_NEXT);
  Frame().ProcessCommand(ID_PAGE_NEXT);
  EXPECT_EQ(Doc().DocTitle(), "multipage-palette-3p.tif (page 3 of 3)");
  EXPECT_EQ(Doc().m_model.m_pImage->m_nWidth, 20);
  EXPECT_FALSE(Enabled(ID_PAGE_NEXT));
  EXPECT_FALSE(Enabled(ID_PAGE_LAST));
  Frame().ProcessCommand(ID_PAGE_PREVIOUS);
  EXPECT_EQ(Doc().DocTitle(), "multipage-palette-3p.tif (page 2 of 3)");
  Frame().ProcessCommand(ID_PAGE_LAST);
  EXPECT_EQ(Doc().DocTitle(), "multipage-palette-3p.tif (page 3 of 3)");
  Frame().ProcessCommand(ID_PAGE_FIRST);
  EXPECT_EQ(Doc().DocTitle(), "multipage-palette-3p.tif (page 1 of 3)");
  EXPECT_TRUE(g_boxes.empty());
}

TEST_F(Gui, ZoomsInAndOutKeepingTheScrollPosition)
{
  OpenAsCommandLine(Corpus("djvu/form-scan-cjb2.djvu"));
  ASSERT_TRUE(Doc().m_model.HasImage());
  const int fitted = View().m_nZoom;
  EXPECT_LT(fitted, 0);
  EXPECT_EQ(Doc().m_model.m_nZoom, fitted);
  EXPECT_EQ(Doc().m_model.m_pImage->m_nWidth, 2453 / (1 - fitted)); // rendered reduced
  EXPECT_EQ(Frame().ZoomBoxSelection(), 9 - fitted);

  // Up to 1000 %: Zoom In is disabled there.
  App().m_settings.WindowFit = 0;
  for (int z = fitted; z < 9; ++z)
  {
    ASSERT_TRUE(Enabled(ID_VIEW_ZOOM_IN)) << z;
    Frame().ProcessCommand(ID_VIEW_ZOOM_IN);
  }
  EXPECT_EQ(View().m_nZoom, 9);
  EXPECT_FALSE(Enabled(ID_VIEW_ZOOM_IN));
  EXPECT_EQ(Frame().ZoomBoxSelection(), 0);
  EXPECT_EQ(Doc().m_model.m_pImage->m_nWidth, 2453); // full scale when magnified
  EXPECT_EQ(View().ScrollRange().w, 2453 * 10);

  // Scroll, then step: the top-left image point stays put.
  View().SetZoom(2, CVellumView::kZoomBox);
  View().m_pCanvas->Scroll(301, 600);
  Pump(10);
  Frame().ProcessCommand(ID_VIEW_ZOOM_IN);
  int x = 0, y = 0;
  View().m_pCanvas->GetViewStart(&x, &y);
  EXPECT_EQ(x, 301 * 4 / 3);
  EXPECT_EQ(y, 800);
  Paint();

  // Down to 10 %: Zoom Out is disabled there; every step re-rendered reduced.
  for (int z = View().m_nZoom; z > -9; --z)
  {
    ASSERT_TRUE(Enabled(ID_VIEW_ZOOM_OUT)) << z;
    Frame().ProcessCommand(ID_VIEW_ZOOM_OUT);
    Paint();
  }
  EXPECT_EQ(View().m_nZoom, -9);
  EXPECT_FALSE(Enabled(ID_VIEW_ZOOM_OUT));
  EXPECT_EQ(Doc().m_model.m_pImage->m_nWidth, 2453 / 10);
  EXPECT_EQ(Frame().ZoomBoxSelection(), 18);

  // Without FancyZoom a zoom change does not re-render.
  App().m_settings.FancyZoom = 0;
  View().SetZoom(-2, CVellumView::kZoomBox);
  EXPECT_EQ(Doc().m_model.m_pImage->m_nWidth, 2453 / 10);
  EXPECT_TRUE(g_boxes.empty());
}

TEST_F(Gui, SwitchesDjVuLayers)
{
  OpenAsCommandLine(Corpus("djvu/compound-flower-fg44-bg44.djvu"));
  ASSERT_TRUE(Doc().m_model.HasImage());
  EXPECT_TRUE(Enabled(ID_VIEW_LAYER_BW));
  for (int id : {ID_VIEW_LAYER_BW, ID_VIEW_LAYER_BACKGROUND, ID_VIEW_LAYER_FOREGROUND, ID_VIEW_LAYER_COLOR})
  {
    Frame().ProcessCommand(id);
    Paint();
    EXPECT_EQ(View().m_nLayer, id - ID_VIEW_LAYER_COLOR);
    ASSERT_TRUE(Doc().m_model.HasImage());
    if (id == ID_VIEW_LAYER_BW)
    {
      EXPECT_EQ(Doc().m_model.m_pImage->m_nBitsPerPixel, 8); // pure black and white grey
    }
  }
  EXPECT_TRUE(g_boxes.empty());
  OpenAsCommandLine(Corpus("bmp/rgb24.bmp"));
  EXPECT_FALSE(Enabled(ID_VIEW_LAYER_BW));
  EXPECT_TRUE(Enabled(ID_VIEW_REFRESH));
}

TEST_F(Gui, DitheredRenderingForALowColourDisplay)
{
  SetScreenDepthOverride(8);
  EXPECT_TRUE(App().WarnColorDepth());
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].text.rfind("Your display color depth is only 8-bit.", 0), 0u);
  EXPECT_EQ(g_boxes[0].style, VMB_OK | VMB_ICONEXCLAMATION);
  g_boxes.clear();
  OpenAsCommandLine(Corpus("djvu/compound-flower-fg44-bg44.djvu"));
  ASSERT_TRUE(Doc().m_model.HasImage());
  Paint();
  SetScreenDepthOverride(16);
  EXPECT_FALSE(App().WarnColorDepth());
  EXPECT_TRUE(g_boxes.empty());
}

TEST_F(Gui, ScansFromTheSaneTestDevice)
{
  Scanner &scanner = Scanner::Instance();
  ASSERT_TRUE(scanner.IsSourceManagerAvailable());
  Pump(10);
  EXPECT_TRUE(Enabled(ID_FILE_NEW_SCAN));
  const int before = g_dialogs.shown;
  Frame().ProcessCommand(ID_FILE_SELECT_SOURCE);
  EXPECT_EQ(g_dialogs.shown, before + 1);
  EXPECT_EQ(scanner.SelectedSource().rfind("test:", 0), 0u);

  scanner.ClearOptions();
  scanner.SetOption("mode", "Color");
  scanner.SetOption("test-picture", "Color pattern");
  scanner.SetOption("resolution", "75");
  Frame().ProcessCommand(ID_FILE_NEW_SCAN);
  ASSERT_TRUE(Doc().m_model.HasImage()) << scanner.LastError();
  EXPECT_EQ(Doc().DocTitle(), "Untitled scanned image");
  EXPECT_EQ(Doc().m_model.m_nContentKind, kKindBmp);
  EXPECT_TRUE(Doc().IsModified());
  EXPECT_EQ(Doc().m_model.m_pImage->m_nBitsPerPixel, 24);
  EXPECT_EQ(Doc().m_model.m_pImage->m_nXDpi, 75);
  Paint();

  // A second scan asks about the modified one first; Cancel keeps it.
  g_answer = VID_CANCEL;
  Frame().ProcessCommand(ID_FILE_NEW_SCAN);
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].text, "Save Untitled scanned image first?");
  EXPECT_TRUE(Doc().IsModified());

  // A scan that fails: "Failed to acquire image!" and an empty document.
  g_boxes.clear();
  g_answer = VID_NO;
  scanner.SetOption("read-return-value", "SANE_STATUS_IO_ERROR");
  scanner.SetOption("enable-test-options", "yes");
  Frame().ProcessCommand(ID_FILE_NEW_SCAN);
  scanner.ClearOptions();
  ASSERT_FALSE(g_boxes.empty());
  EXPECT_EQ(g_boxes.back().text, "Failed to acquire image!");
  EXPECT_FALSE(Doc().m_model.HasImage());
}

TEST_F(Gui, RecentFilesReopenAndAreStored)
{
  OpenAsCommandLine(Corpus("bmp/pal4.bmp"));
  OpenAsCommandLine(Corpus("bmp/pal8.bmp"));
  wxFileHistory *history = App().m_pDocManager->GetFileHistory();
  ASSERT_GE(history->GetCount(), 2u);
  EXPECT_LE(history->GetCount(), 5u);
  EXPECT_EQ(history->GetHistoryFile(0).utf8_string(), Corpus("bmp/pal8.bmp"));
  Frame().ProcessCommand(wxID_FILE2);
  EXPECT_EQ(Doc().DocTitle(), "pal4.bmp");
  App().SaveSettings();
  std::ifstream ini(App().m_strProfileName);
  std::stringstream text;
  text << ini.rdbuf();
  EXPECT_NE(text.str().find("[Recent File List]"), std::string::npos);
  EXPECT_NE(text.str().find("File1=" + Corpus("bmp/pal4.bmp")), std::string::npos);
}

TEST_F(Gui, ScreenshotOfADjVuPage)
{
  App().m_settings.WindowFit = 1;
  OpenAsCommandLine(Corpus("djvu/compound-flower-fg44-bg44.djvu"));
  Frame().Raise();
  Paint();
  Pump(300);
  // The main window as the screen shows it, kept as a test artefact.
  const wxRect rect = Frame().GetScreenRect();
  wxBitmap shot(rect.width, rect.height);
  {
    wxScreenDC screen;
    wxMemoryDC memory(shot);
    memory.Blit(0, 0, rect.width, rect.height, &screen, rect.x, rect.y);
  }
  const std::string file = Tmp() + "/main-window.png";
  ASSERT_TRUE(shot.ConvertToImage().SaveFile(wxString::FromUTF8(file), wxBITMAP_TYPE_PNG));
  // The page is on the screen: the view's middle is not the grey background.
  const wxImage image = shot.ConvertToImage();
  const wxRect canvas = View().m_pCanvas->GetScreenRect();
  const wxPoint mid =
      canvas.GetPosition() - rect.GetPosition() + wxPoint(canvas.width / 2, canvas.height / 2);
  EXPECT_FALSE(image.GetRed(mid.x, mid.y) == 192 && image.GetGreen(mid.x, mid.y) == 192);
  std::printf("screenshot: %s\n", file.c_str());
}

TEST_F(Gui, CloseAsksFirstAndWritesTheSettings)
{
  OpenAsCommandLine(Corpus("bmp/rgb24.bmp"));
  Doc().Modify(true);
  std::remove(App().m_strProfileName.c_str());
  g_answer = VID_CANCEL;
  EXPECT_FALSE(Frame().Close(false));
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].text, "Save rgb24.bmp first?");
  struct stat st;
  EXPECT_NE(stat(App().m_strProfileName.c_str(), &st), 0); // nothing written
  g_answer = VID_NO;
  EXPECT_TRUE(Frame().Close(false));
  EXPECT_EQ(stat(App().m_strProfileName.c_str(), &st), 0);
  Pump(50);
}

int main(int argc, char **argv)
{
  // Without a display, run again under a virtual one.
  if (Env("DISPLAY", "").empty() && Env("VELLUM_UNDER_XVFB", "").empty())
  {
    setenv("VELLUM_UNDER_XVFB", "1", 1);
    std::vector<char *> args = {const_cast<char *>("xvfb-run"), const_cast<char *>("-a"),
                                const_cast<char *>("-s"), const_cast<char *>("-screen 0 1280x1024x24")};
    for (int i = 0; i < argc; ++i)
      args.push_back(argv[i]);
    args.push_back(nullptr);
    execvp("xvfb-run", args.data());
    std::perror("xvfb-run");
    return 1;
  }
  ::testing::InitGoogleTest(&argc, argv);
  // Only SANE's test backend, from a private configuration.
  const std::string sane = Tmp() + "/sane-config";
  mkdir(sane.c_str(), 0700);
  std::ofstream(sane + "/dll.conf") << "test\n";
  setenv("SANE_CONFIG_DIR", sane.c_str(), 1);

  CVellumApp *app = new CVellumApp;
  app->m_bQuiet = true;
  app->m_strSettingsOverride = Tmp() + "/Vellum.ini";
  wxApp::SetInstance(app);
  int wxArgc = 1;
  char *wxArgv[] = {argv[0], nullptr};
  if (!wxEntryStart(wxArgc, wxArgv))
  {
    std::fprintf(stderr, "no display\n");
    return 1;
  }
  delete wxLog::SetActiveTarget(new wxLogStderr); // no modal log boxes
  // A failed wx assertion fails the run instead of opening a dialog.
  wxSetAssertHandler(
      [](const wxString &file, int line, const wxString &func, const wxString &cond, const wxString &msg)
      {
        std::fprintf(stderr, "wx assertion %s at %s:%d in %s: %s\n", cond.utf8_str().data(),
                     file.utf8_str().data(), line, func.utf8_str().data(), msg.utf8_str().data());
        ADD_FAILURE() << "wx assertion " << cond.utf8_string() << ": " << msg.utf8_string();
      });
  VellumSetMessageBoxHook(RecordBox);
  g_dialogs.Register();
  wxImage::AddHandler(new wxPNGHandler);
  if (!app->CallOnInit())
    return 2;
  Pump(100);
  const int rc = RUN_ALL_TESTS();
  if (wxTheApp->GetTopWindow())
    wxTheApp->GetTopWindow()->Destroy();
  Pump(20);
  app->OnExit();
  wxEntryCleanup();
  return rc;
}

// The viewer under a real (virtual) display: start-up, opening every corpus
// file, drops, pages, zoom, layers, scanning and closing. Message boxes are
// recorded through the message-box hook; modal dialogs are answered by a
// wxModalDialogHook; every wait is bounded.
#include "../GuiTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/dir.h>
#include <wx/filedlg.h>
#include <wx/filehistory.h>
#include <wx/image.h>
#include <wx/imagpng.h>
#include <wx/log.h>
#include <wx/modalhook.h>
#include <wx/scrolwin.h>
#include <wx/statusbr.h>
#include <wx/toolbar.h>

#include "CommandIds.h"
#include "DocumentNames.h"
#include "MainFrame.h"
#include "MessageBox.h"
#include "Scanner.h"
#include "UiHooks.h"
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
int g_answer = VID_OK; // answer to questions (Yes/No/Cancel boxes)

int RecordBox(const char *text, const char *, unsigned style)
{
  g_boxes.push_back({text, style});
  const unsigned buttons = style & VMB_BUTTON_MASK;
  return buttons == VMB_YESNO || buttons == VMB_YESNOCANCEL ? g_answer : VID_OK;
}

// Answers every modal dialog with OK without showing it; file dialogs with
// fileAnswer.
class AnswerDialogs : public wxModalDialogHook
{
public:
  int shown = 0;
  int fileDialogs = 0;
  int fileAnswer = wxID_CANCEL;
  std::string fileName; // the name and filter index the last file dialog proposed
  int filterIndex = -1;
  int Enter(wxDialog *dialog) override
  {
    ++shown;
    if (wxFileDialog *file = dynamic_cast<wxFileDialog *>(dialog))
    {
      ++fileDialogs;
      fileName = file->GetFilename().utf8_string();
      filterIndex = file->GetFilterIndex();
      return fileAnswer;
    }
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

// Runs the event loop for about ms milliseconds (bounded).
void Pump(int ms = 50)
{
  vellum_test::PumpFor(ms);
}

using vellum_test::App;
using vellum_test::Doc;
using vellum_test::Frame;
using vellum_test::View;

// Opens as the command line does (kind from the name).
void OpenAsCommandLine(const std::string &path)
{
  Doc().Open(path, kKindNone, 0);
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
    g_dialogs.fileDialogs = 0;
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
  // The start-up new document was made without scanning (SANE's test
  // device would have given a page).
  EXPECT_EQ(Doc().m_model.m_bFirstNewDocument, 0);
  EXPECT_FALSE(Doc().IsModified());
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
  // Bad files: refused with one message naming the file and the reason (the
  // page on screen kept), or, for the few the corpus allows, read.
  wxString lastGood = Doc().GetFilename();
  std::string lastTitle = Doc().DocTitle();
  const char *mayOpen[] = {"plain-p", "bundled", "jpeg-truncated", "ifd-loop"};
  for (const std::string &path : CorpusFiles("bad"))
  {
    SCOPED_TRACE(path);
    g_boxes.clear();
    OpenAsCommandLine(path);
    Paint();
    if (g_boxes.empty())
    {
      EXPECT_TRUE(std::any_of(std::begin(mayOpen), std::end(mayOpen),
                              [&](const char *p) { return path.find(p) != std::string::npos; }));
      EXPECT_EQ(Doc().m_model.m_strLastOpenedPath, path);
      lastGood = Doc().GetFilename();
      lastTitle = Doc().DocTitle();
      continue;
    }
    ASSERT_EQ(g_boxes.size(), 1u);
    const std::string &text = g_boxes[0].text;
    EXPECT_EQ(text.rfind(std::string("Failed to open the image!\n\n") + FileNameOf(path) + ": ", 0), 0u)
        << text;
    EXPECT_EQ(text.find("Line:"), std::string::npos) << text;
    EXPECT_EQ(text.find("libAPI"), std::string::npos) << text;
    EXPECT_TRUE(Doc().m_model.HasImage());
    EXPECT_EQ(Doc().DocTitle(), lastTitle);
    EXPECT_EQ(Doc().GetFilename(), lastGood);
  }
}

TEST_F(Gui, DroppedFilesOpenInOrder)
{
  const std::string notes = Tmp() + "/notes.txt";
  std::ofstream(notes) << "text\n";
  const bool hadImage = Doc().m_model.HasImage();
  ASSERT_TRUE(Frame().OpenDroppedFiles({notes}));
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].text, "File type not recognized!");
  EXPECT_EQ(Doc().m_model.HasImage(), hadImage); // a failed open keeps the page

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
  EXPECT_EQ(g_boxes[0].style, VMB_YESNOCANCEL | VMB_SAVE_LABELS | VMB_ICONQUESTION);
  EXPECT_EQ(Doc().DocTitle(), "rgb-8bit.ppm");
  // Yes with a cancelled Save As keeps the changes and ignores the drop.
  g_answer = VID_YES;
  g_dialogs.fileAnswer = wxID_CANCEL;
  EXPECT_FALSE(Frame().OpenDroppedFiles({Corpus("bmp/rgb24.bmp")}));
  EXPECT_TRUE(Doc().IsModified());
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
  EXPECT_EQ(g_boxes[0].text.rfind("Failed to open the image!\n\nbaseline-227x149.jpg: ", 0), 0u);
  EXPECT_EQ(App().m_settings.OpenType, 3);
  EXPECT_EQ(App().m_settings.OpenDir, Corpus("jpeg"));
  g_boxes.clear();
  Frame().OpenWithChoice(Corpus("bmp/pal8.bmp"), 8);
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
  // Rendered reduced, at the decode subsample: the size rounded up.
  EXPECT_EQ(Doc().m_model.m_pImage->m_nWidth, (2453 - fitted) / (1 - fitted));
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
  EXPECT_EQ(Doc().m_model.m_pImage->m_nWidth, 246); // 2453 / 10 rounded up
  EXPECT_EQ(Frame().ZoomBoxSelection(), 18);

  // Without FancyZoom a zoom change does not re-render.
  App().m_settings.FancyZoom = 0;
  View().SetZoom(-2, CVellumView::kZoomBox);
  EXPECT_EQ(Doc().m_model.m_pImage->m_nWidth, 246); // 2453 / 10 rounded up
  EXPECT_TRUE(g_boxes.empty());
}

// The pointer is never moved by the program, even when a zoom step moves the
// window.
TEST_F(Gui, ZoomStepThatMovesTheWindowLeavesThePointer)
{
  App().m_settings.WindowFit = 1;
  App().m_settings.WindowCenter = 1;
  OpenAsCommandLine(Corpus("bmp/rgb24.bmp")); // 127 x 64
  Pump(50);
  const wxPoint pointer = wxGetMousePosition();
  bool moved = false;
  for (int step = 0; step < 9 && !moved; ++step)
  {
    const wxPoint before = Frame().GetPosition();
    Frame().ProcessCommand(ID_VIEW_ZOOM_IN);
    Pump(30);
    moved = Frame().GetPosition() != before;
  }
  ASSERT_TRUE(moved);
  EXPECT_EQ(wxGetMousePosition(), pointer);
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

namespace
{

std::string ReadFile(const std::string &path)
{
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::string Command(const std::string &command)
{
  std::string out;
  if (FILE *p = popen(command.c_str(), "r"))
  {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
      out.append(buf, n);
    pclose(p);
  }
  return out;
}

// A directory in which no file can be created or replaced (root ignores the
// permission bits; the immutable attribute binds it too).
class LockedDirectory
{
public:
  explicit LockedDirectory(const std::string &dir) : m_dir(dir)
  {
    chmod(dir.c_str(), 0555);
    if (access(dir.c_str(), W_OK) != 0)
      return;
    m_fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    int flags = 0;
    if (m_fd >= 0 && ioctl(m_fd, FS_IOC_GETFLAGS, &flags) == 0)
    {
      flags |= FS_IMMUTABLE_FL;
      m_immutable = ioctl(m_fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
  }
  ~LockedDirectory()
  {
    if (m_immutable)
    {
      int flags = 0;
      ioctl(m_fd, FS_IOC_GETFLAGS, &flags);
      flags &= ~FS_IMMUTABLE_FL;
      ioctl(m_fd, FS_IOC_SETFLAGS, &flags);
    }
    if (m_fd >= 0)
      close(m_fd);
    chmod(m_dir.c_str(), 0755);
  }
  bool Locked() const
  {
    const std::string probe = m_dir + "/probe";
    const int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0)
      return true;
    close(fd);
    unlink(probe.c_str());
    return false;
  }

private:
  std::string m_dir;
  int m_fd = -1;
  bool m_immutable = false;
};

std::string SaveTestDir(const char *name)
{
  const std::string dir = Tmp() + "/" + name;
  Command("rm -rf '" + dir + "'");
  mkdir(dir.c_str(), 0755);
  return dir;
}

} // namespace

TEST_F(Gui, SaveAsWritesDjVuAndBmpOfAnOpenedFile)
{
  const std::string dir = SaveTestDir("save-as");
  const std::string source = Corpus("bmp/rgb24.bmp");
  OpenAsCommandLine(source);
  ASSERT_TRUE(Doc().m_model.HasImage());
  EXPECT_FALSE(Enabled(ID_FILE_SAVE)); // unmodified
  EXPECT_TRUE(Enabled(ID_FILE_SAVE_AS));
  g_answer = VID_NO; // the resolution review, if asked: save as it is

  // DjVu: the typed name gets the extension; djvudump reads the page.
  ASSERT_TRUE(Doc().SaveAsTo(dir + "/page", 1));
  const std::string djvu = dir + "/page.djvu";
  const std::string dump = Command("djvudump '" + djvu + "' 2>&1");
  EXPECT_NE(dump.find("FORM:DJVU"), std::string::npos) << dump;
  EXPECT_NE(dump.find("INFO"), std::string::npos) << dump;
  EXPECT_EQ(Frame().GetTitle(), "rgb24.bmp (last saved as page.djvu) - Vellum");
  EXPECT_FALSE(Doc().IsModified());
  EXPECT_EQ(Doc().GetFilename().utf8_string(), djvu);
  EXPECT_EQ(App().m_settings.SaveType, 1);
  EXPECT_EQ(App().m_settings.SaveDir, dir);
  EXPECT_EQ(Doc().m_model.m_nSaveKind, 1);
  for (const Box &box : g_boxes)
    EXPECT_EQ(box.text.find("DjVu error"), std::string::npos) << box.text;
  // The progress window is gone.
  for (wxWindow *w : wxTopLevelWindows)
    EXPECT_NE(w->GetLabel(), "Save in progress");

  // BMP: the same pixels as the file opened.
  Doc().Modify(true);
  ASSERT_TRUE(Doc().SaveAsTo(dir + "/copy.bmp", 3));
  EXPECT_EQ(Frame().GetTitle(), "rgb24.bmp (last saved as copy.bmp) - Vellum");
  wxImage original(wxString::FromUTF8(source)), saved(wxString::FromUTF8(dir + "/copy.bmp"));
  ASSERT_TRUE(original.IsOk());
  ASSERT_TRUE(saved.IsOk());
  ASSERT_EQ(saved.GetSize(), original.GetSize());
  EXPECT_EQ(
      0, memcmp(saved.GetData(), original.GetData(), size_t(original.GetWidth()) * original.GetHeight() * 3));
  EXPECT_EQ(Doc().m_model.m_nSaveKind, 3);

  // Save writes again under the stored name and kind.
  const std::string before = ReadFile(dir + "/copy.bmp");
  std::remove((dir + "/copy.bmp").c_str());
  Doc().Modify(true);
  EXPECT_TRUE(Enabled(ID_FILE_SAVE));
  wxCommandEvent save(wxEVT_MENU, ID_FILE_SAVE);
  Frame().ProcessWindowEvent(save);
  EXPECT_EQ(ReadFile(dir + "/copy.bmp"), before);
  EXPECT_FALSE(Doc().IsModified());
  EXPECT_EQ(g_dialogs.fileDialogs, 0);
}

TEST_F(Gui, PnmSaveNameFollowsTheImagesCurrentDepth)
{
  const std::string dir = SaveTestDir("save-pnm");
  OpenAsCommandLine(Corpus("pnm/rgb-8bit.ppm"));
  Frame().ProcessCommand(ID_IMAGE_GRAY);
  ASSERT_EQ(Doc().m_model.m_pImage->m_nBitsPerPixel, 8);
  // A typed name without extension gets the one of the content written.
  ASSERT_TRUE(Doc().SaveAsTo(dir + "/grey", 5));
  EXPECT_EQ(Doc().GetFilename().utf8_string(), dir + "/grey.pgm");
  EXPECT_EQ(ReadFile(dir + "/grey.pgm").compare(0, 2, "P5"), 0);
}

TEST_F(Gui, FailedSaveLeavesTheOldFileIntact)
{
  const std::string dir = SaveTestDir("save-fail");
  OpenAsCommandLine(Corpus("bmp/rgb24.bmp"));
  ASSERT_TRUE(Doc().SaveAsTo(dir + "/keep.bmp", 3));
  const std::string before = ReadFile(dir + "/keep.bmp");
  ASSERT_FALSE(before.empty());
  // Another image is saved over that file, which can no longer be replaced.
  OpenAsCommandLine(Corpus("bmp/pal1.bmp"));
  Doc().SetFilename(wxString::FromUTF8(dir + "/keep.bmp"), false);
  Doc().m_model.m_nSaveKind = 3;
  Doc().Modify(true);
  const std::string pal1Title = Frame().GetTitle().utf8_string();
  {
    LockedDirectory lock(dir);
    if (!lock.Locked())
      GTEST_SKIP() << "cannot make a directory unwritable here";
    g_dialogs.fileDialogs = 0;
    g_dialogs.fileAnswer = wxID_CANCEL;
    EXPECT_FALSE(Doc().Save()); // fails, then Save As is offered and cancelled
    EXPECT_EQ(g_dialogs.fileDialogs, 1);
    EXPECT_FALSE(Doc().SaveAsTo(dir + "/keep.bmp", 3));
    EXPECT_FALSE(Doc().SaveAsTo(dir + "/new.djvu", 1));
  }
  EXPECT_EQ(ReadFile(dir + "/keep.bmp"), before);
  struct stat st;
  EXPECT_NE(stat((dir + "/new.djvu").c_str(), &st), 0);
  EXPECT_TRUE(Doc().IsModified());
  EXPECT_EQ(Frame().GetTitle().utf8_string(), pal1Title);
  EXPECT_EQ(Doc().GetFilename().utf8_string(), dir + "/keep.bmp");
  Doc().Modify(false);
}

TEST_F(Gui, SaveAsCancelledAtTheReviewWritesNothing)
{
  const std::string dir = SaveTestDir("save-cancel");
  OpenAsCommandLine(Corpus("bmp/rgb24.bmp"));
  CVellumSettings &s = App().m_settings;
  s.DjvuUpsample = 0; // tuned for high resolution: a 72 or 0 dpi page asks
  g_answer = VID_CANCEL;
  g_boxes.clear();
  EXPECT_FALSE(Doc().SaveAsTo(dir + "/page.djvu", 1));
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_NE(g_boxes[0].text.find("Do you want to review the settings before saving?"), std::string::npos);
  struct stat st;
  EXPECT_NE(stat((dir + "/page.djvu").c_str(), &st), 0);
  // The menu command with the dialog cancelled writes nothing either.
  g_dialogs.fileDialogs = 0;
  wxCommandEvent saveAs(wxEVT_MENU, ID_FILE_SAVE_AS);
  Frame().ProcessWindowEvent(saveAs);
  EXPECT_EQ(g_dialogs.fileDialogs, 1);
  EXPECT_EQ(wxDir(wxString::FromUTF8(dir)).HasFiles(), false);
}

TEST_F(Gui, OptionsMenuRunsTheSettingsDialogs)
{
  OpenAsCommandLine(Corpus("bmp/rgb24.bmp"));
  for (int id : {ID_OPTIONS_GENERAL, ID_OPTIONS_DJVU, ID_OPTIONS_IW44, ID_OPTIONS_JPEG})
  {
    SCOPED_TRACE(id);
    const int shown = g_dialogs.shown;
    wxCommandEvent event(wxEVT_MENU, id);
    Frame().ProcessWindowEvent(event);
    EXPECT_EQ(g_dialogs.shown, shown + 1);
  }
  // OK in the JPEG dialog does not mark a BMP document modified.
  EXPECT_FALSE(Doc().IsModified());
  EXPECT_FALSE(Enabled(ID_FILE_SAVE));
  // While a JPEG file is shown it does, so that Save writes it again.
  const std::vector<std::string> jpegs = CorpusFiles("jpeg");
  ASSERT_FALSE(jpegs.empty());
  OpenAsCommandLine(jpegs[0]);
  ASSERT_TRUE(Doc().m_model.HasImage());
  EXPECT_FALSE(Enabled(ID_FILE_SAVE));
  wxCommandEvent jpeg(wxEVT_MENU, ID_OPTIONS_JPEG);
  Frame().ProcessWindowEvent(jpeg);
  EXPECT_TRUE(Doc().IsModified());
  EXPECT_TRUE(Enabled(ID_FILE_SAVE));
  Doc().Modify(false);
}

TEST_F(Gui, ImageMenuEditsWithUndoAndRedo)
{
  OpenAsCommandLine(Corpus("bmp/rgb24.bmp"));
  ASSERT_TRUE(Doc().m_model.HasImage());
  const CDibImage &image = *Doc().m_model.m_pImage;
  const int w = image.m_nWidth, h = image.m_nHeight;
  ASSERT_NE(w, h);
  auto pixels = []
  {
    const CDibImage &im = *Doc().m_model.m_pImage;
    return std::string(reinterpret_cast<const char *>(im.Bits()), im.m_nPixelSize);
  };
  const std::string original = pixels();
  auto command = [](int id)
  {
    wxCommandEvent event(wxEVT_MENU, id);
    Frame().ProcessWindowEvent(event);
    Pump(10);
  };
  EXPECT_FALSE(Enabled(ID_EDIT_UNDO));
  for (int id : {ID_IMAGE_FLIP, ID_IMAGE_MIRROR, ID_IMAGE_ROTATE_LEFT, ID_IMAGE_ROTATE_RIGHT,
                 ID_IMAGE_ROTATE_180, ID_IMAGE_NEGATIVE, ID_IMAGE_GRAY})
    EXPECT_TRUE(Enabled(id)) << id;

  command(ID_IMAGE_ROTATE_LEFT);
  EXPECT_EQ(Doc().m_model.m_pImage->m_nWidth, h);
  EXPECT_EQ(Doc().m_model.m_pImage->m_nHeight, w);
  EXPECT_TRUE(Doc().IsModified());
  EXPECT_TRUE(Enabled(ID_EDIT_UNDO));
  command(ID_IMAGE_ROTATE_RIGHT);
  EXPECT_EQ(Doc().m_model.m_pImage->m_nWidth, w);
  EXPECT_EQ(pixels(), original);

  // Undo goes back step by step, Redo forward again.
  command(ID_IMAGE_NEGATIVE);
  const std::string negative = pixels();
  EXPECT_NE(negative, original);
  command(ID_IMAGE_FLIP);
  const std::string flipped = pixels();
  command(ID_EDIT_UNDO);
  EXPECT_EQ(pixels(), negative);
  command(ID_EDIT_UNDO);
  EXPECT_EQ(pixels(), original);
  EXPECT_TRUE(Enabled(ID_EDIT_REDO));
  command(ID_EDIT_REDO);
  EXPECT_EQ(pixels(), negative);
  command(ID_EDIT_REDO);
  EXPECT_EQ(pixels(), flipped);
  EXPECT_FALSE(Enabled(ID_EDIT_REDO));
  command(ID_EDIT_UNDO);
  command(ID_EDIT_UNDO);
  EXPECT_EQ(pixels(), original);

  // Twice the same turn is the identity for flip, mirror and 180 degrees.
  for (int id : {ID_IMAGE_FLIP, ID_IMAGE_MIRROR, ID_IMAGE_ROTATE_180})
  {
    command(id);
    command(id);
    EXPECT_EQ(pixels(), original) << id;
  }
  command(ID_IMAGE_GRAY);
  EXPECT_TRUE(Doc().m_model.m_pImage->m_bGrey);
  Paint();

  // Emptying the undo buffer asks first.
  g_answer = VID_NO;
  command(ID_EDIT_EMPTY_UNDO);
  EXPECT_TRUE(Enabled(ID_EDIT_UNDO));
  ASSERT_FALSE(g_boxes.empty());
  EXPECT_EQ(g_boxes.back().text, "Are you sure you want to empty the undo buffer?");
  g_answer = VID_YES;
  command(ID_EDIT_EMPTY_UNDO);
  EXPECT_FALSE(Enabled(ID_EDIT_UNDO));
  for (const Box &box : g_boxes)
    EXPECT_EQ(box.text.find("Failed"), std::string::npos) << box.text;
  Doc().Modify(false);
}

TEST_F(Gui, RotatedDjVuPageStaysRotatedAfterZoom)
{
  const std::vector<std::string> pages = CorpusFiles("djvu");
  ASSERT_FALSE(pages.empty());
  OpenAsCommandLine(pages[0]);
  ASSERT_TRUE(Doc().m_model.HasImage());
  const int w = Doc().m_model.m_pImage->m_nWidth, h = Doc().m_model.m_pImage->m_nHeight;
  wxCommandEvent rotate(wxEVT_MENU, ID_IMAGE_ROTATE_RIGHT);
  Frame().ProcessWindowEvent(rotate);
  EXPECT_EQ(Doc().m_model.m_pImage->m_nWidth, h);
  EXPECT_EQ(Doc().m_model.m_pImage->m_nHeight, w);
  ASSERT_NE(w, h);
  // A new rendering (full scale) keeps the quarter turn.
  EXPECT_EQ(Doc().Rerender(true, true, 0), 1);
  EXPECT_EQ(Doc().m_model.m_pImage->m_nWidth > Doc().m_model.m_pImage->m_nHeight, h > w);
  Paint();
  Doc().Modify(false);
}

TEST_F(Gui, SaveAsProposesTheNameAndFilterOfTheSaveType)
{
  struct Case
  {
    const char *file;
    int saveType;
    const char *name;
    int filterIndex; // 0-based, as the dialog counts
  };
  const Case cases[] = {
      {"bmp/rgb24.bmp", 4, "rgb24.ppm", 4},  {"bmp/pal1.bmp", 4, "pal1.pbm", 4},
      {"bmp/rgb24.bmp", 1, "rgb24.djvu", 0}, {"bmp/rgb24.bmp", 5, "rgb24.jpg", 3},
      {"bmp/rgb24.bmp", 3, "rgb24.bmp", 2},
  };
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.name);
    OpenAsCommandLine(Corpus(c.file));
    App().m_settings.SaveType = c.saveType;
    g_dialogs.fileAnswer = wxID_CANCEL;
    EXPECT_FALSE(Doc().SaveAs());
    EXPECT_EQ(g_dialogs.fileName, c.name);
    EXPECT_EQ(g_dialogs.filterIndex, c.filterIndex);
  }
  EXPECT_EQ(App().m_settings.SaveType, 3); // a cancelled dialog stores nothing
}

TEST_F(Gui, SaveAsOfAnUntitledImageCountsItsProposals)
{
  OpenAsCommandLine(Corpus("bmp/rgb24.bmp"));
  Doc().SetFilename(wxString(), false); // as after a scan or a paste
  App().m_settings.SaveType = 1;
  g_dialogs.fileAnswer = wxID_CANCEL;
  EXPECT_FALSE(Doc().SaveAs());
  EXPECT_EQ(g_dialogs.fileName, "untitled0001.djvu");
  EXPECT_FALSE(Doc().SaveAs());
  EXPECT_EQ(g_dialogs.fileName, "untitled0002.djvu");
}

// The recent-file list asks the framework's question; Yes saves to the path
// name before the other file opens, and a save that does not happen keeps
// the modified image.
TEST_F(Gui, RecentFileAsksSaveChangesAndYesSavesFirst)
{
  const std::string copy = Tmp() + "/recent-save.bmp";
  {
    std::ifstream in(Corpus("bmp/pal8.bmp"), std::ios::binary);
    std::ofstream out(copy, std::ios::binary);
    out << in.rdbuf();
  }
  const std::string before = ReadFile(copy);
  OpenAsCommandLine(Corpus("bmp/pal4.bmp"));
  OpenAsCommandLine(copy);
  ASSERT_EQ(App().m_pDocManager->GetFileHistory()->GetHistoryFile(1).utf8_string(), Corpus("bmp/pal4.bmp"));
  ASSERT_TRUE(Doc().ImageOperation(ID_IMAGE_NEGATIVE));
  ASSERT_TRUE(Doc().IsModified());

  // Cancel: nothing opens.
  g_boxes.clear();
  g_answer = VID_CANCEL;
  Frame().ProcessCommand(wxID_FILE2);
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].text, "Save changes to recent-save.bmp?");
  EXPECT_EQ(g_boxes[0].style & VMB_BUTTON_MASK, unsigned(VMB_YESNOCANCEL));
  EXPECT_EQ(Doc().DocTitle(), "recent-save.bmp");
  EXPECT_TRUE(Doc().IsModified());

  // Yes without a save kind: the save dialog follows; cancelling it keeps
  // the image and its changes.
  g_boxes.clear();
  g_answer = VID_YES;
  Doc().m_model.m_nSaveKind = 0;
  g_dialogs.fileAnswer = wxID_CANCEL;
  g_dialogs.fileDialogs = 0;
  Frame().ProcessCommand(wxID_FILE2);
  EXPECT_EQ(g_dialogs.fileDialogs, 1);
  EXPECT_EQ(Doc().DocTitle(), "recent-save.bmp");
  EXPECT_TRUE(Doc().IsModified());
  EXPECT_EQ(ReadFile(copy), before);

  // Yes with a kind: written to the path name, then the other file opens.
  g_boxes.clear();
  Doc().m_model.m_nSaveKind = IMAGE_FILE_BMP;
  Frame().ProcessCommand(wxID_FILE2);
  EXPECT_EQ(Doc().DocTitle(), "pal4.bmp");
  EXPECT_FALSE(Doc().IsModified());
  const std::string after = ReadFile(copy);
  EXPECT_FALSE(after.empty());
  EXPECT_NE(after, before);
  g_answer = VID_OK;
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
  if (int status = vellum_test::RerunUnderXvfb(argc, argv, "1280x1024x24"); status >= 0)
    return status;
  ::testing::InitGoogleTest(&argc, argv);
  vellum_test::ViewerStart start;
  start.settingsFile = Tmp() + "/Vellum.ini";
  // Only SANE's test backend, from a private configuration.
  start.saneDir = Tmp() + "/sane-config";
  start.saneBackends = "test\n";
  start.hooks = []
  {
    VellumSetMessageBoxHook(RecordBox);
    g_dialogs.Register();
    wxImage::AddHandler(new wxPNGHandler);
  };
  return vellum_test::RunViewerTests(argv[0], start);
}

// Documents of many pages in the running viewer under a virtual display:
// the page pane and the title, the page-thumbnail panel (shown for books
// and multi-page TIFF files only, thumbnails rendered only in sight, a
// click goes to the page), the question before an edited page is left, and
// the recent-file list reopening a file at its page. Message boxes are
// answered by a hook; every wait is bounded.
#include "../GuiTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <vector>

#include <wx/aui/framemanager.h>
#include <wx/filehistory.h>
#include <wx/log.h>
#include <wx/statusbr.h>

#include "CommandIds.h"
#include "MainFrame.h"
#include "MessageBox.h"
#include "PagePanel.h"
#include "VellumApp.h"
#include "VellumDoc.h"
#include "VellumView.h"
#include "ViewerTestApp.h"

wxIMPLEMENT_APP_NO_MAIN(CVellumApp);

using namespace vellum;
using vellum_test::Corpus;
using vellum_test::Env;

namespace
{

std::vector<std::string> g_boxes;
int g_answer = VID_CANCEL; // answer to questions

int RecordBox(const char *text, const char *, unsigned style)
{
  g_boxes.push_back(text);
  const unsigned buttons = style & VMB_BUTTON_MASK;
  return buttons == VMB_YESNO || buttons == VMB_YESNOCANCEL ? g_answer : VID_OK;
}

std::string Tmp()
{
  return Env("VELLUM_TEST_TMP", "/tmp");
}

// Runs the event loop for about ms milliseconds (bounded).
void Pump(int ms = 20)
{
  vellum_test::PumpFor(ms, 2);
}

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

using vellum_test::Doc;
using vellum_test::Frame;
using vellum_test::View;
CPagePanel &Pages()
{
  return *Frame().Pages();
}
const CDibImage &Image()
{
  return *Doc().m_model.m_pImage;
}

void Command(int id)
{
  wxCommandEvent event(wxEVT_MENU, id);
  event.SetEventObject(&Frame());
  Frame().ProcessWindowEvent(event);
  Pump();
}

bool Checked(int id)
{
  wxUpdateUIEvent event(id);
  event.SetEventObject(&Frame());
  Frame().ProcessWindowEvent(event);
  return event.GetSetChecked() && event.GetChecked();
}

void Open(const std::string &path, int page = 0)
{
  Doc().Modify(false);
  Doc().Open(path, kKindNone, page);
  if (!Doc().m_model.HasImage())
    throw std::runtime_error("could not open " + path);
  Pump();
}

std::string PageText()
{
  return Frame().GetStatusBar()->GetStatusText(3).utf8_string();
}

std::string Title()
{
  return Frame().GetTitle().utf8_string();
}

class PagesGui : public ::testing::Test
{
protected:
  void SetUp() override
  {
    g_boxes.clear();
    g_answer = VID_CANCEL;
    wxGetApp().m_settings.PageBar = 1;
    CVellumDoc::SetSaveAsHook(nullptr);
  }
  void TearDown() override
  {
    CVellumDoc::SetSaveAsHook(nullptr);
    Doc().Modify(false);
  }
};

} // namespace

TEST_F(PagesGui, PageIndicatorFollowsThePageShown)
{
  struct Row
  {
    const char *file;
    int page;
    const char *pane, *title;
  } rows[] = {
      {"books/book-bundled-4p.djvu", 0, "Page 1/4", "book-bundled-4p.djvu (page 1 of 4) - Vellum"},
      {"books/book-bundled-4p.djvu", 3, "Page 4/4", "book-bundled-4p.djvu (page 4 of 4) - Vellum"},
      {"books/indirect/index.djvu", 1, "Page 2/4", "index.djvu (page 2 of 4) - Vellum"},
      {"tiff/multipage-mixed-3p.tif", 2, "Page 3/3", "multipage-mixed-3p.tif (page 3 of 3) - Vellum"},
      {"djvu/formatdoc-p10-bitonal.djvu", 0, "", "formatdoc-p10-bitonal.djvu - Vellum"},
      {"bmp/pal8.bmp", 0, "", "pal8.bmp - Vellum"},
  };
  for (const Row &r : rows)
  {
    Open(Corpus(r.file), r.page);
    EXPECT_EQ(PageText(), r.pane) << r.file;
    EXPECT_EQ(Title(), r.title) << r.file;
  }
  // Paging moves the indicator with the page.
  Open(Corpus("books/book-bundled-4p.djvu"));
  Command(ID_PAGE_LAST);
  EXPECT_EQ(PageText(), "Page 4/4");
  Command(ID_PAGE_PREVIOUS);
  EXPECT_EQ(PageText(), "Page 3/4");
  EXPECT_EQ(Title(), "book-bundled-4p.djvu (page 3 of 4) - Vellum");
  EXPECT_TRUE(g_boxes.empty());
}

TEST_F(PagesGui, ThumbnailPanelShowsThePagesAndAClickGoesToOne)
{
  Open(Corpus("books/book-bundled-4p.djvu"));
  ASSERT_TRUE(RunUntil([] { return Frame().IsPageBarShown() && Pages().IsShownOnScreen(); }));
  EXPECT_TRUE(Checked(ID_VIEW_PAGE_BAR));
  EXPECT_EQ(Pages().PageCount(), 4);
  EXPECT_EQ(Pages().CurrentPage(), 0);
  // Rendered when idle, each page once, none at full size.
  ASSERT_TRUE(RunUntil([] { return Pages().CachedCount() >= 1; }));
  Pump(200);
  EXPECT_LE(Pages().RenderCount(), 4);

  // A click on the third cell shows page 3 and highlights it.
  const wxRect cell = Pages().CellRectClient(2);
  ASSERT_FALSE(cell.IsEmpty());
  EXPECT_EQ(Pages().PageAtClient(cell.GetPosition() + wxPoint(5, 5)), 2);
  Pages().ClickAt(cell.GetPosition() + wxPoint(5, 5));
  Pump();
  EXPECT_EQ(Image().m_nPageIndex, 2);
  EXPECT_EQ(Pages().CurrentPage(), 2);
  EXPECT_EQ(PageText(), "Page 3/4");
  // The same book paged on keeps its thumbnails.
  const int renders = Pages().RenderCount();
  Command(ID_PAGE_NEXT);
  Pump(100);
  EXPECT_EQ(Pages().CurrentPage(), 3);
  EXPECT_EQ(Pages().RenderCount(), renders);

  // A single page has no panel; a multi-page TIFF has one again.
  Open(Corpus("djvu/formatdoc-p10-bitonal.djvu"));
  EXPECT_FALSE(Frame().IsPageBarShown());
  Open(Corpus("tiff/multipage-mixed-3p.tif"));
  EXPECT_TRUE(Frame().IsPageBarShown());
  EXPECT_EQ(Pages().PageCount(), 3);
  ASSERT_TRUE(RunUntil([] { return Pages().CachedCount() == 3; }));

  // View > Page Thumbnails hides it and remembers that.
  Command(ID_VIEW_PAGE_BAR);
  EXPECT_FALSE(Frame().IsPageBarShown());
  EXPECT_FALSE(Checked(ID_VIEW_PAGE_BAR));
  EXPECT_EQ(wxGetApp().m_settings.PageBar, 0);
  Open(Corpus("books/book-bundled-4p.djvu"));
  EXPECT_FALSE(Frame().IsPageBarShown());
  Command(ID_VIEW_PAGE_BAR);
  EXPECT_TRUE(Frame().IsPageBarShown());
  EXPECT_EQ(wxGetApp().m_settings.PageBar, 1);
  EXPECT_TRUE(g_boxes.empty());
}

TEST_F(PagesGui, LongBookRendersOnlyTheThumbnailsInSight)
{
  // A 40-page book of one page repeated, made with the reference tool.
  const std::string dir = Tmp() + "/pages-long";
  std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str());
  std::string args;
  for (int i = 0; i < 40; ++i)
  {
    const std::string page = dir + "/p" + std::to_string(i) + ".djvu";
    std::ifstream in(Corpus("djvu/formatdoc-p10-bitonal.djvu"), std::ios::binary);
    std::ofstream(page, std::ios::binary) << in.rdbuf();
    args += " '" + page + "'";
  }
  const std::string book = dir + "/long.djvu";
  ASSERT_EQ(std::system(("djvm -c '" + book + "'" + args).c_str()), 0);
  Open(book);
  ASSERT_TRUE(RunUntil([] { return Pages().IsShownOnScreen(); }));
  ASSERT_EQ(Pages().PageCount(), 40);
  ASSERT_TRUE(RunUntil([] { return Pages().CachedCount() >= 2; }));
  Pump(300);
  // The panel is a few cells high: far fewer than 40 were rendered.
  const int shown = Pages().GetClientSize().y / (CPagePanel::kBoxHeight + CPagePanel::kGap) + 2;
  EXPECT_LE(Pages().RenderCount(), shown);
  EXPECT_LT(Pages().RenderCount(), 40);
  // Going to the last page scrolls its cell into sight and renders it.
  Command(ID_PAGE_LAST);
  EXPECT_EQ(Pages().CurrentPage(), 39);
  ASSERT_TRUE(RunUntil(
      []
      {
        return Pages().CachedCount() > 0 &&
               Pages().PageAtClient(Pages().CellRectClient(39).GetPosition()) == 39;
      }));
  const wxRect last = Pages().CellRectClient(39);
  EXPECT_GE(last.y, 0);
  EXPECT_LE(last.GetBottom(), Pages().GetClientSize().y);
}

TEST_F(PagesGui, EditedPageIsAskedAboutBeforeAnotherPageIsShown)
{
  for (const char *file : {"tiff/multipage-mixed-3p.tif", "books/book-bundled-4p.djvu"})
  {
    SCOPED_TRACE(file);
    Open(Corpus(file));
    Command(ID_IMAGE_ROTATE_180);
    ASSERT_TRUE(Doc().IsModified());
    const int width = Image().m_nWidth;

    // Cancel: the edited page stays, still modified.
    g_boxes.clear();
    g_answer = VID_CANCEL;
    Command(ID_PAGE_NEXT);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0], "Save changes to page 1?");
    EXPECT_EQ(Image().m_nPageIndex, 0);
    EXPECT_TRUE(Doc().IsModified());
    EXPECT_EQ(Image().m_nOrientation != 0, true);
    // The thumbnail panel's click goes the same way.
    Pages().ClickAt(Pages().CellRectClient(1).GetPosition() + wxPoint(3, 3));
    Pump();
    EXPECT_EQ(g_boxes.size(), 2u);
    EXPECT_EQ(Image().m_nPageIndex, 0);

    // Yes: the save runs first; a save that does not happen keeps the page.
    int saves = 0;
    CVellumDoc::SetSaveAsHook([&saves](CVellumDoc &) { return ++saves, false; });
    g_answer = VID_YES;
    View().ShowPage(2);
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(Image().m_nPageIndex, 0);
    EXPECT_TRUE(Doc().IsModified());
    // A save that succeeds moves on.
    CVellumDoc::SetSaveAsHook([&saves](CVellumDoc &) { return ++saves, true; });
    View().ShowPage(2);
    EXPECT_EQ(saves, 2);
    EXPECT_EQ(Image().m_nPageIndex, 2);
    EXPECT_FALSE(Doc().IsModified());

    // No: the edit is dropped and the page changes.
    Command(ID_IMAGE_ROTATE_180);
    g_boxes.clear();
    g_answer = VID_NO;
    Command(ID_PAGE_FIRST);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0], "Save changes to page 3?");
    EXPECT_EQ(Image().m_nPageIndex, 0);
    EXPECT_FALSE(Doc().IsModified());
    EXPECT_EQ(Image().m_nOrientation, 0);
    EXPECT_EQ(Image().m_nWidth, width);
    // Unmodified: no question at all.
    g_boxes.clear();
    Command(ID_PAGE_NEXT);
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_EQ(Image().m_nPageIndex, 1);
  }
}

TEST_F(PagesGui, PageSavedBeforeTheMoveIsShownSavedOnReturn)
{
  // A copy of the book, its first page turned, then Next: Yes saves the
  // whole book over itself first.
  const std::string book = Tmp() + "/pages-saved.djvu";
  ASSERT_EQ(std::system(("cp '" + Corpus("books/book-bundled-4p.djvu") + "' '" + book + "'").c_str()), 0);
  Open(book);
  const int w = Image().m_nSourceWidth, h = Image().m_nSourceHeight;
  ASSERT_NE(w, h);
  Command(ID_IMAGE_ROTATE_LEFT);
  g_answer = VID_YES; // "Save changes to page 1?" and "Save the whole document?"
  CVellumDoc::SetSaveAsHook([&book](CVellumDoc &d) { return d.SaveAsTo(book, 1); });
  Command(ID_PAGE_NEXT);
  EXPECT_EQ(Image().m_nPageIndex, 1);
  EXPECT_FALSE(Doc().IsModified());
  // Back on page 1: the page as saved, not as the book was first read.
  Command(ID_PAGE_PREVIOUS);
  ASSERT_EQ(Image().m_nPageIndex, 0);
  EXPECT_EQ(Image().m_nSourceWidth, h);
  EXPECT_EQ(Image().m_nSourceHeight, w);
  FILE *p = popen(("djvused -e n '" + book + "'").c_str(), "r");
  ASSERT_NE(p, nullptr);
  int pages = 0;
  EXPECT_EQ(std::fscanf(p, "%d", &pages), 1);
  pclose(p);
  EXPECT_EQ(pages, 4);
}

TEST_F(PagesGui, DocumentFollowsTheBookItWasSavedAs)
{
  // Save As of the whole book (and of a multi-page TIFF as a DjVu book)
  // under a new name: the pages shown afterwards come from the new file,
  // the name stays the new one, and the file first opened is untouched.
  const std::string djvuSource = Corpus("books/book-bundled-4p.djvu");
  const std::string tiffSource = Corpus("tiff/multipage-g4-3p-400dpi.tif");
  for (const std::string &source : {djvuSource, tiffSource})
  {
    const std::string copy = Tmp() + "/follow-source" + source.substr(source.rfind('.'));
    const std::string saved = Tmp() + "/follow-saved.djvu";
    ASSERT_EQ(std::system(("cp '" + source + "' '" + copy + "' && rm -f '" + saved + "'").c_str()), 0);
    std::ifstream before(copy, std::ios::binary);
    const std::string oldBytes((std::istreambuf_iterator<char>(before)), std::istreambuf_iterator<char>());
    Open(copy);
    const int w = Image().m_nSourceWidth, h = Image().m_nSourceHeight;
    Command(ID_IMAGE_ROTATE_LEFT);
    g_answer = VID_YES; // "Save the whole document?"
    ASSERT_TRUE(Doc().SaveAsTo(saved, 1)) << source;
    Command(ID_PAGE_NEXT);
    EXPECT_EQ(Image().m_nPageIndex, 1) << source;
    EXPECT_EQ(Doc().GetFilename().utf8_string(), saved) << source;
    EXPECT_EQ(Doc().m_model.m_nContentKind, kKindDjVu) << source;
    Command(ID_PAGE_PREVIOUS);
    ASSERT_EQ(Image().m_nPageIndex, 0) << source;
    EXPECT_EQ(Image().m_nSourceWidth, h) << source;
    EXPECT_EQ(Image().m_nSourceHeight, w) << source;
    EXPECT_EQ(Doc().GetFilename().utf8_string(), saved) << source;
    std::ifstream after(copy, std::ios::binary);
    EXPECT_TRUE(std::string((std::istreambuf_iterator<char>(after)), std::istreambuf_iterator<char>()) ==
                oldBytes)
        << source;
  }
}

TEST_F(PagesGui, RecentFileReopensAtItsPage)
{
  const std::string book = Corpus("books/book-bundled-4p.djvu");
  Open(book);
  Command(ID_PAGE_NEXT);
  Command(ID_PAGE_NEXT);
  ASSERT_EQ(Image().m_nPageIndex, 2);
  Open(Corpus("tiff/multipage-mixed-3p.tif"), 1);
  Open(Corpus("bmp/pal8.bmp"));
  wxFileHistory *history = wxGetApp().m_pDocManager->GetFileHistory();
  ASSERT_GE(history->GetCount(), 3u);
  ASSERT_EQ(history->GetHistoryFile(2).utf8_string(), book);
  // File > Recent Files, third entry: the book at page 3.
  wxCommandEvent event(wxEVT_MENU, wxID_FILE3);
  wxGetApp().m_pDocManager->ProcessEvent(event);
  Pump();
  EXPECT_EQ(Doc().m_model.m_strLastOpenedPath, book);
  EXPECT_EQ(Image().m_nPageIndex, 2);
  EXPECT_EQ(PageText(), "Page 3/4");
  // The pages go into the settings file beside the names.
  const std::string ini = Tmp() + "/pages-Vellum.ini";
  wxGetApp().m_strProfileName = ini;
  wxGetApp().SaveSettings();
  std::ifstream in(ini);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("File1=" + book + "\nPage1=3\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Page3=2\n"), std::string::npos) << text; // the TIFF at page 2
  EXPECT_TRUE(g_boxes.empty());
}

int main(int argc, char **argv)
{
  if (int status = vellum_test::RerunUnderXvfb(argc, argv, "1280x1024x24"); status >= 0)
    return status;
  ::testing::InitGoogleTest(&argc, argv);
  const std::string ini = Tmp() + "/Vellum.ini";
  std::ofstream(ini) << "[General]\nNoStartupInfo=1\nWindowFit=0\n";
  vellum_test::ViewerStart start;
  start.settingsFile = ini;
  start.saneDir = Tmp() + "/sane-config";
  start.hooks = [] { VellumSetMessageBoxHook(RecordBox); };
  start.started = [](CVellumApp &app) { app.MainFrame()->SetSize(1000, 800); };
  return vellum_test::RunViewerTests(argv[0], start);
}

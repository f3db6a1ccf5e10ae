// The viewer on a screen of device scale 2 (GDK_SCALE=2, set before the
// toolkit starts), under a virtual display: the page is drawn at device
// pixels, the toolbar's and the window's icons come in the sizes such a
// screen needs. Every wait is bounded.
#include "../GuiTestSupport.h"

#include <gtest/gtest.h>

#include <gtk/gtk.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

#include <wx/log.h>
#include <wx/toolbar.h>

#include "CommandIds.h"
#include "MainFrame.h"
#include "MessageBox.h"
#include "VellumApp.h"
#include "VellumDoc.h"
#include "VellumView.h"

wxIMPLEMENT_APP_NO_MAIN(CVellumApp);

using vellum_test::Corpus;
using vellum_test::Env;

namespace
{

std::string Tmp()
{
  return Env("VELLUM_TEST_TMP", "/tmp");
}

int Quiet(const char *text, const char *, unsigned)
{
  ADD_FAILURE() << "message box: " << text;
  return VID_NO;
}

void Pump(int ms = 30)
{
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  do
  {
    wxTheApp->ProcessPendingEvents();
    wxTheApp->Yield(true);
    wxMilliSleep(5);
  } while (std::chrono::steady_clock::now() < end);
}

CVellumDoc &Doc()
{
  return *wxGetApp().Document();
}
CVellumView &View()
{
  return *Doc().View();
}

void Open(const std::string &path)
{
  Doc().m_model.m_nOpenKind = 0;
  Doc().m_model.m_nPageIndex = 0;
  Doc().OnOpenDocument(wxString::FromUTF8(path));
  Pump(20);
}

void Paint()
{
  View().m_pCanvas->Refresh();
  View().m_pCanvas->Update();
  Pump(50);
}

// A grey map of w x h pixels in a one-pixel checkerboard.
std::string Checkerboard(int w, int h)
{
  const std::string path = Tmp() + "/checker.pgm";
  std::ofstream out(path, std::ios::binary);
  out << "P5\n" << w << " " << h << "\n255\n";
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      out.put((x + y) % 2 ? char(255) : char(0));
  return path;
}

} // namespace

// A page shown at 50 % on a scale-2 screen has one image pixel per device
// pixel: the bitmap drawn has the page's own pixels and scale factor 2, and
// the screen shows the checkerboard's every column (a drawing at logical
// size doubled would show every other column twice).
TEST(HiDpi, PageIsDrawnAtDevicePixels)
{
  ASSERT_DOUBLE_EQ(View().m_pCanvas->GetContentScaleFactor(), 2.0);
  const int w = 240, h = 160;
  Open(Checkerboard(w, h));
  ASSERT_TRUE(Doc().m_model.HasImage());
  View().SetZoom(-1, CVellumView::kZoomBox);
  Paint();
  EXPECT_EQ(View().m_nLastPageW, w);
  EXPECT_EQ(View().m_nLastPageH, h);
  EXPECT_DOUBLE_EQ(View().m_dLastPageScale, 2.0);

  // What the screen shows, in device pixels.
  GdkWindow *window = View().m_pCanvas->GTKGetDrawingWindow();
  ASSERT_NE(window, nullptr);
  const wxSize client = View().m_pCanvas->GetClientSize();
  GdkPixbuf *shot = gdk_pixbuf_get_from_window(window, 0, 0, client.x, client.y);
  ASSERT_NE(shot, nullptr);
  ASSERT_EQ(gdk_pixbuf_get_width(shot), 2 * client.x);
  const int stride = gdk_pixbuf_get_rowstride(shot), channels = gdk_pixbuf_get_n_channels(shot);
  const guchar *pixels = gdk_pixbuf_get_pixels(shot);
  auto grey = [&](int x, int y) { return pixels[y * stride + x * channels]; };
  // The page is centred: find its left edge on the middle row.
  const int y = gdk_pixbuf_get_height(shot) / 2;
  int left = 0;
  while (left < gdk_pixbuf_get_width(shot) && grey(left, y) != 0 && grey(left, y) != 255)
    ++left;
  ASSERT_LT(left + 40, gdk_pixbuf_get_width(shot));
  int changes = 0;
  for (int x = left; x < left + 40; ++x)
    changes += grey(x, y) != grey(x + 1, y);
  EXPECT_EQ(changes, 40) << "the page's columns at device pixels";
  g_object_unref(shot);
  std::remove((Tmp() + "/checker.pgm").c_str());
}

// The toolbar's icons have their own drawing at twice the size, and the
// toolbar asks for it; the window offers an icon of 64 pixels or more.
TEST(HiDpi, ToolbarAndWindowIconsAreSharp)
{
  wxToolBar *tb = wxGetApp().MainFrame()->GetToolBar();
  ASSERT_NE(tb, nullptr);
  for (int id : {int(ID_FILE_OPEN_IMAGE), int(ID_VIEW_ZOOM_IN), int(ID_TOOL_SELECT), int(wxID_PRINT)})
  {
    SCOPED_TRACE(id);
    const wxToolBarToolBase *tool = tb->FindById(id);
    ASSERT_NE(tool, nullptr);
    const wxBitmapBundle bundle = tool->GetNormalBitmapBundle();
    const wxBitmap shown = bundle.GetBitmapFor(tb);
    EXPECT_EQ(shown.GetWidth(), 32);
    EXPECT_EQ(shown.GetHeight(), 32);
    // Not the small one doubled: some 2 x 2 block is not of one colour.
    const wxImage big = bundle.GetBitmap(wxSize(32, 32)).ConvertToImage();
    const wxImage doubled = bundle.GetBitmap(wxSize(16, 16)).ConvertToImage().Scale(32, 32, wxIMAGE_QUALITY_NEAREST);
    ASSERT_TRUE(big.IsOk() && doubled.IsOk());
    bool differs = false;
    for (int y = 0; y < 32 && !differs; ++y)
      for (int x = 0; x < 32 && !differs; ++x)
      {
        const bool seen = !big.HasAlpha() || big.GetAlpha(x, y) > 0;
        const bool seen2 = !doubled.HasAlpha() || doubled.GetAlpha(x, y) > 0;
        differs = seen != seen2 || (seen && (big.GetRed(x, y) != doubled.GetRed(x, y) ||
                                             big.GetGreen(x, y) != doubled.GetGreen(x, y) ||
                                             big.GetBlue(x, y) != doubled.GetBlue(x, y)));
      }
    EXPECT_TRUE(differs);
  }
  const wxIconBundle icons = wxGetApp().MainFrame()->GetIcons();
  int largest = 0;
  for (size_t i = 0; i < icons.GetIconCount(); ++i)
    largest = std::max(largest, icons.GetIconByIndex(i).GetWidth());
  EXPECT_GE(largest, 64);
}

int main(int argc, char **argv)
{
  if (int status = vellum_test::RerunUnderXvfb(argc, argv, "2560x2048x24"); status >= 0)
    return status;
  // Before the toolkit opens the display.
  setenv("GDK_SCALE", "2", 1);
  setenv("SANE_CONFIG_DIR", "/nonexistent", 1);
  ::testing::InitGoogleTest(&argc, argv);
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
  delete wxLog::SetActiveTarget(new wxLogStderr);
  VellumSetMessageBoxHook(Quiet);
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

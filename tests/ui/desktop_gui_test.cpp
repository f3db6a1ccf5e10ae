// The viewer as a desktop user drives it, under a virtual display: real key
// presses with the page focused, the wheel, the DjVu layers there and back,
// a failed open keeping the page, Cancel in DjVu Settings, the slideshow's
// Esc. Message boxes are recorded through the message-box hook and modal
// dialogs are scripted through a wxModalDialogHook; every wait is bounded.
// Built a second time with VELLUM_TEST_DEVICE_SCALE=2, it runs its HiDpi
// tests alone on a screen of that device scale (GDK_SCALE).
#include "../GuiTestSupport.h"

#include <gtest/gtest.h>

#include <gtk/gtk.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <algorithm>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <wx/combobox.h>
#include <wx/filedlg.h>
#include <wx/listctrl.h>
#include <wx/dcmemory.h>
#include <wx/log.h>
#include <wx/menu.h>
#include <wx/modalhook.h>
#include <wx/radiobut.h>
#include <wx/statusbr.h>
#include <wx/toolbar.h>
#include <wx/uiaction.h>

#include "BrowserPanel.h"
#include <wx/msgdlg.h>

#include "CommandIds.h"
#include "DialogLogic.h"
#include "DocumentNames.h"
#include "FileChooserHooks.h"
#include "MainFrame.h"
#include "MessageBox.h"
#include "PagePanel.h"
#include "UiHooks.h"
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

int RecordBox(const char *text, const char *, unsigned style)
{
  g_boxes.push_back(text);
  const unsigned buttons = style & VMB_BUTTON_MASK;
  return buttons == VMB_YESNO || buttons == VMB_YESNOCANCEL ? VID_NO : VID_OK;
}

// Runs a script on every modal dialog instead of showing it; the script's
// answer ends the dialog (no script: Cancel).
class ScriptDialogs : public wxModalDialogHook
{
public:
  std::function<int(wxDialog *)> script;
  int Enter(wxDialog *dialog) override { return script ? script(dialog) : wxID_CANCEL; }
  void Exit(wxDialog *) override {}
};
ScriptDialogs g_dialogs;

std::string Tmp()
{
  return Env("VELLUM_TEST_TMP", "/tmp");
}

// Runs the event loop for about ms milliseconds (bounded).
void Pump(int ms = 30)
{
  vellum_test::PumpFor(ms);
}

// Pumps until done() holds, at most ms milliseconds; done()'s last answer.
bool RunUntil(const std::function<bool()> &done, int ms)
{
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done())
  {
    if (std::chrono::steady_clock::now() >= end)
      return done();
    Pump(10);
  }
  return true;
}

using vellum_test::App;
using vellum_test::Doc;
using vellum_test::Frame;
using vellum_test::View;

void Open(const std::string &path)
{
  Doc().Open(path, kKindNone, 0);
  Pump(20);
}

void Paint()
{
  View().m_pCanvas->Refresh();
  View().m_pCanvas->Update();
  Pump(10);
}

std::string Pane(int i)
{
  return Frame().GetStatusBar()->GetStatusText(i).utf8_string();
}

// The page gets the keyboard focus as a click on it gives it.
bool FocusPage()
{
  Frame().Raise();
  View().m_pCanvas->SetFocus();
  return RunUntil([] { return wxWindow::FindFocus() == View().m_pCanvas; }, 2000);
}

// Presses a key (with modifiers) through the X server, as a user does, and
// gives the program up to a second to show the effect done() waits for.
bool Press(int key, int modifiers = wxMOD_NONE, const std::function<bool()> &done = nullptr)
{
  wxUIActionSimulator sim;
  sim.Char(key, modifiers);
  if (!done)
  {
    Pump(100);
    return true;
  }
  return RunUntil(done, 1000);
}

class Desktop : public ::testing::Test
{
protected:
  void SetUp() override
  {
    g_boxes.clear();
    g_dialogs.script = nullptr;
    Doc().Modify(false);
    CVellumSettings &s = App().m_settings;
    s.ImageFit = 0;
    s.WindowFit = 0;
    s.FancyZoom = 1;
    s.Dither = 0;
    SetScreenDepthOverride(0);
    if (View().m_nLayer != 0)
      View().SetLayer(0);
  }
};

#ifdef VELLUM_TEST_DEVICE_SCALE
constexpr int kDeviceScale = VELLUM_TEST_DEVICE_SCALE;
#else
constexpr int kDeviceScale = 1;
#endif

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

// The commands' keys act with the page focused: the keypad zooms, Page Down
// and End page through a multi-page TIFF, Home goes back; Ctrl+= and Ctrl+-
// zoom as on this desktop.
TEST_F(Desktop, CommandKeysWorkWithThePageFocused)
{
  Open(Corpus("tiff/multipage-mixed-3p.tif"));
  ASSERT_EQ(Doc().m_model.m_pImage->m_nPageCount, 3);
  ASSERT_TRUE(FocusPage());
  const int zoom = View().m_nZoom;
  auto zoomIs = [](int z) { return [z] { return View().m_nZoom == z; }; };
  EXPECT_TRUE(Press(WXK_NUMPAD_ADD, wxMOD_NONE, zoomIs(zoom + 1)));
  EXPECT_TRUE(Press(WXK_NUMPAD_SUBTRACT, wxMOD_NONE, zoomIs(zoom)));
  EXPECT_TRUE(Press('=', wxMOD_CONTROL, zoomIs(zoom + 1)));
  EXPECT_TRUE(Press('-', wxMOD_CONTROL, zoomIs(zoom)));
  EXPECT_EQ(View().m_nZoom, zoom);

  struct Step
  {
    int key;
    int page; // expected page index afterwards
  };
  const Step steps[] = {{WXK_PAGEDOWN, 1}, {WXK_PAGEDOWN, 2}, {WXK_PAGEUP, 1}, {WXK_HOME, 0}, {WXK_END, 2}};
  for (const Step &s : steps)
  {
    SCOPED_TRACE(s.key);
    ASSERT_TRUE(FocusPage());
    EXPECT_TRUE(Press(s.key, wxMOD_NONE, [&] { return Doc().m_model.m_pImage->m_nPageIndex == s.page; }))
        << Doc().m_model.m_pImage->m_nPageIndex;
  }
  EXPECT_TRUE(g_boxes.empty());
}

// Where a key cannot change page it scrolls, by the platform's steps: an
// arrow or a wheel notch moves far more than a pixel, Page Down nearly a
// screenful, Space goes down the page and only at its bottom to the next.
TEST_F(Desktop, ArrowsWheelAndSpaceScrollByUsefulSteps)
{
  Open(Corpus("page/text-bitonal-400dpi.tif"));
  View().SetZoom(0, CVellumView::kZoomBox); // 100 %: much larger than the window
  Pump(30);
  ASSERT_TRUE(FocusPage());
  wxScrolledCanvas *canvas = View().m_pCanvas;
  const int page = canvas->GetClientSize().y;
  auto top = [&] { return canvas->GetViewStart().y; };
  EXPECT_TRUE(Press(WXK_DOWN, wxMOD_NONE, [&] { return top() >= 10; })) << top();
  const int afterArrow = top();
  // One page only: Page Down scrolls.
  EXPECT_TRUE(Press(WXK_PAGEDOWN, wxMOD_NONE, [&] { return top() - afterArrow >= page * 8 / 10; })) << top();
  const int beforeWheel = top();
  View().Wheel(-120, 120, false, false, {10, 10}); // one notch down
  EXPECT_GE(top() - beforeWheel, 30);
  EXPECT_TRUE(Press(WXK_HOME, wxMOD_NONE, [&] { return top() == 0; })) << top();
  EXPECT_TRUE(Press(WXK_SPACE, wxMOD_NONE, [&] { return top() >= page * 8 / 10; })) << top();
}

// Ctrl+wheel zooms about the pointer: the image point under it stays.
TEST_F(Desktop, CtrlWheelZoomsAboutThePointer)
{
  Open(Corpus("page/text-bitonal-400dpi.tif"));
  View().SetZoom(-2, CVellumView::kZoomBox);
  Pump(30);
  const IntPoint p{200, 150};
  const IntPoint before = ViewToImage(View().Mapping(), p, false);
  View().Wheel(120, 120, false, true, p);
  Pump(30);
  EXPECT_EQ(View().m_nZoom, -1);
  const IntPoint after = ViewToImage(View().Mapping(), p, false);
  // Within the rounding of three image pixels to a screen pixel at 33 %.
  EXPECT_NEAR(after.x, before.x, 8);
  EXPECT_NEAR(after.y, before.y, 8);
}

// A percentage typed into the zoom box and Enter: the nearest step, the box
// showing it, the keys back on the page; nonsense leaves the zoom as it was.
TEST_F(Desktop, TypedZoomPercentageTakesTheNearestStep)
{
  Open(Corpus("page/text-bitonal-400dpi.tif"));
  View().SetZoom(-3, CVellumView::kZoomBox);
  Pump(30);
  auto *box = dynamic_cast<wxComboBox *>(Frame().GetToolBar()->FindControl(ID_ZOOM_BOX));
  ASSERT_NE(box, nullptr);
  struct Case
  {
    const char *typed;
    int zoom;
    const char *shown;
  } const cases[] = {{"150", 1, "200 %"}, {"33 %", -2, "33 %"}, {"abc", -2, "33 %"}, {"12.5%", -7, "13 %"}};
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.typed);
    Frame().Raise();
    box->SetFocus();
    ASSERT_TRUE(RunUntil([&] { return wxWindow::FindFocus() == box || box->HasFocus(); }, 2000));
    box->SelectAll();
    wxUIActionSimulator sim;
    sim.Text(c.typed);
    EXPECT_TRUE(RunUntil([&] { return box->GetValue().utf8_string() == c.typed; }, 5000)) << box->GetValue();
    Pump(50);
    sim.Char(WXK_RETURN);
    // Enter is taken once the focus is back on the page.
    EXPECT_TRUE(RunUntil([] { return wxWindow::FindFocus() == View().m_pCanvas; }, 5000));
    EXPECT_EQ(box->GetValue().utf8_string(), c.shown);
    EXPECT_EQ(View().m_nZoom, c.zoom);
  }
  // Picking from the list still works.
  box->SetSelection(ZoomBoxIndex(0));
  wxCommandEvent pick(wxEVT_COMBOBOX, ID_ZOOM_BOX);
  pick.SetEventObject(box);
  pick.SetInt(ZoomBoxIndex(0));
  box->GetEventHandler()->ProcessEvent(pick);
  EXPECT_EQ(View().m_nZoom, 0);
  EXPECT_TRUE(g_boxes.empty());
}

// Black And White and back to Color: the page is in colour again.
TEST_F(Desktop, DjVuLayerRoundTripGivesColourBack)
{
  Open(Corpus("djvu/compound-flower-fg44-bg44.djvu"));
  ASSERT_EQ(Doc().m_model.m_pImage->m_nBitsPerPixel, 24);
  const std::string colour = Pane(1);
  EXPECT_EQ(colour.find('g'), std::string::npos) << colour;
  ASSERT_TRUE(Frame().RunCommandIfEnabled(ID_VIEW_LAYER_BW));
  EXPECT_TRUE(Doc().m_model.m_pImage->m_bGrey);
  for (int layer : {ID_VIEW_LAYER_COLOR, ID_VIEW_LAYER_BACKGROUND, ID_VIEW_LAYER_FOREGROUND})
  {
    SCOPED_TRACE(layer);
    ASSERT_TRUE(Frame().RunCommandIfEnabled(ID_VIEW_LAYER_BW));
    ASSERT_TRUE(Frame().RunCommandIfEnabled(layer));
    EXPECT_EQ(Doc().m_model.m_pImage->m_nBitsPerPixel, 24);
    EXPECT_FALSE(Doc().m_model.m_pImage->m_bGrey);
  }
  EXPECT_EQ(Pane(1), colour);
  // A grey conversion the user asked for stays through a layer change.
  ASSERT_TRUE(Frame().RunCommandIfEnabled(ID_IMAGE_GRAY));
  ASSERT_TRUE(Frame().RunCommandIfEnabled(ID_VIEW_LAYER_BACKGROUND));
  EXPECT_TRUE(Doc().m_model.m_pImage->m_bGrey);
}

// A failed open keeps the page on screen, its title and its name, with one
// message; a path that does not exist says so.
TEST_F(Desktop, FailedOpenKeepsThePage)
{
  const std::string good = Corpus("bmp/rgb24.bmp");
  Open(good);
  const std::string title = Frame().GetTitle().utf8_string();
  struct Case
  {
    std::string path;
    std::string message;
  };
  const Case cases[] = {
      {Corpus("bad/djvu-truncated.djvu"), "Failed to open the image!\n\ndjvu-truncated.djvu: "},
      {Corpus("bad/bmp-badrle.bmp"), "Failed to open the image!\n\nbmp-badrle.bmp: "},
      {Tmp() + "/no-such-page.djvu",
       "Failed to open the image!\n\nno-such-page.djvu: the file does not exist."},
  };
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.path);
    g_boxes.clear();
    Open(c.path);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0].rfind(c.message, 0), 0u) << g_boxes[0];
    EXPECT_TRUE(Doc().m_model.HasImage());
    EXPECT_EQ(Doc().GetFilename().utf8_string(), good);
    EXPECT_EQ(Frame().GetTitle().utf8_string(), title);
    EXPECT_EQ(Doc().m_model.m_strLastOpenedPath, good);
  }
}

// Clicking a "Source is" choice and then Cancel changes no setting and
// marks nothing; the stored choice is shown selected.
TEST_F(Desktop, DjVuSettingsCancelRestoresAndMarksNothing)
{
  Open(Corpus("djvu/form-scan-cjb2.djvu"));
  CVellumSettings &s = App().m_settings;
  s.DjvuQuickSet = 0;
  s.DjvuUpsample = 0;
  s.DjvuLossless = 0;
  s.DjvuNoThick = 0;
  bool storedShown = false;
  g_dialogs.script = [&](wxDialog *dialog)
  {
    auto *high = dynamic_cast<wxRadioButton *>(dialog->FindWindow(CDjVuSettingsLogic::IDC_QUICK_HIGH));
    auto *low = dynamic_cast<wxRadioButton *>(dialog->FindWindow(CDjVuSettingsLogic::IDC_QUICK_LOW));
    if (!high || !low)
      return wxID_CANCEL;
    storedShown = high->GetValue() && !low->GetValue();
    low->SetValue(true);
    wxCommandEvent click(wxEVT_RADIOBUTTON, CDjVuSettingsLogic::IDC_QUICK_LOW);
    click.SetEventObject(low);
    click.SetInt(1);
    low->GetEventHandler()->ProcessEvent(click);
    return wxID_CANCEL;
  };
  ASSERT_TRUE(Frame().RunCommandIfEnabled(ID_OPTIONS_DJVU));
  EXPECT_TRUE(storedShown);
  EXPECT_EQ(s.DjvuQuickSet, 0);
  EXPECT_EQ(s.DjvuUpsample, 0);
  EXPECT_EQ(s.DjvuLossless, 0);
  EXPECT_FALSE(Doc().IsModified());

  // OK keeps the choice.
  g_dialogs.script = [](wxDialog *dialog)
  {
    auto *low = dynamic_cast<wxRadioButton *>(dialog->FindWindow(CDjVuSettingsLogic::IDC_QUICK_LOW));
    if (!low)
      return wxID_CANCEL;
    low->SetValue(true);
    wxCommandEvent click(wxEVT_RADIOBUTTON, CDjVuSettingsLogic::IDC_QUICK_LOW);
    click.SetEventObject(low);
    low->GetEventHandler()->ProcessEvent(click);
    return wxID_OK;
  };
  ASSERT_TRUE(Frame().RunCommandIfEnabled(ID_OPTIONS_DJVU));
  EXPECT_EQ(s.DjvuUpsample, 2);
  s.DjvuQuickSet = 0;
  s.DjvuUpsample = 0;
  s.DjvuLossless = 0;
  s.DjvuNoThick = 0;
}

// The slideshow ends on a real Esc press, leaves the document alone and
// takes its status text with it.
TEST_F(Desktop, SlideshowEndsOnEscAndLeavesTheDocument)
{
  const std::string dir = Tmp() + "/slides";
  mkdir(dir.c_str(), 0700);
  for (const char *name : {"one.bmp", "two.bmp"})
  {
    std::ifstream in(Corpus("bmp/pal8.bmp"), std::ios::binary);
    std::ofstream(dir + "/" + name, std::ios::binary) << in.rdbuf();
  }
  const std::string page = Corpus("pnm/rgb-8bit.ppm");
  Open(page);
  CBrowserPanel *bar = Frame().Browser();
  ASSERT_NE(bar, nullptr);
  bar->FillFileList(dir);
  bar->SelectName("one.bmp");
  bar->SelectName("two.bmp");
  App().m_settings.SlideDelay = 1;
  ASSERT_TRUE(bar->StartSlideshow());
  ASSERT_NE(bar->Slideshow(), nullptr);
  ASSERT_TRUE(RunUntil([] { return Pane(0).find("Showing image 2/2") != std::string::npos; }, 5000));
  EXPECT_EQ(Doc().GetFilename().utf8_string(), page);
  EXPECT_EQ(Doc().DocTitle(), "rgb-8bit.ppm");
  EXPECT_TRUE(Press(WXK_ESCAPE, wxMOD_NONE, [&] { return bar->Slideshow() == nullptr; }));
  EXPECT_EQ(Pane(0).find("Showing image"), std::string::npos) << Pane(0);
  EXPECT_EQ(Doc().GetFilename().utf8_string(), page);

  // Closed through its window (the window manager's close button) the show
  // takes its text along too, and no slide timer brings it back.
  ASSERT_TRUE(bar->StartSlideshow());
  ASSERT_TRUE(RunUntil([] { return Pane(0).find("Showing image") != std::string::npos; }, 5000));
  ASSERT_NE(bar->Slideshow(), nullptr);
  bar->Slideshow()->Close();
  EXPECT_TRUE(RunUntil([&] { return bar->Slideshow() == nullptr; }, 2000));
  Pump(1200); // longer than the slide delay
  EXPECT_EQ(Pane(0).find("Showing image"), std::string::npos) << Pane(0);
}

// After an open the selection bar shows the file's folder, and no stale
// "Selection" text stays in the status bar after a crop.
TEST_F(Desktop, BarFollowsTheOpenedFileAndStatusIsNotStale)
{
  const std::string file = Corpus("jpeg/baseline-227x149.jpg");
  Open(file);
  EXPECT_EQ(Frame().Browser()->Directory(), DirectoryOf(file));
  EXPECT_EQ(App().m_settings.OpenDir, DirectoryOf(file));
  View().ToggleSelectMode();
  Paint();
  const SelRect r = ImageRectToView(View().Mapping(), {10, 10, 100, 80});
  View().OnLeftDown({r.left, r.top});
  View().OnMouseMove({r.right, r.bottom});
  View().OnLeftUp({r.right, r.bottom});
  ASSERT_TRUE(View().m_bHasSelection);
  EXPECT_NE(Pane(0).find("Selection"), std::string::npos) << Pane(0);
  ASSERT_TRUE(Frame().RunCommandIfEnabled(ID_IMAGE_CROP));
  EXPECT_EQ(Pane(0).find("Selection"), std::string::npos) << Pane(0);
  EXPECT_FALSE(View().m_bHasSelection);

  // A selection, then another file: neither the pane nor a later pointer
  // move tells of the old selection.
  Paint();
  View().OnLeftDown({r.left, r.top});
  View().OnMouseMove({r.right, r.bottom});
  View().OnLeftUp({r.right, r.bottom});
  ASSERT_TRUE(View().m_bHasSelection);
  ASSERT_NE(Pane(0).find("Selection"), std::string::npos) << Pane(0);
  Open(Corpus("bmp/rgb24.bmp"));
  EXPECT_EQ(Pane(0).find("Selection"), std::string::npos) << Pane(0);
  EXPECT_FALSE(View().m_bHasSelection);
  View().OnMouseMove({r.left + 1, r.top + 1});
  EXPECT_EQ(Pane(0).find("Selection"), std::string::npos) << Pane(0);
  View().ToggleSelectMode();
}

// Save As: choosing another file type gives the typed name that type's
// extension, as the file chooser's own filter list is used.
TEST_F(Desktop, SaveAsTypeChangeFollowsWithTheExtension)
{
  Open(Corpus("djvu/compound-flower-fg44-bg44.djvu"));
  std::vector<std::string> names;
  g_dialogs.script = [&](wxDialog *dialog)
  {
    wxFileDialog *file = dynamic_cast<wxFileDialog *>(dialog);
    if (!file)
      return wxID_CANCEL;
    names.push_back(FileDialogTypedName(*file));
    for (int filter : {3, 2, 4, 0}) // JPEG, BMP, PNM, DjVu
    {
      ChooseFileDialogFilter(*file, filter);
      names.push_back(FileDialogTypedName(*file));
    }
    return wxID_CANCEL;
  };
  App().m_settings.SaveType = IMAGE_FILE_DJVU;
  EXPECT_FALSE(Doc().SaveAs());
  EXPECT_EQ(names,
            (std::vector<std::string>{"compound-flower-fg44-bg44.djvu", "compound-flower-fg44-bg44.jpg",
                                      "compound-flower-fg44-bg44.bmp", "compound-flower-fg44-bg44.ppm",
                                      "compound-flower-fg44-bg44.djvu"}));
}

// A menu item ends in an ellipsis exactly when its command asks for more
// before acting (a dialog); those that can run here are run and must open
// one. The Open dialog lists .pnm with the other PNM names and ends with
// "All files".
TEST_F(Desktop, DialogCommandsEndInAnEllipsisAndOpenListsAllFiles)
{
  const std::vector<int> dialogs = {
      ID_FILE_OPEN_IMAGE, ID_FILE_NEW_SCAN, ID_FILE_SELECT_SOURCE, ID_FILE_SAVE_AS,      wxID_PRINT,
      wxID_PREVIEW,       wxID_PRINT_SETUP, ID_IMAGE_RESIZE,       ID_PAGE_GOTO,         ID_OPTIONS_GENERAL,
      ID_OPTIONS_DJVU,    ID_OPTIONS_IW44,  ID_OPTIONS_JPEG,       ID_HELP_STARTUP_INFO, wxID_ABOUT};
  const std::string ellipsis = "\u2026";
  std::function<void(wxMenu *)> walk = [&](wxMenu *menu)
  {
    for (wxMenuItem *item : menu->GetMenuItems())
    {
      if (item->IsSeparator())
        continue;
      if (item->GetSubMenu())
      {
        walk(item->GetSubMenu());
        continue;
      }
      const std::string label = item->GetItemLabelText().utf8_string();
      SCOPED_TRACE(label);
      const bool asks = std::find(dialogs.begin(), dialogs.end(), item->GetId()) != dialogs.end();
      EXPECT_EQ(label.size() > ellipsis.size() &&
                    label.compare(label.size() - ellipsis.size(), ellipsis.size(), ellipsis) == 0,
                asks);
      EXPECT_EQ(label.find("..."), std::string::npos);
    }
  };
  wxMenuBar *bar = Frame().GetMenuBar();
  for (size_t i = 0; i < bar->GetMenuCount(); ++i)
    walk(bar->GetMenu(i));

  Open(Corpus("pnm/rgb-8bit.ppm"));
  std::string wildcard;
  int shown = 0;
  g_dialogs.script = [&](wxDialog *dialog)
  {
    ++shown;
    if (auto *file = dynamic_cast<wxFileDialog *>(dialog))
      wildcard = file->GetWildcard().utf8_string();
    return wxID_CANCEL;
  };
  for (int id : {ID_FILE_OPEN_IMAGE, ID_FILE_SAVE_AS, ID_IMAGE_RESIZE, ID_OPTIONS_GENERAL, ID_OPTIONS_DJVU,
                 ID_OPTIONS_IW44, ID_OPTIONS_JPEG})
  {
    SCOPED_TRACE(id);
    const int before = shown;
    ASSERT_TRUE(Frame().RunCommandIfEnabled(id));
    EXPECT_EQ(shown, before + 1);
    if (id == ID_FILE_OPEN_IMAGE)
    {
      EXPECT_NE(wildcard.find("*.pnm;*.ppm;*.pgm;*.pbm"), std::string::npos) << wildcard;
      EXPECT_NE(wildcard.find("PNG file (*.png)|*.png"), std::string::npos) << wildcard;
      const std::string all = "|All files|*";
      EXPECT_EQ(wildcard.rfind(all), wildcard.size() - all.size()) << wildcard;
    }
  }
  EXPECT_FALSE(Doc().IsModified());

  // A file named .pnm is a PNM file.
  const std::string pnm = Tmp() + "/any.pnm";
  {
    std::ifstream in(Corpus("pnm/rgb-8bit.ppm"), std::ios::binary);
    std::ofstream(pnm, std::ios::binary) << in.rdbuf();
  }
  g_boxes.clear();
  Open(pnm);
  EXPECT_TRUE(g_boxes.empty());
  EXPECT_EQ(Doc().GetFilename().utf8_string(), pnm);
  std::remove(pnm.c_str());
}

// Every dialog of the program's own, built under a large desktop font: laid
// out by sizers (each control at least its best size, none outside the
// client area), with neither a minimise nor a maximise button.
TEST_F(Desktop, DialogsFitALargeFontAndHaveNoMinimiseOrMaximise)
{
  GtkSettings *gtk = gtk_settings_get_default();
  ASSERT_NE(gtk, nullptr);
  gchar *oldFont = nullptr;
  g_object_get(gtk, "gtk-font-name", &oldFont, nullptr);
  g_object_set(gtk, "gtk-font-name", "Sans 22", nullptr);
  Pump(50);
  Open(Corpus("djvu/form-scan-cjb2.djvu"));

  std::vector<std::string> seen;
  std::function<void(wxWindow *, const wxRect &, const std::string &)> check =
      [&](wxWindow *parent, const wxRect &client, const std::string &title)
  {
    for (wxWindow *w : parent->GetChildren())
    {
      if (!w->IsShown() || w->IsTopLevel())
        continue;
      const std::string what = title + ": " + wxString(w->GetClassInfo()->GetClassName()).utf8_string() +
                               " \"" + w->GetLabel().utf8_string() + "\"";
      const wxRect r = w->GetScreenRect();
      EXPECT_TRUE(client.Contains(r))
          << what << " at " << r.x << "," << r.y << " " << r.width << "x" << r.height << " outside "
          << client.x << "," << client.y << " " << client.width << "x" << client.height;
      const wxSize best = w->GetBestSize();
      EXPECT_GE(r.width, best.x) << what;
      EXPECT_GE(r.height, best.y) << what;
      check(w, client, title);
    }
  };
  std::function<int(wxDialog *)> inspect = [&](wxDialog *dialog)
  {
    const std::string title = dialog->GetTitle().utf8_string();
    seen.push_back(title);
    const long style = dialog->GetWindowStyleFlag();
    EXPECT_EQ(style & (wxMINIMIZE_BOX | wxMAXIMIZE_BOX), 0) << title;
    EXPECT_NE(style & wxCAPTION, 0) << title;
    dialog->Show();
    Pump(50);
    const wxRect client(dialog->ClientToScreen(wxPoint(0, 0)), dialog->GetClientSize());
    check(dialog, client, title);
    // The dialog's own buttons open the dialogs behind them (DjVu Settings'
    // Advanced) through the same hook.
    if (auto *more = dialog->FindWindow(CDjVuSettingsLogic::IDC_ADVANCED))
    {
      wxCommandEvent click(wxEVT_BUTTON, more->GetId());
      click.SetEventObject(more);
      more->GetEventHandler()->ProcessEvent(click);
    }
    dialog->Hide();
    return wxID_CANCEL;
  };
  g_dialogs.script = inspect;
  for (int id : {ID_OPTIONS_GENERAL, ID_OPTIONS_DJVU, ID_OPTIONS_IW44, ID_OPTIONS_JPEG, ID_IMAGE_RESIZE,
                 ID_HELP_STARTUP_INFO})
  {
    SCOPED_TRACE(id);
    EXPECT_TRUE(Frame().RunCommandIfEnabled(id));
  }
  g_object_set(gtk, "gtk-font-name", oldFont, nullptr);
  g_free(oldFont);
  Pump(50);
  EXPECT_GE(seen.size(), 7u); // the six and DjVu Settings' advanced page
  for (const std::string &t : seen)
    std::printf("checked dialog \"%s\"\n", t.c_str());
  EXPECT_FALSE(Doc().IsModified());
}

// Help > About: the program, its licence and the libraries it is built on.
TEST_F(Desktop, AboutBoxCreditsTheLibraries)
{
  std::string title, texts;
  std::function<void(wxWindow *)> collect = [&](wxWindow *w)
  {
    texts += w->GetLabel().utf8_string() + "\n";
    for (wxWindow *child : w->GetChildren())
      collect(child);
  };
  g_dialogs.script = [&](wxDialog *dialog)
  {
    title = dialog->GetTitle().utf8_string();
    collect(dialog);
    return wxID_OK;
  };
  wxCommandEvent about(wxEVT_MENU, wxID_ABOUT);
  Frame().ProcessWindowEvent(about);
  EXPECT_EQ(title, "About Vellum");
  for (const char *credit :
       {"DjVuLibre", "libtiff", "libjpeg", "libpng", "wxWidgets", "SANE", "General Public"})
    EXPECT_NE(texts.find(credit), std::string::npos) << credit << " in\n" << texts;
}

// The save question names its buttons by what they do and keeps its text;
// other questions keep Yes and No.
TEST_F(Desktop, SaveQuestionButtonsSayWhatTheyDo)
{
  struct Seen
  {
    std::string text, yes, no, cancel;
  } seen;
  g_dialogs.script = [&](wxDialog *dialog)
  {
    // The toolkit writes the mnemonic its own way ('_' for '&').
    auto plain = [](const wxString &label)
    {
      std::string s = label.utf8_string();
      s.erase(std::remove_if(s.begin(), s.end(), [](char c) { return c == '&' || c == '_'; }), s.end());
      return s;
    };
    if (auto *box = dynamic_cast<wxMessageDialog *>(dialog))
      seen = {box->GetMessage().utf8_string(), plain(box->GetYesLabel()), plain(box->GetNoLabel()),
              plain(box->GetCancelLabel())};
    return wxID_NO;
  };
  EXPECT_EQ(
      WxMessageBoxHook("Save x.djvu first?", "Vellum", VMB_YESNOCANCEL | VMB_SAVE_LABELS | VMB_ICONQUESTION),
      VID_NO);
  EXPECT_EQ(seen.text, "Save x.djvu first?");
  EXPECT_EQ(seen.yes, "Save");
  EXPECT_EQ(seen.no, "Don't Save");
  EXPECT_EQ(seen.cancel, "Cancel");
  seen = {};
  EXPECT_EQ(WxMessageBoxHook("Delete?", "Vellum", VMB_YESNO | VMB_ICONQUESTION), VID_NO);
  EXPECT_EQ(seen.text, "Delete?");
  EXPECT_NE(seen.yes, "Save");
}

// A page shown at 50 % on a scale-2 screen has one image pixel per device
// pixel: the bitmap drawn has the page's own pixels and scale factor 2, and
// the screen shows the checkerboard's every column (a drawing at logical
// size doubled would show every other column twice). At scale 1 it is every
// other pixel, one per screen pixel (a DjVu page: reduced to grey). A DjVu
// page is rendered for the device pixels: whole at 50 %, at 2/3 for 33 %.
TEST(HiDpi, PageIsDrawnAtDevicePixels)
{
  const int scale = static_cast<int>(View().m_pCanvas->GetContentScaleFactor());
  ASSERT_EQ(scale, kDeviceScale);
  const int w = 240, h = 160;
  const std::string pgm = Checkerboard(w, h), djvu = Tmp() + "/checker.djvu";
  ASSERT_EQ(std::system(("convert '" + pgm + "' -threshold 50% '" + Tmp() + "/checker.pbm' && cjb2 '" +
                         Tmp() + "/checker.pbm' '" + djvu + "'")
                            .c_str()),
            0);
  for (const std::string &page : {pgm, djvu})
  {
    SCOPED_TRACE(page);
    Open(page);
    ASSERT_TRUE(Doc().m_model.HasImage());
    View().SetZoom(-1, CVellumView::kZoomBox);
    Paint();
    EXPECT_EQ(View().m_nLastPageW, w * scale / 2);
    EXPECT_EQ(View().m_nLastPageH, h * scale / 2);
    EXPECT_DOUBLE_EQ(View().m_dLastPageScale, scale);

    // The page drawn as the screen gets it, in device pixels: into a bitmap
    // of the window's scale (the virtual display is shared with other
    // tests, so its pixels may be another window's).
    const wxSize client = View().m_pCanvas->GetClientSize();
    wxBitmap surface;
    ASSERT_TRUE(surface.CreateWithDIPSize(client, scale));
    {
      wxMemoryDC dc(surface);
      View().OnDraw(&dc);
    }
    const wxImage shot = surface.ConvertToImage();
    ASSERT_EQ(shot.GetWidth(), scale * client.x);
    const int left = View().m_nOffsetX * scale, y = (View().m_nOffsetY + h / 4) * scale;
    ASSERT_LT(left + 40, shot.GetWidth());
    int changes = 0;
    for (int x = left; x < left + 40; ++x)
      changes += shot.GetRed(x, y) != shot.GetRed(x + 1, y);
    // Every column at device pixels; at scale 1 the even columns alone, of
    // one colour along a row.
    EXPECT_EQ(changes, scale == 2 ? 40 : 0) << "the page's columns at device pixels";
  }
  const CDibImage &held = *Doc().m_model.m_pImage;
  EXPECT_EQ(held.m_nWidth, w * scale / 2);
  View().SetZoom(-2, CVellumView::kZoomBox);
  Paint();
  // At scale 2 the page scaled to 2/3 (rounded), of one scale on both
  // axes; at scale 1 subsample 3 (rounded up).
  EXPECT_EQ(held.m_nWidth, 80 * scale);
  EXPECT_EQ(held.m_nHeight, scale == 2 ? 107 : 54);
  EXPECT_EQ(held.m_nXDpi, held.m_nYDpi);
  EXPECT_EQ(View().m_nLastPageW, 80 * scale);
  std::remove(pgm.c_str());
  EXPECT_TRUE(g_boxes.empty());
}

// The page thumbnails are drawn at device pixels too: twice the pixels in
// the same boxes on a scale-2 screen.
TEST(HiDpi, PageThumbnailsAreAtDevicePixels)
{
  const std::string book = Tmp() + "/two.djvu";
  ASSERT_EQ(std::system(("djvm -c '" + book + "' '" + Corpus("djvu/formatdoc-p10-bitonal.djvu") + "' '" +
                         Corpus("djvu/form-scan-cjb2.djvu") + "'")
                            .c_str()),
            0);
  Open(book);
  CPagePanel *pages = Frame().Pages();
  ASSERT_NE(pages, nullptr);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!(pages->IsShownOnScreen() && pages->ThumbBitmap(0)) && std::chrono::steady_clock::now() < end)
    Pump(20);
  const wxBitmap *thumb = pages->ThumbBitmap(0);
  ASSERT_NE(thumb, nullptr);
  ASSERT_TRUE(thumb->IsOk());
  EXPECT_DOUBLE_EQ(thumb->GetScaleFactor(), kDeviceScale);
  // 2550 x 3300 fitted to the box: its full width, at device pixels.
  EXPECT_EQ(thumb->GetWidth(), CPagePanel::kBoxWidth * kDeviceScale);
  EXPECT_EQ(static_cast<int>(thumb->GetLogicalWidth()), CPagePanel::kBoxWidth);
  EXPECT_EQ(thumb->GetHeight(), 124 * kDeviceScale);
  std::remove(book.c_str());
  EXPECT_TRUE(g_boxes.empty());
}

// The toolbar's icons have their own drawing at twice the size, and on a
// scale-2 screen the toolbar asks for it; the window offers an icon of 64
// pixels or more.
TEST(HiDpi, ToolbarAndWindowIconsAreSharp)
{
  wxToolBar *tb = Frame().GetToolBar();
  ASSERT_NE(tb, nullptr);
  for (int id : {int(ID_FILE_OPEN_IMAGE), int(ID_VIEW_ZOOM_IN), int(ID_TOOL_SELECT), int(wxID_PRINT)})
  {
    SCOPED_TRACE(id);
    const wxToolBarToolBase *tool = tb->FindById(id);
    ASSERT_NE(tool, nullptr);
    const wxBitmapBundle bundle = tool->GetNormalBitmapBundle();
    const wxBitmap shown = bundle.GetBitmapFor(tb);
    EXPECT_EQ(shown.GetWidth(), 16 * kDeviceScale);
    EXPECT_EQ(shown.GetHeight(), 16 * kDeviceScale);
    // Not the small one doubled: some 2 x 2 block is not of one colour.
    const wxImage big = bundle.GetBitmap(wxSize(32, 32)).ConvertToImage();
    const wxImage doubled =
        bundle.GetBitmap(wxSize(16, 16)).ConvertToImage().Scale(32, 32, wxIMAGE_QUALITY_NEAREST);
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
  const wxIconBundle icons = Frame().GetIcons();
  int largest = 0;
  for (size_t i = 0; i < icons.GetIconCount(); ++i)
    largest = std::max(largest, icons.GetIconByIndex(i).GetWidth());
  EXPECT_GE(largest, 64);
}

int main(int argc, char **argv)
{
  const std::string screen =
      std::to_string(1280 * kDeviceScale) + "x" + std::to_string(1024 * kDeviceScale) + "x24";
  if (int status = vellum_test::RerunUnderXvfb(argc, argv, screen.c_str()); status >= 0)
    return status;
  if (kDeviceScale != 1)
  {
    // Before the toolkit opens the display; the rest of the tests measure
    // in pixels of scale 1.
    setenv("GDK_SCALE", std::to_string(kDeviceScale).c_str(), 1);
    ::testing::GTEST_FLAG(filter) = "HiDpi.*";
  }
  ::testing::InitGoogleTest(&argc, argv);
  vellum_test::ViewerStart start;
  start.settingsFile = Tmp() + "/Vellum.ini";
  start.hooks = []
  {
    VellumSetMessageBoxHook(RecordBox);
    g_dialogs.Register();
  };
  return vellum_test::RunViewerTests(argv[0], start);
}

// The edit commands in the running viewer under a virtual display: select
// with the mouse, crop, copy, cut, paste, place a pasted image, paste as a
// new image, resize, clear and the clipboard's own commands, all through
// command events; message boxes are recorded and the Resize dialog is
// answered by a modal-dialog hook. Every wait is bounded.
#include "../GuiTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/filedlg.h>
#include <wx/log.h>
#include <wx/modalhook.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>

#include "CommandIds.h"
#include "Dialogs.h"
#include "MainFrame.h"
#include "MessageBox.h"
#include "UiHooks.h"
#include "VellumApp.h"
#include "VellumDoc.h"
#include "VellumView.h"
#include "ViewerTestApp.h"

wxIMPLEMENT_APP_NO_MAIN(CVellumApp);

using namespace vellum;

namespace
{

std::vector<std::string> g_boxes;
int g_wholeDocument = VID_YES; // the answer to "Save the whole document"

int RecordBox(const char *text, const char *, unsigned)
{
  g_boxes.push_back(text);
  // A book saved as DjVu: the whole document. "Save %s first?": No.
  return std::string(text).rfind("Save the whole document", 0) == 0 ? g_wholeDocument : VID_NO;
}

// The whole-document save window before each page: what it shows, whether
// the main window takes input meanwhile, and Cancel pressed on page
// g_cancelBefore (from 0).
struct BookSaveSeen
{
  std::vector<std::string> pageTexts;
  bool frameEnabled = false;
  int cancelBefore = -1;
} g_bookSave;

void SeeBookSavePage(wxWindow *window, int page, int)
{
  for (wxWindow *child : window->GetChildren())
    if (auto *text = dynamic_cast<wxStaticText *>(child))
      if (text->GetLabel().StartsWith("Page "))
        g_bookSave.pageTexts.push_back(text->GetLabel().utf8_string());
  g_bookSave.frameEnabled = g_bookSave.frameEnabled || wxGetApp().MainFrame()->IsEnabled();
  if (page != g_bookSave.cancelBefore)
    return;
  wxWindow *cancel = window->FindWindow(wxID_CANCEL);
  ASSERT_NE(cancel, nullptr);
  wxCommandEvent click(wxEVT_BUTTON, wxID_CANCEL);
  click.SetEventObject(cancel);
  cancel->ProcessWindowEvent(click);
}

// Answers the Resize dialog with a chosen size; other dialogs with Cancel.
class AnswerDialogs : public wxModalDialogHook
{
public:
  int width = 0, height = 0, method = 1;
  int resizeShown = 0;
  int initialWidth = 0, initialHeight = 0;
  int Enter(wxDialog *dialog) override
  {
    if (CResizeDlg *resize = dynamic_cast<CResizeDlg *>(dialog))
    {
      ++resizeShown;
      initialWidth = resize->Logic().width;
      initialHeight = resize->Logic().height;
      resize->Logic().width = width;
      resize->Logic().height = height;
      resize->Logic().method = method;
      return wxID_OK;
    }
    if (dynamic_cast<wxFileDialog *>(dialog))
      ++fileDialogs;
    return wxID_CANCEL;
  }
  int fileDialogs = 0;
  void Exit(wxDialog *) override {}
};
AnswerDialogs g_dialogs;

using vellum_test::Corpus;
using vellum_test::Env;

// Runs the event loop for about ms milliseconds (bounded).
void Pump(int ms = 20)
{
  vellum_test::PumpFor(ms, 2);
}

using vellum_test::Doc;
using vellum_test::Frame;
using vellum_test::View;
CDibImage &Image()
{
  return *Doc().m_model.m_pImage;
}

void Command(int id)
{
  wxCommandEvent event(wxEVT_MENU, id);
  Frame().ProcessWindowEvent(event);
  Pump();
}

bool Enabled(int id)
{
  wxUpdateUIEvent event(id);
  event.SetEventObject(&Frame());
  Frame().ProcessWindowEvent(event);
  return !event.GetSetEnabled() || event.GetEnabled();
}

bool Checked(int id)
{
  wxUpdateUIEvent event(id);
  event.SetEventObject(&Frame());
  Frame().ProcessWindowEvent(event);
  return event.GetSetChecked() && event.GetChecked();
}

void Open(const std::string &rel)
{
  Doc().Modify(false);
  Doc().Open(Corpus(rel), kKindNone, 0);
  if (!Doc().m_model.HasImage())
    throw std::runtime_error("could not open " + rel);
  View().m_pCanvas->Refresh();
  View().m_pCanvas->Update();
  Pump();
}

// Picture pixel (x, y) of the image as bytes (24 bits) or an index (8 bits).
std::string Pixel(const CDibImage &im, int x, int y)
{
  const int stored = im.m_nRowOrder == DIB_ROWS_TOPDOWN ? y : im.m_nHeight - 1 - y;
  const unsigned char *row = im.Row(stored);
  const int bytes = im.m_nBitsPerPixel / 8;
  return std::string(reinterpret_cast<const char *>(row) + x * bytes, bytes);
}

// A selection drawn with the mouse from image point a to image point b.
void DragSelection(IntPoint a, IntPoint b)
{
  const ViewMapping m = View().Mapping();
  View().OnLeftDown(ImageToView(m, a));
  View().OnMouseMove(ImageToView(m, b));
  View().OnLeftUp(ImageToView(m, b));
  Pump();
}

std::string Pane0()
{
  return Frame().GetStatusBar()->GetStatusText(0).utf8_string();
}

// What the view draws for its canvas, drawn into a memory bitmap.
wxImage CanvasShot()
{
  const wxSize size = View().m_pCanvas->GetClientSize();
  wxBitmap shot(size.x, size.y, 24);
  {
    wxMemoryDC memory(shot);
    View().OnDraw(&memory);
  }
  return shot.ConvertToImage();
}

// The pixels of one row of a shot from x0 to x1.
std::string ShotRow(const wxImage &shot, int y, int x0, int x1)
{
  std::string out;
  for (int x = x0; x <= x1; ++x)
    out += std::string{char(shot.GetRed(x, y)), char(shot.GetGreen(x, y)), char(shot.GetBlue(x, y))};
  return out;
}

class EditGui : public ::testing::Test
{
protected:
  void SetUp() override
  {
    g_boxes.clear();
    CVellumSettings &s = wxGetApp().m_settings;
    s.ImageFit = 3; // no fit: 100 %
    s.WindowFit = 0;
    s.FancyZoom = 1;
    s.Dither = 0;
    if (View().m_nMouseMode == kModeSelect)
      Command(ID_TOOL_SELECT);
    View().m_nMouseMode = kModePan;
  }
  void TearDown() override { Doc().Modify(false); }
};

} // namespace

TEST_F(EditGui, SelectCropCopyAndPasteAsNew)
{
  Open("bmp/photo-vgl-a.bmp"); // 120 x 96, 24 bits
  ASSERT_TRUE(Doc().m_model.HasImage());
  ASSERT_EQ(View().m_nZoom, 0);
  EXPECT_TRUE(Enabled(ID_TOOL_SELECT));
  EXPECT_FALSE(Enabled(ID_IMAGE_CROP));
  EXPECT_TRUE(Enabled(wxID_COPY));
  EXPECT_TRUE(Enabled(ID_IMAGE_RESIZE));

  Command(ID_TOOL_SELECT);
  EXPECT_EQ(View().m_nMouseMode, kModeSelect);
  EXPECT_TRUE(Checked(ID_TOOL_SELECT));
  // A drag without width makes no selection.
  DragSelection({5, 5}, {5, 40});
  EXPECT_FALSE(View().m_bHasSelection);
  View().OnMouseMove(ImageToView(View().Mapping(), {7, 8}));
  EXPECT_EQ(Pane0(), "(7,8)");

  DragSelection({19, 29}, {10, 20}); // drawn up and to the left
  ASSERT_TRUE(View().m_bHasSelection);
  EXPECT_EQ(View().m_rcSelection, (SelRect{10, 20, 19, 29}));
  View().OnMouseMove(ImageToView(View().Mapping(), {7, 8}));
  EXPECT_EQ(Pane0(), "(7,8)   Selection: (10,20)->(19,29) = (10x10)");
  EXPECT_TRUE(Enabled(ID_IMAGE_CROP));
  View().m_pCanvas->Refresh();
  View().m_pCanvas->Update();

  // Copy the 10 x 10 selection; paste it as a new image.
  std::vector<std::string> expected;
  for (int y = 20; y <= 29; ++y)
    for (int x = 10; x <= 19; ++x)
      expected.push_back(Pixel(Image(), x, y));
  Command(wxID_COPY);
  ASSERT_TRUE(Enabled(wxID_PASTE));
  ASSERT_TRUE(Enabled(ID_EDIT_PASTE_NEW));
  Command(ID_EDIT_PASTE_NEW);
  ASSERT_TRUE(Doc().m_model.HasImage());
  EXPECT_EQ(Image().m_nWidth, 10);
  EXPECT_EQ(Image().m_nHeight, 10);
  EXPECT_EQ(Doc().m_model.m_nContentKind, 3);
  EXPECT_TRUE(Doc().IsModified());
  EXPECT_FALSE(View().m_bHasSelection);
  EXPECT_EQ(Frame().GetTitle(), "*Untitled clipboard image - Vellum");
  EXPECT_EQ(Frame().GetStatusBar()->GetStatusText(1), "10x10x24");
  std::vector<std::string> got;
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x)
      got.push_back(Pixel(Image(), x, y));
  EXPECT_EQ(got, expected);

  // Crop of a fresh copy of the photo, and Undo back.
  Open("bmp/photo-vgl-a.bmp");
  DragSelection({10, 20}, {19, 29});
  ASSERT_TRUE(View().m_bHasSelection);
  Command(ID_IMAGE_CROP);
  EXPECT_EQ(Image().m_nWidth, 10);
  EXPECT_EQ(Image().m_nHeight, 10);
  EXPECT_FALSE(View().m_bHasSelection);
  EXPECT_EQ(Doc().m_model.m_nContentKind, 3);
  EXPECT_EQ(Pixel(Image(), 0, 0), expected[0]);
  EXPECT_EQ(Pixel(Image(), 9, 9), expected.back());
  Command(ID_EDIT_UNDO);
  EXPECT_EQ(Image().m_nWidth, 120);

  // The selection shows a dotted frame; leaving select mode removes the
  // selection and its frame.
  Frame().Raise();
  const wxImage before = CanvasShot();
  DragSelection({10, 10}, {40, 30});
  ASSERT_TRUE(View().m_bHasSelection);
  const SelRect frame = ImageRectToView(View().Mapping(), View().m_rcSelection);
  const wxImage framed = CanvasShot();
  EXPECT_NE(ShotRow(framed, frame.top, frame.left, frame.right),
            ShotRow(before, frame.top, frame.left, frame.right));
  Command(ID_TOOL_SELECT);
  EXPECT_EQ(View().m_nMouseMode, kModePan);
  EXPECT_FALSE(View().m_bHasSelection);
  const wxImage after = CanvasShot();
  EXPECT_EQ(ShotRow(after, frame.top, frame.left, frame.right),
            ShotRow(before, frame.top, frame.left, frame.right));
  EXPECT_TRUE(g_boxes.empty()) << g_boxes.front();
}

TEST_F(EditGui, PastePlacesWithTheMouseAndCutClears)
{
  Open("bmp/photo-vgl-b.bmp"); // 119 x 96, 24 bits
  ASSERT_TRUE(Doc().m_model.HasImage());
  Command(ID_TOOL_SELECT);
  DragSelection({0, 0}, {7, 5});
  std::vector<std::string> block;
  for (int y = 0; y <= 5; ++y)
    for (int x = 0; x <= 7; ++x)
      block.push_back(Pixel(Image(), x, y));
  Command(wxID_CUT);
  EXPECT_FALSE(View().m_bHasSelection);
  EXPECT_EQ(Pixel(Image(), 3, 3), std::string(3, '\0')); // cut to black
  EXPECT_NE(Pixel(Image(), 8, 3), std::string(3, '\0'));
  Command(ID_TOOL_SELECT); // back to pan

  Command(wxID_PASTE);
  ASSERT_EQ(Doc().m_model.m_bInsertPending, 1);
  EXPECT_EQ(View().m_nMouseMode, kModePlace);
  // Move, paint, then click: the top-left lands on image (50, 40).
  const IntPoint at = ImageToView(View().Mapping(), {50, 40});
  View().OnMouseMove(at);
  // The pasted image follows the pointer: its first pixel is drawn there.
  const wxImage shot = CanvasShot();
  EXPECT_EQ(ShotRow(shot, at.y, at.x, at.x), (std::string{block[0][2], block[0][1], block[0][0]}));
  View().OnLeftDown(at);
  View().OnLeftUp(at);
  Pump();
  EXPECT_EQ(View().m_nMouseMode, kModePan);
  EXPECT_EQ(Doc().m_model.m_bInsertPending, 0);
  for (int y = 0; y <= 5; ++y)
    for (int x = 0; x <= 7; ++x)
      ASSERT_EQ(Pixel(Image(), 50 + x, 40 + y), block[y * 8 + x]) << x << "," << y;
  EXPECT_TRUE(Doc().IsModified());

  // A 24-bit clipboard image into an 8-bit image: nothing, placing goes on.
  Open("bmp/pal8.bmp");
  Command(wxID_PASTE);
  ASSERT_EQ(View().m_nMouseMode, kModePlace);
  const std::string before(reinterpret_cast<const char *>(Image().Bits()), Image().m_nPixelSize);
  View().OnLeftDown(ImageToView(View().Mapping(), {1, 1}));
  View().OnLeftUp(ImageToView(View().Mapping(), {1, 1}));
  EXPECT_EQ(View().m_nMouseMode, kModePlace);
  EXPECT_EQ(Doc().m_model.m_bInsertPending, 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(Image().Bits()), Image().m_nPixelSize), before);

  // Clear empties the document; Empty Clipboard disables the paste entries.
  Command(ID_EDIT_CLEAR);
  EXPECT_FALSE(Doc().m_model.HasImage());
  EXPECT_EQ(Frame().GetTitle(), "Vellum");
  EXPECT_EQ(View().m_nMouseMode, kModePan);
  EXPECT_FALSE(Enabled(wxID_COPY));
  // Paste with no image is Paste As New.
  Command(wxID_PASTE);
  ASSERT_TRUE(Doc().m_model.HasImage());
  EXPECT_EQ(Image().m_nWidth, 8);
  EXPECT_EQ(Frame().GetTitle(), "*Untitled clipboard image - Vellum");
  Command(ID_EDIT_EMPTY_CLIPBOARD);
  EXPECT_FALSE(Enabled(wxID_PASTE));
  EXPECT_FALSE(Enabled(ID_EDIT_EMPTY_CLIPBOARD));
  EXPECT_TRUE(g_boxes.empty()) << g_boxes.front();
}

// While placing, the pasted image is shown at the size its pixels get once
// placed: on a page of 72 x 36 DPI each of its rows covers two view rows,
// whatever resolution the clipboard image carried.
TEST_F(EditGui, PlacedImageIsPreviewedWithTheImagesAspect)
{
  Open("bmp/pal8.bmp"); // 127 x 64, 8 bits, 72 DPI
  ASSERT_TRUE(Doc().m_model.HasImage());
  std::string row0, row1;
  for (int x = 0; x < 8; ++x)
  {
    row0 += Pixel(Image(), x, 0);
    row1 += Pixel(Image(), x, 1);
  }
  ASSERT_NE(row0, row1);
  Command(ID_TOOL_SELECT);
  DragSelection({0, 0}, {7, 5});
  Command(wxID_COPY);
  Command(ID_TOOL_SELECT);

  Open("bmp/pal8nonsquare.bmp"); // 127 x 32 at 72 x 36 DPI
  ASSERT_EQ(Image().m_nYDpi * 2, Image().m_nXDpi);
  Command(wxID_PASTE);
  ASSERT_EQ(View().m_nMouseMode, kModePlace);
  const IntPoint at = ImageToView(View().Mapping(), {20, 10});
  View().OnMouseMove(at);
  const wxImage shot = CanvasShot();
  const std::string first = ShotRow(shot, at.y, at.x, at.x + 7);
  EXPECT_EQ(ShotRow(shot, at.y + 1, at.x, at.x + 7), first);
  EXPECT_NE(ShotRow(shot, at.y + 2, at.x, at.x + 7), first);
  // Placed, the rows land where the preview showed them.
  View().OnLeftDown(at);
  View().OnLeftUp(at);
  Pump();
  EXPECT_EQ(Doc().m_model.m_bInsertPending, 0);
  EXPECT_EQ(ShotRow(CanvasShot(), at.y + 1, at.x, at.x + 7), first);
  EXPECT_TRUE(g_boxes.empty()) << g_boxes.front();
}

TEST_F(EditGui, OneBitCopyFromAnOddColumnAndFourBitRefusal)
{
  Open("bmp/pal1.bmp");
  ASSERT_EQ(Image().m_nBitsPerPixel, 1);
  // Without a selection Copy takes the whole image.
  Command(wxID_COPY);
  Command(ID_EDIT_PASTE_NEW);
  EXPECT_EQ(Image().m_nWidth, 127);
  EXPECT_EQ(Image().m_nHeight, 64);
  Open("bmp/pal1.bmp");
  Command(ID_TOOL_SELECT);
  DragSelection({3, 2}, {40, 20});
  std::vector<bool> expected;
  auto bit = [](const CDibImage &im, int x, int y)
  {
    const int stored = im.m_nRowOrder == DIB_ROWS_TOPDOWN ? y : im.m_nHeight - 1 - y;
    return ((im.Row(stored)[x >> 3] >> (7 - (x & 7))) & 1) != 0;
  };
  for (int y = 2; y <= 20; ++y)
    for (int x = 3; x <= 40; ++x)
      expected.push_back(bit(Image(), x, y));
  Command(wxID_COPY);
  Command(ID_EDIT_PASTE_NEW);
  ASSERT_EQ(Image().m_nWidth, 38);
  ASSERT_EQ(Image().m_nBitsPerPixel, 1);
  std::vector<bool> got;
  for (int y = 0; y < 19; ++y)
    for (int x = 0; x < 38; ++x)
      got.push_back(bit(Image(), x, y));
  EXPECT_EQ(got, expected);

  Open("bmp/pal4.bmp");
  ASSERT_EQ(Image().m_nBitsPerPixel, 4);
  Command(wxID_COPY);
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0], "Selections of 4 bit images is not supported");
  // A cut that could not be copied clears nothing.
  g_boxes.clear();
  const std::string before(reinterpret_cast<const char *>(Image().Bits()), Image().m_nPixelSize);
  Command(wxID_CUT);
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(Image().Bits()), Image().m_nPixelSize), before);
  EXPECT_FALSE(Doc().IsModified());
}

TEST_F(EditGui, ResizeRunsTheDialogThenResamples)
{
  Open("bmp/pal8.bmp"); // 127 x 64
  g_dialogs.width = 60;
  g_dialogs.height = 30;
  g_dialogs.method = 2;
  Command(ID_IMAGE_RESIZE);
  EXPECT_EQ(g_dialogs.resizeShown, 1);
  EXPECT_EQ(g_dialogs.initialWidth, 127);
  EXPECT_EQ(g_dialogs.initialHeight, 64);
  EXPECT_EQ(Image().m_nWidth, 60);
  EXPECT_EQ(Image().m_nHeight, 30);
  EXPECT_EQ(Doc().m_model.m_nContentKind, 3);
  EXPECT_TRUE(Doc().IsModified());
  // Width 0 is refused by Resample: nothing changes.
  g_dialogs.width = 0;
  Command(ID_IMAGE_RESIZE);
  EXPECT_EQ(Image().m_nWidth, 60);
}

TEST_F(EditGui, PanningScrollsAndShowsTheOffset)
{
  Open("bmp/photo-night-192x144.bmp");
  // 400 % makes the picture larger than the window.
  View().SetZoom(3, CVellumView::kZoomBox);
  View().m_pCanvas->Refresh();
  View().m_pCanvas->Update();
  Pump();
  ASSERT_TRUE(View().m_bHScroll || View().m_bVScroll);
  View().OnLeftDown({200, 200});
  View().OnMouseMove({150, 170});
  View().OnLeftUp({150, 170});
  int sx = 0, sy = 0;
  View().m_pCanvas->GetViewStart(&sx, &sy);
  EXPECT_EQ(sx, View().m_bHScroll ? 50 : 0);
  EXPECT_EQ(sy, View().m_bVScroll ? 30 : 0);
  EXPECT_EQ(Pane0(), "Scroll offset: (" + std::to_string(sx) + "," + std::to_string(sy) + ")");
  View().SetZoom(0, CVellumView::kZoomBox);
}

TEST_F(EditGui, ReducedPageIsCopiedAndCroppedAtFullScale)
{
  Open("djvu/photo-astronaut.iw44"); // 512 x 512
  ASSERT_TRUE(Doc().m_model.HasImage());
  View().SetZoom(-1, CVellumView::kZoomOut); // 50 %, rendered reduced
  Pump();
  ASSERT_EQ(Image().m_nWidth, 256);
  Command(ID_TOOL_SELECT);
  DragSelection({100, 100}, {199, 149});
  ASSERT_TRUE(View().m_bHasSelection);
  EXPECT_EQ(View().m_rcSelection, (SelRect{100, 100, 198, 148})); // even view pixels at 50 %
  Command(wxID_COPY);
  EXPECT_EQ(Image().m_nWidth, 256); // the reduced rendering is back
  Command(ID_IMAGE_CROP);
  EXPECT_EQ(Image().m_nWidth, 99);
  EXPECT_EQ(Image().m_nHeight, 49);
  EXPECT_EQ(Doc().m_model.m_nContentKind, 3);
  // The cropped page is modified: Paste As New asks first (answered No).
  Command(ID_EDIT_PASTE_NEW);
  EXPECT_EQ(g_boxes, std::vector<std::string>{"Save photo-astronaut.iw44 first?"});
  EXPECT_EQ(Image().m_nWidth, 99);
  EXPECT_EQ(Image().m_nHeight, 49);
  View().SetZoom(0, CVellumView::kZoomBox);
}

TEST_F(EditGui, PasteIntoATopDownImageLandsWhereClicked)
{
  Open("bmp/pal8.bmp");
  Command(ID_TOOL_SELECT);
  DragSelection({20, 10}, {31, 17});
  auto colour = [](int x, int y)
  {
    const CDibImage &im = Image();
    const int stored = im.m_nRowOrder == DIB_ROWS_TOPDOWN ? y : im.m_nHeight - 1 - y;
    const DibRgbQuad &q = im.Palette()[im.Row(stored)[x]];
    return (q.rgbRed << 16) | (q.rgbGreen << 8) | q.rgbBlue;
  };
  std::vector<int> block;
  for (int y = 10; y <= 17; ++y)
    for (int x = 20; x <= 31; ++x)
      block.push_back(colour(x, y));
  Command(wxID_COPY);
  Command(ID_TOOL_SELECT);
  Open("bmp/pal8topdown.bmp");
  Command(wxID_PASTE);
  ASSERT_EQ(View().m_nMouseMode, kModePlace);
  const IntPoint at = ImageToView(View().Mapping(), {60, 30});
  View().OnLeftDown(at);
  View().OnLeftUp(at);
  Pump();
  std::vector<int> got;
  for (int y = 30; y <= 37; ++y)
    for (int x = 60; x <= 71; ++x)
      got.push_back(colour(x, y));
  EXPECT_EQ(got, block);
  EXPECT_TRUE(g_boxes.empty()) << g_boxes.front();
}

int main(int argc, char **argv)
{
  if (int status = vellum_test::RerunUnderXvfb(argc, argv, "1280x1024x24"); status >= 0)
    return status;
  ::testing::InitGoogleTest(&argc, argv);
  const std::string tmp = Env("VELLUM_TEST_TMP", "/tmp");
  vellum_test::ViewerStart start;
  start.settingsFile = tmp + "/Vellum-edit.ini";
  start.saneDir = tmp + "/sane-config-edit"; // no scanner
  start.hooks = []
  {
    VellumSetMessageBoxHook(RecordBox);
    SetBookSavePageHook(SeeBookSavePage);
    g_dialogs.Register();
  };
  return vellum_test::RunViewerTests(argv[0], start);
}

namespace
{

std::string Shell(const std::string &cmd)
{
  std::string out;
  if (FILE *p = popen(cmd.c_str(), "r"))
  {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
      out.append(buf, n);
    pclose(p);
  }
  return out;
}

} // namespace

// The book scenario: page through a bundled book, edit page 2, save it
// under a new name as DjVu; the file still has every page, the outline and
// the hidden text, and its page 2 shows the edit.
TEST_F(EditGui, BookSavedAfterAnEditOnPageTwoKeepsEverything)
{
  const std::string book = Corpus("books/book-bundled-4p.djvu");
  Open("books/book-bundled-4p.djvu");
  ASSERT_TRUE(Doc().m_model.HasImage());
  EXPECT_EQ(Image().m_nPageCount, 4);
  EXPECT_EQ(Image().m_nPageIndex, 0);
  Command(ID_PAGE_LAST);
  EXPECT_EQ(Image().m_nPageIndex, 3);
  EXPECT_NE(Frame().GetTitle().utf8_string().find("(page 4 of 4)"), std::string::npos);
  Command(ID_PAGE_FIRST);
  Command(ID_PAGE_NEXT);
  ASSERT_EQ(Image().m_nPageIndex, 1);
  // The status pane gives the page's resolution, not the reduced rendering's.
  EXPECT_EQ(Frame().GetStatusBar()->GetStatusText(2).utf8_string().find("300"), 0u)
      << Frame().GetStatusBar()->GetStatusText(2).utf8_string();
  EXPECT_TRUE(Enabled(ID_PAGE_GOTO));

  Command(ID_IMAGE_NEGATIVE);
  EXPECT_TRUE(Doc().IsModified());
  const char *tmp = std::getenv("VELLUM_TEST_TMP");
  const std::string out = std::string(tmp ? tmp : "/tmp") + "/edited-book.djvu";
  std::remove(out.c_str());
  g_boxes.clear();
  ASSERT_TRUE(Doc().SaveAsTo(out, 1));
  ASSERT_FALSE(g_boxes.empty());
  EXPECT_EQ(g_boxes.back().rfind("Save the whole document (4 pages)?", 0), 0u) << g_boxes.back();
  EXPECT_EQ(Shell("djvused -e n '" + out + "'"), "4\n");
  EXPECT_EQ(Shell("djvused -e print-outline '" + out + "'"),
            Shell("djvused -e print-outline '" + book + "'"));
  for (int p : {1, 2, 4})
  {
    const std::string text = "djvused -e 'select " + std::to_string(p) + "; print-pure-txt' '";
    EXPECT_EQ(Shell(text + out + "'"), Shell(text + book + "'")) << p;
  }
  // Page 2 shows the edit: its rendering is the negative of the original's.
  auto mean = [](const std::string &file, int page)
  {
    const std::string pgm = Shell("ddjvu -format=pgm -subsample=8 -page=" + std::to_string(page) + " '" +
                                  file + "' - 2>/dev/null");
    double sum = 0;
    const size_t px = pgm.size() > 1000 ? 1000 : 0;
    for (size_t i = pgm.size() - px; i < pgm.size(); i++)
      sum += (unsigned char)pgm[i];
    return px ? sum / (double)px : -1.0;
  };
  const double before = mean(book, 2), after = mean(out, 2);
  ASSERT_GE(before, 0);
  ASSERT_GE(after, 0);
  EXPECT_GT(before, 200);
  EXPECT_LT(after, 60);
  EXPECT_EQ(mean(out, 1), mean(book, 1));
}

// A multi-page TIFF saved as DjVu: the whole document (every page, the
// window naming each page as it is encoded, the main window shut off
// meanwhile), the current page alone, and Cancel, which leaves no file,
// no hidden temporary and an older file whole.
TEST_F(EditGui, MultiPageTiffSavedAsDjVuWholeCurrentPageOrCancelled)
{
  const std::string tif = Corpus("tiff/multipage-g4-3p-400dpi.tif");
  Open("tiff/multipage-g4-3p-400dpi.tif");
  ASSERT_EQ(Image().m_nPageCount, 3);
  Command(ID_PAGE_NEXT);
  ASSERT_EQ(Image().m_nPageIndex, 1);
  const std::string dir =
      std::string(std::getenv("VELLUM_TEST_TMP") ? std::getenv("VELLUM_TEST_TMP") : "/tmp") + "/tiff-book";
  Shell("rm -rf '" + dir + "'; mkdir -p '" + dir + "'");
  auto listing = [&] { return Shell("ls -A '" + dir + "'"); };
  // Lossless, so that each page decodes to exactly the TIFF's page.
  CVellumSettings &s = wxGetApp().m_settings;
  const int lossless = s.DjvuLossless;
  s.DjvuLossless = 1;

  const std::string whole = dir + "/whole.djvu";
  g_bookSave = BookSaveSeen();
  ASSERT_TRUE(Doc().SaveAsTo(whole, 1));
  ASSERT_FALSE(g_boxes.empty());
  EXPECT_EQ(g_boxes.back().rfind("Save the whole document (3 pages)?", 0), 0u) << g_boxes.back();
  EXPECT_EQ(Shell("djvused -e n '" + whole + "'"), "3\n");
  EXPECT_EQ(g_bookSave.pageTexts, (std::vector<std::string>{"Page 1 of 3", "Page 2 of 3", "Page 3 of 3"}));
  EXPECT_FALSE(g_bookSave.frameEnabled);
  EXPECT_TRUE(Frame().IsEnabled());
  // Page 3 is the file's third page, not the page shown.
  EXPECT_EQ(Shell("ddjvu -format=pbm -page=3 '" + whole + "' - | md5sum"),
            Shell("convert '" + tif + "[2]' pbm:- | md5sum"));

  g_wholeDocument = VID_NO;
  const std::string single = dir + "/single.djvu";
  g_bookSave = BookSaveSeen();
  EXPECT_TRUE(Doc().SaveAsTo(single, 1));
  g_wholeDocument = VID_YES;
  EXPECT_EQ(Shell("djvused -e n '" + single + "'"), "1\n");
  EXPECT_TRUE(g_bookSave.pageTexts.empty());
  EXPECT_EQ(Shell("ddjvu -format=pbm '" + single + "' - | md5sum"),
            Shell("convert '" + tif + "[1]' pbm:- | md5sum"));

  // The whole save made the document that book; the TIFF file again for
  // the cancelled saves of its pages.
  Doc().Modify(false);
  Doc().Open(tif, kKindNone, 1);
  ASSERT_EQ(Doc().m_model.m_nContentKind, kKindTiff);
  for (int cancelBefore : {0, 2})
  {
    g_bookSave = BookSaveSeen();
    g_bookSave.cancelBefore = cancelBefore;
    EXPECT_FALSE(Doc().SaveAsTo(dir + "/cancelled.djvu", 1));
    EXPECT_EQ(listing(), "single.djvu\nwhole.djvu\n") << cancelBefore;
  }
  const std::string before = Shell("md5sum < '" + whole + "'");
  g_bookSave = BookSaveSeen();
  g_bookSave.cancelBefore = 1;
  EXPECT_FALSE(Doc().SaveAsTo(whole, 1));
  EXPECT_EQ(Shell("md5sum < '" + whole + "'"), before);
  EXPECT_EQ(listing(), "single.djvu\nwhole.djvu\n");
  EXPECT_TRUE(Frame().IsEnabled());
  s.DjvuLossless = lossless;
}

namespace
{

// The TIFF corpus file copied into a fresh folder, so that a save that
// wrongly writes to it shows.
std::string TiffCopy(const std::string &dir)
{
  Shell("rm -rf '" + dir + "'; mkdir -p '" + dir + "'; cp '" + Corpus("tiff/multipage-g4-3p-400dpi.tif") +
        "' '" + dir + "/scan.tif'");
  return dir + "/scan.tif";
}

std::string TestTmp()
{
  return Env("VELLUM_TEST_TMP", "/tmp");
}

// Page (from 1) of a DjVu file and page (from 0) of the TIFF file, as PBM
// digests; negate: the TIFF page's negative.
std::string DjVuPage(const std::string &file, int page)
{
  return Shell("ddjvu -format=pbm -page=" + std::to_string(page) + " '" + file + "' - | md5sum");
}
std::string TiffPage(const std::string &file, int index, bool negate = false)
{
  return Shell("convert '" + file + "[" + std::to_string(index) + "]' " + (negate ? "-negate " : "") +
               "pbm:- | md5sum");
}

// Mean grey (0 black, 1 white) of page (from 1) of a DjVu file.
double DjVuMean(const std::string &file, int page)
{
  return std::atof(Shell("ddjvu -format=pgm -subsample=8 -page=" + std::to_string(page) + " '" + file +
                         "' - | convert - -format '%[fx:mean]' info:")
                       .c_str());
}

// The picture of the record, top row first, every fourth pixel as grey
// levels or colours: the writers may reorder the rows or invert a bitonal
// palette, the picture stays.
std::string Picture(const CDibImage &im)
{
  std::string out;
  for (int y = 0; y < im.m_nHeight; y += 4)
  {
    const unsigned char *row = im.Row(im.m_nRowOrder == DIB_ROWS_TOPDOWN ? y : im.m_nHeight - 1 - y);
    for (int x = 0; x < im.m_nWidth; x += 4)
      if (im.m_nBitsPerPixel == 1)
        out += char(im.Palette()[(row[x >> 3] >> (7 - (x & 7))) & 1].rgbRed);
      else if (im.m_nBitsPerPixel == 8)
        out += char(im.Palette()[row[x]].rgbRed);
      else
        out.append(reinterpret_cast<const char *>(row) + x * 3, 3);
  }
  return out;
}

} // namespace

// A multi-page TIFF saved whole as a DjVu book is that book from then on:
// the page shown keeps its pixels, undo steps, zoom and scroll; its title
// and file are the book's; the other pages come from the book; Save writes
// the book, with every page, and never the TIFF file.
TEST_F(EditGui, MultiPageTiffSavedWholeIsTheBook)
{
  const std::string dir = TestTmp() + "/tiff-follow";
  const std::string tif = TiffCopy(dir), whole = dir + "/whole.djvu";
  const std::string tifBytes = Shell("md5sum < '" + tif + "'");
  CVellumSettings &s = wxGetApp().m_settings;
  const int lossless = s.DjvuLossless;
  s.DjvuLossless = 1;
  g_bookSave = BookSaveSeen();
  Doc().Modify(false);
  Doc().Open(tif, kKindNone, 0);
  Command(ID_PAGE_NEXT);
  ASSERT_EQ(Image().m_nPageIndex, 1);
  Command(ID_IMAGE_NEGATIVE);
  View().m_pCanvas->Scroll(3, 4);
  int sx = 0, sy = 0;
  View().m_pCanvas->GetViewStart(&sx, &sy);
  const std::string shown = Picture(Image());
  const int zoom = Doc().m_model.m_nZoom;

  ASSERT_TRUE(Doc().SaveAsTo(whole, 1));
  EXPECT_EQ(Shell("djvused -e n '" + whole + "'"), "3\n");
  EXPECT_EQ(DjVuPage(whole, 2), TiffPage(tif, 1, true));
  EXPECT_EQ(DjVuPage(whole, 3), TiffPage(tif, 2));
  EXPECT_GT(DjVuMean(whole, 3), 0.9);
  EXPECT_EQ(Frame().GetTitle(), "whole.djvu (page 2 of 3) - Vellum");
  EXPECT_EQ(Doc().GetFilename().utf8_string(), whole);
  EXPECT_EQ(Doc().m_model.m_strLastOpenedPath, whole);
  EXPECT_FALSE(Doc().IsModified());
  EXPECT_TRUE(Picture(Image()) == shown);
  EXPECT_EQ(Doc().m_model.m_nZoom, zoom);
  int sx2 = -1, sy2 = -1;
  View().m_pCanvas->GetViewStart(&sx2, &sy2);
  EXPECT_EQ(sx2, sx);
  EXPECT_EQ(sy2, sy);

  // The undone edit saves into the book too (the undo step has it).
  ASSERT_TRUE(Doc().m_model.CanUndo());
  Command(ID_EDIT_UNDO);
  ASSERT_TRUE(Doc().IsModified());
  ASSERT_TRUE(Doc().Save());
  EXPECT_EQ(Shell("djvused -e n '" + whole + "'"), "3\n");
  EXPECT_EQ(DjVuPage(whole, 2), TiffPage(tif, 1));
  EXPECT_EQ(Frame().GetTitle(), "whole.djvu (page 2 of 3) - Vellum");

  // The next page is the book's page.
  Command(ID_PAGE_NEXT);
  ASSERT_EQ(Image().m_nPageIndex, 2);
  EXPECT_EQ(Doc().m_model.m_nContentKind, kKindDjVu);
  EXPECT_EQ(Image().m_strSourcePath, whole);
  EXPECT_EQ(Frame().GetTitle(), "whole.djvu (page 3 of 3) - Vellum");
  EXPECT_EQ(Doc().GetFilename().utf8_string(), whole);
  Command(ID_IMAGE_NEGATIVE);
  g_boxes.clear();
  ASSERT_TRUE(Doc().Save());
  EXPECT_EQ(g_boxes, std::vector<std::string>{});
  EXPECT_EQ(Frame().GetTitle(), "whole.djvu (page 3 of 3) - Vellum");
  EXPECT_EQ(Shell("djvused -e n '" + whole + "'"), "3\n");
  EXPECT_EQ(DjVuPage(whole, 1), TiffPage(tif, 0));
  EXPECT_EQ(DjVuPage(whole, 2), TiffPage(tif, 1));
  EXPECT_LT(DjVuMean(whole, 3), 0.1); // the light page's negative
  Command(ID_PAGE_FIRST);
  EXPECT_EQ(Doc().m_model.m_nContentKind, kKindDjVu);
  EXPECT_EQ(Doc().GetFilename().utf8_string(), whole);
  EXPECT_EQ(Shell("md5sum < '" + tif + "'"), tifBytes);
  EXPECT_EQ(Shell("ls -A '" + dir + "'"), "scan.tif\nwhole.djvu\n");
  s.DjvuLossless = lossless;
}

// One page of a multi-page TIFF saved as DjVu, or a DjVu save of it after a
// page move: the document stays the TIFF file, and a later Save never
// writes DjVu into the TIFF file (it asks for a name instead).
TEST_F(EditGui, MultiPageTiffPageSavedAloneStaysTheTiff)
{
  const std::string dir = TestTmp() + "/tiff-single";
  const std::string tif = TiffCopy(dir), single = dir + "/single.djvu";
  const std::string tifBytes = Shell("md5sum < '" + tif + "'");
  Doc().Modify(false);
  Doc().Open(tif, kKindNone, 1);
  g_bookSave = BookSaveSeen();
  g_wholeDocument = VID_NO;
  const bool saved = Doc().SaveAsTo(single, 1);
  g_wholeDocument = VID_YES;
  ASSERT_TRUE(saved);
  EXPECT_EQ(Shell("djvused -e n '" + single + "'"), "1\n");
  EXPECT_EQ(Frame().GetTitle(), "scan.tif (last saved as single.djvu) - Vellum");
  EXPECT_EQ(Doc().GetFilename().utf8_string(), single);

  Command(ID_PAGE_NEXT);
  ASSERT_EQ(Image().m_nPageIndex, 2);
  EXPECT_EQ(Doc().m_model.m_nContentKind, kKindTiff);
  EXPECT_EQ(Frame().GetTitle(), "scan.tif (page 3 of 3) - Vellum");
  EXPECT_EQ(Doc().GetFilename().utf8_string(), tif);
  Command(ID_IMAGE_NEGATIVE);
  const int dialogs = g_dialogs.fileDialogs;
  EXPECT_FALSE(Doc().Save()); // Save As, cancelled
  EXPECT_EQ(g_dialogs.fileDialogs, dialogs + 1);
  EXPECT_TRUE(Doc().IsModified());
  EXPECT_EQ(Shell("md5sum < '" + tif + "'"), tifBytes);
  EXPECT_EQ(Shell("ls -A '" + dir + "'"), "scan.tif\nsingle.djvu\n");
}

// Selection, status texts and the clipboard's bitmap bytes, without a display.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "EditLogic.h"
#include "SelectionLogic.h"

using namespace vellum;

namespace
{

uint32_t U32(const std::vector<uint8_t> &b, size_t at)
{
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

std::vector<uint8_t> ReadFile(const std::string &path)
{
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Corpus(const std::string &rel)
{
  const char *dir = std::getenv("VELLUM_CORPUS");
  return std::string(dir ? dir : VELLUM_CORPUS_DIR) + "/" + rel;
}

// A stored image for the selection bitmap: rows with a recognisable value.
struct TestImage
{
  int width, height, bits;
  bool bottomUp = true;
  std::vector<uint8_t> header = std::vector<uint8_t>(40, 0);
  std::vector<uint8_t> palette;
  std::vector<uint8_t> pixels;
  int stride() const { return (bits * width + 31) / 32 * 4; }
  DibSource Source() const
  {
    DibSource s;
    s.header = header.data();
    s.rows.pixels = pixels.data();
    s.rows.palette = palette.empty() ? nullptr : palette.data();
    s.rows.paletteEntries = static_cast<int>(palette.size() / 4);
    s.rows.width = width;
    s.rows.height = height;
    s.rows.bitsPerPixel = bits;
    s.rows.stride = stride();
    s.rows.bottomUp = bottomUp;
    return s;
  }
  // Picture pixel (x, y), y = 0 at the top.
  uint8_t *At(int x, int y)
  {
    return &pixels[size_t(bottomUp ? height - 1 - y : y) * stride() + x * bits / 8];
  }
};

TestImage MakeImage(int w, int h, int bits, bool bottomUp)
{
  TestImage im;
  im.width = w;
  im.height = h;
  im.bits = bits;
  im.bottomUp = bottomUp;
  im.pixels.assign(size_t(im.stride()) * h, 0);
  if (bits <= 8)
    for (int i = 0; i < (1 << bits); ++i)
      im.palette.insert(im.palette.end(), {uint8_t(i), uint8_t(i), uint8_t(i), 0});
  // The header the record stores: 40, w, h, 1 plane, bits, 72 DPI.
  std::vector<uint8_t> &hd = im.header;
  auto put = [&hd](size_t at, uint32_t v)
  {
    for (int i = 0; i < 4; ++i)
      hd[at + i] = uint8_t(v >> (8 * i));
  };
  put(0, 40);
  put(4, w);
  put(8, bottomUp ? h : -h);
  hd[12] = 1;
  hd[14] = uint8_t(bits);
  put(24, 2834);
  put(28, 2834);
  return im;
}

} // namespace

// ------------------------------------------------------------ mapping

TEST(SelectionMapping, ViewAndImageCoordinates)
{
  struct Case
  {
    int zoom, xdpi, ydpi, sx, sy, ox, oy, cx, cy, x, y;
  } cases[] = {
      {1, 0, 0, 0, 0, 0, 0, 101, 51, 50, 25},       // 200 %, no scrolling, no centring
      {0, 72, 72, 10, 20, 0, 0, 5, 5, 15, 25},      // scrolled
      {0, 0, 0, 0, 0, 30, 40, 30, 40, 0, 0},        // centred image
      {-1, 0, 0, 0, 0, 0, 0, 50, 50, 100, 100},     // 50 %
      {0, 200, 100, 0, 0, 0, 0, 100, 100, 100, 50}, // fax: rows drawn twice as tall
      {0, 100, 200, 0, 0, 0, 0, 100, 100, 50, 100}, {-5, 0, 0, 0, 0, 0, 0, 16, 0, 100, 0}, // 16 %
  };
  for (const Case &c : cases)
  {
    ViewMapping m;
    m.zoom = c.zoom;
    m.xdpi = c.xdpi;
    m.ydpi = c.ydpi;
    m.scrollX = c.sx;
    m.scrollY = c.sy;
    m.offsetX = c.ox;
    m.offsetY = c.oy;
    m.sourceW = m.sourceH = 100000;
    const IntPoint p = ViewToImage(m, {c.cx, c.cy}, false);
    EXPECT_EQ(p.x, c.x) << c.zoom << " " << c.cx;
    EXPECT_EQ(p.y, c.y) << c.zoom << " " << c.cy;
  }
}

TEST(SelectionMapping, IntegerAspectAndRoundTrip)
{
  int px = 0, py = 0;
  MappingPercents(0, 300, 200, &px, &py); // 100 * 300 / 200
  EXPECT_EQ(px, 100);
  EXPECT_EQ(py, 150);
  MappingPercents(-2, 100, 300, &px, &py); // 33 * 3, not 100
  EXPECT_EQ(px, 99);
  EXPECT_EQ(py, 33);
  MappingPercents(2, 0, 300, &px, &py); // unknown resolution: no correction
  EXPECT_EQ(px, 300);
  EXPECT_EQ(py, 300);

  ViewMapping m;
  m.zoom = 2;
  m.scrollX = 30;
  m.scrollY = 60;
  m.offsetX = 7;
  m.sourceW = m.sourceH = 1000;
  const IntPoint v = ImageToView(m, {40, 50});
  EXPECT_EQ(v.x, 40 * 3 + 7 - 30);
  EXPECT_EQ(v.y, 50 * 3 - 60);
  const IntPoint back = ViewToImage(m, v, true);
  EXPECT_EQ(back.x, 40);
  EXPECT_EQ(back.y, 50);
}

TEST(SelectionMapping, ClampingKeepsInsideTheSource)
{
  ViewMapping m;
  m.sourceW = 50;
  m.sourceH = 20;
  m.offsetX = 10;
  IntPoint p = ViewToImage(m, {500, 500}, true);
  EXPECT_EQ(p.x, 49);
  EXPECT_EQ(p.y, 19);
  p = ViewToImage(m, {0, -3}, true);
  EXPECT_EQ(p.x, 0);
  EXPECT_EQ(p.y, 0);
  p = ViewToImage(m, {0, -3}, false);
  EXPECT_EQ(p.x, -10);
  EXPECT_EQ(p.y, -3);
}

TEST(Selection, NormalisedAndOnlyWithWidthAndHeight)
{
  ViewMapping m;
  m.sourceW = m.sourceH = 100;
  // Dragged up and to the left.
  SelRect s = ViewRectToImage(m, {30, 40, 10, 20});
  EXPECT_EQ(s, (SelRect{10, 20, 30, 40}));
  EXPECT_TRUE(SelectionExists(s));
  // A drag from (5, 5) to (5, 40) has no width.
  s = ViewRectToImage(m, {5, 5, 5, 40});
  EXPECT_FALSE(SelectionExists(s));
  EXPECT_FALSE(SelectionExists({5, 5, 6, 5}));
  // Past the image: clamped.
  s = ViewRectToImage(m, {-20, -20, 400, 400});
  EXPECT_EQ(s, (SelRect{0, 0, 99, 99}));
  EXPECT_EQ(ImageRectToView(m, s), s);
  EXPECT_EQ(Inflate({10, 10, 20, 20}, 2), (SelRect{8, 8, 22, 22}));
  EXPECT_EQ(SelectionRepaintMargin(0), 2);
  EXPECT_EQ(SelectionRepaintMargin(-3), 2);
  EXPECT_EQ(SelectionRepaintMargin(2), 6);
}

TEST(StatusPane, PositionSelectionAndScrollTexts)
{
  EXPECT_EQ(PositionPaneText({12, 34}, false, {}), "(12,34)");
  EXPECT_EQ(PositionPaneText({12, 34}, true, {10, 20, 19, 29}),
            "(12,34)   Selection: (10,20)->(19,29) = (10x10)");
  EXPECT_EQ(ScrollPaneText(0, 250), "Scroll offset: (0,250)");
}

TEST(PanAndPlace, ScrollAndStoredRows)
{
  // Only the axes with a scroll bar move.
  IntPoint s = PanScroll({100, 100}, {50, 50}, {40, 70}, true, false);
  EXPECT_EQ(s.x, 110);
  EXPECT_EQ(s.y, 100);
  s = PanScroll({100, 100}, {50, 50}, {40, 70}, true, true);
  EXPECT_EQ(s.y, 80);
  // A 10-row pasted image clicked at row 0 of a 100-row bottom-up image goes
  // to stored rows 90..99 (the top of the picture).
  EXPECT_EQ(InsertStoredRow(0, 100, 10, false), 90);
  EXPECT_EQ(InsertStoredRow(5, 100, 10, false), 85);
  EXPECT_EQ(InsertStoredRow(5, 100, 10, true), 5);
  // Too low: negative, which the paste refuses.
  EXPECT_LT(InsertStoredRow(95, 100, 10, false), 0);
  EXPECT_EQ(PlacementRepaint({30, 40}, {10, 50}, 20, 10, 200), (SelRect{10, 40, 70, 70}));
}

TEST(EditRules, EnableRules)
{
  EditState none, image, selected, clip;
  image.hasImage = true;
  selected = image;
  selected.hasSelection = true;
  clip.clipboardHasDib = true;
  struct Case
  {
    EditCommand command;
    bool none, image, selected, clip;
  } cases[] = {
      {kEditCrop, false, false, true, false},
      {kEditResize, false, true, true, false},
      {kEditCut, false, true, true, false},
      {kEditCopy, false, true, true, false},
      {kEditClear, false, true, true, false},
      {kEditSelectTool, false, true, true, false},
      {kEditPaste, false, false, false, true},
      {kEditPasteNew, false, false, false, true},
      {kEditEmptyClipboard, false, false, false, true},
  };
  for (const Case &c : cases)
  {
    EXPECT_EQ(EditCommandEnabled(c.command, none), c.none) << c.command;
    EXPECT_EQ(EditCommandEnabled(c.command, image), c.image) << c.command;
    EXPECT_EQ(EditCommandEnabled(c.command, selected), c.selected) << c.command;
    EXPECT_EQ(EditCommandEnabled(c.command, clip), c.clip) << c.command;
  }
}

// ------------------------------------------------------ selection bitmap

TEST(SelectionBitmap, EightBitRectangleBottomUpWithHeaderAndTable)
{
  for (bool bottomUp : {true, false})
  {
    TestImage im = MakeImage(40, 50, 8, bottomUp);
    for (int y = 0; y < 50; ++y)
      for (int x = 0; x < 40; ++x)
        *im.At(x, y) = uint8_t(x + 3 * y);
    std::vector<uint8_t> out;
    ASSERT_EQ(BuildSelectionBitmap(im.Source(), {10, 20, 19, 29}, out), kSelectionOk);
    // 10 x 10 at 8 bits: stride 12.
    ASSERT_EQ(out.size(), 40u + 1024 + 12 * 10);
    EXPECT_EQ(U32(out, 0), 40u);
    EXPECT_EQ(U32(out, 4), 10u);
    EXPECT_EQ(U32(out, 8), 10u); // positive: bottom-up
    EXPECT_EQ(U32(out, 20), 120u);
    EXPECT_EQ(U32(out, 24), 2834u); // the image's own header kept
    EXPECT_EQ(std::memcmp(out.data() + 40, im.palette.data(), 1024), 0);
    for (int j = 0; j < 10; ++j)
      for (int i = 0; i < 10; ++i)
      {
        // Stored row j is picture row 29 - j.
        const uint8_t v = out[40 + 1024 + j * 12 + i];
        ASSERT_EQ(v, uint8_t(10 + i + 3 * (29 - j))) << bottomUp << " " << i << "," << j;
      }
  }
}

TEST(SelectionBitmap, OneBitFromAnOddColumnIsShifted)
{
  TestImage im = MakeImage(37, 5, 1, true);
  // Picture: pixel (x, y) set when (x + y) % 3 == 0.
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 37; ++x)
      if ((x + y) % 3 == 0)
        im.At(0, y)[x >> 3] |= uint8_t(0x80 >> (x & 7));
  std::vector<uint8_t> out;
  const SelRect r{5, 1, 30, 3};
  ASSERT_EQ(BuildSelectionBitmap(im.Source(), r, out), kSelectionOk);
  const int w = 26, stride = 4;
  ASSERT_EQ(out.size(), 40u + 8 + stride * 3);
  for (int j = 0; j < 3; ++j)
  {
    const uint8_t *row = out.data() + 48 + j * stride;
    for (int i = 0; i < 32; ++i)
    {
      const int bit = (row[i >> 3] >> (7 - (i & 7))) & 1;
      const int y = r.bottom - j, x = r.left + i;
      ASSERT_EQ(bit, i < w && (x + y) % 3 == 0 ? 1 : 0) << i << "," << j; // padding clear
    }
  }
}

TEST(SelectionBitmap, TwentyFourBitsAndNewHeader)
{
  TestImage im = MakeImage(7, 3, 24, true);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 7; ++x)
    {
      uint8_t *p = im.At(x, y);
      p[0] = uint8_t(x);
      p[1] = uint8_t(y);
      p[2] = 200;
    }
  DibSource src = im.Source();
  src.headerKind = 0; // no stored header: a new one
  src.xdpi = 300;
  src.ydpi = 254;
  std::vector<uint8_t> out;
  ASSERT_EQ(BuildSelectionBitmap(src, {0, 0, 6, 2}, out), kSelectionOk);
  ASSERT_EQ(out.size(), 40u + 24 * 3);
  EXPECT_EQ(U32(out, 24), 11811u); // floor(300 * 39.370078740157477)
  EXPECT_EQ(U32(out, 28), 10000u);
  EXPECT_EQ(out[14], 24);
  EXPECT_EQ(out[12], 1);
  EXPECT_EQ(U32(out, 32), 0u);
  EXPECT_EQ(out[40 + 3 * 4 + 0], 4); // bottom row first: picture row 2
  EXPECT_EQ(out[40 + 3 * 4 + 1], 2);
  // Red-first rows go out blue first.
  src.rows.rgbOrder = true;
  ASSERT_EQ(BuildSelectionBitmap(src, {0, 0, 6, 2}, out), kSelectionOk);
  EXPECT_EQ(out[40], 200);
  EXPECT_EQ(out[42], 0);
}

TEST(SelectionBitmap, RefusesFourBitsAndRectanglesOutsideTheImage)
{
  TestImage four = MakeImage(8, 8, 4, true);
  std::vector<uint8_t> out;
  EXPECT_EQ(BuildSelectionBitmap(four.Source(), {0, 0, 3, 3}, out), kSelectionBadDepth);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(UnsupportedSelectionText(4), "Selections of 4 bit images is not supported");
  TestImage im = MakeImage(8, 8, 8, true);
  for (SelRect r : {SelRect{0, 0, 8, 7}, SelRect{-1, 0, 3, 3}, SelRect{0, 0, 3, 8}, SelRect{4, 4, 3, 5}})
    EXPECT_EQ(BuildSelectionBitmap(im.Source(), r, out), kSelectionBadRect) << r.left << r.right;
  EXPECT_EQ(SelectionPixelsPerMeter(72), 2834);
  EXPECT_EQ(SelectionPixelsPerMeter(0), 0);
  EXPECT_EQ(SelectionPixelsPerMeter(300), 11811);
  // Resolutions whose pixels per metre do not fit saturate.
  EXPECT_EQ(SelectionPixelsPerMeter(INT_MAX), INT32_MAX);
  EXPECT_EQ(SelectionPixelsPerMeter(100000000), INT32_MAX);
}

// ------------------------------------------------------ clipboard bytes

TEST(ClipboardBytes, BmpFilesOfTheCorpusSplitOrAreRefused)
{
  struct Case
  {
    const char *file;
    bool ok;
  } cases[] = {
      {"bmp/pal1.bmp", true},           {"bmp/pal8.bmp", true},
      {"bmp/pal8v5.bmp", true},         {"bmp/pal8topdown.bmp", true},
      {"bmp/photo-vgl-b.bmp", true},    {"bmp/q-pal8offs.bmp", true},
      {"bmp/pal8rle.bmp", false},       {"bad/bmp-badbitcount.bmp", false},
      {"bad/bmp-shortfile.bmp", false}, {"bad/bmp-badheadersize.bmp", false},
  };
  for (const Case &c : cases)
  {
    const std::vector<uint8_t> file = ReadFile(Corpus(c.file));
    ASSERT_FALSE(file.empty()) << c.file;
    const std::vector<uint8_t> dib = DibFromClipboardBytes(file.data(), file.size());
    EXPECT_EQ(!dib.empty(), c.ok) << c.file;
    // Every prefix of the file is refused or read within bounds.
    for (size_t n = 0; n < file.size(); n += 97)
      DibFromClipboardBytes(file.data(), n);
  }
  // The same picture in three storage forms gives the same pixels.
  std::vector<uint8_t> reference;
  for (const char *name : {"bmp/pal8.bmp", "bmp/pal8topdown.bmp", "bmp/pal8v5.bmp"})
  {
    const std::vector<uint8_t> file = ReadFile(Corpus(name));
    int w = 0, h = 0;
    std::vector<uint8_t> rgb;
    ASSERT_TRUE(DibToRgb(DibFromClipboardBytes(file.data(), file.size()), &w, &h, rgb)) << name;
    EXPECT_EQ(w, 127);
    EXPECT_EQ(h, 64);
    if (reference.empty())
      reference = rgb;
    EXPECT_EQ(rgb, reference) << name;
  }
}

TEST(ClipboardBytes, SelectionBitmapAsBmpFileReadsInImageMagick)
{
  TestImage im = MakeImage(13, 9, 24, true);
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 13; ++x)
    {
      uint8_t *p = im.At(x, y);
      p[0] = uint8_t(20 * x); // blue
      p[1] = uint8_t(25 * y); // green
      p[2] = 77;              // red
    }
  std::vector<uint8_t> dib;
  ASSERT_EQ(BuildSelectionBitmap(im.Source(), {2, 1, 11, 7}, dib), kSelectionOk);
  const std::vector<uint8_t> bmp = DibToBmpFile(dib);
  ASSERT_EQ(bmp.size(), dib.size() + 14);
  EXPECT_EQ(DibFromClipboardBytes(bmp.data(), bmp.size()), dib);
  int w = 0, h = 0;
  std::vector<uint8_t> rgb;
  ASSERT_TRUE(DibToRgb(dib, &w, &h, rgb));
  ASSERT_EQ(w, 10);
  ASSERT_EQ(h, 7);
  EXPECT_EQ(rgb[0], 77);
  EXPECT_EQ(rgb[1], 25);
  EXPECT_EQ(rgb[2], 40);
  const std::vector<uint8_t> again = DibFromRgb(w, h, rgb.data());
  ASSERT_EQ(again.size(), dib.size());
  EXPECT_TRUE(std::equal(again.begin() + 40, again.end(), dib.begin() + 40)) << "24-bit round trip";

  // ImageMagick reads the file we offer as "image/bmp" to the same pixels.
  const char *tmp = std::getenv("VELLUM_TEST_TMP");
  const std::string path = std::string(tmp ? tmp : "/tmp") + "/selection.bmp";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(bmp.data()), bmp.size());
  FILE *pipe = popen(("convert '" + path + "' -depth 8 rgb:- 2>/dev/null").c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::vector<uint8_t> magick;
  int ch;
  while ((ch = std::fgetc(pipe)) != EOF)
    magick.push_back(uint8_t(ch));
  const int rc = pclose(pipe);
  if (rc != 0 && magick.empty())
    GTEST_SKIP() << "ImageMagick convert not available";
  EXPECT_EQ(magick, rgb);
}

TEST(ClipboardBytes, MalformedBlocksAreRefused)
{
  TestImage im = MakeImage(4, 4, 8, true);
  std::vector<uint8_t> dib;
  ASSERT_EQ(BuildSelectionBitmap(im.Source(), {0, 0, 3, 3}, dib), kSelectionOk);
  DibBlockParts parts;
  ASSERT_TRUE(SplitDibBlock(dib.data(), dib.size(), &parts));
  EXPECT_EQ(parts.tableSize, 1024u);
  EXPECT_EQ(parts.bitsOffset, 1064u);
  EXPECT_EQ(parts.bitsSize, 16u);
  EXPECT_FALSE(SplitDibBlock(dib.data(), dib.size() - 1, &parts));
  auto mutate = [&dib](size_t at, uint32_t v)
  {
    std::vector<uint8_t> b = dib;
    for (int i = 0; i < 4; ++i)
      b[at + i] = uint8_t(v >> (8 * i));
    return b;
  };
  DibBlockParts p;
  for (const std::vector<uint8_t> &b :
       {mutate(0, 12), mutate(0, 0xFFFFFFF0u), mutate(4, 0), mutate(4, 0x80000000u), mutate(8, 0),
        mutate(8, 0x7FFFFFFF), mutate(16, 1), mutate(32, 300), mutate(4, 0x40000000)})
    EXPECT_FALSE(SplitDibBlock(b.data(), b.size(), &p));
  EXPECT_TRUE(DibFromRgb(0, 4, dib.data()).empty());
}

TEST(PlaceRules, IndexMapPicksTheNearestColour)
{
  // Image palette: black, white, red, green (blue, green, red, 0).
  const uint8_t image[] = {0, 0, 0, 0, 255, 255, 255, 0, 0, 0, 255, 0, 0, 255, 0, 0};
  // Insert palette: near white, dark red.
  const uint8_t insert[] = {250, 240, 245, 0, 10, 0, 200, 0};
  const std::vector<int32_t> map = InsertIndexMap(image, 4, 8, insert, 2, 1);
  ASSERT_EQ(map.size(), 256u);
  EXPECT_EQ(map[0], 1);
  EXPECT_EQ(map[1], 2);
  EXPECT_EQ(map[2], 0);
  EXPECT_EQ(NearestPaletteIndex(image, 4, 0, 0, 0), 0);
  // A 24-bit image needs no map.
  EXPECT_EQ(InsertIndexMap(nullptr, 0, 24, insert, 2, 1), std::vector<int32_t>(256, 0));
}

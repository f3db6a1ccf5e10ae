// The image record: file kinds, layout, copying, the clipboard entry point,
// resolution conversions, grey and palette conversions, the pixel-image
// description, the run mask and the error hooks.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <string>
#include <vector>

#include "ImageTestUtil.h"
#include "MessageBox.h"

using namespace imgtest;

TEST(FileKind, ExtensionTable)
{
  const struct
  {
    const char *name;
    int kind;
  } cases[] = {
      {"photo.JPEG", 5},     {"a.jpg", 5},   {"scan.tif.bmp", 3}, {"noextension", 99}, {"page.DjVu", 1},
      {"page.djv", 1},       {"p.IW44", 2},  {"p.iw4", 2},        {"t.tif", 6},        {"t.TIFF", 6},
      {"x.ppm", 4},          {"x.Pgm", 4},   {"x.pbm", 4},        {"x.PNM", 4},        {"x.png", 7},
      {"x.PNG", 7},          {"x.apng", 99}, {"dir.d/file", 99},  {"x.", 99},          {"x.djvux", 99},
      {"/tmp/a.b/c.bmp", 3}, {"", 99},
  };
  for (const auto &c : cases)
    EXPECT_EQ(GetImageFileType(c.name), c.kind) << c.name;
  EXPECT_EQ(GetImageFileType(nullptr), 99);
}

TEST(Resolution, ExactConstants)
{
  EXPECT_EQ(DpiToPixelsPerMeter(300), 11811);
  EXPECT_EQ(DpiToPixelsPerMeter(72), 2834);
  EXPECT_EQ(DpiToPixelsPerMeter(0), 0);
  EXPECT_EQ(PixelsPerMeterToDpi(11811), 300);
  EXPECT_EQ(PixelsPerMeterToDpi(2834), 72);
  EXPECT_EQ(PixelsPerMeterToDpi(3937), 100);
  EXPECT_DOUBLE_EQ(DensityToPixelsPerMeter(300, 2), 300 * 39.37007874015748);
  EXPECT_DOUBLE_EQ(DensityToPixelsPerMeter(118, 3), 11800);
  EXPECT_EQ(JpegPixelsPerMeterToDpi(11811.02), 300);
  EXPECT_EQ(JpegPixelsPerMeterToDpi(2800), 71);
  // No unit: no resolution.
  EXPECT_DOUBLE_EQ(DensityToPixelsPerMeter(5, 1), 0);
  // Resolutions from hostile headers saturate instead of overflowing.
  EXPECT_EQ(DpiToPixelsPerMeter(PixelsPerMeterToDpi(INT32_MAX)), INT32_MAX);
  EXPECT_EQ(DpiToPixelsPerMeter(INT32_MIN), INT32_MIN);
}

TEST(Record, LayoutPerDepth)
{
  const struct
  {
    int bits, width, stride, palette;
  } cases[] = {{1, 33, 8, 8}, {4, 9, 8, 64}, {8, 5, 8, 1024}, {24, 5, 16, 0}, {24, 4, 12, 0}};
  for (const auto &c : cases)
  {
    CDibImage im;
    ASSERT_EQ(im.CreateBlock(c.width, 3, c.bits, DIB_ROWS_TOPDOWN), 1);
    EXPECT_EQ(im.m_nStride, c.stride) << c.bits;
    EXPECT_EQ(im.m_nPaletteSize, c.palette);
    EXPECT_EQ(im.m_nPaletteOffset, 40);
    EXPECT_EQ(im.m_nPaletteEntrySize, 4);
    EXPECT_EQ(im.BlockSize(), (size_t)(40 + c.palette + 3 * c.stride));
    EXPECT_EQ(im.Header()->biHeight, -3);
    EXPECT_EQ(HeaderMismatch(im), "");
  }
  CDibImage im;
  EXPECT_EQ(im.CreateBlock(0, 3, 8, DIB_ROWS_BOTTOMUP), 0);
  EXPECT_EQ(im.CreateBlock(3, 3, 16, DIB_ROWS_BOTTOMUP), 0);
  EXPECT_EQ(im.CreateBlock(3, 3, 8, 7), 0);
  EXPECT_EQ(im.CreateBlock(100000, 100000, 24, DIB_ROWS_BOTTOMUP), 0); // over 2 GiB
  EXPECT_EQ(im.CreateBlock(INT32_MAX, 1, 24, DIB_ROWS_BOTTOMUP), 0);
  EXPECT_TRUE(im.IsEmpty());
}

TEST(Record, ResetAndCopy)
{
  CDibImage a;
  Make(a, 7, 5, 4, DIB_ROWS_BOTTOMUP, [](int x, int y) { return Pattern(4, x, y); });
  a.m_nXDpi = 150;
  a.m_nOrientation = 6;
  a.m_nKeyColour = 0x123456;
  CDibImage b;
  ASSERT_EQ(b.CopyFrom(a), 1);
  EXPECT_NE(b.m_pBlock, a.m_pBlock);
  EXPECT_EQ(0, std::memcmp(b.m_pBlock, a.m_pBlock, a.BlockSize()));
  EXPECT_EQ(b.m_nXDpi, 150);
  EXPECT_EQ(b.m_nOrientation, 6);
  EXPECT_EQ(b.m_nKeyColour, 0x123456u);
  EXPECT_EQ(b.m_pDocument, nullptr);
  b.Reset();
  EXPECT_TRUE(b.IsEmpty());
  EXPECT_EQ(b.m_nWidth, 0);
  EXPECT_EQ(b.m_nOrientation, 0);
  EXPECT_EQ(b.m_nKeyColour, 0u);
  CDibImage empty;
  EXPECT_EQ(a.CopyFrom(empty), 0);
  EXPECT_TRUE(a.IsEmpty());
}

// ----------------------------------------------------------- SetFromDib

namespace
{

struct Dib
{
  DibInfoHeader header{};
  std::vector<unsigned char> palette, bits;
};

Dib MakeDib(int w, int h, int bitCount)
{
  Dib d;
  d.header.biSize = 40;
  d.header.biWidth = w;
  d.header.biHeight = h;
  d.header.biPlanes = 1;
  d.header.biBitCount = (uint16_t)bitCount;
  d.header.biXPelsPerMeter = 11811;
  d.header.biYPelsPerMeter = 3937;
  int64_t stride = DibStride(w, bitCount);
  d.bits.resize((size_t)(stride * (h < 0 ? -h : h)));
  for (size_t i = 0; i < d.bits.size(); i++)
    d.bits[i] = (unsigned char)(i * 7);
  if (bitCount <= 8)
    d.palette.resize((size_t)4 << bitCount);
  return d;
}

} // namespace

TEST(SetFromDib, BuildsTheRecord)
{
  Dib d = MakeDib(10, -3, 24);
  CDibImage im;
  ASSERT_EQ(im.SetFromDib(&d.header, 40, nullptr, 0, d.bits.data(), d.bits.size(), 5), 1);
  EXPECT_EQ(im.m_nRowOrder, DIB_ROWS_TOPDOWN);
  EXPECT_EQ(im.m_nHeight, 3);
  EXPECT_EQ(im.m_nXDpi, 300);
  EXPECT_EQ(im.m_nYDpi, 100);
  EXPECT_EQ(im.m_nResolutionUnit, 2);
  EXPECT_EQ(im.m_nPhotometric, DIB_PHOTOMETRIC_RGB);
  EXPECT_EQ(im.m_bGrey, 0);
  EXPECT_EQ(HeaderMismatch(im), "");
  EXPECT_EQ(0, std::memcmp(im.Bits(), d.bits.data(), d.bits.size()));

  Dib g = MakeDib(4, 2, 8);
  for (int i = 0; i < 256; i++)
    std::memset(&g.palette[(size_t)4 * i], 255 - i, 3);
  ASSERT_EQ(im.SetFromDib(&g.header, 40, g.palette.data(), g.palette.size(), g.bits.data(), g.bits.size(), 5),
            1);
  EXPECT_EQ(im.m_bGrey, 1);
  EXPECT_EQ(im.m_nPhotometric, DIB_PHOTOMETRIC_MINISWHITE);
  EXPECT_EQ(im.m_nRowOrder, DIB_ROWS_BOTTOMUP);

  Dib p = MakeDib(4, 2, 4);
  ASSERT_EQ(im.SetFromDib(&p.header, 40, p.palette.data(), p.palette.size(), p.bits.data(), p.bits.size(), 5),
            1);
  EXPECT_EQ(im.m_nPhotometric, DIB_PHOTOMETRIC_PALETTE);
}

TEST(SetFromDib, RefusesBlocksThatDoNotFit)
{
  CDibImage im;
  Dib d = MakeDib(10, 3, 8);
  // bits too short
  EXPECT_EQ(
      im.SetFromDib(&d.header, 40, d.palette.data(), d.palette.size(), d.bits.data(), d.bits.size() - 1, 5),
      0);
  EXPECT_TRUE(im.IsEmpty());
  // palette too short
  EXPECT_EQ(im.SetFromDib(&d.header, 40, d.palette.data(), 1020, d.bits.data(), d.bits.size(), 5), 0);
  // short palette allowed when the header says so
  d.header.biClrUsed = 16;
  EXPECT_EQ(im.SetFromDib(&d.header, 40, d.palette.data(), 64, d.bits.data(), d.bits.size(), 5), 1);
  d.header.biClrUsed = 0;
  // header too short, wrong kind, compression, depth, zero and huge sizes
  EXPECT_EQ(im.SetFromDib(&d.header, 39, d.palette.data(), d.palette.size(), d.bits.data(), d.bits.size(), 5),
            0);
  EXPECT_EQ(im.SetFromDib(&d.header, 40, d.palette.data(), d.palette.size(), d.bits.data(), d.bits.size(), 4),
            0);
  const struct
  {
    int32_t w, h;
    int bits;
    uint32_t compression;
  } bad[] = {{10, 3, 8, 1},
             {10, 3, 16, 0},
             {0, 3, 8, 0},
             {10, 0, 8, 0},
             {-10, 3, 8, 0},
             {10, INT32_MIN, 8, 0},
             {INT32_MAX, INT32_MAX, 24, 0},
             {65536, 65536, 8, 0}};
  for (const auto &b : bad)
  {
    DibInfoHeader h = d.header;
    h.biWidth = b.w;
    h.biHeight = b.h;
    h.biBitCount = (uint16_t)b.bits;
    h.biCompression = b.compression;
    EXPECT_EQ(im.SetFromDib(&h, 40, d.palette.data(), d.palette.size(), d.bits.data(), d.bits.size(), 5), 0)
        << b.w << "x" << b.h << "x" << b.bits;
    EXPECT_TRUE(im.IsEmpty());
  }
}

TEST(SetFromDib, ExtremeResolutionsSaturate)
{
  // Pixels per metre near the limits give resolutions that must survive the
  // header rewrite without overflow.
  for (int32_t ppm : {INT32_MAX, INT32_MIN, -1})
  {
    SCOPED_TRACE(ppm);
    Dib d = MakeDib(4, 2, 24);
    d.header.biXPelsPerMeter = ppm;
    d.header.biYPelsPerMeter = ppm;
    CDibImage im;
    ASSERT_EQ(im.SetFromDib(&d.header, 40, nullptr, 0, d.bits.data(), d.bits.size(), 5), 1);
    EXPECT_GE(im.m_nXDpi, 0);
    EXPECT_EQ(im.Header()->biXPelsPerMeter, DpiToPixelsPerMeter(im.m_nXDpi));
  }
}

// ---------------------------------------------------- grey and palette tests

TEST(GreyRamp, AscendingDescendingAndOther)
{
  CDibImage im;
  Make(im, 2, 2, 8, DIB_ROWS_BOTTOMUP, [](int, int) { return 0u; });
  for (int i = 0; i < 256; i++)
    im.Palette()[i] = DibRgbQuad{(uint8_t)i, (uint8_t)i, (uint8_t)i, 0};
  EXPECT_EQ(im.IsGreyRamp(), 1);
  EXPECT_EQ(im.m_nPhotometric, 1);
  for (int i = 0; i < 256; i++)
    im.Palette()[i] = DibRgbQuad{(uint8_t)(255 - i), (uint8_t)(255 - i), (uint8_t)(255 - i), 0};
  EXPECT_EQ(im.IsGreyRamp(), 1);
  EXPECT_EQ(im.m_nPhotometric, 0);
  im.Palette()[100].rgbRed = 0;
  im.m_nPhotometric = 3;
  EXPECT_EQ(im.IsGreyRamp(), 0);
  EXPECT_EQ(im.m_nPhotometric, 3);
  CDibImage four;
  Make(four, 2, 2, 4, DIB_ROWS_BOTTOMUP, [](int, int) { return 0u; });
  EXPECT_EQ(four.IsGreyRamp(), 0);
}

TEST(ToGray8, BitonalPolarityFollowsPaletteEntryZero)
{
  CDibImage im;
  Make(im, 9, 1, 1, DIB_ROWS_BOTTOMUP, [](int x, int) { return (uint32_t)(x & 1); });
  // entry 0 black: set bits white
  unsigned char *g = im.ToGray8(3);
  ASSERT_NE(g, nullptr);
  for (int x = 0; x < 9; x++)
    EXPECT_EQ(g[3 + x], (x & 1) ? 255 : 0);
  std::free(g);
  im.Palette()[0] = DibRgbQuad{255, 255, 255, 0};
  im.Palette()[1] = DibRgbQuad{0, 0, 0, 0};
  g = im.ToGray8(0);
  for (int x = 0; x < 9; x++)
    EXPECT_EQ(g[x], (x & 1) ? 0 : 255);
  std::free(g);
  // refused for a grey image
  CDibImage grey;
  Make(grey, 2, 1, 8, DIB_ROWS_BOTTOMUP, [](int, int) { return 0u; });
  grey.m_bGrey = 1;
  EXPECT_EQ(grey.ToGray8(0), nullptr);
}

TEST(Conversions, ExpandDepthAllCombinations)
{
  const int pairs[][2] = {{1, 4}, {1, 8}, {1, 24}, {4, 8}, {4, 24}, {8, 24}};
  for (const auto &p : pairs)
  {
    const int from = p[0], to = p[1];
    CDibImage im;
    Make(im, 11, 3, from, DIB_ROWS_TOPDOWN, [from](int x, int y) { return Pattern(from, x, y); });
    im.m_nXDpi = 300;
    im.UpdateHeader();
    size_t size = 0;
    unsigned char *block = im.ExpandDepth(to, &size);
    ASSERT_NE(block, nullptr) << from << "->" << to;
    CDibImage out;
    DibLayout layout;
    ASSERT_TRUE(ComputeDibLayout(11, 3, to, layout));
    EXPECT_EQ(size, layout.total);
    out.m_nRowOrder = DIB_ROWS_TOPDOWN;
    AdoptDibBlock(out, block, 11, 3, to, layout);
    EXPECT_EQ(out.Header()->biBitCount, to);
    EXPECT_EQ(out.Header()->biXPelsPerMeter, 0);
    EXPECT_EQ(out.Header()->biHeight, -3);
    EXPECT_EQ(Picture(out), Picture(im)) << from << "->" << to;
    if (to <= 8)
    {
      for (int x = 0; x < 11; x++)
        EXPECT_EQ(RawAt(out, x, 1), RawAt(im, x, 1));
    }
  }
  CDibImage im;
  Make(im, 2, 2, 8, DIB_ROWS_BOTTOMUP, [](int, int) { return 1u; });
  EXPECT_EQ(im.ExpandDepth(8), nullptr);
  EXPECT_EQ(im.ExpandDepth(4), nullptr);
  EXPECT_EQ(im.ExpandDepth(16), nullptr);
}

TEST(Conversions, PaletteToRgbWritesRedGreenBlue)
{
  CDibImage im;
  Make(im, 3, 2, 8, DIB_ROWS_BOTTOMUP, [](int x, int y) { return (uint32_t)(x + 3 * y); });
  im.Palette()[4] = DibRgbQuad{30, 20, 10, 0}; // blue 30, green 20, red 10
  unsigned char *rows = im.PaletteToRgb();
  ASSERT_NE(rows, nullptr);
  // picture (1, 1), index 4, is stored row 0 (bottom-up); rows are 12 bytes.
  EXPECT_EQ(rows[3], 10);
  EXPECT_EQ(rows[4], 20);
  EXPECT_EQ(rows[5], 30);
  EXPECT_EQ(rows[12 + 3], PaletteColour(8, 1) >> 16);
  std::free(rows);
}

TEST(FillPixelImage, DescribesEveryDepth)
{
  const struct
  {
    int bits;
    bool grey;
    int pixsize, colourFlag;
    bool copy;
  } cases[] = {{1, false, 1, DJVU_GRAY, true},
               {4, false, 3, DJVU_BGR, true},
               {8, true, 1, DJVU_GRAY, false},
               {8, false, 3, DJVU_RGB, true},
               {24, false, 3, DJVU_BGR, false}};
  for (const auto &c : cases)
  {
    CDibImage im;
    int b = c.bits;
    Make(im, 5, 3, b, DIB_ROWS_BOTTOMUP, [b](int x, int y) { return Pattern(b, x, y); });
    if (c.grey)
      for (int i = 0; i < 256; i++)
        im.Palette()[i] = DibRgbQuad{(uint8_t)i, (uint8_t)i, (uint8_t)i, 0};
    im.m_bGrey = c.grey;
    im.m_nXDpi = 200;
    im.m_nYDpi = 200;
    djvu_pixel_image pix;
    unsigned char *copy = nullptr;
    ASSERT_EQ(im.FillPixelImage(&pix, &copy), 1);
    EXPECT_EQ(copy != nullptr, c.copy) << b;
    EXPECT_EQ(pix.w, 5);
    EXPECT_EQ(pix.h, 3);
    EXPECT_EQ(pix.pixsize, c.pixsize);
    EXPECT_EQ(pix.flags, DJVU_BOTTOMUP | DJVU_HAS_DPI | c.colourFlag) << b;
    EXPECT_EQ(pix.xdpi, 200);
    EXPECT_EQ(pix.rowsize, (int)DibStride(5, c.pixsize * 8));
    // Every pixel matches the record's colour (grey through the weights).
    for (int y = 0; y < 3; y++)
      for (int x = 0; x < 5; x++)
      {
        const unsigned char *p =
            pix.data + pix.offset + (size_t)(2 - y) * pix.rowsize + (size_t)x * pix.pixsize;
        uint32_t colour = ColourAt(im, x, y);
        if (pix.pixsize == 1)
        {
          uint32_t g = (77 * (colour >> 16) + 151 * ((colour >> 8) & 255) + 29 * (colour & 255)) >> 8;
          EXPECT_EQ(p[0], b == 1 ? (colour ? 255u : 0u) : g);
        }
        else if (pix.flags & DJVU_RGB)
        {
          EXPECT_EQ(Rgb(p[0], p[1], p[2]), colour);
        }
        else
        {
          EXPECT_EQ(Rgb(p[2], p[1], p[0]), colour);
        }
      }
    std::free(copy);
  }
  CDibImage im;
  Make(im, 2, 2, 24, DIB_ROWS_TOPDOWN, [](int, int) { return 0u; });
  im.m_nChannelOrder = DIB_CHANNELS_RGB;
  djvu_pixel_image pix;
  unsigned char *copy = nullptr;
  ASSERT_EQ(im.FillPixelImage(&pix, &copy), 1);
  EXPECT_EQ(pix.flags, DJVU_TOPDOWN | DJVU_RGB);
  EXPECT_EQ(pix.data, im.m_pBlock);
  EXPECT_EQ(pix.offset, im.m_nPixelOffset);
}

TEST(MakeRuns, RunsAcrossRowsAndPolarity)
{
  CDibImage im;
  // 200 x 2 all clear bits, entry 0 black: all black.
  Make(im, 200, 2, 1, DIB_ROWS_BOTTOMUP, [](int, int) { return 0u; });
  im.m_nXDpi = im.m_nYDpi = 300;
  djvu_run_image *runs = im.MakeRuns();
  ASSERT_NE(runs, nullptr);
  EXPECT_EQ(runs->runtype, 0);
  EXPECT_EQ(runs->width, 200);
  EXPECT_EQ(runs->xdpi, 300);
  ASSERT_EQ(runs->count, 4);
  EXPECT_EQ(std::vector<unsigned char>(runs->data, runs->data + 4),
            (std::vector<unsigned char>{0x7F, 0x7F, 0x7F, 0x0F}));
  djvu_run_image_free(runs);
  // entry 0 white: clear bits are white; a set bit in the second stored row.
  im.Palette()[0] = DibRgbQuad{255, 255, 255, 0};
  im.Palette()[1] = DibRgbQuad{0, 0, 0, 0};
  SetIndex(im.Row(1), 3, 1, 1);
  runs = im.MakeRuns();
  ASSERT_NE(runs, nullptr);
  // 203 white (128 + 75), 1 black, 196 white (128 + 68)
  EXPECT_EQ(std::vector<unsigned char>(runs->data, runs->data + runs->count),
            (std::vector<unsigned char>{0xFF, 0x80 | 74, 0x00, 0xFF, 0x80 | 67}));
  djvu_run_image_free(runs);
  // Many short runs grow the buffer.
  Make(im, 37, 41, 1, DIB_ROWS_BOTTOMUP, [](int x, int y) { return (uint32_t)((x + y) & 1); });
  runs = im.MakeRuns();
  ASSERT_NE(runs, nullptr);
  EXPECT_EQ(runs->count, 37 * 41);
  djvu_run_image_free(runs);
  Make(im, 3, 3, 8, DIB_ROWS_BOTTOMUP, [](int, int) { return 0u; });
  EXPECT_EQ(im.MakeRuns(), nullptr);
}

// ------------------------------------------------------------------ hooks

namespace
{

std::vector<std::string> g_boxes;
std::vector<unsigned> g_styles;

int RecordBox(const char *text, const char *, unsigned style)
{
  g_boxes.push_back(text);
  g_styles.push_back(style);
  return VID_OK;
}

void CallTiff(const char *module, const char *fmt, ...)
{
  va_list ap;
  va_start(ap, fmt);
  TiffMessageHandler(module, fmt, ap);
  va_end(ap);
}

} // namespace

TEST(ErrorHooks, ApiErrorShowsStopBox)
{
  g_boxes.clear();
  g_styles.clear();
  VellumMessageBoxHook old = VellumSetMessageBoxHook(RecordBox);
  ReportApiError("Bad thing", "libAPI/PixImage", 42);
  VellumSetMessageBoxHook(old);
  const char *expect = "DjVu error!\n\nFile: libAPI/PixImage\nLine: 42\nCause: Bad thing\n";
  EXPECT_STREQ(g_szLastImageError, expect);
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0], expect);
  EXPECT_EQ(g_styles[0] & VMB_ICON_MASK, (unsigned)VMB_ICONHAND);
  EXPECT_EQ(g_styles[0] & VMB_BUTTON_MASK, (unsigned)VMB_OK);
}

TEST(ErrorHooks, TiffMessageIsKeptNotShown)
{
  g_boxes.clear();
  VellumMessageBoxHook old = VellumSetMessageBoxHook(RecordBox);
  CallTiff(nullptr, "bad tag %d in %s", 270, "x.tif");
  EXPECT_STREQ(g_szLastImageError, "bad tag 270 in x.tif");
  std::string longText(3000, 'a');
  CallTiff("Mod", "%s", longText.c_str());
  EXPECT_EQ(std::strlen(g_szLastImageError), 1024u);
  VellumSetMessageBoxHook(old);
  EXPECT_TRUE(g_boxes.empty());
}

// Pixel operations on the image record, over 1, 4, 8 and 24 bits and both
// row orders.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "ImageTestUtil.h"

using namespace imgtest;

namespace
{

struct Case
{
  int bits;
  int order;
};

std::string Name(const testing::TestParamInfo<std::tuple<int, int>> &info)
{
  return std::to_string(std::get<0>(info.param)) + "bit_" +
         (std::get<1>(info.param) == DIB_ROWS_TOPDOWN ? "topdown" : "bottomup");
}

class OpsTest : public testing::TestWithParam<std::tuple<int, int>>
{
protected:
  int bits() const { return std::get<0>(GetParam()); }
  int order() const { return std::get<1>(GetParam()); }
  // 13 x 7: odd sizes exercise padding bits and nibbles.
  void MakePattern(CDibImage &im, int w = 13, int h = 7)
  {
    int b = bits();
    ASSERT_TRUE(Make(im, w, h, b, order(), [b](int x, int y) { return Pattern(b, x, y); }));
  }
};

// Picture-level meaning of the primitives (top-left origin).
std::vector<uint32_t> Flip(const std::vector<uint32_t> &p, int w, int h)
{
  std::vector<uint32_t> o(p.size());
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++)
      o[(size_t)(h - 1 - y) * w + x] = p[(size_t)y * w + x];
  return o;
}

std::vector<uint32_t> Mirror(const std::vector<uint32_t> &p, int w, int h)
{
  std::vector<uint32_t> o(p.size());
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++)
      o[(size_t)y * w + (w - 1 - x)] = p[(size_t)y * w + x];
  return o;
}

// T on a bottom-up record: old (x, y) goes to (h - 1 - y, w - 1 - x) of a
// h-wide picture.
std::vector<uint32_t> AntiTranspose(const std::vector<uint32_t> &p, int w, int h)
{
  std::vector<uint32_t> o(p.size());
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++)
      o[(size_t)(w - 1 - x) * h + (h - 1 - y)] = p[(size_t)y * w + x];
  return o;
}

// Counter-clockwise quarter turn: old (x, y) goes to (y, w - 1 - x).
std::vector<uint32_t> TurnLeft(const std::vector<uint32_t> &p, int w, int h)
{
  std::vector<uint32_t> o(p.size());
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++)
      o[(size_t)(w - 1 - x) * h + y] = p[(size_t)y * w + x];
  return o;
}

const int kCodeTable[8][3] = {
    {4, 5, 7}, {6, 7, 4}, {7, 6, 5}, {5, 4, 6}, {0, 3, 1}, {3, 0, 2}, {1, 2, 3}, {2, 1, 0},
};

} // namespace

TEST(OrientationCode, TableAsPublished)
{
  for (int c = 0; c < 8; c++)
    for (int p = 0; p < 3; p++)
      EXPECT_EQ(CDibImage::ComposeOrientation(c, p), kCodeTable[c][p]) << c << "," << p;
  EXPECT_EQ(CDibImage::ComposeOrientation(8, 0), -1);
  EXPECT_EQ(CDibImage::ComposeOrientation(0, 3), -1);
}

TEST_P(OpsTest, PrimitivesChangeThePictureAsDefined)
{
  CDibImage im;
  MakePattern(im);
  auto before = Picture(im);
  ASSERT_EQ(im.FlipRows(1), 1);
  EXPECT_EQ(Picture(im), Flip(before, 13, 7));
  EXPECT_EQ(im.m_nOrientation, 4);
  MakePattern(im);
  ASSERT_EQ(im.Mirror(), 1);
  EXPECT_EQ(Picture(im), Mirror(before, 13, 7));
  EXPECT_EQ(im.m_nOrientation, 5);
  MakePattern(im);
  im.m_nXDpi = 200;
  im.m_nYDpi = 100;
  im.m_nSourceWidth = 13;
  im.m_nSourceHeight = 7;
  im.UpdateHeader();
  ASSERT_EQ(im.Transpose(), 1);
  EXPECT_EQ(im.m_nWidth, 7);
  EXPECT_EQ(im.m_nHeight, 13);
  EXPECT_EQ(im.m_nSourceWidth, 7);
  EXPECT_EQ(im.m_nSourceHeight, 13);
  EXPECT_EQ(im.m_nXDpi, 100);
  EXPECT_EQ(im.m_nYDpi, 200);
  EXPECT_EQ(im.Header()->biXPelsPerMeter, DpiToPixelsPerMeter(100));
  EXPECT_EQ(im.Header()->biYPelsPerMeter, DpiToPixelsPerMeter(200));
  EXPECT_EQ(HeaderMismatch(im), "");
  EXPECT_EQ(im.m_nRowOrder, order());
  EXPECT_EQ(Picture(im), AntiTranspose(before, 13, 7));
  EXPECT_EQ(im.m_nOrientation, 7);
}

TEST_P(OpsTest, StorageFlipKeepsThePicture)
{
  CDibImage im;
  MakePattern(im);
  im.m_nOrientation = 3;
  auto before = Picture(im);
  ASSERT_EQ(im.FlipRows(0), 1);
  EXPECT_EQ(Picture(im), before);
  EXPECT_EQ(im.m_nOrientation, 3);
  EXPECT_NE(im.m_nRowOrder, order());
  EXPECT_EQ(HeaderMismatch(im), "");
}

TEST_P(OpsTest, EveryCodeComposesAsTheTableSays)
{
  // Applying code c, then primitive p, gives the same picture as applying the
  // table's code directly.
  for (int c = 0; c < 8; c++)
    for (int p = 0; p < 3; p++)
    {
      CDibImage a, b;
      MakePattern(a);
      MakePattern(b);
      ASSERT_EQ(a.ApplyOrientation(c), 1);
      EXPECT_EQ(a.m_nOrientation, c);
      int ok = p == 0 ? a.FlipRows(1) : p == 1 ? a.Mirror() : a.Transpose();
      ASSERT_EQ(ok, 1);
      ASSERT_EQ(b.ApplyOrientation(kCodeTable[c][p]), 1);
      EXPECT_EQ(a.m_nOrientation, kCodeTable[c][p]);
      EXPECT_EQ(a.m_nWidth, b.m_nWidth);
      EXPECT_EQ(Picture(a), Picture(b)) << "code " << c << " primitive " << p;
    }
  CDibImage im;
  MakePattern(im);
  EXPECT_EQ(im.ApplyOrientation(8), 0);
  EXPECT_EQ(im.ApplyOrientation(-1), 0);
}

TEST_P(OpsTest, RotationsTurnTheRightWayInBothRowOrders)
{
  CDibImage im;
  MakePattern(im);
  auto start = Picture(im);
  auto expect = start;
  int w = 13, h = 7;
  for (int turn = 1; turn <= 4; turn++)
  {
    ASSERT_EQ(im.RotateLeft(), 1);
    expect = TurnLeft(expect, w, h);
    std::swap(w, h);
    ASSERT_EQ(im.m_nWidth, w);
    EXPECT_EQ(Picture(im), expect) << "turn " << turn;
    EXPECT_EQ(HeaderMismatch(im), "");
  }
  EXPECT_EQ(Picture(im), start);
  EXPECT_EQ(im.m_nOrientation, 0);
  // Right is three lefts; 180 is two.
  CDibImage r, l;
  MakePattern(r);
  MakePattern(l);
  ASSERT_EQ(r.RotateRight(), 1);
  ASSERT_TRUE(l.RotateLeft() && l.RotateLeft() && l.RotateLeft());
  EXPECT_EQ(Picture(r), Picture(l));
  EXPECT_EQ(r.m_nOrientation, l.m_nOrientation);
  MakePattern(r);
  MakePattern(l);
  ASSERT_EQ(r.Rotate180(), 1);
  ASSERT_TRUE(l.RotateLeft() && l.RotateLeft());
  EXPECT_EQ(Picture(r), Picture(l));
  EXPECT_EQ(r.m_nOrientation, 3);
}

TEST_P(OpsTest, CropKeepsTheRectangle)
{
  CDibImage im;
  MakePattern(im);
  auto before = Picture(im);
  im.m_nOrientation = 5;
  im.m_bNegative = 1;
  im.m_nXDpi = 300;
  ASSERT_EQ(im.Crop(3, 2, 10, 5), 1);
  ASSERT_EQ(im.m_nWidth, 8);
  ASSERT_EQ(im.m_nHeight, 4);
  EXPECT_EQ(im.m_nSourceWidth, 8);
  EXPECT_EQ(im.m_nSourceHeight, 4);
  EXPECT_EQ(im.m_nOrientation, 0);
  EXPECT_EQ(im.m_bNegative, 0);
  EXPECT_EQ(im.m_nXDpi, 300);
  EXPECT_EQ(im.m_nRowOrder, order());
  EXPECT_EQ(HeaderMismatch(im), "");
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 8; x++)
      EXPECT_EQ(ColourAt(im, x, y), before[(size_t)(y + 2) * 13 + x + 3]);
}

TEST_P(OpsTest, CropRefusesBadRectangles)
{
  CDibImage im;
  MakePattern(im);
  const int bad[][4] = {{-1, 0, 3, 3}, {0, -1, 3, 3}, {0, 0, 13, 3},
                        {0, 0, 3, 7},  {5, 0, 4, 3},  {0, 5, 3, 4}};
  for (const auto &r : bad)
  {
    EXPECT_EQ(im.Crop(r[0], r[1], r[2], r[3]), 0);
    EXPECT_EQ(im.m_nWidth, 13);
  }
}

TEST_P(OpsTest, ClearRectClearsOnlyThePictureRectangle)
{
  CDibImage im;
  MakePattern(im);
  auto before = Picture(im);
  ASSERT_EQ(im.ClearRect(2, 1, 6, 3), 1);
  uint32_t cleared = bits() == 24 ? 0 : ColourAt(im, 0, 0) * 0 + (uint32_t)PaletteColour(bits(), 0);
  for (int y = 0; y < 7; y++)
    for (int x = 0; x < 13; x++)
    {
      bool inside = x >= 2 && x <= 6 && y >= 1 && y <= 3;
      EXPECT_EQ(ColourAt(im, x, y), inside ? cleared : before[(size_t)y * 13 + x]) << x << "," << y;
    }
  EXPECT_EQ(im.ClearRect(0, 0, 13, 0), 0);
  EXPECT_EQ(im.ClearRect(0, 0, 0, 7), 0);
  EXPECT_EQ(im.ClearRect(-1, 0, 0, 0), 0);
}

TEST_P(OpsTest, NegativeComplementsColoursAndTogglesFlag)
{
  CDibImage im;
  MakePattern(im);
  auto before = Picture(im);
  ASSERT_EQ(im.Negative(), 1);
  EXPECT_EQ(im.m_bNegative, 1);
  auto after = Picture(im);
  for (size_t i = 0; i < before.size(); i++)
    EXPECT_EQ(after[i], ~before[i] & 0xFFFFFF);
  ASSERT_EQ(im.Negative(), 1);
  EXPECT_EQ(im.m_bNegative, 0);
  EXPECT_EQ(Picture(im), before);
}

TEST_P(OpsTest, ConvertToGrayUsesTheWeights)
{
  CDibImage im;
  MakePattern(im);
  auto before = Picture(im);
  ASSERT_EQ(im.ConvertToGray(), 1);
  EXPECT_EQ(im.m_nBitsPerPixel, 8);
  EXPECT_EQ(im.m_bGrey, 1);
  EXPECT_EQ(im.m_nPhotometric, DIB_PHOTOMETRIC_MINISBLACK);
  EXPECT_EQ(im.Header()->biClrUsed, 0u);
  EXPECT_EQ(HeaderMismatch(im), "");
  for (int y = 0; y < 7; y++)
    for (int x = 0; x < 13; x++)
    {
      uint32_t c = before[(size_t)y * 13 + x];
      uint32_t grey;
      if (bits() == 1)
        grey = c ? 255 : 0; // palette entry 0 is black
      else
        grey = (77 * (c >> 16) + 151 * ((c >> 8) & 255) + 29 * (c & 255)) >> 8;
      EXPECT_EQ(RawAt(im, x, y), grey);
    }
  // Already grey: left alone.
  unsigned char *block = im.m_pBlock;
  EXPECT_EQ(im.ConvertToGray(), 1);
  EXPECT_EQ(im.m_pBlock, block);
}

TEST_P(OpsTest, EnlargingByTwoCopiesTheCellUnderEachPixel)
{
  for (int method = 0; method < 3; method++)
  {
    CDibImage im;
    MakePattern(im, 5, 3);
    if (bits() == 8)
    {
      // grey ramp: averaging stays in 8 bits
      for (int i = 0; i < 256; i++)
        im.Palette()[i] = DibRgbQuad{(uint8_t)i, (uint8_t)i, (uint8_t)i, 0};
      im.m_bGrey = im.IsGreyRamp();
    }
    auto before = Picture(im);
    ASSERT_EQ(im.Resample(10, 6, method), 1);
    ASSERT_EQ(im.m_nWidth, 10);
    ASSERT_EQ(im.m_nHeight, 6);
    EXPECT_EQ(im.m_nBitsPerPixel, bits());
    EXPECT_EQ(HeaderMismatch(im), "");
    for (int y = 0; y < 6; y++)
      for (int x = 0; x < 10; x++)
        EXPECT_EQ(ColourAt(im, x, y), before[(size_t)(y / 2) * 5 + x / 2]) << method << " " << x << "," << y;
  }
}

TEST_P(OpsTest, ResampleResetsMetadataAndRefusesBadSizes)
{
  CDibImage im;
  MakePattern(im);
  im.m_nXDpi = im.m_nYDpi = 300;
  im.m_nResolutionUnit = 2;
  im.m_nOrientation = 6;
  im.m_bNegative = 1;
  im.m_nPageIndex = 2;
  im.m_nPageCount = 3;
  im.UpdateHeader();
  EXPECT_EQ(im.Resample(0, 5, 2), 0);
  EXPECT_EQ(im.Resample(5, -1, 2), 0);
  EXPECT_EQ(im.m_nWidth, 13);
  ASSERT_EQ(im.Resample(6, 4, 1), 1);
  EXPECT_EQ(im.m_nSourceWidth, 6);
  EXPECT_EQ(im.m_nSourceHeight, 4);
  EXPECT_EQ(im.m_nXDpi, 0);
  EXPECT_EQ(im.m_nYDpi, 0);
  EXPECT_EQ(im.m_nResolutionUnit, 0);
  EXPECT_EQ(im.m_nOrientation, 0);
  EXPECT_EQ(im.m_bNegative, 0);
  EXPECT_EQ(im.m_nPageIndex, 0);
  EXPECT_EQ(im.m_nPageCount, 1);
  EXPECT_EQ(im.Header()->biXPelsPerMeter, 0);
  EXPECT_EQ(HeaderMismatch(im), "");
}

TEST_P(OpsTest, PasteWithIdentityMapCopiesTheSource)
{
  CDibImage dst, src;
  ASSERT_TRUE(Make(dst, 13, 7, bits(), DIB_ROWS_BOTTOMUP, [](int, int) { return 0u; }));
  int b = bits();
  ASSERT_TRUE(Make(src, 4, 3, bits(), order(), [b](int x, int y) { return Pattern(b, x, y); }));
  std::vector<int32_t> map(256);
  for (int i = 0; i < 256; i++)
    map[(size_t)i] = i;
  // Stored coordinates of a bottom-up destination: y counts from the bottom.
  ASSERT_EQ(dst.Paste(src, 5, 2, map.data(), 256), 1);
  for (int y = 0; y < 3; y++)
    for (int x = 0; x < 4; x++)
      EXPECT_EQ(ColourAt(dst, 5 + x, 7 - 2 - 3 + y), ColourAt(src, x, y)) << x << "," << y;
  EXPECT_EQ(ColourAt(dst, 4, 2), ColourAt(dst, 0, 0));
  EXPECT_EQ(dst.Paste(src, 10, 0, map.data(), 256), 0);
  EXPECT_EQ(dst.Paste(src, 0, 5, map.data(), 256), 0);
  EXPECT_EQ(dst.Paste(src, -1, 0, map.data(), 256), 0);
}

INSTANTIATE_TEST_SUITE_P(Depths, OpsTest,
                         testing::Combine(testing::Values(1, 4, 8, 24),
                                          testing::Values(DIB_ROWS_BOTTOMUP, DIB_ROWS_TOPDOWN)),
                         Name);

// ---------------------------------------------------------------- Resample

namespace
{

// 7 x 1 grey image 0, 10, ..., 60 resampled to 4 x 1.
std::vector<uint32_t> ResampleRow(int method)
{
  CDibImage im;
  Make(im, 7, 1, 8, DIB_ROWS_BOTTOMUP, [](int x, int) { return (uint32_t)(10 * x); });
  for (int i = 0; i < 256; i++)
    im.Palette()[i] = DibRgbQuad{(uint8_t)i, (uint8_t)i, (uint8_t)i, 0};
  im.m_bGrey = im.IsGreyRamp();
  std::vector<uint32_t> out;
  if (im.Resample(4, 1, method) != 1)
    return out;
  for (int x = 0; x < 4; x++)
    out.push_back(RawAt(im, x, 0));
  return out;
}

} // namespace

TEST(Resample, MethodsOnKnownRow)
{
  // Ratio 1.75: spans of two cells use the a kernel, of three cells b.
  EXPECT_EQ(ResampleRow(0), (std::vector<uint32_t>{10, 20, 40, 60}));
  EXPECT_EQ(ResampleRow(1), (std::vector<uint32_t>{4, 20, 39, 55}));
  EXPECT_EQ(ResampleRow(2), (std::vector<uint32_t>{4, 21, 38, 55}));
}

TEST(Resample, GridAverageTruncates)
{
  CDibImage im;
  const uint32_t v[2][2] = {{1, 2}, {2, 2}};
  Make(im, 2, 2, 8, DIB_ROWS_BOTTOMUP, [&](int x, int y) { return v[y][x]; });
  for (int i = 0; i < 256; i++)
    im.Palette()[i] = DibRgbQuad{(uint8_t)i, (uint8_t)i, (uint8_t)i, 0};
  im.m_bGrey = im.IsGreyRamp();
  ASSERT_EQ(im.Resample(1, 1, 2), 1);
  EXPECT_EQ(RawAt(im, 0, 0), 1u);
  EXPECT_EQ(im.m_bGrey, 1);
}

TEST(Resample, SingleSampleKeepsCentreOfBitonalBlocks)
{
  CDibImage im;
  // Each 3 x 3 block: only its centre differs from the rest.
  auto centre = [](int x, int y) { return (uint32_t)((x / 3 + y / 3) & 1); };
  Make(im, 9, 6, 1, DIB_ROWS_BOTTOMUP,
       [&](int x, int y) { return (x % 3 == 1 && y % 3 == 1) ? centre(x, y) : 1 - centre(x, y); });
  ASSERT_EQ(im.Resample(3, 2, 0), 1);
  for (int y = 0; y < 2; y++)
    for (int x = 0; x < 3; x++)
      EXPECT_EQ(RawAt(im, x, y), centre(3 * x, 3 * y));
}

TEST(Resample, BitonalMajority)
{
  CDibImage im;
  // 2 x 2 blocks with 1, 2, 3 set bits: 1 of 4 and 2 of 4 stay clear.
  const uint32_t v[2][6] = {{1, 0, 1, 1, 1, 1}, {0, 0, 0, 0, 1, 0}};
  Make(im, 6, 2, 1, DIB_ROWS_TOPDOWN, [&](int x, int y) { return v[y][x]; });
  ASSERT_EQ(im.Resample(3, 1, 2), 1);
  EXPECT_EQ(RawAt(im, 0, 0), 0u);
  EXPECT_EQ(RawAt(im, 1, 0), 0u);
  EXPECT_EQ(RawAt(im, 2, 0), 1u);
}

TEST(Resample, FourBitTakesARealSampleOfTheSpan)
{
  CDibImage im;
  Make(im, 8, 8, 4, DIB_ROWS_BOTTOMUP, [](int x, int y) { return (uint32_t)((x / 2) * 4 + y / 2) & 15; });
  ASSERT_EQ(im.Resample(4, 4, 2), 1);
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 4; x++)
      EXPECT_EQ(RawAt(im, x, y), (uint32_t)(x * 4 + y) & 15);
}

TEST(Resample, ColourPaletteIsResampledInColour)
{
  CDibImage im;
  // index 0 red, index 2 blue; averaging indices would give index 1.
  Make(im, 2, 1, 8, DIB_ROWS_BOTTOMUP, [](int x, int) { return (uint32_t)(2 * x); });
  im.Palette()[0] = DibRgbQuad{0, 0, 200, 0};
  im.Palette()[1] = DibRgbQuad{0, 255, 0, 0};
  im.Palette()[2] = DibRgbQuad{100, 0, 0, 0};
  ASSERT_EQ(im.Resample(1, 1, 2), 1);
  EXPECT_EQ(im.m_nBitsPerPixel, 24);
  EXPECT_EQ(im.m_nPaletteSize, 0);
  EXPECT_EQ(im.m_nPhotometric, DIB_PHOTOMETRIC_RGB);
  EXPECT_EQ(HeaderMismatch(im), "");
  EXPECT_EQ(ColourAt(im, 0, 0), Rgb(100, 0, 50));
}

TEST(Resample, TwentyFourBitsPerChannel)
{
  CDibImage im;
  Make(im, 2, 2, 24, DIB_ROWS_BOTTOMUP,
       [](int x, int y) { return Rgb(10 + x * 10 + y, 200 - x * 3, 7 * y); });
  ASSERT_EQ(im.Resample(1, 1, 2), 1);
  // (10+20+11+21)/4 = 15, (200+197+200+197)/4 = 198, (0+0+7+7)/4 = 3
  EXPECT_EQ(ColourAt(im, 0, 0), Rgb(15, 198, 3));
}

// ------------------------------------------------------------------- Paste

TEST(Paste, IndexMapAndKeyColour)
{
  CDibImage dst, src;
  ASSERT_TRUE(Make(dst, 6, 4, 8, DIB_ROWS_BOTTOMUP, [](int, int) { return 9u; }));
  ASSERT_TRUE(Make(src, 3, 2, 8, DIB_ROWS_BOTTOMUP, [](int x, int y) { return (uint32_t)(x + 3 * y); }));
  std::vector<int32_t> map(256);
  for (int i = 0; i < 256; i++)
    map[(size_t)i] = 0x300 + 100 + i; // only the low byte counts
  uint32_t key = PaletteColour(8, 4);
  src.m_bTransparentPaste = 1;
  src.m_nKeyColour = (key >> 16) | (key & 0xFF00) | (key & 255) << 16; // 0x00BBGGRR
  ASSERT_EQ(dst.Paste(src, 1, 1, map.data(), 256), 1);
  // Stored rows 1..2 = picture rows 2..1 of a 4-row bottom-up image.
  for (int y = 0; y < 2; y++)
    for (int x = 0; x < 3; x++)
    {
      uint32_t s = RawAt(src, x, y);
      EXPECT_EQ(RawAt(dst, 1 + x, 1 + y), s == 4 ? 9u : 100 + s) << x << "," << y;
    }
  EXPECT_EQ(RawAt(dst, 0, 0), 9u);
}

TEST(Paste, ShallowSourceIsExpandedAndMapped)
{
  CDibImage dst, src;
  ASSERT_TRUE(Make(dst, 8, 2, 8, DIB_ROWS_BOTTOMUP, [](int, int) { return 50u; }));
  ASSERT_TRUE(Make(src, 8, 1, 1, DIB_ROWS_BOTTOMUP, [](int x, int) { return (uint32_t)(x & 1); }));
  int32_t map[2] = {7, 200};
  ASSERT_EQ(dst.Paste(src, 0, 0, map, 2), 1);
  for (int x = 0; x < 8; x++)
  {
    EXPECT_EQ(RawAt(dst, x, 1), (x & 1) ? 200u : 7u);
    EXPECT_EQ(RawAt(dst, x, 0), 50u);
  }
  // Into 24 bits: the source's palette colours, key colour skipped.
  CDibImage rgb;
  ASSERT_TRUE(Make(rgb, 8, 1, 24, DIB_ROWS_BOTTOMUP, [](int, int) { return Rgb(1, 2, 3); }));
  src.Palette()[1] = DibRgbQuad{30, 20, 10, 0};
  src.m_bTransparentPaste = 1;
  src.m_nKeyColour = 0x00000000; // black, palette entry 0
  ASSERT_EQ(rgb.Paste(src, 0, 0, nullptr, 0), 1);
  for (int x = 0; x < 8; x++)
    EXPECT_EQ(ColourAt(rgb, x, 0), (x & 1) ? Rgb(10, 20, 30) : Rgb(1, 2, 3));
}

TEST(Paste, BitonalDestinationUsesMapTruth)
{
  CDibImage dst, src;
  ASSERT_TRUE(Make(dst, 9, 1, 1, DIB_ROWS_BOTTOMUP, [](int, int) { return 1u; }));
  ASSERT_TRUE(Make(src, 4, 1, 1, DIB_ROWS_BOTTOMUP, [](int x, int) { return (uint32_t)(x & 1); }));
  int32_t map[2] = {0, 0x100}; // nonzero entry sets the bit
  ASSERT_EQ(dst.Paste(src, 3, 0, map, 2), 1);
  const uint32_t expect[9] = {1, 1, 1, 0, 1, 0, 1, 1, 1};
  for (int x = 0; x < 9; x++)
    EXPECT_EQ(RawAt(dst, x, 0), expect[x]);
  CDibImage deep;
  ASSERT_TRUE(Make(deep, 2, 1, 4, DIB_ROWS_BOTTOMUP, [](int, int) { return 3u; }));
  EXPECT_EQ(dst.Paste(deep, 0, 0, nullptr, 0), 0);
}

TEST(Paste, TopDownSourceStaysUpright)
{
  CDibImage dst, src;
  ASSERT_TRUE(Make(dst, 4, 4, 24, DIB_ROWS_BOTTOMUP, [](int, int) { return 0u; }));
  ASSERT_TRUE(Make(src, 2, 2, 24, DIB_ROWS_TOPDOWN, [](int x, int y) { return Rgb(x, y, 9); }));
  ASSERT_EQ(dst.Paste(src, 0, 0, nullptr, 0), 1);
  // stored row 0 of a bottom-up image is the bottom picture row
  EXPECT_EQ(ColourAt(dst, 0, 2), Rgb(0, 0, 9));
  EXPECT_EQ(ColourAt(dst, 1, 3), Rgb(1, 1, 9));
}

// ------------------------------------------------------------ grey polarity

TEST(InvertGrey, KeepsThePictureAndTogglesPhotometric)
{
  CDibImage im;
  Make(im, 9, 3, 8, DIB_ROWS_BOTTOMUP, [](int x, int y) { return (uint32_t)(x * 20 + y); });
  for (int i = 0; i < 256; i++)
    im.Palette()[i] = DibRgbQuad{(uint8_t)(255 - i), (uint8_t)(255 - i), (uint8_t)(255 - i), 0};
  im.m_bGrey = im.IsGreyRamp();
  ASSERT_EQ(im.m_nPhotometric, DIB_PHOTOMETRIC_MINISWHITE);
  auto before = Picture(im);
  ASSERT_EQ(im.InvertGrey(), 1);
  EXPECT_EQ(im.m_nPhotometric, DIB_PHOTOMETRIC_MINISBLACK);
  EXPECT_EQ(Picture(im), before);
  EXPECT_EQ(im.IsGreyRamp(), 1);
  EXPECT_EQ(im.m_nPhotometric, DIB_PHOTOMETRIC_MINISBLACK);

  CDibImage bw;
  Make(bw, 11, 2, 1, DIB_ROWS_TOPDOWN, [](int x, int y) { return (uint32_t)((x + y) % 3 == 0); });
  bw.m_nPhotometric = DIB_PHOTOMETRIC_MINISBLACK;
  before = Picture(bw);
  ASSERT_EQ(bw.InvertGrey(), 1);
  EXPECT_EQ(bw.m_nPhotometric, DIB_PHOTOMETRIC_MINISWHITE);
  EXPECT_EQ(Picture(bw), before);

  CDibImage colour;
  Make(colour, 2, 2, 24, DIB_ROWS_BOTTOMUP, [](int, int) { return 5u; });
  colour.m_nPhotometric = DIB_PHOTOMETRIC_MINISBLACK;
  EXPECT_EQ(colour.InvertGrey(), 0);
  bw.m_nPhotometric = DIB_PHOTOMETRIC_PALETTE;
  EXPECT_EQ(bw.InvertGrey(), 0);
}

TEST(Negative, GreyRampStaysGrey)
{
  CDibImage im;
  Make(im, 3, 1, 8, DIB_ROWS_BOTTOMUP, [](int x, int) { return (uint32_t)x; });
  for (int i = 0; i < 256; i++)
    im.Palette()[i] = DibRgbQuad{(uint8_t)i, (uint8_t)i, (uint8_t)i, 0};
  im.m_bGrey = im.IsGreyRamp();
  ASSERT_EQ(im.Negative(), 1);
  EXPECT_EQ(im.m_bGrey, 1);
  EXPECT_EQ(im.m_nPhotometric, DIB_PHOTOMETRIC_MINISWHITE);
  EXPECT_EQ(RawAt(im, 2, 0), 2u); // pixels untouched, palette complemented
  EXPECT_EQ(ColourAt(im, 2, 0), Rgb(253, 253, 253));
}

TEST(Operations, EmptyRecordFailsCleanly)
{
  CDibImage im;
  EXPECT_EQ(im.FlipRows(1), 0);
  EXPECT_EQ(im.Mirror(), 0);
  EXPECT_EQ(im.Transpose(), 0);
  EXPECT_EQ(im.RotateLeft(), 0);
  EXPECT_EQ(im.Negative(), 0);
  EXPECT_EQ(im.InvertGrey(), 0);
  EXPECT_EQ(im.ConvertToGray(), 0);
  EXPECT_EQ(im.Crop(0, 0, 0, 0), 0);
  EXPECT_EQ(im.ClearRect(0, 0, 0, 0), 0);
  EXPECT_EQ(im.Resample(2, 2, 0), 0);
  CDibImage other;
  EXPECT_EQ(im.Paste(other, 0, 0, nullptr, 0), 0);
}

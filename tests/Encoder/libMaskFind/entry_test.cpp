// MaskFinderEntry: refusal of bands it cannot handle, the error handler and
// allocator contracts (memory released on every failure), the default fatal
// exit, switches and split mode on synthetic bands.
#include "MaskFindInternal.h"
#include "TestImages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace
{

// Counting allocator with an optional failure at the n-th call.
long g_live = 0;
long g_calls = 0;
long g_failAt = -1;

void *CountingMalloc(size_t n)
{
  if (++g_calls == g_failAt)
    return nullptr;
  g_live++;
  return std::malloc(n);
}
void *CountingRealloc(void *p, size_t n)
{
  if (++g_calls == g_failAt)
    return nullptr;
  if (!p)
    g_live++;
  return std::realloc(p, n);
}
void CountingFree(void *p)
{
  if (p)
    g_live--;
  std::free(p);
}

struct Reported
{
  std::string message, file;
  int line = 0, calls = 0;
};

void RecordingHandler(const char *message, const char *file, int line, void *user)
{
  Reported *r = static_cast<Reported *>(user);
  r->message = message;
  r->file = file;
  r->line = line;
  r->calls++;
}

class EntryTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    g_live = g_calls = 0;
    g_failAt = -1;
    MaskFindSetAllocator(CountingMalloc, CountingRealloc, CountingFree);
    MaskFindSetErrorHandler(RecordingHandler, &reported);
  }
  void TearDown() override
  {
    MaskFindSetErrorHandler(nullptr, nullptr);
    MaskFindSetAllocator(nullptr, nullptr, nullptr);
  }
  Reported reported;
};

// White band with dark "H" glyphs (3-pixel strokes, 21 pixels tall).
mftest::Picture GlyphPage(int w, int h, int channels, uint8_t ink = 0, uint8_t paper = 255)
{
  mftest::Picture pic;
  pic.w = w;
  pic.h = h;
  pic.channels = channels;
  pic.pixels.assign((size_t)w * h * channels, paper);
  for (int gx = 10; gx + 16 < w - 10; gx += 24)
    for (int gy = 10; gy + 21 < h - 10; gy += 32)
      for (int y = gy; y < gy + 21; y++)
        for (int x = gx; x < gx + 16; x++)
          if (x < gx + 3 || x >= gx + 13 || (y >= gy + 9 && y < gy + 12))
            for (int c = 0; c < channels; c++)
              pic.at(y, x, c) = ink;
  return pic;
}

// Fraction of the picture's ink pixels (darker than 128) in the mask, and
// the number of mask pixels that are not ink.
void Coverage(const mftest::Picture &pic, const std::vector<uint8_t> &mask, double &inkCovered, long &stray)
{
  long ink = 0, covered = 0;
  stray = 0;
  for (int y = 0; y < pic.h; y++)
    for (int x = 0; x < pic.w; x++)
    {
      bool dark = pic.pixels[((size_t)y * pic.w + x) * pic.channels] < 128;
      bool m = mask[(size_t)y * pic.w + x] != 0;
      ink += dark;
      covered += dark && m;
      stray += !dark && m;
    }
  inkCovered = ink ? (double)covered / ink : 1.0;
}

} // namespace

TEST_F(EntryTest, RefusesBandsItCannotHandle)
{
  std::vector<uint8_t> pixels(64 * 64 * 3, 255);
  struct Case
  {
    const char *name;
    MaskFindBand band;
    const char *message;
  } cases[] = {
      {"null data", {MASKFIND_GRAY, 64, 64, 0, 64, 1, nullptr}, "Not a grey image"},
      {"zero size", {MASKFIND_GRAY, 0, 0, 0, 0, 1, pixels.data()}, "Diff. image dimensions"},
      {"zero height", {MASKFIND_GRAY, 64, 0, 0, 64, 1, pixels.data()}, "Diff. image dimensions"},
      {"more pixels than an int32 counts",
       {MASKFIND_GRAY, 65536, 65536, 0, 65536, 1, pixels.data()},
       "out of memory"},
      {"negative width", {MASKFIND_GRAY, -20, 64, 0, 64, 1, pixels.data()}, "Diff. image dimensions"},
      {"row size too small", {MASKFIND_RGB, 64, 64, 0, 64, 3, pixels.data()}, "Diff. image dimensions"},
      {"negative offset", {MASKFIND_GRAY, 64, 64, -1, 64, 1, pixels.data()}, "Diff. image dimensions"},
      {"two bytes per pixel",
       {MASKFIND_GRAY, 32, 32, 0, 64, 2, pixels.data()},
       "Not a grey image with 1 byte/pixel"},
      {"four bytes per pixel",
       {MASKFIND_RGB, 16, 16, 0, 64, 4, pixels.data()},
       "Not a grey image with 1 byte/pixel"},
      {"colour without order",
       {MASKFIND_GRAY, 64, 64, 0, 192, 3, pixels.data()},
       "Rgb image has unknow color representation (neither RGB nor BGR)"},
  };
  for (const auto &c : cases)
  {
    reported = Reported();
    EXPECT_EQ(MaskFinderEntry(nullptr, &c.band), nullptr) << c.name;
    EXPECT_EQ(reported.calls, 1) << c.name;
    EXPECT_EQ(reported.message, c.message) << c.name;
    EXPECT_EQ(reported.file.rfind("Encoder/libMaskFind/", 0), 0u) << reported.file;
    EXPECT_EQ(g_live, 0) << c.name;
  }
  reported = Reported();
  EXPECT_EQ(MaskFinderEntry(nullptr, static_cast<const MaskFindBand *>(nullptr)), nullptr);
  EXPECT_EQ(reported.message, "Not a grey image");
}

TEST_F(EntryTest, BandsOfAtMostTwelveRowsOrColumnsHaveNoRuns)
{
  // No block groups (Rn or Kn is 0): every block is empty, whatever the
  // pixels, the filter and the mode. Dark strokes make sure there would be
  // something to find.
  std::vector<uint8_t> pixels(40 * 40 * 3, 255);
  for (int y = 0; y < 40; y++)
    for (int x = 0; x < 40; x++)
      if ((x / 3 + y / 3) % 2)
        std::fill_n(&pixels[(size_t)(y * 40 + x) * 3], 3, 0);
  const MaskFindBand bands[] = {
      {MASKFIND_RGB, 40, 12, 0, 120, 3, pixels.data()}, {MASKFIND_GRAY, 12, 40, 0, 12, 1, pixels.data()},
      {MASKFIND_BGR, 12, 12, 0, 36, 3, pixels.data()},  {MASKFIND_GRAY, 11, 40, 0, 40, 1, pixels.data()},
      {MASKFIND_RGB, 40, 11, 0, 120, 3, pixels.data()}, {MASKFIND_GRAY, 1, 40, 0, 1, 1, pixels.data()},
      {MASKFIND_BGR, 40, 1, 0, 120, 3, pixels.data()},  {MASKFIND_GRAY, 1, 1, 0, 1, 1, pixels.data()},
  };
  const MaskFindParams params[] = {{0, 0, 0}, {5000, 0, 7}, {0, 128, 0}, {0, 128, 3}};
  for (const MaskFindBand &b : bands)
    for (const MaskFindParams &p : params)
    {
      MaskRunList *l = MaskFinderEntry(&p, &b);
      ASSERT_NE(l, nullptr) << b.w << "x" << b.h << " " << reported.message;
      EXPECT_EQ(l->width, b.w);
      EXPECT_EQ(l->height, b.h);
      EXPECT_EQ(l->stride, 4);
      EXPECT_EQ(l->count, 0) << b.w << "x" << b.h;
      EXPECT_EQ(l->runs, nullptr);
      MaskRunListFree(l);
    }
  EXPECT_EQ(g_live, 0);
  EXPECT_EQ(reported.calls, 0);
}

TEST_F(EntryTest, EveryAllocationFailureIsReportedAndReleasesAll)
{
  mftest::Picture pic = GlyphPage(160, 96, 3);
  mftest::Band b = mftest::MakeBand(pic, 0, pic.h);
  MaskFindParams p{0, 0, 0};
  MaskRunList *ok = MaskFinderEntry(&p, &b.band);
  ASSERT_NE(ok, nullptr);
  const long total = g_calls;
  const int32_t count = ok->count;
  MaskRunListFree(ok);
  ASSERT_EQ(g_live, 0);
  for (long n = 1; n <= total; n++)
  {
    g_calls = 0;
    g_failAt = n;
    reported = Reported();
    MaskRunList *l = MaskFinderEntry(&p, &b.band);
    EXPECT_EQ(l, nullptr) << n;
    EXPECT_EQ(reported.message, "Memory Exhausted") << n;
    EXPECT_EQ(g_live, 0) << "leak after failing allocation " << n;
  }
  g_failAt = -1;
  MaskRunList *again = MaskFinderEntry(&p, &b.band);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->count, count);
  MaskRunListFree(again);
  EXPECT_EQ(g_live, 0);
}

namespace
{
void ThrowingHandler(const char *message, const char *, int, void *)
{
  throw std::runtime_error(message);
}

std::jmp_buf g_jump;
void JumpingHandler(const char *, const char *, int, void *)
{
  std::longjmp(g_jump, 1);
}

// No object with a destructor lives in this frame across the jump.
bool FailsByJump(const MaskFindBand *band)
{
  if (setjmp(g_jump) == 0)
  {
    MaskFinderEntry(nullptr, band);
    return false;
  }
  return true;
}
} // namespace

TEST_F(EntryTest, HandlerMayThrowOrJumpWithoutLeaks)
{
  mftest::Picture pic = GlyphPage(96, 64, 1);
  mftest::Band b = mftest::MakeBand(pic, 0, pic.h);
  MaskFindBand bad = b.band;
  bad.pixsize = 2;

  MaskFindSetErrorHandler(ThrowingHandler, nullptr);
  g_failAt = 5; // inside the pipeline, after the plane exists
  EXPECT_THROW(MaskFinderEntry(nullptr, &b.band), std::runtime_error);
  EXPECT_EQ(g_live, 0);
  g_failAt = -1;
  EXPECT_THROW(MaskFinderEntry(nullptr, &bad), std::runtime_error);

  MaskFindSetErrorHandler(JumpingHandler, nullptr);
  g_calls = 0;
  g_failAt = 7;
  EXPECT_TRUE(FailsByJump(&b.band));
  EXPECT_EQ(g_live, 0);
  g_failAt = -1;
  EXPECT_TRUE(FailsByJump(&bad));

  // The finder stays usable afterwards.
  MaskFindSetErrorHandler(RecordingHandler, &reported);
  MaskRunList *l = MaskFinderEntry(nullptr, &b.band);
  ASSERT_NE(l, nullptr);
  EXPECT_GT(l->count, 0);
  MaskRunListFree(l);
  EXPECT_EQ(g_live, 0);
}

TEST(EntryDeathTest, DefaultHandlerWritesMessageAndExits10)
{
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  MaskFindSetErrorHandler(nullptr, nullptr);
  std::vector<uint8_t> pixels(64, 0);
  MaskFindBand band{MASKFIND_GRAY, 8, 0, 0, 8, 1, pixels.data()};
  EXPECT_EXIT(
      MaskFinderEntry(nullptr, &band), ::testing::ExitedWithCode(10),
      "^DjVu Mask Error: 'Diff\\. image dimensions' at Encoder/libMaskFind/MaskFinder\\([0-9]+\\)\r\n$");
  MaskFindSetAllocator([](size_t) -> void * { return nullptr; }, nullptr, nullptr);
  band.w = band.h = 64;
  std::vector<uint8_t> big(64 * 64, 255);
  band.rowsize = 64;
  band.data = big.data();
  EXPECT_EXIT(MaskFinderEntry(nullptr, &band), ::testing::ExitedWithCode(10),
              "^DjVu Mask Error: 'Memory Exhausted' at Encoder/libMaskFind/MaskAlloc\\([0-9]+\\)\r\n$");
  MaskFindSetAllocator(nullptr, nullptr, nullptr);
}

TEST_F(EntryTest, GlyphsAreFoundInEveryPixelFormat)
{
  for (int channels : {1, 3})
  {
    mftest::Picture pic = GlyphPage(200, 120, channels);
    mftest::Band b = mftest::MakeBand(pic, 0, pic.h);
    MaskRunList *l = MaskFinderEntry(nullptr, &b.band);
    ASSERT_NE(l, nullptr);
    double covered;
    long stray;
    Coverage(pic, mftest::MaskOf(l), covered, stray);
    EXPECT_GT(covered, 0.97) << channels;
    EXPECT_LT(stray, 200) << channels;
    MaskRunListFree(l);
  }
  EXPECT_EQ(g_live, 0);
}

TEST_F(EntryTest, RgbAndBgrBandsGiveTheSameRuns)
{
  mftest::Picture pic = GlyphPage(200, 120, 3, 60, 230);
  for (int y = 0; y < pic.h; y++)
    for (int x = 0; x < pic.w; x++)
      pic.at(y, x, 0) = (uint8_t)std::min(255, pic.at(y, x, 0) + (x % 7) * 3);
  mftest::Band rgb = mftest::MakeBand(pic, 0, pic.h, false), bgr = mftest::MakeBand(pic, 0, pic.h, true);
  MaskRunList *a = MaskFinderEntry(nullptr, &rgb.band), *b = MaskFinderEntry(nullptr, &bgr.band);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  ASSERT_EQ(a->count, b->count);
  EXPECT_GT(a->count, 0);
  EXPECT_EQ(std::vector<int32_t>(a->runs, a->runs + 4 * a->count),
            std::vector<int32_t>(b->runs, b->runs + 4 * b->count));
  MaskRunListFree(a);
  MaskRunListFree(b);
}

TEST_F(EntryTest, UniformBandsGiveAnEmptyMask)
{
  for (uint8_t v : {uint8_t(255), uint8_t(0), uint8_t(128)})
  {
    mftest::Picture pic = GlyphPage(100, 80, 3, v, v);
    mftest::Band b = mftest::MakeBand(pic, 0, pic.h);
    MaskRunList *l = MaskFinderEntry(nullptr, &b.band);
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->count, 0) << (int)v;
    MaskRunListFree(l);
  }
}

TEST_F(EntryTest, AllSwitchesReturnTheRawRuns)
{
  mftest::Picture pic = GlyphPage(200, 120, 1);
  // Speckle that the filter drops.
  for (int k = 0; k < 40; k++)
    pic.at(3 + (k * 37) % 110, (k * 53) % 195) = 0;
  mftest::Band b = mftest::MakeBand(pic, 0, pic.h);

  maskfind::GreyPlane plane;
  maskfind::MakeGreyPlane(plane, pic.h, pic.w);
  maskfind::QuantiseGrey(maskfind::SourceOf(b.band), plane);
  maskfind::RunList raw(16);
  maskfind::FindBlockRuns(plane, raw);

  MaskFindParams all{0, 0, 7};
  MaskRunList *l = MaskFinderEntry(&all, &b.band);
  ASSERT_NE(l, nullptr);
  ASSERT_EQ(l->count, raw.count);
  for (int32_t i = 0; i < raw.count; i++)
    for (int k = 0; k < 3; k++)
      EXPECT_EQ(l->runs[4 * i + k], raw.at(i)[k]);
  MaskFindParams filtered{0, 0, 3};
  MaskRunList *f = MaskFinderEntry(&filtered, &b.band);
  ASSERT_NE(f, nullptr);
  EXPECT_LT(f->count, l->count);
  MaskRunListFree(l);
  MaskRunListFree(f);
}

TEST_F(EntryTest, FilterLevelKeepsMoreWhenRaised)
{
  mftest::Picture pic = GlyphPage(200, 120, 1);
  for (int k = 0; k < 60; k++)
    pic.at(3 + (k * 37) % 110, (k * 53) % 195) = (uint8_t)(k % 3 * 40);
  mftest::Band b = mftest::MakeBand(pic, 0, pic.h);
  int32_t last = -1;
  for (int level : {-500, 0, 500, 1300, 5000})
  {
    MaskFindParams p{level, 0, 0};
    MaskRunList *l = MaskFinderEntry(&p, &b.band);
    ASSERT_NE(l, nullptr);
    EXPECT_GE(l->count, last) << level;
    last = l->count;
    MaskRunListFree(l);
  }
}

TEST_F(EntryTest, SplitModeFindsTextInBothPlanes)
{
  // Grey text (90) on white and white-ish text (200) on mid grey (150): the
  // dark plane at level 128 sees the first, the light plane the second.
  mftest::Picture pic = GlyphPage(240, 140, 1, 90, 255);
  for (int y = 70; y < 140; y++)
    for (int x = 0; x < 240; x++)
      pic.at(y, x) = pic.at(y, x) == 90 ? 40 : 150;
  mftest::Band b = mftest::MakeBand(pic, 0, pic.h);
  MaskFindParams p{0, 128, 0};
  MaskRunList *l = MaskFinderEntry(&p, &b.band);
  ASSERT_NE(l, nullptr);
  std::vector<uint8_t> mask = mftest::MaskOf(l);
  long inkTop = 0, coveredTop = 0;
  for (int y = 0; y < 70; y++)
    for (int x = 0; x < 240; x++)
      if (pic.at(y, x) == 90)
      {
        inkTop++;
        coveredTop += mask[(size_t)y * 240 + x];
      }
  EXPECT_GT(coveredTop, inkTop * 9 / 10);
  MaskRunListFree(l);

  MaskFindParams raw{0, 128, 7};
  MaskRunList *r = MaskFinderEntry(&raw, &b.band);
  ASSERT_NE(r, nullptr);
  EXPECT_GT(r->count, 0);
  MaskRunListFree(r);
  EXPECT_EQ(g_live, 0);
}

TEST_F(EntryTest, LightTextInsideADarkBoxComesBackThroughTheInversionPass)
{
  // A black box holding white glyphs: the box is an inversion candidate and
  // stays out; the light glyphs are judged against 400 + level.
  mftest::Picture pic = GlyphPage(320, 200, 1, 255, 0);
  for (int y = 0; y < 200; y++)
    for (int x = 0; x < 320; x++)
      if (y < 4 || y >= 196 || x < 4 || x >= 316)
        pic.at(y, x) = 255;
  mftest::Band b = mftest::MakeBand(pic, 0, pic.h);
  for (int noInv : {0, 1})
  {
    MaskFindParams p{0, 0, noInv ? MASKFIND_NO_INV_FILTER : 0};
    MaskRunList *l = MaskFinderEntry(&p, &b.band);
    ASSERT_NE(l, nullptr);
    std::vector<uint8_t> mask = mftest::MaskOf(l);
    long glyph = 0, glyphCovered = 0, box = 0, boxCovered = 0;
    for (int y = 4; y < 196; y++)
      for (int x = 4; x < 316; x++)
      {
        bool light = pic.at(y, x) > 128;
        (light ? glyph : box)++;
        (light ? glyphCovered : boxCovered) += mask[(size_t)y * 320 + x];
      }
    if (noInv)
      EXPECT_LT(glyphCovered, glyph / 10);
    else
    {
      EXPECT_GT(glyphCovered, glyph * 9 / 10);
      EXPECT_LT(boxCovered, box / 10);
    }
    MaskRunListFree(l);
  }
}

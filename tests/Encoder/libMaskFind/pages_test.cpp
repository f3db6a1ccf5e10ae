// Whole-band tests on the 300-dpi corpus pages: the mask covers the text
// glyphs and leaves the photographs out. The masks are written as PBM files
// into the test's temporary folder for a person to look at.
#include "TestImages.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#ifndef MASKFIND_PAGES_DIR
#define MASKFIND_PAGES_DIR ""
#endif

namespace
{

struct Rect
{
  int x0, y0, x1, y1; // top-down picture coordinates, end exclusive
};

std::string OutDir()
{
  const char *tmp = std::getenv("VELLUM_TEST_TMP");
  return tmp && *tmp ? tmp : ::testing::TempDir();
}

bool LoadPage(const std::string &name, mftest::Picture &pic)
{
  return mftest::ReadPnm(std::string(MASKFIND_PAGES_DIR) + "/" + name + ".pnm", pic);
}

int Luma(mftest::Picture &pic, int y, int x)
{
  if (pic.channels == 1)
    return pic.at(y, x);
  return (299 * pic.at(y, x, 0) + 587 * pic.at(y, x, 1) + 114 * pic.at(y, x, 2)) / 1000;
}

// Share of the pixels darker than inkLevel inside r that are in the mask.
double InkCovered(mftest::Picture &pic, const std::vector<uint8_t> &mask, Rect r, int inkLevel)
{
  long ink = 0, covered = 0;
  for (int y = r.y0; y < r.y1; y++)
    for (int x = r.x0; x < r.x1; x++)
      if (Luma(pic, y, x) < inkLevel)
      {
        ink++;
        covered += mask[(size_t)y * pic.w + x];
      }
  EXPECT_GT(ink, 1000) << "no ink in the text rectangle";
  return ink ? (double)covered / ink : 0.0;
}

double MaskedShare(const std::vector<uint8_t> &mask, int w, Rect r)
{
  long n = 0;
  for (int y = r.y0; y < r.y1; y++)
    for (int x = r.x0; x < r.x1; x++)
      n += mask[(size_t)y * w + x];
  return (double)n / ((double)(r.x1 - r.x0) * (r.y1 - r.y0));
}

// The page in bands of bandRows rows stepping by bandRows - 48, keeping rows
// 24 .. of every band but the first and up to 24 before the end of every band
// but the last, as the mask driver does; rows top first.
std::vector<uint8_t> BandedMask(const mftest::Picture &pic, int bandRows)
{
  std::vector<uint8_t> mask((size_t)pic.w * pic.h, 0);
  const int step = bandRows - 48;
  for (int top = 0; top < pic.h; top += step)
  {
    // Bands are cut from the bottom of the picture up, like stored rows.
    const int rows = std::min(bandRows, pic.h - top);
    const bool first = top == 0, last = top + rows >= pic.h;
    const int y0 = pic.h - top - rows; // picture row of the band's top
    mftest::Band b = mftest::MakeBand(pic, y0, rows);
    MaskRunList *l = MaskFinderEntry(nullptr, &b.band);
    EXPECT_NE(l, nullptr);
    if (!l)
      break;
    const int lo = first ? 0 : 24, hi = last ? rows - 1 : rows - 25;
    for (int i = 0; i < l->count; i++)
    {
      const int32_t *r = l->runs + 4 * i;
      if (r[RUN_Y] < lo || r[RUN_Y] > hi)
        continue;
      const int y = pic.h - 1 - (top + r[RUN_Y]);
      for (int x = r[RUN_X1]; x <= r[RUN_X2]; x++)
        mask[(size_t)y * pic.w + x] = 1;
    }
    MaskRunListFree(l);
    if (last)
      break;
  }
  return mask;
}

struct PageCase
{
  const char *name;
  int inkLevel;
  std::vector<Rect> text; // ink in these must be in the mask
  double minCovered;
  std::vector<Rect> photos; // these must stay (nearly) out of it
  double maxPhoto;
};

const PageCase kPages[] = {
    {"compound-flower-text-300dpi", 110, {{240, 330, 1200, 540}}, 0.98, {{360, 1890, 1640, 2850}}, 0.02},
    {"composed-article-300dpi",
     110,
     {{300, 160, 2300, 1560}, {300, 2580, 2260, 3200}}, // maths text; dark blue text on pale yellow
     0.97,
     {{300, 1630, 2260, 2510}},
     0.01},
    {"compound-panels-300dpi",
     200, // purple captions and headings
     {{280, 1280, 1760, 1540}, {280, 2780, 2000, 3060}},
     0.97,
     {{480, 380, 1360, 1080}, {520, 1860, 1380, 2520}},
     0.04},
    {"text-maths-grey-300dpi", 110, {{0, 0, 2550, 3300}}, 0.97, {}, 0},
};

} // namespace

class PageTest : public ::testing::TestWithParam<PageCase>
{
};

TEST_P(PageTest, TextInMaskPhotosOut)
{
  const PageCase &c = GetParam();
  mftest::Picture pic;
  if (!LoadPage(c.name, pic))
    FAIL() << "corpus page not converted (pngtopnm): " << MASKFIND_PAGES_DIR << "/" << c.name << ".pnm";
  mftest::Band band = mftest::MakeBand(pic, 0, pic.h);
  MaskRunList *l = MaskFinderEntry(nullptr, &band.band);
  ASSERT_NE(l, nullptr);
  EXPECT_EQ(l->width, pic.w);
  EXPECT_EQ(l->height, pic.h);
  for (int i = 0; i < l->count; i++)
  {
    const int32_t *r = l->runs + 4 * i;
    ASSERT_TRUE(r[RUN_Y] >= 0 && r[RUN_Y] < pic.h - 1 && r[RUN_X1] >= 0 && r[RUN_X1] <= r[RUN_X2] &&
                r[RUN_X2] < pic.w);
  }
  std::vector<uint8_t> mask = mftest::MaskOf(l);
  MaskRunListFree(l);
  EXPECT_TRUE(mftest::WritePbm(OutDir() + "/" + c.name + "-mask.pbm", mask, pic.w, pic.h));
  for (const Rect &r : c.text)
    EXPECT_GE(InkCovered(pic, mask, r, c.inkLevel), c.minCovered) << r.x0 << "," << r.y0;
  for (const Rect &r : c.photos)
    EXPECT_LE(MaskedShare(mask, pic.w, r), c.maxPhoto) << r.x0 << "," << r.y0;
}

INSTANTIATE_TEST_SUITE_P(Corpus, PageTest, ::testing::ValuesIn(kPages),
                         [](const ::testing::TestParamInfo<PageCase> &i)
                         {
                           std::string n = i.param.name;
                           for (char &ch : n)
                             if (!isalnum((unsigned char)ch))
                               ch = '_';
                           return n;
                         });

TEST(PageBands, BandedPageKeepsTextAndDropsPhoto)
{
  mftest::Picture pic;
  if (!LoadPage("compound-flower-text-300dpi", pic))
    FAIL() << "corpus page not converted (pngtopnm)";
  // One inch of rows per band plus the overlap, as with band_inches 1.
  std::vector<uint8_t> mask = BandedMask(pic, 288);
  EXPECT_TRUE(
      mftest::WritePbm(OutDir() + "/compound-flower-text-300dpi-bands288-mask.pbm", mask, pic.w, pic.h));
  EXPECT_GE(InkCovered(pic, mask, {240, 330, 1200, 540}, 110), 0.98);
  EXPECT_LE(MaskedShare(mask, pic.w, {360, 1890, 1640, 2850}), 0.02);
}

// Encoder internals: the IW44 chunk schedule, parameter records, thickening,
// and the mask cleaning passes (tiling, specks, edge smoothing, reading
// order, shape matching).
#include "EncodeInt.h"

#include "ByteStream.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

using namespace DJVU;
using vellum_api::clean_jb2;
using vellum_api::iw44_schedule;

namespace
{

// Rows given top first, '#' black.
GP<GBitmap> bitmap(const std::vector<std::string> &rows)
{
  int h = (int)rows.size(), w = h ? (int)rows[0].size() : 0;
  GP<GBitmap> bm = GBitmap::create(h, w);
  for (int t = 0; t < h; t++)
    for (int x = 0; x < w; x++)
      (*bm)[h - 1 - t][x] = rows[t][x] == '#';
  return bm;
}

std::vector<std::string> rows_of(const GBitmap &bm)
{
  std::vector<std::string> out;
  for (int t = (int)bm.rows() - 1; t >= 0; t--)
  {
    std::string s;
    for (int x = 0; x < (int)bm.columns(); x++)
      s += bm[t][x] ? '#' : '.';
    out.push_back(s);
  }
  return out;
}

GP<GBitmap> box(int w, int h)
{
  GP<GBitmap> bm = GBitmap::create(h, w);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++)
      (*bm)[y][x] = 1;
  return bm;
}

int add(JB2Image &jb2, GP<GBitmap> bits, int left, int bottom)
{
  JB2Shape s;
  s.parent = -1;
  s.userdata = 0;
  s.bits = bits;
  JB2Blit b;
  b.left = (unsigned short)left;
  b.bottom = (unsigned short)bottom;
  b.shapeno = jb2.add_shape(s);
  return jb2.add_blit(b);
}

GP<JB2Image> page(int w, int h)
{
  GP<JB2Image> jb2 = JB2Image::create();
  jb2->set_dimension(w, h);
  return jb2;
}

long black(const JB2Image &jb2)
{
  GP<GBitmap> bm = jb2.get_bitmap(1, 1);
  long n = 0;
  for (int y = 0; y < (int)bm->rows(); y++)
    for (int x = 0; x < (int)bm->columns(); x++)
      n += (*bm)[y][x] != 0;
  return n;
}

} // namespace

TEST(Iw44Schedule, CumulativeSliceTargets)
{
  struct Case
  {
    int q, r, t0, t1, t2, t3;
  } cases[] = {
      {75, 3, 74, 84, 88, 97}, {100, 3, 76, 97, 105, 122}, {50, 3, 73, 80, 83, 88},
      {0, 3, 74, 84, 88, 97},  {150, 3, 76, 97, 105, 122}, {80, 3, 74, 87, 92, 102},
  };
  for (const Case &c : cases)
  {
    iw44_schedule s(c.q, c.r);
    SCOPED_TRACE("q=" + std::to_string(c.q));
    ASSERT_EQ(s.count, 4);
    EXPECT_EQ(s.parms[0].slices, c.t0);
    EXPECT_EQ(s.parms[1].slices, c.t1);
    EXPECT_EQ(s.parms[2].slices, c.t2);
    EXPECT_EQ(s.parms[3].slices, c.t3);
    for (int i = 0; i < 64; i++)
    {
      EXPECT_EQ(s.parms[i].bytes, 0);
      EXPECT_EQ(s.parms[i].decibels, 0);
    }
  }
}

TEST(Iw44Schedule, BaseByRatio)
{
  // Quality 1 gives s = 0: every target is the base.
  const int base[] = {62, 62, 68, 72, 75, 77, 78, 80, 81, 82, 83, 84, 85, 85, 85};
  for (int r = 0; r <= 14; r++)
    EXPECT_EQ(iw44_schedule(1, r).parms[3].slices, base[r]) << "r=" << r;
}

TEST(EncodeParams, SizePrefixedCopyOverDefaults)
{
  djvu_encode_params d = vellum_api::encode_params(nullptr);
  EXPECT_EQ(d.size, 28);
  EXPECT_FLOAT_EQ(d.gamma, 2.2f);
  EXPECT_EQ(d.quality, 75);
  EXPECT_EQ(d.flags, 0);
  EXPECT_EQ(d.fg_dpi, 25);
  EXPECT_EQ(d.bg_dpi, 100);

  djvu_encode_params c = {12, 1.8f, 90, 3, 50, 150, 7};
  djvu_encode_params r = vellum_api::encode_params(&c);
  EXPECT_FLOAT_EQ(r.gamma, 1.8f);
  EXPECT_EQ(r.quality, 90);
  EXPECT_EQ(r.flags, 0) << "fields past size keep their defaults";
  EXPECT_EQ(r.fg_dpi, 25);

  c = {28, -1.0f, 0, 0, 50, 100, 0};
  r = vellum_api::encode_params(&c);
  EXPECT_FLOAT_EQ(r.gamma, 2.2f);
  EXPECT_EQ(r.quality, 75);
  EXPECT_EQ(r.fg_dpi, 50);

  djvu_iw44_params ic = {20, 0.0f, 150, 2, 0};
  djvu_iw44_params ir = vellum_api::iw44_params(&ic);
  EXPECT_FLOAT_EQ(ir.gamma, 2.2f);
  EXPECT_EQ(ir.quality, 100);
  EXPECT_EQ(ir.flags, 2);
  ic.size = 0;
  EXPECT_EQ(vellum_api::iw44_params(&ic).quality, 75);
}

TEST(Thicken, OneColumnWiderRightOfLastBlack)
{
  GP<JB2Image> jb2 = page(100, 100);
  add(*jb2, bitmap({"#.#", "...", ".#."}), 10, 10);
  vellum_api::thicken_shapes(*jb2);
  EXPECT_EQ(rows_of(*jb2->get_shape(0).bits), (std::vector<std::string>{"#.##", "....", ".##."}));
}

TEST(SmoothEdges, StraightensOnePixelJags)
{
  struct Case
  {
    std::vector<std::string> in, out;
  } cases[] = {
      // A bump of one pixel on the left edge of a bar goes.
      {{"..###", "..###", ".####", "..###", "..###"}, {"..###", "..###", "..###", "..###", "..###"}},
      // A notch of one pixel in the right edge is filled.
      {{"####.", "####.", "###..", "####.", "####."}, {"####.", "####.", "####.", "####.", "####."}},
      // A rectangle stays as it is.
      {{"....", ".##.", ".##.", "...."}, {"....", ".##.", ".##.", "...."}},
      // A staircase (steps in one direction) stays.
      {{"#...", "##..", "###.", "####"}, {"#...", "##..", "###.", "####"}},
  };
  for (const Case &c : cases)
    EXPECT_EQ(rows_of(*vellum_api::smooth_edges(*bitmap(c.in))), c.out);
}

TEST(CleanMask, TilesLargeShapesAndDropsSpecks)
{
  // Level 8: tiles of 64 (width/20 = 50 is smaller); no speck removal.
  GP<JB2Image> jb2 = page(1000, 1000);
  add(*jb2, box(200, 10), 100, 100);
  add(*jb2, box(2, 2), 500, 500);
  GP<JB2Image> out = clean_jb2(*jb2, 8);
  EXPECT_EQ(out->get_blit_count(), 5); // 4 tiles + the speck
  EXPECT_EQ(black(*out), 200 * 10 + 4);
  for (int i = 0; i < out->get_blit_count(); i++)
    EXPECT_LE(out->get_shape(out->get_blit(i)->shapeno).bits->columns(), 64u);

  // Level 31 on a 2550 x 3300 page: specks up to 3 x 3 go, tiles of 127.
  jb2 = page(2550, 3300);
  add(*jb2, box(3, 3), 10, 10);
  add(*jb2, box(4, 3), 100, 10);
  add(*jb2, box(300, 20), 100, 1000);
  out = clean_jb2(*jb2, 31);
  EXPECT_EQ(out->get_blit_count(), 1 + 3);
  EXPECT_EQ(black(*out), 12 + 300 * 20);
}

TEST(CleanMask, ReadingOrderLinesTopDownLeftToRight)
{
  GP<JB2Image> jb2 = page(1000, 1000);
  // Second line first in the input, then the first line right to left.
  add(*jb2, box(10, 20), 50, 700);
  add(*jb2, box(10, 20), 20, 700);
  add(*jb2, box(11, 20), 300, 900);
  add(*jb2, box(12, 22), 100, 898);
  GP<JB2Image> out = clean_jb2(*jb2, 8);
  ASSERT_EQ(out->get_blit_count(), 4);
  const int lefts[] = {100, 300, 20, 50};
  for (int i = 0; i < 4; i++)
    EXPECT_EQ(out->get_blit(i)->left, lefts[i]);
  // Shapes numbered in order of first use.
  EXPECT_EQ(out->get_blit(0)->shapeno, 0u);
  EXPECT_EQ(out->get_shape(0).bits->columns(), 12u);
}

TEST(CleanMask, MatchingSharesOneShapeForRepeatedGlyphs)
{
  const std::vector<std::string> o = {".####.", "##..##", "##..##", "##..##", "##..##", ".####."};
  const std::vector<std::string> o_noisy = {".####.", "##..##", "##..##", "##.###", "##..##", ".####."};
  const std::vector<std::string> bar = {"######", "######", "######", "######", "######", "######"};
  GP<JB2Image> jb2 = page(1000, 1000);
  add(*jb2, bitmap(o), 10, 500);
  add(*jb2, bitmap(o_noisy), 30, 500);
  add(*jb2, bitmap(bar), 50, 500);
  add(*jb2, bitmap(o), 70, 500);

  // Without loss only exact copies share a shape.
  GP<JB2Image> lossless = clean_jb2(*jb2, 8);
  EXPECT_EQ(lossless->get_shape_count(), 3);
  EXPECT_EQ(lossless->get_blit(0)->shapeno, lossless->get_blit(3)->shapeno);
  EXPECT_NE(lossless->get_blit(0)->shapeno, lossless->get_blit(1)->shapeno);

  GP<JB2Image> out = clean_jb2(*jb2, 15);
  ASSERT_EQ(out->get_blit_count(), 4);
  EXPECT_EQ(out->get_shape_count(), 2) << "the o's share a shape, the filled box does not";
  EXPECT_EQ(out->get_blit(0)->shapeno, out->get_blit(1)->shapeno);
  EXPECT_EQ(out->get_blit(0)->shapeno, out->get_blit(3)->shapeno);
  EXPECT_NE(out->get_blit(0)->shapeno, out->get_blit(2)->shapeno);
  EXPECT_EQ(out->get_blit(3)->left, 70);
  EXPECT_EQ(out->get_blit(3)->bottom, 500);
}

TEST(CleanMask, EmptyShapesAreDropped)
{
  GP<JB2Image> jb2 = page(100, 100);
  add(*jb2, GBitmap::create(5, 5), 10, 10);
  add(*jb2, box(5, 5), 50, 50);
  GP<JB2Image> out = clean_jb2(*jb2, 15);
  EXPECT_EQ(out->get_blit_count(), 1);
  EXPECT_EQ(out->get_width(), 100);
  EXPECT_EQ(out->get_height(), 100);
}

TEST(CleanMask, ThickDifferencesAreRefinedNotReplaced)
{
  // A ring, and the same ring with a 3 x 3 blot inside: close in pixel count
  // and mismatch, but the blot is a real stroke.
  std::vector<std::string> ring(10, "##......##"), blot;
  ring[0] = ring[1] = ring[8] = ring[9] = "##########";
  blot = ring;
  for (int y = 3; y < 6; y++)
    blot[y] = "##.###..##";
  GP<JB2Image> jb2 = page(200, 100);
  add(*jb2, bitmap(ring), 10, 50);
  add(*jb2, bitmap(blot), 40, 50);
  GP<JB2Image> out = clean_jb2(*jb2, 15);
  ASSERT_EQ(out->get_blit_count(), 2);
  ASSERT_EQ(out->get_shape_count(), 2);
  EXPECT_EQ(out->get_shape(1).parent, 0);
  EXPECT_EQ(black(*out), 64 * 2 + 9);
}

TEST(CleanMask, OnePixelSpecksGoOnlyWithCleanUp)
{
  GP<JB2Image> jb2 = page(100, 100);
  add(*jb2, box(1, 1), 10, 10);
  add(*jb2, box(2, 1), 30, 10);
  add(*jb2, box(5, 5), 50, 50);
  EXPECT_EQ(clean_jb2(*jb2, 8)->get_blit_count(), 3) << "lossless keeps every pixel";
  GP<JB2Image> out = clean_jb2(*jb2, 15);
  EXPECT_EQ(out->get_blit_count(), 2);
  EXPECT_EQ(black(*out), 2 + 25);
}

TEST(CleanMask, LargeNearShapesAreCodedAsRefinementsWithoutLoss)
{
  // Two 60 x 60 hatchings, the second with a solid blot: too different to
  // share a shape, near enough for the second to be coded as a refinement
  // of the first. Without loss the page decodes to exactly the same pixels.
  std::vector<std::string> a(60, std::string(60, '.')), b;
  for (int y = 0; y < 60; y++)
    for (int x = 0; x < 60; x++)
      if ((x + y) % 6 < 2)
        a[y][x] = '#';
  b = a;
  for (int y = 20; y < 32; y++)
    for (int x = 20; x < 32; x++)
      b[y][x] = '#';
  GP<JB2Image> jb2 = page(300, 100);
  add(*jb2, bitmap(a), 10, 20);
  add(*jb2, bitmap(b), 150, 20);
  GP<GBitmap> before = jb2->get_bitmap();
  for (int level : {8, 15})
  {
    SCOPED_TRACE(level);
    GP<JB2Image> out = clean_jb2(*jb2, level);
    ASSERT_EQ(out->get_shape_count(), 2);
    EXPECT_EQ(out->get_shape(1).parent, 0);
  }
  GP<JB2Image> out = clean_jb2(*jb2, 8);
  GP<ByteStream> mem = ByteStream::create();
  out->encode(mem);
  mem->seek(0);
  GP<JB2Image> back = JB2Image::create();
  back->decode(mem);
  EXPECT_EQ(rows_of(*back->get_bitmap()), rows_of(*before));
}

// The page's pixels after a JB2 round trip of the cleaned image.
std::vector<std::string> coded_rows(const JB2Image &jb2)
{
  GP<ByteStream> mem = ByteStream::create();
  const_cast<JB2Image &>(jb2).encode(mem);
  mem->seek(0);
  GP<JB2Image> back = JB2Image::create();
  back->decode(mem);
  return rows_of(*back->get_bitmap());
}

TEST(CleanMask, SpecksGatherIntoOneShapePerCellWithoutLoss)
{
  // Dust: 1 x 1, 2 x 1 and 2 x 2 specks spread over a 700 x 400 page (cells
  // of 300 pixels: 3 x 2 of them), some on cell borders and at the page's
  // edges, between two letters; a 3 x 1 dash is no speck.
  GP<JB2Image> jb2 = page(700, 400);
  int specks = 0;
  std::set<std::pair<int, int>> cells;
  for (int k = 0; k < 120; k++)
  {
    const int x = (k * 157) % 698, y = (k * 89) % 398, kind = k % 3;
    add(*jb2, box(kind ? 2 : 1, kind == 2 ? 2 : 1), x, y);
    specks++;
    cells.insert({(y + (kind == 2)) / 300, (x + (kind ? 1 : 0)) / 300});
  }
  add(*jb2, box(3, 1), 0, 0);
  add(*jb2, box(12, 20), 340, 200);
  add(*jb2, box(12, 20), 360, 200);
  GP<GBitmap> before = jb2->get_bitmap();
  for (int level : {8, 15})
  {
    SCOPED_TRACE(level);
    GP<JB2Image> gathered = clean_jb2(*jb2, level | 32), apart = clean_jb2(*jb2, level);
    // One blit per cell of specks, the dash and the letters (one shape).
    EXPECT_EQ(gathered->get_blit_count(), (int)cells.size() + 3);
    EXPECT_LE(gathered->get_shape_count(), (int)cells.size() + 2);
    if (level == 8)
    {
      EXPECT_EQ(apart->get_blit_count(), specks + 3);
      EXPECT_EQ(coded_rows(*gathered), rows_of(*before)) << "lossless";
      EXPECT_EQ(coded_rows(*apart), rows_of(*before));
    }
  }
}

TEST(CleanMask, LosslessSmallShapesAreRefinementsOfNearOnes)
{
  // Letters of 14 x 18 pixels, each a copy of the first with one to three
  // pixels changed: without matching every later one is coded as a
  // refinement of an earlier one (a letter differing in over 21 % of its box
  // is not), and the page decodes exactly.
  std::vector<std::string> a(18, std::string(14, '.'));
  for (int y = 0; y < 18; y++)
    for (int x = 0; x < 14; x++)
      a[y][x] = (x < 3 || y < 3 || y > 14 || (x > 10 && y < 9)) ? '#' : '.';
  GP<JB2Image> jb2 = page(400, 60);
  add(*jb2, bitmap(a), 10, 20);
  for (int k = 1; k <= 3; k++)
  {
    std::vector<std::string> b = a;
    for (int d = 0; d < k; d++)
      b[5 + d][6] = '#';
    add(*jb2, bitmap(b), 10 + 30 * k, 20);
  }
  std::vector<std::string> other(18, std::string(14, '.'));
  for (int y = 0; y < 18; y++)
    for (int x = 0; x < 14; x++)
      other[y][x] = (x + y) % 2 ? '#' : '.';
  other[0] = other[17] = std::string(14, '#');
  add(*jb2, bitmap(other), 200, 20);
  GP<GBitmap> before = jb2->get_bitmap();
  GP<JB2Image> out = clean_jb2(*jb2, 8);
  ASSERT_EQ(out->get_shape_count(), 5);
  EXPECT_EQ(out->get_shape(0).parent, -1);
  for (int s = 1; s <= 3; s++)
    EXPECT_GE(out->get_shape(s).parent, 0) << s;
  EXPECT_EQ(out->get_shape(4).parent, -1);
  EXPECT_EQ(coded_rows(*out), rows_of(*before));
}

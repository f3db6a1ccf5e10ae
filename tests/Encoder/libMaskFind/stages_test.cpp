// Grey preparation, block statistics, clustering, thresholds and run
// extraction on small bands whose results are worked out by hand.
#include "MaskFindInternal.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

using namespace maskfind;

namespace
{

struct RunT
{
  int y, x1, x2;
  bool operator==(const RunT &o) const { return y == o.y && x1 == o.x1 && x2 == o.x2; }
};
std::ostream &operator<<(std::ostream &os, const RunT &r)
{
  return os << "(" << r.y << "," << r.x1 << "," << r.x2 << ")";
}

std::vector<RunT> RunsOf(const RunList &l)
{
  std::vector<RunT> v;
  for (int32_t i = 0; i < l.count; i++)
    v.push_back({l.at(i)[RUN_Y], l.at(i)[RUN_X1], l.at(i)[RUN_X2]});
  return v;
}

void Fill(GreyPlane &p, uint8_t v)
{
  for (int32_t y = 0; y < p.h; y++)
    std::memset(p.row(y), v, p.w);
}

} // namespace

TEST(GreyPrep, PlaneHasWhiteMarginOfTwo)
{
  GreyPlane p;
  MakeGreyPlane(p, 13, 17);
  EXPECT_EQ(p.rowsize, 21u);
  Fill(p, 0);
  const uint8_t *b = p.buf.get();
  for (size_t y = 0; y < 17; y++)
    for (size_t x = 0; x < 21; x++)
    {
      bool inner = y >= 2 && y < 15 && x >= 2 && x < 19;
      ASSERT_EQ(b[y * 21 + x], inner ? 0 : 63) << y << "," << x;
    }
  EXPECT_EQ(p.row(0), b + 2 * 21 + 2);
}

TEST(GreyPrep, LuminanceWeightsAndByteOrder)
{
  struct Case
  {
    uint8_t r, g, b;
    int grey;
  } cases[] = {{255, 255, 255, 254}, // (612 + 1202 + 233) * 255 >> 11 = 254
               {255, 0, 0, 76},      {0, 255, 0, 149}, {0, 0, 255, 29}, {10, 20, 30, 18}, {0, 0, 0, 0}};
  const int n = (int)(sizeof cases / sizeof cases[0]);
  std::vector<uint8_t> rgb(12 * 12 * 3, 0), bgr(12 * 12 * 3, 0);
  for (int i = 0; i < n; i++)
  {
    uint8_t *p = &rgb[i * 3], *q = &bgr[i * 3];
    p[0] = q[2] = cases[i].r;
    p[1] = q[1] = cases[i].g;
    p[2] = q[0] = cases[i].b;
  }
  MaskFindBand a{MASKFIND_RGB, 12, 12, 0, 36, 3, rgb.data()}, b{MASKFIND_BGR, 12, 12, 0, 36, 3, bgr.data()};
  GreyPlane pa, pb;
  MakeGreyPlane(pa, 12, 12);
  MakeGreyPlane(pb, 12, 12);
  RgbToGrey(a, pa);
  RgbToGrey(b, pb);
  for (int i = 0; i < n; i++)
  {
    EXPECT_EQ(pa.at(0, i), cases[i].grey) << i;
    EXPECT_EQ(pb.at(0, i), cases[i].grey) << i;
  }
  QuantiseGrey(SourceOf(pa), pa);
  EXPECT_EQ(pa.at(0, 0), 254 >> 2);
  EXPECT_EQ(pa.at(0, 1), 76 >> 2);
}

TEST(GreyPrep, SplitGreyAtLevel128)
{
  struct Case
  {
    uint8_t f;
    int light, dark;
  } cases[] = {{0, 0, 0}, {1, 0, 0}, {64, 0, 32}, {127, 0, 63}, {128, 0, 63}, {192, 32, 63}, {255, 63, 63}};
  std::vector<uint8_t> src(12 * 12, 255);
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; i++)
    src[i] = cases[i].f;
  GreySource s{src.data(), 12, 12, 12};
  GreyPlane light, dark;
  MakeGreyPlane(light, 12, 12);
  MakeGreyPlane(dark, 12, 12);
  SplitGrey(s, &light, &dark, 128);
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; i++)
  {
    EXPECT_EQ(light.at(0, (int)i), cases[i].light) << (int)cases[i].f;
    EXPECT_EQ(dark.at(0, (int)i), cases[i].dark) << (int)cases[i].f;
  }
}

TEST(BlockStats, FlatBlocksAreUniformAndLastBlockOverlaps)
{
  // 30 x 30: three block columns, the last one starting at column 18.
  GreyPlane p;
  MakeGreyPlane(p, 30, 30);
  Fill(p, 40);
  BlockStats bs;
  bs.init(30, 30);
  ASSERT_EQ(bs.R, 3);
  ASSERT_EQ(bs.Rn, 2);
  // The margin brightens only smoothing windows that reach it; the inner
  // 12 x 12 cells of block (1, 1) stay flat.
  ComputeBlockStats(p, bs);
  const size_t q = bs.blk(1, 1);
  EXPECT_EQ(bs.lo[q], 40);
  EXPECT_EQ(bs.hi[q], 40);
  EXPECT_EQ(bs.hist[q * 64 + 40], 144);
  for (int x = 0; x < 64; x++)
    EXPECT_EQ(bs.bound[q * 64 + x], 0) << x;
  // Last block column starts at 18: a dark column at x = 17 is smoothed into
  // its first cells, x = 16 is not.
  p.row(5)[16] = 0;
  ComputeBlockStats(p, bs);
  EXPECT_EQ(bs.lo[bs.blk(0, 2)], 40);
  p.row(5)[17] = 0;
  ComputeBlockStats(p, bs);
  EXPECT_EQ(bs.lo[bs.blk(0, 2)], (40 * 8) / 9);
}

TEST(Clustering, FlatGroupIsUniformAtItsValue)
{
  // 48 x 48 of one value: the four blocks of group (1, 1) lie two pixels or
  // more from the edge, so all their smoothed values equal the value; the
  // group is uniform with frac 0 and both levels at the value. A single
  // pixel one level darker inside it makes it a split group.
  for (uint8_t v : {uint8_t(0), uint8_t(17), uint8_t(40), uint8_t(63)})
  {
    GreyPlane p;
    MakeGreyPlane(p, 48, 48);
    Fill(p, v);
    BlockStats bs;
    bs.init(48, 48);
    ComputeBlockStats(p, bs);
    ClusterGroups(bs);
    const size_t g = bs.grp(1, 1);
    EXPECT_EQ(bs.frac[g], 0.0f) << (int)v;
    EXPECT_EQ(bs.levels[2 * g], (float)v) << (int)v;
    EXPECT_EQ(bs.levels[2 * g + 1], (float)v) << (int)v;
  }
}

TEST(BlockStats, BoundaryHistogramKeepsLowEightBits)
{
  // A one-pixel checkerboard of 0 and 63 smooths to 28 (under a 0) and 35
  // (under a 63). In every cell the right and lower neighbours are equal and
  // opposite to the cell, so each of the 144 cells adds 4 over [28, 35):
  // 576 / 2 = 288, stored as 288 & 255 = 32.
  GreyPlane p;
  MakeGreyPlane(p, 36, 36);
  for (int y = 0; y < 36; y++)
    for (int x = 0; x < 36; x++)
      p.row(y)[x] = (x + y) % 2 ? 63 : 0;
  BlockStats bs;
  bs.init(36, 36);
  ComputeBlockStats(p, bs);
  const size_t q = bs.blk(1, 1);
  EXPECT_EQ(bs.lo[q], 28);
  EXPECT_EQ(bs.hi[q], 35);
  EXPECT_EQ(bs.hist[q * 64 + 28], 72);
  EXPECT_EQ(bs.hist[q * 64 + 35], 72);
  for (int x = 0; x < 64; x++)
    EXPECT_EQ(bs.bound[q * 64 + x], x >= 28 && x < 35 ? 32 : 0) << x;
}

TEST(Clustering, TwoLevelGroupScore)
{
  // 100 pixels at level 10, 476 at level 30, no boundary. One-level score
  // S^2/N = 9520^2/576 = 157344.4; the split at k = 0 scores
  // 9520 x 20 + 100 ln 2 - 0.1 x 576 x 30 = 188741.3 and wins.
  BlockStats bs;
  int32_t n[21] = {}, b[21] = {};
  n[0] = 100;
  n[20] = 476;
  float frac, F, B;
  ClusterLevels(bs, 10, 20, n, b, frac, F, B);
  EXPECT_FLOAT_EQ(frac, 100.0f / 576.0f);
  EXPECT_FLOAT_EQ(F, 10.0f);
  EXPECT_FLOAT_EQ(B, 30.0f);
  // A boundary of 524 at the split costs 60 x 524 = 31440 > 31396.9: no split,
  // both levels at the mean 10 + 9520/576.
  b[0] = 524;
  ClusterLevels(bs, 10, 20, n, b, frac, F, B);
  EXPECT_EQ(frac, 0.0f);
  EXPECT_FLOAT_EQ(F, 10.0f + 9520.0f / 576.0f);
  EXPECT_EQ(F, B);
  b[0] = 523; // 31380 < 31396.9: split again
  ClusterLevels(bs, 10, 20, n, b, frac, F, B);
  EXPECT_FLOAT_EQ(B, 30.0f);
}

TEST(Thresholds, SplitBlockGetsFiveThresholdsAroundMid)
{
  // Left half 0, right half 63 over a 48 x 48 band: the groups split into
  // levels near 0 and 63; the blocks containing the edge choose them.
  GreyPlane p;
  MakeGreyPlane(p, 48, 48);
  Fill(p, 63);
  for (int y = 0; y < 48; y++)
    std::memset(p.row(y), 0, 18);
  BlockStats bs;
  bs.init(48, 48);
  ComputeBlockStats(p, bs);
  ClusterGroups(bs);
  LabelUniformGroups(bs);
  ChooseThresholds(bs);
  const int32_t *T = bs.thr(1, 1); // block columns 12..23 hold the edge at 18
  ASSERT_NE(T[2], -1);
  for (int k = 0; k < 5; k++)
    EXPECT_EQ(T[k], T[2] + (k - 2) * 6);
  // A white block far from the edge is empty.
  EXPECT_EQ(bs.thr(1, 3)[2], -1);
}

TEST(Thresholds, UniformPages)
{
  // White: every group uniform with frac 0, every block empty, no runs.
  // Black: the blocks whose smoothing reaches the white margin see two
  // levels, so the border groups are split groups with a large dark
  // fraction; the interior stays dark through both labelling passes and the
  // whole band but its last row becomes runs (the filter drops them later).
  struct Case
  {
    uint8_t v;
    bool runs;
  } cases[] = {{63, false}, {0, true}};
  for (const auto &c : cases)
  {
    GreyPlane p;
    MakeGreyPlane(p, 72, 84);
    Fill(p, c.v);
    RunList l(16);
    FindBlockRuns(p, l);
    EXPECT_EQ(l.width, 84);
    EXPECT_EQ(l.height, 72);
    if (!c.runs)
      EXPECT_EQ(l.count, 0);
    else
    {
      ASSERT_EQ(l.count, 71);
      EXPECT_EQ(l.at(70)[RUN_Y], 70);
      EXPECT_EQ(l.at(70)[RUN_X1], 0);
      EXPECT_EQ(l.at(70)[RUN_X2], 83);
    }
  }
}

TEST(Thresholds, BandOfOneBlockHasNoGroupsAndNoRuns)
{
  GreyPlane p;
  MakeGreyPlane(p, 12, 40);
  Fill(p, 63);
  for (int y = 0; y < 12; y++)
    std::memset(p.row(y) + 10, 0, 5);
  RunList l(16);
  FindBlockRuns(p, l);
  EXPECT_EQ(l.count, 0);
}

namespace
{

struct ScanCase
{
  const char *name;
  // (row, column, value) pixels set in a white 24 x 24 plane
  std::vector<std::array<int, 3>> pixels;
  bool secondBlockEmpty;
  std::vector<RunT> expected;
};

} // namespace

TEST(RunExtraction, HysteresisAndShift)
{
  // Thresholds of every block: mid 30, T = 18 24 30 36 42.
  const ScanCase cases[] = {
      {"lone 26, light neighbours (k=-1): not below 18", {{0, 5, 26}}, false, {}},
      {"lone 17 begins, white ends at once", {{0, 5, 17}}, false, {{0, 5, 5}}},
      {"26 with dark neighbours (k=+1) begins below 30; continues below",
       {{0, 5, 26}, {0, 6, 0}, {1, 5, 0}},
       false,
       {{0, 5, 6}, {1, 5, 5}}},
      {"35 between dark neighbours does not end (>= 36 needed)",
       {{0, 5, 10}, {0, 6, 35}, {0, 7, 0}, {1, 5, 0}, {1, 6, 0}},
       false,
       {{0, 5, 7}, {1, 5, 6}}},
      {"36 ends; the run below continues across the gap",
       {{0, 5, 10}, {0, 6, 36}, {0, 7, 0}, {1, 5, 0}, {1, 6, 0}},
       false,
       {{0, 5, 5}, {0, 7, 7}, {1, 5, 6}}},
      {"run enters an empty block and ends at its first pixel; dark pixels there are skipped",
       {{0, 10, 0}, {0, 11, 0}, {0, 12, 0}, {0, 13, 0}, {0, 16, 0}},
       true,
       {{0, 10, 11}}},
      {"last row yields no runs", {{23, 5, 0}, {23, 6, 0}}, false, {}},
  };
  for (const auto &c : cases)
  {
    GreyPlane p;
    MakeGreyPlane(p, 24, 24);
    Fill(p, 63);
    for (auto &px : c.pixels)
      p.row(px[0])[px[1]] = (uint8_t)px[2];
    BlockStats bs;
    bs.init(24, 24);
    for (int i = 0; i < 2; i++)
      for (int j = 0; j < 2; j++)
        for (int k = 0; k < 5; k++)
          bs.thr(i, j)[k] = c.secondBlockEmpty && j == 1 ? -1 : 18 + 6 * k;
    RunList l(4);
    ExtractRuns(p, bs, l);
    EXPECT_EQ(RunsOf(l), c.expected) << c.name;
  }
}

TEST(RunList, GrowsAndTrims)
{
  RunList l(2);
  for (int i = 0; i < 100; i++)
    l.add(i, i, i + 1, 0);
  EXPECT_EQ(l.count, 100);
  EXPECT_GE(l.capacity, 100);
  l.trim();
  EXPECT_EQ(l.capacity, 100);
  EXPECT_EQ(l.at(99)[RUN_X2], 100);
}

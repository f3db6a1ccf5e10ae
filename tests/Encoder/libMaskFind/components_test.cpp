// Labelling, eroded runs, coding cost and the inversion test on small bands
// whose results are worked out by hand.
#include "MaskFindInternal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

using namespace maskfind;

namespace
{

// A white band of w x h pixels with 1 or 3 bytes per pixel.
struct TestBand
{
  int w, h, ps;
  std::vector<uint8_t> data;
  TestBand(int w_, int h_, int ps_) : w(w_), h(h_), ps(ps_), data((size_t)w_ * h_ * ps_, 255) {}
  void set(int y, int x, int v)
  {
    for (int c = 0; c < ps; c++)
      data[((size_t)y * w + x) * ps + c] = (uint8_t)v;
  }
  void setRgb(int y, int x, int r, int g, int b)
  {
    uint8_t *p = &data[((size_t)y * w + x) * 3];
    p[0] = (uint8_t)r;
    p[1] = (uint8_t)g;
    p[2] = (uint8_t)b;
  }
  MaskFindBand band() const
  {
    return MaskFindBand{ps == 1 ? MASKFIND_GRAY : MASKFIND_RGB, w, h, 0, w * ps, ps, data.data()};
  }
};

// Runs of pixels darker than 128, row by row.
void RunsOfDark(const TestBand &b, RunList &runs)
{
  for (int y = 0; y < b.h; y++)
    for (int x = 0; x < b.w;)
    {
      if (b.data[((size_t)y * b.w + x) * b.ps] >= 128)
      {
        x++;
        continue;
      }
      int x1 = x;
      while (x < b.w && b.data[((size_t)y * b.w + x) * b.ps] < 128)
        x++;
      runs.add(y, x1, x - 1, 0);
    }
}

struct Judged
{
  int32_t state, cost, bgCount, holeArea;
  int32_t colour[3];
};

// Labels runs, runs the erosion stage and judges component c.
Judged Judge(const TestBand &tb, RunList &runs, int32_t c, int level, bool noInversion = false)
{
  MaskFindBand band = tb.band();
  MaskFindParams mp{level, 0, noInversion ? MASKFIND_NO_INV_FILTER : 0};
  FilterSetup fs;
  MakeFilterParams(mp, band, fs);
  CompTable table;
  PassData pd;
  LabelComponents(runs, table);
  const BandView view = ViewOf(band);
  ErosionStage(view, runs, table, pd);
  JudgeComponent(view, table, c, runs, fs.normal, pd);
  const int32_t *col = table.at(c);
  return Judged{col[CC_STATE],
                col[CC_COST],
                fs.normal.backgroundCount,
                fs.normal.holeArea,
                {col[CC_COLOR], col[CC_COLOR + 1], col[CC_COLOR + 2]}};
}

} // namespace

TEST(Labelling, ConnectivityAndNumbering)
{
  struct Case
  {
    const char *name;
    std::vector<std::array<int, 3>> runs;
    std::vector<int> ids;
  } cases[] = {
      {"diagonal contact stays apart", {{5, 0, 9}, {6, 10, 12}}, {0, 1}},
      {"one shared column connects", {{5, 0, 9}, {6, 9, 12}}, {0, 0}},
      {"rows not adjacent", {{0, 0, 5}, {2, 0, 5}}, {0, 1}},
      {"U joins to the smaller label", {{0, 0, 2}, {0, 6, 8}, {1, 0, 8}}, {0, 0, 0}},
      {"numbered by first run", {{0, 10, 12}, {1, 0, 2}, {1, 10, 12}}, {0, 1, 0}},
      {"long previous run examined again", {{0, 0, 10}, {1, 0, 2}, {1, 5, 7}}, {0, 0, 0}},
      {"two trees merged under a third run",
       {{0, 0, 1}, {0, 4, 5}, {0, 8, 9}, {1, 1, 4}, {2, 20, 21}, {2, 30, 31}, {3, 5, 9}},
       {0, 0, 1, 0, 2, 3, 4}},
      {"late merge renumbers", {{0, 0, 1}, {0, 5, 6}, {1, 0, 6}, {2, 9, 9}}, {0, 0, 0, 1}},
  };
  for (const auto &c : cases)
  {
    RunList runs(4);
    for (auto &r : c.runs)
      runs.add(r[0], r[1], r[2], -1);
    CompTable table;
    LabelComponents(runs, table);
    std::vector<int> ids;
    for (int32_t i = 0; i < runs.count; i++)
      ids.push_back(runs.at(i)[RUN_ID]);
    EXPECT_EQ(ids, c.ids) << c.name;
    int32_t total = 0;
    for (int32_t k = 0; k < table.count; k++)
      total += table.at(k)[CC_RUNS];
    EXPECT_EQ(total, runs.count) << c.name;
  }
}

TEST(Labelling, StatisticsAndComponentOrder)
{
  RunList runs(4);
  for (auto r :
       std::vector<std::array<int, 3>>{{3, 10, 12}, {3, 20, 25}, {4, 11, 21}, {5, 40, 40}, {6, 0, 1}})
    runs.add(r[0], r[1], r[2], -1);
  CompTable table;
  LabelComponents(runs, table);
  ASSERT_EQ(table.count, 3);
  const int32_t *c0 = table.at(0);
  EXPECT_EQ(c0[CC_RUNS], 3);
  EXPECT_EQ(c0[CC_AREA], 3 + 6 + 11);
  EXPECT_EQ(c0[CC_LEFT], 10);
  EXPECT_EQ(c0[CC_TOP], 3);
  EXPECT_EQ(c0[CC_RIGHT], 25);
  EXPECT_EQ(c0[CC_BOTTOM], 4);
  EXPECT_EQ(c0[CC_STATE], 1);
  EXPECT_EQ(c0[CC_COLOR], 255);
  const int32_t *idx = table.runsOf(0);
  EXPECT_EQ(idx[0], 0);
  EXPECT_EQ(idx[1], 1);
  EXPECT_EQ(idx[2], 2);
  EXPECT_EQ(table.runsOf(1)[0], 3);
  EXPECT_EQ(table.runsOf(2)[0], 4);
}

TEST(Erosion, TwoPixelRunTakesTheSideOfStrongerContrast)
{
  // Run (5, 10..11) of grey 100 on top of a block in rows 6..8, columns
  // 5..20, whose middle row has an eroded interior (so the two-pixel run is
  // not replaced by the component's longest run). Row 5's scratch bytes are 1
  // over 5..20, so the dilated ends are 5 and 20: the left pixel is compared
  // with column 4, the right one with column 21.
  struct Case
  {
    int leftBg, rightBg, expected;
  } cases[] = {{140, 110, 10}, {110, 140, 11}, {120, 120, 11}};
  for (const auto &c : cases)
  {
    TestBand tb(30, 12, 3);
    tb.set(5, 10, 100);
    tb.set(5, 11, 100);
    tb.setRgb(5, 4, c.leftBg, 100, 100);
    tb.setRgb(5, 21, c.rightBg, 100, 100);
    RunList runs(4);
    runs.add(5, 10, 11, 0);
    for (int y = 6; y <= 8; y++)
      runs.add(y, 5, 20, 0);
    CompTable table;
    PassData pd;
    LabelComponents(runs, table);
    ASSERT_EQ(table.count, 1);
    MaskFindBand band = tb.band();
    ErosionStage(ViewOf(band), runs, table, pd);
    const int32_t *d = pd.dilOf(0), *e = pd.eroOf(0);
    EXPECT_EQ(d[1], 5);
    EXPECT_EQ(d[2], 20);
    EXPECT_EQ(e[0], 5);
    EXPECT_EQ(e[1], c.expected) << c.leftBg << " " << c.rightBg;
    EXPECT_EQ(e[2], c.expected);
    EXPECT_EQ(e[3], 1);
    EXPECT_EQ(pd.eroOf(2)[3], 0); // the block's middle row: found by erosion
  }
}

TEST(Erosion, InteriorColumnsCoveredAboveAndBelow)
{
  // Three rows of one rectangle 0..30: the middle row's eroded run is the
  // columns covered above and below (1..29), trimmed once (> 9) and once more
  // (> 20): 3..27. Edge rows have no eroded interior, and the dilation of a
  // run at column 0 starts at -1.
  TestBand tb(40, 12, 1);
  RunList runs(4);
  for (int y = 4; y <= 6; y++)
    runs.add(y, 0, 30, 0);
  CompTable table;
  PassData pd;
  LabelComponents(runs, table);
  MaskFindBand band = tb.band();
  ErosionStage(ViewOf(band), runs, table, pd);
  EXPECT_EQ(pd.eroOf(1)[1], 3);
  EXPECT_EQ(pd.eroOf(1)[2], 27);
  EXPECT_EQ(pd.eroOf(1)[3], 0);
  // Rows 4 and 6 have one neighbour row only: one-pixel eroded runs in the
  // middle of the run.
  EXPECT_EQ(pd.eroOf(0)[1], 15);
  EXPECT_EQ(pd.eroOf(0)[3], 1);
  EXPECT_EQ(pd.dilOf(0)[1], -1);
  // Right end: the first column from x2 + 2 = 32 on whose byte is 0 is 32.
  EXPECT_EQ(pd.dilOf(1)[2], 31);
}

TEST(Cost, OnePixelComponentCarriesThePenalties)
{
  // A black dot at (10, 20) of a white grey band. Worked out by hand:
  // E = (0, 0, 63.75), B = (382.5, 0, 63.75), A = 0, P = (127.5, 0, 0), Q = 0;
  // cost = 1.5 x 7.2675 + 1 + 200 - (121.635 + 38.1225) = 52.14 -> 52, plus
  // 3 x 400 for height, width and area below 2.
  TestBand tb(40, 20, 1);
  tb.set(10, 20, 0);
  RunList runs(4);
  RunsOfDark(tb, runs);
  Judged j = Judge(tb, runs, 0, 0);
  EXPECT_EQ(j.cost, 1252);
  EXPECT_EQ(j.state, 0);
  EXPECT_EQ(j.colour[0], 0);
  EXPECT_EQ(j.colour[1], 255);
  EXPECT_EQ(j.colour[2], 255);
  RunList again(4);
  RunsOfDark(tb, again);
  EXPECT_EQ(Judge(tb, again, 0, 1253).state, 1);
  RunList once(4);
  RunsOfDark(tb, once);
  EXPECT_EQ(Judge(tb, once, 0, 1252).state, 0);
}

TEST(Cost, ComponentInFirstRowTakesNoSample)
{
  TestBand tb(40, 20, 1);
  for (int x = 5; x < 15; x++)
    tb.set(0, x, 0);
  RunList runs(4);
  RunsOfDark(tb, runs);
  Judged j = Judge(tb, runs, 0, 1000000);
  EXPECT_EQ(j.state, 0);
  EXPECT_EQ(j.cost, 0);
}

TEST(Cost, GreyBandCostsLikeColourBandOfShiftedGreys)
{
  // A small glyph-like shape with grey levels; the colour band's channels at
  // column x are the grey values at x, x + 1 and x + 2 (the last pixel
  // standing in beyond the row).
  TestBand grey(48, 24, 1);
  for (int y = 6; y < 16; y++)
    for (int x = 10; x < 40; x++)
      if (x < 14 || y > 13 || (x > 24 && x < 28))
        grey.set(y, x, 20 + (x * 7 + y * 3) % 50);
  for (int y = 0; y < 24; y++)
    grey.set(y, 47, 200);
  TestBand colour(48, 24, 3);
  for (int y = 0; y < 24; y++)
    for (int x = 0; x < 48; x++)
      colour.setRgb(y, x, grey.data[y * 48 + x], grey.data[y * 48 + std::min(x + 1, 47)],
                    grey.data[y * 48 + std::min(x + 2, 47)]);
  RunList rg(8), rc(8);
  RunsOfDark(grey, rg);
  RunsOfDark(grey, rc);
  Judged a = Judge(grey, rg, 0, 0), b = Judge(colour, rc, 0, 0);
  EXPECT_EQ(a.cost, b.cost);
  EXPECT_EQ(a.state, b.state);
  for (int c = 0; c < 3; c++)
    EXPECT_EQ(a.colour[c], b.colour[c]);
}

TEST(Inversion, DarkRectangleWithHoles)
{
  // 200 x 100 black rectangle with separate 10 x 10 light holes: five holes
  // make six background components (with the outside) and the rectangle an
  // inversion candidate; four holes do not.
  struct Case
  {
    int holes;
    bool noInversion;
    int bgCount;
    bool candidate;
  } cases[] = {{5, false, 6, true}, {4, false, 5, false}, {5, true, 6, false}, {7, false, 8, true}};
  for (const auto &c : cases)
  {
    TestBand tb(260, 150, 1);
    for (int y = 20; y < 120; y++)
      for (int x = 20; x < 220; x++)
        tb.set(y, x, 0);
    for (int k = 0; k < c.holes; k++)
      for (int y = 40; y < 50; y++)
        for (int x = 30 + 25 * k; x < 40 + 25 * k; x++)
          tb.set(y, x, 255);
    RunList runs(64);
    RunsOfDark(tb, runs);
    Judged j = Judge(tb, runs, 0, 0, c.noInversion);
    EXPECT_EQ(j.bgCount, c.bgCount) << c.holes;
    EXPECT_EQ(j.holeArea, 100 * c.holes) << c.holes;
    EXPECT_EQ(j.state == -1, c.candidate) << c.holes << " " << c.noInversion;
  }
}

TEST(Inversion, HolesOfLargeAreaAreNotInversion)
{
  // Holes covering a third of the area or more: the rectangle is judged
  // normally.
  TestBand tb(260, 150, 1);
  for (int y = 20; y < 120; y++)
    for (int x = 20; x < 220; x++)
      tb.set(y, x, 0);
  for (int k = 0; k < 6; k++)
    for (int y = 25; y < 115; y++)
      for (int x = 24 + 32 * k; x < 44 + 32 * k; x++)
        tb.set(y, x, 255);
  RunList runs(64);
  RunsOfDark(tb, runs);
  Judged j = Judge(tb, runs, 0, 0);
  EXPECT_EQ(j.bgCount, 7);
  EXPECT_NE(j.state, -1);
}

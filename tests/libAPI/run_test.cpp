// Run images and the run table: entry layouts, row splitting, foreground
// choice, connected components, merging, and JB2 shapes checked by
// rendering them back with DjVuLibre.
#include "RunTable.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "GBitmap.h"
#include "GRect.h"

using namespace vellum_api;

namespace
{

// Owns a run image built from raw entry bytes.
struct Runs
{
  djvu_run_image ri{};
  std::vector<unsigned char> bytes;
  Runs(int w, int h, int runtype, std::vector<unsigned char> b) : bytes(std::move(b))
  {
    ri.width = w;
    ri.height = h;
    ri.runtype = runtype;
    const int per = runtype == 0 ? 1 : runtype == 1 ? 2 : 4;
    ri.count = (int)(bytes.size() / per);
    ri.data = bytes.data();
  }
};

// Runtype-0 coding of a raster given top row first ('#' black).
Runs encode(const std::vector<std::string> &rows)
{
  const int h = (int)rows.size(), w = h ? (int)rows[0].size() : 0;
  std::vector<unsigned char> out;
  int len = 0;
  bool black = false;
  auto flush = [&]
  {
    if (len)
      out.push_back((unsigned char)((black ? 0 : 0x80) | (len - 1)));
    len = 0;
  };
  for (const auto &r : rows)
    for (char ch : r)
    {
      const bool b = ch == '#';
      if (len && (b != black || len == 128))
        flush();
      black = b;
      len++;
    }
  flush();
  return Runs(w, h, 0, out);
}

std::vector<vellum_api::Run> table_runs(const djvu_run_image &ri, bool with_image = false)
{
  RunTable t;
  t.from_run_image(ri, with_image);
  return t.runs;
}

bool same(const vellum_api::Run &a, int y, int x0, int x1)
{
  return a.y == y && a.x0 == x0 && a.x1 == x1;
}

std::string catch_message(const std::function<void()> &f)
{
  try
  {
    f();
  }
  catch (const vellum_api::Error &e)
  {
    return e.message;
  }
  return "";
}

TEST(RunTable, EntryLayoutsAndDarkness)
{
  // 0x7F: 128 black; 0xFF: 128 white.
  Runs a(256, 1, 0, {0x7F, 0xFF});
  auto r = table_runs(a.ri);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_TRUE(same(r[0], 0, 0, 127));
  Runs b(256, 1, 0, {0xFF, 0x7F});
  r = table_runs(b.ri);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_TRUE(same(r[0], 0, 128, 255));

  // Runtype 1: length - 1, grey; dark below 128.
  Runs g(10, 1, 1, {2, 127, 3, 128, 2, 0});
  r = table_runs(g.ri);
  ASSERT_EQ(r.size(), 2u);
  EXPECT_TRUE(same(r[0], 0, 0, 2));
  EXPECT_TRUE(same(r[1], 0, 7, 9));

  // Runtype 2: 77 R + 151 G + 29 B < 32768 is dark.
  Runs c(6, 1, 2, {1, 0, 217, 0, 1, 0, 0, 255, 1, 255, 255, 0});
  // (0,217,0): 151*217 = 32767 dark; (0,0,255): 7395 dark; (255,255,0) light.
  r = table_runs(c.ri);
  ASSERT_EQ(r.size(), 2u);
  EXPECT_TRUE(same(r[0], 0, 0, 1));
  EXPECT_TRUE(same(r[1], 0, 2, 3));
}

TEST(RunTable, RunsContinueAcrossRowEndsBottomRowFirst)
{
  // 300 white then 100 black on a 200 x 2 raster: the white run fills row 1
  // (the top) and 100 pixels of row 0; the black run ends row 0.
  Runs w(200, 2, 1, {255, 255, 43, 255, 99, 0});
  auto r = table_runs(w.ri);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_TRUE(same(r[0], 0, 100, 199));

  // A black run across a row end is split into two runs.
  Runs s(4, 3, 0, {0x83, 0x81, 0x03, 0x85});
  r = table_runs(s.ri);
  ASSERT_EQ(r.size(), 2u);
  EXPECT_TRUE(same(r[0], 0, 0, 1)); // sorted by row from the bottom
  EXPECT_TRUE(same(r[1], 1, 2, 3));
}

TEST(RunTable, ForegroundChoiceWithPageImage)
{
  // Mostly black: with a page image the white runs are the foreground.
  Runs neg(10, 1, 0, {0x06, 0x81, 0x00});
  auto r = table_runs(neg.ri, true);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_TRUE(same(r[0], 0, 7, 8));
  r = table_runs(neg.ri, false);
  ASSERT_EQ(r.size(), 2u);
  // A tie keeps dark.
  Runs tie(4, 1, 0, {0x01, 0x81});
  r = table_runs(tie.ri, true);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_TRUE(same(r[0], 0, 0, 1));
  // Runtype 1 keeps dark even with an image.
  Runs g(4, 1, 1, {2, 0, 0, 255});
  r = table_runs(g.ri, true);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_TRUE(same(r[0], 0, 0, 2));
}

TEST(RunTable, DamagedRunImagesAreRefused)
{
  struct Case
  {
    const char *name;
    djvu_run_image ri;
    const char *message;
  };
  unsigned char bytes[8] = {0x7F, 0x7F, 0x7F, 0x7F, 0, 0, 0, 0};
  const Case cases[] = {
      {"runtype 3", {4, 4, 1, bytes, 0, 0, 3}, "Unknown runtype"},
      {"runtype -1", {4, 4, 1, bytes, 0, 0, -1}, "Unknown runtype"},
      {"too many pixels", {4, 4, 2, bytes, 0, 0, 0}, "Negative Cordinates in Run"},
      {"zero width", {0, 4, 1, bytes, 0, 0, 0}, "Invalid run image size"},
      {"negative count", {4, 4, -1, bytes, 0, 0, 0}, "Invalid run image size"},
      {"no data", {4, 4, 1, nullptr, 0, 0, 0}, "No run data is present"},
  };
  for (const auto &c : cases)
  {
    SCOPED_TRACE(c.name);
    RunTable t;
    EXPECT_EQ(catch_message([&] { t.from_run_image(c.ri, false); }), c.message);
  }
  RunTable t;
  EXPECT_EQ(catch_message([&] { t.connected_components(6); }),
            "Only 4-connectivity and 8-connectivity are supported");
}

TEST(RunTable, ConnectivityFourAndEight)
{
  const std::vector<std::string> rows = {
      "#.....#",
      ".#...#.",
      "..#..##",
      "#......",
  };
  Runs r = encode(rows);
  struct Case
  {
    int conn;
    size_t comps;
  };
  for (const Case &c : {Case{8, 3}, Case{4, 6}})
  {
    SCOPED_TRACE(c.conn);
    RunTable t;
    t.from_run_image(r.ri, false);
    t.connected_components(c.conn);
    EXPECT_EQ(t.comps.size(), c.comps);
    size_t total = 0;
    for (size_t i = 0; i < t.comps.size(); i++)
      for (int idx : t.comps[i].runs)
      {
        EXPECT_EQ(t.runs[idx].id, (int)i);
        total++;
      }
    EXPECT_EQ(total, t.runs.size());
  }
  RunTable t;
  t.from_run_image(r.ri, false);
  t.connected_components(8);
  // Components numbered in table order: the lone pixel at the bottom first.
  EXPECT_EQ(t.comps[0].left, 0);
  EXPECT_EQ(t.comps[0].bottom, 0);
  EXPECT_EQ(t.comps[0].right, 1);
  EXPECT_EQ(t.comps[0].top, 1);
  // The diagonal on the left: box (0,1)-(3,4) exclusive.
  EXPECT_EQ(t.comps[1].left, 0);
  EXPECT_EQ(t.comps[1].bottom, 1);
  EXPECT_EQ(t.comps[1].right, 3);
  EXPECT_EQ(t.comps[1].top, 4);
}

TEST(RunTable, LetterInsideFrameMerges)
{
  // A 12 x 12 frame holding a separate inner block: the block's box lies
  // wholly inside the frame's (100 % of the smaller box), areas within a
  // factor 200, so the two become one component.
  auto frame = [](int inner)
  {
    std::vector<std::string> rows(12, std::string(12, '.'));
    for (int i = 0; i < 12; i++)
      rows[0][i] = rows[11][i] = rows[i][0] = rows[i][11] = '#';
    for (int y = 0; y < inner; y++)
      for (int x = 0; x < inner; x++)
        rows[2 + y][2 + x] = '#';
    return rows;
  };
  for (int inner : {8, 1})
  {
    SCOPED_TRACE(inner);
    Runs r = encode(frame(inner));
    RunTable t;
    t.from_run_image(r.ri, false);
    t.connected_components(8);
    ASSERT_EQ(t.comps.size(), 2u);
    t.merge_overlapping(85);
    ASSERT_EQ(t.comps.size(), 1u);
    EXPECT_EQ(t.comps[0].runs.size(), t.runs.size());
    for (const vellum_api::Run &run : t.runs)
      EXPECT_EQ(run.id, 0);
  }
}

TEST(RunTable, MergeNeedsOverlapAndComparableAreas)
{
  // Big frame 30 x 30 with a single pixel inside: 900 / 1 > 200 -> apart.
  std::vector<std::string> rows(30, std::string(30, '.'));
  for (int i = 0; i < 30; i++)
    rows[0][i] = rows[29][i] = rows[i][0] = rows[i][29] = '#';
  rows[10][10] = '#';
  // Two L shapes whose 15-pixel boxes share 3 pixels: apart.
  std::vector<std::string> pair = {
      "###.....", "#.......", "#.#####.", "#.....#.", "#.....#.",
  };
  for (auto *rs : {&rows, &pair})
  {
    Runs r = encode(*rs);
    RunTable t;
    t.from_run_image(r.ri, false);
    t.connected_components(4);
    const size_t n = t.comps.size();
    t.merge_overlapping(85);
    EXPECT_EQ(t.comps.size(), n);
  }
}

TEST(RunTable, JB2ImageRendersTheForeground)
{
  const std::vector<std::string> rows = {
      "..........#####.", ".##.......#...#.", ".##.......#.#.#.", "..........#...#.",
      "....#.....#####.", "...###..........", "....#.........##",
  };
  Runs r = encode(rows);
  GP<JB2Image> jb2 = run_image_to_jb2(r.ri, false);
  jb2->set_dimension(16, 7);
  // Frame and inner dot merge; block; plus sign; corner bar.
  EXPECT_EQ(jb2->get_shape_count(), 4);
  EXPECT_EQ(jb2->get_blit_count(), 4);
  for (int i = 0; i < jb2->get_shape_count(); i++)
    EXPECT_EQ(jb2->get_shape(i).parent, -1);
  GP<GBitmap> page = jb2->get_bitmap(GRect(0, 0, 16, 7));
  for (int y = 0; y < 7; y++)
    for (int x = 0; x < 16; x++)
      EXPECT_EQ((*page)[6 - y][x] != 0, rows[y][x] == '#') << x << "," << y;

  // An empty mask gives an empty image.
  Runs empty(5, 5, 0, {0x98});
  EXPECT_EQ(run_image_to_jb2(empty.ri, true)->get_shape_count(), 0);
}

TEST(RunTable, RandomRastersRoundTripThroughShapes)
{
  unsigned seed = 7;
  auto next = [&]
  {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) & 0x7FFF;
  };
  for (int trial = 0; trial < 40; trial++)
  {
    const int w = 1 + next() % 150, h = 1 + next() % 40, density = next() % 100;
    std::vector<std::string> rows(h, std::string(w, '.'));
    for (auto &r : rows)
      for (auto &ch : r)
        if ((int)(next() % 100) < density)
          ch = '#';
    Runs r = encode(rows);
    RunTable t;
    t.from_run_image(r.ri, false);
    t.connected_components(trial % 2 ? 4 : 8);
    t.merge_overlapping(85);
    for (size_t i = 0; i < t.comps.size(); i++)
      for (int idx : t.comps[i].runs)
      {
        const vellum_api::Run &run = t.runs[idx];
        ASSERT_EQ(run.id, (int)i);
        ASSERT_GE(run.x0, t.comps[i].left);
        ASSERT_LT(run.x1, t.comps[i].right);
        ASSERT_GE(run.y, t.comps[i].bottom);
        ASSERT_LT(run.y, t.comps[i].top);
      }
    GP<JB2Image> jb2 = t.to_jb2();
    jb2->set_dimension(w, h);
    GP<GBitmap> page = jb2->get_bitmap(GRect(0, 0, w, h));
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++)
        ASSERT_EQ((*page)[h - 1 - y][x] != 0, rows[y][x] == '#') << "trial " << trial;
  }
}

TEST(RunImage, FreeReleasesRecordAndData)
{
  djvu_run_image_free(nullptr);
  djvu_run_image *ri = run_image_new();
  ri->data = static_cast<unsigned char *>(djvu_malloc(10));
  djvu_run_image_free(ri); // ASan checks both releases
}

} // namespace

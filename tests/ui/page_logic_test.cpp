#include "PageLogic.h"

#include <gtest/gtest.h>

#include <string>

using namespace vellum;

TEST(PageLogic, PagePaneAndQuestion)
{
  EXPECT_EQ(PagePaneText(11, 340), "Page 12/340");
  EXPECT_EQ(PagePaneText(0, 2), "Page 1/2");
  // One page (or none, or a page outside the count): no page pane text.
  EXPECT_EQ(PagePaneText(0, 1), "");
  EXPECT_EQ(PagePaneText(0, 0), "");
  EXPECT_EQ(PagePaneText(3, 3), "");
  EXPECT_EQ(PagePaneText(-1, 3), "");
  EXPECT_EQ(PageChangeQuestion(1), "Save changes to page 2?");
  // The widest text the pane shows fits the sample it is measured by.
  EXPECT_LE(PagePaneText(99998, 99999).size(), std::string(kPagePaneSample).size());
}

// Cells of 96 x 144 (box and label) with a gap of 8: a pitch of 104 across
// and 152 down.
TEST(PageLogic, GridLayoutAndHits)
{
  struct Row
  {
    int count, clientWidth;
    int columns, rows, totalW, totalH;
  } rows[] = {
      {500, 120, 1, 500, 112, 500 * 152 + 8}, // one column in a narrow panel
      {500, 50, 1, 500, 112, 500 * 152 + 8},  // narrower than a cell: still one
      {7, 216, 2, 4, 216, 4 * 152 + 8},       // exactly two columns
      {7, 215, 1, 7, 112, 7 * 152 + 8},       // one pixel short of two
      {2, 1000, 2, 1, 216, 160},              // no more columns than pages
      {0, 300, 1, 0, 112, 0},
  };
  for (const Row &r : rows)
  {
    const ThumbGrid g = PlanThumbGrid(r.count, r.clientWidth, {96, 128}, 16, 8);
    EXPECT_EQ(g.columns, r.columns) << r.count << " in " << r.clientWidth;
    EXPECT_EQ(g.rows, r.rows) << r.count << " in " << r.clientWidth;
    EXPECT_EQ(g.total.w, r.totalW) << r.count << " in " << r.clientWidth;
    EXPECT_EQ(g.total.h, r.totalH) << r.count << " in " << r.clientWidth;
  }

  const ThumbGrid g = PlanThumbGrid(7, 216, {96, 128}, 16, 8);
  EXPECT_EQ(ThumbCellOrigin(g, 0).x, 8);
  EXPECT_EQ(ThumbCellOrigin(g, 3).x, 112);
  EXPECT_EQ(ThumbCellOrigin(g, 3).y, 160);
  struct Hit
  {
    int x, y, index;
  } hits[] = {
      {8, 8, 0},     {103, 151, 0}, // a cell's corners
      {104, 8, -1},  {7, 8, -1},    // the gaps beside it
      {112, 8, 1},   {8, 160, 2},   {112, 160 + 140, 3}, {112, 160 + 150, -1},
      {8, 152, -1},                                 // the gap below the first row
      {112, 312, 5}, {8, 464, 6},   {112, 464, -1}, // past the last page in the last row
      {220, 8, -1},  {8, 2000, -1},                 // beside and below the grid
      {-5, -5, -1},
  };
  for (const Hit &h : hits)
    EXPECT_EQ(ThumbAt(g, {h.x, h.y}), h.index) << h.x << "," << h.y;
}

TEST(PageLogic, VisibleCellsAreOnlyThoseInSight)
{
  const ThumbGrid g = PlanThumbGrid(500, 120, {96, 128}, 16, 8); // one column, pitch 152
  struct Row
  {
    int scrollY, height, first, last;
  } rows[] = {
      {0, 400, 0, 3},   // rows at 8, 160, 312 (the third in part)
      {0, 8, 0, 0},     // only the top gap
      {0, 9, 0, 1},     // one pixel of the first cell
      {152, 8, 0, 0},   // the gap between the first two cells
      {151, 2, 0, 1},   // the first cell's last row of pixels
      {160, 152, 1, 2}, // the second cell from its top to the gap after it
      {160, 153, 1, 3}, // and the third's top row of pixels
      {152 * 499, 1000, 499, 500},
      {152 * 600, 400, 0, 0}, // scrolled past the end
      {-20, 100, 0, 1},
      {0, 0, 0, 0},
  };
  for (const Row &r : rows)
  {
    const ThumbRange v = VisibleThumbs(g, r.scrollY, r.height);
    EXPECT_EQ(v.first, r.first) << r.scrollY << "+" << r.height;
    EXPECT_EQ(v.last, r.last) << r.scrollY << "+" << r.height;
  }
  // Two columns: whole rows.
  const ThumbGrid two = PlanThumbGrid(5, 216, {96, 128}, 16, 8);
  const ThumbRange v = VisibleThumbs(two, 160, 100);
  EXPECT_EQ(v.first, 2);
  EXPECT_EQ(v.last, 4);
  EXPECT_EQ(VisibleThumbs(two, 312, 300).last, 5);

  // Bringing a cell into sight moves only as far as needed.
  EXPECT_EQ(ScrollToShowThumb(g, 0, 0, 400), 0);
  EXPECT_EQ(ScrollToShowThumb(g, 2, 0, 400), 3 * 152 + 8 - 400);
  EXPECT_EQ(ScrollToShowThumb(g, 10, 3000, 400), 10 * 152);
  EXPECT_EQ(ScrollToShowThumb(g, 20, 3000, 400), 3000); // already whole
  EXPECT_EQ(ScrollToShowThumb(g, 600, 3000, 400), 3000);
}

TEST(PageLogic, ThumbnailSubsampleAndFit)
{
  struct Row
  {
    Extent page, box;
    int subsample;
    Extent fit;
  } rows[] = {
      // A letter page at 300 dpi: 12 is the most the library decodes at.
      {{2550, 3300}, {96, 128}, 12, {96, 124}}, {{1275, 1650}, {96, 128}, 12, {96, 124}},
      {{600, 400}, {96, 128}, 6, {96, 64}},    // 600 / 6 = 100 >= 96
      {{100, 100}, {96, 128}, 1, {96, 96}},    // small pages are not reduced
      {{3300, 2550}, {96, 128}, 12, {96, 74}}, // landscape: width-bound
      {{20, 4000}, {96, 128}, 12, {1, 128}},   // a thin strip keeps a pixel
      {{0, 100}, {96, 128}, 1, {1, 1}},
  };
  for (const Row &r : rows)
  {
    EXPECT_EQ(ThumbSubsample(r.page, r.box), r.subsample) << r.page.w << "x" << r.page.h;
    const Extent f = FitInBox(r.page, r.box);
    EXPECT_EQ(f.w, r.fit.w) << r.page.w << "x" << r.page.h;
    EXPECT_EQ(f.h, r.fit.h) << r.page.w << "x" << r.page.h;
    // The rendering at that subsample always covers the fitted picture.
    if (r.page.w > 0)
    {
      const int s = r.subsample;
      EXPECT_GE((r.page.w + s - 1) / s, f.w);
      EXPECT_GE((r.page.h + s - 1) / s, f.h);
    }
  }
  EXPECT_EQ(ThumbSubsample({2550, 3300}, {96, 128}, 4), 4);
}

TEST(PageLogic, CacheKeepsAtMostItsCapacityDroppingTheLeastRecent)
{
  CThumbCache<std::string> cache(3);
  cache.Put(0, "a");
  cache.Put(1, "b");
  cache.Put(2, "c");
  ASSERT_NE(cache.Get(0), nullptr); // 0 used last: 1 is now the oldest
  cache.Put(3, "d");
  EXPECT_EQ(cache.Size(), 3u);
  EXPECT_FALSE(cache.Contains(1));
  EXPECT_TRUE(cache.Contains(0));
  EXPECT_EQ(*cache.Get(3), "d");
  // Replacing keeps the size and refreshes the entry.
  cache.Put(2, "C");
  EXPECT_EQ(*cache.Get(2), "C");
  cache.Put(4, "e"); // drops 0 (2, 3 used after it)
  EXPECT_FALSE(cache.Contains(0));
  EXPECT_EQ(cache.Size(), 3u);
  cache.Erase(3);
  EXPECT_EQ(cache.Size(), 2u);
  EXPECT_EQ(cache.Get(3), nullptr);
  // Many pages scrolled through: never more than the bound.
  CThumbCache<int> big(256);
  for (int i = 0; i < 5000; ++i)
    big.Put(i, i);
  EXPECT_EQ(big.Size(), 256u);
  EXPECT_TRUE(big.Contains(4999));
  EXPECT_FALSE(big.Contains(4999 - 256));
  big.Clear();
  EXPECT_EQ(big.Size(), 0u);
  EXPECT_EQ(CThumbCache<int>(0).Capacity(), 1u);
}

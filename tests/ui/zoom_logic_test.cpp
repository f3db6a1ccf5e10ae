#include "ZoomLogic.h"

#include <gtest/gtest.h>

#include <climits>

using namespace vellum;

TEST(ZoomLogic, PercentFactorAndBoxForEveryStep)
{
  struct Row
  {
    int z, percent, label, size1000;
  };
  const Row rows[] = {
      {9, 1000, 1000, 10000}, {8, 900, 900, 9000}, {1, 200, 200, 2000}, {0, 100, 100, 1000},
      {-1, 50, 50, 500},      {-2, 33, 33, 333},   {-3, 25, 25, 250},   {-4, 20, 20, 200},
      {-5, 16, 17, 166},      {-6, 14, 14, 142},   {-7, 12, 13, 125},   {-8, 11, 11, 111},
      {-9, 10, 10, 100},
  };
  for (const Row &r : rows)
  {
    SCOPED_TRACE(r.z);
    EXPECT_EQ(ZoomPercent(r.z), r.percent);
    EXPECT_EQ(ZoomSize(1000, r.z), r.size1000);
    const int index = ZoomBoxIndex(r.z);
    EXPECT_EQ(index, 9 - r.z);
    EXPECT_EQ(ZoomFromBoxIndex(index), r.z);
    EXPECT_EQ(ZoomBoxLabel(index), std::to_string(r.label) + " %");
  }
  EXPECT_EQ(ZoomBoxLabel(-1), "");
  EXPECT_EQ(ZoomBoxLabel(19), "");
  EXPECT_EQ(ClampZoom(12), 9);
  EXPECT_EQ(ClampZoom(-40), -9);
  EXPECT_EQ(ZoomSize(INT_MAX / 2, 9), INT_MAX); // saturates instead of wrapping
}

TEST(ZoomLogic, AspectCorrection)
{
  // The 200 x 100 dpi fax page scrolls over twice its height.
  EXPECT_EQ(AspectCorrect({1728, 1100}, 200, 100), (Extent{1728, 2200}));
  EXPECT_EQ(AspectCorrect({1000, 500}, 100, 300), (Extent{3000, 500}));
  EXPECT_EQ(AspectCorrect({1000, 500}, 300, 300), (Extent{1000, 500}));
  EXPECT_EQ(AspectCorrect({1000, 500}, 0, 300), (Extent{1000, 500}));
  EXPECT_EQ(ZoomedExtent({1728, 1100}, 200, 100, -1), (Extent{864, 1100}));

  int px, py;
  AspectPercent(16, 200, 100, &px, &py);
  EXPECT_EQ(px, 16);
  EXPECT_EQ(py, 32);
  AspectPercent(33, 72, 100, &px, &py); // 33 x 100 / 72 = 45.83 -> 46
  EXPECT_EQ(px, 46);
  EXPECT_EQ(py, 33);
  // A hostile resolution pair saturates instead of overflowing.
  AspectPercent(1000, INT_MAX, 1, &px, &py);
  EXPECT_EQ(px, 1000);
  EXPECT_EQ(py, INT_MAX);
  EXPECT_EQ(AspectCorrect({INT_MAX, INT_MAX}, 1, INT_MAX), (Extent{INT_MAX, INT_MAX}));
  const DrawPlan plan = PlanDraw({4, 4, INT_MAX, 1, 9, 3, true, {100, 100}, {100, 100}, 0, 0});
  EXPECT_LE(plan.dstH, 100);
  EXPECT_LE(plan.srcH, 4);
}

TEST(ZoomLogic, FitRules)
{
  struct Row
  {
    Extent size, area;
    int fit, step;
  };
  const Row rows[] = {
      {{2550, 3300}, {1000, 700}, kFitBoth, -4}, // max(2, 4)
      {{2550, 3300}, {1000, 700}, kFitWidth, -2}, {{2550, 3300}, {1000, 700}, kFitHeight, -4},
      {{2550, 3300}, {1000, 700}, kFitNone, 0},   {{2550, 3300}, {1000, 700}, 7, 0},
      {{800, 600}, {1000, 700}, kFitBoth, 0},     // n = 0: 100 %
      {{50000, 100}, {1000, 700}, kFitWidth, -9}, // clamped
      {{5100, 100}, {0, 0}, kFitWidth, -9},       // degenerate area does not divide by zero
  };
  for (const Row &r : rows)
    EXPECT_EQ(FitStep(r.size, r.area, r.fit), r.step) << r.size.w << "x" << r.size.h << " fit " << r.fit;

  // A page 5100 pixels wide in an area 1000 wide: a sixth of its size (one
  // rule for DjVu and IW44 pages, in the document and in the view).
  EXPECT_EQ(FitStep({5100, 6600}, {1000, 700}, kFitWidth), -5);

  EXPECT_EQ(FitArea(false, false, {800, 600}, {1920, 1050}), (Extent{800, 600}));
  EXPECT_EQ(FitArea(true, true, {800, 600}, {1920, 1050}), (Extent{800, 600}));
  EXPECT_EQ(FitArea(true, false, {800, 600}, {1920, 1050}), (Extent{1900, 988}));
}

TEST(ZoomLogic, ScrollKeptAcrossSteps)
{
  struct Row
  {
    int pos, oldZ, newZ, kept;
  };
  const Row rows[] = {
      {300, 0, 1, 600},   // 100 % -> 200 %
      {600, 1, 0, 300},   // and back
      {300, 2, 3, 400},   // 300 % -> 400 %
      {300, 0, -1, 150},  // 100 % -> 50 %
      {150, -1, 0, 300},  // 50 % -> 100 %
      {100, -2, -1, 150}, // 33 % -> 50 %
      {0, 0, 1, 0},
  };
  for (const Row &r : rows)
    EXPECT_EQ(KeepScroll(r.pos, r.oldZ, r.newZ), r.kept) << r.pos << " " << r.oldZ << "->" << r.newZ;
}

TEST(ZoomLogic, DisplayDepth)
{
  EXPECT_EQ(DisplayDepth(true, 8), 8);
  EXPECT_EQ(DisplayDepth(true, 16), 16);
  EXPECT_EQ(DisplayDepth(true, 32), 24);
  EXPECT_EQ(DisplayDepth(true, 0), 24);
  EXPECT_EQ(DisplayDepth(false, 8), 24);
}

TEST(ZoomLogic, DrawPlanOfVisibleRectangle)
{
  DrawInput in;
  in.imageW = 2550;
  in.imageH = 3300;
  in.client = {800, 600};
  in.zoom = 2; // 300 %
  in.scrollRange = {7650, 9900};
  in.scrollX = 301;
  in.scrollY = 599;
  DrawPlan d = PlanDraw(in);
  EXPECT_EQ(d.px, 300);
  EXPECT_EQ(d.ax, 300); // whole magnified pixels
  EXPECT_EQ(d.ay, 597);
  EXPECT_EQ(d.ox, 0);
  EXPECT_TRUE(d.hScroll);
  EXPECT_EQ(d.srcLeft, 100);
  EXPECT_EQ(d.srcTop, 199);
  EXPECT_EQ(d.srcW, 801 * 100 / 300 + 1);
  EXPECT_EQ(d.srcH, 602 * 100 / 300 + 1);
  EXPECT_EQ(d.srcBottomUpY, 3300 - d.srcH - 199);
  EXPECT_EQ(d.dstX, 300);
  EXPECT_EQ(d.dstW, 801);
  EXPECT_FALSE(d.unscaled);
  EXPECT_FALSE(d.empty);

  // A small image is centred and transferred whole, unscaled.
  in = DrawInput();
  in.imageW = 127;
  in.imageH = 64;
  in.client = {800, 600};
  d = PlanDraw(in);
  EXPECT_TRUE(d.unscaled);
  EXPECT_EQ(d.ox, (800 - 127) / 2);
  EXPECT_EQ(d.oy, (600 - 64) / 2);
  EXPECT_EQ(d.srcW, 127);
  EXPECT_EQ(d.srcH, 64);
  EXPECT_EQ(d.dstW, 127);
  EXPECT_EQ(d.dstH, 64);
  EXPECT_EQ(d.srcBottomUpY, 0);

  // A DjVu page rendered already reduced is drawn at 100 % with FancyZoom on,
  // at the step's percentage with it off.
  in = DrawInput();
  in.imageW = 510;
  in.imageH = 660;
  in.zoom = -4;
  in.contentKind = 1;
  in.client = {800, 600};
  EXPECT_EQ(PlanDraw(in).px, 100);
  in.fancyZoom = false;
  EXPECT_EQ(PlanDraw(in).px, 20);
  in.contentKind = 3;
  in.fancyZoom = true;
  EXPECT_EQ(PlanDraw(in).px, 20);

  // The held image's own share of the page sets the percentage exactly,
  // with the device scale: a stale rendering of another step is drawn at the
  // size of the step shown.
  struct Held
  {
    int zoom, factor, scale, device, percent;
  } const held[] = {
      {-4, 5, 1, 1, 100}, {-4, 1, 1, 1, 20}, {-2, 3, 2, 2, 100}, {-1, 1, 1, 2, 100},
      {-1, 3, 1, 1, 150}, {-2, 2, 1, 1, 66}, {0, 1, 1, 2, 200},  {2, 1, 1, 1, 300},
      {-3, 2, 1, 2, 100}, {-4, 0, 0, 0, 20}, {-2, 3, 2, 1, 50},  {-1, 1, 1, 99, 400},
  };
  for (const Held &h : held)
  {
    SCOPED_TRACE(std::to_string(h.zoom) + " " + std::to_string(h.factor) + "/" + std::to_string(h.scale));
    EXPECT_EQ(HeldDrawPercent(h.zoom, h.factor, h.scale, h.device), h.percent);
    in.zoom = h.zoom;
    in.renderFactor = std::max(h.factor, 1);
    in.renderScale = h.scale;
    in.deviceScale = h.device;
    EXPECT_EQ(PlanDraw(in).px, h.percent);
  }
  EXPECT_EQ(HeldDrawPercent(kMinZoom, INT_MAX, 1, 8), INT_MAX);
  in = DrawInput();
  in.imageW = 510;
  in.imageH = 660;
  in.client = {800, 600};

  // Scrolled to the far end: the rectangle stays inside the image.
  in = DrawInput();
  in.imageW = 1000;
  in.imageH = 1000;
  in.zoom = 1;
  in.client = {300, 300};
  in.scrollRange = {2000, 2000};
  in.scrollX = 1700;
  in.scrollY = 1700;
  d = PlanDraw(in);
  EXPECT_EQ(d.srcLeft + d.srcW, 1000);
  EXPECT_EQ(d.srcTop + d.srcH, 1000);
  EXPECT_EQ(d.dstX + d.dstW, 2000);
  EXPECT_GE(d.srcBottomUpY, 0);

  // Scroll position past the image (stale after a shrink): nothing to draw.
  in.scrollX = 5000;
  EXPECT_TRUE(PlanDraw(in).empty);
  in = DrawInput();
  EXPECT_TRUE(PlanDraw(in).empty);
}

// At device scale 2 the plan is in device pixels: a page shown at 50 % takes
// every image pixel (not every other one, doubled), over the same part of the
// window as at scale 1, and the destination lies on whole logical pixels.
TEST(ZoomLogic, DrawPlanAtDeviceScale)
{
  struct Row
  {
    int w, h, zoom, kind, scrollX, scrollY;
  } const rows[] = {
      {2550, 3300, -1, 3, 101, 51}, // a bitmap at 50 %
      {2550, 3300, 2, 3, 301, 599}, // at 300 %, scrolled off the block grid
      {127, 64, 0, 3, 0, 0},        // small and centred (odd spare room)
      {510, 660, -4, 1, 0, 20},     // a DjVu page held reduced
  };
  for (const Row &r : rows)
  {
    SCOPED_TRACE(testing::Message() << r.w << "x" << r.h << " step " << r.zoom);
    DrawInput in;
    in.imageW = r.w;
    in.imageH = r.h;
    in.zoom = r.zoom;
    in.contentKind = r.kind;
    in.client = {801, 601};
    const Extent shown = ZoomedExtent({r.w, r.h}, 0, 0, r.kind == 1 ? 0 : r.zoom);
    in.scrollRange = {std::max(shown.w, 801), std::max(shown.h, 601)};
    in.scrollX = r.scrollX;
    in.scrollY = r.scrollY;
    const DrawPlan one = PlanDraw(in);
    in.deviceScale = 2;
    const DrawPlan two = PlanDraw(in);
    EXPECT_EQ(two.px, 2 * one.px);
    EXPECT_EQ(two.py, 2 * one.py);
    EXPECT_EQ(two.hScroll, one.hScroll);
    EXPECT_EQ(two.vScroll, one.vScroll);
    // Same place in the window, on whole logical pixels.
    EXPECT_EQ(two.dstX % 2, 0);
    EXPECT_EQ(two.dstY % 2, 0);
    EXPECT_EQ(two.ox, 2 * one.ox);
    EXPECT_EQ(two.oy, 2 * one.oy);
    EXPECT_EQ(two.dstX, 2 * one.dstX);
    EXPECT_EQ(two.dstY, 2 * one.dstY);
    EXPECT_NEAR(two.dstW, 2 * one.dstW, 2);
    EXPECT_NEAR(two.dstH, 2 * one.dstH, 2);
    // The same image rectangle (give or take the pixel the rule adds).
    EXPECT_NEAR(two.srcLeft, one.srcLeft, 1);
    EXPECT_NEAR(two.srcTop, one.srcTop, 1);
    EXPECT_NEAR(two.srcW, one.srcW, 1);
    EXPECT_LE(two.srcLeft + two.srcW, r.w);
    EXPECT_LE(two.srcTop + two.srcH, r.h);
    EXPECT_FALSE(two.empty);
  }
  // 50 % on a scale-2 screen is one image pixel per device pixel.
  DrawInput in;
  in.imageW = 2550;
  in.imageH = 3300;
  in.zoom = -1;
  in.contentKind = 3;
  in.client = {800, 600};
  in.scrollRange = {1275, 1650};
  in.deviceScale = 2;
  const DrawPlan d = PlanDraw(in);
  EXPECT_TRUE(d.unscaled);
  EXPECT_EQ(d.dstW, 1600);
  EXPECT_EQ(d.srcW, 1601);
  // A scale no screen has is held to 8.
  in.deviceScale = 1000;
  EXPECT_EQ(PlanDraw(in).px, 400);
}

TEST(ZoomLogic, WindowFit)
{
  WindowFitInput in;
  in.workArea = {1280, 1000};
  in.workX = 0;
  in.workY = 24;
  WindowRect r = PlanWindowFit(in);
  EXPECT_TRUE(r.resetZoom);
  EXPECT_EQ(r.w, 600);
  EXPECT_EQ(r.h, 500);
  EXPECT_EQ(r.x, 340);
  EXPECT_EQ(r.y, 24 + 250);

  // A small image: at least 600 wide, height follows the image, centred.
  in.hasImage = true;
  in.imageShown = {127, 64};
  in.frameClient = {600, 400};
  in.viewClient = {600, 360};
  in.decorW = 8;
  in.decorH = 50;
  r = PlanWindowFit(in);
  EXPECT_FALSE(r.resetZoom);
  EXPECT_EQ(r.w, 608);
  EXPECT_EQ(r.h, 50 + 64 + 40);
  EXPECT_EQ(r.x, (1280 - 608) / 2);

  // Too tall: the height takes the work area and the width makes room for the
  // vertical scroll bar.
  in.imageShown = {700, 3300};
  in.vScrollWidth = 15;
  in.hScrollHeight = 15;
  r = PlanWindowFit(in);
  EXPECT_EQ(r.h, 1000);
  EXPECT_EQ(r.w, 8 + 700 + 15);
  EXPECT_EQ(r.y, 24);

  // Too big both ways: the whole work area.
  in.imageShown = {3000, 3300};
  r = PlanWindowFit(in);
  EXPECT_EQ(r.w, 1280);
  EXPECT_EQ(r.h, 1000);
  EXPECT_EQ(r.x, 0);
  EXPECT_EQ(r.y, 24);

  // Without centring the window keeps its corner, pulled back inside.
  in.imageShown = {700, 200};
  in.center = false;
  in.windowX = 1000;
  in.windowY = 900;
  r = PlanWindowFit(in);
  EXPECT_EQ(r.x, 1280 - r.w);
  EXPECT_EQ(r.y, 24 + 1000 - r.h);
}

// Whatever the page and the screen, the planned window lies within the work
// area, so that its status bar is on screen.
TEST(ZoomLogic, WindowFitStaysWithinTheWorkArea)
{
  struct Case
  {
    Extent work;
    int workX, workY;
    bool hasImage;
    Extent shown;
    int windowX, windowY;
    bool center;
  } const cases[] = {
      {{1440, 873}, 0, 27, true, {850, 1100}, 0, 0, true},        // 900-pixel screen with a panel
      {{1440, 873}, 0, 27, true, {1435, 1100}, 0, 0, true},       // scroll bar added past the width
      {{1440, 873}, 0, 27, true, {1100, 860}, 0, 0, true},        // scroll bar added past the height
      {{560, 440}, 0, 0, false, {0, 0}, 0, 0, true},              // the empty window on a small screen
      {{560, 440}, 40, 20, true, {2550, 3300}, -300, -50, false}, // a corner left off screen
      {{1280, 1000}, 1280, 0, true, {300, 200}, 0, 0, false},     // a second monitor to the right
  };
  for (const Case &c : cases)
  {
    SCOPED_TRACE(testing::Message() << c.work.w << "x" << c.work.h << " shown " << c.shown.w << "x"
                                    << c.shown.h);
    WindowFitInput in;
    in.workArea = c.work;
    in.workX = c.workX;
    in.workY = c.workY;
    in.hasImage = c.hasImage;
    in.imageShown = c.shown;
    in.frameClient = {600, 400};
    in.viewClient = {600, 330};
    in.decorW = 2;
    in.decorH = 90;
    in.hScrollHeight = in.vScrollWidth = 15;
    in.scrollRange = c.shown;
    in.center = c.center;
    in.windowX = c.windowX;
    in.windowY = c.windowY;
    const WindowRect r = PlanWindowFit(in);
    EXPECT_LE(r.w, c.work.w);
    EXPECT_LE(r.h, c.work.h);
    EXPECT_GE(r.x, c.workX);
    EXPECT_GE(r.y, c.workY);
    EXPECT_LE(r.x + r.w, c.workX + c.work.w);
    EXPECT_LE(r.y + r.h, c.workY + c.work.h);
  }
  // Moving in comes before shrinking: a window that fits keeps its size.
  const WindowRect moved = KeepInWorkArea({1200, 900, 400, 300, false}, {1280, 1000}, 0, 24);
  EXPECT_EQ(moved.w, 400);
  EXPECT_EQ(moved.h, 300);
  EXPECT_EQ(moved.x, 880);
  EXPECT_EQ(moved.y, 724);
}

// Keys and wheel scroll by GTK's steps (a line is page^(2/3), a page 9/10 of
// the view); the page keys change page where the page command allows it,
// Space only at the bottom of the page.
TEST(ZoomLogic, NavigationKeysAndScrollSteps)
{
  EXPECT_EQ(ScrollLineStep(1000), 100);
  EXPECT_EQ(ScrollLineStep(729), 81);
  EXPECT_EQ(ScrollLineStep(0), 1);
  EXPECT_EQ(ScrollPageStep(700), 630);
  EXPECT_EQ(ScrollPageStep(0), 1);

  const Extent view{800, 700}, range{2550, 3300};
  const bool none[4] = {false, false, false, false};
  const bool middle[4] = {true, true, true, true}; // page 2 of 3
  const struct
  {
    NavKey key;
    const bool *canGo;
    int x, y;
    int page, toX, toY;
  } rows[] = {
      {kNavPageDown, none, 0, 0, -1, 0, 630},
      {kNavPageDown, middle, 0, 0, 2, 0, 630},
      {kNavPageUp, none, 0, 100, -1, 0, 0},
      {kNavPageUp, middle, 0, 100, 1, 0, 0},
      {kNavHome, none, 300, 900, -1, 0, 0},
      {kNavHome, middle, 300, 900, 0, 0, 0},
      {kNavEnd, none, 300, 0, -1, 300, 2600},
      {kNavEnd, middle, 300, 0, 3, 300, 2600},
      {kNavSpace, middle, 0, 0, -1, 0, 630},    // down the page first
      {kNavSpace, middle, 0, 2600, 2, 0, 2600}, // at the bottom: next page
      {kNavSpace, none, 0, 2600, -1, 0, 2600},  // last page: stays
      {kNavShiftSpace, middle, 0, 700, -1, 0, 70},
      {kNavShiftSpace, middle, 0, 0, 1, 0, 0},
      {kNavDown, none, 0, 0, -1, 0, ScrollLineStep(700)},
      {kNavUp, none, 0, 5, -1, 0, 0},
      {kNavRight, none, 1700, 0, -1, 1750, 0}, // clamped at range - view
      {kNavLeft, none, 50, 0, -1, 0, 0},
  };
  for (const auto &r : rows)
  {
    SCOPED_TRACE(testing::Message() << r.key << " at " << r.x << "," << r.y);
    const NavResult n = NavigateKey(r.key, r.canGo, r.x, r.y, view, range);
    EXPECT_EQ(n.page, r.page);
    if (n.page < 0)
    {
      EXPECT_EQ(n.x, r.toX);
      EXPECT_EQ(n.y, r.toY);
    }
  }
  // A page smaller than the view does not scroll.
  const NavResult small = NavigateKey(kNavDown, none, 0, 0, view, {100, 100});
  EXPECT_EQ(small.y, 0);
}

// Actual size: the step nearest to the screen's pixels per page pixel.
TEST(ZoomLogic, ActualSizeStep)
{
  const struct
  {
    int imageDpi, screenDpi, step;
  } rows[] = {{96, 96, 0}, {300, 96, -2}, {600, 96, -5}, {150, 96, -1}, {72, 96, 0},
              {48, 96, 1}, {0, 96, 0},    {300, 0, 0},   {9600, 96, -9}};
  for (const auto &r : rows)
    EXPECT_EQ(ActualSizeStep(r.imageDpi, r.screenDpi), r.step) << r.imageDpi << " on " << r.screenDpi;
}

// Typed zoom percentages: what the box accepts and the step each gives.
TEST(ZoomLogic, TypedPercentageChoosesTheNearestStep)
{
  const struct
  {
    const char *text;
    int step; // 99: refused
  } rows[] = {
      {"100", 0},    {"150", 1},          {"150%", 1},   {"33 %", -2}, {" 25 % ", -3},
      {"200", 1},    {"40", -2},          {"17 %", -5},  {"16", -5},   {"13", -7},
      {"12.5", -7},  {"12,5%", -7},       {"10", -9},    {"5", -9},    {"0.5", -9},
      {"1000 %", 9}, {"999999999999", 9}, {"120", 0},    {"250", 2},   {"260", 2},
      {"66", -1},    {"60", -1},          {"", 99},      {"%", 99},    {"0", 99},
      {"-50", 99},   {"abc", 99},         {"150%%", 99}, {"1e3", 99},  {"1 50", 99},
      {".", 99},     {"50 % x", 99},
  };
  for (const auto &r : rows)
  {
    SCOPED_TRACE(r.text);
    int step = 99;
    EXPECT_EQ(ZoomStepForText(r.text, &step), r.step != 99);
    EXPECT_EQ(step, r.step);
  }
  // Every label of the box reads back as its own step.
  for (int i = 0; i < kZoomBoxEntries; ++i)
  {
    int step = 99;
    EXPECT_TRUE(ZoomStepForText(ZoomBoxLabel(i), &step)) << ZoomBoxLabel(i);
    EXPECT_EQ(step, ZoomFromBoxIndex(i)) << ZoomBoxLabel(i);
  }
}

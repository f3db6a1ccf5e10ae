#include "DibDraw.h"

#include <gtest/gtest.h>

#include <vector>

using namespace vellum;

namespace
{

// A bottom-up 24-bit image whose pixel (x, y) is (x, y, 7), stored B, G, R.
struct Rgb24
{
  int w, h, stride;
  std::vector<uint8_t> rows;
  Rgb24(int w_, int h_) : w(w_), h(h_), stride(((w_ * 24 + 31) / 32) * 4), rows(stride * h_)
  {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
      {
        uint8_t *p = &rows[(h - 1 - y) * stride + 3 * x];
        p[0] = 7;
        p[1] = static_cast<uint8_t>(y);
        p[2] = static_cast<uint8_t>(x);
      }
  }
  DibRows View() const
  {
    DibRows d;
    d.pixels = rows.data();
    d.width = w;
    d.height = h;
    d.bitsPerPixel = 24;
    d.stride = stride;
    return d;
  }
};

DrawPlan Plan(int w, int h, int zoom, int cw, int ch, int sx, int sy)
{
  DrawInput in;
  in.imageW = w;
  in.imageH = h;
  in.zoom = zoom;
  in.client = {cw, ch};
  in.scrollRange = {w * (zoom + 1), h * (zoom + 1)};
  in.scrollX = sx;
  in.scrollY = sy;
  return PlanDraw(in);
}

} // namespace

TEST(DibDraw, UnscaledCopyKeepsPixelsAndOrientation)
{
  Rgb24 img(5, 3);
  std::vector<uint8_t> out;
  ASSERT_TRUE(RenderVisible(img.View(), Plan(5, 3, 0, 100, 100, 0, 0), out));
  ASSERT_EQ(out.size(), 5u * 3 * 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x)
    {
      const uint8_t *p = &out[(y * 5 + x) * 3];
      EXPECT_EQ(p[0], x);
      EXPECT_EQ(p[1], y);
      EXPECT_EQ(p[2], 7);
    }
}

TEST(DibDraw, MagnifiedPixelsAreWholeBlocks)
{
  Rgb24 img(40, 40);
  // 300 %, scrolled to (31, 31): drawing starts at 30, the start of pixel 10.
  const DrawPlan plan = Plan(40, 40, 2, 20, 20, 31, 31);
  std::vector<uint8_t> out;
  ASSERT_TRUE(RenderVisible(img.View(), plan, out));
  ASSERT_EQ(plan.ax, 30);
  for (int j = 0; j < plan.dstH; ++j)
    for (int i = 0; i < plan.dstW; ++i)
    {
      const uint8_t *p = &out[(j * plan.dstW + i) * 3];
      ASSERT_EQ(p[0], 10 + i / 3) << i << "," << j;
      ASSERT_EQ(p[1], 10 + j / 3) << i << "," << j;
    }
}

TEST(DibDraw, PaletteDepthsAndBadInput)
{
  // 2 x 2, 1 bit: top row black white, bottom row white black; palette 0 black.
  const uint8_t pal1[8] = {0, 0, 0, 0, 255, 255, 255, 0};
  std::vector<uint8_t> rows1 = {0x80, 0, 0, 0, 0x40, 0, 0, 0}; // stored bottom-up
  DibRows d;
  d.pixels = rows1.data();
  d.palette = pal1;
  d.paletteEntries = 2;
  d.width = 2;
  d.height = 2;
  d.bitsPerPixel = 1;
  d.stride = 4;
  std::vector<uint8_t> out;
  ASSERT_TRUE(RenderVisible(d, Plan(2, 2, 0, 10, 10, 0, 0), out));
  EXPECT_EQ(out, (std::vector<uint8_t>{0, 0, 0, 255, 255, 255, 255, 255, 255, 0, 0, 0}));

  // 4 bits with an index past a two-entry palette reads black.
  std::vector<uint8_t> rows4 = {0x1F, 0, 0, 0};
  d.pixels = rows4.data();
  d.bitsPerPixel = 4;
  d.height = 1;
  ASSERT_TRUE(RenderVisible(d, Plan(2, 1, 0, 10, 10, 0, 0), out));
  EXPECT_EQ(out, (std::vector<uint8_t>{255, 255, 255, 0, 0, 0}));

  // Too small a stride, a missing palette, an unsupported depth: refused.
  d.stride = 0;
  EXPECT_FALSE(RenderVisible(d, Plan(2, 1, 0, 10, 10, 0, 0), out));
  d.stride = 4;
  d.palette = nullptr;
  EXPECT_FALSE(RenderVisible(d, Plan(2, 1, 0, 10, 10, 0, 0), out));
  d.palette = pal1;
  d.bitsPerPixel = 16;
  EXPECT_FALSE(RenderVisible(d, Plan(2, 1, 0, 10, 10, 0, 0), out));
  EXPECT_TRUE(out.empty());
}

TEST(DibDraw, ReducedViewSamplesInsideTheImage)
{
  Rgb24 img(101, 53);
  for (int z = -9; z <= 0; ++z)
  {
    const DrawPlan plan = Plan(101, 53, z, 30, 20, 0, 0);
    std::vector<uint8_t> out;
    ASSERT_TRUE(RenderVisible(img.View(), plan, out)) << z;
    for (size_t i = 0; i < out.size(); i += 3)
    {
      ASSERT_LT(out[i], 101);
      ASSERT_LT(out[i + 1], 53);
    }
  }
}

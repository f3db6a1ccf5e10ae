// Pixel image resampling and rotation: djvu_pixel_transform, djvu_pixel_rotate
// and the internal transform.
#include "pix_test_util.h"

using namespace pixtest;
using namespace vellum_api;

namespace
{

// Reference quarter turn counter-clockwise in picture coordinates (top
// first): (x, y) -> (y, W - 1 - x).
std::vector<int> ccw(const std::vector<int> &p, int w, int h, int ps)
{
  std::vector<int> out(p.size());
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++)
      for (int c = 0; c < ps; c++)
        out[((size_t)(w - 1 - x) * h + y) * ps + c] = p[((size_t)y * w + x) * ps + c];
  return out;
}

TEST(PixTransform, QuarterTurnsMatchReferenceAcrossScratchSlices)
{
  struct Case
  {
    int w, h, ps;
  };
  // The large cases need more than one 4 MiB slice.
  for (const Case &c : {Case{5, 3, 1}, Case{4, 7, 3}, Case{3000, 2000, 1}, Case{1500, 1000, 3}})
  {
    SCOPED_TRACE(c.w);
    const auto src = noise((size_t)c.w * c.h * c.ps, c.w);
    djvu_pixel_image *img = api_image(c.w, c.h, c.ps, src);
    img->flags |= DJVU_HAS_DPI;
    img->xdpi = 300;
    img->ydpi = 200;
    ASSERT_EQ(djvu_pixel_transform(img, 90, c.h, c.w), img);
    EXPECT_EQ(img->w, c.h);
    EXPECT_EQ(img->h, c.w);
    EXPECT_EQ(img->rowsize, c.h * c.ps);
    EXPECT_EQ(img->xdpi, 200);
    EXPECT_EQ(img->ydpi, 300);
    const auto turned = ccw(src, c.w, c.h, c.ps);
    EXPECT_TRUE(pixels_of(img) == turned);
    // 270 undoes 90; -90 is 270.
    ASSERT_EQ(djvu_pixel_transform(img, -90, c.w, c.h), img);
    EXPECT_TRUE(pixels_of(img) == src);
    djvu_pixel_image_free(img);
  }
}

TEST(PixTransform, HalfTurnAndNegativeAngles)
{
  const auto src = noise(4 * 3 * 3, 9);
  djvu_pixel_image *a = api_image(4, 3, 3, src);
  ASSERT_NE(djvu_pixel_transform(a, 180, 4, 3), nullptr);
  const auto half = pixels_of(a);
  EXPECT_EQ(half, ccw(ccw(src, 4, 3, 3), 3, 4, 3));
  EXPECT_TRUE(a->flags & DJVU_BOTTOMUP);
  ASSERT_NE(djvu_pixel_transform(a, -180, -4, -3), nullptr); // negative sizes: absolute values
  EXPECT_EQ(pixels_of(a), src);
  ASSERT_NE(djvu_pixel_transform(a, 720 + 270, 3, 4), nullptr);
  djvu_pixel_image *b = api_image(4, 3, 3, src);
  ASSERT_NE(djvu_pixel_transform(b, -90, 3, 4), nullptr);
  EXPECT_EQ(pixels_of(a), pixels_of(b));
  djvu_pixel_image_free(a);
  djvu_pixel_image_free(b);
}

TEST(PixTransform, AngleNotMultipleOf90)
{
  Capture cap;
  djvu_pixel_image *a = api_image(2, 2, 1, {1, 2, 3, 4});
  EXPECT_EQ(djvu_pixel_transform(a, 45, 2, 2), nullptr);
  EXPECT_EQ(cap.last(), "Can only rotate 0,90,180, and 270 degrees");
  EXPECT_EQ(djvu_pixel_rotate(a, -30, 2, 2), nullptr);
  EXPECT_EQ(cap.last(), "Can only rotate 0,90,180, and 270 degrees");
  EXPECT_EQ(guard(-1,
                  [&]
                  {
                    pix_transform(a, 45, 2, 2);
                    return 0;
                  }),
            -1);
  EXPECT_EQ(cap.last(), "Can only transform 90,180, and 270 degrees.");
  EXPECT_EQ(cap.count(), 3u);
  EXPECT_EQ(pixels_of(a), (std::vector<int>{1, 2, 3, 4}));
  djvu_pixel_image_free(a);
}

TEST(PixTransform, ResamplingRows)
{
  struct Case
  {
    std::vector<int> in;
    int b;
    std::vector<int> out;
  };
  const Case cases[] = {
      {{10, 20, 30, 41}, 2, {15, 35}},            // groups of 2 averaged
      {{10, 20, 30, 41, 50}, 2, {15, 50}},        // 3 group means, then interpolated to 2
      {{7, 200}, 4, {7, 7, 200, 200}},            // repetition, exact length
      {{0, 100, 200, 255}, 3, {0, 150, 255}},     // 8.8 interpolation
      {{0, 50, 100, 150, 200}, 3, {0, 100, 200}}, // every other sample
      {{9, 8, 7}, 1, {8}},                        // one group of 3
      {{42}, 5, {42, 42, 42, 42, 42}},            // single sample
  };
  for (const auto &c : cases)
  {
    SCOPED_TRACE(c.b);
    const int n = (int)c.in.size();
    djvu_pixel_image *img = api_image(n, 1, 1, c.in);
    ASSERT_NE(djvu_pixel_transform(img, 0, c.b, 1), nullptr);
    EXPECT_EQ(pixels_of(img), c.out);
    // The same along the other axis, which runs in storage order (bottom
    // row first) of the canonical image.
    const std::vector<int> up(c.in.rbegin(), c.in.rend()), want(c.out.rbegin(), c.out.rend());
    djvu_pixel_image *col = api_image(1, n, 1, up);
    ASSERT_NE(djvu_pixel_transform(col, 0, 1, c.b), nullptr);
    EXPECT_EQ(pixels_of(col), want);
    djvu_pixel_image_free(img);
    djvu_pixel_image_free(col);
  }
}

TEST(PixTransform, ResolutionFollowsResampledAxes)
{
  djvu_pixel_image *img = api_image(4, 6, 1, std::vector<int>(24, 3));
  img->flags |= DJVU_HAS_DPI;
  img->xdpi = 300;
  img->ydpi = 301;
  ASSERT_NE(djvu_pixel_transform(img, 0, 3, 6), nullptr);
  EXPECT_EQ(img->xdpi, (4 + 2 * 300 * 3) / 8);
  EXPECT_EQ(img->ydpi, 301);
  ASSERT_NE(djvu_pixel_transform(img, 0, 3, 5), nullptr);
  EXPECT_EQ(img->ydpi, (6 + 2 * 301 * 5) / 12);
  EXPECT_EQ(pixels_of(img), std::vector<int>(15, 3));
  djvu_pixel_image_free(img);
}

TEST(PixTransform, ZeroTargetAndCallerBuffers)
{
  djvu_pixel_image *img = api_image(3, 3, 3, noise(27, 1));
  ASSERT_NE(djvu_pixel_transform(img, 90, 0, 7), nullptr);
  EXPECT_EQ(img->w, 0);
  EXPECT_EQ(img->h, 7);
  EXPECT_EQ(img->rowsize, 0);
  EXPECT_EQ(img->data, nullptr);
  EXPECT_EQ(img->origin, nullptr);
  djvu_pixel_image_free(img);

  // Shrinking works in the caller's buffer; growing it is refused.
  Capture cap;
  TestImage t(4, 4, 1, DJVU_GRAY, std::vector<int>(16, 9));
  ASSERT_EQ(djvu_pixel_transform(&t.img, 0, 2, 2), &t.img);
  EXPECT_EQ(t.img.data, t.buf.data());
  EXPECT_EQ(pixels_of(&t.img), std::vector<int>(4, 9));
  // 10 x 1 -> 1 x 10: the intermediate 1 x 1 and the result fit.
  TestImage strip(10, 1, 1, DJVU_GRAY, noise(10, 3));
  EXPECT_EQ(djvu_pixel_transform(&strip.img, 0, 1, 10), &strip.img);
  EXPECT_EQ(djvu_pixel_transform(&strip.img, 0, 4, 10), nullptr);
  EXPECT_EQ(cap.last(), "Can only increase the size of internally generated images");
}

TEST(PixRotate, ReducedCopyThenTransform)
{
  const auto src = noise(100 * 80, 17);
  TestImage t(100, 80, 1, DJVU_GRAY, src);
  djvu_pixel_image *r = djvu_pixel_rotate(&t.img, 0, 25, 20);
  ASSERT_NE(r, nullptr);
  TestImage ref(100, 80, 1, DJVU_GRAY, src);
  ASSERT_NE(djvu_pixel_subsample(&ref.img, 4), nullptr);
  EXPECT_EQ(pixels_of(r), pixels_of(&ref.img));
  EXPECT_EQ(t.img.flags, DJVU_GRAY); // caller's record untouched
  EXPECT_TRUE(pix_is_api_record(r));
  djvu_pixel_image_free(r);

  djvu_pixel_image *q = djvu_pixel_rotate(&t.img, 90, 20, 25);
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(q->w, 20);
  EXPECT_EQ(q->h, 25);
  djvu_pixel_image_free(q);

  djvu_pixel_image *same = djvu_pixel_rotate(&t.img, 270, 0, 0);
  ASSERT_NE(same, nullptr);
  EXPECT_EQ(same->w, 0);
  EXPECT_EQ(same->h, 0);
  djvu_pixel_image_free(same);
}

} // namespace

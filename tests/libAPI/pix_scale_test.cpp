// Pixel image scaling: subsampling, enlargement by 2, 3 and replication, the
// smoothing pass and its pass rule in djvu_pixel_scale.
#include "pix_test_util.h"

using namespace pixtest;
using namespace vellum_api;

namespace
{

TEST(PixSubsample, FiveByFiveByTwoAveragesPartialEdgeBlocks)
{
  std::vector<int> s(25);
  for (int i = 0; i < 25; i++)
    s[i] = i * 10; // value = 10 * (5y + x)
  // Same picture stored both ways: blocks anchor at the top-left corner.
  for (int flags : {(int)DJVU_GRAY, DJVU_GRAY | DJVU_BOTTOMUP})
  {
    SCOPED_TRACE(flags);
    TestImage t(5, 5, 1, flags, s);
    ASSERT_EQ(djvu_pixel_subsample(&t.img, 2), &t.img);
    EXPECT_EQ(t.img.w, 3);
    EXPECT_EQ(t.img.h, 3);
    // Interior block {0,10,50,60} -> 30; right column blocks are 2 pixels,
    // bottom row blocks 2 pixels, the corner 1 pixel.
    EXPECT_EQ(pixels_of(&t.img), (std::vector<int>{30, 50, 65, 130, 150, 165, 205, 225, 240}));
    EXPECT_TRUE(t.img.flags & DJVU_BOTTOMUP);
  }
}

TEST(PixSubsample, ColourChannelsAndResolution)
{
  // RGB 3 x 1, pixsize 4: mean per channel, result canonical BGR.
  TestImage t(3, 1, 4, DJVU_RGB | DJVU_HAS_DPI, {10, 20, 30, 0, 20, 40, 61, 0, 255, 255, 255, 255});
  t.img.xdpi = 301;
  t.img.ydpi = 100;
  ASSERT_NE(djvu_pixel_subsample(&t.img, 2), nullptr);
  EXPECT_EQ(t.img.pixsize, 3);
  EXPECT_TRUE(t.img.flags & DJVU_BGR);
  EXPECT_EQ(pixels_of(&t.img), (std::vector<int>{45, 30, 15, 255, 255, 255}));
  EXPECT_EQ(t.img.xdpi, (2 * 301 + 1) / 4);
  EXPECT_EQ(t.img.ydpi, (2 * 100 + 1) / 4);
}

TEST(PixSubsample, FactorRules)
{
  Capture cap;
  TestImage t(2, 2, 1, DJVU_GRAY, {1, 2, 3, 4});
  for (int n : {0, -3})
  {
    EXPECT_EQ(djvu_pixel_subsample(&t.img, n), nullptr);
    EXPECT_EQ(cap.last(), "Non-posative scale specified in djvu_pixel_subsample");
  }
  EXPECT_EQ(djvu_pixel_subsample(&t.img, 1), &t.img);
  EXPECT_EQ(t.img.flags, DJVU_GRAY); // unchanged, not even normalised
  EXPECT_EQ(djvu_pixel_subsample(&t.img, 1000), &t.img);
  EXPECT_EQ(pixels_of(&t.img), (std::vector<int>{2}));
}

// Rows widened by the interpolation rules, computed by hand.
TEST(PixEnlarge, InterpolatedRowsByTwoAndThree)
{
  djvu_pixel_image *a = api_image(3, 1, 1, {0, 100, 200});
  pix_enlarge2(a);
  ASSERT_EQ(a->w, 6);
  ASSERT_EQ(a->h, 2);
  // x=0 pair (-33, 33) leaves 0..255 -> (0, 0); x=1 (50, 150); x=2 (167, 233).
  EXPECT_EQ(pixels_of(a), (std::vector<int>{0, 0, 50, 150, 167, 233, 0, 0, 50, 150, 167, 233}));
  djvu_pixel_image_free(a);

  djvu_pixel_image *b = api_image(3, 1, 1, {0, 100, 200});
  pix_enlarge3(b);
  ASSERT_EQ(b->w, 9);
  ASSERT_EQ(b->h, 3);
  EXPECT_EQ(row_of(b, 0), (std::vector<int>{0, 0, 0, 50, 100, 150, 167, 200, 233}));
  EXPECT_EQ(row_of(b, 2), row_of(b, 0));
  djvu_pixel_image_free(b);
}

TEST(PixEnlarge, UniformStaysUniformAndMeansArePreserved)
{
  for (int k : {2, 3})
  {
    SCOPED_TRACE(k);
    djvu_pixel_image *u = api_image(5, 4, 3, std::vector<int>(60, 77));
    k == 2 ? pix_enlarge2(u) : pix_enlarge3(u);
    EXPECT_EQ(pixels_of(u), std::vector<int>((size_t)u->w * u->h * 3, 77));
    djvu_pixel_image_free(u);

    // Each widened sample's members sum to k times the source sample.
    const std::vector<int> src = noise(7 * 2, 11);
    djvu_pixel_image *n = api_image(7, 2, 1, src);
    k == 2 ? pix_enlarge2(n) : pix_enlarge3(n);
    for (int y = 0; y < 2; y++)
    {
      auto row = row_of(n, y * k);
      for (int x = 0; x < 7; x++)
      {
        int sum = 0;
        for (int i = 0; i < k; i++)
          sum += row[x * k + i];
        EXPECT_EQ(sum, k * src[y * 7 + x]) << "x=" << x << " y=" << y;
      }
    }
    djvu_pixel_image_free(n);
  }
}

TEST(PixEnlarge, ReplicationForNarrowOrBitonalImages)
{
  djvu_pixel_image *narrow = api_image(2, 1, 1, {10, 200});
  pix_enlarge2(narrow);
  EXPECT_EQ(pixels_of(narrow), (std::vector<int>{10, 10, 200, 200, 10, 10, 200, 200}));
  djvu_pixel_image_free(narrow);

  djvu_pixel_image *bit = api_image(4, 1, 1, {0, 255, 0, 255});
  bit->flags |= DJVU_BITONAL;
  pix_enlarge3(bit);
  EXPECT_EQ(row_of(bit, 1), (std::vector<int>{0, 0, 0, 255, 255, 255, 0, 0, 0, 255, 255, 255}));
  djvu_pixel_image_free(bit);

  djvu_pixel_image *rep = api_image(2, 2, 3, noise(12, 5));
  rep->flags |= DJVU_HAS_DPI;
  rep->xdpi = 100;
  rep->ydpi = 50;
  const auto before = pixels_of(rep);
  pix_replicate(rep, 5);
  EXPECT_EQ(rep->w, 10);
  EXPECT_EQ(rep->h, 10);
  EXPECT_EQ(rep->rowsize, 30);
  EXPECT_EQ(rep->xdpi, 500);
  EXPECT_EQ(rep->ydpi, 250);
  for (int y = 0; y < 10; y++)
    for (int x = 0; x < 10; x++)
      for (int c = 0; c < 3; c++)
        ASSERT_EQ(row_of(rep, y)[x * 3 + c], before[((y / 5) * 2 + x / 5) * 3 + c]);
  djvu_pixel_image_free(rep);
}

TEST(PixEnlarge, CallerBufferIsNotGrown)
{
  Capture cap;
  TestImage t(4, 4, 1, DJVU_GRAY, noise(16, 2));
  EXPECT_EQ(guard(-1,
                  [&]
                  {
                    pix_enlarge2(&t.img);
                    return 0;
                  }),
            -1);
  EXPECT_EQ(cap.last(), "Can only increase the size of internally generated images");
}

TEST(PixSmooth2, KeepsBlockSumsAndReportsChange)
{
  Capture cap;
  TestImage odd(3, 2, 1, DJVU_GRAY, noise(6, 1));
  EXPECT_EQ(djvu_pixel_smooth2(&odd.img), -1);
  EXPECT_EQ(cap.last(), "Image must be doubled before calling djvu_pixel_smooth2()");

  // One block row: left alone.
  TestImage flat(6, 2, 1, DJVU_GRAY, noise(12, 4));
  const auto flat_before = pixels_of(&flat.img);
  EXPECT_EQ(djvu_pixel_smooth2(&flat.img), 0);
  EXPECT_EQ(pixels_of(&flat.img), flat_before);

  djvu_pixel_image *u = api_image(4, 4, 1, std::vector<int>(16, 90));
  EXPECT_EQ(djvu_pixel_smooth2(u), 0);
  EXPECT_EQ(pixels_of(u), std::vector<int>(16, 90));
  djvu_pixel_image_free(u);

  // A hard edge, doubled, then smoothed: block sums fixed, values in range,
  // some change reported.
  std::vector<int> src(6 * 5);
  for (int y = 0; y < 5; y++)
    for (int x = 0; x < 6; x++)
      src[y * 6 + x] = (x + y) % 4 < 2 ? 0 : 255;
  djvu_pixel_image *e = api_image(6, 5, 3,
                                  [&]
                                  {
                                    std::vector<int> v;
                                    for (int s : src)
                                      v.insert(v.end(), {s, 255 - s, s / 2});
                                    return v;
                                  }());
  pix_enlarge2(e);
  auto sums = [](const djvu_pixel_image *img)
  {
    std::vector<int> out;
    for (int y = 0; y < img->h; y += 2)
      for (int x = 0; x < img->w; x += 2)
        for (int c = 0; c < 3; c++)
          out.push_back(row_of(img, y)[x * 3 + c] + row_of(img, y)[(x + 1) * 3 + c] +
                        row_of(img, y + 1)[x * 3 + c] + row_of(img, y + 1)[(x + 1) * 3 + c]);
    return out;
  };
  const auto before = sums(e);
  const int64_t change = djvu_pixel_smooth2(e);
  EXPECT_GT(change, 0);
  EXPECT_EQ(sums(e), before);
  djvu_pixel_image_free(e);
  EXPECT_EQ(cap.count(), 1u);
}

TEST(PixScale, FactorFourSmoothingTenDoublesTwiceWithOnePassEach)
{
  const auto src = noise(9 * 7 * 3, 21);
  djvu_pixel_image *want = api_image(9, 7, 3, src);
  pix_enlarge2(want);
  pix_smooth2(want);
  pix_enlarge2(want);
  pix_smooth2(want);

  TestImage t(9, 7, 3, DJVU_BGR, src);
  djvu_pixel_image *got = djvu_pixel_scale(&t.img, -4, 10);
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->w, 36);
  EXPECT_EQ(got->h, 28);
  EXPECT_EQ(pixels_of(got), pixels_of(want));
  EXPECT_EQ(t.img.flags, DJVU_BGR); // the caller's record is untouched
  djvu_pixel_image_free(got);
  djvu_pixel_image_free(want);
}

TEST(PixScale, FactorTable)
{
  struct Case
  {
    int factor, w, h;
  };
  const Case cases[] = {{0, 5, 4},   {-1, 5, 4},   {1, 5, 4},    {2, 3, 2},    {3, 2, 2},
                        {-2, 10, 8}, {-3, 15, 12}, {-5, 25, 20}, {-6, 30, 24}, {-12, 60, 48}};
  for (const auto &c : cases)
  {
    SCOPED_TRACE(c.factor);
    TestImage t(5, 4, 1, DJVU_GRAY | DJVU_HAS_DPI, std::vector<int>(20, 128));
    t.img.xdpi = t.img.ydpi = 100;
    djvu_pixel_image *r = djvu_pixel_scale(&t.img, c.factor, 30);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->w, c.w);
    EXPECT_EQ(r->h, c.h);
    EXPECT_EQ(r->rowsize, c.w);
    EXPECT_EQ(r->flags, DJVU_GRAY | DJVU_BOTTOMUP | DJVU_HAS_DPI);
    if (c.factor < -1)
    {
      EXPECT_EQ(r->xdpi, -100 * c.factor);
    }
    EXPECT_EQ(pixels_of(r), std::vector<int>((size_t)c.w * c.h, 128));
    djvu_pixel_image_free(r);
  }
}

TEST(PixScale, EmptyImagesOnlyChangeSizesAndFailuresReport)
{
  djvu_pixel_image e{};
  e.flags = DJVU_BGR;
  e.w = 0;
  e.h = 7;
  e.pixsize = 3;
  djvu_pixel_image *r = djvu_pixel_scale(&e, -3, 0);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->w, 0);
  EXPECT_EQ(r->h, 21);
  djvu_pixel_image_free(r);

  Capture cap;
  TestImage big(40000, 1, 1, DJVU_GRAY, std::vector<int>(40000, 1));
  EXPECT_EQ(djvu_pixel_scale(&big.img, -65537, 0), nullptr);
  EXPECT_EQ(cap.last(), "Image too large");
}

} // namespace

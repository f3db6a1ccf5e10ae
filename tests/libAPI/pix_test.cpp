// Pixel image records: validation, canonical form, ownership and freeing,
// crop copy, buffer growth, DjVuLibre buffers taken over.
#include "pix_test_util.h"

#include <cstring>

#include "GBitmap.h"
#include "GPixmap.h"

using namespace pixtest;
using namespace vellum_api;

namespace
{

struct ValidationCase
{
  const char *name;
  int flags, w, h, pixsize, rowsize;
  bool data;
  const char *message; // null: valid
};

TEST(PixValidate, FirstFailingRuleWinsWithExactMessage)
{
  const ValidationCase cases[] = {
      {"gray pixsize 0", DJVU_GRAY, 2, 2, 0, 2, true, "Gray Pixel images must have pixsize greater than 0"},
      {"gray wins over colour", DJVU_GRAY | DJVU_RGB | DJVU_BGR, 2, 2, 1, 2, true, nullptr},
      {"colour pixsize 2", DJVU_RGB, 2, 2, 2, 4, true, "Color Pixel images must have pixsize greater than 2"},
      {"pixsize before flags", DJVU_RGB | DJVU_BGR, 2, 2, 1, 4, true,
       "Color Pixel images must have pixsize greater than 2"},
      {"both orders", DJVU_RGB | DJVU_BGR, 2, 2, 3, 6, true, "The image can not be both RGB and BGR"},
      {"no kind", DJVU_BOTTOMUP, 2, 2, 3, 6, true, "Pixel images must be one of GRAY, RGB, or BGR"},
      {"short rows", DJVU_BGR, 2, 2, 3, 5, true, "Rowsize must be at least w*pixsize."},
      {"no data", DJVU_GRAY, 2, 2, 1, 2, false, "No Pixel Image Data Is Present"},
      {"empty without data", DJVU_GRAY, 0, 0, 1, 0, false, nullptr},
      {"zero rows without data", DJVU_BGR, 5, 0, 3, 15, false, nullptr},
      {"negative width", DJVU_GRAY, -2, 2, 1, 2, true, "Pixel image sizes must not be negative"},
      {"short rows before negative height", DJVU_GRAY, 3, -2, 1, 2, true,
       "Rowsize must be at least w*pixsize."},
      {"no data before negative height", DJVU_GRAY, 2, -2, 1, 2, false, "No Pixel Image Data Is Present"},
  };
  for (const auto &c : cases)
  {
    SCOPED_TRACE(c.name);
    Capture cap;
    std::vector<unsigned char> buf(64, 1);
    djvu_pixel_image img{};
    img.flags = c.flags;
    img.w = c.w;
    img.h = c.h;
    img.pixsize = c.pixsize;
    img.rowsize = c.rowsize;
    img.data = c.data ? buf.data() : nullptr;
    djvu_pixel_image *r = djvu_pixel_normalize(&img);
    if (c.message)
    {
      EXPECT_EQ(r, nullptr);
      ASSERT_EQ(cap.count(), 1u);
      EXPECT_EQ(cap.last(), c.message);
      EXPECT_EQ(cap.last_file(), "libAPI/PixImage");
    }
    else
    {
      EXPECT_EQ(r, &img);
      EXPECT_EQ(cap.count(), 0u);
    }
  }
}

TEST(PixValidate, CanonicalSizeBeyondA32BitRecordIsRefused)
{
  Capture cap;
  unsigned char byte = 0;
  djvu_pixel_image img{};
  img.flags = DJVU_GRAY;
  img.w = 65536;
  img.h = 65536;
  img.pixsize = 1;
  img.rowsize = 65536;
  img.data = &byte; // never read: the size check comes first
  EXPECT_EQ(djvu_pixel_scale(&img, -1, 0), nullptr);
  ASSERT_EQ(cap.count(), 1u);
  EXPECT_EQ(cap.last(), "Image too large");
}

TEST(PixCanonical, RgbTopDownPaddedBecomesPackedBgrBottomUp)
{
  // 3 x 2, pixsize 4 (R, G, B, X), 5 padding bytes per row, offset 3.
  std::vector<int> s = {10, 11, 12, 99, 20, 21, 22, 99, 30, 31, 32, 99,
                        40, 41, 42, 99, 50, 51, 52, 99, 60, 61, 62, 99};
  TestImage t(3, 2, 4, DJVU_RGB | DJVU_TOPDOWN | DJVU_HAS_DPI, s, 5, 3);
  t.img.xdpi = 300;
  t.img.ydpi = 150;
  Capture cap;
  ASSERT_EQ(djvu_pixel_normalize(&t.img), &t.img);
  EXPECT_EQ(t.img.flags, DJVU_BGR | DJVU_BOTTOMUP | DJVU_HAS_DPI);
  EXPECT_EQ(t.img.pixsize, 3);
  EXPECT_EQ(t.img.rowsize, 9);
  EXPECT_EQ(t.img.offset, 0);
  EXPECT_EQ(t.img.data, t.buf.data());
  EXPECT_EQ(t.img.xdpi, 300);
  EXPECT_EQ(t.img.ydpi, 150);
  // Stored bottom row first.
  const std::vector<unsigned char> want = {42, 41, 40, 52, 51, 50, 62, 61, 60,
                                           12, 11, 10, 22, 21, 20, 32, 31, 30};
  EXPECT_EQ(std::vector<unsigned char>(t.buf.begin(), t.buf.begin() + 18), want);
  EXPECT_EQ(pixels_of(&t.img),
            (std::vector<int>{12, 11, 10, 22, 21, 20, 32, 31, 30, 42, 41, 40, 52, 51, 50, 62, 61, 60}));
}

TEST(PixCanonical, SingleRowColumnAndEmptyImages)
{
  Capture cap;
  TestImage row(4, 1, 1, DJVU_GRAY, {1, 2, 3, 4});
  ASSERT_NE(djvu_pixel_normalize(&row.img), nullptr);
  EXPECT_TRUE(row.img.flags & DJVU_BOTTOMUP);
  EXPECT_EQ(pixels_of(&row.img), (std::vector<int>{1, 2, 3, 4}));

  TestImage col(1, 3, 2, DJVU_GRAY, {1, 0, 2, 0, 3, 0});
  ASSERT_NE(djvu_pixel_normalize(&col.img), nullptr);
  EXPECT_EQ(col.img.pixsize, 1);
  EXPECT_EQ(pixels_of(&col.img), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(std::vector<unsigned char>(col.buf.begin(), col.buf.begin() + 3),
            (std::vector<unsigned char>{3, 2, 1}));

  djvu_pixel_image empty{};
  empty.flags = DJVU_GRAY;
  empty.pixsize = 1;
  EXPECT_EQ(djvu_pixel_normalize(&empty), &empty);
  EXPECT_EQ(empty.data, nullptr);
  EXPECT_EQ(cap.count(), 0u);
}

TEST(PixCanonical, ResolutionKeptOnlyWhenBothPresent)
{
  TestImage t(1, 1, 1, DJVU_GRAY | DJVU_HAS_DPI, {7});
  t.img.xdpi = 200;
  t.img.ydpi = 0;
  djvu_pixel_image *copy = pix_new_record();
  pix_canonical_copy(&t.img, copy);
  EXPECT_FALSE(copy->flags & DJVU_HAS_DPI);
  EXPECT_EQ(copy->origin, DJVU_ORIGIN_API);
  djvu_pixel_image_free(copy);
}

TEST(PixFree, OwnershipRules)
{
  Capture cap;
  djvu_pixel_image_free(nullptr);
  EXPECT_EQ(cap.count(), 0u);

  // Caller's buffer: refused, nothing touched.
  TestImage t(2, 2, 1, DJVU_GRAY, {1, 2, 3, 4});
  djvu_pixel_image before = t.img;
  djvu_pixel_image_free(&t.img);
  ASSERT_EQ(cap.count(), 1u);
  EXPECT_EQ(cap.last(), "djvu_pixel_image_free: pixel image was not allocated by djvuapi");
  EXPECT_EQ(std::memcmp(&before, &t.img, sizeof before), 0);

  // A record the caller made, holding a buffer the API grew: only the buffer
  // goes (the record lives on the stack here).
  djvu_pixel_image own{};
  own.flags = DJVU_GRAY;
  own.pixsize = 1;
  pix_grow(&own, 64);
  EXPECT_EQ(own.origin, DJVU_ORIGIN_API);
  djvu_pixel_image_free(&own);
  EXPECT_EQ(own.data, nullptr);
  EXPECT_EQ(own.origin, nullptr);
  EXPECT_EQ(cap.count(), 1u);

  // API record with API buffer: all freed (ASan checks the release).
  djvu_pixel_image *rec = api_image(2, 2, 3, noise(12, 1));
  EXPECT_TRUE(pix_is_api_record(rec));
  djvu_pixel_image_free(rec);
  EXPECT_EQ(cap.count(), 1u);
}

TEST(PixLibraryBuffer, PixmapTakenOverAndReleasedByFree)
{
  GP<GPixmap> pm = GPixmap::create(3, 4, &GPixel::RED);
  djvu_pixel_image *rec = pix_new_record();
  pix_wrap_pixmap(rec, pm);
  EXPECT_EQ(rec->origin, (void *)rec->data);
  EXPECT_EQ(rec->flags, DJVU_BGR | DJVU_BOTTOMUP);
  EXPECT_EQ(rec->w, 4);
  EXPECT_EQ(rec->h, 3);
  EXPECT_EQ(rec->rowsize, 12);
  EXPECT_EQ(row_of(rec, 0), (std::vector<int>{0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 255}));
  pm = nullptr; // the registry keeps the pixmap alive
  EXPECT_EQ(row_of(rec, 2)[2], 255);
  Capture cap;
  djvu_pixel_image_free(rec);
  EXPECT_EQ(cap.count(), 0u);
}

TEST(PixLibraryBuffer, BitmapGrowsIntoApiBuffer)
{
  GP<GBitmap> bm = GBitmap::create(2, 3, 4); // border 4: padded rows
  (*bm)[0][0] = 1;
  (*bm)[1][2] = 1;
  djvu_pixel_image *rec = pix_new_record();
  pix_wrap_bitmap(rec, bm);
  EXPECT_EQ(rec->origin, (void *)rec->data);
  EXPECT_EQ(rec->rowsize, (int)bm->rowsize());
  EXPECT_EQ(pixels_of(rec), (std::vector<int>{0, 0, 1, 1, 0, 0}));
  bm = nullptr;
  pix_grow(rec, 1000);
  EXPECT_EQ(rec->origin, DJVU_ORIGIN_API);
  EXPECT_EQ(pixels_of(rec), (std::vector<int>{0, 0, 1, 1, 0, 0}));
  djvu_pixel_image_free(rec);
}

TEST(PixGrow, CallerBufferCannotGrowButMayShrinkInPlace)
{
  Capture cap;
  TestImage t(4, 4, 1, DJVU_GRAY, noise(16, 3));
  EXPECT_EQ(guard(-1,
                  [&]
                  {
                    pix_grow(&t.img, 17);
                    return 0;
                  }),
            -1);
  EXPECT_EQ(cap.last(), "Can only increase the size of internally generated images");
  EXPECT_EQ(guard(-1,
                  [&]
                  {
                    pix_grow(&t.img, 16); // within the span: nothing happens
                    return 0;
                  }),
            0);
  EXPECT_EQ(t.img.data, t.buf.data());
}

TEST(PixCrop, ReversedCornersClampedAndBothRowOrders)
{
  std::vector<int> s(30);
  for (int i = 0; i < 30; i++)
    s[i] = i; // 6 x 5, value = y*6 + x
  for (int flags : {(int)DJVU_GRAY, DJVU_GRAY | DJVU_BOTTOMUP})
  {
    SCOPED_TRACE(flags);
    TestImage t(6, 5, 1, flags, s);
    djvu_pixel_image out{};
    pix_crop_copy(&t.img, 4, 3, 1, 1, &out); // reversed corners
    EXPECT_EQ(out.w, 4);
    EXPECT_EQ(out.h, 3);
    EXPECT_EQ(pixels_of(&out), (std::vector<int>{7, 8, 9, 10, 13, 14, 15, 16, 19, 20, 21, 22}));
    pix_release_buffer(&out);

    pix_crop_copy(&t.img, 4, 3, 100, 100, &out); // clamped to last column/row
    EXPECT_EQ(out.w, 2);
    EXPECT_EQ(out.h, 2);
    EXPECT_EQ(pixels_of(&out), (std::vector<int>{22, 23, 28, 29}));
    pix_release_buffer(&out);
  }
}

TEST(PixCrop, InPlaceOnOwnRecord)
{
  std::vector<int> s(12);
  for (int i = 0; i < 12; i++)
    s[i] = 3 * i; // 4 x 3 grey
  djvu_pixel_image *rec = api_image(4, 3, 1, s);
  pix_crop_copy(rec, 1, 1, 2, 2, rec);
  EXPECT_EQ(pixels_of(rec), (std::vector<int>{15, 18, 27, 30}));
  EXPECT_EQ(rec->offset, 0);
  djvu_pixel_image_free(rec);
}

TEST(PixErrorConvention, WithoutCallbackPrintsAndExitsWith10)
{
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        djvu_set_error_callback(nullptr);
        TestImage t(1, 1, 1, DJVU_GRAY, {0});
        djvu_pixel_subsample(&t.img, 0);
      },
      testing::ExitedWithCode(10),
      "DjVu Error: 'Non-posative scale specified in djvu_pixel_subsample' at libAPI/PixImage\\([0-9]+\\)");
}

} // namespace

// The mask driver (resolutions, enlargement, bands, run coding, finder
// failures) and the colour layers of the compound encoder.
#include "ApiError.h"
#include "MaskInt.h"
#include "djvuapi.h"
#include "encode_util.h"
#include "maskfind.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

using namespace enc_test;
using namespace DJVU;

namespace
{

// Dark text-like rings on white paper.
Picture text_page(int w, int h, int channels)
{
  Picture p(w, h, channels);
  for (int gy = 10; gy + 30 < h; gy += 45)
    for (int gx = 10; gx + 20 < w; gx += 28)
      for (int y = 0; y < 30; y++)
        for (int x = 0; x < 20; x++)
          if (x < 4 || x >= 16 || y < 4 || y >= 26)
            p.set(gx + x, gy + y, 10, 10, 10);
  return p;
}

long black(const std::vector<unsigned char> &r)
{
  long n = 0;
  for (unsigned char v : r)
    n += v;
  return n;
}

struct MaskRun
{
  djvu_run_image *run;
  explicit MaskRun(djvu_run_image *r) : run(r) {}
  ~MaskRun() { djvu_run_image_free(run); }
};

} // namespace

TEST(DjvuMask, SizesAndResolutions)
{
  struct Case
  {
    int dpi, ydpi, dpi_double, dpi_triple;
    int width_factor2, height_factor2; // run size / page size, times 2
    int run_dpi;
  } cases[] = {
      {300, 300, 0, 0, 2, 2, 300},     // the application's parameters
      {200, 100, 0, 0, 2, 4, 200},     // non-square: twice as tall
      {150, 150, 225, 125, 4, 4, 300}, // library defaults: doubled
      {100, 100, 225, 125, 6, 6, 300}, // tripled
      {0, 0, 0, 0, 2, 2, 300},         // no resolution: params dpi
  };
  const int w = 120, h = 100;
  for (const Case &c : cases)
  {
    SCOPED_TRACE(std::to_string(c.dpi) + "x" + std::to_string(c.ydpi));
    Reports rep;
    Picture page = text_page(w, h, 1);
    djvu_mask_params p = DJVU_MASK_PARAMS_DEFAULTS;
    p.dpi_double = c.dpi_double;
    p.dpi_triple = c.dpi_triple;
    MaskRun m(djvu_mask(&p, page.image(c.dpi, c.ydpi)));
    ASSERT_TRUE(m.run) << rep.first();
    EXPECT_EQ(m.run->runtype, 0);
    EXPECT_EQ(m.run->width, w * c.width_factor2 / 2);
    EXPECT_EQ(m.run->height, h * c.height_factor2 / 2);
    EXPECT_EQ(m.run->xdpi, c.run_dpi);
    EXPECT_EQ(m.run->ydpi, c.run_dpi);
    std::vector<unsigned char> r = raster_of(*m.run);
    EXPECT_EQ(r.size(), (size_t)m.run->width * m.run->height) << "run lengths cover the page";
    EXPECT_GT(black(r), 0);
  }
}

TEST(DjvuMask, FindsTheTextOfAGreyAndAColourPage)
{
  const int w = 400, h = 300;
  for (int channels : {1, 3})
  {
    Reports rep;
    Picture page = text_page(w, h, channels);
    MaskRun m(djvu_mask(nullptr, page.image(300)));
    ASSERT_TRUE(m.run) << rep.first();
    std::vector<unsigned char> r = raster_of(*m.run);
    ASSERT_EQ(r.size(), page.px.size() / channels);
    long agree = 0;
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++)
        agree += (page.at(x, y)[0] < 128) == (r[(size_t)y * w + x] != 0);
    EXPECT_GT(agree, (long)w * h * 99 / 100);
  }
}

TEST(DjvuMask, BandsGiveTheSameMaskAsOnePass)
{
  const int w = 300, h = 1200;
  Picture page = text_page(w, h, 1);
  Reports rep;
  djvu_mask_params one = DJVU_MASK_PARAMS_DEFAULTS;
  one.dpi_double = 0;
  one.dpi_triple = 0;
  djvu_mask_params banded = one;
  banded.band_inches = 1;
  MaskRun a(djvu_mask(&one, page.image(100)));
  MaskRun b(djvu_mask(&banded, page.image(100)));
  ASSERT_TRUE(a.run && b.run) << rep.first();
  std::vector<unsigned char> ra = raster_of(*a.run), rb = raster_of(*b.run);
  ASSERT_EQ(ra.size(), rb.size());
  long differ = 0;
  for (size_t i = 0; i < ra.size(); i++)
    differ += ra[i] != rb[i];
  EXPECT_LT(differ, black(ra) / 100);
}

TEST(DjvuMask, BottomUpBgrPagesGiveTheSameMaskAsTopDownRgb)
{
  // Bottom-up BGR and grey pages are read in place; the mask must equal the
  // one of the same page given top-down (which goes through copies).
  const int w = 200, h = 700;
  for (int channels : {1, 3})
  {
    Picture page = text_page(w, h, channels);
    for (int y = 0; y < h; y += 7)
      page.rect(0, y, w / 3, y + 1, 90, 40, 20);
    std::vector<unsigned char> flipped(page.px.size());
    const size_t row = (size_t)w * channels;
    for (int y = 0; y < h; y++)
      for (size_t i = 0; i < row; i += channels)
        for (int c = 0; c < channels; c++)
          flipped[(size_t)(h - 1 - y) * row + i + c] =
              page.px[(size_t)y * row + i + (channels == 3 ? 2 - c : 0)];
    djvu_pixel_image up = *page.image(100);
    up.flags = (channels == 1 ? DJVU_GRAY : DJVU_BGR) | DJVU_BOTTOMUP | DJVU_HAS_DPI;
    up.data = flipped.data();
    for (int inches : {0, 1})
    {
      Reports rep;
      djvu_mask_params p = DJVU_MASK_PARAMS_DEFAULTS;
      p.dpi_double = 0;
      p.dpi_triple = 0;
      p.band_inches = inches;
      MaskRun a(djvu_mask(&p, page.image(100)));
      MaskRun b(djvu_mask(&p, &up));
      ASSERT_TRUE(a.run && b.run) << rep.first();
      EXPECT_EQ(raster_of(*a.run), raster_of(*b.run)) << channels << " channels, band " << inches;
    }
  }
}

TEST(DjvuMask, WholePageMaskIsAChainOf128PixelRuns)
{
  Picture page(256, 64, 1, 0); // all black
  Reports rep;
  djvu_mask_params p = DJVU_MASK_PARAMS_DEFAULTS;
  p.switches = 7;
  p.dpi_double = 0;
  p.dpi_triple = 0; // filters off
  MaskRun m(djvu_mask(&p, page.image(300)));
  ASSERT_TRUE(m.run) << rep.first();
  std::vector<unsigned char> r = raster_of(*m.run);
  if (black(r) == (long)r.size())
  {
    for (int i = 0; i < m.run->count; i++)
      EXPECT_EQ(m.run->data[i], 0x7f);
  }
}

TEST(DjvuMask, Refusals)
{
  Picture page = text_page(64, 64, 1);
  djvu_mask_params split_none = DJVU_MASK_PARAMS_DEFAULTS;
  split_none.multi_forback = 1;
  split_none.switches = 7;
  split_none.dpi_double = 0;
  split_none.dpi_triple = 0;
  djvu_mask_params single_none = DJVU_MASK_PARAMS_DEFAULTS;
  single_none.switches = 7;
  single_none.dpi_double = 0;
  single_none.dpi_triple = 0;
  {
    Reports rep;
    EXPECT_EQ(djvu_mask(nullptr, nullptr), nullptr);
    ASSERT_EQ(rep.size(), 1u);
    EXPECT_EQ(rep.first(), "djvu_mask: djvu_pixel_image is required");
  }
  {
    Reports rep;
    EXPECT_EQ(djvu_mask(&split_none, page.image()), nullptr);
    ASSERT_EQ(rep.size(), 1u);
    EXPECT_EQ(rep.first(), "Atleast one mask is requred if multi_forback > 0 ");
  }
  {
    Reports rep;
    MaskRun m(djvu_mask(&single_none, page.image()));
    EXPECT_TRUE(m.run);
    EXPECT_EQ(rep.size(), 0u);
  }
}

namespace
{
void *failing_malloc(size_t)
{
  return nullptr;
}
void *failing_realloc(void *, size_t)
{
  return nullptr;
}
} // namespace

TEST(DjvuMask, FinderFailureIsOneReportAndTheFinderStaysUsable)
{
  Picture page = text_page(200, 150, 1);
  {
    Reports rep;
    MaskFindSetAllocator(failing_malloc, failing_realloc, nullptr);
    djvu_run_image *m = djvu_mask(nullptr, page.image());
    MaskFindSetAllocator(nullptr, nullptr, nullptr);
    EXPECT_EQ(m, nullptr);
    ASSERT_EQ(rep.size(), 1u);
    EXPECT_EQ(rep.first(), "Memory Exhausted");
    EXPECT_EQ(reports()[0].file.compare(0, 20, "Encoder/libMaskFind/"), 0) << reports()[0].file;
  }
  Reports rep;
  MaskRun again(djvu_mask(nullptr, page.image()));
  EXPECT_TRUE(again.run);
  EXPECT_EQ(rep.size(), 0u);
}

// ---- colour layers --------------------------------------------------------------

namespace
{

GP<JB2Image> jb2_of(int w, int h, const std::vector<std::vector<int>> &boxes)
{
  GP<JB2Image> jb2 = JB2Image::create();
  jb2->set_dimension(w, h);
  for (const auto &b : boxes) // left, bottom, width, height
  {
    JB2Shape s;
    s.parent = -1;
    s.userdata = 0;
    s.bits = GBitmap::create(b[3], b[2]);
    for (int y = 0; y < b[3]; y++)
      for (int x = 0; x < b[2]; x++)
        (*s.bits)[y][x] = 1;
    JB2Blit blit;
    blit.left = (unsigned short)b[0];
    blit.bottom = (unsigned short)b[1];
    blit.shapeno = jb2->add_shape(s);
    jb2->add_blit(blit);
  }
  return jb2;
}

} // namespace

TEST(ColourLayers, ForegroundAveragesMaskPixelsPerCell)
{
  // 12 x 6 page; a 4 x 2 red shape at the bottom left (page rows 4..5 from
  // the top), ratio 3.
  Picture page(12, 6, 3);
  page.rect(0, 4, 3, 6, 200, 0, 0);
  page.rect(3, 4, 4, 6, 100, 0, 30);
  GP<JB2Image> jb2 = jb2_of(12, 6, {{0, 0, 4, 2}});
  GP<GPixmap> fg = GPixmap::create();
  GP<GBitmap> holes = GBitmap::create();
  ASSERT_TRUE(vellum_api::fg_layer(*page.image(), *jb2, *fg, *holes, 3));
  ASSERT_EQ(fg->rows(), 2u);
  ASSERT_EQ(fg->columns(), 4u);
  EXPECT_EQ((*holes)[0][0], 0);
  EXPECT_EQ((*fg)[0][0].r, 200);
  EXPECT_EQ((*holes)[0][1], 0);
  EXPECT_EQ((*fg)[0][1].r, 100);
  EXPECT_EQ((*fg)[0][1].b, 30);
  EXPECT_EQ((*holes)[0][2], 1);
  EXPECT_EQ((*fg)[0][2].r, 255) << "holes hold red";
  EXPECT_EQ((*fg)[0][2].g, 0);
  EXPECT_EQ((*holes)[1][0], 1);
}

TEST(ColourLayers, ShapeColourFromTheTwoPixelsFarthestFromBackground)
{
  Picture page(10, 10, 3);
  page.rect(2, 2, 5, 5, 250, 250, 250);
  page.set(2, 2, 0, 0, 100);
  page.set(3, 3, 0, 0, 50);
  GP<JB2Image> jb2 = jb2_of(10, 10, {{2, 5, 3, 3}});
  vellum_api::Rgb c = vellum_api::GetColor2Pix(*page.image(), *jb2, *jb2->get_blit(0), {255, 255, 255});
  EXPECT_EQ(c.r, 0);
  EXPECT_EQ(c.b, 75);
  vellum_api::Rgb n = vellum_api::GetNearestColor(*page.image(), *jb2, *jb2->get_blit(0), {0, 0, 60});
  EXPECT_EQ(n.b, 75);

  GP<JB2Image> empty = JB2Image::create();
  empty->set_dimension(10, 10);
  JB2Shape s;
  s.parent = -1;
  s.bits = GBitmap::create(2, 2);
  JB2Blit b = {1, 1, (unsigned)empty->add_shape(s)};
  empty->add_blit(b);
  try
  {
    vellum_api::GetColor2Pix(*page.image(), *empty, *empty->get_blit(0), {255, 255, 255});
    FAIL();
  }
  catch (const vellum_api::Error &e)
  {
    EXPECT_EQ(e.message, "GetColor2Pix: must have at least one pixel which differs from background");
  }
}

TEST(ColourLayers, SmallShapesOfAForeignColourAreRemoved)
{
  // Black text (a 10 x 20 bar and a 30 x 30 block) and a pale yellow 2 x 2
  // speck right of the block, sharing its foreground cell.
  Picture page(120, 60, 3);
  page.rect(10, 10, 20, 30, 0, 0, 0);
  page.rect(50, 10, 80, 40, 0, 0, 0);
  page.rect(80, 20, 82, 22, 240, 230, 120);
  // Page rows from the top: bottom = 60 - top - height.
  GP<JB2Image> jb2 = jb2_of(120, 60, {{10, 30, 10, 20}, {50, 20, 30, 30}, {80, 38, 2, 2}});
  GP<GPixmap> fg = GPixmap::create();
  GP<GBitmap> holes = GBitmap::create();
  const djvu_pixel_image *img = page.image();
  ASSERT_TRUE(vellum_api::fg_layer(*img, *jb2, *fg, *holes, 6));
  GP<JB2Image> out = vellum_api::remove_small_shapes(*img, *jb2, *fg, *holes, 6);
  ASSERT_EQ(out->get_blit_count(), 2) << "the 10 x 20 bar (200 pixels) is kept, the speck goes";
  EXPECT_EQ(out->get_blit(0)->left, 10);
  EXPECT_EQ(out->get_blit(1)->left, 50);
  EXPECT_EQ(out->get_width(), 120);
}

TEST(ColourLayers, SmallShapeRemovalLimits)
{
  // A foreground layer known black everywhere; one grey shape of v per case.
  // Only boxes under 200 pixels are tested, and only a distance above 50
  // (grey v against black is v) removes them.
  struct Case
  {
    int w, h, v;
    bool kept;
  } cases[] = {
      {10, 20, 255, true}, {200, 1, 255, true}, {9, 22, 255, false}, {1, 199, 255, false},
      {5, 5, 50, true},    {5, 5, 51, false},   {14, 14, 0, true},
  };
  for (const Case &c : cases)
  {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + " grey " + std::to_string(c.v));
    const int W = 240, H = 240, f = 6;
    Picture page(W, H, 3);
    page.rect(20, 10, 20 + c.w, 10 + c.h, c.v, c.v, c.v);
    GP<JB2Image> jb2 = jb2_of(W, H, {{20, H - 10 - c.h, c.w, c.h}});
    GP<GPixmap> fg = GPixmap::create((H + f - 1) / f, (W + f - 1) / f, &GPixel::BLACK);
    GP<GBitmap> holes = GBitmap::create(fg->rows(), fg->columns());
    GP<JB2Image> out = vellum_api::remove_small_shapes(*page.image(), *jb2, *fg, *holes, f);
    EXPECT_EQ(out->get_blit_count(), c.kept ? 1 : 0);
  }

  // Refinement shapes are refused.
  Picture page(40, 40, 3);
  GP<JB2Image> jb2 = jb2_of(40, 40, {{2, 2, 4, 4}, {20, 20, 4, 4}});
  jb2->get_shape(1).parent = 0;
  GP<GPixmap> fg = GPixmap::create(7, 7, &GPixel::BLACK);
  GP<GBitmap> holes = GBitmap::create(7, 7);
  try
  {
    vellum_api::remove_small_shapes(*page.image(), *jb2, *fg, *holes, 6);
    FAIL();
  }
  catch (const vellum_api::Error &e)
  {
    EXPECT_EQ(e.message, "orphan shape only!");
  }
}

TEST(ColourLayers, BackgroundPassChecksTheForegroundSizeInOrder)
{
  // 24 x 12 page, ratio 6 for the foreground: 4 x 2 cells are needed.
  Picture page(24, 12, 3, 200);
  const djvu_pixel_image *img = page.image();
  GP<JB2Image> jb2 = jb2_of(24, 12, {{0, 0, 6, 6}});
  struct Case
  {
    int pm_cols, pm_rows, hole_cols, hole_rows;
    const char *message;
  } cases[] = {
      {3, 1, 3, 1, "Image FG width too small"},
      {4, 1, 3, 1, "Mask FG width too small"},
      {4, 1, 4, 1, "Image FG height too small"},
      {4, 2, 4, 1, "Mask FG height too small"},
      {4, 2, 4, 2, nullptr},
  };
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.message ? c.message : "sizes fit");
    GP<GPixmap> fg = GPixmap::create(c.pm_rows, c.pm_cols, &GPixel::BLACK);
    GP<GBitmap> fgholes = GBitmap::create(c.hole_rows, c.hole_cols); // all known
    GP<GPixmap> bg = GPixmap::create();
    GP<GBitmap> bgholes = GBitmap::create();
    try
    {
      // Paper outside the mask is found: 1, nothing seeded.
      EXPECT_EQ(vellum_api::bg_layer(*img, *jb2, *bg, *bgholes, *fg, *fgholes, 6, 3), 1);
      EXPECT_EQ(c.message, nullptr);
      ASSERT_EQ(bg->rows(), 4u);
      ASSERT_EQ(bg->columns(), 8u);
      EXPECT_EQ((*bgholes)[0][0], 1) << "under the mask";
      EXPECT_EQ((*bgholes)[3][7], 0);
      EXPECT_EQ((*bg)[3][7].g, 200);
    }
    catch (const vellum_api::Error &e)
    {
      ASSERT_NE(c.message, nullptr) << e.message;
      EXPECT_EQ(e.message, c.message);
    }
  }
  // An empty foreground is not checked; a page all under the mask has no
  // background at all.
  GP<GPixmap> none = GPixmap::create();
  GP<GBitmap> noholes = GBitmap::create();
  GP<JB2Image> full = jb2_of(24, 12, {{0, 0, 24, 12}});
  GP<GPixmap> bg = GPixmap::create();
  GP<GBitmap> bgholes = GBitmap::create();
  EXPECT_EQ(vellum_api::bg_layer(*img, *full, *bg, *bgholes, *none, *noholes, 6, 3), 0);
}

TEST(ColourLayers, ShapesWithoutForegroundColourAreFilled)
{
  // White paper; two dark shapes. The first lies on foreground holes and
  // gets the mean of its two pixels farthest from the white around it; the
  // second touches a known foreground cell and is left alone.
  const int W = 36, H = 12, f = 6, b = 3;
  Picture page(W, H, 3);
  page.rect(0, 0, 6, 6, 40, 40, 90);
  page.set(0, 0, 0, 0, 60);
  page.set(1, 0, 0, 0, 20);
  page.rect(24, 0, 30, 6, 10, 90, 10);
  GP<JB2Image> jb2 = jb2_of(W, H, {{0, 6, 6, 6}, {24, 6, 6, 6}});
  GP<GPixmap> fg = GPixmap::create(2, 6, &GPixel::RED);
  GP<GBitmap> fgholes = GBitmap::create(2, 6);
  for (int y = 0; y < 2; y++)
    for (int x = 0; x < 6; x++)
      (*fgholes)[y][x] = 1;
  (*fgholes)[1][4] = 0; // the second shape's cell is known
  (*fg)[1][4] = GPixel::BLUE;
  GP<GPixmap> bg = GPixmap::create(4, 12, &GPixel::WHITE);
  GP<GBitmap> bgholes = GBitmap::create(4, 12);
  const djvu_pixel_image *img = page.image();
  EXPECT_TRUE(vellum_api::fill_shape_colors(*img, *jb2, *fg, *fgholes, *bg, *bgholes, f, b));
  EXPECT_EQ((*fgholes)[1][0], 0);
  EXPECT_EQ((*fg)[1][0].r, 0);
  EXPECT_EQ((*fg)[1][0].b, 40) << "(60 + 20) / 2";
  EXPECT_EQ((*fg)[1][4].b, 255) << "known cell kept";
  EXPECT_EQ((*fg)[1][4].g, 0);
  EXPECT_EQ((*fgholes)[0][0], 1) << "no shape there";
  // Nothing left to fill.
  EXPECT_FALSE(vellum_api::fill_shape_colors(*img, *jb2, *fg, *fgholes, *bg, *bgholes, f, b));
}

// djvu_encode and djvu_encode_iw44 end to end: chunk layout, INFO bytes,
// refusals with one report, and decoding of what we write by DjVuLibre's
// ddjvu and djvudump.
#include "djvuapi.h"
#include "encode_util.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace enc_test;

namespace
{

// Glyph-like marks: rings and bars on a grid, 1 = black, top row first.
std::vector<unsigned char> glyphs(int w, int h)
{
  std::vector<unsigned char> r((size_t)w * h, 0);
  for (int gy = 20; gy + 24 < h; gy += 40)
    for (int gx = 20; gx + 16 < w; gx += 24)
    {
      bool ring = ((gx / 24 + gy / 40) % 3) != 0;
      for (int y = 0; y < 24; y++)
        for (int x = 0; x < 16; x++)
        {
          bool on = ring ? (x < 3 || x >= 13 || y < 3 || y >= 21) : (x >= 6 && x < 10);
          if (on)
            r[(size_t)(gy + y) * w + gx + x] = 1;
        }
    }
  return r;
}

// A page: pale yellow paper, a photo-like gradient block, dark blue glyphs.
Picture compound_page(int w, int h, const std::vector<unsigned char> &mask)
{
  Picture p(w, h, 3);
  p.rect(0, 0, w, h, 250, 240, 200);
  for (int y = h / 2; y < h; y++)
    for (int x = w / 2; x < w; x++)
      if (!mask[(size_t)y * w + x])
        p.set(x, y, (x * 255) / w, (y * 255) / h, 128);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++)
      if (mask[(size_t)y * w + x])
        p.set(x, y, 20, 30, 120);
  return p;
}

} // namespace

TEST(DjvuEncode, MaskOnlyPageIsInfoAndSjbzAndDecodesExactly)
{
  Reports rep;
  const int w = 300, h = 200;
  std::vector<unsigned char> raster = glyphs(w, h);
  Mask mask(w, h, raster, 300);
  Output out;
  djvu_encode_params p = DJVU_ENCODE_PARAMS_DEFAULTS;
  p.flags = DJVU_ENCODE_LOSSLESS;
  ASSERT_EQ(djvu_encode(&p, &mask.rec, nullptr, collect, &out), 0) << rep.first();
  EXPECT_EQ(out.calls, 1);
  EXPECT_EQ(chunks(out.bytes), (std::vector<std::string>{"FORM:DJVU", "INFO", "Sjbz"}));
  std::string info = chunk_data(out.bytes, "INFO");
  ASSERT_EQ(info.size(), 10u);
  const unsigned char expect[10] = {1, 44, 0, 200, 18, 0, 44, 1, 22, 1};
  for (int i = 0; i < 10; i++)
    EXPECT_EQ((unsigned char)info[i], expect[i]) << "INFO byte " << i;

  Pnm grey = ddjvu(out.bytes, "maskonly", "pgm");
  ASSERT_EQ(grey.px.size(), raster.size());
  size_t differ = 0;
  for (size_t i = 0; i < raster.size(); i++)
    differ += (grey.px[i] < 128) != (raster[i] != 0);
  EXPECT_EQ(differ, 0u) << "lossless mask must decode exactly";
  EXPECT_EQ(rep.size(), 0u);
}

TEST(DjvuEncode, SharedShapesDecodeInPlaceInReferenceReaders)
{
  // Repeated bars with a one-pixel bump on the left edge: edge smoothing
  // removes the bump and leaves the shapes with an empty column, and the
  // matching pass makes all bars copies of one shape. ddjvu must place every
  // copy where the bar was.
  Reports rep;
  const int w = 400, h = 120;
  std::vector<unsigned char> raster((size_t)w * h, 0);
  int bumps = 0;
  for (int gx = 13; gx + 12 < w; gx += 31)
  {
    for (int y = 30; y < 70; y++)
      for (int x = 2; x < 10; x++)
        raster[(size_t)y * w + gx + x] = 1;
    raster[(size_t)50 * w + gx + 1] = 1;
    bumps++;
  }
  Mask mask(w, h, raster, 300);
  Output out;
  ASSERT_EQ(djvu_encode(nullptr, &mask.rec, nullptr, collect, &out), 0) << rep.first();
  Pnm dec = ddjvu(out.bytes, "shared", "pgm");
  ASSERT_EQ(dec.px.size(), raster.size());
  int differ = 0;
  for (size_t i = 0; i < raster.size(); i++)
    differ += (dec.px[i] < 128) != (raster[i] != 0);
  EXPECT_LE(differ, bumps);
}

TEST(DjvuEncode, PageResolutionRules)
{
  struct Case
  {
    int mask_dpi;
    int bg_dpi;
    bool image;
    int image_dpi;
    int expect; // INFO dpi, 0 = refused
    const char *message;
  } cases[] = {
      {300, 100, false, 0, 300, nullptr},
      {0, 100, false, 0, 300, nullptr},
      {0, 150, false, 0, 450, nullptr},
      {25, 100, false, 0, 25, nullptr},
      {24, 100, false, 0, 0, "Can not process masks lower than 72 DPI"},
      {0, 100, true, 150, 150, nullptr}, // image of the mask's size at 150 dpi
  };
  const int w = 120, h = 96;
  std::vector<unsigned char> raster = glyphs(w, h);
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.mask_dpi);
    Reports rep;
    Mask mask(w, h, raster, c.mask_dpi);
    Picture pic = compound_page(w, h, raster);
    Output out;
    djvu_encode_params p = DJVU_ENCODE_PARAMS_DEFAULTS;
    p.bg_dpi = c.bg_dpi;
    int r = djvu_encode(&p, &mask.rec, c.image ? pic.image(c.image_dpi) : nullptr, collect, &out);
    if (!c.expect)
    {
      EXPECT_EQ(r, -1);
      EXPECT_EQ(out.calls, 0);
      ASSERT_EQ(rep.size(), 1u);
      EXPECT_EQ(rep.first(), c.message);
      continue;
    }
    ASSERT_EQ(r, 0) << rep.first();
    std::string info = chunk_data(out.bytes, "INFO");
    ASSERT_EQ(info.size(), 10u);
    EXPECT_EQ((unsigned char)info[6] | ((unsigned char)info[7] << 8), c.expect);
  }
}

TEST(DjvuEncode, RefusesBadInputWithOneReportAndNoOutput)
{
  const int w = 64, h = 48;
  std::vector<unsigned char> raster = glyphs(w, h);
  Mask square(w, h, raster, 300);
  Mask skewed(w, h, raster, 300);
  skewed.rec.ydpi = 150;
  Picture pic(w, h, 3);
  djvu_pixel_image bad = *pic.image();
  bad.flags = DJVU_RGB | DJVU_BGR;
  Picture inconsistent(w / 2, h / 2, 3);
  Mask nodpi(w, h, raster, 0);
  Mask low(w, h, raster, 24);

  struct Case
  {
    const djvu_run_image *mask;
    const djvu_pixel_image *image;
    const char *message;
  } cases[] = {
      {nullptr, nullptr, "djvu_encode: djvu_run_image is required"},
      {&skewed.rec, nullptr, "Masks must have the same horizontal and vertical resolutions!"},
      {&square.rec, &bad, "The image can not be both RGB and BGR"},
      {&nodpi.rec, inconsistent.image(150, 300), "Unknown mask resolution"},
      // The resolution is settled before the image is looked at.
      {&low.rec, &bad, "Can not process masks lower than 72 DPI"},
  };
  for (const Case &c : cases)
  {
    Reports rep;
    Output out;
    EXPECT_EQ(djvu_encode(nullptr, c.mask, c.image, collect, &out), -1);
    EXPECT_EQ(out.calls, 0);
    ASSERT_EQ(rep.size(), 1u);
    EXPECT_EQ(rep.first(), c.message);
  }
}

TEST(DjvuEncode, ShortWriteFailsAfterOneCall)
{
  Reports rep;
  const int w = 64, h = 48;
  Mask mask(w, h, glyphs(w, h), 300);
  Output out;
  out.shortfall = 1;
  EXPECT_EQ(djvu_encode(nullptr, &mask.rec, nullptr, collect, &out), -1);
  EXPECT_EQ(out.calls, 1);
  ASSERT_EQ(rep.size(), 1u);
  EXPECT_EQ(rep.first(), "djvu_encode: output routine did not return expected value");
}

namespace
{
std::vector<std::pair<std::string, int>> g_progress;
void on_progress(const char *text, int percent, int data)
{
  g_progress.push_back({text, percent});
  EXPECT_EQ(data, 42);
}
// As on_progress, keeping the progress data instead of checking it.
std::vector<int> g_progress_data;
void record_progress(const char *text, int percent, int data)
{
  g_progress.push_back({text, percent});
  g_progress_data.push_back(data);
}
} // namespace

TEST(DjvuEncode, CompoundPageChunksProgressAndReferenceDecode)
{
  Reports rep;
  const int w = 600, h = 400;
  std::vector<unsigned char> raster = glyphs(w, h);
  Mask mask(w, h, raster, 300);
  Picture pic = compound_page(w, h, raster);
  Output out;
  djvu_encode_params p = DJVU_ENCODE_PARAMS_DEFAULTS;
  p.quality = 80;
  p.flags = DJVU_ENCODE_NO_THICKEN;
  p.fg_dpi = 50;
  p.progress_data = 42;
  g_progress.clear();
  djvu_progress_callback old = djvu_set_progress_callback(on_progress);
  int r = djvu_encode(&p, &mask.rec, pic.image(), collect, &out);
  djvu_set_progress_callback(old);
  ASSERT_EQ(r, 0) << rep.first();
  EXPECT_EQ(chunks(out.bytes),
            (std::vector<std::string>{"FORM:DJVU", "INFO", "Sjbz", "BG44", "FG44", "BG44", "BG44", "BG44"}));
  const std::vector<std::pair<std::string, int>> expect = {
      {"Encoding Mask", 0},           {"Applying Mask to Foreground", 10}, {"Cleaning Mask", 20},
      {"Processing color layer", 30}, {"Processing background layer", 90}, {"Encoded document", 100}};
  EXPECT_EQ(g_progress, expect);

  std::string dump = djvudump(out.bytes, "compound");
  EXPECT_NE(dump.find("DjVu 600x400"), std::string::npos) << dump;
  EXPECT_NE(dump.find("IW4 data #1"), std::string::npos) << dump;

  Pnm dec = ddjvu(out.bytes, "compound");
  ASSERT_EQ(dec.w, w);
  ASSERT_EQ(dec.h, h);
  EXPECT_GT(psnr(dec.px, pic.px), 28.0);
  // The text keeps its colour: dark blue, not black, under the mask.
  long sum_b = 0, sum_r = 0, n = 0;
  for (size_t i = 0; i < raster.size(); i++)
  {
    if (raster[i])
      sum_r += dec.px[i * 3], sum_b += dec.px[i * 3 + 2], n++;
  }
  ASSERT_GT(n, 0);
  EXPECT_GT(sum_b / n, sum_r / n + 40);

  // The mask layer holds the text.
  Pnm m = ddjvu(out.bytes, "compound_mask", "pgm", "-mode=mask");
  ASSERT_EQ(m.px.size(), raster.size());
  size_t missing = 0, marks = 0;
  for (size_t i = 0; i < raster.size(); i++)
  {
    if (raster[i])
      marks++, missing += m.px[i] >= 128;
  }
  EXPECT_LT(missing, marks / 50);
  EXPECT_EQ(rep.size(), 0u);
}

TEST(DjvuEncode, ProgressTextsOfEveryPath)
{
  // Every step reports, with or without an image; the photo encoder's
  // black-and-white path is a mask-only page after its own first step.
  const int w = 64, h = 48;
  std::vector<unsigned char> raster = glyphs(w, h);
  Mask mask(w, h, raster, 300);
  Picture pic = compound_page(w, h, raster);
  Picture photo(w, h, 3);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++)
      photo.set(x, y, x * 4, y * 5, 90);
  Picture bw(w, h, 1);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++)
      bw.at(x, y)[0] = raster[(size_t)y * w + x] ? 0 : 255;
  typedef std::vector<std::pair<std::string, int>> Steps;
  const Steps encode = {
      {"Encoding Mask", 0},           {"Applying Mask to Foreground", 10}, {"Cleaning Mask", 20},
      {"Processing color layer", 30}, {"Processing background layer", 90}, {"Encoded document", 100}};
  Steps bw_steps = {{"Encode Photo", 0}};
  bw_steps.insert(bw_steps.end(), encode.begin(), encode.end());
  struct Case
  {
    const char *name;
    bool photo_encoder;
    const djvu_pixel_image *image;
    Steps expect;
  } cases[] = {
      {"compound", false, pic.image(), encode},
      {"mask only", false, nullptr, encode},
      {"photo",
       true,
       photo.image(),
       {{"Encode Photo", 0}, {"Compress Photo", 50}, {"Compressed Photo", 100}}},
      {"black and white photo", true, bw.image(), bw_steps},
  };
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.name);
    Reports rep;
    Output out;
    g_progress.clear();
    g_progress_data.clear();
    djvu_progress_callback old = djvu_set_progress_callback(record_progress);
    int r;
    if (c.photo_encoder)
    {
      djvu_iw44_params ip = DJVU_IW44_PARAMS_DEFAULTS;
      ip.progress_data = 42;
      r = djvu_encode_iw44(&ip, c.image, collect, &out);
    }
    else
    {
      djvu_encode_params ep = DJVU_ENCODE_PARAMS_DEFAULTS;
      ep.progress_data = 42;
      r = djvu_encode(&ep, &mask.rec, c.image, collect, &out);
    }
    djvu_set_progress_callback(old);
    ASSERT_EQ(r, 0) << rep.first();
    EXPECT_EQ(g_progress, c.expect);
    // The caller's progress data; the inner mask-only encode of a
    // black-and-white photo runs with its fixed record (data 0).
    for (size_t i = 0; i < g_progress_data.size(); i++)
      EXPECT_EQ(g_progress_data[i], c.expect == bw_steps && i > 0 ? 0 : 42) << i;
  }
}

TEST(DjvuEncode, ImageOfHalfTheMaskSizeIsResampledAndPageStaysUpright)
{
  Reports rep;
  const int w = 240, h = 160;
  std::vector<unsigned char> raster = glyphs(w, h);
  Mask mask(w, h, raster, 300);
  std::vector<unsigned char> small_raster((size_t)(w / 2) * (h / 2), 0);
  Picture pic = compound_page(w / 2, h / 2, small_raster);
  Output out;
  ASSERT_EQ(djvu_encode(nullptr, &mask.rec, pic.image(150), collect, &out), 0) << rep.first();
  std::string info = chunk_data(out.bytes, "INFO");
  ASSERT_EQ(info.size(), 10u);
  EXPECT_EQ((unsigned char)info[9], 1) << "byte 9 is the orientation flag: upright";
  EXPECT_EQ(((unsigned char)info[0] << 8) | (unsigned char)info[1], w);
  Pnm dec = ddjvu(out.bytes, "halfsize");
  EXPECT_EQ(dec.w, w);
  EXPECT_EQ(dec.h, h);
  // Upright: the paper colour at the top left, the gradient block bottom right.
  ASSERT_FALSE(dec.px.empty());
  EXPECT_GT(dec.px[0], 200);
}

TEST(DjvuEncodeIw44, PhotoFilesByKind)
{
  const int w = 160, h = 120;
  Picture colour(w, h, 3), grey(w, h, 1), bw(w, h, 1), bwColour(w, h, 3);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++)
    {
      colour.set(x, y, x * 255 / w, y * 255 / h, 255 - x * 255 / w);
      grey.at(x, y)[0] = (unsigned char)((x + y) * 255 / (w + h));
      bw.at(x, y)[0] = ((x / 10 + y / 10) % 2) ? 0 : 255;
      const int v = bw.at(x, y)[0];
      bwColour.set(x, y, v, v, v);
    }
  struct Case
  {
    Picture *pic;
    int flags;
    std::vector<std::string> chunk_list;
    double min_psnr;
  } cases[] = {
      {&colour, 0, {"FORM:PM44", "PM44", "PM44", "PM44", "PM44"}, 30},
      {&colour, 2, {"FORM:PM44", "PM44", "PM44", "PM44", "PM44"}, 0}, // grey only
      {&grey, 0, {"FORM:BM44", "BM44", "BM44", "BM44", "BM44"}, 30},
      {&bw, 0, {"FORM:DJVU", "INFO", "Sjbz"}, 99},
      {&bwColour, 0, {"FORM:DJVU", "INFO", "Sjbz"}, 0},
  };
  int k = 0;
  for (const Case &c : cases)
  {
    SCOPED_TRACE(k);
    Reports rep;
    Output out;
    djvu_iw44_params p = DJVU_IW44_PARAMS_DEFAULTS;
    p.quality = 90;
    p.flags = c.flags;
    ASSERT_EQ(djvu_encode_iw44(&p, c.pic->image(), collect, &out), 0) << rep.first();
    EXPECT_EQ(out.calls, 1);
    EXPECT_EQ(chunks(out.bytes), c.chunk_list);
    Pnm dec = ddjvu(out.bytes, "photo" + std::to_string(k++), c.pic->channels == 3 ? "ppm" : "pgm");
    ASSERT_EQ(dec.w, w);
    ASSERT_EQ(dec.h, h);
    if (c.min_psnr > 0)
    {
      EXPECT_GE(psnr(dec.px, c.pic->px), c.min_psnr);
    }
  }
}

TEST(DjvuEncodeIw44, RefusalsAndShortWrite)
{
  Reports rep;
  Output out;
  EXPECT_EQ(djvu_encode_iw44(nullptr, nullptr, collect, &out), -1);
  EXPECT_EQ(rep.size(), 1u);
  Picture pic(40, 30, 3, 100);
  out.shortfall = 5;
  EXPECT_EQ(djvu_encode_iw44(nullptr, pic.image(), collect, &out), -1);
  EXPECT_EQ(out.calls, 1);
  EXPECT_EQ(rep.size(), 2u);
  EXPECT_EQ(reports()[1].message, "djvu_encode: output routine did not return expected value");
}

TEST(DjvuEncode, DamagedMasksFailCleanlyOrEncode)
{
  // Run entries that do not add up to width x height, sizes out of range,
  // unknown run types: either a page or one report, never a crash.
  std::vector<unsigned char> few = {0x05, 0x85}, many(5000, 0x7f), grey = {0xff, 0x10, 0xff, 0xf0};
  struct Case
  {
    int w, h, runtype;
    std::vector<unsigned char> *data;
    int count;
  } cases[] = {
      {100, 100, 0, &few, 2},  {10, 10, 0, &many, 5000}, {0, 10, 0, &few, 2},
      {40000, 10, 0, &few, 2}, {-5, 10, 0, &few, 2},     {10, 10, 7, &few, 2},
      {10, 10, 0, nullptr, 0}, {8, 4, 1, &grey, 2},      {10, 10, 0, &few, 0},
  };
  for (const Case &c : cases)
  {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
    Reports rep;
    djvu_run_image m = {c.w, c.h, c.count, c.data ? c.data->data() : nullptr, 300, 300, c.runtype};
    Output out;
    int r = djvu_encode(nullptr, &m, nullptr, collect, &out);
    if (r == 0)
    {
      EXPECT_EQ(rep.size(), 0u);
      EXPECT_EQ(out.calls, 1);
    }
    else
    {
      EXPECT_EQ(r, -1);
      EXPECT_EQ(rep.size(), 1u);
      EXPECT_EQ(out.calls, 0);
    }
  }
}

TEST(DjvuEncode, EmptyAndFullMasksOverAPage)
{
  // No mask pixel (no foreground colour at all) and every pixel under the
  // mask (no background colour at all): both layers must still code.
  const int w = 90, h = 70;
  for (int fill : {0, 1})
  {
    SCOPED_TRACE(fill);
    Reports rep;
    std::vector<unsigned char> raster((size_t)w * h, (unsigned char)fill);
    Mask mask(w, h, raster, 300);
    Picture pic(w, h, 3, fill ? 30 : 230);
    Output out;
    ASSERT_EQ(djvu_encode(nullptr, &mask.rec, pic.image(), collect, &out), 0) << rep.first();
    EXPECT_EQ(chunks(out.bytes).size(), 8u);
    Pnm dec = ddjvu(out.bytes, "fill" + std::to_string(fill));
    ASSERT_EQ(dec.w, w);
    EXPECT_GT(psnr(dec.px, pic.px), 25.0);
  }
}

// The compact layer profile (DJVU_ENCODE_COMPACT) end to end: the chunks
// djvudump lists, ddjvu's decode against the page and the classic profile,
// our own render against ddjvu's, the palette colours per shape, the mask
// it keeps, and the paths the flag must leave alone.
#include "EncodeInt.h"
#include "djvuapi.h"
#include "encode_util.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace enc_test;

namespace
{

std::string corpus(const std::string &rel)
{
  const char *dir = std::getenv("VELLUM_CORPUS");
  return std::string(dir ? dir : "tests/corpus") + "/" + rel;
}

// A corpus picture converted by netpbm, optionally cropped (w 0: whole).
bool load_page(const std::string &rel, int x, int y, int w, int h, Pnm &out)
{
  const std::string path = corpus(rel);
  if (!std::ifstream(path))
    return false;
  std::string tmp = tmp_path("compact-page.pnm");
  std::string cmd = "pngtopnm '" + path + "'";
  if (w > 0)
    cmd += " | pamcut -left " + std::to_string(x) + " -top " + std::to_string(y) + " -width " +
           std::to_string(w) + " -height " + std::to_string(h);
  if (std::system((cmd + " > '" + tmp + "' 2>/dev/null").c_str()) != 0)
    return false;
  out = read_pnm(tmp);
  return out.w > 0;
}

// The page as the program hands it over, grey or RGB, top-down rows.
djvu_pixel_image page_record(Pnm &p, int dpi)
{
  djvu_pixel_image img;
  memset(&img, 0, sizeof img);
  const int ch = (int)(p.px.size() / ((size_t)p.w * p.h));
  img.flags = (ch == 1 ? DJVU_GRAY : DJVU_RGB) | DJVU_TOPDOWN | DJVU_HAS_DPI;
  img.w = p.w;
  img.h = p.h;
  img.rowsize = p.w * ch;
  img.pixsize = ch;
  img.data = p.px.data();
  img.xdpi = img.ydpi = dpi;
  return img;
}

std::string encode_page(djvu_pixel_image &img, int flags)
{
  djvu_mask_params mp = DJVU_MASK_PARAMS_DEFAULTS;
  mp.dpi = img.xdpi;
  mp.dpi_double = 0;
  mp.dpi_triple = 0;
  djvu_run_image *mask = djvu_mask(&mp, &img);
  EXPECT_TRUE(mask);
  if (!mask)
    return std::string();
  djvu_encode_params ep = DJVU_ENCODE_PARAMS_DEFAULTS;
  ep.quality = 80;
  ep.flags = flags;
  ep.fg_dpi = 50;
  Output out;
  EXPECT_EQ(djvu_encode(&ep, mask, &img, collect, &out), 0);
  djvu_run_image_free(mask);
  return out.bytes;
}

std::vector<unsigned char> as_rgb(const Pnm &p)
{
  if (p.px.size() == (size_t)p.w * p.h * 3)
    return p.px;
  std::vector<unsigned char> out(p.px.size() * 3);
  for (size_t i = 0; i < p.px.size(); i++)
    out[3 * i] = out[3 * i + 1] = out[3 * i + 2] = p.px[i];
  return out;
}

struct Mem
{
  const std::string *bytes;
  size_t at = 0;
  static int read(void *self, void *buf, int size)
  {
    Mem &m = *(Mem *)self;
    size_t n = std::min((size_t)size, m.bytes->size() - m.at);
    memcpy(buf, m.bytes->data() + m.at, n);
    m.at += n;
    return (int)n;
  }
};

// Our decoder's whole-page colour render, top row first, RGB.
std::vector<unsigned char> our_render(const std::string &file, int w, int h)
{
  Mem m{&file};
  std::unique_ptr<djvu_halfcoded_image, void (*)(djvu_halfcoded_image *)> hc(djvu_decode(Mem::read, &m),
                                                                             djvu_halfcoded_image_free);
  EXPECT_TRUE(hc);
  if (!hc)
    return {};
  djvu_render_params rp;
  djvu_render_defaults(&rp, sizeof rp);
  rp.flags = 0;
  djvu_pixel_image *img = djvu_render(&rp, hc.get(), 0, 0, w - 1, h - 1, 0, w, h);
  EXPECT_TRUE(img);
  if (!img)
    return {};
  std::vector<unsigned char> out((size_t)w * h * 3);
  const bool bgr = (img->flags & DJVU_BGR) != 0, up = (img->flags & DJVU_BOTTOMUP) != 0;
  for (int y = 0; y < h; y++)
  {
    const unsigned char *row = img->data + img->offset + (size_t)(up ? h - 1 - y : y) * img->rowsize;
    for (int x = 0; x < w; x++)
      for (int c = 0; c < 3; c++)
        out[((size_t)y * w + x) * 3 + c] = row[x * img->pixsize + (img->pixsize == 1 ? 0 : bgr ? 2 - c : c)];
  }
  djvu_pixel_image_free(img);
  return out;
}

} // namespace

TEST(DjvuEncodeCompact, CorpusPagesDecodeSmallerThanClassicAndRenderAsDdjvu)
{
  Reports rep;
  const struct
  {
    const char *file;
    int x, y, w, h, dpi;
    const char *foreground; // the colour chunk expected
  } cases[] = {
      {"scan/text-maths-grey-150dpi.png", 0, 0, 0, 0, 150, "FGbz"},
      {"page/composed-article-300dpi.png", 200, 1400, 1400, 1300, 300, "FGbz"}, // text and a photo
      {"page/compound-panels-300dpi.png", 400, 300, 1000, 900, 300, "FGbz"},    // coloured text
      {"page/illustration-tiger-300dpi.png", 500, 700, 900, 900, 300, "FG44"},  // a picture in the mask
  };
  for (const auto &c : cases)
  {
    SCOPED_TRACE(c.file);
    Pnm page;
    ASSERT_TRUE(load_page(c.file, c.x, c.y, c.w, c.h, page)) << "corpus file missing or unreadable";
    djvu_pixel_image img = page_record(page, c.dpi);
    const std::string compact = encode_page(img, DJVU_ENCODE_COMPACT);
    const std::string classic = encode_page(img, 0);
    const std::string thin = encode_page(img, DJVU_ENCODE_NO_THICKEN);
    ASSERT_FALSE(compact.empty());

    std::vector<std::string> want = {"FORM:DJVU", "INFO", "Sjbz"};
    if (std::string(c.foreground) == "FGbz")
      want.insert(want.end(), {"FGbz", "BG44", "BG44", "BG44"});
    else
      want.insert(want.end(), {"BG44", "FG44", "BG44", "BG44"});
    EXPECT_EQ(chunks(compact), want);
    const std::string dump = djvudump(compact, "compact");
    EXPECT_NE(dump.find("DjVu " + std::to_string(page.w) + "x" + std::to_string(page.h)), std::string::npos)
        << dump;
    if (std::string(c.foreground) == "FGbz")
    {
      EXPECT_NE(dump.find("JB2 colors data"), std::string::npos) << dump;
    }

    // ddjvu reads it; it is smaller than the classic page and no worse.
    const std::vector<unsigned char> orig = as_rgb(page);
    Pnm dec = ddjvu(compact, "compact");
    ASSERT_EQ(dec.w, page.w);
    ASSERT_EQ(dec.h, page.h);
    Pnm dec_classic = ddjvu(classic, "classic");
    ASSERT_EQ(dec_classic.px.size(), dec.px.size());
    EXPECT_LT(compact.size(), classic.size());
    EXPECT_GT(psnr(dec.px, orig), psnr(dec_classic.px, orig) - 0.3);

    // Our decoder renders it as ddjvu does.
    const std::vector<unsigned char> ours = our_render(compact, page.w, page.h);
    ASSERT_EQ(ours.size(), dec.px.size());
    size_t differ = 0;
    for (size_t i = 0; i < ours.size(); i++)
      differ += ours[i] != dec.px[i];
    EXPECT_EQ(differ, 0u);

    // The glyphs of the classic mask (unthickened) stay in the mask.
    Pnm m = ddjvu(compact, "compact_mask", "pgm", "-mode=mask");
    Pnm mt = ddjvu(thin, "thin_mask", "pgm", "-mode=mask");
    ASSERT_EQ(m.px.size(), mt.px.size());
    size_t held = 0, marks = 0;
    for (size_t i = 0; i < m.px.size(); i++)
      if (mt.px[i] < 128)
        marks++, held += m.px[i] < 128;
    EXPECT_EQ(held, marks);
  }
  EXPECT_EQ(rep.size(), 0u) << rep.first();
}

TEST(DjvuEncodeCompact, EveryShapeGetsItsOwnPaletteColour)
{
  // Glyphs in four colours on white; the palette colour of each blit must
  // be the colour of that glyph (the colour list follows the blit order).
  Reports rep;
  const int w = 640, h = 400;
  std::vector<unsigned char> raster((size_t)w * h, 0);
  Picture pic(w, h, 3);
  const int colours[4][3] = {{20, 30, 140}, {190, 20, 20}, {0, 0, 0}, {30, 130, 40}};
  for (int gy = 20, row = 0; gy + 30 < h; gy += 50, row++)
    for (int gx = 20, col = 0; gx + 20 < w; gx += 30, col++)
    {
      const int *c = colours[(row * 7 + col * 3 + (col * row) % 5) % 4];
      for (int y = 0; y < 30; y++)
        for (int x = 0; x < 20; x++)
          if (x < 4 || y < 4 || y >= 26 || (col % 2 && x >= 16))
          {
            raster[(size_t)(gy + y) * w + gx + x] = 1;
            pic.set(gx + x, gy + y, c[0], c[1], c[2]);
          }
    }
  Mask mask(w, h, raster, 300);
  djvu_encode_params p = DJVU_ENCODE_PARAMS_DEFAULTS;
  p.quality = 80;
  p.flags = DJVU_ENCODE_COMPACT;
  p.fg_dpi = 50;
  Output out;
  ASSERT_EQ(djvu_encode(&p, &mask.rec, pic.image(), collect, &out), 0) << rep.first();
  EXPECT_EQ(chunks(out.bytes),
            (std::vector<std::string>{"FORM:DJVU", "INFO", "Sjbz", "FGbz", "BG44", "BG44", "BG44"}));
  Pnm dec = ddjvu(out.bytes, "palette");
  ASSERT_EQ(dec.px.size(), pic.px.size());
  int worst = 0;
  for (size_t i = 0; i < raster.size(); i++)
    if (raster[i])
      for (int c = 0; c < 3; c++)
        worst = std::max(worst, std::abs((int)dec.px[3 * i + c] - (int)pic.px[3 * i + c]));
  EXPECT_LE(worst, 12);
}

TEST(DjvuEncodeCompact, FlagLeavesMaskOnlyPagesAndLosslessMasksAlone)
{
  Reports rep;
  const int w = 300, h = 200;
  std::vector<unsigned char> raster((size_t)w * h, 0);
  for (int y = 30; y < 170; y++)
    for (int x = 20; x < 280; x++)
      raster[(size_t)y * w + x] = ((x / 7) % 3 == 0 && (y / 9) % 2 == 0) || (y % 40 == 0);
  Mask mask(w, h, raster, 300);

  // Without an image the page is the bitonal one, byte for byte.
  for (int base : {0, (int)DJVU_ENCODE_LOSSLESS, (int)DJVU_ENCODE_AGGRESSIVE})
  {
    djvu_encode_params a = DJVU_ENCODE_PARAMS_DEFAULTS;
    a.quality = 80;
    a.flags = base;
    a.fg_dpi = 50;
    djvu_encode_params b = DJVU_ENCODE_PARAMS_DEFAULTS;
    b.quality = 80;
    b.flags = base | DJVU_ENCODE_COMPACT;
    b.fg_dpi = 50;
    Output oa, ob;
    ASSERT_EQ(djvu_encode(&a, &mask.rec, nullptr, collect, &oa), 0);
    ASSERT_EQ(djvu_encode(&b, &mask.rec, nullptr, collect, &ob), 0);
    EXPECT_EQ(oa.bytes, ob.bytes) << base;
  }

  // A lossless mask under colour layers decodes to the input mask exactly.
  Picture pic(w, h, 1);
  pic.rect(0, 0, w, h, 235, 235, 235);
  for (size_t i = 0; i < raster.size(); i++)
    if (raster[i])
      pic.px[i] = 40;
  djvu_encode_params p = DJVU_ENCODE_PARAMS_DEFAULTS;
  p.quality = 80;
  p.flags = DJVU_ENCODE_COMPACT | DJVU_ENCODE_LOSSLESS;
  p.fg_dpi = 50;
  Output out;
  ASSERT_EQ(djvu_encode(&p, &mask.rec, pic.image(), collect, &out), 0) << rep.first();
  Pnm m = ddjvu(out.bytes, "lossless_mask", "pgm", "-mode=mask");
  ASSERT_EQ(m.px.size(), raster.size());
  size_t differ = 0;
  for (size_t i = 0; i < raster.size(); i++)
    differ += (m.px[i] < 128) != (raster[i] != 0);
  EXPECT_EQ(differ, 0u);
  EXPECT_EQ(rep.size(), 0u);
}

TEST(DjvuEncodeCompact, SquareDilationMatchesTheDefinition)
{
  std::mt19937 rng(7);
  for (int radius : {0, 1, 2, 5})
    for (auto [w, h] : {std::pair<int, int>{1, 1}, {7, 3}, {40, 33}, {3, 60}})
    {
      DJVU::GP<DJVU::GBitmap> bm = DJVU::GBitmap::create(h, w);
      for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
          (*bm)[y][x] = rng() % 23 == 0;
      DJVU::GP<DJVU::GBitmap> d = vellum_api::dilate_square(*bm, radius);
      ASSERT_EQ((int)d->columns(), w);
      ASSERT_EQ((int)d->rows(), h);
      for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
        {
          bool any = false;
          for (int yy = std::max(0, y - radius); yy <= std::min(h - 1, y + radius); yy++)
            for (int xx = std::max(0, x - radius); xx <= std::min(w - 1, x + radius); xx++)
              any |= (*bm)[yy][xx] != 0;
          ASSERT_EQ((*d)[y][x] != 0, any) << "radius " << radius << " at " << x << "," << y;
        }
    }
}

// Colour layers of the compact profile (DJVU_ENCODE_COMPACT).
//
// The classic layers code the anti-aliased edge of every glyph twice: the
// edge pixels just outside the mask stay in the background, and a 100-slice
// IW44 foreground codes the ink colours. Here the background holes cover the
// mask grown by the anti-aliasing width, so the masked wavelet fills them
// from the paper around the glyph; the foreground is one palette colour per
// blit (FGbz) whenever the colours under each shape are nearly flat, and a
// budgeted IW44 foreground otherwise; the background stops at a quality
// (estimated decibels) instead of a fixed slice count.
#include "EncodeInt.h"

#include "ApiError.h"
#include "MaskInt.h"
#include "PixImageInt.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "ByteStream.h"
#include "DjVuPalette.h"
#include "GPixmap.h"
#include "IFFByteStream.h"
#include "IW44Image.h"

using namespace DJVU;

namespace vellum_api
{

namespace
{

// Page pixels addressed from the bottom row, as the JB2 image counts them.
struct PagePixels
{
  const djvu_pixel_image &img;
  const bool gray;
  explicit PagePixels(const djvu_pixel_image &i) : img(i), gray(pix_is_gray(&i)) {}
  const unsigned char *row(int y) const { return pix_row(&img, img.h - 1 - y); }
  // Red, green, blue of pixel x of a row.
  void rgb(const unsigned char *r, int x, int &red, int &green, int &blue) const
  {
    if (gray)
      red = green = blue = r[x];
    else
    {
      const unsigned char *p = r + (size_t)x * img.pixsize;
      const bool bgr = !(img.flags & DJVU_RGB) || (img.flags & DJVU_BGR);
      red = bgr ? p[2] : p[0];
      green = p[1];
      blue = bgr ? p[0] : p[2];
    }
  }
};

// One colour per shape is used while the spread of the mask pixels around
// their shape's colour (RMS over the three channels) stays within this
// ratio and margin of their spread around the foreground layer's cells;
// beyond, the shapes cover a picture that one colour would lose.
constexpr double kMaxSpreadRatio = 1.25;
constexpr double kMaxSpreadMargin = 3.0;
constexpr int kPaletteColors = 8;

struct ShapeColors
{
  std::vector<GPixel> mean; // per blit
  std::vector<int> count;   // black pixels of the blit on the page
  double spread = 0;
};

ShapeColors shape_colors(const PagePixels &page, const JB2Image &jb2)
{
  ShapeColors sc;
  const int n = jb2.get_blit_count();
  sc.mean.resize(n);
  sc.count.assign(n, 0);
  double sq = 0;
  long total = 0;
  for (int i = 0; i < n; i++)
  {
    const JB2Blit &blit = *jb2.get_blit(i);
    const JB2Shape &shape = jb2.get_shape(blit.shapeno);
    GPixel &m = sc.mean[i];
    m.r = m.g = m.b = 0;
    if (!shape.bits)
      continue;
    const GBitmap &bits = *shape.bits;
    double s[3] = {0, 0, 0}, s2 = 0;
    int cnt = 0;
    for (int y = 0; y < (int)bits.rows(); y++)
    {
      const int py = blit.bottom + y;
      if (py >= page.img.h)
        break;
      const unsigned char *src = page.row(py), *b = bits[y];
      for (int x = 0; x < (int)bits.columns(); x++)
      {
        const int px = blit.left + x;
        if (px >= page.img.w)
          break;
        if (!b[x])
          continue;
        int r, g, bl;
        page.rgb(src, px, r, g, bl);
        s[0] += r;
        s[1] += g;
        s[2] += bl;
        s2 += (double)r * r + (double)g * g + (double)bl * bl;
        cnt++;
      }
    }
    if (!cnt)
      continue;
    sc.count[i] = cnt;
    m.r = (unsigned char)std::lround(s[0] / cnt);
    m.g = (unsigned char)std::lround(s[1] / cnt);
    m.b = (unsigned char)std::lround(s[2] / cnt);
    sq += s2 - (s[0] * s[0] + s[1] * s[1] + s[2] * s[2]) / cnt;
    total += cnt;
  }
  sc.spread = total ? std::sqrt(std::max(0.0, sq) / (3.0 * total)) : 0;
  return sc;
}

// Averages the page pixels that are clear in `holes` (a page-sized bitmap)
// per r x r cell; a cell without such a pixel becomes a hole of the layer.
void masked_layer(const PagePixels &page, const GBitmap &holes, bool want_clear, int r, GPixmap &pm,
                  GBitmap &layer_holes)
{
  const int w = page.img.w, h = page.img.h;
  const int rows = (h + r - 1) / r, cols = (w + r - 1) / r;
  DJVU_API_MUL(DJVU_API_MUL(rows, cols), 3);
  pm.init(rows, cols, &GPixel::RED);
  layer_holes.init(rows, cols, 0);
  layer_holes.set_grays(2);
  std::vector<long> sum((size_t)cols * 3);
  std::vector<int> cnt(cols);
  for (int cy = 0; cy < rows; cy++)
  {
    std::fill(sum.begin(), sum.end(), 0);
    std::fill(cnt.begin(), cnt.end(), 0);
    for (int y = cy * r; y < std::min(h, cy * r + r); y++)
    {
      const unsigned char *src = page.row(y), *hr = holes[y];
      for (int x = 0; x < w; x++)
      {
        if ((hr[x] == 0) != want_clear)
          continue;
        int red, g, b;
        page.rgb(src, x, red, g, b);
        const int c = x / r;
        sum[3 * c] += red;
        sum[3 * c + 1] += g;
        sum[3 * c + 2] += b;
        cnt[c]++;
      }
    }
    GPixel *out = pm[cy];
    unsigned char *oh = layer_holes[cy];
    for (int c = 0; c < cols; c++)
    {
      if (!cnt[c])
      {
        oh[c] = 1;
        continue;
      }
      oh[c] = 0;
      out[c].r = (unsigned char)(sum[3 * c] / cnt[c]);
      out[c].g = (unsigned char)(sum[3 * c + 1] / cnt[c]);
      out[c].b = (unsigned char)(sum[3 * c + 2] / cnt[c]);
    }
  }
}

// The RMS distance of the mask pixels from their cell's mean in the
// foreground layer fg at ratio r: what an IW44 foreground could reach at
// best, for comparison with one colour per shape.
double cell_spread(const PagePixels &page, const GBitmap &mask, int r, const GPixmap &fg)
{
  double sq = 0;
  long n = 0;
  for (int y = 0; y < page.img.h; y++)
  {
    const unsigned char *src = page.row(y), *m = mask[y];
    const GPixel *cells = fg[y / r];
    for (int x = 0; x < page.img.w; x++)
      if (m[x])
      {
        int red, g, b;
        page.rgb(src, x, red, g, b);
        const GPixel &c = cells[x / r];
        sq +=
            (double)(red - c.r) * (red - c.r) + (double)(g - c.g) * (g - c.g) + (double)(b - c.b) * (b - c.b);
        n++;
      }
  }
  return n ? std::sqrt(sq / (3.0 * n)) : 0;
}

void put_iw44_chunk(IFFByteStream &iff, const char *id, IW44Image &enc, const IWEncoderParms &parms)
{
  iff.put_chunk(id);
  enc.encode_chunk(iff.get_bytestream(), parms);
  iff.close_chunk();
}

IWEncoderParms iw_parms(int slices, int bytes, float decibels)
{
  IWEncoderParms p;
  p.slices = slices;
  p.bytes = bytes;
  p.decibels = decibels;
  return p;
}

} // namespace

GP<GBitmap> dilate_square(const GBitmap &bm, int radius)
{
  const int w = bm.columns(), h = bm.rows();
  GP<GBitmap> out = GBitmap::create(h, w);
  if (w <= 0 || h <= 0)
    return out;
  // Rows first (a running count of set pixels in the window), then columns.
  std::vector<unsigned char> tmp((size_t)w * h);
  for (int y = 0; y < h; y++)
  {
    const unsigned char *s = bm[y];
    unsigned char *d = &tmp[(size_t)y * w];
    int n = 0;
    for (int x = 0; x < std::min(radius, w); x++)
      n += s[x] != 0;
    for (int x = 0; x < w; x++)
    {
      if (x + radius < w)
        n += s[x + radius] != 0;
      if (x - radius - 1 >= 0)
        n -= s[x - radius - 1] != 0;
      d[x] = n > 0;
    }
  }
  std::vector<int> n(w, 0);
  for (int y = 0; y < std::min(radius, h); y++)
    for (int x = 0; x < w; x++)
      n[x] += tmp[(size_t)y * w + x];
  for (int y = 0; y < h; y++)
  {
    unsigned char *d = (*out)[y];
    const unsigned char *add = y + radius < h ? &tmp[(size_t)(y + radius) * w] : nullptr;
    const unsigned char *sub = y - radius - 1 >= 0 ? &tmp[(size_t)(y - radius - 1) * w] : nullptr;
    for (int x = 0; x < w; x++)
    {
      if (add)
        n[x] += add[x];
      if (sub)
        n[x] -= sub[x];
      d[x] = n[x] > 0;
    }
  }
  return out;
}

int compact_bg_ratio(int classic_ratio, int dpi, bool colour)
{
  int r = classic_ratio;
  // A colour page carries its pictures in the background, where one step
  // finer costs fewer bytes than it gains; below 200 dpi a coarser layer
  // blurs the paper between the lines.
  if (colour && r > 2)
    r--;
  return dpi < 200 ? std::min(r, 2) : r;
}

int compact_edge_width(int dpi)
{
  return std::max(1, (dpi + 150) / 300);
}

void encode_compact_layers(IFFByteStream &iff, const djvu_pixel_image &img, const JB2Image &jb2, int f, int b,
                           int dpi, int quality, double corr)
{
  const PagePixels page(img);
  GP<GBitmap> mask = jb2.get_bitmap();

  // Foreground: one colour per blit unless the colours under the shapes
  // vary much more than within the foreground layer's cells (a picture in
  // the mask).
  ShapeColors sc = shape_colors(page, jb2);
  GP<GPixmap> fg = GPixmap::create();
  GP<GBitmap> fgholes = GBitmap::create();
  masked_layer(page, *mask, false, f, *fg, *fgholes);
  const double cells = cell_spread(page, *mask, f, *fg);
  GP<IW44Image> fgenc;
  if (sc.spread <= cells * kMaxSpreadRatio + kMaxSpreadMargin)
  {
    GP<DjVuPalette> pal = DjVuPalette::create();
    pal->histogram_clear();
    bool any = false;
    for (size_t i = 0; i < sc.mean.size(); i++)
      if (sc.count[i])
      {
        pal->histogram_add(sc.mean[i], sc.count[i]);
        any = true;
      }
    if (!any)
    {
      GPixel black = GPixel::BLACK;
      pal->histogram_add(black, 1);
    }
    pal->compute_palette(kPaletteColors);
    pal->colordata.resize(0, (int)sc.mean.size() - 1);
    for (size_t i = 0; i < sc.mean.size(); i++)
      pal->colordata[(int)i] = (short)pal->color_to_index(sc.mean[i]);
    if (corr != 1.0)
      pal->color_correct(corr);
    iff.put_chunk("FGbz");
    pal->encode(iff.get_bytestream());
    iff.close_chunk();
  }
  else
  {
    fg->color_correct(corr);
    fgenc = IW44Image::create_encode(*fg, fgholes, page.gray ? IW44Image::CRCBnone : IW44Image::CRCBfull);
  }
  fg = nullptr;

  // Background: holes over the mask grown by the anti-aliasing width.
  GP<GBitmap> holes = dilate_square(*mask, compact_edge_width(dpi));
  mask = nullptr;
  GP<GPixmap> bg = GPixmap::create();
  GP<GBitmap> bgholes = GBitmap::create();
  masked_layer(page, *holes, true, b, *bg, *bgholes);
  holes = nullptr;
  bg->color_correct(corr);
  GP<IW44Image> bgenc =
      IW44Image::create_encode(*bg, bgholes, page.gray ? IW44Image::CRCBnone : IW44Image::CRCBnormal);

  // The quality sets the decibels the background reaches; the slice caps
  // keep a noisy page from spending its bytes on grain.
  const int q = std::max(1, std::min(100, quality));
  const float db = 20.0f + 0.16f * (float)q;
  put_iw44_chunk(iff, "BG44", *bgenc, iw_parms(72, 10000, 0));
  if (fgenc)
  {
    put_iw44_chunk(iff, "FG44", *fgenc, iw_parms(80, 0, 0));
    fgenc->close_codec();
  }
  put_iw44_chunk(iff, "BG44", *bgenc, iw_parms(84, 0, db - 3));
  put_iw44_chunk(iff, "BG44", *bgenc, iw_parms(90, 0, db));
  bgenc->close_codec();
}

} // namespace vellum_api

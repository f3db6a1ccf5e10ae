// Pixel image resampling and rotation by multiples of 90 degrees.
//
// Resampling a line of n samples to b: groups of o = n / b samples are
// averaged when o >= 2, otherwise each sample is repeated m = ceil(b / n)
// times; when that intermediate line is not b long, output sample j is
// interpolated linearly (8.8 fixed point) at j * ((n-1) * m * 256 / o) / (b-1).
// The width is resampled first, then the height (down the columns of the
// bottom-up canonical buffer). The buffer is grown to the largest of the
// source, intermediate and final pictures before any stage runs.
//
// Angle 90 turns the picture a quarter counter-clockwise, 270 clockwise.
// A quarter turn runs in place through a scratch buffer of at most 4 MiB:
// the columns that become the last rows of the result are copied out, the
// remaining columns are packed to the front, the copied rows go to the end
// of the buffer, and the same is repeated on the smaller picture.
// Failures name the pixel image's source, one name for all of its files.
#define VELLUM_API_UNIT "libAPI/PixImage.cpp"
#include "PixImageInt.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

namespace vellum_api
{
namespace
{

const size_t kTurnScratch = 4194304;

// Precomputed mapping of one resampling n -> b.
struct LineMap
{
  int n = 0, b = 0, m = 1, o = 1, len = 0;
  bool direct = false;   // intermediate length == b
  std::vector<int> i0;   // intermediate index of each output sample
  std::vector<int> frac; // weight of i0 + 1 in 1/256

  LineMap(int n_, int b_) : n(n_), b(b_)
  {
    if (n <= 0 || b <= 0)
      DJVU_API_THROW("Illegal upsample value");
    m = (int)(((int64_t)b + n - 1) / n);
    o = std::max(1, n / b);
    if (m <= 0)
      DJVU_API_THROW("Illegal upsample value");
    len = o >= 2 ? (n + o - 1) / o : (int)std::min<int64_t>((int64_t)n * m, INT32_MAX);
    direct = len == b;
    if (direct)
      return;
    i0.resize(b);
    frac.resize(b);
    const int64_t k = (int64_t)(n - 1) * m * 256 / o;
    for (int j = 0; j < b; j++)
    {
      const int64_t pos = j == 0 ? 0 : (int64_t)j * k / (b - 1);
      i0[j] = (int)std::min<int64_t>(pos >> 8, len - 1);
      frac[j] = (int)(pos & 255);
    }
  }

  // Resamples one channel of a line: s[i * ss], i < n -> d[j * ds], j < b.
  void run(const unsigned char *s, size_t ss, unsigned char *d, size_t ds, std::vector<int> &avg) const
  {
    if (o >= 2)
    {
      avg.resize(len);
      for (int g = 0; g < len; g++)
      {
        const int first = g * o, last = std::min(n, first + o);
        int64_t sum = 0;
        for (int i = first; i < last; i++)
          sum += s[(size_t)i * ss];
        avg[g] = (int)(sum / (last - first));
      }
    }
    auto inter = [&](int i) -> int
    {
      if (i >= len)
        i = len - 1;
      return o >= 2 ? avg[i] : s[(size_t)(i / m) * ss];
    };
    if (direct)
    {
      for (int j = 0; j < b; j++)
        d[(size_t)j * ds] = (unsigned char)inter(j);
      return;
    }
    d[0] = (unsigned char)inter(0);
    for (int j = 1; j < b; j++)
    {
      const int f = frac[j];
      d[(size_t)j * ds] = (unsigned char)((inter(i0[j]) * (256 - f) + inter(i0[j] + 1) * f) >> 8);
    }
  }
};

int32_t resample_dpi(int64_t dpi, int64_t oldn, int64_t newn)
{
  return (int32_t)std::min<int64_t>((oldn + 2 * dpi * newn) / (2 * oldn), INT32_MAX);
}

// Canonical image w x h -> nw x h.
void resample_width(djvu_pixel_image *img, int nw)
{
  const int w = img->w, h = img->h, ps = img->pixsize;
  LineMap map(w, nw);
  const size_t nrs = (size_t)nw * ps;
  std::vector<unsigned char> out(DJVU_API_MUL(nrs, h));
  std::vector<int> avg;
  for (int r = 0; r < h; r++)
    for (int c = 0; c < ps; c++)
      map.run(img->data + (size_t)r * img->rowsize + c, ps, out.data() + r * nrs + c, ps, avg);
  std::memcpy(img->data, out.data(), out.size());
  if (img->flags & DJVU_HAS_DPI)
    img->xdpi = resample_dpi(img->xdpi, w, nw);
  img->w = nw;
  img->rowsize = (int32_t)nrs;
}

// Canonical image w x h -> w x nh.
void resample_height(djvu_pixel_image *img, int nh)
{
  const int w = img->w, h = img->h, ps = img->pixsize;
  LineMap map(h, nh);
  const size_t rs = (size_t)w * ps;
  std::vector<unsigned char> out(DJVU_API_MUL(rs, nh));
  std::vector<int> avg;
  for (size_t col = 0; col < rs; col++)
    map.run(img->data + col, rs, out.data() + col, rs, avg);
  std::memcpy(img->data, out.data(), out.size());
  if (img->flags & DJVU_HAS_DPI)
    img->ydpi = resample_dpi(img->ydpi, h, nh);
  img->h = nh;
}

// Quarter turn of a canonical (bottom-up, packed) image in place.
void quarter_turn(djvu_pixel_image *img, bool ccw)
{
  const int H = img->h, ps = img->pixsize;
  int W = img->w;
  const size_t col_bytes = (size_t)H * ps; // one result row
  const int slice =
      (int)std::max<size_t>(1, std::min<size_t>(kTurnScratch / std::max<size_t>(col_bytes, 1), W));
  std::vector<unsigned char> scratch(DJVU_API_MUL(col_bytes, std::min(slice, W)));
  unsigned char *data = img->data;
  while (W > 0)
  {
    const int c = std::min(slice, W);
    const size_t rs = (size_t)W * ps;
    // Columns leaving: the last c (ccw) or the first c (cw). They become
    // result rows W-c .. W-1.
    const int x_first = ccw ? W - c : 0;
    for (int k = 0; k < c; k++)
    {
      const int x = x_first + k;
      const int newrow = ccw ? x : W - 1 - x;
      unsigned char *d = scratch.data() + (size_t)(newrow - (W - c)) * col_bytes;
      for (int r = 0; r < H; r++)
      {
        // ccw: result column H-1-r; cw: result column r.
        const int nc = ccw ? H - 1 - r : r;
        std::memcpy(d + (size_t)nc * ps, data + (size_t)r * rs + (size_t)x * ps, ps);
      }
    }
    // Pack the remaining columns to the front.
    const size_t keep = (size_t)(W - c) * ps;
    const size_t skip = ccw ? 0 : (size_t)c * ps;
    for (int r = 0; r < H && keep > 0; r++)
      std::memmove(data + (size_t)r * keep, data + (size_t)r * rs + skip, keep);
    std::memcpy(data + (size_t)(W - c) * col_bytes, scratch.data(), (size_t)c * col_bytes);
    W -= c;
  }
  std::swap(img->w, img->h);
  img->rowsize = img->w * ps;
  if (img->flags & DJVU_HAS_DPI)
    std::swap(img->xdpi, img->ydpi);
}

void half_turn(djvu_pixel_image *img)
{
  const int w = img->w, ps = img->pixsize;
  for (int r = 0; r < img->h; r++)
  {
    unsigned char *row = img->data + (size_t)r * img->rowsize;
    for (int a = 0, b = w - 1; a < b; a++, b--)
      for (int c = 0; c < ps; c++)
        std::swap(row[(size_t)a * ps + c], row[(size_t)b * ps + c]);
  }
  img->flags ^= DJVU_BOTTOMUP;
  pix_canonicalize(img);
}

int reduce_angle(int angle)
{
  return ((angle % 360) + 360) % 360;
}

} // namespace

void pix_transform(djvu_pixel_image *img, int angle, int w, int h)
{
  const int a = reduce_angle(angle);
  if (a % 90 != 0)
    DJVU_API_THROW("Can only transform 90,180, and 270 degrees.");
  pix_validate(img);
  int tw = checked_int(w < 0 ? -(int64_t)w : w), th = checked_int(h < 0 ? -(int64_t)h : h);
  if (tw == 0 || th == 0)
  {
    img->w = tw;
    img->h = th;
    img->rowsize = checked_int((int64_t)tw * img->pixsize);
    if (img->data && (img->origin == DJVU_ORIGIN_API || img->origin == (void *)img->data))
      pix_release_buffer(img);
    return;
  }
  pix_canonicalize(img);
  if (a == 90 || a == 270)
    std::swap(tw, th);
  const int w0 = img->w, h0 = img->h, ps = img->pixsize;
  if ((w0 == 0 || h0 == 0) && (tw != w0 || th != h0))
    DJVU_API_THROW("Illegal upsample value");
  const size_t src = DJVU_API_MUL(DJVU_API_MUL(w0, h0), ps);
  const size_t mid = DJVU_API_MUL(DJVU_API_MUL(tw, h0), ps);
  const size_t dst = DJVU_API_MUL(DJVU_API_MUL(tw, th), ps);
  checked_int((int64_t)std::max(tw, th) * ps); // row sizes before and after a turn
  pix_grow(img, std::max({src, mid, dst}));
  if (tw != w0)
    resample_width(img, tw);
  if (th != img->h)
    resample_height(img, th);
  if (a == 90)
    quarter_turn(img, true);
  else if (a == 270)
    quarter_turn(img, false);
  else if (a == 180)
    half_turn(img);
  pix_tighten(img);
}

} // namespace vellum_api

using namespace vellum_api;

namespace
{
void check_public_angle(int angle)
{
  if (reduce_angle(angle) % 90 != 0)
    DJVU_API_THROW("Can only rotate 0,90,180, and 270 degrees");
}
} // namespace

extern "C" {

djvu_pixel_image *djvu_pixel_transform(djvu_pixel_image *image, int angle, int w, int h)
{
  return guard<djvu_pixel_image *>(nullptr,
                                   [&]
                                   {
                                     check_public_angle(angle);
                                     pix_transform(image, angle, w, h);
                                     return image;
                                   });
}

djvu_pixel_image *djvu_pixel_rotate(const djvu_pixel_image *image, int angle, int w, int h)
{
  return guard<djvu_pixel_image *>(nullptr,
                                   [&]
                                   {
                                     check_public_angle(angle);
                                     pix_validate(image);
                                     const int64_t tw = w < 0 ? -(int64_t)w : w, th = h < 0 ? -(int64_t)h : h;
                                     int64_t factor = 1;
                                     if (tw != 0 && th != 0)
                                     {
                                       const int64_t fh = th >= image->h ? 1 : image->h / th;
                                       const int64_t fw = tw >= image->w ? 1 : image->w / tw;
                                       factor = std::max<int64_t>(1, std::min(fh, fw));
                                     }
                                     djvu_pixel_image *copy = pix_scale(image, (int)factor, 0);
                                     try
                                     {
                                       pix_transform(copy, angle, w, h);
                                     }
                                     catch (...)
                                     {
                                       pix_free_record(copy);
                                       throw;
                                     }
                                     return copy;
                                   });
}

} // extern "C"

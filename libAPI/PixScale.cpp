// Pixel image scaling: block-mean subsampling, enlargement by 2 and 3 with
// edge-preserving interpolation, enlargement by replication, and the
// smoothing pass that follows a doubling.
//
// Enlargements work in place from the end of the grown buffer backwards, so
// a source row is always read (into a one-row scratch) before any output
// row can cover it. Subsampling works forward from the start of the buffer:
// an output row never reaches the source rows still to be read.
//
// Smoothing (pix_smooth2) re-estimates the 2 x 2 block that each source pixel
// became from the block sums of its 3 x 3 block neighbourhood, with integer
// weights over 1144 applied to block sums (so the weights total 286):
//   own block 286, near edge neighbours +31, far edge neighbours -31,
//   near and far corners +13, the two mixed corners -13,
// "near" meaning on the side of the sub-pixel. A neighbour outside the image
// is replaced by the block itself (the reduced border predictor). The fourth
// value keeps the block sum; values are then forced into 0..255 keeping it.
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

int32_t scale_dpi(int64_t dpi, int64_t k)
{
  return (int32_t)std::min<int64_t>(dpi * k, INT32_MAX);
}

// Enlarges a canonical image in place: each stored row r becomes k rows
// from k*r on, widened by widen(src, dst) into k*w pixels.
template <class Widen> void enlarge_rows(djvu_pixel_image *img, int k, Widen widen)
{
  const int w = img->w, h = img->h, ps = img->pixsize;
  const int32_t nw = checked_int((int64_t)w * k), nh = checked_int((int64_t)h * k);
  const size_t rs = (size_t)w * ps;
  const size_t nrs = DJVU_API_MUL(rs, k);
  checked_int((int64_t)nrs);
  pix_grow(img, DJVU_API_MUL(nrs, nh));
  std::vector<unsigned char> wide(nrs);
  for (int r = h - 1; r >= 0; r--)
  {
    widen(img->data + (size_t)r * rs, wide.data());
    for (int i = 0; i < k; i++)
      std::memcpy(img->data + ((size_t)r * k + i) * nrs, wide.data(), nrs);
  }
  img->w = nw;
  img->h = nh;
  img->rowsize = (int32_t)nrs;
  if (img->flags & DJVU_HAS_DPI)
  {
    img->xdpi = scale_dpi(img->xdpi, k);
    img->ydpi = scale_dpi(img->ydpi, k);
  }
}

bool replicate_instead(const djvu_pixel_image *img)
{
  return img->w < 3 || (pix_is_gray(img) && (img->flags & DJVU_BITONAL));
}

inline bool in_range(int v)
{
  return v >= 0 && v <= 255;
}

int64_t div_round(int64_t num, int64_t den)
{
  return num >= 0 ? (num + den / 2) / den : -((-num + den / 2) / den);
}

} // namespace

void pix_subsample(djvu_pixel_image *img, int n)
{
  if (n <= 0)
    DJVU_API_THROW("Non-posative scale specified in djvu_pixel_subsample");
  pix_validate(img);
  if (n == 1)
    return;
  const int w = img->w, h = img->h, ps = img->pixsize;
  const int nw = (int)(((int64_t)w + n - 1) / n), nh = (int)(((int64_t)h + n - 1) / n);
  if (w > 0 && h > 0)
  {
    // Blocks are anchored at the picture's top-left corner: the short
    // blocks lie at the right and bottom edges whatever the row order.
    const bool bottomup = (img->flags & DJVU_BOTTOMUP) != 0;
    std::vector<uint64_t> sums((size_t)nw * ps);
    const unsigned char *src = img->data + img->offset;
    int row = 0;
    for (int j = 0; j < nh; j++)
    {
      int cnt = n;
      if (bottomup && j == 0)
        cnt = h - (nh - 1) * n;
      else if (!bottomup && j == nh - 1)
        cnt = h - (nh - 1) * n;
      std::fill(sums.begin(), sums.end(), 0);
      for (int i = 0; i < cnt; i++, row++)
      {
        const unsigned char *s = src + (size_t)row * img->rowsize;
        for (int x = 0; x < w; x++)
        {
          uint64_t *acc = &sums[(size_t)(x / n) * ps];
          for (int c = 0; c < ps; c++)
            acc[c] += s[(size_t)x * ps + c];
        }
      }
      unsigned char *d = img->data + (size_t)j * nw * ps;
      for (int bx = 0; bx < nw; bx++)
      {
        const uint64_t count = (uint64_t)cnt * (uint64_t)std::min(n, w - bx * n);
        for (int c = 0; c < ps; c++)
          d[(size_t)bx * ps + c] = (unsigned char)(sums[(size_t)bx * ps + c] / count);
      }
    }
  }
  img->w = nw;
  img->h = nh;
  img->rowsize = nw * ps;
  img->offset = 0;
  if (img->flags & DJVU_HAS_DPI)
  {
    img->xdpi = (int32_t)((2 * (int64_t)img->xdpi + n - 1) / (2 * (int64_t)n));
    img->ydpi = (int32_t)((2 * (int64_t)img->ydpi + n - 1) / (2 * (int64_t)n));
  }
  pix_canonicalize(img);
  pix_tighten(img);
}

void pix_replicate(djvu_pixel_image *img, int k)
{
  if (k < 1)
    DJVU_API_THROW("Illegal upsample value");
  pix_canonicalize(img);
  if (k == 1 || img->w == 0 || img->h == 0)
  {
    img->w = checked_int((int64_t)img->w * k);
    img->h = checked_int((int64_t)img->h * k);
    img->rowsize = checked_int((int64_t)img->w * img->pixsize);
    if (k > 1 && (img->flags & DJVU_HAS_DPI))
    {
      img->xdpi = scale_dpi(img->xdpi, k);
      img->ydpi = scale_dpi(img->ydpi, k);
    }
    return;
  }
  const int w = img->w, ps = img->pixsize;
  enlarge_rows(img, k,
               [&](const unsigned char *s, unsigned char *d)
               {
                 for (int x = 0; x < w; x++)
                   for (int i = 0; i < k; i++)
                     std::memcpy(d + ((size_t)x * k + i) * ps, s + (size_t)x * ps, ps);
               });
}

void pix_enlarge2(djvu_pixel_image *img)
{
  pix_canonicalize(img);
  if (replicate_instead(img))
  {
    pix_replicate(img, 2);
    return;
  }
  const int w = img->w, ps = img->pixsize;
  enlarge_rows(img, 2,
               [&](const unsigned char *s, unsigned char *d)
               {
                 for (int x = 0; x < w; x++)
                   for (int c = 0; c < ps; c++)
                   {
                     const int v = s[(size_t)x * ps + c];
                     const int L = x > 0 ? s[(size_t)(x - 1) * ps + c] : 0;
                     const int R = x < w - 1 ? s[(size_t)(x + 1) * ps + c] : 0;
                     int right;
                     if (x == 0)
                       right = (2 * v + R) / 3;
                     else if (x == w - 1)
                       right = (4 * v - L) / 3;
                     else
                       right = v + (R - L) / 4;
                     int left = 2 * v - right;
                     if (!in_range(left) || !in_range(right))
                       left = right = v;
                     d[(size_t)(2 * x) * ps + c] = (unsigned char)left;
                     d[(size_t)(2 * x + 1) * ps + c] = (unsigned char)right;
                   }
               });
}

void pix_enlarge3(djvu_pixel_image *img)
{
  pix_canonicalize(img);
  if (replicate_instead(img))
  {
    pix_replicate(img, 3);
    return;
  }
  const int w = img->w, ps = img->pixsize;
  enlarge_rows(img, 3,
               [&](const unsigned char *s, unsigned char *d)
               {
                 for (int x = 0; x < w; x++)
                   for (int c = 0; c < ps; c++)
                   {
                     const int v = s[(size_t)x * ps + c];
                     const int L = x > 0 ? s[(size_t)(x - 1) * ps + c] : 0;
                     const int R = x < w - 1 ? s[(size_t)(x + 1) * ps + c] : 0;
                     int left, mid, right;
                     if (x == 0)
                     {
                       left = (4 * v - R) / 3;
                       mid = v;
                       right = 2 * v - left;
                     }
                     else if (x == w - 1)
                     {
                       right = (4 * v - L) / 3;
                       mid = v;
                       left = 2 * v - right;
                     }
                     else
                     {
                       left = ((3 * v + L) * 3 - 2 * R) / 10;
                       right = ((3 * v + R) * 3 - 2 * L) / 10;
                       mid = 3 * v - left - right;
                     }
                     if (!in_range(left) || !in_range(mid) || !in_range(right))
                       left = mid = right = v;
                     d[(size_t)(3 * x) * ps + c] = (unsigned char)left;
                     d[(size_t)(3 * x + 1) * ps + c] = (unsigned char)mid;
                     d[(size_t)(3 * x + 2) * ps + c] = (unsigned char)right;
                   }
               });
}

namespace
{

// Forces four values into 0..255 keeping their sum.
void settle(int v[4], int sum)
{
  if (sum < 0 || sum > 4 * 255)
    DJVU_API_THROW("Illegal values");
  for (;;)
  {
    int have = 0;
    for (int i = 0; i < 4; i++)
    {
      v[i] = std::clamp(v[i], 0, 255);
      have += v[i];
    }
    const int excess = sum - have;
    if (excess > -4 && excess < 4)
    {
      int rest = excess;
      for (int i = 0; rest != 0; i = (i + 1) & 3)
      {
        if (rest > 0 && v[i] < 255)
        {
          v[i]++;
          rest--;
        }
        else if (rest < 0 && v[i] > 0)
        {
          v[i]--;
          rest++;
        }
      }
      return;
    }
    const int quarter = excess / 4;
    for (int i = 0; i < 4; i++)
      v[i] += quarter;
  }
}

} // namespace

int64_t pix_smooth2(djvu_pixel_image *img)
{
  pix_validate(img);
  if ((img->w & 1) || (img->h & 1))
    DJVU_API_THROW("Image must be doubled before calling djvu_pixel_smooth2()");
  const int bw = img->w / 2, bh = img->h / 2;
  if (bw <= 1 || bh <= 1)
    return 0;
  const int ps = img->pixsize, channels = pix_is_gray(img) ? 1 : 3;
  unsigned char *base = img->data + img->offset;
  const size_t rs = (size_t)img->rowsize;
  auto px = [&](int r, int x, int c) -> unsigned char & { return base[(size_t)r * rs + (size_t)x * ps + c]; };
  // Block sums never change (every pass keeps them), so they can be read
  // from the image as it is being rewritten.
  auto bsum = [&](int bi, int bj, int c)
  {
    return (int64_t)px(2 * bi, 2 * bj, c) + px(2 * bi, 2 * bj + 1, c) + px(2 * bi + 1, 2 * bj, c) +
           px(2 * bi + 1, 2 * bj + 1, c);
  };
  int64_t changes = 0;
  for (int c = 0; c < channels; c++)
    for (int bi = 0; bi < bh; bi++)
      for (int bj = 0; bj < bw; bj++)
      {
        const int64_t C = bsum(bi, bj, c);
        auto nb = [&](int di, int dj)
        {
          const int i = bi + di, j = bj + dj;
          return (i < 0 || i >= bh || j < 0 || j >= bw) ? C : bsum(i, j, c);
        };
        int v[4];
        int old[4];
        for (int q = 0; q < 4; q++)
          old[q] = px(2 * bi + (q >> 1), 2 * bj + (q & 1), c);
        for (int q = 0; q < 3; q++)
        {
          const int dv = (q >> 1) ? 1 : -1, dh = (q & 1) ? 1 : -1; // near side
          const int64_t num = 286 * C + 31 * (nb(dv, 0) + nb(0, dh) - nb(-dv, 0) - nb(0, -dh)) +
                              13 * (nb(dv, dh) + nb(-dv, -dh) - nb(dv, -dh) - nb(-dv, dh));
          v[q] = (int)std::clamp<int64_t>(div_round(num, 1144), -100000, 100000);
        }
        v[3] = (int)C - v[0] - v[1] - v[2];
        settle(v, (int)C);
        for (int q = 0; q < 4; q++)
        {
          px(2 * bi + (q >> 1), 2 * bj + (q & 1), c) = (unsigned char)v[q];
          const int64_t d = v[q] - old[q];
          changes += d * d;
        }
      }
  return changes / img->w;
}

djvu_pixel_image *pix_scale(const djvu_pixel_image *img, int factor, int smoothing)
{
  pix_validate(img);
  djvu_pixel_image *out = pix_new_record();
  try
  {
    pix_canonical_copy(img, out);
    if (out->w == 0 || out->h == 0)
    {
      if (factor > 1)
      {
        out->w = (int)(((int64_t)out->w + factor - 1) / factor);
        out->h = (int)(((int64_t)out->h + factor - 1) / factor);
      }
      else if (factor < -1)
      {
        out->w = checked_int(-(int64_t)factor * out->w);
        out->h = checked_int(-(int64_t)factor * out->h);
      }
      out->rowsize = checked_int((int64_t)out->w * out->pixsize);
    }
    else if (factor > 1)
    {
      pix_subsample(out, factor);
    }
    else if (factor < -1)
    {
      int64_t k = -(int64_t)factor;
      const int passes = smoothing < 76 ? (smoothing + 14) / 15 : (3 * smoothing - 196) / 5;
      while (k % 2 == 0)
      {
        pix_enlarge2(out);
        k /= 2;
        int64_t f = 0, g = 0, h = 0;
        if (passes >= 1)
          f = pix_smooth2(out);
        if (passes >= 2)
          g = pix_smooth2(out);
        if (passes >= 3)
        {
          h = pix_smooth2(out);
          for (int i = 0; i < passes - 2 && (h < f || h < g); i++)
          {
            f = g;
            g = h;
            h = pix_smooth2(out);
          }
        }
      }
      while (k % 3 == 0)
      {
        pix_enlarge3(out);
        k /= 3;
      }
      if (k > 1)
      {
        if (k > INT32_MAX)
          DJVU_API_THROW("Image too large");
        pix_replicate(out, (int)k);
      }
    }
  }
  catch (...)
  {
    pix_free_record(out);
    throw;
  }
  return out;
}

} // namespace vellum_api

using namespace vellum_api;

extern "C" {

djvu_pixel_image *djvu_pixel_subsample(djvu_pixel_image *image, int n)
{
  return guard<djvu_pixel_image *>(nullptr,
                                   [&]
                                   {
                                     pix_subsample(image, n);
                                     return image;
                                   });
}

djvu_pixel_image *djvu_pixel_scale(const djvu_pixel_image *image, int factor, int smoothing)
{
  return guard<djvu_pixel_image *>(nullptr, [&] { return pix_scale(image, factor, smoothing); });
}

int64_t djvu_pixel_smooth2(djvu_pixel_image *image)
{
  return guard<int64_t>(-1, [&] { return pix_smooth2(image); });
}

} // extern "C"

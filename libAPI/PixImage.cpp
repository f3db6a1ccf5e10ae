// The pixel image: records and ownership, validation, canonical form, crop
// copy, buffer growth, scaling (subsampling, interpolating enlargement,
// smoothing) and resampling with rotation by multiples of 90 degrees.
//
// A record describes memory it may not own. The API therefore keeps two
// small process-wide registries: the records it handed out (so that freeing
// never releases a caller's struct) and the DjVuLibre buffers it took over
// (origin == data), each with the library object that keeps the memory
// alive. Canonical conversion works in place by forward compaction (a packed
// row is never longer than the stored row it comes from) followed by a
// pairwise row exchange for top-down sources.
#include "PixImageInt.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace vellum_api
{
namespace
{

struct LibBuffer
{
  size_t size;
  std::shared_ptr<void> keeper;
};

std::mutex g_mutex;
std::unordered_set<const djvu_pixel_image *> &records()
{
  static std::unordered_set<const djvu_pixel_image *> set;
  return set;
}
std::unordered_map<const unsigned char *, LibBuffer> &lib_buffers()
{
  static std::unordered_map<const unsigned char *, LibBuffer> map;
  return map;
}

bool is_api_buffer(const djvu_pixel_image *img)
{
  return img->data && img->origin == DJVU_ORIGIN_API;
}
bool is_lib_buffer(const djvu_pixel_image *img)
{
  return img->data && img->origin == (void *)img->data;
}

// Size of a taken-over library buffer, 0 when unknown.
size_t lib_buffer_size(const unsigned char *data)
{
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = lib_buffers().find(data);
  return it == lib_buffers().end() ? 0 : it->second.size;
}

void drop_lib_buffer(const unsigned char *data)
{
  std::shared_ptr<void> keeper;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = lib_buffers().find(data);
    if (it == lib_buffers().end())
      return;
    keeper = std::move(it->second.keeper);
    lib_buffers().erase(it);
  }
  // keeper released here, outside the lock (it may run library code).
}

} // namespace

// ---- records and buffers ------------------------------------------------

djvu_pixel_image *pix_new_record()
{
  auto *rec = static_cast<djvu_pixel_image *>(djvu_calloc(1, sizeof(djvu_pixel_image)));
  if (!rec)
    DJVU_API_THROW("Failed to allocate memory");
  try
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    records().insert(rec);
  }
  catch (...)
  {
    djvu_free(rec);
    throw;
  }
  return rec;
}

bool pix_is_api_record(const djvu_pixel_image *rec)
{
  std::lock_guard<std::mutex> lock(g_mutex);
  return records().count(rec) != 0;
}

void pix_release_buffer(djvu_pixel_image *img)
{
  if (is_api_buffer(img))
    djvu_free(img->data);
  else if (is_lib_buffer(img))
    drop_lib_buffer(img->data);
  img->data = nullptr;
  img->origin = nullptr;
}

void pix_free_record(djvu_pixel_image *rec)
{
  if (!rec)
    return;
  if (rec->origin != DJVU_ORIGIN_API && rec->origin != (void *)rec->data)
    DJVU_API_THROW("djvu_pixel_image_free: pixel image was not allocated by djvuapi");
  pix_release_buffer(rec);
  bool ours;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    ours = records().erase(rec) != 0;
  }
  if (ours)
    djvu_free(rec);
}

void pix_adopt_library_buffer(djvu_pixel_image *img, unsigned char *data, size_t size,
                              std::shared_ptr<void> keeper)
{
  if (!data)
    DJVU_API_THROW("No Pixel Image Data Is Present");
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    lib_buffers()[data] = LibBuffer{size, std::move(keeper)};
  }
  img->data = data;
  img->origin = data;
}

void pix_wrap_pixmap(djvu_pixel_image *img, const DJVU::GP<DJVU::GPixmap> &pm)
{
  if (!pm)
    DJVU_API_THROW("No Pixel Image Data Is Present");
  const int w = (int)pm->columns(), h = (int)pm->rows();
  img->flags = DJVU_BGR | DJVU_BOTTOMUP;
  img->w = w;
  img->h = h;
  img->offset = 0;
  img->pixsize = 3;
  img->rowsize = (int32_t)DJVU_API_MUL(w, 3);
  img->data = nullptr;
  img->origin = nullptr;
  if (w == 0 || h == 0)
    return;
  static_assert(sizeof(DJVU::GPixel) == 3, "GPixel must be packed B, G, R");
  const size_t bytes = DJVU_API_MUL(DJVU_API_MUL(w, h), 3);
  if ((int)pm->rowsize() == w)
  {
    pix_adopt_library_buffer(img, reinterpret_cast<unsigned char *>((*pm)[0]), bytes,
                             std::make_shared<DJVU::GP<DJVU::GPixmap>>(pm));
    return;
  }
  auto *buf = static_cast<unsigned char *>(djvu_malloc(bytes));
  if (!buf)
    DJVU_API_THROW("Failed to allocate memory");
  for (int r = 0; r < h; r++)
    std::memcpy(buf + (size_t)r * img->rowsize, (*pm)[r], img->rowsize);
  img->data = buf;
  img->origin = DJVU_ORIGIN_API;
}

void pix_wrap_bitmap(djvu_pixel_image *img, const DJVU::GP<DJVU::GBitmap> &bm)
{
  if (!bm)
    DJVU_API_THROW("No Pixel Image Data Is Present");
  const int w = (int)bm->columns(), h = (int)bm->rows();
  img->flags = DJVU_GRAY | DJVU_BOTTOMUP;
  img->w = w;
  img->h = h;
  img->offset = 0;
  img->pixsize = 1;
  img->rowsize = (int32_t)bm->rowsize();
  img->data = nullptr;
  img->origin = nullptr;
  if (w == 0 || h == 0)
    return;
  unsigned char *row0 = (*bm)[0]; // uncompresses an RLE bitmap
  pix_adopt_library_buffer(img, row0, DJVU_API_MUL(bm->rowsize(), h),
                           std::make_shared<DJVU::GP<DJVU::GBitmap>>(bm));
}

// ---- checks ---------------------------------------------------------------

void pix_validate(const djvu_pixel_image *img)
{
  if (!img)
    DJVU_API_THROW("No Pixel Image Is Present");
  if (pix_is_gray(img))
  {
    if (img->pixsize <= 0)
      DJVU_API_THROW("Gray Pixel images must have pixsize greater than 0");
  }
  else
  {
    if (img->pixsize < 3)
      DJVU_API_THROW("Color Pixel images must have pixsize greater than 2");
    if ((img->flags & DJVU_RGB) && (img->flags & DJVU_BGR))
      DJVU_API_THROW("The image can not be both RGB and BGR");
    if (!(img->flags & (DJVU_RGB | DJVU_BGR)))
      DJVU_API_THROW("Pixel images must be one of GRAY, RGB, or BGR");
  }
  if ((int64_t)img->rowsize < (int64_t)img->pixsize * img->w)
    DJVU_API_THROW("Rowsize must be at least w*pixsize.");
  if (img->h != 0 && img->w != 0 && !img->data)
    DJVU_API_THROW("No Pixel Image Data Is Present");
  // Our own checks come after the four rules above so that their order holds.
  if (img->w < 0 || img->h < 0)
    DJVU_API_THROW("Pixel image sizes must not be negative");
  if (img->offset < 0)
    DJVU_API_THROW("Pixel image offset must not be negative");
  (void)pix_span(img);
}

size_t pix_span(const djvu_pixel_image *img)
{
  if (!img->data || img->w <= 0 || img->h <= 0)
    return 0;
  size_t s = DJVU_API_MUL(img->pixsize, img->w);
  s = DJVU_API_ADD(s, DJVU_API_MUL(img->h - 1, img->rowsize));
  return DJVU_API_ADD(s, img->offset);
}

unsigned char *pix_row(const djvu_pixel_image *img, int y)
{
  const int stored = (img->flags & DJVU_BOTTOMUP) ? img->h - 1 - y : y;
  return img->data + img->offset + (size_t)stored * (size_t)img->rowsize;
}

// ---- conversions ----------------------------------------------------------

namespace
{

// Copies stored rows src -> dst (dst packed, offset 0) converting the pixel
// layout; safe in place because every destination byte lies at or before the
// source bytes still to be read.
void copy_rows(const djvu_pixel_image *src, unsigned char *dst, int ps)
{
  const int w = src->w, h = src->h, sps = src->pixsize;
  const bool swap = ps == 3 && (src->flags & DJVU_RGB);
  const size_t drow = (size_t)w * ps;
  for (int r = 0; r < h; r++)
  {
    const unsigned char *s = src->data + src->offset + (size_t)r * src->rowsize;
    unsigned char *d = dst + (size_t)r * drow;
    if (sps == ps && !swap)
    {
      if (s != d)
        std::memmove(d, s, drow);
    }
    else if (ps == 1)
    {
      for (int x = 0; x < w; x++)
        d[x] = s[(size_t)x * sps];
    }
    else
    {
      for (int x = 0; x < w; x++)
      {
        const unsigned char *p = s + (size_t)x * sps;
        const unsigned char a = p[0], b = p[1], c = p[2];
        d[3 * (size_t)x] = swap ? c : a;
        d[3 * (size_t)x + 1] = b;
        d[3 * (size_t)x + 2] = swap ? a : c;
      }
    }
  }
}

void flip_rows(unsigned char *data, size_t rowbytes, int h)
{
  if (h < 2 || rowbytes == 0)
    return;
  std::vector<unsigned char> tmp(rowbytes);
  for (int a = 0, b = h - 1; a < b; a++, b--)
  {
    unsigned char *ra = data + (size_t)a * rowbytes, *rb = data + (size_t)b * rowbytes;
    std::memcpy(tmp.data(), ra, rowbytes);
    std::memcpy(ra, rb, rowbytes);
    std::memcpy(rb, tmp.data(), rowbytes);
  }
}

} // namespace

void pix_canonical_copy(const djvu_pixel_image *src, djvu_pixel_image *dst)
{
  pix_validate(src);
  const int ps = pix_is_gray(src) ? 1 : 3;
  const int w = src->w, h = src->h;
  const size_t need = DJVU_API_MUL(DJVU_API_MUL(w, h), ps);
  if (need > INT32_MAX)
    DJVU_API_THROW("Image too large");
  const bool dpi = (src->flags & DJVU_HAS_DPI) && src->xdpi != 0 && src->ydpi != 0;
  const int32_t xdpi = dpi ? src->xdpi : 0, ydpi = dpi ? src->ydpi : 0;
  int32_t flags = src->flags;

  if (dst != src)
  {
    if (is_api_buffer(dst) || is_lib_buffer(dst))
      pix_release_buffer(dst);
    if (!dst->data && need > 0)
    {
      dst->data = static_cast<unsigned char *>(djvu_malloc(need));
      if (!dst->data)
        DJVU_API_THROW("Failed to allocate memory");
      dst->origin = DJVU_ORIGIN_API;
    }
    dst->w = w;
    dst->h = h;
    if (need > 0)
      copy_rows(src, dst->data, ps);
  }
  else if (need > 0)
  {
    copy_rows(src, dst->data, ps);
  }
  dst->pixsize = ps;
  dst->rowsize = w * ps;
  dst->offset = 0;
  if (flags & DJVU_RGB)
    flags = (flags & ~DJVU_RGB) | DJVU_BGR;
  if (!(flags & DJVU_BOTTOMUP) && need > 0)
    flip_rows(dst->data, (size_t)w * ps, h);
  // TOPDOWN goes as BOTTOMUP comes: a record marked both ways would mislead
  // a caller that tests TOPDOWN.
  flags = (flags | DJVU_BOTTOMUP) & ~DJVU_TOPDOWN;
  if (dpi)
  {
    flags |= DJVU_HAS_DPI;
    dst->xdpi = xdpi;
    dst->ydpi = ydpi;
  }
  else
  {
    flags &= ~DJVU_HAS_DPI;
  }
  dst->flags = flags;
}

void pix_canonicalize(djvu_pixel_image *img)
{
  pix_canonical_copy(img, img);
}

void pix_crop_copy(const djvu_pixel_image *src, int x0, int y0, int x1, int y1, djvu_pixel_image *dst)
{
  pix_validate(src);
  if (x0 > x1)
    std::swap(x0, x1);
  if (y0 > y1)
    std::swap(y0, y1);
  djvu_pixel_image view{};
  view.flags = src->flags & ~DJVU_HAS_DPI;
  if ((src->flags & DJVU_HAS_DPI))
  {
    view.flags |= DJVU_HAS_DPI;
    view.xdpi = src->xdpi;
    view.ydpi = src->ydpi;
  }
  view.pixsize = src->pixsize;
  view.rowsize = src->rowsize;
  view.data = src->data;
  view.origin = nullptr; // a view never owns
  view.offset = src->offset;
  if (src->w <= 0 || src->h <= 0)
  {
    view.w = view.h = 0;
  }
  else
  {
    x0 = std::clamp(x0, 0, src->w - 1);
    x1 = std::clamp(x1, 0, src->w - 1);
    y0 = std::clamp(y0, 0, src->h - 1);
    y1 = std::clamp(y1, 0, src->h - 1);
    view.w = x1 - x0 + 1;
    view.h = y1 - y0 + 1;
    const int first = (src->flags & DJVU_BOTTOMUP) ? src->h - 1 - y1 : y0;
    view.offset = (int32_t)DJVU_API_ADD(
        src->offset, DJVU_API_ADD(DJVU_API_MUL(first, src->rowsize), DJVU_API_MUL(x0, src->pixsize)));
  }
  if (dst == src)
  {
    // In place: the view starts at or after the record's first pixel, so
    // forward compaction is safe; the buffer and its owner stay.
    dst->w = view.w;
    dst->h = view.h;
    dst->offset = view.offset;
    pix_canonicalize(dst);
    pix_tighten(dst);
    return;
  }
  pix_canonical_copy(&view, dst);
}

void pix_grow(djvu_pixel_image *img, size_t bytes)
{
  const size_t span = pix_span(img);
  if (img->data && bytes <= span)
    return;
  if (img->data && img->origin == DJVU_ORIGIN_API)
  {
    auto *p = static_cast<unsigned char *>(djvu_realloc(img->data, bytes));
    if (!p)
      DJVU_API_THROW("_djvu_realloc failed");
    if (img->offset > 0 && span > (size_t)img->offset)
      std::memmove(p, p + img->offset, span - img->offset);
    img->data = p;
  }
  else if (img->data && img->origin == (void *)img->data)
  {
    auto *p = static_cast<unsigned char *>(djvu_malloc(bytes));
    if (!p)
      DJVU_API_THROW("_djvu_malloc failed");
    if (span > (size_t)img->offset)
      std::memcpy(p, img->data + img->offset, span - img->offset);
    drop_lib_buffer(img->data);
    img->data = p;
  }
  else if (img->data)
  {
    DJVU_API_THROW("Can only increase the size of internally generated images");
  }
  else
  {
    img->data = static_cast<unsigned char *>(djvu_malloc(bytes));
    if (!img->data)
      DJVU_API_THROW("_djvu_malloc failed");
  }
  img->offset = 0;
  img->origin = DJVU_ORIGIN_API;
}

void pix_tighten(djvu_pixel_image *img)
{
  if (!img->data || img->w <= 0 || img->h <= 0)
    return;
  const size_t need = DJVU_API_MUL(img->rowsize, img->h);
  const size_t used = pix_span(img) - img->offset; // <= need
  if (is_api_buffer(img))
  {
    if (img->offset > 0)
    {
      std::memmove(img->data, img->data + img->offset, used);
      img->offset = 0;
    }
    if (auto *p = static_cast<unsigned char *>(djvu_realloc(img->data, need)))
      img->data = p; // a failed shrink keeps the larger block
  }
  else if (is_lib_buffer(img))
  {
    const size_t have = lib_buffer_size(img->data);
    if (img->offset > 0 || have >= 2 * need)
    {
      auto *p = static_cast<unsigned char *>(djvu_malloc(need));
      if (!p)
        DJVU_API_THROW("_djvu_malloc failed");
      std::memcpy(p, img->data + img->offset, used);
      drop_lib_buffer(img->data);
      img->data = p;
      img->origin = DJVU_ORIGIN_API;
      img->offset = 0;
    }
  }
}

} // namespace vellum_api

using namespace vellum_api;

extern "C"
{

  void djvu_pixel_image_free(djvu_pixel_image *image)
  {
    guard(0,
          [&]
          {
            pix_free_record(image);
            return 0;
          });
  }

  djvu_pixel_image *djvu_pixel_normalize(djvu_pixel_image *image)
  {
    return guard<djvu_pixel_image *>(nullptr,
                                     [&]
                                     {
                                       pix_canonicalize(image);
                                       pix_tighten(image);
                                       return image;
                                     });
  }

} // extern "C"

// ---- scaling ------------------------------------------------------------
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

namespace vellum_api
{
namespace
{

int32_t checked_int(int64_t v)
{
  if (v < 0 || v > INT32_MAX)
    DJVU_API_THROW("Image too large");
  return (int32_t)v;
}

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

extern "C"
{

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

// ---- resampling and rotation --------------------------------------------
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

extern "C"
{

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
                                       const int64_t tw = w < 0 ? -(int64_t)w : w,
                                                     th = h < 0 ? -(int64_t)h : h;
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

// The pixel image: records and ownership, validation, canonical form, crop
// copy and buffer growth. Scaling is PixScale.cpp, resampling and rotation
// PixResample.cpp.
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

int32_t checked_int(int64_t v)
{
  if (v < 0 || v > INT32_MAX)
    DJVU_API_THROW("Image too large");
  return (int32_t)v;
}

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

extern "C" {

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

// Internal pixel-image operations shared by the Image API's source files.
//
// All functions here raise failures (DJVU_API_THROW or DjVuLibre's
// GException); only the public djvu_* wrappers catch them. Records are read
// according to the record rules of djvuapi.h: xdpi/ydpi are touched only when
// HAS_DPI is set, since callers may pass the shorter record.
//
// Buffer ownership (origin):
//   DJVU_ORIGIN_API  buffer from djvu_malloc/djvu_realloc, freed by djvu_free.
//   == data          a DjVuLibre buffer taken over by the API. The library
//                    object that owns the memory (GP<GPixmap>, GP<GBitmap>,
//                    ...) is kept alive in a process-wide registry keyed by
//                    the data pointer; releasing the buffer drops that
//                    reference. Take such buffers over ONLY through
//                    pix_adopt_library_buffer / pix_wrap_pixmap /
//                    pix_wrap_bitmap so that djvu_pixel_image_free, growth
//                    and tightening find them.
//   anything else    the caller's; never freed, grown or reallocated.
//
// Records: a djvu_pixel_image returned to a caller must come from
// pix_new_record(). The API remembers the records it made, so
// djvu_pixel_image_free releases the record itself only for those and just
// the buffer for a caller's record that holds an API buffer.
#ifndef VELLUM_LIBAPI_PIXIMAGEINT_H
#define VELLUM_LIBAPI_PIXIMAGEINT_H

#include "ApiError.h"
#include "djvuapi.h"

#include <cstddef>
#include <cstdint>
#include <memory>

#include "GBitmap.h"
#include "GPixmap.h"
#include "GSmartPointer.h"

namespace vellum_api
{

// ---- records and buffers ------------------------------------------------

// A new zeroed record (flags 0, no buffer) allocated with djvu_calloc and
// registered as API-made. Raises "Failed to allocate memory".
djvu_pixel_image *pix_new_record();

// True when rec was made by pix_new_record() and not yet freed.
bool pix_is_api_record(const djvu_pixel_image *rec);

// Frees an API-made record and its buffer (the body of
// djvu_pixel_image_free). Raises "djvu_pixel_image_free: pixel image was not
// allocated by djvuapi" for a caller-owned buffer, leaving everything alone.
void pix_free_record(djvu_pixel_image *rec);

// Releases the buffer according to origin (API allocator or library
// registry) and clears data and origin. A caller's buffer is only detached.
void pix_release_buffer(djvu_pixel_image *img);

// Takes a library buffer over: img->data = img->origin = data. keeper holds
// whatever keeps the memory alive (e.g. std::make_shared<GP<GPixmap>>(pm));
// size is the number of bytes usable from data on. The record's other fields
// are left to the caller.
void pix_adopt_library_buffer(djvu_pixel_image *img, unsigned char *data, size_t size,
                              std::shared_ptr<void> keeper);

// Describes a DjVuLibre pixmap as BGR | BOTTOMUP, pixsize 3, packed, taking its
// buffer over (origin == data) when it is contiguous and copying it into an
// API buffer (origin -1) otherwise. Sets flags, w, h, offset, rowsize,
// pixsize, data, origin (not the resolution). img must have no buffer.
void pix_wrap_pixmap(djvu_pixel_image *img, const DJVU::GP<DJVU::GPixmap> &pm);

// Describes a DjVuLibre bitmap's bytes as GRAY | BOTTOMUP, pixsize 1,
// rowsize = the bitmap's rowsize(), taking its buffer over (origin == data).
// The bytes are the bitmap's grey levels as they are (0 = white, grays - 1 =
// black): the caller maps them to 0..255 in place afterwards. The bitmap is
// uncompressed first. The bitmap must not be shared with anything that
// still reads it.
void pix_wrap_bitmap(djvu_pixel_image *img, const DJVU::GP<DJVU::GBitmap> &bm);

// ---- checks ---------------------------------------------------------------

// v as a 32-bit size; raises "Image too large" when it is negative or
// does not fit.
int32_t checked_int(int64_t v);

// Validation with the API's messages (first failing test wins); also rejects
// negative sizes/offset and spans that overflow.
void pix_validate(const djvu_pixel_image *img);

// Bytes in use: pixsize*w + (h-1)*rowsize + offset (0 without data or with
// an empty picture); overflow-checked.
size_t pix_span(const djvu_pixel_image *img);

// Picture row y counted from the top (honours BOTTOMUP).
unsigned char *pix_row(const djvu_pixel_image *img, int y);

// True for grey records (GRAY wins over RGB/BGR).
inline bool pix_is_gray(const djvu_pixel_image *img)
{
  return (img->flags & DJVU_GRAY) != 0;
}

// ---- conversions ----------------------------------------------------------

// Canonical copy src -> dst (dst may be src: in-place canonicalisation).
// A dst without buffer gets an API buffer; a dst with a buffer must hold
// w*h*(1 or 3) bytes. Validates src first.
void pix_canonical_copy(const djvu_pixel_image *src, djvu_pixel_image *dst);

// In place: pix_canonical_copy(img, img).
void pix_canonicalize(djvu_pixel_image *img);

// Crop copy of the inclusive rectangle (x0,y0)-(x1,y1), picture coordinates
// from the top-left; corners exchanged when reversed and clamped to the
// picture. dst receives a canonical copy (see pix_canonical_copy).
void pix_crop_copy(const djvu_pixel_image *src, int x0, int y0, int x1, int y1, djvu_pixel_image *dst);

// Grows the buffer so that at least bytes are usable from offset 0
// (offset becomes 0, origin -1). Messages: "_djvu_realloc failed",
// "_djvu_malloc failed", "Can only increase the size of internally generated
// images".
void pix_grow(djvu_pixel_image *img, size_t bytes);

// Tightens a canonical-sized buffer to rowsize*h bytes at offset 0 (called
// when an in-place operation ends).
void pix_tighten(djvu_pixel_image *img);

// ---- operations (in place, record must be owned or growable as needed) ----

// Subsample by n (n >= 1); result canonical.
void pix_subsample(djvu_pixel_image *img, int n);

// Interpolating enlargement by 2 / by 3 (replication for w < 3 or bitonal
// grey); enlargement by replication by k >= 1. Canonicalise first.
void pix_enlarge2(djvu_pixel_image *img);
void pix_enlarge3(djvu_pixel_image *img);
void pix_replicate(djvu_pixel_image *img, int k);

// The smoothing pass for a doubled image; returns the sum of squared
// changes divided by w. Raises "Image must be doubled before calling
// djvu_pixel_smooth2()" for odd sizes.
int64_t pix_smooth2(djvu_pixel_image *img);

// New API record: canonical copy, reduced (factor > 0) or enlarged
// (factor < -1) with the given smoothing. The record is freed on failure.
djvu_pixel_image *pix_scale(const djvu_pixel_image *img, int factor, int smoothing);

// Rotate by a multiple of 90 degrees and resample to |w| x |h| in place.
// Raises "Can only transform 90,180, and 270 degrees." for other angles.
void pix_transform(djvu_pixel_image *img, int angle, int w, int h);

} // namespace vellum_api

#endif

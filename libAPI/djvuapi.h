/*
 * djvuapi.h -- Vellum's Image API.
 *
 * Plain C functions over plain records. No C++ type and no exception crosses
 * this header: every function catches its own failures, reports them once
 * through the error callback (message, source identifier, line) and returns
 * its failure value (-1, or a null record pointer).
 *
 * Ownership: a record passed in stays the caller's. A record returned by the
 * API belongs to the caller, who releases it with the matching *_free call.
 */
#ifndef DJVUAPI_H
#define DJVUAPI_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ------------------------------------------------------------------------ */
/* Errors and memory                                                         */
/* ------------------------------------------------------------------------ */

/* Called once per failure with the message, the source identifier
   ("libAPI/PixImage" style: path below the source tree, no extension) and
   the line. */
typedef void (*djvu_error_callback)(const char *message, const char *file, int line);

/* Installs a process-wide callback and returns the previous one. With no
   callback installed a failure writes "DjVu Error: '%s' at %s(%d)\r\n" to
   stderr and ends the process with exit status 10. */
djvu_error_callback djvu_set_error_callback(djvu_error_callback callback);

/* The API's replaceable allocator family (default: malloc, calloc, realloc,
   free). Every buffer whose record has origin == DJVU_ORIGIN_API comes from
   here. Passing null restores the default routine. */
typedef void *(*djvu_malloc_fn)(size_t size);
typedef void *(*djvu_calloc_fn)(size_t count, size_t size);
typedef void *(*djvu_realloc_fn)(void *ptr, size_t size);
typedef void (*djvu_free_fn)(void *ptr);
void djvu_set_allocator(djvu_malloc_fn m, djvu_calloc_fn c, djvu_realloc_fn r, djvu_free_fn f);
void *djvu_malloc(size_t size);
void *djvu_calloc(size_t count, size_t size);
void *djvu_realloc(void *ptr, size_t size);
void djvu_free(void *ptr);

/* ------------------------------------------------------------------------ */
/* Pixel image                                                               */
/* ------------------------------------------------------------------------ */

enum
{
  DJVU_TOPDOWN = 1,  /* informational; absence of BOTTOMUP means top-down */
  DJVU_BOTTOMUP = 2, /* first stored row is the bottom row */
  DJVU_RGB = 4,      /* colour, bytes R, G, B */
  DJVU_BGR = 8,      /* colour, bytes B, G, R */
  DJVU_GRAY = 16,    /* one sample per pixel, 0 black .. 255 white */
  DJVU_BITONAL = 32, /* with GRAY: samples only 0 and 255 */
  DJVU_HAS_DPI = 64  /* xdpi and ydpi present and valid */
};

/* origin value marking a buffer from the API allocator. */
#define DJVU_ORIGIN_API ((void *)(intptr_t)-1)

typedef struct djvu_pixel_image_s
{
  int32_t flags;
  int32_t w;
  int32_t h;
  int32_t offset;  /* byte offset of the first stored pixel in data */
  int32_t rowsize; /* bytes from one stored row to the next, >= w*pixsize */
  int32_t pixsize; /* bytes per pixel */
  unsigned char *data;
  void *origin; /* DJVU_ORIGIN_API, == data (library array), or caller's */
  int32_t xdpi; /* present only with DJVU_HAS_DPI */
  int32_t ydpi;
} djvu_pixel_image;

/* Ownership: a record passed in stays the caller's; these functions convert
   it in place only within the span it describes, and grow only buffers the
   API owns (origin DJVU_ORIGIN_API or == data). Records returned as "new"
   come from the API and are released with djvu_pixel_image_free.
   Every function validates the record first and returns null (or -1) after
   one report through the error callback; the caller's record is never
   freed on failure. */

/* Releases an API-made record with its buffer. For a record the caller made
   that holds an API buffer (e.g. grown by djvu_pixel_transform) only the
   buffer is released and data/origin are cleared. A caller-owned buffer
   (origin neither DJVU_ORIGIN_API nor data) is refused with a report and
   nothing is freed. Null does nothing. */
void djvu_pixel_image_free(djvu_pixel_image *image);

/* Validates and converts to canonical form in place (grey pixsize 1 or BGR
   pixsize 3, packed, offset 0, BOTTOMUP). Returns image, or null. */
djvu_pixel_image *djvu_pixel_normalize(djvu_pixel_image *image);

/* Reduces by the integer factor n >= 1 in place (mean of each n x n block),
   then normalises. Returns image, or null. */
djvu_pixel_image *djvu_pixel_subsample(djvu_pixel_image *image, int n);

/* New record: a canonical copy of image, reduced by factor (> 0) or
   enlarged by -factor (< -1) with interpolation and smoothing passes (0 =
   none; the application passes 10 for -4). Factor 0 or -1: unchanged copy.
   The caller frees the result with djvu_pixel_image_free. */
djvu_pixel_image *djvu_pixel_scale(const djvu_pixel_image *image, int factor, int smoothing);

/* Rotates by a multiple of 90 degrees (negative angles allowed) and
   resamples to |w| x |h| in place (target sizes are those after rotation).
   Grows the buffer when needed, which requires an API-owned buffer.
   Returns image, or null. */
djvu_pixel_image *djvu_pixel_transform(djvu_pixel_image *image, int angle, int w, int h);

/* New record: a canonical copy reduced by the integer factor
   min(old h / h, old w / w) (1 when the target is not smaller or 0), then
   djvu_pixel_transform'ed. Freed with djvu_pixel_image_free. */
djvu_pixel_image *djvu_pixel_rotate(const djvu_pixel_image *image, int angle, int w, int h);

/* One smoothing pass over an image enlarged by 2 (even w and h) that keeps
   the mean of every 2 x 2 block. Returns the sum of the squared changes
   divided by w (>= 0), or -1 on failure. */
int64_t djvu_pixel_smooth2(djvu_pixel_image *image);

/* ------------------------------------------------------------------------ */
/* Run image                                                                 */
/* ------------------------------------------------------------------------ */

typedef struct djvu_run_image_s
{
  int32_t width;
  int32_t height;
  int32_t count;       /* number of run entries in data */
  unsigned char *data; /* run entries, API allocator, owned by the record */
  int32_t xdpi;        /* 0 = unknown */
  int32_t ydpi;
  int32_t runtype; /* 0: 1 byte/run, 1: 2 bytes (grey), 2: 4 bytes (RGB) */
} djvu_run_image;

/* Releases data (API allocator) and the record itself (which must come from
   the API, e.g. djvu_mask or the PNM stream, or from djvu_malloc). Null does
   nothing. */
void djvu_run_image_free(djvu_run_image *image);

/* @STREAM_AND_RENDER@ */

/* @ENCODE@ */

/* @MASK@ */

#ifdef __cplusplus
}
#endif

#endif /* DJVUAPI_H */

/*
 * maskfind.h -- the mask finder: foreground/background segmentation of one
 * horizontal band of a page into runs of mask (text and line art) pixels.
 *
 * Plain C interface, no dependency on DjVuLibre or wxWidgets. The Image API's
 * mask driver cuts a page into overlapping bands, calls MaskFinderEntry once
 * per band and paints the returned runs into its run image.
 *
 * Rows are counted in the band's storage order: row 0 is the first stored
 * row (the bottom row of the picture for bottom-up bands).
 *
 * Errors. Every failure inside the finder is fatal by default: it writes
 * "DjVu Mask Error: '%s' at %s(%d)\r\n" (message, source identifier such as
 * "Encoder/libMaskFind/BlockRuns", line) to stderr and ends the process with
 * exit status 10. A caller that must survive installs a handler with
 * MaskFindSetErrorHandler; see the contract there.
 *
 * Memory. The finder allocates only through its allocator hooks (default:
 * malloc, realloc, free). A hook that returns null is the fatal error
 * "Memory Exhausted".
 */
#ifndef VELLUM_MASKFIND_H
#define VELLUM_MASKFIND_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Colour order of a band; the values match the Image API's pixel image
   flags, so the driver may pass its flags through unchanged. */
enum
{
  MASKFIND_RGB = 4,  /* 3 bytes per pixel: red, green, blue */
  MASKFIND_BGR = 8,  /* 3 bytes per pixel: blue, green, red */
  MASKFIND_GRAY = 16 /* 1 byte per pixel, 0 black .. 255 white */
};

/* Switch bits of MaskFindParams.switches. */
enum
{
  MASKFIND_NO_COLOR_FILTER = 1,
  MASKFIND_NO_SIZE_FILTER = 2,
  MASKFIND_NO_INV_FILTER = 4 /* no inversion test, no light-on-dark pass */
};

/* One band. The pixel at stored row y, column x starts at
   data + offset + y * rowsize + x * pixsize. pixsize is 1 (grey) or 3 (RGB or
   BGR as flags say); rowsize >= w * pixsize; w and h are at least 1 and
   w * h fits in an int32. A band of at most 12 rows or columns has no block
   groups and yields no runs. The band stays the caller's and is only read.
   The fields are those of the Image API's pixel image, in the same order. */
typedef struct MaskFindBand
{
  int32_t flags;
  int32_t w;
  int32_t h;
  int32_t offset;
  int32_t rowsize;
  int32_t pixsize;
  const unsigned char *data;
} MaskFindBand;

/* The fields of the mask parameter record that the finder reads. */
typedef struct MaskFindParams
{
  int32_t filter_level;  /* largest (exclusive) coding cost of a kept component */
  int32_t multi_forback; /* split level; 0 or less: single grey plane */
  int32_t switches;      /* MASKFIND_NO_* bits; all three: runs unfiltered */
} MaskFindParams;

/* Indices within one run of MaskRunList.runs. */
enum
{
  RUN_Y = 0,  /* row in storage order */
  RUN_X1 = 1, /* first mask column */
  RUN_X2 = 2, /* last mask column, inclusive */
  RUN_ID = 3  /* component number (meaningless to the driver) */
};

/* The finder's result for one band: count runs of stride (4) int32 each at
   runs (null when count is 0). Runs never overlap; their order carries no
   meaning. */
typedef struct MaskRunList
{
  int32_t width;
  int32_t height;
  int32_t count;
  int32_t *runs;
  int32_t stride;
} MaskRunList;

/* Finds the mask runs of one band. params may be null (all fields 0).
   Returns a list owned by the caller, released with MaskRunListFree. On a
   fatal error the handler contract below applies; when the installed handler
   returns, the result is null. */
MaskRunList *MaskFinderEntry(const MaskFindParams *params, const MaskFindBand *band);

/* Releases a list returned by MaskFinderEntry (null is ignored). Uses the free
   hook, so the allocator must not be replaced while lists are alive. */
void MaskRunListFree(MaskRunList *list);

/* Error handler: message, source identifier, line and the user pointer given
   at installation.

   Contract. When a fatal error happens inside MaskFinderEntry, the finder
   first unwinds its own work and releases every block it allocated during
   that call (the partial result included), and only then calls the handler
   from MaskFinderEntry's own frame. Nothing of the finder is alive at that
   point, so the handler may
   - return: MaskFinderEntry then returns null;
   - longjmp or throw past MaskFinderEntry: nothing leaks and the finder stays
     usable for the next call.
   The message and file strings are valid only during the handler call.
   With no handler installed (the default), the finder writes
   "DjVu Mask Error: '%s' at %s(%d)\r\n" to stderr and calls exit(10). */
typedef void (*MaskFindErrorHandler)(const char *message, const char *file, int line, void *user);

/* Installs a process-wide handler (null restores the default) and returns the
   previous one. Not thread-safe: install before finding masks. */
MaskFindErrorHandler MaskFindSetErrorHandler(MaskFindErrorHandler handler, void *user);

/* Allocator hooks (process-wide). realloc follows the C contract for a
   non-null block and a non-zero size; the finder never passes size 0 to it.
   Passing null for a routine restores its default. */
typedef void *(*MaskFindMallocFn)(size_t size);
typedef void *(*MaskFindReallocFn)(void *ptr, size_t size);
typedef void (*MaskFindFreeFn)(void *ptr);
void MaskFindSetAllocator(MaskFindMallocFn m, MaskFindReallocFn r, MaskFindFreeFn f);

#ifdef __cplusplus
}

/* The same entry over the Image API's own records (djvuapi.h): the band as a
   pixel image (flags GRAY with pixsize 1, or RGB or BGR with pixsize 3; other
   fields as MaskFindBand) and the mask parameter record, of which the first
   min(size, 36) bytes are read over its defaults (null or size <= 0: the
   defaults, filter level 0, single plane, no switches). Only filter_level,
   multi_forback and switches matter here. Result, ownership and errors as
   above.

   It lives here, beside the finder, rather than in the Image API: it reads
   the records with the finder's own band rules, and takes only declarations
   from djvuapi.h (plain C records and the defaults initialiser, no code), so
   the finder, its tests and its fuzz target use the API's records without
   linking the API or DjVuLibre. It is the one include of the finder from a
   layer above; tools/check-layers.sh allows exactly this one. */
struct djvu_mask_params_s;
struct djvu_pixel_image_s;
MaskRunList *MaskFinderEntry(const djvu_mask_params_s *params, const djvu_pixel_image_s *band);
#endif

#endif /* VELLUM_MASKFIND_H */

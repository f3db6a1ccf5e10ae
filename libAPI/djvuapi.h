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
/* Pixel limit                                                               */
/* ------------------------------------------------------------------------ */

/* The most pixels (width x height) any decoder of the program may allocate
   for one image: djvu_decode checks the page size (INFO) and every IW44
   layer's header against it before the library decodes anything; the file
   readers above the API use the same limit. Process-wide. The default lets
   a 600-dpi A1 page (14043 x 19866, 279 megapixels) open. */
#define DJVU_DEFAULT_MAX_PIXELS ((int64_t)300000000)

/* Sets the limit; pixels <= 0 restores the default. */
void djvu_set_max_pixels(int64_t pixels);
int64_t djvu_get_max_pixels(void);

/* 1 when a width x height image is within the limit (both sizes > 0).
   Otherwise 0, and when message is not null the reason is written to it
   (at most size bytes, zero-terminated), for example "Image too large:
   8323072 x 64 pixels (532.7 megapixels; the limit is 300 megapixels)". No
   report through the error callback. */
int djvu_check_pixels(int64_t width, int64_t height, char *message, size_t size);

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

/* ------------------------------------------------------------------------ */
/* Byte streams, decoding and rendering                                      */
/* ------------------------------------------------------------------------ */

/* Caller-supplied I/O. A read routine returns the number of bytes read, 0 at
   the end of the input and a negative value on error; a write routine
   returns the number of bytes written (anything other than size is a
   failure). userdata is passed through unchanged. */
typedef int (*djvu_read_routine)(void *userdata, void *buffer, int size);
typedef int (*djvu_write_routine)(void *userdata, const void *buffer, int size);

/* A decoded DjVu page or IW44 photo, made by djvu_decode and released with
   djvu_halfcoded_image_free. Every field is the API's; render from it as
   often as needed. */
typedef struct djvu_halfcoded_image_s
{
  int32_t width; /* page size in pixels */
  int32_t height;
  int32_t reduced_width;  /* width / k, height / k when INFO byte 9 holds */
  int32_t reduced_height; /* the size ratio k = 2 or 3; else width, height */
  int32_t memory;         /* bytes the decoded page occupies */
  char *description;      /* the decoder's chunk summary (UTF-8, owned) */
  int32_t dpi;            /* page resolution */
  float gamma;            /* INFO gamma byte x 0.1 */
  void *page;             /* the library's decoded page (owned, opaque) */
} djvu_halfcoded_image;

/* djvu_render_params.flags */
enum
{
  DJVU_RENDER_DETECT_GRAY = 1,  /* all-grey colour result becomes a GRAY image */
  DJVU_RENDER_LIBRARY_SCALE = 2 /* a rectangle from the page's corner that is
                                   no whole multiple of the output is scaled
                                   by the DjVu library itself (decoded at the
                                   nearest subsample), not resampled after a
                                   full-size render: much faster, not the same
                                   pixels */
};

/* djvu_render_params.layer */
enum
{
  DJVU_LAYER_ALL = 0,
  DJVU_LAYER_MASK = 1,
  DJVU_LAYER_BACKGROUND = 2,
  DJVU_LAYER_FOREGROUND = 3
};

/* Size-prefixed: the API copies min(size, 24) bytes over its defaults
   (24, 2.2, 24, 0, 0, 0), so an older, shorter record still works. */
typedef struct djvu_render_params_s
{
  int32_t size;     /* bytes of the caller's record */
  float gamma;      /* display gamma; <= 0 means 2.2 */
  int32_t depth;    /* >= 24 full colour, 15..23 32768-colour dither,
                       below 15 216-colour dither; < 1 means 24 */
  int32_t flags;    /* DJVU_RENDER_* */
  int32_t layer;    /* DJVU_LAYER_* */
  int32_t reserved; /* not read */
} djvu_render_params;

/* Reads a whole single-page DjVu (FORM:DJVU) or IW44 (FORM:PM44, FORM:BM44)
   file through read(userdata, ...) and decodes it. Without a read routine
   userdata is a FILE* (stdin when null) and the header is checked first
   (multi-page bundles and include files are refused). Returns a new handle
   owned by the caller (djvu_halfcoded_image_free), or null after one
   report. */
djvu_halfcoded_image *djvu_decode(djvu_read_routine read, void *userdata);

/* Frees the page, the description and the handle. Null does nothing. */
void djvu_halfcoded_image_free(djvu_halfcoded_image *image);

/* Writes the default render record into buffer: all 24 bytes when size >=
   24; the first size bytes (with the size field set to size) when size is
   5..23; null for a smaller buffer. A null buffer returns a new record from
   djvu_calloc that the caller releases with djvu_free. */
djvu_render_params *djvu_render_defaults(djvu_render_params *buffer, int size);

/* Renders the inclusive page rectangle (x0,y0)-(x1,y1) (page pixels as the
   DjVu library counts them: y = 0 is the bottom row) rotated by angle (a
   multiple of 90) into a new w x h pixel image (for 90 and 270 the
   rectangle's width becomes the output's height). The rectangle may reach
   past the page's right and top edges (e.g. rounded up to a multiple of the
   subsample); only the part on the page is rendered.
   When the rectangle is i*w by i*h (i = 2..15) the page is decoded directly
   at subsample i; otherwise the result is resampled. params may be null
   (defaults). The result belongs to the caller (djvu_pixel_image_free);
   null after one report, or without a report when w or h is 0. */
djvu_pixel_image *djvu_render(const djvu_render_params *params, const djvu_halfcoded_image *image, int x0,
                              int y0, int x1, int y1, int angle, int w, int h);

/* ------------------------------------------------------------------------ */
/* Encoders                                                                  */
/* ------------------------------------------------------------------------ */

/* Size-prefixed parameter records: the API starts from its defaults and
   copies the first min(size, sizeof record) bytes of the caller's record over
   them. A null record or size 0 keeps every default. */

/* djvu_encode_params.flags */
enum
{
  DJVU_ENCODE_LOSSLESS = 1,   /* lossless mask (clean at level 8) */
  DJVU_ENCODE_NO_THICKEN = 2, /* do not thicken the shapes */
  DJVU_ENCODE_AGGRESSIVE = 4, /* aggressive mask cleaning (level 31) */
  DJVU_ENCODE_COMPACT = 8     /* compact layers: background holes over the
                                 grown mask, one palette colour per shape
                                 (FGbz) or a budgeted FG44, background to a
                                 quality; thickening only below 200 dpi */
};

typedef struct djvu_encode_params_s
{
  int32_t size;          /* bytes of the caller's record; full size 28 */
  float gamma;           /* gamma of the source picture, 2.2; <= 0 -> 2.2 */
  int32_t quality;       /* background quality, 75; 0 -> 75 */
  int32_t flags;         /* DJVU_ENCODE_* bits, 0 */
  int32_t fg_dpi;        /* foreground colour layer resolution, 25 */
  int32_t bg_dpi;        /* background layer resolution, 100 */
  int32_t progress_data; /* handed to the progress hook, 0 */
} djvu_encode_params;

/* The default records, as initialisers: what a null record stands for. */
#define DJVU_ENCODE_PARAMS_DEFAULTS                                                                          \
  {                                                                                                          \
    28, 2.2f, 75, 0, 25, 100, 0                                                                              \
  }

/* djvu_iw44_params.flags: chrominance mode (bit 1, bit 0): 00 normal,
   01 full, 10 none (grey only), 11 half. */
typedef struct djvu_iw44_params_s
{
  int32_t size;          /* full size 20 */
  float gamma;           /* 2.2; <= 0 -> 2.2 */
  int32_t quality;       /* 75; 0 -> 75; above 100 -> 100 */
  int32_t flags;         /* chrominance mode, 0 */
  int32_t progress_data; /* 0 */
} djvu_iw44_params;

#define DJVU_IW44_PARAMS_DEFAULTS                                                                            \
  {                                                                                                          \
    20, 2.2f, 75, 0, 0                                                                                       \
  }

/* Output routine: receives the whole file in one call and returns the number
   of bytes written; anything but count fails the encode. With a null
   routine the encoder fwrite()s to userdata taken as a FILE* (stdout when
   userdata is null as well). */
typedef int (*djvu_output_routine)(void *userdata, const void *buffer, int count);

/* Progress hook (process-wide, none by default): text, percent 0..100 and
   the record's progress_data. Returns the previous hook. */
typedef void (*djvu_progress_callback)(const char *text, int percent, int progress_data);
djvu_progress_callback djvu_set_progress_callback(djvu_progress_callback callback);

/* Writes a single-page compound DjVu file: FORM:DJVU {INFO Sjbz BG44 FG44
   BG44 BG44 BG44} with an image, {INFO Sjbz} without. With
   DJVU_ENCODE_COMPACT and an image: {INFO Sjbz FGbz BG44 BG44 BG44}, or
   {INFO Sjbz BG44 FG44 BG44 BG44} when the shapes cover pictures. mask is required;
   image may be null (mask-only page). Neither input is freed or kept.
   Returns 0, or -1 after one report (the output routine then was not called,
   or was called once and wrote short). */
int djvu_encode(const djvu_encode_params *params, const djvu_run_image *mask, const djvu_pixel_image *image,
                djvu_output_routine write, void *userdata);

/* Writes an IW44 photo file (FORM:PM44 colour, FORM:BM44 grey). A purely
   black-and-white picture becomes a mask-only DjVu page instead.
   Returns 0 or -1 as djvu_encode. */
int djvu_encode_iw44(const djvu_iw44_params *params, const djvu_pixel_image *image, djvu_output_routine write,
                     void *userdata);

/* ------------------------------------------------------------------------ */
/* Documents of one or many pages                                            */
/* ------------------------------------------------------------------------ */

/* An open DjVu document: a single page (FORM:DJVU or IW44), a bundled
   document (FORM:DJVM with a directory, perhaps an outline and included
   files) or an indirect one (an index file naming one file per page and
   per included file). Opaque; made by djvu_document_open* and released
   with djvu_document_free. One thread at a time per document. */
typedef struct djvu_document_s djvu_document;

/* Receives one file of a document: its name (a page id, a dictionary name
   or an index name) and its bytes. Returns 0 on success; anything else
   fails the call that handed the file over. */
typedef int (*djvu_file_routine)(void *userdata, const char *name, const void *buffer, size_t count);

/* djvu_document_type */
enum
{
  DJVU_DOCUMENT_SINGLE_PAGE = 1,
  DJVU_DOCUMENT_BUNDLED = 2,
  DJVU_DOCUMENT_INDIRECT = 3
};

/* Serves a component file of an indirect document: writes the bytes of the
   file the directory calls name through sink(sink_data, ...) (in one or
   more calls) and returns 0, or -1 when there is no such file. */
typedef int (*djvu_fetch_routine)(void *userdata, const char *name, djvu_write_routine sink, void *sink_data);

/* Opens the document at path; an indirect document's files are read from
   the index file's directory when first needed. Only the directory is read
   here, no page is decoded. Null after one report. */
djvu_document *djvu_document_open(const char *path);

/* Opens the document read through read(userdata, ...); the component files
   of an indirect document come from fetch(fetch_data, ...) (may be null:
   none), which is kept and may be called until djvu_document_free.
   Null after one report. */
djvu_document *djvu_document_open_stream(djvu_read_routine read, void *userdata, djvu_fetch_routine fetch,
                                         void *fetch_data);

/* Releases the document. Pages decoded from it stay valid (each holds what
   it needs). Null does nothing. */
void djvu_document_free(djvu_document *document);

/* DJVU_DOCUMENT_*, or -1 for null. */
int djvu_document_type(const djvu_document *document);

/* Number of pages (>= 1), or -1 for null. */
int djvu_document_page_count(const djvu_document *document);

/* Reads only the head of the DjVu file at path (its directory; no page and
   no component file): stores the number of pages in *pages and, for an
   indirect document, calls file(userdata, name) with the name of every
   component file its directory lists (pages and included files, named as
   they lie beside the index). file may be null. Returns DJVU_DOCUMENT_*,
   or -1 after one report (*pages is then 0). Cheap enough for listing a
   folder. */
int djvu_document_peek(const char *path, int *pages, void (*file)(void *userdata, const char *name),
                       void *userdata);

/* Decodes page index (0-based) alone, as djvu_decode does a single file.
   A page whose file is missing fails naming the file ("Page 3: the file
   p3.djvu is missing"); other pages are not affected. The page as opened
   is decoded, even after djvu_document_replace_page. Returns a new handle
   owned by the caller (djvu_halfcoded_image_free), or null after one
   report. */
djvu_halfcoded_image *djvu_document_decode_page(djvu_document *document, int index);

/* djvu_document_replace_page flags */
enum
{
  DJVU_REPLACE_KEEP_EXTRAS = 1 /* add the old page's hidden text, annotations, metadata */
};

/* Replaces page index, for the saves that follow, by data (size bytes of a
   single-page FORM:DJVU file as djvu_encode writes it; copied). With
   DJVU_REPLACE_KEEP_EXTRAS the old page's TXTa/TXTz, ANTa/ANTz and
   METa/METz chunks are added to it (use it only when the page's geometry is
   unchanged). Returns 0, or -1 after one report (nothing replaced). */
int djvu_document_replace_page(djvu_document *document, int index, const void *data, int size, int flags);

/* Writes the whole document in one call of write (a null routine writes to
   userdata taken as a FILE*, stdout when null): a single page as a single
   page file, a bundled or indirect document as one bundled document with
   every file copied byte for byte (included files, the directory, the
   outline), except the replaced pages. Returns 0, or -1 after one report
   (write then was not called, or wrote short). */
int djvu_document_save(djvu_document *document, djvu_output_routine write, void *userdata);

/* Writes page index as a single-page DjVu file: its replacement, or the
   page as read with its included files merged into it. Returns 0 or -1 as
   djvu_document_save. */
int djvu_document_save_page(djvu_document *document, int index, djvu_output_routine write, void *userdata);

/* Hands over page index as stored, for copying it unchanged into another
   document: first every file it includes (INCL chunks, depth first, each
   once: shared shape dictionaries, shared annotations), then the page file
   itself, each in one call of write(userdata, id, bytes, count) with its
   id in this document (the page of a single-page document: "") and its
   bytes as stored (FORM:DJVI or FORM:DJVU, without the "AT&T" magic). A
   replaced page is handed over as replaced. Returns 0, or -1 after one
   report (a missing included file is named). */
int djvu_document_page_files(djvu_document *document, int index, djvu_file_routine write, void *userdata);
/* Multi-page documents                                                      */
/* ------------------------------------------------------------------------ */

/* A document being assembled from single-page files (opaque). */
typedef struct djvu_book_s djvu_book;

/* djvu_book_params.flags */
enum
{
  DJVU_BOOK_LOSSLESS = 1,  /* share only pixel-identical shapes */
  DJVU_BOOK_NO_SHARING = 2 /* write the pages as given, no dictionaries */
};

typedef struct djvu_book_params_s
{
  int32_t size;           /* bytes of the caller's record; full size 16 */
  int32_t pages_per_dict; /* pages of a run sharing one dictionary, 10;
                             <= 0 -> 10 */
  int32_t flags;          /* DJVU_BOOK_* bits, 0 */
  int32_t progress_data;  /* handed to the progress hook, 0 */
} djvu_book_params;

/* New empty document with the given parameters (size-prefixed as the
   encoders' records; null keeps the defaults). The caller releases it with
   djvu_book_free. Null after one report. */
djvu_book *djvu_book_new(const djvu_book_params *params);

/* Releases the document and its copies of the pages. Null does nothing. */
void djvu_book_free(djvu_book *book);

/* Appends a page: data is a whole single-page file as djvu_encode or
   djvu_encode_iw44 writes it (FORM:DJVU, FORM:PM44 or FORM:BM44, with or
   without the "AT&T" magic); the bytes are copied, data stays the
   caller's. id is the page's file name in the document (no "/", not
   starting with "."); a name already taken gets "-2", "-3"... before its
   extension. title (may be null) is the page title. Returns 0, or -1
   after one report. */
int djvu_book_add_page(djvu_book *book, const void *data, size_t size, const char *id, const char *title);

/* A file a copied page includes, as djvu_document_page_files hands it
   over. */
typedef struct djvu_book_include_s
{
  const char *id;   /* its id in the page's INCL chunk */
  const void *data; /* FORM:DJVI, with or without the "AT&T" magic */
  size_t size;
} djvu_book_include;

/* Appends a page that is copied unchanged: data is a FORM:DJVU page as
   stored in another document (hidden text, annotations and all), includes
   the include_count files it names in its INCL chunks (all copied). The
   page takes no part in shape sharing. An included file given again with
   the same id and bytes (pages of one source sharing a dictionary) is
   written once; an id already taken by other bytes or by a page is given
   a new name, and then only the INCL chunk naming it is rewritten. id and
   title as for djvu_book_add_page. Returns 0, or -1 after one report. */
int djvu_book_add_copied_page(djvu_book *book, const void *data, size_t size, const char *id,
                              const char *title, const djvu_book_include *includes, int include_count);

/* Appends the outline of source (nothing when it has none) to the book's,
   after what earlier calls appended: page_map[i] (i < map_count) is the
   book page (from 0, added already) that source's page i became, or -1
   when it is not in the book. Links to pages in the book name them by
   their new ids; links outside the document stay as they are. An entry
   whose page is not in the book is left out, unless entries under it stay
   (it then keeps its title with no link). Returns 0, or -1 after one
   report. */
int djvu_book_add_outline(djvu_book *book, djvu_document *source, const int *page_map, int map_count);

/* Pages added so far (0 for null). */
int djvu_book_page_count(const djvu_book *book);

/* Writes the bundled document (FORM:DJVM: DIRM, then the components) in
   one call of write, as djvu_encode does. Unless DJVU_BOOK_NO_SHARING is
   set, each run of pages_per_dict pages first gets a dictionary of the JB2
   shapes found on more than one of its pages (a DJVI component with a Djbz
   chunk, placed before the run); the pages using it include it (INCL) and
   their Sjbz is re-coded against it, their other chunks unchanged. A shape
   is shared when it is pixel-identical to one on an earlier page of the
   run, or, without DJVU_BOOK_LOSSLESS, close to it by the encoder's shape
   matching. The progress hook receives "Sharing Shapes" steps. The book is
   not changed and may be written again. Returns 0, or -1 after one report
   (write then was not called, or wrote short). */
int djvu_book_write(const djvu_book *book, djvu_output_routine write, void *userdata);

/* Writes the document as an indirect one: the index (FORM:DJVM with only
   DIRM) under index_name, then every component as its own file named by
   its id, each in one call of write. Shapes are shared as for
   djvu_book_write. Returns 0, or -1 after one report; files handed over
   before a failure are the caller's to discard. */
int djvu_book_write_indirect(const djvu_book *book, const char *index_name, djvu_file_routine write,
                             void *userdata);

/* ------------------------------------------------------------------------ */
/* Mask driver                                                               */
/* ------------------------------------------------------------------------ */

/* djvu_mask_params.switches */
enum
{
  DJVU_MASK_NO_COLOR_FILTER = 1,
  DJVU_MASK_NO_SIZE_FILTER = 2,
  DJVU_MASK_NO_INVERSION_FILTER = 4
};

typedef struct djvu_mask_params_s
{
  int32_t size;          /* bytes of the caller's record; full size 36 */
  int32_t filter_level;  /* mask finder filter level, 0 */
  int32_t multi_forback; /* split level, 0 = single plane */
  int32_t switches;      /* DJVU_MASK_* bits, 0 */
  int32_t dpi;           /* resolution when the image has none, 300 */
  int32_t dpi_double;    /* enlarge 2x below this resolution, 225 */
  int32_t dpi_triple;    /* enlarge 3x below this resolution, 125 */
  int32_t progress_data; /* handed to the progress hook, 0 */
  int32_t band_inches;   /* band height in inches; <= 0: whole page */
} djvu_mask_params;

#define DJVU_MASK_PARAMS_DEFAULTS                                                                            \
  {                                                                                                          \
    36, 0, 0, 0, 300, 225, 125, 0, 0                                                                         \
  }

/* Finds the bitonal mask of a colour or grey page. Returns a runtype-0 run
   image owned by the caller (free with djvu_run_image_free), or null after
   one report through the error callback. image is not modified. */
djvu_run_image *djvu_mask(const djvu_mask_params *params, const djvu_pixel_image *image);

#ifdef __cplusplus
}
#endif

#endif /* DJVUAPI_H */

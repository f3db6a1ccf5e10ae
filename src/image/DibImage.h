// CDibImage: the application's in-memory image record.
//
// One packed device-independent bitmap block (a 40-byte BITMAPINFOHEADER, the
// palette, the pixel rows, in that order and without gaps) plus what the
// readers found about the picture (resolution, photometric code, page count)
// and the history of edits since load (orientation code, negative flag), so a
// DjVu or IW44 page can be rendered again at another zoom and the edits
// re-applied.
//
// Every reader, writer and operation returns 1 on success and 0 on failure
// and never throws. Readers start with Reset(), so a failed read leaves an
// empty record; a failed operation leaves the record unchanged. Library
// messages end up in g_szLastImageError.
//
// The record owns its block (allocated with malloc, freed with free) and a
// reference to its decoded document (shared with copies, see CopyFrom).
#ifndef VELLUM_IMAGE_DIBIMAGE_H
#define VELLUM_IMAGE_DIBIMAGE_H

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>

#include "djvuapi.h"

// File kinds as returned by GetImageFileType().
enum
{
  IMAGE_FILE_NONE = 0,
  IMAGE_FILE_DJVU = 1,
  IMAGE_FILE_IW44 = 2,
  IMAGE_FILE_BMP = 3,
  IMAGE_FILE_PNM = 4,
  IMAGE_FILE_JPEG = 5,
  IMAGE_FILE_TIFF = 6,
  IMAGE_FILE_PNG = 7,
  IMAGE_FILE_LAST = IMAGE_FILE_PNG, // the highest code of a real file kind
  IMAGE_FILE_UNKNOWN = 99,
  IMAGE_FILE_ALL = 100 // every supported kind (settings, filters, browser)
};

// Header kind: the block starts with a 40-byte BITMAPINFOHEADER. The only
// kind produced; every load entry point takes it as its last argument.
enum
{
  DIB_HEADER_INFO = 5
};

enum
{
  DIB_ROWS_BOTTOMUP = 3, // first stored row is the bottom picture row
  DIB_ROWS_TOPDOWN = 4   // first stored row is the top picture row
};

enum
{
  DIB_CHANNELS_RGB = 1, // 24-bit pixels stored red, green, blue
  DIB_CHANNELS_BGR = 2  // 24-bit pixels stored blue, green, red (readers)
};

// TIFF photometric codes kept in m_nPhotometric.
enum
{
  DIB_PHOTOMETRIC_MINISWHITE = 0,
  DIB_PHOTOMETRIC_MINISBLACK = 1,
  DIB_PHOTOMETRIC_RGB = 2,
  DIB_PHOTOMETRIC_PALETTE = 3
};

// TIFF resolution unit codes kept in m_nResolutionUnit.
enum
{
  DIB_RESUNIT_INCH = 2,
  DIB_RESUNIT_CENTIMETER = 3
};

// Resample methods.
enum
{
  DIB_RESAMPLE_SINGLE = 0, // single sample (centre cell)
  DIB_RESAMPLE_CENTRE = 1, // weighted towards the grid centre
  DIB_RESAMPLE_AVERAGE = 2 // plain grid average
};

// BITMAPINFOHEADER as laid out in the block (little-endian, 40 bytes).
#pragma pack(push, 1)
struct DibInfoHeader
{
  uint32_t biSize;
  int32_t biWidth;
  int32_t biHeight; // negative for top-down rows
  uint16_t biPlanes;
  uint16_t biBitCount;
  uint32_t biCompression;
  uint32_t biSizeImage;
  int32_t biXPelsPerMeter;
  int32_t biYPelsPerMeter;
  uint32_t biClrUsed;
  uint32_t biClrImportant;
};

// One palette entry (RGBQUAD order).
struct DibRgbQuad
{
  uint8_t rgbBlue;
  uint8_t rgbGreen;
  uint8_t rgbRed;
  uint8_t rgbReserved;
};
#pragma pack(pop)
static_assert(sizeof(DibInfoHeader) == 40, "BITMAPINFOHEADER is 40 bytes");
static_assert(sizeof(DibRgbQuad) == 4, "RGBQUAD is 4 bytes");

// Size of g_szLastImageError, terminating zero included.
#define IMAGE_ERROR_SIZE 1025

// The last message from libtiff, libjpeg or the Image API (one process-wide
// buffer; always zero-terminated).
extern char g_szLastImageError[IMAGE_ERROR_SIZE];

// Maps a file name to a file kind by the text after its last ".",
// case-insensitively: 2 IW44, 1 DjVu, 6 TIFF, 5 JPEG, 4 PNM, 3 BMP, 7 PNG,
// else 99.
int GetImageFileType(const char *name);

// Pages of the TIFF file at path, counted as the reader counts them (a
// chain that loops back ends before the loop); 0 when the file cannot be
// read or its directory chain is damaged. Reads no picture.
int TiffPageCount(const char *path);

// Image API error callback: formats "DjVu error!\n\nFile: %s\nLine: %d\nCause:
// %s\n" into g_szLastImageError and shows it in a stop-icon message box
// through VellumMessageBox (src/platform).
void ReportApiError(const char *cause, const char *file, int line);

// Image API error callback of the readers: keeps only the cause in
// g_szLastImageError and shows nothing (the open reports it once, with the
// file's name; the library's source file and line mean nothing to a user).
void KeepApiError(const char *cause, const char *file, int line);

// libtiff error and warning handler (TIFFErrorHandler signature): copies the
// formatted message (at most 1024 characters) into g_szLastImageError and
// shows nothing.
void TiffMessageHandler(const char *module, const char *fmt, va_list ap);

// Resolution conversions, with the constants used exactly so.
int32_t DpiToPixelsPerMeter(int dpi); // floor(dpi * 100 * 0.39370078740157477), int32-clamped
int PixelsPerMeterToDpi(int32_t ppm); // floor(ppm * 2.54 * 0.01 + 0.5)
double DensityToPixelsPerMeter(double density,
                               int unit); // inch: * 39.37007874015748, cm: * 100, else 0
int JpegPixelsPerMeterToDpi(double ppm);  // floor(ppm * 0.0254 + 0.5)

// The share of the page a DjVu rendering of zoom step zoom is for a screen
// of device scale scale: the page times *multiple / *factor, in lowest terms
// and at most 1 (zoom >= 0 or scale <= 1 reduce nothing more than the step).
void DjVuRenderShare(int zoom, int scale, int64_t *factor, int64_t *multiple);

// Bytes per stored row of a DIB: ((bits * width + 31) / 32) * 4, or -1 when
// the width or depth is invalid or the result does not fit in 31 bits.
int64_t DibStride(int64_t width, int bits);

// The pixel limit of every reader (BMP, PNM, TIFF, JPEG and any other) and
// of the DjVu/IW44 decoder: one process-wide value, kept by the Image API
// (djvu_set_max_pixels), so that a small file cannot make us allocate a
// huge picture. Readers check the size from the header, before anything is
// allocated, and refuse a larger image with "Image too large: W x H pixels
// (N megapixels; the limit is M megapixels)". The default
// (DJVU_DEFAULT_MAX_PIXELS, 300 megapixels) opens a 600-dpi A1 page; the
// program sets the value from Vellum.ini ("MaxPixels") and vellum-convert
// from --max-pixels. pixels <= 0 restores the default.
void SetMaxImagePixels(int64_t pixels);
int64_t GetMaxImagePixels();

class CDibImage
{
public:
  CDibImage();
  ~CDibImage();
  CDibImage(const CDibImage &) = delete;
  CDibImage &operator=(const CDibImage &) = delete;

  // ---------------------------------------------------------------- fields
  // In this order; all public so readers and the document can fill them.
  djvu_halfcoded_image *m_pDocument; // DjVu, IW44 page (shared, see CopyFrom); else null
  unsigned char *m_pBlock;           // header, palette, rows; malloc'd, owned
  int32_t m_nHeaderKind;             // DIB_HEADER_INFO
  int32_t m_nHeaderSize;             // 40
  int32_t m_nPaletteOffset;          // == m_nHeaderSize
  int32_t m_nPaletteSize;            // bytes: 8 (1 bit), 64 (4), 1024 (8), 0 (24)
  int32_t m_nPixelOffset;            // header size + palette size
  int32_t m_nPixelSize;              // stride * height
  int32_t m_nPaletteEntrySize;       // 4
  int32_t m_nStride;                 // ((bits * width + 31) / 32) * 4
  int32_t m_nRowOrder;               // DIB_ROWS_BOTTOMUP or DIB_ROWS_TOPDOWN
  int32_t m_nChannelOrder;           // DIB_CHANNELS_BGR (readers) or DIB_CHANNELS_RGB
  int32_t m_nWidth;
  int32_t m_nHeight;
  int32_t m_nBitsPerPixel; // 1, 4, 8 or 24
  int32_t m_nSourceWidth;  // full-resolution page width (DjVu), else width
  int32_t m_nSourceHeight;
  int32_t m_nSourceBitsPerPixel; // depth as read
  int32_t m_nXDpi;               // 0 = unknown
  int32_t m_nYDpi;
  int32_t m_nResolutionUnit;   // TIFF code: 2 inch, 3 cm, other none
  int32_t m_nPhotometric;      // TIFF code 0..3
  int32_t m_bGrey;             // 8-bit with a 256-entry grey ramp palette
  int32_t m_bNegative;         // toggled by Negative()
  int32_t m_nOrientation;      // 0..7, composition of flips and turns
  int32_t m_nPageCount;        // 1 except multi-page TIFF and DjVu documents
  int32_t m_nPageIndex;        // 0-based page shown
  int32_t m_bTransparentPaste; // Paste() skips pixels of m_nKeyColour
  uint32_t m_nKeyColour;       // 0x00BBGGRR
  int32_t m_bGreyConverted;    // Convert To Gray applied (a grey rendering is not)
  // A DjVu or IW44 rendering is the page scaled by m_nRenderScale /
  // m_nRenderFactor (in lowest terms; 0 counts as 1): 1/3 for a page
  // rendered at subsample 3, 2/3 for one rendered for a 33 % step on a
  // screen of device scale 2. Copied and swapped with the pixels.
  int32_t m_nRenderFactor;
  int32_t m_nRenderScale;
  // The DjVu document the page comes from (one page or many; shared like
  // m_pDocument, and kept through crops and resizes so that a save still
  // writes every page); null for other kinds.
  djvu_document *m_pBook;
  std::string m_strSourcePath; // the file m_pBook was opened from

  // -------------------------------------------------------- block access
  DibInfoHeader *Header() const { return reinterpret_cast<DibInfoHeader *>(m_pBlock); }
  DibRgbQuad *Palette() const
  {
    return m_pBlock ? reinterpret_cast<DibRgbQuad *>(m_pBlock + m_nPaletteOffset) : nullptr;
  }
  int PaletteEntries() const { return m_nPaletteSize / 4; }
  unsigned char *Bits() const { return m_pBlock ? m_pBlock + m_nPixelOffset : nullptr; }
  // Stored row r (0 = first in memory); no bounds check.
  unsigned char *Row(int r) const { return m_pBlock + m_nPixelOffset + (size_t)r * m_nStride; }
  size_t BlockSize() const { return (size_t)m_nHeaderSize + m_nPaletteSize + m_nPixelSize; }
  bool IsEmpty() const { return m_pBlock == nullptr; }

  // Frees the block and the document handle and zeroes every field.
  void Reset();

  // Replaces the block by a new zeroed one for width x height at bits (1, 4,
  // 8, 24) in the given row order, and sets the layout fields, width, height,
  // bits, source size and depth, and the stored header (DPI from m_nXDpi and
  // m_nYDpi). The palette is zeroed; callers fill it. Other metadata fields
  // are left as they are. Returns 0 (record unchanged) on a bad size,
  // overflow or allocation failure.
  int CreateBlock(int width, int height, int bits, int rowOrder);

  // Writes the stored header from the fields (size 40, width, signed
  // height, 1 plane, bit count, no compression, image size, pixels per
  // metre from the DPI fields, 0 colours used and important).
  void UpdateHeader();

  // Sets m_nXDpi and m_nYDpi from the stored header's pixels per metre.
  void DpiFromHeader();

  // Deep copy of every field and a new block; on failure the record is reset
  // and 0 returned. The decoded document is shared, reference counted: each
  // record gives up its reference in Reset (or Crop, Resample) and the last
  // one frees it, so callers never free or clear m_pDocument themselves.
  int CopyFrom(const CDibImage &other);

  // Exchanges the pixels and every field that describes them with other's
  // (the blocks change hands; nothing is copied or freed). What the record
  // was read from stays: its page, book, source path and page numbers. Keep
  // in step with the field list.
  void SwapPixels(CDibImage &other);

  // The record reset, then given other's decoded page and book (shared as
  // CopyFrom shares them) with its page count and index, but no pixels: a
  // record to render another view of the page into. 0 when other has no page.
  int SharePageOf(const CDibImage &other);

  // Takes other's DjVu document (shared as CopyFrom shares it) and source
  // path in place of its own, keeping its pixels and page: a page read from
  // another file, whose document was since saved as that book. 0 when out
  // of memory (the record is unchanged).
  int ShareBookOf(const CDibImage &other);

  // Builds the record from a BITMAPINFOHEADER, its palette and its bits (a
  // clipboard or scanner block). Refuses a header, palette or bits that do
  // not fit the sizes given. The record is reset first.
  int SetFromDib(const void *header, size_t headerSize, const void *palette, size_t paletteSize,
                 const void *bits, size_t bitsSize, int headerKind);

  // 8-bit with exactly 256 entries: ascending ramp -> photometric 1, the
  // descending ramp -> photometric 0; returns 1 then. Any other palette: 0.
  // Does not change m_bGrey (callers assign the result).
  int IsGreyRamp();

  // ---------------------------------------------------- DjVu and IW44 files
  // Opens the file (a single page, a bundled or an indirect document),
  // decodes page pageIndex (0-based) and keeps both handles. kind is
  // IMAGE_FILE_DJVU or _IW44. A book already open from path (book, may be
  // null) is shared instead of being opened again.
  int OpenDjVu(const char *path, int kind, int pageIndex = 0, djvu_document *book = nullptr);
  // True when the record holds a DjVu document and the current page's
  // hidden text and annotations still fit it: the page is shown at its
  // full size, with no turn, flip, crop or resize.
  bool DjVuGeometryKept() const;
  // The page's own resolution: a DjVu or IW44 page's from its file however
  // reduced the rendering is (m_nXDpi and m_nYDpi are the rendering's);
  // else m_nXDpi and m_nYDpi.
  int PageXDpi() const;
  int PageYDpi() const;
  // Renders the kept page into a new block (the handle stays).
  // zoom < 0 renders at scale/(1 - zoom) of the page (at most full size:
  // scale is the screen's device scale, 1 elsewhere); depth outside 1..24
  // (or layer 1) gives 24; gamma outside 0.1..10 gives 2.2; layer outside
  // 0..3 gives 0. Sets m_nRenderFactor and m_nRenderScale.
  int RenderDjVu(int layer, int depth, int zoom, double gamma, int headerKind, int kind, int scale = 1);

  // ------------------------------------------- readers and writers (files)
  int LoadBmp(const char *path, int headerKind);
  int SaveBmp(const char *path);
  int LoadPnm(const char *path, int headerKind);
  // SavePnm changes the record it writes, not the picture: the rows end up
  // top-down, and a minimum-is-white bitonal record is inverted to
  // minimum-is-black (InvertGrey). Callers that keep the record see both.
  int SavePnm(const char *path);
  int LoadTiff(const char *path, int pageIndex, int headerKind);
  int LoadJpeg(const char *path, int displayDepth, int dctMethod, int headerKind);
  // PNG (Png.cpp): every colour type and depth, interlaced too; alpha is
  // composed over white, 16-bit samples reduced to 8. SavePng writes 1-bit
  // black and white as 1-bit grey, other 1/4/8-bit palettes as palette
  // PNGs, 8-bit grey as grey and 24-bit as RGB, the resolution as pHYs; the
  // record is not changed.
  int LoadPng(const char *path, int headerKind);
  int SavePng(const char *path);
  int SaveJpeg(const char *path, int quality, int smoothing, int optimize, int dctMethod,
               const char *comment);
  // Compound DjVu page (SaveDjVu.cpp). upsample is -1 (none), -2, -3 or -4
  // (enlarge 2, 3 or 4 times before the mask is found; other values mean
  // none). textOnly: mask-only page. A 1-bit image always gives a mask-only
  // page from its own pixels. The parameter records are the caller's (null:
  // the encoder's defaults). May make the rows top-down and turn a grey
  // minimum-is-white image into minimum-is-black (the picture stays).
  int SaveDjVu(const char *path, int upsample, int textOnly, const djvu_mask_params *maskParams,
               const djvu_encode_params *encodeParams);
  // The page encoding of SaveDjVu, delivered in one call of write
  // (djvu_encode's contract).
  int EncodeDjVu(int upsample, int textOnly, const djvu_mask_params *maskParams,
                 const djvu_encode_params *encodeParams, djvu_output_routine write, void *userdata);
  // The same page encoding into the record's DjVu document (m_pBook,
  // required): the page replaces page m_nPageIndex, keeping the old page's
  // hidden text and annotations when DjVuGeometryKept(), and then the whole
  // document (wholeDocument) or that page alone is written to path. Every
  // other page, the outline and the included files are copied as read.
  int SaveDjVuDocument(const char *path, int wholeDocument, int upsample, int textOnly,
                       const djvu_mask_params *maskParams, const djvu_encode_params *encodeParams);
  // Its two steps: the page encoded into m_pBook in place of page
  // m_nPageIndex (nothing written), and the document (or that page) written
  // to path with every page replaced so far.
  int ReplaceDjVuPage(int upsample, int textOnly, const djvu_mask_params *maskParams,
                      const djvu_encode_params *encodeParams);
  int WriteDjVuDocument(const char *path, int wholeDocument);
  // IW44 photo file (a black-and-white picture becomes a mask-only DjVu
  // page). Same record changes as SaveDjVu.
  int SaveIw44(const char *path, const djvu_iw44_params *params);

  // ------------------------------------------------ Image API conversions
  // Describes the record as a pixel image. Depths 8 (grey) and 24 point into
  // the record's block; 1, 4 and 8-bit palette images are converted and the
  // copy returned in *converted (caller frees it with free(); null when no
  // copy was made). The record keeps ownership of its block.
  int FillPixelImage(djvu_pixel_image *image, unsigned char **converted) const;

  // 1-bit image to a runtype-0 run image (record and runs from the Image API
  // allocator; free with djvu_run_image_free). Null on failure.
  djvu_run_image *MakeRuns() const;

  // New malloc'd block: prefix bytes (uninitialised) then 8-bit grey rows of
  // ((width * 8 + 31) / 32) * 4 bytes in stored order. Null when the grey
  // flag is set, on a bad depth or on allocation failure.
  unsigned char *ToGray8(size_t prefix) const;

  // New malloc'd DIB block (header, palette, rows) at target bits (4, 8, 24),
  // deeper than this image (at most 8 bits). Null otherwise. *blockSize
  // receives its size when given.
  unsigned char *ExpandDepth(int target, size_t *blockSize = nullptr) const;

  // 8-bit palette image: new malloc'd rows of ((width * 24 + 31) / 32) * 4
  // bytes, each pixel its palette colour written red, green, blue.
  unsigned char *PaletteToRgb() const;

  // ---------------------------------------------------------- operations
  // Orientation primitives on stored rows; the code table follows each edit.
  int FlipRows(int edit); // edit: F; else only toggles the storage order
  int Mirror();           // M
  int Transpose();        // T
  int RotateLeft();       // T then M
  int RotateRight();      // T then F
  int Rotate180();        // M then F
  int ApplyOrientation(int code);
  // Code after applying primitive 0 (F), 1 (M) or 2 (T) to code; -1 if out
  // of range.
  static int ComposeOrientation(int code, int primitive);

  int Negative();
  int InvertGrey();
  int ConvertToGray();
  // Rectangles are inclusive, in picture coordinates with top = 0.
  int Crop(int left, int top, int right, int bottom);
  int ClearRect(int left, int top, int right, int bottom);
  // Copies src into this image at stored column x, stored row y. indexMap
  // (mapCount entries, one per source index) translates palette indices;
  // indices it does not cover, or a null map, keep their value.
  int Paste(const CDibImage &src, int x, int y, const int32_t *indexMap, int mapCount);
  int Resample(int newWidth, int newHeight, int method);
};

#endif

// The image record: layout, copying, the clipboard/scanner entry point, file
// kinds, resolution conversions and the error hooks of the libraries below.
#include "DibImage.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <unordered_map>

#include "DibImageInternal.h"
#include "MessageBox.h"

char g_szLastImageError[IMAGE_ERROR_SIZE];

// Set by OpenDjVu; keeps this file free of the decoder so that records of
// the plain file kinds link without it.
void (*g_pfnFreeImageDocument)(void *document) = nullptr;
void (*g_pfnFreeImageBook)(void *book) = nullptr;

namespace
{

// Records that share a decoded document (an image and its undo copy) hold
// one reference each; the map counts the references beyond the first, so a
// handle that was never shared needs no entry.
std::unordered_map<void *, int> &ExtraDocumentReferences()
{
  static std::unordered_map<void *, int> refs;
  return refs;
}

} // namespace

bool ShareImageDocument(void *document)
{
  if (!document)
    return true;
  try
  {
    ExtraDocumentReferences()[document]++;
  }
  catch (...)
  {
    return false;
  }
  return true;
}

void ReleaseImageDocument(void *document, void (*freeFn)(void *))
{
  if (!document)
    return;
  auto &refs = ExtraDocumentReferences();
  auto it = refs.find(document);
  if (it != refs.end())
  {
    if (--it->second == 0)
      refs.erase(it);
    return;
  }
  if (!freeFn)
    freeFn = g_pfnFreeImageDocument;
  if (freeFn)
    freeFn(document);
}

int GetImageFileType(const char *name)
{
  if (!name)
    return IMAGE_FILE_UNKNOWN;
  const char *dot = std::strrchr(name, '.');
  if (!dot)
    return IMAGE_FILE_UNKNOWN;
  static const struct
  {
    const char *ext;
    int kind;
  } table[] = {
      {".iw44", IMAGE_FILE_IW44}, {".iw4", IMAGE_FILE_IW44},  {".djvu", IMAGE_FILE_DJVU},
      {".djv", IMAGE_FILE_DJVU},  {".tif", IMAGE_FILE_TIFF},  {".tiff", IMAGE_FILE_TIFF},
      {".jpg", IMAGE_FILE_JPEG},  {".jpeg", IMAGE_FILE_JPEG}, {".ppm", IMAGE_FILE_PNM},
      {".pnm", IMAGE_FILE_PNM},   {".pgm", IMAGE_FILE_PNM},   {".pbm", IMAGE_FILE_PNM},
      {".bmp", IMAGE_FILE_BMP},   {".png", IMAGE_FILE_PNG},
  };
  for (const auto &e : table)
    if (strcasecmp(dot, e.ext) == 0)
      return e.kind;
  return IMAGE_FILE_UNKNOWN;
}

void ReportApiError(const char *cause, const char *file, int line)
{
  std::snprintf(g_szLastImageError, sizeof g_szLastImageError,
                "DjVu error!\n\nFile: %s\nLine: %d\nCause: %s\n", file ? file : "", line, cause ? cause : "");
  VellumMessageBox(g_szLastImageError, "Vellum", VMB_OK | VMB_ICONHAND);
}

void KeepApiError(const char *cause, const char *, int)
{
  std::snprintf(g_szLastImageError, sizeof g_szLastImageError, "%s", cause ? cause : "");
}

void TiffMessageHandler(const char *module, const char *fmt, va_list ap)
{
  // The title is composed as the library's own handlers do, but nothing is
  // shown: only the message text is kept.
  char title[256];
  std::snprintf(title, sizeof title, "%s Error", module ? module : "TIFFLIB");
  (void)title;
  // At most 1024 characters of the message are kept.
  std::vsnprintf(g_szLastImageError, sizeof g_szLastImageError, fmt ? fmt : "", ap);
}

int32_t DpiToPixelsPerMeter(int dpi)
{
  // In double: a hostile header's resolution must not overflow an int (the
  // value is the same for every resolution that fits the header).
  double ppm = std::floor((double)dpi * 100 * 0.39370078740157477);
  if (ppm > INT32_MAX)
    return INT32_MAX;
  if (ppm < INT32_MIN)
    return INT32_MIN;
  return (int32_t)ppm;
}

int PixelsPerMeterToDpi(int32_t ppm)
{
  return (int)std::floor(ppm * 2.54 * 0.01 + 0.5);
}

double DensityToPixelsPerMeter(double density, int unit)
{
  if (unit == DIB_RESUNIT_INCH)
    return density * 39.37007874015748;
  if (unit == DIB_RESUNIT_CENTIMETER)
    return density * 100;
  return 0; // no unit: the resolution is unknown
}

int JpegPixelsPerMeterToDpi(double ppm)
{
  return (int)std::floor(ppm * 0.0254 + 0.5);
}

int64_t DibStride(int64_t width, int bits)
{
  if (width <= 0 || (bits != 1 && bits != 4 && bits != 8 && bits != 24))
    return -1;
  if (width > INT32_MAX)
    return -1;
  int64_t stride = ((bits * width + 31) / 32) * 4;
  return stride > INT32_MAX ? -1 : stride;
}

namespace
{

int PaletteBytes(int bits)
{
  return bits <= 8 ? 4 << bits : 0;
}

} // namespace

CDibImage::CDibImage()
{
  m_pDocument = nullptr;
  m_pBook = nullptr;
  m_pBlock = nullptr;
  Reset();
}

CDibImage::~CDibImage()
{
  Reset();
}

void CDibImage::Reset()
{
  ReleaseImageDocument(m_pDocument);
  ReleaseImageDocument(m_pBook, g_pfnFreeImageBook);
  std::free(m_pBlock);
  m_pDocument = nullptr;
  m_pBook = nullptr;
  m_strSourcePath.clear();
  m_pBlock = nullptr;
  m_nHeaderKind = m_nHeaderSize = m_nPaletteOffset = m_nPaletteSize = 0;
  m_nPixelOffset = m_nPixelSize = m_nPaletteEntrySize = m_nStride = 0;
  m_nRowOrder = m_nChannelOrder = m_nWidth = m_nHeight = m_nBitsPerPixel = 0;
  m_nSourceWidth = m_nSourceHeight = m_nSourceBitsPerPixel = 0;
  m_nXDpi = m_nYDpi = m_nResolutionUnit = m_nPhotometric = 0;
  m_bGrey = m_bNegative = m_nOrientation = m_nPageCount = m_nPageIndex = m_bGreyConverted = 0;
  m_nRenderFactor = m_nRenderScale = 0;
  m_bTransparentPaste = 0;
  m_nKeyColour = 0;
}

int CDibImage::CreateBlock(int width, int height, int bits, int rowOrder)
{
  DibLayout layout;
  if ((rowOrder != DIB_ROWS_BOTTOMUP && rowOrder != DIB_ROWS_TOPDOWN) ||
      !ComputeDibLayout(width, height, bits, layout))
    return 0;
  unsigned char *block = static_cast<unsigned char *>(std::calloc(1, layout.total));
  if (!block)
    return 0;
  m_nRowOrder = rowOrder;
  if (m_nChannelOrder != DIB_CHANNELS_RGB)
    m_nChannelOrder = DIB_CHANNELS_BGR;
  AdoptDibBlock(*this, block, width, height, bits, layout);
  m_nSourceWidth = width;
  m_nSourceHeight = height;
  m_nSourceBitsPerPixel = bits;
  UpdateHeader();
  return 1;
}

void CDibImage::UpdateHeader()
{
  if (!m_pBlock || m_nHeaderKind != DIB_HEADER_INFO)
    return;
  DibInfoHeader *h = Header();
  h->biSize = 40;
  h->biWidth = m_nWidth;
  h->biHeight = m_nRowOrder == DIB_ROWS_TOPDOWN ? -m_nHeight : m_nHeight;
  h->biPlanes = 1;
  h->biBitCount = (uint16_t)m_nBitsPerPixel;
  h->biCompression = 0;
  h->biSizeImage = (uint32_t)m_nPixelSize;
  h->biXPelsPerMeter = DpiToPixelsPerMeter(m_nXDpi);
  h->biYPelsPerMeter = DpiToPixelsPerMeter(m_nYDpi);
  h->biClrUsed = 0;
  h->biClrImportant = 0;
}

void CDibImage::DpiFromHeader()
{
  if (!m_pBlock || m_nHeaderKind != DIB_HEADER_INFO)
    return;
  m_nXDpi = PixelsPerMeterToDpi(Header()->biXPelsPerMeter);
  m_nYDpi = PixelsPerMeterToDpi(Header()->biYPelsPerMeter);
  // A damaged or hostile header must not give a negative resolution.
  if (m_nXDpi < 0)
    m_nXDpi = 0;
  if (m_nYDpi < 0)
    m_nYDpi = 0;
}

int CDibImage::CopyFrom(const CDibImage &other)
{
  if (&other == this)
    return 1;
  Reset();
  if (!other.m_pBlock)
    return 0;
  size_t size = other.BlockSize();
  unsigned char *block = static_cast<unsigned char *>(std::malloc(size));
  if (!block)
    return 0;
  std::memcpy(block, other.m_pBlock, size);
  m_nHeaderKind = other.m_nHeaderKind;
  m_nHeaderSize = other.m_nHeaderSize;
  m_nPaletteOffset = other.m_nPaletteOffset;
  m_nPaletteSize = other.m_nPaletteSize;
  m_nPixelOffset = other.m_nPixelOffset;
  m_nPixelSize = other.m_nPixelSize;
  m_nPaletteEntrySize = other.m_nPaletteEntrySize;
  m_nStride = other.m_nStride;
  m_nRowOrder = other.m_nRowOrder;
  m_nChannelOrder = other.m_nChannelOrder;
  m_nWidth = other.m_nWidth;
  m_nHeight = other.m_nHeight;
  m_nBitsPerPixel = other.m_nBitsPerPixel;
  m_nSourceWidth = other.m_nSourceWidth;
  m_nSourceHeight = other.m_nSourceHeight;
  m_nSourceBitsPerPixel = other.m_nSourceBitsPerPixel;
  m_nXDpi = other.m_nXDpi;
  m_nYDpi = other.m_nYDpi;
  m_nResolutionUnit = other.m_nResolutionUnit;
  m_nPhotometric = other.m_nPhotometric;
  m_bGrey = other.m_bGrey;
  m_bGreyConverted = other.m_bGreyConverted;
  m_nRenderFactor = other.m_nRenderFactor;
  m_nRenderScale = other.m_nRenderScale;
  m_bNegative = other.m_bNegative;
  m_nOrientation = other.m_nOrientation;
  m_nPageCount = other.m_nPageCount;
  m_nPageIndex = other.m_nPageIndex;
  m_bTransparentPaste = other.m_bTransparentPaste;
  m_nKeyColour = other.m_nKeyColour;
  m_pBlock = block;
  // The decoded document is shared, so the copy can be rendered again too.
  if (ShareImageDocument(other.m_pDocument))
    m_pDocument = other.m_pDocument;
  if (ShareImageDocument(other.m_pBook))
  {
    m_pBook = other.m_pBook;
    m_strSourcePath = other.m_strSourcePath;
  }
  return 1;
}

void CDibImage::SwapPixels(CDibImage &other)
{
  using std::swap;
  swap(m_pBlock, other.m_pBlock);
  swap(m_nHeaderKind, other.m_nHeaderKind);
  swap(m_nHeaderSize, other.m_nHeaderSize);
  swap(m_nPaletteOffset, other.m_nPaletteOffset);
  swap(m_nPaletteSize, other.m_nPaletteSize);
  swap(m_nPixelOffset, other.m_nPixelOffset);
  swap(m_nPixelSize, other.m_nPixelSize);
  swap(m_nPaletteEntrySize, other.m_nPaletteEntrySize);
  swap(m_nStride, other.m_nStride);
  swap(m_nRowOrder, other.m_nRowOrder);
  swap(m_nChannelOrder, other.m_nChannelOrder);
  swap(m_nWidth, other.m_nWidth);
  swap(m_nHeight, other.m_nHeight);
  swap(m_nBitsPerPixel, other.m_nBitsPerPixel);
  swap(m_nSourceWidth, other.m_nSourceWidth);
  swap(m_nSourceHeight, other.m_nSourceHeight);
  swap(m_nSourceBitsPerPixel, other.m_nSourceBitsPerPixel);
  swap(m_nXDpi, other.m_nXDpi);
  swap(m_nYDpi, other.m_nYDpi);
  swap(m_nResolutionUnit, other.m_nResolutionUnit);
  swap(m_nPhotometric, other.m_nPhotometric);
  swap(m_bGrey, other.m_bGrey);
  swap(m_bNegative, other.m_bNegative);
  swap(m_nOrientation, other.m_nOrientation);
  swap(m_bTransparentPaste, other.m_bTransparentPaste);
  swap(m_nKeyColour, other.m_nKeyColour);
  swap(m_bGreyConverted, other.m_bGreyConverted);
  swap(m_nRenderFactor, other.m_nRenderFactor);
  swap(m_nRenderScale, other.m_nRenderScale);
}

int CDibImage::SharePageOf(const CDibImage &other)
{
  if (&other == this)
    return m_pDocument != nullptr;
  Reset();
  if (!other.m_pDocument || !ShareImageDocument(other.m_pDocument))
    return 0;
  m_pDocument = other.m_pDocument;
  if (ShareImageDocument(other.m_pBook))
  {
    m_pBook = other.m_pBook;
    m_strSourcePath = other.m_strSourcePath;
  }
  m_nPageCount = other.m_nPageCount;
  m_nPageIndex = other.m_nPageIndex;
  return 1;
}

int CDibImage::ShareBookOf(const CDibImage &other)
{
  if (other.m_pBook != m_pBook)
  {
    if (!ShareImageDocument(other.m_pBook))
      return 0;
    ReleaseImageDocument(m_pBook, g_pfnFreeImageBook);
    m_pBook = other.m_pBook;
  }
  m_strSourcePath = other.m_strSourcePath;
  return 1;
}

int CDibImage::SetFromDib(const void *header, size_t headerSize, const void *palette, size_t paletteSize,
                          const void *bits, size_t bitsSize, int headerKind)
{
  Reset();
  if (headerKind != DIB_HEADER_INFO || !header || headerSize < sizeof(DibInfoHeader) || !bits)
    return 0;
  DibInfoHeader h;
  std::memcpy(&h, header, sizeof h);
  if (h.biSize < 40 || h.biCompression != 0 || h.biPlanes > 1)
    return 0;
  int b = h.biBitCount;
  if (h.biHeight == 0 || h.biHeight == INT32_MIN)
    return 0;
  int rowOrder = h.biHeight < 0 ? DIB_ROWS_TOPDOWN : DIB_ROWS_BOTTOMUP;
  int height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  // Everything must fit what was handed over before anything is allocated.
  DibLayout layout;
  if (!ComputeDibLayout(h.biWidth, height, b, layout) || bitsSize < (size_t)layout.pixels)
    return 0;
  // The palette: the header's colour count (all entries the depth allows
  // when it is 0) must be present.
  size_t entries = 0;
  if (b <= 8)
  {
    entries = h.biClrUsed ? h.biClrUsed : (size_t)1 << b;
    if (entries > ((size_t)1 << b))
      entries = (size_t)1 << b;
    if (!palette || paletteSize / 4 < entries)
      return 0;
  }
  if (!CreateBlock(h.biWidth, height, b, rowOrder))
    return 0;
  if (entries)
    std::memcpy(Palette(), palette, entries * 4);
  std::memcpy(Bits(), bits, (size_t)m_nPixelSize);
  Header()->biXPelsPerMeter = h.biXPelsPerMeter;
  Header()->biYPelsPerMeter = h.biYPelsPerMeter;
  DpiFromHeader();
  UpdateHeader();
  m_nResolutionUnit = DIB_RESUNIT_INCH;
  m_nPageCount = 1;
  m_nChannelOrder = DIB_CHANNELS_BGR;
  m_bGrey = IsGreyRamp();
  if (!m_bGrey)
    m_nPhotometric = b <= 8 ? DIB_PHOTOMETRIC_PALETTE : DIB_PHOTOMETRIC_RGB;
  return 1;
}

int CDibImage::IsGreyRamp()
{
  if (!m_pBlock || m_nBitsPerPixel != 8 || PaletteEntries() != 256)
    return 0;
  const DibRgbQuad *p = Palette();
  if (p[0].rgbRed == 0 && p[0].rgbGreen == 0 && p[0].rgbBlue == 0)
  {
    for (int i = 0; i < 256; i++)
      if (p[i].rgbRed != i || p[i].rgbGreen != i || p[i].rgbBlue != i)
        return 0;
    m_nPhotometric = DIB_PHOTOMETRIC_MINISBLACK;
    return 1;
  }
  for (int i = 0; i < 256; i++)
    if (p[i].rgbRed != 255 - i || p[i].rgbGreen != 255 - i || p[i].rgbBlue != 255 - i)
      return 0;
  m_nPhotometric = DIB_PHOTOMETRIC_MINISWHITE;
  return 1;
}

bool ComputeDibLayout(int width, int height, int bits, DibLayout &layout)
{
  if (height <= 0)
    return false;
  int64_t stride = DibStride(width, bits);
  if (stride < 0)
    return false;
  int64_t palette = PaletteBytes(bits);
  int64_t pixels = stride * height; // both below 2^31: exact in 64 bits
  int64_t total = 40 + palette + pixels;
  if (pixels > INT32_MAX || total > INT32_MAX)
    return false;
  layout.stride = (int32_t)stride;
  layout.palette = (int32_t)palette;
  layout.pixels = (int32_t)pixels;
  layout.total = (size_t)total;
  return true;
}

void AdoptDibBlock(CDibImage &image, unsigned char *block, int width, int height, int bits,
                   const DibLayout &layout)
{
  std::free(image.m_pBlock);
  image.m_pBlock = block;
  image.m_nHeaderKind = DIB_HEADER_INFO;
  image.m_nHeaderSize = 40;
  image.m_nPaletteOffset = 40;
  image.m_nPaletteSize = layout.palette;
  image.m_nPixelOffset = 40 + layout.palette;
  image.m_nPixelSize = layout.pixels;
  image.m_nPaletteEntrySize = 4;
  image.m_nStride = layout.stride;
  image.m_nWidth = width;
  image.m_nHeight = height;
  image.m_nBitsPerPixel = bits;
  DibInfoHeader *h = image.Header();
  h->biSize = 40;
  h->biWidth = width;
  h->biHeight = image.m_nRowOrder == DIB_ROWS_TOPDOWN ? -height : height;
  h->biPlanes = 1;
  h->biBitCount = (uint16_t)bits;
  h->biSizeImage = (uint32_t)layout.pixels;
}

// PNG reader and writer of CDibImage through libpng (1.6 API).
//
// libpng reports fatal errors by calling an error routine that must not
// return; ours records the message and longjmps back. Each direction keeps
// that setjmp inside one small function (DecodePng, EncodePng) whose frame
// holds no C++ object with a destructor; the buffers it needs live in a
// plain job record and are freed by the caller after the jump.
//
// Reading: the whole file is read into memory first (the size is bounded
// there) and handed to libpng from that buffer. What the record gets:
//   - 1-bit grey without transparency: 1-bit, palette black then white;
//   - other grey without transparency: 8-bit grey (2 and 4-bit samples are
//     scaled up as libpng does, 16-bit reduced to 8);
//   - palette without transparency: 1, 4 (from 2 and 4-bit) or 8-bit with
//     the file's palette;
//   - everything with transparency (alpha channel, tRNS) and RGB: grey
//     stays 8-bit grey, colour becomes 24-bit, alpha composed over white.
// Samples are composed at 16 bits and reduced to 8 with rounding, the
// order ImageMagick uses; its flattened decoding differs from ours by at
// most one level, from its own rounding, on alpha and 16-bit files.
// The resolution comes from pHYs in pixels per metre (rounded to dpi); a
// pHYs without a unit gives only an aspect ratio and no resolution.
//
// Writing: 1-bit black-and-white as 1-bit grey, other 1, 4 and 8-bit
// palette images as palette PNGs of the same depth, 8-bit grey as 8-bit
// grey, 24-bit as RGB; the resolution as pHYs. Into a temporary file
// renamed into place, so a library error leaves no damaged file behind.
#include "DibImage.h"

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <png.h>

#include "DibImageInternal.h"
#include "ImageFiles.h"

namespace
{

// ------------------------------------------------------------ shared hooks

void PngError(png_structp png, png_const_charp message)
{
  SetImageError("PNG: %s", message ? message : "error");
  std::longjmp(png_jmpbuf(png), 1);
}

void PngWarning(png_structp, png_const_charp)
{
  // Warnings (a damaged ancillary chunk that is skipped) do not fail the
  // read and must not hide the message of a later error.
}

// ---------------------------------------------------------------- reading

struct MemoryInput
{
  const unsigned char *data;
  size_t size, at;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t length)
{
  MemoryInput *in = static_cast<MemoryInput *>(png_get_io_ptr(png));
  if (length > in->size - in->at)
    png_error(png, "file is truncated");
  std::memcpy(out, in->data + in->at, length);
  in->at += length;
}

// The record's depth for a file's colour type and bit depth (no
// transparency known yet: the caller passes it).
struct PngShape
{
  int recordBits;  // 1, 4, 8 or 24
  bool palette;    // indices copied, the file's palette kept
  bool grey;       // 8-bit grey record
  bool bitonal;    // 1-bit grey file
  int channels;    // samples per pixel after libpng's expansion
  int sampleBytes; // 1 or 2
};

// Size check of the header path, before anything is allocated: the pixel
// limit (which sets the message naming the size), and libpng's rows of a
// whole image (interlaced files) must fit in memory as well.
bool PngSizeAllowed(png_uint_32 w, png_uint_32 h, int recordBits, size_t nativeRowBytes, bool wholeImage)
{
  if (!CheckImagePixels(w, h))
    return false;
  const int64_t stride = DibStride(w, recordBits);
  if (stride < 0 || h == 0 || h > INT32_MAX)
    return false;
  return !wholeImage || (uint64_t)nativeRowBytes * h <= ((uint64_t)1 << 32);
}

// Everything the decoder fills or allocates, reachable after a jump.
struct DecodeJob
{
  const unsigned char *data;
  size_t size;
  CDibImage *img;
  unsigned char *native; // one row, or every row of an interlaced file
  png_bytep *rows;       // row pointers into native (interlaced only)
  bool tooLarge;
  char tooLargeMessage[sizeof g_szLastImageError]; // the pixel limit's text, kept over libpng's
};

inline unsigned ComposeOverWhite16(unsigned c, unsigned a)
{
  // c and a are 16-bit; the result is the 16-bit sample on white.
  return (unsigned)(((uint64_t)c * a + (uint64_t)65535 * (65535 - a) + 32767) / 65535);
}

inline unsigned char To8(unsigned v16)
{
  return (unsigned char)((v16 * 255u + 32767u) / 65535u);
}

// One decoded row of libpng's output into picture row y of the record.
void StoreRow(CDibImage &img, const PngShape &shape, const unsigned char *src, int y)
{
  const int w = img.m_nWidth;
  unsigned char *dst = img.Row(img.m_nHeight - 1 - y);
  if (shape.palette || shape.bitonal)
  {
    // libpng unpacked the indices (or 0/1 grey samples) one per byte.
    if (shape.recordBits == 8)
      std::memcpy(dst, src, (size_t)w);
    else
      for (int x = 0; x < w; x++)
        SetIndex(dst, x, shape.recordBits, src[x]);
    return;
  }
  const int ch = shape.channels;
  const bool alpha = ch == 2 || ch == 4;
  const int colours = alpha ? ch - 1 : ch;
  for (int x = 0; x < w; x++)
  {
    unsigned v[3], a = 65535;
    for (int c = 0; c < ch; c++)
    {
      const unsigned char *p = src + ((size_t)x * ch + c) * shape.sampleBytes;
      unsigned s = shape.sampleBytes == 2 ? (unsigned)(p[0] << 8 | p[1]) : p[0] * 257u;
      if (c < colours)
        v[c] = s;
      else
        a = s;
    }
    for (int c = 0; c < colours; c++)
      v[c] = To8(alpha ? ComposeOverWhite16(v[c], a) : v[c]);
    if (colours == 1)
      dst[x] = (unsigned char)v[0];
    else
    {
      dst[3 * x] = (unsigned char)v[2];
      dst[3 * x + 1] = (unsigned char)v[1];
      dst[3 * x + 2] = (unsigned char)v[0];
    }
  }
}

// Decodes job.data into *job.img (already reset). 1 or 0; on 0 the caller
// resets the record and frees the job's buffers; g_szLastImageError holds
// the reason.
int DecodePng(DecodeJob &job)
{
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
  if (!png)
  {
    SetImageError("Out of memory");
    return 0;
  }
  png_infop info = png_create_info_struct(png);
  if (!info)
  {
    png_destroy_read_struct(&png, nullptr, nullptr);
    SetImageError("Out of memory");
    return 0;
  }
  MemoryInput in = {job.data, job.size, 0};
  if (setjmp(png_jmpbuf(png)))
  {
    png_destroy_read_struct(&png, &info, nullptr);
    return 0;
  }
  png_set_read_fn(png, &in, ReadFromMemory);
  png_read_info(png, info);

  png_uint_32 w = 0, h = 0;
  int depth = 0, colour = 0, interlace = 0;
  png_get_IHDR(png, info, &w, &h, &depth, &colour, &interlace, nullptr, nullptr);
  const bool trns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;

  PngShape shape = {};
  shape.sampleBytes = 1;
  if (colour == PNG_COLOR_TYPE_PALETTE && !trns)
  {
    shape.palette = true;
    shape.recordBits = depth == 1 ? 1 : depth <= 4 ? 4 : 8;
    shape.channels = 1;
    if (depth < 8)
      png_set_packing(png);
  }
  else if (colour == PNG_COLOR_TYPE_GRAY && depth == 1 && !trns)
  {
    shape.bitonal = true;
    shape.recordBits = 1;
    shape.channels = 1;
    png_set_packing(png);
  }
  else
  {
    // Palette to RGB, tRNS to an alpha channel, low-depth grey to 8 bits;
    // 16-bit samples stay 16-bit until composed.
    png_set_expand(png);
    const bool greyFile = (colour & PNG_COLOR_MASK_COLOR) == 0;
    const bool hasAlpha = (colour & PNG_COLOR_MASK_ALPHA) != 0 || trns;
    shape.grey = greyFile;
    shape.recordBits = greyFile ? 8 : 24;
    shape.channels = (greyFile ? 1 : 3) + (hasAlpha ? 1 : 0);
    shape.sampleBytes = depth == 16 ? 2 : 1;
  }
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  const size_t rowBytes = png_get_rowbytes(png, info);
  if (png_get_channels(png, info) != shape.channels ||
      rowBytes < (size_t)w * shape.channels * shape.sampleBytes)
    png_error(png, "unexpected row layout");

  if (!PngSizeAllowed(w, h, shape.recordBits, rowBytes, passes > 1))
  {
    job.tooLarge = true;
    std::memcpy(job.tooLargeMessage, g_szLastImageError, sizeof job.tooLargeMessage);
    png_error(png, "image too large");
  }
  CDibImage &img = *job.img;
  if (!img.CreateBlock((int)w, (int)h, shape.recordBits, DIB_ROWS_BOTTOMUP))
    png_error(png, "out of memory");

  // Palette of the record.
  DibRgbQuad *pal = img.Palette();
  if (shape.palette)
  {
    png_colorp plte = nullptr;
    int count = 0;
    png_get_PLTE(png, info, &plte, &count);
    const int entries = img.PaletteEntries();
    for (int i = 0; i < count && i < entries; i++)
      pal[i] = DibRgbQuad{plte[i].blue, plte[i].green, plte[i].red, 0};
    img.m_nPhotometric = DIB_PHOTOMETRIC_PALETTE;
    img.m_bGrey = img.IsGreyRamp();
    if (img.m_bGrey)
      img.m_nPhotometric = DIB_PHOTOMETRIC_MINISBLACK;
  }
  else if (shape.bitonal)
  {
    pal[0] = DibRgbQuad{0, 0, 0, 0};
    pal[1] = DibRgbQuad{255, 255, 255, 0};
    img.m_nPhotometric = DIB_PHOTOMETRIC_MINISBLACK;
  }
  else if (shape.grey)
  {
    for (int i = 0; i < 256; i++)
      pal[i] = DibRgbQuad{(uint8_t)i, (uint8_t)i, (uint8_t)i, 0};
    img.m_bGrey = 1;
    img.m_nPhotometric = DIB_PHOTOMETRIC_MINISBLACK;
  }
  else
    img.m_nPhotometric = DIB_PHOTOMETRIC_RGB;

  // Rows: one at a time, or (interlaced) the whole image in libpng's
  // layout, converted when every pass is in.
  if (passes > 1)
  {
    job.native = static_cast<unsigned char *>(std::malloc(rowBytes * h));
    job.rows = static_cast<png_bytep *>(std::malloc(sizeof(png_bytep) * h));
    if (!job.native || !job.rows)
      png_error(png, "out of memory");
    for (png_uint_32 y = 0; y < h; y++)
      job.rows[y] = job.native + rowBytes * y;
    png_read_image(png, job.rows);
    for (png_uint_32 y = 0; y < h; y++)
      StoreRow(img, shape, job.rows[y], (int)y);
  }
  else
  {
    job.native = static_cast<unsigned char *>(std::malloc(rowBytes));
    if (!job.native)
      png_error(png, "out of memory");
    for (png_uint_32 y = 0; y < h; y++)
    {
      png_read_row(png, job.native, nullptr);
      StoreRow(img, shape, job.native, (int)y);
    }
  }

  // Resolution from pHYs: only a metre unit gives dots per inch.
  png_uint_32 xppm = 0, yppm = 0;
  int unit = 0;
  if (png_get_pHYs(png, info, &xppm, &yppm, &unit) && unit == PNG_RESOLUTION_METER)
  {
    DibInfoHeader *hd = img.Header();
    hd->biXPelsPerMeter = (int32_t)(xppm > INT32_MAX ? INT32_MAX : xppm);
    hd->biYPelsPerMeter = (int32_t)(yppm > INT32_MAX ? INT32_MAX : yppm);
    img.m_nXDpi = JpegPixelsPerMeterToDpi(hd->biXPelsPerMeter);
    img.m_nYDpi = JpegPixelsPerMeterToDpi(hd->biYPelsPerMeter);
    img.m_nResolutionUnit = DIB_RESUNIT_INCH;
  }
  img.m_nSourceBitsPerPixel = depth * (int)png_get_channels(png, info);
  if (shape.palette || shape.bitonal)
    img.m_nSourceBitsPerPixel = depth;
  img.m_nPageCount = 1;
  // The rest of the file (text chunks after the image, IEND) is not needed.
  png_destroy_read_struct(&png, &info, nullptr);
  return 1;
}

// ---------------------------------------------------------------- writing

// Everything the encoder needs, prepared before the jump point.
struct EncodeJob
{
  FILE *fp;
  const CDibImage *img;
  int width, height;
  int depth, colourType; // PNG bit depth and colour type
  bool invertBits;       // 1-bit grey whose palette has white first
  bool greyFromPalette;  // 8-bit grey written through the palette
  bool bgr;              // 24-bit stored blue first
  png_color plte[256];
  int plteCount;
  png_uint_32 xppm, yppm;
  unsigned char *line; // one converted row
};

// The stored row holding picture row y.
const unsigned char *PictureRow(const CDibImage &img, int y)
{
  return img.Row(img.m_nRowOrder == DIB_ROWS_TOPDOWN ? y : img.m_nHeight - 1 - y);
}

int EncodePng(EncodeJob &job)
{
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
  if (!png)
  {
    SetImageError("Out of memory");
    return 0;
  }
  png_infop info = png_create_info_struct(png);
  if (!info)
  {
    png_destroy_write_struct(&png, nullptr);
    SetImageError("Out of memory");
    return 0;
  }
  if (setjmp(png_jmpbuf(png)))
  {
    png_destroy_write_struct(&png, &info);
    return 0;
  }
  png_init_io(png, job.fp);
  png_set_IHDR(png, info, (png_uint_32)job.width, (png_uint_32)job.height, job.depth, job.colourType,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (job.colourType == PNG_COLOR_TYPE_PALETTE)
    png_set_PLTE(png, info, job.plte, job.plteCount);
  if (job.xppm || job.yppm)
    png_set_pHYs(png, info, job.xppm, job.yppm, PNG_RESOLUTION_METER);
  png_write_info(png, info);
  if (job.bgr)
    png_set_bgr(png);

  const CDibImage &img = *job.img;
  const DibRgbQuad *pal = img.Palette();
  const size_t packed = ((size_t)job.width * job.depth + 7) / 8;
  for (int y = 0; y < job.height; y++)
  {
    const unsigned char *src = PictureRow(img, y);
    // libpng copies each row before filtering it: the record's rows can
    // be handed over as they are.
    png_bytep row = const_cast<png_bytep>(src);
    if (job.invertBits)
    {
      for (size_t i = 0; i < packed; i++)
        job.line[i] = (unsigned char)~src[i];
      row = job.line;
    }
    else if (job.greyFromPalette)
    {
      for (int x = 0; x < job.width; x++)
        job.line[x] = pal[src[x]].rgbRed;
      row = job.line;
    }
    png_write_row(png, row);
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return 1;
}

bool IsGreyEntry(const DibRgbQuad &q, int level)
{
  return q.rgbRed == level && q.rgbGreen == level && q.rgbBlue == level;
}

png_uint_32 DpiToPngPixelsPerMeter(int dpi)
{
  return dpi > 0 ? (png_uint_32)std::floor(DensityToPixelsPerMeter(dpi, DIB_RESUNIT_INCH) + 0.5) : 0;
}

} // namespace

int CDibImage::LoadPng(const char *path, int headerKind)
{
  Reset();
  g_szLastImageError[0] = 0;
  if (headerKind != DIB_HEADER_INFO)
  {
    SetImageError("Unsupported bitmap header kind %d", headerKind);
    return 0;
  }
  std::vector<unsigned char> data;
  if (!ReadImageFile(path, data))
    return 0;
  static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (data.size() < 8 || std::memcmp(data.data(), kSignature, 8) != 0)
  {
    SetImageError("%s is not a PNG file", path);
    return 0;
  }
  DecodeJob job = {};
  job.data = data.data();
  job.size = data.size();
  job.img = this;
  int ok = DecodePng(job);
  std::free(job.native);
  std::free(job.rows);
  if (!ok)
  {
    Reset();
    if (job.tooLarge && job.tooLargeMessage[0])
      SetImageError("%s", job.tooLargeMessage);
    else if (job.tooLarge)
      SetImageError("Image too large");
    else if (!g_szLastImageError[0])
      SetImageError("Cannot read %s", path);
  }
  return ok;
}

int CDibImage::SavePng(const char *path)
{
  if (!m_pBlock)
  {
    SetImageError("No image to save");
    return 0;
  }
  const int bits = m_nBitsPerPixel;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24)
  {
    SetImageError("Cannot save an image of %d bits per pixel", bits);
    return 0;
  }
  EncodeJob job = {};
  job.img = this;
  job.width = m_nWidth;
  job.height = m_nHeight;
  const DibRgbQuad *pal = Palette();
  const int entries = PaletteEntries();
  if (bits == 24)
  {
    job.depth = 8;
    job.colourType = PNG_COLOR_TYPE_RGB;
    job.bgr = m_nChannelOrder != DIB_CHANNELS_RGB;
  }
  else if (bits == 1 && entries >= 2 && IsGreyEntry(pal[0], 0) && IsGreyEntry(pal[1], 255))
  {
    job.depth = 1;
    job.colourType = PNG_COLOR_TYPE_GRAY;
  }
  else if (bits == 1 && entries >= 2 && IsGreyEntry(pal[0], 255) && IsGreyEntry(pal[1], 0))
  {
    job.depth = 1;
    job.colourType = PNG_COLOR_TYPE_GRAY;
    job.invertBits = true;
  }
  else if (bits == 8 && m_bGrey)
  {
    job.depth = 8;
    job.colourType = PNG_COLOR_TYPE_GRAY;
    job.greyFromPalette = true;
  }
  else
  {
    job.depth = bits;
    job.colourType = PNG_COLOR_TYPE_PALETTE;
    job.plteCount = entries < (1 << bits) ? entries : 1 << bits;
    if (job.plteCount == 0)
    {
      SetImageError("Cannot save a palette image without a palette");
      return 0;
    }
    for (int i = 0; i < job.plteCount; i++)
      job.plte[i] = png_color{pal[i].rgbRed, pal[i].rgbGreen, pal[i].rgbBlue};
  }
  job.xppm = DpiToPngPixelsPerMeter(m_nXDpi);
  job.yppm = DpiToPngPixelsPerMeter(m_nYDpi);
  if (!job.xppm || !job.yppm)
    job.xppm = job.yppm = 0; // half a resolution is no resolution
  job.line = static_cast<unsigned char *>(std::malloc((size_t)m_nStride + 1));
  if (!job.line)
  {
    SetImageError("Out of memory");
    return 0;
  }
  CSafeFile out;
  int ok = 0;
  job.fp = out.Open(path);
  if (job.fp)
    ok = EncodePng(job) && out.Commit();
  std::free(job.line);
  return ok ? 1 : 0;
}

// TIFF reader of CDibImage: one page (directory) at a time through libtiff.
//
// Method. The directories are counted first (a damaged chain is refused, one
// that loops back counts the pages before the loop), then the requested page
// is selected and its tags decide the layout:
//  - strips of 1, 2, 4, 8 or 16-bit samples, one sample plane or separate
//    planes, photometric min-is-white, min-is-black, palette, RGB or
//    separated (CMYK), are read scanline by scanline and stored bottom-up:
//    1 and 4-bit samples stay indices, 2-bit samples become 4-bit, 16-bit
//    samples are reduced to 8, extra samples (alpha) are dropped, CMYK
//    becomes RGB;
//  - everything else libtiff can turn into RGBA (tiles, YCbCr, JPEG, old
//    JPEG, LogLuv...) goes through TIFFReadRGBAImage and becomes 24-bit, or
//    8-bit grey for a one-sample grey page.
// A row that fails to decode refuses the page with libtiff's message.
// An RGB page with an alpha sample is read without it rather than refused:
// the record shows no transparency, and such pages are common.
#include "DibImage.h"

#include <cmath>
#include <cstring>
#include <vector>

#include <tiffio.h>

#include "DibImageInternal.h"
#include "ImageFiles.h"

namespace
{

// Errors seen since the handlers were installed: a failed directory read
// that reported an error is damage, not the end of the chain.
int g_tiffErrors = 0;

void TiffErrorHook(const char *module, const char *fmt, va_list ap)
{
  g_tiffErrors++;
  TiffMessageHandler(module, fmt, ap);
}

const int kMaxPages = 65536;

bool Fail(const char *message)
{
  SetImageError("%s", message);
  return false;
}

// 16-bit sample to 8 bits, rounded.
inline unsigned char Reduce16(const unsigned char *p)
{
  uint16_t v;
  std::memcpy(&v, p, 2); // libtiff delivers native byte order
  return (unsigned char)(((uint32_t)v * 255 + 32767) / 65535);
}

// Sample s (of spp interleaved samples of bps bits) of pixel x, as 8 bits.
inline unsigned char Sample8(const unsigned char *row, uint32_t x, int spp, int s, int bps)
{
  size_t i = (size_t)x * spp + s;
  return bps == 16 ? Reduce16(row + 2 * i) : row[i];
}

// Dots per inch of a resolution tag: pixels per centimetre are converted
// (59.05/cm is 150 dpi); a value without a unit is taken as per inch.
int ResolutionDpi(float v, int unit)
{
  if (!std::isfinite(v) || v <= 0 || v > 1e6f)
    return 0;
  const double perInch = unit == DIB_RESUNIT_CENTIMETER ? v * 2.54 : v;
  return (int)std::floor(perInch + 0.5);
}

int32_t ResolutionPpm(float v, int unit)
{
  if (!std::isfinite(v) || v <= 0 || v > 1e6f)
    return 0;
  double factor = unit == 2 ? 39.37007874015748 : unit == 3 ? 100 : 0;
  return (int32_t)std::floor(v * factor + 0.5);
}

enum class Layout
{
  Index, // photometric 0, 1 or 3: one sample of 1, 2, 4, 8 or 16 bits
  Rgb,   // photometric 2: 3 or more samples of 8 or 16 bits
  Cmyk,  // photometric 5: 4 samples of 8 or 16 bits
  Rgba   // anything else: libtiff's RGBA interface
};

bool ReadRgba(CDibImage &img, TIFF *tif, uint32_t w, uint32_t h, bool grey)
{
  char emsg[1024] = "";
  if (!TIFFRGBAImageOK(tif, emsg))
  {
    SetImageError("%s", emsg[0] ? emsg : "Unsupported TIFF page");
    return false;
  }
  // The page is within the pixel limit; its RGBA raster must fit in memory.
  if ((uint64_t)w * h > (uint64_t)INT64_MAX / 4)
    return Fail("Image too large");
  if (!img.CreateBlock((int)w, (int)h, grey ? 8 : 24, DIB_ROWS_BOTTOMUP))
    return Fail("Image too large");
  uint32_t *raster = (uint32_t *)_TIFFmalloc((tmsize_t)((uint64_t)w * h * 4));
  if (!raster)
    return Fail("Out of memory");
  // Rows come bottom-up, as the record stores them.
  int ok = TIFFReadRGBAImageOriented(tif, w, h, raster, ORIENTATION_BOTLEFT, 1);
  if (ok)
    for (uint32_t r = 0; r < h; r++)
    {
      const uint32_t *src = raster + (size_t)r * w;
      unsigned char *dst = img.Row((int)r);
      for (uint32_t x = 0; x < w; x++)
      {
        uint32_t p = src[x];
        if (grey)
          dst[x] = (unsigned char)TIFFGetR(p);
        else
        {
          dst[3 * x] = (unsigned char)TIFFGetB(p);
          dst[3 * x + 1] = (unsigned char)TIFFGetG(p);
          dst[3 * x + 2] = (unsigned char)TIFFGetR(p);
        }
      }
    }
  _TIFFfree(raster);
  if (!ok)
  {
    if (!g_szLastImageError[0])
      SetImageError("TIFF page cannot be decoded");
    return false;
  }
  if (grey)
    for (int i = 0; i < 256; i++)
      img.Palette()[i] = DibRgbQuad{(uint8_t)i, (uint8_t)i, (uint8_t)i, 0};
  img.m_nPhotometric = grey ? DIB_PHOTOMETRIC_MINISBLACK : DIB_PHOTOMETRIC_RGB;
  return true;
}

bool ReadPage(CDibImage &img, TIFF *tif)
{
  uint32_t w = 0, h = 0;
  uint16_t comp = 0, photo = 0;
  if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h) ||
      !TIFFGetField(tif, TIFFTAG_COMPRESSION, &comp) || !TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photo))
    return Fail("TIFF page lacks its size, compression or photometric tag");
  if (w == 0 || h == 0 || w > INT32_MAX || h > INT32_MAX)
    return Fail("TIFF page size is invalid");
  if (!CheckImagePixels(w, h))
    return false;
  uint16_t orientation = 1;
  TIFFGetField(tif, TIFFTAG_ORIENTATION, &orientation); // read, not applied
  uint16_t unit = 0;
  TIFFGetField(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
  float xres = 0, yres = 0;
  TIFFGetField(tif, TIFFTAG_XRESOLUTION, &xres);
  TIFFGetField(tif, TIFFTAG_YRESOLUTION, &yres);

  const bool ccitt =
      comp == COMPRESSION_CCITTRLE || comp == COMPRESSION_CCITTFAX3 || comp == COMPRESSION_CCITTFAX4;
  uint16_t bps = 0;
  if (!TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &bps))
  {
    if (!ccitt)
      return Fail("TIFF page lacks its bits per sample");
    bps = 1;
  }
  uint16_t spp = 0;
  if (TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &spp))
  {
    if (spp == 0)
      return Fail("TIFF page has no samples");
    if (spp >= 4 && photo == PHOTOMETRIC_SEPARATED)
    {
      uint16_t inkset = INKSET_CMYK;
      if (spp != 4 || (TIFFGetField(tif, TIFFTAG_INKSET, &inkset) && inkset != INKSET_CMYK))
        return Fail("Only CMYK separated TIFF pages are supported");
    }
  }
  else if (comp == COMPRESSION_NONE || comp == COMPRESSION_PACKBITS)
  {
    if ((photo != PHOTOMETRIC_MINISWHITE && photo != PHOTOMETRIC_MINISBLACK &&
         photo != PHOTOMETRIC_PALETTE) ||
        (bps != 4 && bps != 8))
      return Fail("TIFF page lacks its samples per pixel");
    spp = 1;
  }
  else if (ccitt)
    spp = 1;
  else
    return Fail("TIFF page lacks its samples per pixel");
  uint16_t format = SAMPLEFORMAT_UINT;
  if (TIFFGetField(tif, TIFFTAG_SAMPLEFORMAT, &format) && format != SAMPLEFORMAT_UINT)
    return Fail("Unsupported TIFF sample format");
  uint16_t planar = PLANARCONFIG_CONTIG;
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);

  // Choose how to read the page.
  Layout layout = Layout::Rgba;
  if (!TIFFIsTiled(tif))
  {
    bool index =
        photo == PHOTOMETRIC_MINISWHITE || photo == PHOTOMETRIC_MINISBLACK || photo == PHOTOMETRIC_PALETTE;
    bool wide = bps == 8 || bps == 16;
    if (index && (spp == 1 || (spp == 2 && wide && photo != PHOTOMETRIC_PALETTE)) &&
        (bps == 1 || bps == 2 || bps == 4 || bps == 8 || (bps == 16 && photo != PHOTOMETRIC_PALETTE)))
      layout = Layout::Index;
    else if (photo == PHOTOMETRIC_RGB && spp >= 3 && wide)
      layout = Layout::Rgb;
    else if (photo == PHOTOMETRIC_SEPARATED && spp == 4 && wide)
      layout = Layout::Cmyk;
  }
  if (layout == Layout::Index && photo == PHOTOMETRIC_PALETTE && spp != 1)
    return Fail("Unsupported TIFF palette layout");
  if (bps != 1 && bps != 2 && bps != 4 && bps != 8 && bps != 16)
    return Fail("Unsupported TIFF bits per sample");

  img.m_nXDpi = ResolutionDpi(xres, unit);
  img.m_nYDpi = ResolutionDpi(yres, unit);
  img.m_nResolutionUnit = unit;

  if (layout == Layout::Rgba)
  {
    bool grey = spp == 1 && (photo == PHOTOMETRIC_MINISWHITE || photo == PHOTOMETRIC_MINISBLACK);
    if (!ReadRgba(img, tif, w, h, grey))
      return false;
  }
  else
  {
    const int outBits = layout != Layout::Index ? 24 : bps == 2 ? 4 : bps == 16 ? 8 : bps;
    int64_t stride = DibStride(w, outBits);
    if (stride < 0)
      return Fail("Image too large");

    // Palette before the rows: a 1-bit palette page keeps its two colours.
    std::vector<DibRgbQuad> pal;
    if (photo == PHOTOMETRIC_PALETTE)
    {
      uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
      if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue)
        return Fail("TIFF palette page lacks its colour map");
      int n = 1 << bps;
      bool wideMap = false;
      for (int i = 0; i < n; i++)
        if (red[i] >= 256 || green[i] >= 256 || blue[i] >= 256)
          wideMap = true;
      int shift = wideMap ? 8 : 0;
      for (int i = 0; i < n; i++)
        pal.push_back(DibRgbQuad{(uint8_t)(blue[i] >> shift), (uint8_t)(green[i] >> shift),
                                 (uint8_t)(red[i] >> shift), 0});
    }
    else if (layout == Layout::Index)
    {
      int levels = 1 << (bps == 16 ? 8 : bps);
      for (int i = 0; i < levels; i++)
      {
        int v = i * 255 / (levels - 1);
        if (photo == PHOTOMETRIC_MINISWHITE)
          v = 255 - v;
        pal.push_back(DibRgbQuad{(uint8_t)v, (uint8_t)v, (uint8_t)v, 0});
      }
    }

    if (!img.CreateBlock((int)w, (int)h, outBits, DIB_ROWS_BOTTOMUP))
      return Fail("Image too large");
    for (size_t i = 0; i < pal.size() && (int)i < img.PaletteEntries(); i++)
      img.Palette()[i] = pal[i];

    tmsize_t lineSize = TIFFScanlineSize(tif);
    // Samples in one scanline: all of them, or one per plane.
    const int lineSpp = planar == PLANARCONFIG_SEPARATE ? 1 : spp;
    const uint64_t need = ((uint64_t)w * lineSpp * bps + 7) / 8;
    if (lineSize <= 0 || (uint64_t)lineSize < need)
      return Fail("TIFF scanline size is invalid");
    unsigned char *line = (unsigned char *)_TIFFmalloc(lineSize);
    if (!line)
      return Fail("Out of memory");
    // Planes read: one for index pages (alpha dropped), three for RGB, four
    // for CMYK; all from one scanline when the samples are interleaved.
    const int planes = planar != PLANARCONFIG_SEPARATE ? 1
                       : layout == Layout::Index       ? 1
                       : layout == Layout::Rgb         ? 3
                                                       : 4;
    bool ok = true;
    for (int plane = 0; ok && plane < planes; plane++)
      for (uint32_t r = 0; ok && r < h; r++)
      {
        if (TIFFReadScanline(tif, line, r, (uint16_t)plane) < 0)
        {
          ok = false;
          if (!g_szLastImageError[0])
            SetImageError("TIFF row %u cannot be decoded", r);
          break;
        }
        unsigned char *dst = img.Row((int)(h - 1 - r));
        switch (layout)
        {
        case Layout::Index:
          if (bps == 2)
            for (uint32_t x = 0; x < w; x++)
              SetIndex(dst, (int)x, 4, (line[x >> 2] >> (6 - 2 * (x & 3))) & 3);
          else if (bps < 8)
            std::memcpy(dst, line, (size_t)need);
          else
            for (uint32_t x = 0; x < w; x++)
              dst[x] = Sample8(line, x, lineSpp, 0, bps);
          break;
        case Layout::Rgb:
          if (planes == 1)
            for (uint32_t x = 0; x < w; x++)
            {
              dst[3 * x] = Sample8(line, x, spp, 2, bps);
              dst[3 * x + 1] = Sample8(line, x, spp, 1, bps);
              dst[3 * x + 2] = Sample8(line, x, spp, 0, bps);
            }
          else
            for (uint32_t x = 0; x < w; x++)
              dst[3 * x + 2 - plane] = Sample8(line, x, 1, 0, bps);
          break;
        case Layout::Cmyk:
          if (planes == 1)
            for (uint32_t x = 0; x < w; x++)
            {
              int c = Sample8(line, x, 4, 0, bps), m = Sample8(line, x, 4, 1, bps);
              int y = Sample8(line, x, 4, 2, bps), k = Sample8(line, x, 4, 3, bps);
              dst[3 * x] = (unsigned char)(y + k >= 256 ? 0 : 255 - (y + k));
              dst[3 * x + 1] = (unsigned char)(m + k >= 256 ? 0 : 255 - (m + k));
              dst[3 * x + 2] = (unsigned char)(c + k >= 256 ? 0 : 255 - (c + k));
            }
          else // separate planes: gather C, M, Y; K is applied with the last
            for (uint32_t x = 0; x < w; x++)
            {
              int v = Sample8(line, x, 1, 0, bps);
              if (plane < 3)
                dst[3 * x + 2 - plane] = (unsigned char)v;
              else
                for (int c = 0; c < 3; c++)
                {
                  int sum = dst[3 * x + c] + v;
                  dst[3 * x + c] = (unsigned char)(sum >= 256 ? 0 : 255 - sum);
                }
            }
          break;
        default:
          break;
        }
      }
    _TIFFfree(line);
    if (!ok)
      return false;
    img.m_nPhotometric = layout == Layout::Index ? (int)photo : (int)DIB_PHOTOMETRIC_RGB;
  }

  DibInfoHeader *hd = img.Header();
  hd->biXPelsPerMeter = ResolutionPpm(xres, unit);
  hd->biYPelsPerMeter = ResolutionPpm(yres, unit);
  img.m_nSourceBitsPerPixel = bps * spp;
  img.m_bGrey = img.IsGreyRamp();
  return true;
}

// Counts the pages of an open file, leaving it at its last directory read.
// A chain that loops back ends before the loop: the pages before it count,
// as with libtiff's tools and ImageMagick (libtiff only warns about the loop
// and refuses the directory). A directory that cannot be read for any other
// reason (an error), or too many pages, is damage.
int CountPages(TIFF *tif, bool *damaged)
{
  int count = 1;
  *damaged = false;
  while (!TIFFLastDirectory(tif))
  {
    const int errors = g_tiffErrors;
    if (count >= kMaxPages)
    {
      *damaged = true;
      break;
    }
    if (!TIFFReadDirectory(tif))
    {
      *damaged = g_tiffErrors != errors;
      break;
    }
    count++;
  }
  return count;
}

} // namespace

int TiffPageCount(const char *path)
{
  if (!path || !*path)
    return 0;
  TIFFSetErrorHandler(TiffErrorHook);
  TIFFSetWarningHandler(TiffMessageHandler);
  g_tiffErrors = 0;
  TIFF *tif = TIFFOpen(path, "r");
  if (!tif)
    return 0;
  bool damaged = false;
  const int count = CountPages(tif, &damaged);
  TIFFClose(tif);
  return damaged || g_tiffErrors > 0 ? 0 : count;
}

int CDibImage::LoadTiff(const char *path, int pageIndex, int headerKind)
{
  Reset();
  g_szLastImageError[0] = 0;
  if (headerKind != DIB_HEADER_INFO)
  {
    SetImageError("Unsupported bitmap header kind %d", headerKind);
    return 0;
  }
  if (!path || !*path)
  {
    SetImageError("No file name given");
    return 0;
  }
  TIFFSetErrorHandler(TiffErrorHook);
  TIFFSetWarningHandler(TiffMessageHandler);
  g_tiffErrors = 0;
  TIFF *tif = TIFFOpen(path, "r");
  if (!tif)
  {
    if (!g_szLastImageError[0])
      SetImageError("Cannot open %s", path);
    return 0;
  }
  int ok = 0;
  try
  {
    bool damaged = false;
    const int count = CountPages(tif, &damaged);
    if (damaged || g_tiffErrors > 0)
    {
      if (!g_szLastImageError[0] || count >= kMaxPages)
        SetImageError("TIFF directory chain is damaged");
    }
    else
    {
      g_szLastImageError[0] = 0;
      if (pageIndex < 0 || pageIndex >= count || !TIFFSetDirectory(tif, (tdir_t)pageIndex))
        TIFFSetDirectory(tif, 0);
      ok = ReadPage(*this, tif) ? 1 : 0;
      if (ok)
      {
        m_nPageCount = count;
        m_nPageIndex = pageIndex;
      }
    }
  }
  catch (...)
  {
    SetImageError("Out of memory");
    ok = 0;
  }
  TIFFClose(tif);
  if (!ok)
    Reset(); // the message stays
  return ok;
}

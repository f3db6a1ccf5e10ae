// BMP and binary PNM (P4, P5, P6) files: readers and writers of CDibImage.
//
// Both readers take the whole file into memory and parse it there, treating
// every field as hostile: sizes come from the headers and are checked
// against the bytes actually present before anything is allocated.
//
// BMP: Windows (40-byte), V2 to V5 (52 to 124 bytes) and OS/2 (12, 16 and
// 64-byte) headers; 1, 2, 4, 8, 16, 24 and 32 bits per pixel; RLE8 and RLE4
// run-length coding; bit-field masks. The record always gets a 40-byte
// header with a full palette: 2-bit images become 4-bit, 16 and 32-bit
// images become 24-bit. The file's row order is kept. The pixel-data offset
// is honoured when it points past the palette.
//
// PNM: P4, P5 and P6; a maximum value other than 255 (two-byte samples
// above 255) is scaled to 8 bits. The text forms P1 to P3 are refused.
#include "DibImage.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "DibImageInternal.h"
#include "ImageFiles.h"

namespace
{

uint16_t U16(const unsigned char *p)
{
  return (uint16_t)(p[0] | p[1] << 8);
}

uint32_t U32(const unsigned char *p)
{
  return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

void Put16(unsigned char *p, uint32_t v)
{
  p[0] = (unsigned char)v;
  p[1] = (unsigned char)(v >> 8);
}

void Put32(unsigned char *p, uint32_t v)
{
  for (int i = 0; i < 4; i++)
    p[i] = (unsigned char)(v >> (8 * i));
}

// One colour channel of a bit-field pixel, scaled to 0..255.
struct Channel
{
  uint32_t mask = 0;
  int shift = 0;
  uint64_t max = 0;

  explicit Channel(uint32_t m = 0) : mask(m)
  {
    if (!mask)
      return;
    while (!((mask >> shift) & 1))
      shift++;
    max = mask >> shift;
  }
  unsigned char operator()(uint32_t pixel) const
  {
    if (!max)
      return 0;
    uint64_t v = (pixel & mask) >> shift;
    return (unsigned char)((v * 255 + max / 2) / max);
  }
};

bool Fail(const char *message)
{
  SetImageError("%s", message);
  return false;
}

// Run-length decoding of RLE8 (bits 8) or RLE4 (bits 4) data into a
// bottom-up record of the same depth. Pixels of a run past its row's end
// are dropped, as other readers do: some encoders code the row padding as
// more pixels before the end-of-line. Data that would write above the top
// row or move past the image is refused, and the data must end with the
// end-of-bitmap code.
bool DecodeRle(CDibImage &img, const unsigned char *d, size_t n, int bits)
{
  const int w = img.m_nWidth, h = img.m_nHeight;
  int x = 0, y = 0;
  size_t p = 0;
  for (;;)
  {
    if (n - p < 2)
      return Fail("BMP run-length data ends before the end-of-bitmap code");
    unsigned count = d[p], value = d[p + 1];
    p += 2;
    if (count > 0)
    {
      if (y >= h)
        return Fail("BMP run-length data goes past the image");
      unsigned char *row = img.Row(y);
      for (unsigned i = 0; i < count && x < w; i++, x++)
        SetIndex(row, x, bits, bits == 8 ? value : (i & 1) ? value & 15 : value >> 4);
      continue;
    }
    if (value == 0) // end of line
    {
      x = 0;
      y++;
    }
    else if (value == 1) // end of bitmap
      return true;
    else if (value == 2) // delta
    {
      if (n - p < 2)
        return Fail("BMP run-length data ends before the end-of-bitmap code");
      x += d[p];
      y += d[p + 1];
      p += 2;
      if (x > w || y > h)
        return Fail("BMP run-length data goes past the image");
    }
    else // absolute run of value pixels, padded to a 16-bit boundary
    {
      size_t bytes = bits == 8 ? value : (value + 1) / 2;
      bytes += bytes & 1;
      if (n - p < bytes)
        return Fail("BMP run-length data ends before the end-of-bitmap code");
      if (y >= h)
        return Fail("BMP run-length data goes past the image");
      unsigned char *row = img.Row(y);
      for (unsigned i = 0; i < value && x < w; i++, x++)
        SetIndex(row, x, bits, bits == 8 ? d[p + i] : (i & 1) ? d[p + i / 2] & 15 : d[p + i / 2] >> 4);
      p += bytes;
    }
  }
}

bool DecodeBmp(CDibImage &img, const unsigned char *d, size_t n)
{
  if (n < 2 || d[0] != 'B' || d[1] != 'M')
    return Fail("Not a BMP file");
  if (n < 18)
    return Fail("BMP file is truncated");
  uint32_t fileSize = U32(d + 2), offBits = U32(d + 10), hs = U32(d + 14);
  if (fileSize == 0 || fileSize > n)
    return Fail("BMP file is truncated or its file size field is wrong");
  if (hs != 12 && hs != 16 && hs != 40 && hs != 52 && hs != 56 && hs != 64 && hs != 108 && hs != 124)
    return Fail("Unsupported BMP header size");
  if (n < 14 + (size_t)hs)
    return Fail("BMP file is truncated");
  const unsigned char *hd = d + 14;
  int64_t width, height;
  unsigned planes, bpp;
  uint32_t comp = 0, clrUsed = 0;
  int32_t xppm = 0, yppm = 0;
  if (hs == 12)
  {
    width = U16(hd + 4);
    height = U16(hd + 6);
    planes = U16(hd + 8);
    bpp = U16(hd + 10);
  }
  else
  {
    width = (int32_t)U32(hd + 4);
    height = (int32_t)U32(hd + 8);
    planes = U16(hd + 12);
    bpp = U16(hd + 14);
    if (hs >= 20)
      comp = U32(hd + 16);
    if (hs >= 40)
    {
      xppm = (int32_t)U32(hd + 24);
      yppm = (int32_t)U32(hd + 28);
      clrUsed = U32(hd + 32);
    }
  }
  if (planes != 1)
    return Fail("BMP plane count is not 1");
  if (width <= 0 || height == 0 || height == INT32_MIN)
    return Fail("BMP width or height is invalid");
  bool topDown = height < 0;
  if (topDown)
    height = -height;
  if (!CheckImagePixels(width, height))
    return false;
  if (bpp != 1 && bpp != 2 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
    return Fail("Unsupported BMP bit count");
  bool rle = comp == 1 || comp == 2;
  bool bitfields = comp == 3 || comp == 6;
  if (hs == 64 && comp >= 3) // OS/2 2.x: Huffman 1D and RLE24
    return Fail("Unsupported BMP compression");
  if (comp > 3 && comp != 6)
    return Fail("Unsupported BMP compression");
  if ((comp == 1 && bpp != 8) || (comp == 2 && bpp != 4) || (bitfields && bpp != 16 && bpp != 32))
    return Fail("BMP compression does not match its bit count");
  if (rle && topDown)
    return Fail("Top-down BMP files cannot be run-length coded");

  // Colour masks: in the header (V2 and later), else after a 40-byte header.
  size_t pos = 14 + (size_t)hs;
  uint32_t masks[3] = {0, 0, 0};
  if (bitfields)
  {
    const unsigned char *m;
    if (hs >= 52)
      m = hd + 40;
    else
    {
      size_t bytes = comp == 6 ? 16 : 12;
      if (hs != 40 || n - pos < bytes)
        return Fail("BMP bit-field masks are missing");
      m = d + pos;
      pos += bytes;
    }
    for (int i = 0; i < 3; i++)
      masks[i] = U32(m + 4 * i);
  }
  else if (bpp == 16)
  {
    masks[0] = 0x7C00;
    masks[1] = 0x03E0;
    masks[2] = 0x001F;
  }
  else if (bpp == 32)
  {
    masks[0] = 0xFF0000;
    masks[1] = 0xFF00;
    masks[2] = 0xFF;
  }

  // Palette: 3-byte entries after an OS/2 1.x header, else 4-byte.
  const size_t entrySize = hs == 12 ? 3 : 4;
  const uint32_t maxEntries = bpp <= 8 ? 1u << bpp : 0;
  uint64_t stored; // entries present in the file
  if (hs == 12)
  {
    stored = maxEntries;
    // A short OS/2 palette shows only through the pixel-data offset.
    if (offBits > pos && (offBits - pos) / 3 < stored)
      stored = (offBits - pos) / 3;
  }
  else
    stored = clrUsed ? clrUsed : maxEntries;
  if (stored > (n - pos) / entrySize)
    return Fail("BMP file is truncated");
  const unsigned char *pal = d + pos;
  uint32_t entries = (uint32_t)(stored < maxEntries ? stored : maxEntries);
  if (bpp <= 8 && entries == 0)
    return Fail("BMP palette is missing");
  size_t palEnd = pos + (size_t)stored * entrySize;

  size_t pixStart = palEnd;
  if (offBits > n)
    return Fail("BMP pixel data offset points past the end of the file");
  // Bytes between the palette and the offset are no pixels: reading rows
  // right after the palette would shift the picture by the gap.
  if (offBits > palEnd)
    pixStart = offBits;

  // Raw rows must all be present before anything is allocated.
  uint64_t inStride = (((uint64_t)bpp * (uint64_t)width + 31) / 32) * 4;
  if (!rle && inStride * (uint64_t)height > n - pixStart)
    return Fail("BMP file is truncated");
  int outBits = bpp == 2 ? 4 : bpp > 8 ? 24 : (int)bpp;
  int64_t outStride = DibStride(width, outBits);
  if (outStride < 0)
    return Fail("Image too large");
  if (!img.CreateBlock((int)width, (int)height, outBits, topDown ? DIB_ROWS_TOPDOWN : DIB_ROWS_BOTTOMUP))
    return Fail("Out of memory");

  DibRgbQuad *outPal = img.Palette();
  for (uint32_t i = 0; i < entries; i++)
  {
    outPal[i].rgbBlue = pal[i * entrySize];
    outPal[i].rgbGreen = pal[i * entrySize + 1];
    outPal[i].rgbRed = pal[i * entrySize + 2];
    outPal[i].rgbReserved = 0;
  }

  const int w = (int)width, h = (int)height;
  if (rle)
  {
    if (!DecodeRle(img, d + pixStart, n - pixStart, (int)bpp))
      return false;
  }
  else
  {
    Channel red(masks[0]), green(masks[1]), blue(masks[2]);
    for (int r = 0; r < h; r++)
    {
      const unsigned char *src = d + pixStart + (size_t)r * inStride;
      unsigned char *dst = img.Row(r);
      switch (bpp)
      {
      case 1:
      case 4:
      case 8:
      case 24:
        std::memcpy(dst, src, (size_t)img.m_nStride);
        break;
      case 2:
        for (int x = 0; x < w; x++)
          SetIndex(dst, x, 4, (src[x >> 2] >> (6 - 2 * (x & 3))) & 3);
        break;
      default: // 16 and 32 bits through the masks
        for (int x = 0; x < w; x++)
        {
          uint32_t px = bpp == 16 ? U16(src + 2 * x) : U32(src + 4 * x);
          dst[3 * x] = blue(px);
          dst[3 * x + 1] = green(px);
          dst[3 * x + 2] = red(px);
        }
        break;
      }
    }
  }

  // A pixel naming a palette entry the file does not have is damage.
  if (bpp <= 8 && entries < maxEntries)
  {
    int b = outBits;
    for (int r = 0; r < h; r++)
    {
      const unsigned char *row = img.Row(r);
      for (int x = 0; x < w; x++)
        if (GetIndex(row, x, b) >= entries)
          return Fail("BMP pixel refers to a missing palette entry");
    }
  }

  DibInfoHeader *hdr = img.Header();
  hdr->biXPelsPerMeter = xppm;
  hdr->biYPelsPerMeter = yppm;
  img.DpiFromHeader();
  img.m_nSourceBitsPerPixel = (int)bpp;
  img.m_nResolutionUnit = DIB_RESUNIT_INCH;
  img.m_bGrey = img.IsGreyRamp();
  if (!img.m_bGrey)
    img.m_nPhotometric = outBits <= 8 ? DIB_PHOTOMETRIC_PALETTE : DIB_PHOTOMETRIC_RGB;
  img.m_nPageCount = 1;
  return true;
}

// ---------------------------------------------------------------------------
// PNM

// Skips blanks and comments, then reads a decimal number and consumes the
// character after it (a "#" there starts a comment, skipped to the line end).
bool PnmNumber(const unsigned char *d, size_t n, size_t &p, uint32_t &value)
{
  for (;;)
  {
    if (p >= n)
      return false;
    unsigned char c = d[p];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
      p++;
    else if (c == '#')
    {
      while (p < n && d[p] != '\r' && d[p] != '\n')
        p++;
      if (p >= n)
        return false;
    }
    else
      break;
  }
  if (d[p] < '0' || d[p] > '9')
    return false;
  uint64_t v = 0;
  while (p < n && d[p] >= '0' && d[p] <= '9')
  {
    v = v * 10 + (uint64_t)(d[p++] - '0');
    if (v > INT32_MAX)
      return false;
  }
  value = (uint32_t)v;
  if (p < n)
  {
    if (d[p] == '#')
    {
      while (p < n && d[p] != '\r' && d[p] != '\n')
        p++;
    }
    p++;
  }
  return true;
}

bool DecodePnm(CDibImage &img, const unsigned char *d, size_t n)
{
  if (n < 2 || d[0] != 'P' || d[1] < '1' || d[1] > '6')
    return Fail("Not a PBM, PGM or PPM file");
  if (d[1] <= '3')
    return Fail("Plain (text) PBM, PGM and PPM files are not supported");
  const int kind = d[1] - '0';
  size_t p = 2;
  uint32_t width = 0, height = 0, maxval = 1;
  if (!PnmNumber(d, n, p, width) || !PnmNumber(d, n, p, height) || (kind != 4 && !PnmNumber(d, n, p, maxval)))
    return Fail("PNM header is damaged");
  if (width == 0 || height == 0)
    return Fail("PNM width or height is invalid");
  if (!CheckImagePixels(width, height))
    return false;
  if (maxval == 0 || maxval > 65535)
    return Fail("PNM maximum value is invalid");
  const int bits = kind == 4 ? 1 : kind == 5 ? 8 : 24;
  const uint64_t bytesPerSample = maxval > 255 ? 2 : 1;
  const uint64_t rowBytes =
      kind == 4 ? ((uint64_t)width + 7) / 8 : (uint64_t)width * (kind == 6 ? 3 : 1) * bytesPerSample;
  if (p > n || rowBytes * height > n - p)
    return Fail("PNM file is truncated");
  int64_t stride = DibStride(width, bits);
  if (stride < 0)
    return Fail("Image too large");
  if (!img.CreateBlock((int)width, (int)height, bits, DIB_ROWS_BOTTOMUP))
    return Fail("Out of memory");

  // Samples are scaled by the maximum value: taking a 0..15 greymap as
  // 0..255 would show it nearly black.
  auto sample = [&](const unsigned char *s) -> unsigned char
  {
    uint32_t v = bytesPerSample == 2 ? (uint32_t)(s[0] << 8 | s[1]) : s[0];
    if (maxval == 255)
      return (unsigned char)v;
    if (v > maxval)
      v = maxval;
    return (unsigned char)((v * 255 + maxval / 2) / maxval);
  };

  DibRgbQuad *pal = img.Palette();
  for (uint32_t r = 0; r < height; r++)
  {
    const unsigned char *src = d + p + r * rowBytes;
    unsigned char *dst = img.Row((int)(height - 1 - r));
    if (kind == 4)
      std::memcpy(dst, src, (size_t)rowBytes);
    else if (kind == 5)
      for (uint32_t x = 0; x < width; x++)
        dst[x] = sample(src + x * bytesPerSample);
    else
      for (uint32_t x = 0; x < width; x++)
      {
        const unsigned char *s = src + 3 * x * bytesPerSample;
        dst[3 * x] = sample(s + 2 * bytesPerSample);
        dst[3 * x + 1] = sample(s + bytesPerSample);
        dst[3 * x + 2] = sample(s);
      }
  }
  if (kind == 4)
  {
    pal[0] = DibRgbQuad{255, 255, 255, 0};
    pal[1] = DibRgbQuad{0, 0, 0, 0};
    img.m_nPhotometric = DIB_PHOTOMETRIC_MINISWHITE;
  }
  else if (kind == 5)
  {
    for (int i = 0; i < 256; i++)
      pal[i] = DibRgbQuad{(uint8_t)i, (uint8_t)i, (uint8_t)i, 0};
    img.m_nPhotometric = DIB_PHOTOMETRIC_MINISBLACK;
    img.m_bGrey = img.IsGreyRamp();
  }
  else
    img.m_nPhotometric = DIB_PHOTOMETRIC_RGB;
  img.m_nSourceBitsPerPixel = kind == 4 ? 1 : (int)(bits * bytesPerSample);
  img.m_nPageCount = 1;
  return true;
}

template <class Decode> int LoadWith(CDibImage &img, const char *path, int headerKind, Decode decode)
{
  img.Reset();
  if (headerKind != DIB_HEADER_INFO)
  {
    SetImageError("Unsupported bitmap header kind %d", headerKind);
    return 0;
  }
  try
  {
    std::vector<unsigned char> data;
    if (!ReadImageFile(path, data))
      return 0;
    if (decode(img, data.data(), data.size()))
      return 1;
  }
  catch (...)
  {
    SetImageError("Out of memory");
  }
  img.Reset();
  return 0;
}

bool ValidForWriting(const CDibImage &img)
{
  if (!img.m_pBlock)
  {
    SetImageError("No image to save");
    return false;
  }
  int b = img.m_nBitsPerPixel;
  if (b != 1 && b != 4 && b != 8 && b != 24)
  {
    SetImageError("Cannot save an image of %d bits per pixel", b);
    return false;
  }
  return true;
}

} // namespace

// ---------------------------------------------------------------------------

int CDibImage::LoadBmp(const char *path, int headerKind)
{
  return LoadWith(*this, path, headerKind, DecodeBmp);
}

int CDibImage::LoadPnm(const char *path, int headerKind)
{
  return LoadWith(*this, path, headerKind, DecodePnm);
}

int CDibImage::SaveBmp(const char *path)
{
  if (!ValidForWriting(*this))
    return 0;
  const uint32_t palSize = (uint32_t)m_nPaletteSize, pixSize = (uint32_t)m_nPixelSize;
  unsigned char head[54] = {};
  head[0] = 'B';
  head[1] = 'M';
  Put32(head + 2, 54 + palSize + pixSize);
  Put32(head + 10, 54 + palSize);
  unsigned char *info = head + 14;
  const int entries = PaletteEntries();
  const int32_t signedHeight = m_nRowOrder == DIB_ROWS_TOPDOWN ? -m_nHeight : m_nHeight;
  if (m_nHeaderKind == DIB_HEADER_INFO)
  {
    // The stored header, made a valid 40-byte header that matches the rows.
    std::memcpy(info, m_pBlock, 40);
    uint32_t clrUsed = U32(info + 32);
    if (m_nBitsPerPixel > 8 || clrUsed > (uint32_t)entries)
      Put32(info + 32, 0);
  }
  else
  {
    Put32(info + 24, (uint32_t)DpiToPixelsPerMeter(m_nXDpi));
    Put32(info + 28, (uint32_t)DpiToPixelsPerMeter(m_nYDpi));
    Put32(info + 32, entries < (1 << m_nBitsPerPixel) && m_nBitsPerPixel <= 8 ? (uint32_t)entries : 0);
    Put32(info + 36, 0);
  }
  Put32(info, 40);
  Put32(info + 4, (uint32_t)m_nWidth);
  Put32(info + 8, (uint32_t)signedHeight);
  Put16(info + 12, 1);
  Put16(info + 14, (uint32_t)m_nBitsPerPixel);
  Put32(info + 16, 0);
  Put32(info + 20, pixSize);

  CSafeFile out;
  FILE *fp = out.Open(path);
  if (!fp)
    return 0;
  if (!WriteAll(fp, head, sizeof head) || !WriteAll(fp, m_pBlock + m_nPaletteOffset, palSize) ||
      !WriteAll(fp, m_pBlock + m_nPixelOffset, pixSize))
  {
    SetImageError("Cannot write %s", path);
    return 0;
  }
  return out.Commit() ? 1 : 0;
}

int CDibImage::SavePnm(const char *path)
{
  if (!ValidForWriting(*this))
    return 0;
  if (m_nRowOrder != DIB_ROWS_TOPDOWN && !FlipRows(0))
  {
    SetImageError("Cannot reorder the rows");
    return 0;
  }
  CSafeFile out;
  FILE *fp = out.Open(path);
  if (!fp)
    return 0;
  const int w = m_nWidth, h = m_nHeight;
  bool ok = true;
  std::vector<unsigned char> line;
  try
  {
    switch (m_nBitsPerPixel)
    {
    case 1:
    {
      if (m_nPhotometric == DIB_PHOTOMETRIC_MINISWHITE)
        InvertGrey();
      const DibRgbQuad *pal = Palette();
      bool whiteZero = pal[0].rgbRed == 255 && pal[0].rgbGreen == 255 && pal[0].rgbBlue == 255;
      ok = std::fprintf(fp, "P4\n%d %d\n", w, h) > 0;
      size_t bytes = ((size_t)w + 7) / 8;
      line.resize(bytes);
      for (int r = 0; ok && r < h; r++)
      {
        const unsigned char *row = Row(r);
        for (size_t i = 0; i < bytes; i++)
          line[i] = whiteZero ? row[i] : (unsigned char)~row[i];
        ok = WriteAll(fp, line.data(), bytes);
      }
      break;
    }
    case 4:
    {
      unsigned char *copy = ExpandDepth(24);
      if (!copy)
      {
        SetImageError("Out of memory");
        return 0;
      }
      size_t stride = (size_t)DibStride(w, 24);
      const unsigned char *rows = copy + 40; // a 24-bit block has no palette
      ok = std::fprintf(fp, "P6\n%d %d\n255\n", w, h) > 0;
      line.resize((size_t)w * 3);
      for (int r = 0; ok && r < h; r++)
      {
        const unsigned char *row = rows + (size_t)r * stride;
        for (int x = 0; x < w; x++)
        {
          line[3 * x] = row[3 * x + 2];
          line[3 * x + 1] = row[3 * x + 1];
          line[3 * x + 2] = row[3 * x];
        }
        ok = WriteAll(fp, line.data(), line.size());
      }
      std::free(copy);
      break;
    }
    case 8:
      if (m_bGrey)
      {
        if (m_nPhotometric == DIB_PHOTOMETRIC_MINISWHITE)
          InvertGrey();
        ok = std::fprintf(fp, "P5\n%d %d\n255\n", w, h) > 0;
        for (int r = 0; ok && r < h; r++)
          ok = WriteAll(fp, Row(r), (size_t)w);
      }
      else
      {
        unsigned char *rgb = PaletteToRgb();
        if (!rgb)
        {
          SetImageError("Out of memory");
          return 0;
        }
        size_t stride = (size_t)DibStride(w, 24);
        ok = std::fprintf(fp, "P6\n%d %d\n255\n", w, h) > 0;
        for (int r = 0; ok && r < h; r++)
          ok = WriteAll(fp, rgb + (size_t)r * stride, (size_t)w * 3);
        std::free(rgb);
      }
      break;
    default: // 24
    {
      ok = std::fprintf(fp, "P6\n%d %d\n255\n", w, h) > 0;
      line.resize((size_t)w * 3);
      const bool bgr = m_nChannelOrder != DIB_CHANNELS_RGB;
      for (int r = 0; ok && r < h; r++)
      {
        const unsigned char *row = Row(r);
        if (bgr)
          for (int x = 0; x < w; x++)
          {
            line[3 * x] = row[3 * x + 2];
            line[3 * x + 1] = row[3 * x + 1];
            line[3 * x + 2] = row[3 * x];
          }
        else
          std::memcpy(line.data(), row, line.size());
        ok = WriteAll(fp, line.data(), line.size());
      }
      break;
    }
    }
  }
  catch (const std::bad_alloc &)
  {
    SetImageError("Out of memory");
    return 0;
  }
  if (!ok)
  {
    SetImageError("Cannot write %s", path);
    return 0;
  }
  return out.Commit() ? 1 : 0;
}

// Conversions of the record for the Image API: grey rows, deeper copies,
// palette colour to RGB rows, the pixel-image description and the run mask.
#include <cstdlib>
#include <cstring>

#include "DibImage.h"
#include "DibImageInternal.h"

namespace
{

inline unsigned char GreyOf(unsigned red, unsigned green, unsigned blue)
{
  return (unsigned char)((77 * red + 151 * green + 29 * blue) >> 8);
}

bool Entry0IsWhite(const CDibImage &image)
{
  const DibRgbQuad *p = image.Palette();
  return image.PaletteEntries() > 0 && p[0].rgbRed == 255 && p[0].rgbGreen == 255 && p[0].rgbBlue == 255;
}

bool ValidDepth(int bits)
{
  return bits == 1 || bits == 4 || bits == 8 || bits == 24;
}

} // namespace

unsigned char *CDibImage::ToGray8(size_t prefix) const
{
  if (!m_pBlock || m_bGrey || !ValidDepth(m_nBitsPerPixel))
    return nullptr;
  int64_t stride = DibStride(m_nWidth, 8);
  if (stride < 0)
    return nullptr;
  uint64_t size = (uint64_t)stride * (uint64_t)m_nHeight;
  if (size > SIZE_MAX - prefix)
    return nullptr;
  unsigned char *block = static_cast<unsigned char *>(std::calloc(1, prefix + (size_t)size));
  if (!block)
    return nullptr;
  const int bits = m_nBitsPerPixel;
  unsigned char lut[256] = {0};
  if (bits == 1)
  {
    bool white0 = Entry0IsWhite(*this);
    lut[1] = white0 ? 0 : 255;
    lut[0] = white0 ? 255 : 0;
  }
  else if (bits <= 8)
  {
    const DibRgbQuad *p = Palette();
    int n = PaletteEntries();
    for (int i = 0; i < n && i < 256; i++)
      lut[i] = GreyOf(p[i].rgbRed, p[i].rgbGreen, p[i].rgbBlue);
  }
  const int r = m_nChannelOrder == DIB_CHANNELS_RGB ? 0 : 2, b = 2 - r;
  for (int y = 0; y < m_nHeight; y++)
  {
    const unsigned char *src = Row(y);
    unsigned char *dst = block + prefix + (size_t)y * (size_t)stride;
    if (bits == 24)
      for (int x = 0; x < m_nWidth; x++, src += 3)
        dst[x] = GreyOf(src[r], src[1], src[b]);
    else
      for (int x = 0; x < m_nWidth; x++)
        dst[x] = lut[GetIndex(src, x, bits)];
  }
  return block;
}

unsigned char *CDibImage::ExpandDepth(int target, size_t *blockSize) const
{
  const int bits = m_nBitsPerPixel;
  if (!m_pBlock || bits > 8 || target <= bits || (target != 4 && target != 8 && target != 24) ||
      (bits != 1 && bits != 4 && bits != 8))
    return nullptr;
  DibLayout layout;
  if (!ComputeDibLayout(m_nWidth, m_nHeight, target, layout))
    return nullptr;
  unsigned char *block = static_cast<unsigned char *>(std::calloc(1, layout.total));
  if (!block)
    return nullptr;
  std::memcpy(block, m_pBlock, 40);
  DibRgbQuad *newPalette = reinterpret_cast<DibRgbQuad *>(block + 40);
  const DibRgbQuad *palette = Palette();
  int entries = PaletteEntries();
  if (entries > (1 << bits))
    entries = 1 << bits;
  if (target <= 8)
    std::memcpy(newPalette, palette, (size_t)entries * 4);
  unsigned char *pixels = block + 40 + layout.palette;
  for (int y = 0; y < m_nHeight; y++)
  {
    const unsigned char *src = Row(y);
    unsigned char *dst = pixels + (size_t)y * (size_t)layout.stride;
    for (int x = 0; x < m_nWidth; x++)
    {
      unsigned index = GetIndex(src, x, bits);
      if (target <= 8)
        SetIndex(dst, x, target, index);
      else if ((int)index < entries)
      {
        dst[3 * x] = palette[index].rgbBlue;
        dst[3 * x + 1] = palette[index].rgbGreen;
        dst[3 * x + 2] = palette[index].rgbRed;
      }
    }
  }
  DibInfoHeader *h = reinterpret_cast<DibInfoHeader *>(block);
  h->biBitCount = (uint16_t)target;
  h->biSizeImage = (uint32_t)layout.pixels;
  h->biXPelsPerMeter = 0;
  h->biYPelsPerMeter = 0;
  h->biClrUsed = 0;
  h->biClrImportant = 0;
  if (blockSize)
    *blockSize = layout.total;
  return block;
}

unsigned char *CDibImage::PaletteToRgb() const
{
  if (!m_pBlock || m_nBitsPerPixel != 8)
    return nullptr;
  int64_t stride = DibStride(m_nWidth, 24);
  if (stride < 0)
    return nullptr;
  uint64_t size = (uint64_t)stride * (uint64_t)m_nHeight;
  if (size > SIZE_MAX)
    return nullptr;
  unsigned char *rows = static_cast<unsigned char *>(std::calloc(1, (size_t)size));
  if (!rows)
    return nullptr;
  const DibRgbQuad *palette = Palette();
  const int entries = PaletteEntries();
  for (int y = 0; y < m_nHeight; y++)
  {
    const unsigned char *src = Row(y);
    unsigned char *dst = rows + (size_t)y * (size_t)stride;
    for (int x = 0; x < m_nWidth; x++, dst += 3)
    {
      int i = src[x];
      if (i >= entries)
        continue;
      dst[0] = palette[i].rgbRed;
      dst[1] = palette[i].rgbGreen;
      dst[2] = palette[i].rgbBlue;
    }
  }
  return rows;
}

int CDibImage::FillPixelImage(djvu_pixel_image *image, unsigned char **converted) const
{
  if (converted)
    *converted = nullptr;
  if (!image || !converted || !m_pBlock || !ValidDepth(m_nBitsPerPixel))
    return 0;
  std::memset(image, 0, sizeof *image);
  image->w = m_nWidth;
  image->h = m_nHeight;
  image->xdpi = m_nXDpi;
  image->ydpi = m_nYDpi;
  image->flags = m_nRowOrder == DIB_ROWS_BOTTOMUP ? DJVU_BOTTOMUP : DJVU_TOPDOWN;
  if (m_nXDpi > 0 && m_nYDpi > 0)
    image->flags |= DJVU_HAS_DPI;
  switch (m_nBitsPerPixel)
  {
  case 1:
    *converted = ToGray8(0);
    if (!*converted)
      return 0;
    image->data = *converted;
    image->pixsize = 1;
    image->rowsize = (int32_t)DibStride(m_nWidth, 8);
    image->flags |= DJVU_GRAY;
    break;
  case 4:
  {
    *converted = ExpandDepth(24);
    if (!*converted)
      return 0;
    image->data = *converted;
    image->offset = 40;
    image->pixsize = 3;
    image->rowsize = (int32_t)DibStride(m_nWidth, 24);
    image->flags |= DJVU_BGR;
    break;
  }
  case 8:
    if (m_bGrey)
    {
      image->data = m_pBlock;
      image->offset = m_nPixelOffset;
      image->rowsize = m_nStride;
      image->pixsize = 1;
      image->flags |= DJVU_GRAY;
    }
    else
    {
      *converted = PaletteToRgb();
      if (!*converted)
        return 0;
      image->data = *converted;
      image->pixsize = 3;
      image->rowsize = (int32_t)DibStride(m_nWidth, 24);
      image->flags |= DJVU_RGB;
    }
    break;
  default:
    image->data = m_pBlock;
    image->offset = m_nPixelOffset;
    image->rowsize = m_nStride;
    image->pixsize = 3;
    image->flags |= m_nChannelOrder == DIB_CHANNELS_RGB ? DJVU_RGB : DJVU_BGR;
    break;
  }
  return 1;
}

djvu_run_image *CDibImage::MakeRuns() const
{
  if (!m_pBlock || m_nBitsPerPixel != 1 || m_nWidth <= 0 || m_nHeight <= 0)
    return nullptr;
  const uint64_t pixels = (uint64_t)m_nWidth * (uint64_t)m_nHeight;
  if (pixels > INT32_MAX) // count must fit the record's 32-bit field
    return nullptr;
  size_t capacity = (size_t)(pixels / 40);
  size_t grow = (size_t)(pixels / 80);
  if (capacity < 1)
    capacity = 1;
  if (grow < 1)
    grow = 1;
  unsigned char *runs = static_cast<unsigned char *>(djvu_malloc(capacity));
  djvu_run_image *image = static_cast<djvu_run_image *>(djvu_calloc(1, sizeof(djvu_run_image)));
  if (!runs || !image)
  {
    djvu_free(runs);
    djvu_free(image);
    return nullptr;
  }
  // A set bit is black when palette entry 0 is white, otherwise a clear one.
  const unsigned blackBit = Entry0IsWhite(*this) ? 1 : 0;
  size_t count = 0;
  int runBlack = -1, runLength = 0;
  auto emit = [&]() -> bool
  {
    if (count == capacity)
    {
      unsigned char *bigger = static_cast<unsigned char *>(djvu_realloc(runs, capacity + grow));
      if (!bigger)
        return false;
      runs = bigger;
      capacity += grow;
    }
    runs[count++] = (unsigned char)((runBlack ? 0x00 : 0x80) | (runLength - 1));
    return true;
  };
  for (int y = 0; y < m_nHeight; y++)
  {
    const unsigned char *row = Row(y);
    for (int x = 0; x < m_nWidth; x++)
    {
      int black = GetIndex(row, x, 1) == blackBit;
      if (black != runBlack || runLength == 128)
      {
        if (runLength > 0 && !emit())
        {
          djvu_free(runs);
          djvu_free(image);
          return nullptr;
        }
        runBlack = black;
        runLength = 0;
      }
      runLength++;
    }
  }
  if (runLength > 0 && !emit())
  {
    djvu_free(runs);
    djvu_free(image);
    return nullptr;
  }
  image->width = m_nWidth;
  image->height = m_nHeight;
  image->count = (int32_t)count;
  image->data = runs;
  image->xdpi = m_nXDpi;
  image->ydpi = m_nYDpi;
  image->runtype = 0;
  return image;
}

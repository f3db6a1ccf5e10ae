// Pixel operations on the image record: the orientation primitives F (flip
// stored rows), M (mirror each row) and T (transpose) with the code that
// records their composition, negative and grey polarity, conversion to grey,
// crop, clearing a rectangle, pasting, and resampling.
//
// The orientation code describes the picture as a bottom-up record would see
// it, so a re-rendered (bottom-up) page can re-apply it. F and M mean the same
// picture change in both row orders; T is carried out so that it too means the
// same picture change on a top-down record.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "DibImage.h"
#include "DibImageInternal.h"

namespace
{

enum
{
  PRIM_F = 0,
  PRIM_M = 1,
  PRIM_T = 2
};

// New code after applying F, M or T to a picture of the row's code.
const int kCompose[8][3] = {
    {4, 5, 7}, {6, 7, 4}, {7, 6, 5}, {5, 4, 6}, {0, 3, 1}, {3, 0, 2}, {1, 2, 3}, {2, 1, 0},
};

// The primitives that re-create each code, in order; -1 ends.
const int kRecipe[8][4] = {
    {-1, -1, -1, -1},     {PRIM_T, PRIM_M, -1, -1}, {PRIM_T, PRIM_F, -1, -1},     {PRIM_F, PRIM_M, -1, -1},
    {PRIM_F, -1, -1, -1}, {PRIM_M, -1, -1, -1},     {PRIM_T, PRIM_M, PRIM_F, -1}, {PRIM_T, -1, -1, -1},
};

bool ValidDepth(int bits)
{
  return bits == 1 || bits == 4 || bits == 8 || bits == 24;
}

bool Usable(const CDibImage &image)
{
  return image.m_pBlock && ValidDepth(image.m_nBitsPerPixel) && image.m_nWidth > 0 && image.m_nHeight > 0;
}

// Bytes of a row that hold pixels (the rest is padding).
size_t UsedRowBytes(const CDibImage &image)
{
  return ((size_t)image.m_nBitsPerPixel * (size_t)image.m_nWidth + 7) / 8;
}

void FreeDocument(CDibImage &image)
{
  ReleaseImageDocument(image.m_pDocument);
  image.m_pDocument = nullptr;
}

} // namespace

int CDibImage::ComposeOrientation(int code, int primitive)
{
  if (code < 0 || code > 7 || primitive < 0 || primitive > 2)
    return -1;
  return kCompose[code][primitive];
}

int CDibImage::FlipRows(int edit)
{
  if (!Usable(*this))
    return 0;
  for (int i = 0; i < m_nHeight / 2; i++)
    std::swap_ranges(Row(i), Row(i) + m_nStride, Row(m_nHeight - 1 - i));
  if (edit)
    m_nOrientation = kCompose[m_nOrientation & 7][PRIM_F];
  else
  {
    m_nRowOrder = m_nRowOrder == DIB_ROWS_TOPDOWN ? DIB_ROWS_BOTTOMUP : DIB_ROWS_TOPDOWN;
    if (m_nHeaderKind == DIB_HEADER_INFO)
      Header()->biHeight = m_nRowOrder == DIB_ROWS_TOPDOWN ? -m_nHeight : m_nHeight;
  }
  return 1;
}

int CDibImage::Mirror()
{
  if (!Usable(*this))
    return 0;
  const int bits = m_nBitsPerPixel, w = m_nWidth;
  unsigned char *tmp = static_cast<unsigned char *>(std::malloc((size_t)m_nStride));
  if (!tmp)
    return 0;
  for (int y = 0; y < m_nHeight; y++)
  {
    unsigned char *row = Row(y);
    std::memcpy(tmp, row, (size_t)m_nStride);
    for (int x = 0; x < w; x++)
      CopyPixel(row, x, tmp, w - 1 - x, bits);
  }
  std::free(tmp);
  m_nOrientation = kCompose[m_nOrientation & 7][PRIM_M];
  return 1;
}

int CDibImage::Transpose()
{
  if (!Usable(*this))
    return 0;
  const int bits = m_nBitsPerPixel, w = m_nWidth, h = m_nHeight;
  DibLayout layout;
  if (!ComputeDibLayout(h, w, bits, layout))
    return 0;
  unsigned char *block = static_cast<unsigned char *>(std::calloc(1, layout.total));
  if (!block)
    return 0;
  std::memcpy(block, m_pBlock, (size_t)40 + m_nPaletteSize);
  unsigned char *pixels = block + 40 + layout.palette;
  // Bottom-up rows: new (i, j) = old (j, i), the transpose of the stored
  // rows. Top-down rows: the same picture change, new (i, j) = old (h-1-j,
  // w-1-i).
  // Tiles keep the column reads within the cache.
  const bool topDown = m_nRowOrder == DIB_ROWS_TOPDOWN;
  const int tile = 64;
  for (int i0 = 0; i0 < w; i0 += tile)
    for (int j0 = 0; j0 < h; j0 += tile)
      for (int i = i0; i < w && i < i0 + tile; i++)
      {
        unsigned char *dst = pixels + (size_t)i * (size_t)layout.stride;
        const int sx = topDown ? w - 1 - i : i;
        for (int j = j0; j < h && j < j0 + tile; j++)
          CopyPixel(dst, j, Row(topDown ? h - 1 - j : j), sx, bits);
      }
  std::swap(m_nSourceWidth, m_nSourceHeight);
  std::swap(m_nXDpi, m_nYDpi);
  int32_t xppm = Header()->biXPelsPerMeter;
  AdoptDibBlock(*this, block, h, w, bits, layout);
  Header()->biXPelsPerMeter = Header()->biYPelsPerMeter;
  Header()->biYPelsPerMeter = xppm;
  m_nOrientation = kCompose[m_nOrientation & 7][PRIM_T];
  return 1;
}

int CDibImage::RotateLeft()
{
  return Transpose() && Mirror();
}

int CDibImage::RotateRight()
{
  return Transpose() && FlipRows(1);
}

int CDibImage::Rotate180()
{
  return Mirror() && FlipRows(1);
}

int CDibImage::ApplyOrientation(int code)
{
  if (code < 0 || code > 7)
    return 0;
  for (int k = 0; k < 4 && kRecipe[code][k] >= 0; k++)
  {
    int ok = 0;
    switch (kRecipe[code][k])
    {
    case PRIM_F:
      ok = FlipRows(1);
      break;
    case PRIM_M:
      ok = Mirror();
      break;
    default:
      ok = Transpose();
      break;
    }
    if (!ok)
      return 0;
  }
  return 1;
}

int CDibImage::Negative()
{
  if (!Usable(*this))
    return 0;
  if (m_nPaletteSize > 0)
  {
    DibRgbQuad *p = Palette();
    for (int i = 0; i < PaletteEntries(); i++)
    {
      p[i].rgbBlue = (uint8_t)~p[i].rgbBlue;
      p[i].rgbGreen = (uint8_t)~p[i].rgbGreen;
      p[i].rgbRed = (uint8_t)~p[i].rgbRed;
    }
    m_bGrey = IsGreyRamp();
  }
  else
  {
    unsigned char *bits = Bits();
    for (int32_t i = 0; i < m_nPixelSize; i++)
      bits[i] = (unsigned char)~bits[i];
  }
  m_bNegative = !m_bNegative;
  return 1;
}

int CDibImage::InvertGrey()
{
  if (!Usable(*this) || !(m_nBitsPerPixel == 1 || (m_nBitsPerPixel == 8 && m_bGrey)) ||
      (m_nPhotometric != DIB_PHOTOMETRIC_MINISWHITE && m_nPhotometric != DIB_PHOTOMETRIC_MINISBLACK))
    return 0;
  DibRgbQuad *p = Palette();
  for (int i = 0; i < PaletteEntries(); i++)
  {
    p[i].rgbBlue = (uint8_t)~p[i].rgbBlue;
    p[i].rgbGreen = (uint8_t)~p[i].rgbGreen;
    p[i].rgbRed = (uint8_t)~p[i].rgbRed;
  }
  const size_t used = UsedRowBytes(*this);
  for (int y = 0; y < m_nHeight; y++)
  {
    unsigned char *row = Row(y);
    for (size_t i = 0; i < used; i++)
      row[i] = (unsigned char)~row[i];
  }
  m_nPhotometric =
      m_nPhotometric == DIB_PHOTOMETRIC_MINISWHITE ? DIB_PHOTOMETRIC_MINISBLACK : DIB_PHOTOMETRIC_MINISWHITE;
  return 1;
}

int CDibImage::ConvertToGray()
{
  // Remembered apart from m_bGrey: a page rendered grey (a DjVu mask layer)
  // is shown in colour again when another layer is rendered.
  if (m_bGrey && m_nBitsPerPixel == 8)
    return m_bGreyConverted = 1;
  if (!Usable(*this))
    return 0;
  DibLayout layout;
  if (!ComputeDibLayout(m_nWidth, m_nHeight, 8, layout))
    return 0;
  unsigned char *block = ToGray8((size_t)40 + (size_t)layout.palette);
  if (!block)
    return 0;
  std::memcpy(block, m_pBlock, 40);
  DibRgbQuad *palette = reinterpret_cast<DibRgbQuad *>(block + 40);
  for (int i = 0; i < 256; i++)
    palette[i] = DibRgbQuad{(uint8_t)i, (uint8_t)i, (uint8_t)i, 0};
  AdoptDibBlock(*this, block, m_nWidth, m_nHeight, 8, layout);
  Header()->biClrUsed = 0;
  Header()->biClrImportant = 0;
  m_nPhotometric = DIB_PHOTOMETRIC_MINISBLACK;
  m_bGrey = 1;
  m_bGreyConverted = 1;
  return 1;
}

int CDibImage::Crop(int left, int top, int right, int bottom)
{
  if (!Usable(*this) || left < 0 || top < 0 || right < left || bottom < top || right >= m_nWidth ||
      bottom >= m_nHeight)
    return 0;
  const int bits = m_nBitsPerPixel;
  const int w = right - left + 1, h = bottom - top + 1;
  const int firstRow = m_nRowOrder == DIB_ROWS_TOPDOWN ? top : m_nHeight - 1 - bottom;
  DibLayout layout;
  if (!ComputeDibLayout(w, h, bits, layout))
    return 0;
  unsigned char *block = static_cast<unsigned char *>(std::calloc(1, layout.total));
  if (!block)
    return 0;
  std::memcpy(block, m_pBlock, (size_t)40 + m_nPaletteSize);
  unsigned char *pixels = block + 40 + layout.palette;
  for (int j = 0; j < h; j++)
  {
    const unsigned char *src = Row(firstRow + j);
    unsigned char *dst = pixels + (size_t)j * (size_t)layout.stride;
    if (bits >= 8)
      std::memcpy(dst, src + (size_t)left * (bits / 8), (size_t)w * (bits / 8));
    else
      for (int i = 0; i < w; i++)
        SetIndex(dst, i, bits, GetIndex(src, left + i, bits));
  }
  AdoptDibBlock(*this, block, w, h, bits, layout);
  m_nSourceWidth = w;
  m_nSourceHeight = h;
  m_nRenderFactor = m_nRenderScale = 0; // its pixels are the image's own
  m_nOrientation = 0;
  m_bNegative = 0;
  FreeDocument(*this);
  return 1;
}

int CDibImage::ClearRect(int left, int top, int right, int bottom)
{
  // Bounds are the pixels actually held: a reduced rendering has fewer than
  // the source size.
  if (!Usable(*this) || left < 0 || top < 0 || right >= m_nWidth || bottom >= m_nHeight)
    return 0;
  if (right < left || bottom < top)
    return 1;
  const int bits = m_nBitsPerPixel;
  const int firstRow = m_nRowOrder == DIB_ROWS_TOPDOWN ? top : m_nHeight - 1 - bottom;
  for (int j = 0; j <= bottom - top; j++)
  {
    unsigned char *row = Row(firstRow + j);
    if (bits >= 8)
      std::memset(row + (size_t)left * (bits / 8), 0, (size_t)(right - left + 1) * (bits / 8));
    else
      for (int x = left; x <= right; x++)
        SetIndex(row, x, bits, 0);
  }
  return 1;
}

int CDibImage::Paste(const CDibImage &src, int x, int y, const int32_t *indexMap, int mapCount)
{
  // Bounds are the pixels actually held (a reduced rendering has fewer than
  // its source size), so no write lands outside the block.
  if (!Usable(*this) || !Usable(src) || src.m_nBitsPerPixel > m_nBitsPerPixel || x < 0 || y < 0 ||
      (int64_t)x + src.m_nWidth > m_nWidth || (int64_t)y + src.m_nHeight > m_nHeight)
    return 0;
  const int bits = m_nBitsPerPixel;
  CDibImage expanded;
  const CDibImage *s = &src;
  if (src.m_nBitsPerPixel < bits)
  {
    unsigned char *block = src.ExpandDepth(bits);
    if (!block)
      return 0;
    DibLayout layout;
    ComputeDibLayout(src.m_nWidth, src.m_nHeight, bits, layout);
    expanded.m_nRowOrder = src.m_nRowOrder;
    expanded.m_nChannelOrder = DIB_CHANNELS_BGR;
    AdoptDibBlock(expanded, block, src.m_nWidth, src.m_nHeight, bits, layout);
    s = &expanded;
  }
  // Colours of the source's indices, 0x00BBGGRR, for the key-colour test.
  uint32_t colours[256] = {0};
  if (bits <= 8)
  {
    const DibRgbQuad *p = s->Palette();
    for (int i = 0; i < s->PaletteEntries() && i < 256; i++)
      colours[i] = (uint32_t)p[i].rgbRed | (uint32_t)p[i].rgbGreen << 8 | (uint32_t)p[i].rgbBlue << 16;
  }
  const bool keyed = src.m_bTransparentPaste != 0;
  const uint32_t key = src.m_nKeyColour;
  const int red = s->m_nChannelOrder == DIB_CHANNELS_RGB ? 0 : 2, blue = 2 - red;
  // Rows go in the destination's storage order, so a source stored the
  // other way round is not pasted upside down.
  const bool reverse = (s->m_nRowOrder == DIB_ROWS_TOPDOWN) != (m_nRowOrder == DIB_ROWS_TOPDOWN);
  const int dstRed = m_nChannelOrder == DIB_CHANNELS_RGB ? 0 : 2;
  for (int j = 0; j < s->m_nHeight; j++)
  {
    const unsigned char *sr = s->Row(reverse ? s->m_nHeight - 1 - j : j);
    unsigned char *dr = Row(y + j);
    for (int i = 0; i < s->m_nWidth; i++)
    {
      if (bits == 24)
      {
        const unsigned char *px = sr + 3 * i;
        uint32_t colour = (uint32_t)px[red] | (uint32_t)px[1] << 8 | (uint32_t)px[blue] << 16;
        if (keyed && colour == key)
          continue;
        unsigned char *d = dr + 3 * (size_t)(x + i);
        d[dstRed] = px[red];
        d[1] = px[1];
        d[2 - dstRed] = px[blue];
        continue;
      }
      unsigned index = GetIndex(sr, i, bits);
      if (keyed && colours[index] == key)
        continue;
      int32_t mapped = indexMap && (int)index < mapCount ? indexMap[index] : (int32_t)index;
      if (bits == 1)
        SetIndex(dr, x + i, 1, mapped != 0);
      else
        SetIndex(dr, x + i, bits, (unsigned)mapped & 0xFF);
    }
  }
  return 1;
}

// Helpers for image record tests: build records of any depth and row order
// from a picture function, and read pixels back as picture colours.
#ifndef VELLUM_TESTS_IMAGE_IMAGETESTUTIL_H
#define VELLUM_TESTS_IMAGE_IMAGETESTUTIL_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "DibImage.h"
#include "DibImageInternal.h"

namespace imgtest
{

// 0x00RRGGBB
inline uint32_t Rgb(int r, int g, int b)
{
  return (uint32_t)r << 16 | (uint32_t)g << 8 | (uint32_t)b;
}

// A palette of distinct colours for 1, 4 and 8 bits: entry i.
inline uint32_t PaletteColour(int bits, int i)
{
  if (bits == 1)
    return i ? Rgb(255, 255, 255) : Rgb(0, 0, 0);
  return Rgb((i * 37 + 11) & 255, (i * 91 + 7) & 255, (i * 53 + 200) & 255);
}

// Raw value of picture pixel (x, y from the top): the index for palette
// depths, 0x00RRGGBB for 24 bits.
inline uint32_t RawAt(const CDibImage &im, int x, int y)
{
  int row = im.m_nRowOrder == DIB_ROWS_TOPDOWN ? y : im.m_nHeight - 1 - y;
  const unsigned char *r = im.Row(row);
  if (im.m_nBitsPerPixel == 24)
  {
    const unsigned char *p = r + 3 * x;
    return im.m_nChannelOrder == DIB_CHANNELS_RGB ? Rgb(p[0], p[1], p[2]) : Rgb(p[2], p[1], p[0]);
  }
  return GetIndex(r, x, im.m_nBitsPerPixel);
}

// Colour of picture pixel (x, y from the top), 0x00RRGGBB.
inline uint32_t ColourAt(const CDibImage &im, int x, int y)
{
  uint32_t v = RawAt(im, x, y);
  if (im.m_nBitsPerPixel == 24)
    return v;
  const DibRgbQuad &q = im.Palette()[v];
  return Rgb(q.rgbRed, q.rgbGreen, q.rgbBlue);
}

inline void SetRaw(CDibImage &im, int x, int y, uint32_t v)
{
  int row = im.m_nRowOrder == DIB_ROWS_TOPDOWN ? y : im.m_nHeight - 1 - y;
  unsigned char *r = im.Row(row);
  if (im.m_nBitsPerPixel == 24)
  {
    unsigned char *p = r + 3 * x;
    p[0] = v & 255;
    p[1] = (v >> 8) & 255;
    p[2] = (v >> 16) & 255;
    if (im.m_nChannelOrder == DIB_CHANNELS_RGB)
      std::swap(p[0], p[2]);
    return;
  }
  SetIndex(r, x, im.m_nBitsPerPixel, v);
}

// Record of w x h at bits in the given row order; raw(x, y) gives each
// picture pixel (index, or 0x00RRGGBB for 24 bits). Palette: PaletteColour.
inline bool Make(CDibImage &im, int w, int h, int bits, int order,
                 const std::function<uint32_t(int, int)> &raw)
{
  im.Reset();
  if (!im.CreateBlock(w, h, bits, order))
    return false;
  for (int i = 0; i < im.PaletteEntries(); i++)
  {
    uint32_t c = PaletteColour(bits, i);
    im.Palette()[i] = DibRgbQuad{(uint8_t)(c & 255), (uint8_t)((c >> 8) & 255), (uint8_t)(c >> 16), 0};
  }
  im.m_nPhotometric = bits == 24 ? DIB_PHOTOMETRIC_RGB : DIB_PHOTOMETRIC_PALETTE;
  im.m_nPageCount = 1;
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++)
      SetRaw(im, x, y, raw(x, y));
  return true;
}

// A pattern where (nearly) every pixel differs from its neighbours.
inline uint32_t Pattern(int bits, int x, int y)
{
  uint32_t v = (uint32_t)(x * 7 + y * 13 + x * y * 3);
  if (bits == 24)
    return Rgb(v & 255, (v * 5) & 255, (v * 11 + 3) & 255);
  return v & ((1u << bits) - 1);
}

// Picture as a w x h grid of colours, row by row from the top.
inline std::vector<uint32_t> Picture(const CDibImage &im)
{
  std::vector<uint32_t> out;
  for (int y = 0; y < im.m_nHeight; y++)
    for (int x = 0; x < im.m_nWidth; x++)
      out.push_back(ColourAt(im, x, y));
  return out;
}

// Checks the stored header agrees with the fields.
inline std::string HeaderMismatch(const CDibImage &im)
{
  const DibInfoHeader *h = im.Header();
  if (h->biSize != 40)
    return "biSize";
  if (h->biWidth != im.m_nWidth)
    return "biWidth";
  if (h->biHeight != (im.m_nRowOrder == DIB_ROWS_TOPDOWN ? -im.m_nHeight : im.m_nHeight))
    return "biHeight";
  if (h->biBitCount != im.m_nBitsPerPixel)
    return "biBitCount";
  if ((int32_t)h->biSizeImage != im.m_nPixelSize)
    return "biSizeImage";
  if (im.m_nStride != DibStride(im.m_nWidth, im.m_nBitsPerPixel))
    return "stride";
  if (im.m_nPixelSize != im.m_nStride * im.m_nHeight)
    return "pixel size";
  if (im.m_nPixelOffset != 40 + im.m_nPaletteSize)
    return "pixel offset";
  return "";
}

} // namespace imgtest

#endif

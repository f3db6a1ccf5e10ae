// The drawing rows of an image record, for RenderVisible and its users.
#ifndef VELLUM_UI_DIBROWSOF_H
#define VELLUM_UI_DIBROWSOF_H

#include "DibDraw.h"
#include "DibImage.h"

namespace vellum
{

inline DibRows DibRowsOf(const CDibImage &image)
{
  DibRows rows;
  rows.pixels = image.Bits();
  rows.palette = reinterpret_cast<const uint8_t *>(image.Palette());
  rows.paletteEntries = image.PaletteEntries();
  rows.width = image.m_nWidth;
  rows.height = image.m_nHeight;
  rows.bitsPerPixel = image.m_nBitsPerPixel;
  rows.stride = image.m_nStride;
  rows.bottomUp = image.m_nRowOrder != DIB_ROWS_TOPDOWN;
  rows.rgbOrder = image.m_nChannelOrder == DIB_CHANNELS_RGB;
  return rows;
}

} // namespace vellum

#endif

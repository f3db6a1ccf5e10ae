#include "DibDraw.h"

#include <algorithm>

namespace vellum
{

bool DibRowsValid(const DibRows &dib)
{
  if (!dib.pixels || dib.width <= 0 || dib.height <= 0)
    return false;
  const int bpp = dib.bitsPerPixel;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24)
    return false;
  if (bpp <= 8 && (!dib.palette || dib.paletteEntries <= 0))
    return false;
  const int64_t rowBits = static_cast<int64_t>(dib.width) * bpp;
  return dib.stride > 0 && static_cast<int64_t>(dib.stride) * 8 >= rowBits;
}

bool RenderVisible(const DibRows &dib, const DrawPlan &plan, std::vector<uint8_t> &out)
{
  out.clear();
  if (plan.empty || plan.px <= 0 || plan.py <= 0 || !DibRowsValid(dib))
    return false;
  const int srcRight = std::min(plan.srcLeft + plan.srcW, dib.width) - 1;
  const int srcBottom = std::min(plan.srcTop + plan.srcH, dib.height) - 1;
  if (plan.srcLeft < 0 || plan.srcTop < 0 || srcRight < plan.srcLeft || srcBottom < plan.srcTop)
    return false;

  // Palette as RGB; indices past its end are black.
  uint8_t lut[256][3] = {};
  if (dib.bitsPerPixel <= 8)
  {
    const int n = std::min(dib.paletteEntries, 1 << dib.bitsPerPixel);
    for (int i = 0; i < n; ++i)
    {
      lut[i][0] = dib.palette[4 * i + 2];
      lut[i][1] = dib.palette[4 * i + 1];
      lut[i][2] = dib.palette[4 * i];
    }
  }

  // Nearest source column of each destination column.
  std::vector<int> cols(static_cast<size_t>(plan.dstW));
  for (int i = 0; i < plan.dstW; ++i)
  {
    const int64_t x = (static_cast<int64_t>(plan.ax) + i) * 100 / plan.px;
    cols[i] = static_cast<int>(std::clamp<int64_t>(x, plan.srcLeft, srcRight));
  }

  out.resize(static_cast<size_t>(plan.dstW) * plan.dstH * 3);
  uint8_t *dst = out.data();
  int lastRow = -1;
  const uint8_t *lastLine = nullptr;
  for (int j = 0; j < plan.dstH; ++j)
  {
    const int64_t yy = (static_cast<int64_t>(plan.ay) + j) * 100 / plan.py;
    const int y = static_cast<int>(std::clamp<int64_t>(yy, plan.srcTop, srcBottom));
    if (y == lastRow)
    {
      // Repeated source row at magnification: copy the line already made.
      std::copy(lastLine, lastLine + plan.dstW * 3, dst);
      dst += plan.dstW * 3;
      continue;
    }
    const int stored = dib.bottomUp ? dib.height - 1 - y : y;
    const uint8_t *row = dib.pixels + static_cast<size_t>(stored) * dib.stride;
    const uint8_t *lineStart = dst;
    switch (dib.bitsPerPixel)
    {
    case 24:
      for (int i = 0; i < plan.dstW; ++i, dst += 3)
      {
        const uint8_t *p = row + 3 * static_cast<size_t>(cols[i]);
        if (dib.rgbOrder)
        {
          dst[0] = p[0];
          dst[1] = p[1];
          dst[2] = p[2];
        }
        else
        {
          dst[0] = p[2];
          dst[1] = p[1];
          dst[2] = p[0];
        }
      }
      break;
    case 8:
      for (int i = 0; i < plan.dstW; ++i, dst += 3)
        std::copy(lut[row[cols[i]]], lut[row[cols[i]]] + 3, dst);
      break;
    case 4:
      for (int i = 0; i < plan.dstW; ++i, dst += 3)
      {
        const int x = cols[i];
        const int index = (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
        std::copy(lut[index], lut[index] + 3, dst);
      }
      break;
    default: // 1 bit, leftmost pixel in bit 7
      for (int i = 0; i < plan.dstW; ++i, dst += 3)
      {
        const int x = cols[i];
        const int index = (row[x >> 3] >> (7 - (x & 7))) & 1;
        std::copy(lut[index], lut[index] + 3, dst);
      }
      break;
    }
    lastRow = y;
    lastLine = lineStart;
  }
  return true;
}

} // namespace vellum

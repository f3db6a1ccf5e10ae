// Transfer of the visible part of a packed device-independent bitmap to a
// 24-bit RGB buffer at the view's scale.
//
// The view hands over a DrawPlan (ZoomLogic.h); only the plan's source
// rectangle is read, and each destination pixel takes the nearest source
// pixel (the effect of a colour-on-colour stretch), so magnified pixels are
// whole blocks and no row outside the image is touched.
#ifndef VELLUM_UI_DIBDRAW_H
#define VELLUM_UI_DIBDRAW_H

#include <cstdint>
#include <vector>

#include "ZoomLogic.h"

namespace vellum
{

// A read-only description of the rows of a packed bitmap.
struct DibRows
{
  const uint8_t *pixels = nullptr;  // first stored row
  const uint8_t *palette = nullptr; // RGBQUAD entries (blue, green, red, reserved)
  int paletteEntries = 0;
  int width = 0, height = 0;
  int bitsPerPixel = 0;  // 1, 4, 8 or 24
  int stride = 0;        // bytes per stored row
  bool bottomUp = true;  // first stored row is the bottom image row
  bool rgbOrder = false; // 24-bit pixels stored red, green, blue (else blue, green, red)
};

// True when the description is self-consistent (depth supported, stride large
// enough for the width, palette present for palette depths).
bool DibRowsValid(const DibRows &dib);

// Fills out with plan.dstW x plan.dstH RGB pixels (3 bytes each, rows top
// down, no padding). Returns false, leaving out empty, when the plan is empty
// or the description is invalid. A palette index beyond the palette reads as
// black.
bool RenderVisible(const DibRows &dib, const DrawPlan &plan, std::vector<uint8_t> &out);

} // namespace vellum

#endif

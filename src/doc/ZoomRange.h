// The zoom steps a document may be shown at, -9 (1/10) to 9 (10 times),
// 0 being 100 %, and the depth its page is rendered at. The document keeps
// its step; the view's arithmetic (ZoomLogic.h) works within this range.
#ifndef VELLUM_DOC_ZOOMRANGE_H
#define VELLUM_DOC_ZOOMRANGE_H

namespace vellum
{

constexpr int kMinZoom = -9;
constexpr int kMaxZoom = 9;

inline int ClampZoom(int z)
{
  return z < kMinZoom ? kMinZoom : z > kMaxZoom ? kMaxZoom : z;
}

// Display depth for rendering: the screen's bits per pixel when dithering is
// on and it lies in 1..24, else 24.
inline int DisplayDepth(bool dither, int screenBpp)
{
  return dither && screenBpp >= 1 && screenBpp <= 24 ? screenBpp : 24;
}

} // namespace vellum

#endif

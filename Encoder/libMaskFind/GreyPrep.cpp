// Grey preparation: the band becomes a 6-bit grey plane (0 black .. 63
// white) with a white margin of 2 pixels, so that the 3 x 3 smoothing of the
// block statistics and the neighbour tests of the run scan may reach past the
// band's edge without checks.
//
// Luminance uses the integer weights 612 : 1202 : 233 out of 2048 (0.299,
// 0.587, 0.114). In split mode the 8-bit grey is spread into a light plane
// (tones at or above the level) and a dark plane (tones below it).
#include "MaskFindInternal.h"

namespace maskfind
{

void MakeGreyPlane(GreyPlane &plane, int32_t height, int32_t width, int32_t margin)
{
  if (height <= 0 || width <= 0 || margin < 0)
    MF_FATAL("Diff. image dimensions");
  size_t rowsize = mf_add((size_t)width, 2 * (size_t)margin);
  size_t rows = mf_add((size_t)height, 2 * (size_t)margin);
  plane.buf.reset(mf_mul(rowsize, rows));
  std::memset(plane.buf.get(), 63, rowsize * rows);
  plane.w = width;
  plane.h = height;
  plane.margin = margin;
  plane.rowsize = rowsize;
  plane.grey = true;
}

void RgbToGrey(const MaskFindBand &band, GreyPlane &plane)
{
  int w0, w2;
  if (band.pixsize == 3 && (band.flags & MASKFIND_RGB))
  {
    w0 = 612;
    w2 = 233;
  }
  else if (band.pixsize == 3 && (band.flags & MASKFIND_BGR))
  {
    w0 = 233;
    w2 = 612;
  }
  else
    MF_FATAL("Rgb image has unknow color representation (neither RGB nor BGR)");
  if (band.w != plane.w || band.h != plane.h)
    MF_FATAL("Diff. image dimensions");
  for (int32_t y = 0; y < band.h; y++)
  {
    const uint8_t *s = band.data + band.offset + (ptrdiff_t)y * band.rowsize;
    uint8_t *d = plane.row(y);
    for (int32_t x = 0; x < band.w; x++, s += 3)
      d[x] = (uint8_t)((w0 * s[0] + 1202 * s[1] + w2 * s[2]) >> 11);
  }
  plane.grey = true;
}

GreySource SourceOf(const GreyPlane &plane)
{
  return GreySource{plane.row(0), (ptrdiff_t)plane.rowsize, plane.w, plane.h};
}

GreySource SourceOf(const MaskFindBand &band)
{
  return GreySource{band.data + band.offset, band.rowsize, band.w, band.h};
}

void QuantiseGrey(const GreySource &src, GreyPlane &plane)
{
  if (!plane.grey)
    MF_FATAL("Not a grey image");
  if (src.w != plane.w || src.h != plane.h)
    MF_FATAL("Diff. image dimensions");
  for (int32_t y = 0; y < plane.h; y++)
  {
    const uint8_t *s = src.row(y);
    uint8_t *d = plane.row(y);
    for (int32_t x = 0; x < plane.w; x++)
      d[x] = (uint8_t)(s[x] >> 2);
  }
}

void SplitGrey(const GreySource &src, GreyPlane *light, GreyPlane *dark, int32_t level)
{
  const int a = level;
  for (GreyPlane *p : {light, dark})
    if (p && (p->w != src.w || p->h != src.h))
      MF_FATAL("Diff. image dimensions");
  for (int32_t y = 0; y < src.h; y++)
  {
    const uint8_t *s = src.row(y);
    uint8_t *l = light ? light->row(y) : nullptr;
    uint8_t *d = dark ? dark->row(y) : nullptr;
    for (int32_t x = 0; x < src.w; x++)
    {
      int f = s[x]; // read before writing: an output may be the source
      int lv, dv;
      if (f < a)
      {
        lv = 0;
        dv = f * 64 / a;
      }
      else
      {
        lv = ((f - a) * 64) / (256 - a);
        dv = 63;
      }
      if (l)
        l[x] = (uint8_t)lv;
      if (d)
        d[x] = (uint8_t)dv;
    }
  }
}

} // namespace maskfind

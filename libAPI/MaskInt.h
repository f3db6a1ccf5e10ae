// Colour layers of the compound DjVu encoder (implemented in ColorLayers.cpp).
//
// A colour layer is a DjVuLibre pixmap of ceil(W/r) x ceil(H/r) cells (row 0
// at the bottom of the page) plus a hole bitmap of the same size: 1 = no
// colour known for the cell, 0 = known. Hole cells hold pure red as a
// placeholder; the IW44 encoders skip them.
//
// All routines take the page image (any layout the API accepts; rows are
// addressed through BOTTOMUP so that row 0 is the bottom of the page) and the
// mask as a JB2 image of the page's size. They raise on failure.
#ifndef VELLUM_LIBAPI_MASKINT_H
#define VELLUM_LIBAPI_MASKINT_H

#include "djvuapi.h"

#include "GBitmap.h"
#include "GPixmap.h"
#include "GSmartPointer.h"
#include "JB2Image.h"

namespace vellum_api
{

struct Rgb
{
  int r, g, b;
};

// 1000 x the colour distance 0.299|dR| + 0.587|dG| + 0.114|dB| (integer, so
// comparisons are exact).
inline int color_distance1000(const Rgb &a, const Rgb &c)
{
  auto d = [](int x) { return x < 0 ? -x : x; };
  return 299 * d(a.r - c.r) + 587 * d(a.g - c.g) + 114 * d(a.b - c.b);
}

// Foreground layer: mean colour of the mask-set pixels per r x r cell.
// Returns whether any cell got a colour.
bool fg_layer(const djvu_pixel_image &img, const DJVU::JB2Image &jb2, DJVU::GPixmap &fg,
              DJVU::GBitmap &fgholes, int f);

// Background pass: mean colour of the mask-clear pixels at ratio b, a size
// check of the foreground layer, then seeding of background colours next to
// foreground cells without known background nearby. Returns the number of
// seeded cells, plus 1 when the averaging found any colour.
int bg_layer(const djvu_pixel_image &img, const DJVU::JB2Image &jb2, DJVU::GPixmap &bg,
             DJVU::GBitmap &bgholes, const DJVU::GPixmap &fg, const DJVU::GBitmap &fgholes, int f, int b);

// Gives every blit whose shape lies entirely on foreground holes the colour
// of its two pixels farthest from the surrounding background. Returns
// whether any shape was filled.
bool fill_shape_colors(const djvu_pixel_image &img, const DJVU::JB2Image &jb2, DJVU::GPixmap &fg,
                       DJVU::GBitmap &fgholes, const DJVU::GPixmap &bg, const DJVU::GBitmap &bgholes, int f,
                       int b);

// A copy of jb2 without the small shapes (box < 200 pixels) whose colour is
// farther than 50 from the local foreground colour.
DJVU::GP<DJVU::JB2Image> remove_small_shapes(const djvu_pixel_image &img, const DJVU::JB2Image &jb2,
                                             const DJVU::GPixmap &fg, const DJVU::GBitmap &fgholes, int f);

// The per-channel mean of the two page pixels under the blit's black pixels
// farthest from background (the single pixel for a one-pixel shape). Raises
// "GetColor2Pix: must have at least one pixel which differs from background"
// when no black pixel lies on the page.
Rgb GetColor2Pix(const djvu_pixel_image &img, const DJVU::JB2Image &jb2, const DJVU::JB2Blit &blit,
                 const Rgb &background);

// As GetColor2Pix with the two pixels nearest to foreground. Raises
// "GetNearestColor: must have at least one pixel ".
Rgb GetNearestColor(const djvu_pixel_image &img, const DJVU::JB2Image &jb2, const DJVU::JB2Blit &blit,
                    const Rgb &foreground);

// Reports progress through the process-wide hook (no-op without one;
// Progress.cpp).
void progress(const char *text, int percent, int data);

} // namespace vellum_api

#endif

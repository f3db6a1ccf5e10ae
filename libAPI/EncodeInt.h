// Internals of the DjVu and IW44 encoders (Encode.cpp, MaskClean.cpp,
// Compact.cpp), exposed for tests.
#ifndef VELLUM_LIBAPI_ENCODEINT_H
#define VELLUM_LIBAPI_ENCODEINT_H

#include "djvuapi.h"

#include "ByteStream.h"
#include "GBitmap.h"
#include "GSmartPointer.h"
#include "IFFByteStream.h"
#include "IW44Image.h"
#include "JB2Image.h"

namespace vellum_api
{

// The background chunk schedule: cumulative slice targets per chunk (bytes
// and decibels 0), built from a quality (0 = 75) and a layer ratio.
struct iw44_schedule
{
  DJVU::IWEncoderParms parms[64];
  int count;
  iw44_schedule(int quality, int ratio);
};

// Parameter records after size-prefixed copying over the defaults and the
// value rules (gamma <= 0 -> 2.2, quality 0 -> 75, ...).
djvu_encode_params encode_params(const djvu_encode_params *caller);
djvu_iw44_params iw44_params(const djvu_iw44_params *caller);

// Hands a finished file in the memory stream to the caller's output routine
// in one call (a FILE* when the routine is null); raises when it writes
// short. who names the public function in the message.
void deliver_file(DJVU::ByteStream &mem, djvu_output_routine write, void *userdata, const char *who);

// Each shape one column wider, with the pixel right of the rightmost black
// pixel of every row set.
void thicken_shapes(DJVU::JB2Image &jb2);

// Mask cleaning (MaskClean.cpp) at level L (bits: 1 edge smoothing, 2 pixel clean-up,
// 4 shape matching, 8 tiling, 16 speck removal, 32 specks gathered into a
// shape per grid cell; reading order and the shape
// pass always run). Returns a new image of the same page size.
DJVU::GP<DJVU::JB2Image> clean_jb2(const DJVU::JB2Image &jb2, int level);

// The near-copy test of the mask cleaning's shape matching (level bit 4)
// for tight shapes (black pixels on every edge, as the cleaning leaves
// them): the number of differing pixels when cur may be drawn as proto
// (their centres aligned), or -1 when it may not or when they differ in
// `below` pixels or more (below < 0: no such bound). (sx, sy) is then
// proto's offset from cur's origin, which moves the blit.
long shape_distance(const DJVU::GBitmap &cur, const DJVU::GBitmap &proto, long below, int &sx, int &sy);

// Edge smoothing of one shape (rows, then columns). Returns a new bitmap of
// the same size.
DJVU::GP<DJVU::GBitmap> smooth_edges(const DJVU::GBitmap &bits);

// ---- compact layers (Compact.cpp) ----

// The bitmap with every set pixel grown to a (2 radius + 1) square; same
// size.
DJVU::GP<DJVU::GBitmap> dilate_square(const DJVU::GBitmap &bm, int radius);

// The background reduction of the compact profile from the classic one for
// a page of dpi: one step finer on colour pages, at most 2 below 200 dpi.
// The edge width is how far the background holes reach beyond the mask
// (the anti-aliasing of the glyphs).
int compact_bg_ratio(int classic_ratio, int dpi, bool colour);
int compact_edge_width(int dpi);

// Writes the colour chunks of a compact page after its Sjbz chunk: FGbz
// (one palette colour per blit of jb2, in blit order) or FG44, and the
// BG44 chunks. img is the page at the mask's size; f and b are the
// foreground and background reductions; the quality (1..100) sets the
// decibels the background reaches.
void encode_compact_layers(DJVU::IFFByteStream &iff, const djvu_pixel_image &img, const DJVU::JB2Image &jb2,
                           int f, int b, int dpi, int quality, double corr);

} // namespace vellum_api

#endif

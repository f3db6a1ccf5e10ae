// DjVu and IW44 encoders.
//
// djvu_encode builds a single-page compound DjVu file in memory: the mask
// (a run image) becomes a JB2 image with one shape per connected component;
// the colours under the mask become a reduced foreground layer and the rest
// a reduced background layer (ColorLayers.cpp), both IW44-coded; the shapes
// are thickened and cleaned (MaskClean.cpp) before JB2 coding.
// djvu_encode_iw44 writes an IW44 photo file, or a mask-only DjVu page for
// a black-and-white picture. Each hands the finished file to the caller's
// output routine in one call.
#include "EncodeInt.h"

#include "ApiError.h"
#include "MaskInt.h"
#include "PixImageInt.h"
#include "RunTable.h"
#include "StreamInt.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "ByteStream.h"
#include "GBitmap.h"
#include "GPixmap.h"
#include "IFFByteStream.h"
#include "IW44Image.h"
#include "JB2Image.h"

using namespace DJVU;

namespace vellum_api
{

// ---- parameters -------------------------------------------------------------

djvu_encode_params encode_params(const djvu_encode_params *caller)
{
  djvu_encode_params p = DJVU_ENCODE_PARAMS_DEFAULTS;
  if (caller && caller->size > 0)
    memcpy(&p, caller, std::min<size_t>((size_t)caller->size, sizeof p));
  p.size = sizeof p;
  if (!(p.gamma > 0))
    p.gamma = 2.2f;
  if (p.quality == 0)
    p.quality = 75;
  return p;
}

djvu_iw44_params iw44_params(const djvu_iw44_params *caller)
{
  djvu_iw44_params p = DJVU_IW44_PARAMS_DEFAULTS;
  if (caller && caller->size > 0)
    memcpy(&p, caller, std::min<size_t>((size_t)caller->size, sizeof p));
  p.size = sizeof p;
  if (!(p.gamma > 0))
    p.gamma = 2.2f;
  if (p.quality == 0)
    p.quality = 75;
  if (p.quality > 100)
    p.quality = 100;
  return p;
}

iw44_schedule::iw44_schedule(int quality, int ratio)
{
  if (quality <= 0)
    quality = 75;
  int n = ratio < 1 ? 1 : ratio > 12 ? 12 : ratio;
  int base = (int)std::floor(10.0 * std::log((double)n) / std::log(3.0) + 0.5) + 62;
  int s = quality > 100 ? 100 : quality >= 76 ? 2 * quality - 100 : 2 * quality / 3;
  for (auto &p : parms)
  {
    p.slices = 0;
    p.bytes = 0;
    p.decibels = 0;
  }
  count = 4;
  parms[0].slices = base + s / 25;
  parms[1].slices = base + s / 4;
  parms[2].slices = base + s / 3;
  parms[3].slices = base + s / 2;
}

namespace
{

double color_correction(float gamma)
{
  double c = 2.2 / gamma;
  return c < 0.1 ? 0.1 : c > 10.0 ? 10.0 : c;
}

// A record whose API buffer is released when it goes out of scope.
struct TempImage
{
  djvu_pixel_image img;
  TempImage() { memset(&img, 0, sizeof img); }
  ~TempImage()
  {
    try
    {
      if (img.data)
        pix_release_buffer(&img);
    }
    catch (...)
    {
    }
  }
  TempImage(const TempImage &) = delete;
  TempImage &operator=(const TempImage &) = delete;
};

struct RunImageOwner
{
  djvu_run_image *run = nullptr;
  ~RunImageOwner() { djvu_run_image_free(run); }
};

// Hands the memory stream's bytes to the output routine in one call.
void deliver(ByteStream &mem, djvu_output_routine write, void *userdata, const char *who)
{
  TArray<char> bytes = mem.get_data();
  size_t size = bytes.size();
  if (size > 0x7fffffff)
    DJVU_API_THROW("Image too large");
  int n = (int)size;
  const void *buf = size ? (const void *)(const char *)bytes : (const void *)"";
  int written;
  if (write)
    written = write(userdata, buf, n);
  else
  {
    FILE *f = userdata ? (FILE *)userdata : stdout;
    written = (int)fwrite(buf, 1, size, f);
    fflush(f);
  }
  if (written != n)
  {
    std::string msg = std::string(who) + ": output routine did not return expected value";
    DJVU_API_THROW(msg.c_str());
  }
}

int layer_ratio(int layer_dpi, int dpi)
{
  if (layer_dpi < dpi / 12)
    return 12;
  if (layer_dpi > dpi)
    return 1;
  return (layer_dpi + 2 * dpi) / (2 * layer_dpi);
}

// The page resolution when the mask carries none: the image's, scaled by
// mask size / image size; both axes must agree (within rounding).
int derived_dpi(const djvu_run_image &mask, const djvu_pixel_image *image)
{
  if (!image || !(image->flags & DJVU_HAS_DPI) || image->xdpi <= 0 || image->ydpi <= 0 || image->w <= 0 ||
      image->h <= 0)
    return 0;
  double dx = (double)image->xdpi * mask.width / image->w;
  double dy = (double)image->ydpi * mask.height / image->h;
  double hi = std::max(dx, dy), lo = std::min(dx, dy);
  // One pixel of rounding on either axis is tolerated.
  double tol = std::max(hi / image->w * 1.01, hi / image->h * 1.01) + 0.5;
  if (hi - lo > std::max(tol, hi * 0.01))
    DJVU_API_THROW("Unknown mask resolution");
  return (int)std::floor((dx + dy) / 2 + 0.5);
}

void check_mask(const djvu_run_image *mask)
{
  if (!mask)
    DJVU_API_THROW("djvu_encode: djvu_run_image is required");
  if (mask->xdpi != mask->ydpi)
    DJVU_API_THROW("Masks must have the same horizontal and vertical resolutions!");
  // The INFO chunk and the JB2 coordinates hold 16 bits.
  if (mask->width <= 0 || mask->height <= 0 || mask->width > 32767 || mask->height > 32767)
    DJVU_API_THROW("Invalid mask size");
}

void put_info(IFFByteStream &iff, int w, int h, int dpi, float gamma)
{
  unsigned char info[10];
  info[0] = (unsigned char)(w >> 8);
  info[1] = (unsigned char)w;
  info[2] = (unsigned char)(h >> 8);
  info[3] = (unsigned char)h;
  info[4] = 18;
  info[5] = 0;
  info[6] = (unsigned char)dpi;
  info[7] = (unsigned char)(dpi >> 8);
  int g = (int)std::floor(gamma * 10 + 0.5);
  info[8] = (unsigned char)(g < 0 ? 0 : g > 255 ? 255 : g);
  // The orientation flag: always upright. (Readers take any other value as
  // a rotation.)
  info[9] = 1;
  iff.put_chunk("INFO");
  iff.get_bytestream()->writall(info, sizeof info);
  iff.close_chunk();
}

} // namespace

// ---- thickening ---------------------------------------------------------------

void deliver_file(ByteStream &mem, djvu_output_routine write, void *userdata, const char *who)
{
  deliver(mem, write, userdata, who);
}

void thicken_shapes(JB2Image &jb2)
{
  for (int i = 0; i < jb2.get_shape_count(); i++)
  {
    JB2Shape &shape = jb2.get_shape(i);
    if (!shape.bits)
      continue;
    const GBitmap &src = *shape.bits;
    const int w = src.columns(), h = src.rows();
    GP<GBitmap> out = GBitmap::create(h, w + 1);
    for (int y = 0; y < h; y++)
    {
      const unsigned char *s = src[y];
      unsigned char *d = (*out)[y];
      int last = -1;
      for (int x = 0; x < w; x++)
        if ((d[x] = s[x] ? 1 : 0))
          last = x;
      if (last >= 0)
        d[last + 1] = 1;
    }
    shape.bits = out;
  }
}

} // namespace vellum_api

using namespace vellum_api;

extern "C" {

int djvu_encode(const djvu_encode_params *params, const djvu_run_image *mask, const djvu_pixel_image *image,
                djvu_output_routine write, void *userdata)
{
  return guard(
      -1,
      [&]() -> int
      {
        check_mask(mask);
        const djvu_encode_params p = encode_params(params);
        const double corr = color_correction(p.gamma);
        const bool has_image = image && image->w > 0 && image->h > 0;

        // Size ratio of mask to image, 1..3.
        int ratio = 1;
        if (has_image)
          ratio = std::min(mask->width / image->w, mask->height / image->h);
        ratio = std::max(1, std::min(3, ratio));

        int dpi = mask->xdpi;
        if (dpi == 0)
          dpi = derived_dpi(*mask, has_image ? image : nullptr);
        if (dpi == 0)
          dpi = 3 * p.bg_dpi;
        if (dpi < 25)
          DJVU_API_THROW("Can not process masks lower than 72 DPI");
        if (dpi > 65535)
          DJVU_API_THROW("Unknown mask resolution");

        // The page image at the mask's size, bottom-up and not RGB. It is
        // validated here, after the resolution checks.
        if (image)
          pix_validate(image);
        TempImage copy;
        const djvu_pixel_image *page = nullptr;
        if (has_image)
        {
          page = image;
          const bool rgb = !(image->flags & DJVU_GRAY) && (image->flags & DJVU_RGB);
          if (image->w != mask->width || image->h != mask->height || rgb || !(image->flags & DJVU_BOTTOMUP))
          {
            pix_canonical_copy(image, &copy.img);
            if (copy.img.w != mask->width || copy.img.h != mask->height)
              pix_transform(&copy.img, 0, mask->width, mask->height);
            page = &copy.img;
          }
        }

        const int f = layer_ratio(p.fg_dpi, dpi);
        const int b = layer_ratio(p.bg_dpi, dpi);

        progress("Encoding Mask", 0, p.progress_data);
        GP<ByteStream> mem = ByteStream::create();
        GP<IFFByteStream> giff = IFFByteStream::create(mem);
        IFFByteStream &iff = *giff;
        iff.put_chunk("FORM:DJVU", 1);
        put_info(iff, mask->width, mask->height, dpi, p.gamma);

        GP<JB2Image> jb2 = run_image_to_jb2(*mask, page != nullptr);
        jb2->set_dimension(mask->width, mask->height);

        progress("Applying Mask to Foreground", 10, p.progress_data);
        GP<GPixmap> fg = GPixmap::create();
        GP<GBitmap> fgholes = GBitmap::create();
        bool fg_found = false;
        const bool compact = page && (p.flags & DJVU_ENCODE_COMPACT);
        // Compact pages are never thickened: the wider glyphs cost 1.5 to
        // 3 dB, at 150 dpi as at 300.
        if (page && !compact)
        {
          fg_found = fg_layer(*page, *jb2, *fg, *fgholes, f);
          if (fg_found)
            jb2 = remove_small_shapes(*page, *jb2, *fg, *fgholes, f);
          if (!(p.flags & DJVU_ENCODE_NO_THICKEN))
            thicken_shapes(*jb2);
        }

        progress("Cleaning Mask", 20, p.progress_data);
        // Specks are gathered on lossless mask-only pages (on the others
        // each blit takes a colour of its own; lossy cleaning removes most
        // of them anyway).
        const int level = (p.flags & DJVU_ENCODE_LOSSLESS)     ? (page ? 8 : 8 | 32)
                          : (p.flags & DJVU_ENCODE_AGGRESSIVE) ? 31
                                                               : 15;
        jb2 = clean_jb2(*jb2, level);

        // INFO version 18 makes DjVuLibre decode the JB2 data with its old
        // placement of copied shapes; code it the same way.
        jb2->reproduce_old_bug = true;
        iff.put_chunk("Sjbz");
        jb2->encode(iff.get_bytestream());
        iff.close_chunk();

        progress("Processing color layer", 30, p.progress_data);
        GP<IW44Image> bgenc, fgenc;
        if (compact)
        {
          encode_compact_layers(iff, *page, *jb2, f, compact_bg_ratio(b, dpi, !(page->flags & DJVU_GRAY)),
                                dpi, p.quality, corr);
          if (page == &copy.img)
            pix_release_buffer(&copy.img);
          page = nullptr;
        }
        else if (page)
        {
          const bool gray = (page->flags & DJVU_GRAY) != 0;
          GP<GPixmap> bg = GPixmap::create();
          GP<GBitmap> bgholes = GBitmap::create();
          const int found = bg_layer(*page, *jb2, *bg, *bgholes, *fg, *fgholes, f, b);
          if (found || fg_found)
            fill_shape_colors(*page, *jb2, *fg, *fgholes, *bg, *bgholes, f, b);
          if (page == &copy.img)
            pix_release_buffer(&copy.img);
          page = nullptr;
          bg->color_correct(corr);
          fg->color_correct(corr);
          bgenc = IW44Image::create_encode(*bg, bgholes, gray ? IW44Image::CRCBnone : IW44Image::CRCBnormal);
          fgenc = IW44Image::create_encode(*fg, fgholes, gray ? IW44Image::CRCBnone : IW44Image::CRCBfull);
        }

        progress("Processing background layer", 90, p.progress_data);
        if (bgenc && fgenc)
        {
          iw44_schedule sched(p.quality, b);
          sched.parms[0].bytes = 10000;
          iff.put_chunk("BG44");
          bgenc->encode_chunk(iff.get_bytestream(), sched.parms[0]);
          iff.close_chunk();
          IWEncoderParms fgparms;
          fgparms.slices = 100;
          fgparms.bytes = 0;
          fgparms.decibels = 0;
          iff.put_chunk("FG44");
          fgenc->encode_chunk(iff.get_bytestream(), fgparms);
          iff.close_chunk();
          fgenc->close_codec();
          for (int i = 1; i < sched.count; i++)
          {
            iff.put_chunk("BG44");
            bgenc->encode_chunk(iff.get_bytestream(), sched.parms[i]);
            iff.close_chunk();
          }
          bgenc->close_codec();
        }
        iff.close_chunk();
        progress("Encoded document", 100, p.progress_data);
        deliver(*mem, write, userdata, "djvu_encode");
        return 0;
      });
}

namespace
{

// True when every pixel is black or white. A colour pixel must also have
// three equal samples: pure red (255, 0, 0) is a colour, not white.
bool black_and_white(const djvu_pixel_image &img)
{
  if ((img.flags & DJVU_GRAY) && (img.flags & DJVU_BITONAL))
    return true;
  const bool gray = (img.flags & DJVU_GRAY) != 0;
  for (int y = 0; y < img.h; y++)
  {
    const unsigned char *p = pix_row(&img, y);
    for (int x = 0; x < img.w; x++, p += img.pixsize)
    {
      if (p[0] != 0 && p[0] != 255)
        return false;
      if (!gray && (p[1] != p[0] || p[2] != p[0]))
        return false;
    }
  }
  return true;
}

} // namespace

int djvu_encode_iw44(const djvu_iw44_params *params, const djvu_pixel_image *image, djvu_output_routine write,
                     void *userdata)
{
  return guard(-1,
               [&]() -> int
               {
                 if (!image)
                   DJVU_API_THROW("djvu_encode_iw44: djvu_pixel_image is required");
                 const djvu_iw44_params p = iw44_params(params);
                 const double corr = color_correction(p.gamma);
                 progress("Encode Photo", 0, p.progress_data);
                 pix_validate(image);
                 if (image->w <= 0 || image->h <= 0)
                   DJVU_API_THROW("djvu_encode_iw44: the image is empty");

                 if (black_and_white(*image))
                 {
                   RunImageOwner runs;
                   runs.run = pixel_to_run_image(image);
                   djvu_encode_params ep = DJVU_ENCODE_PARAMS_DEFAULTS;
                   ep.flags = DJVU_ENCODE_LOSSLESS | DJVU_ENCODE_NO_THICKEN;
                   // djvu_encode reports its own failure; pass its result on.
                   return djvu_encode(&ep, runs.run, nullptr, write, userdata);
                 }

                 GP<IW44Image> enc;
                 TempImage copy;
                 if (image->flags & DJVU_GRAY)
                 {
                   pix_canonical_copy(image, &copy.img);
                   GP<GBitmap> bm = GBitmap::create(copy.img.h, copy.img.w);
                   bm->set_grays(256);
                   for (int y = 0; y < copy.img.h; y++)
                   {
                     const unsigned char *s = copy.img.data + (size_t)y * copy.img.rowsize;
                     unsigned char *d = (*bm)[y];
                     for (int x = 0; x < copy.img.w; x++)
                       d[x] = (unsigned char)(255 - s[x]);
                   }
                   pix_release_buffer(&copy.img);
                   enc = IW44Image::create_encode(*bm);
                 }
                 else
                 {
                   const djvu_pixel_image *src = image;
                   const bool canonical = (image->flags & DJVU_BOTTOMUP) && (image->flags & DJVU_BGR) &&
                                          !(image->flags & DJVU_RGB) && image->pixsize == 3;
                   if (!canonical)
                   {
                     pix_canonical_copy(image, &copy.img);
                     src = &copy.img;
                   }
                   GP<GPixmap> pm = GPixmap::create(src->h, src->w);
                   for (int y = 0; y < src->h; y++)
                     memcpy((*pm)[y], src->data + src->offset + (size_t)y * src->rowsize, (size_t)src->w * 3);
                   if (copy.img.data)
                     pix_release_buffer(&copy.img);
                   pm->color_correct(corr);
                   static const IW44Image::CRCBMode modes[4] = {IW44Image::CRCBnormal, IW44Image::CRCBfull,
                                                                IW44Image::CRCBnone, IW44Image::CRCBhalf};
                   enc = IW44Image::create_encode(*pm, GP<GBitmap>(), modes[p.flags & 3]);
                 }

                 progress("Compress Photo", 50, p.progress_data);
                 iw44_schedule sched(p.quality, 3);
                 GP<ByteStream> mem = ByteStream::create();
                 GP<IFFByteStream> iff = IFFByteStream::create(mem);
                 enc->encode_iff(*iff, sched.count, sched.parms);
                 deliver(*mem, write, userdata, "djvu_encode");
                 progress("Compressed Photo", 100, p.progress_data);
                 return 0;
               });
}

} // extern "C"

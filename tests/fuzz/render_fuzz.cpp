// Fuzz target: djvu_decode of arbitrary bytes, then djvu_render of the whole
// page at a small size on every layer. Every output sample is read so that
// the sanitizers see uninitialised or out-of-bounds data.
#include "djvuapi.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace
{

struct Input
{
  const uint8_t *data;
  size_t size, at;
  static int read(void *self, void *buf, int n)
  {
    Input &in = *(Input *)self;
    size_t k = std::min((size_t)n, in.size - in.at);
    if (k)
      std::memcpy(buf, in.data + in.at, k);
    in.at += k;
    return (int)k;
  }
};

void quiet(const char *, const char *, int) {}

volatile unsigned g_sink;

void touch(const djvu_pixel_image *img)
{
  unsigned sum = 0;
  for (int y = 0; y < img->h; y++)
  {
    const unsigned char *row = img->data + img->offset + (size_t)y * (size_t)img->rowsize;
    for (int x = 0; x < img->w * img->pixsize; x++)
      sum += row[x];
  }
  g_sink = sum;
}

} // namespace

// Under libFuzzer pages over one megapixel are refused from their headers,
// so that the run explores the decoders instead of allocating; the replay
// binary keeps the default limit.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
  djvu_set_max_pixels((int64_t)1 << 20);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  djvu_set_error_callback(quiet);
  Input in{data, size, 0};
  djvu_halfcoded_image *h = djvu_decode(&Input::read, &in);
  if (!h)
    return 0;
  // The smallest direct subsample up to 15, then resampled to at most 64.
  const int s = 15;
  const int w = (h->width + s - 1) / s, hh = (h->height + s - 1) / s;
  djvu_render_params p;
  djvu_render_defaults(&p, sizeof p);
  for (int layer = 0; layer < 4; layer++)
  {
    p.layer = layer;
    p.depth = layer == 0 ? 24 : layer == 2 ? 8 : 16;
    p.flags = layer & 1;
    djvu_pixel_image *img = djvu_render(&p, h, 0, 0, w * s - 1, hh * s - 1, 0, w, hh);
    if (img)
    {
      touch(img);
      djvu_pixel_image_free(img);
    }
  }
  // A quarter turn at the same subsample, and on small pages a resampled
  // render of an odd size.
  p.layer = 0;
  djvu_pixel_image *img = djvu_render(&p, h, 0, 0, w * s - 1, hh * s - 1, 90, hh, w);
  if (img)
  {
    touch(img);
    djvu_pixel_image_free(img);
  }
  // The page scaled by the library to a fraction that is no subsample.
  p.flags = DJVU_RENDER_LIBRARY_SCALE;
  img =
      djvu_render(&p, h, 0, 0, h->width - 1, h->height - 1, 0, std::max(1, (int)((int64_t)h->width * 2 / 31)),
                  std::max(1, (int)((int64_t)h->height * 2 / 31)));
  if (img)
  {
    touch(img);
    djvu_pixel_image_free(img);
  }
  p.flags = 0;
  if ((int64_t)h->width * h->height <= 512 * 512)
  {
    img = djvu_render(&p, h, 0, 0, h->width - 1, h->height - 1, 180, 37, 23);
    if (img)
    {
      touch(img);
      djvu_pixel_image_free(img);
    }
  }
  djvu_halfcoded_image_free(h);
  return 0;
}

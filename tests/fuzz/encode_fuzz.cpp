// Fuzz target: djvu_encode of an arbitrary mask, with or without a grey
// picture under it. Input: width and height (1..256 each), an option byte,
// then the mask's pixels as bits (cycled when the input is short).
//
// Checked: every call either fails with one report or writes one file whose
// INFO and Sjbz chunks DjVuLibre decodes; a lossless mask-only page decodes
// to exactly the mask given (exact copies and refinements are lossless), a
// page with a picture decodes in full.
#include "djvuapi.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "ByteStream.h"
#include "DjVuImage.h"
#include "GBitmap.h"
#include "IFFByteStream.h"
#include "JB2Image.h"

using namespace DJVU;

namespace
{

int g_reports;

void count_report(const char *, const char *, int)
{
  g_reports++;
}

int collect(void *user, const void *buf, int n)
{
  static_cast<std::string *>(user)->append(static_cast<const char *>(buf), (size_t)n);
  return n;
}

// Runtype-0 bytes of a top-down 0/1 raster (1 = mask).
std::vector<unsigned char> runs_of(const std::vector<unsigned char> &px)
{
  std::vector<unsigned char> out;
  size_t i = 0;
  while (i < px.size())
  {
    size_t j = i;
    while (j < px.size() && px[j] == px[i] && j - i < 128)
      j++;
    out.push_back((unsigned char)((px[i] ? 0 : 128) + (j - i - 1)));
    i = j;
  }
  return out;
}

GP<JB2Image> decode_sjbz(const std::string &file)
{
  GP<ByteStream> bs = ByteStream::create(file.data(), file.size());
  GP<IFFByteStream> iff = IFFByteStream::create(bs);
  GUTF8String id;
  if (!iff->get_chunk(id) || id != "FORM:DJVU")
    abort();
  while (iff->get_chunk(id))
  {
    if (id == "Sjbz")
    {
      GP<JB2Image> jb2 = JB2Image::create();
      jb2->decode(iff->get_bytestream());
      return jb2;
    }
    iff->close_chunk();
  }
  abort(); // no mask chunk
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if (size < 4)
    return 0;
  djvu_set_error_callback(count_report);
  const int w = data[0] + 1, h = data[1] + 1, opt = data[2];
  const uint8_t *bits = data + 3;
  const size_t nbits = (size - 3) * 8;
  std::vector<unsigned char> px((size_t)w * h);
  for (size_t i = 0; i < px.size(); i++)
  {
    size_t k = i % nbits;
    px[i] = (bits[k / 8] >> (k % 8)) & 1;
  }
  std::vector<unsigned char> runs = runs_of(px);
  djvu_run_image mask = {w, h, (int32_t)runs.size(), runs.data(), 300, 300, 0};

  // A grey picture derived from the mask: dark where it is set, a gradient
  // elsewhere.
  const bool with_picture = opt & 8;
  std::vector<unsigned char> grey((size_t)w * h);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++)
      grey[(size_t)(h - 1 - y) * w + x] = px[(size_t)y * w + x] ? 20 : (unsigned char)(128 + (x * 127) / w);
  djvu_pixel_image picture = {};
  picture.flags = DJVU_GRAY | DJVU_BOTTOMUP;
  picture.w = w;
  picture.h = h;
  picture.rowsize = w;
  picture.pixsize = 1;
  picture.data = grey.data();

  djvu_encode_params params = DJVU_ENCODE_PARAMS_DEFAULTS;
  params.flags = opt & 7;
  std::string file;
  g_reports = 0;
  const int r = djvu_encode(&params, &mask, with_picture ? &picture : nullptr, collect, &file);
  if (r != 0)
  {
    if (g_reports != 1 || r != -1)
      abort();
    return 0;
  }
  if (g_reports != 0)
    abort();
  GP<JB2Image> jb2 = decode_sjbz(file);
  if (jb2->get_width() != w || jb2->get_height() != h)
    abort();
  if (!with_picture && (opt & DJVU_ENCODE_LOSSLESS))
  {
    GP<GBitmap> bm = jb2->get_bitmap();
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++)
        if (((*bm)[h - 1 - y][x] != 0) != (px[(size_t)y * w + x] != 0))
          abort(); // lossless page differs from its mask
  }
  if (with_picture)
  {
    GP<ByteStream> bs = ByteStream::create(file.data(), file.size());
    GP<DjVuImage> page = DjVuImage::create();
    page->decode(*bs);
    if (!page->get_pixmap(GRect(0, 0, w, h), GRect(0, 0, w, h), 2.2))
      abort();
  }
  return 0;
}

// Decoding of DjVu and IW44 files and rendering of their pages.
//
// djvu_decode reads the whole file through a DjVu_IOSubByteStream into a
// data pool and lets DjVuLibre's document machinery decode its page, the way
// the library's own DjVuImage::decode does, but with a port of our own that
// keeps the library's error messages (DjVuImage::decode turns every failure
// into a bare "EOF"). Decoding may run on the library's threads; the port
// only records messages, and the report is made on the caller's thread.
//
// djvu_render chooses a decode subsample from the rectangle and the output
// size, asks the library for the layer at that subsample (decoding at 12 at
// most and reducing the rest with pix_subsample), maps bitmaps to grey,
// dithers pixmaps when a lower depth is wanted, and finally rotates and
// resamples to the exact output size with pix_transform.
#include "djvuapi.h"

#include "ApiError.h"
#include "DecodeInt.h"
#include "PixImageInt.h"
#include "StreamInt.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "DataPool.h"
#include "DjVuDocument.h"
#include "DjVuFile.h"
#include "DjVuImage.h"
#include "DjVuInfo.h"
#include "DjVuMessage.h"
#include "DjVuPort.h"
#include "GBitmap.h"
#include "GException.h"
#include "GPixmap.h"
#include "GRect.h"
#include "GThreads.h"
#include "GURL.h"

using namespace vellum_api;
using DJVU::GP;

namespace vellum_api
{

// One-time library set-up: the pixmap dither tables are filled lazily and
// without a lock, so they are primed here once; message ids are translated
// with the full message files.
void library_ready()
{
  static const bool ready = []
  {
    DJVU::DjVuMessage::use_language();
    GP<DJVU::GPixmap> pm = DJVU::GPixmap::create(1, 1, &DJVU::GPixel::WHITE);
    pm->ordered_666_dither();
    pm->ordered_32k_dither();
    return true;
  }();
  (void)ready;
  forget_failed_include();
}

std::string translate(const DJVU::GUTF8String &msg)
{
  return msg.length() ? vellum_api::library_text((const char *)msg) : std::string();
}

uint32_t be32(const unsigned char *p)
{
  return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}

// Walks the top-level chunks of a single-page FORM. For each chunk: its id,
// its data and its length (cut to the bytes present).
template <class F> void for_each_chunk(const std::vector<unsigned char> &data, F &&visit)
{
  // The "AT&T" magic is optional for the library.
  const size_t base = data.size() >= 4 && !std::memcmp(data.data(), "AT&T", 4) ? 4 : 0;
  if (data.size() < base + 12 || std::memcmp(&data[base], "FORM", 4) != 0)
    return;
  const size_t end = std::min<size_t>(data.size(), base + 8 + be32(&data[base + 4]));
  size_t at = base + 12;
  while (at + 8 <= end)
  {
    const size_t clen = be32(&data[at + 4]);
    const size_t avail = std::min(clen, end - (at + 8));
    visit((const char *)&data[at], &data[at + 8], avail);
    if (clen > end - (at + 8))
      break;
    at += 8 + clen + (clen & 1);
  }
}

// Raises the pixel limit's message for a w x h page or layer over it.
void check_pixels(int64_t w, int64_t h)
{
  char msg[200];
  if (!djvu_check_pixels(w, h, msg, sizeof msg))
    DJVU_API_THROW(msg);
}

// Refuses pages and IW44 layers over the pixel limit before the library
// allocates for them (DjVuLibre's IW44 decoder allocates per block before it
// looks at the data). Their size is in the INFO chunk and in the first
// chunk of each IW44 layer. Returns
// the size ratio from INFO byte 9 (2 or 3; else 1).
int check_sizes(const std::vector<unsigned char> &data)
{
  int ratio = 1;
  for_each_chunk(data,
                 [&](const char *id, const unsigned char *p, size_t len)
                 {
                   int64_t w = -1, h = -1;
                   if (!std::memcmp(id, "INFO", 4) && len >= 4)
                   {
                     w = p[0] << 8 | p[1];
                     h = p[2] << 8 | p[3];
                     if (len >= 10 && (p[9] == 2 || p[9] == 3))
                       ratio = p[9];
                   }
                   else if ((!std::memcmp(id, "BG44", 4) || !std::memcmp(id, "FG44", 4) ||
                             !std::memcmp(id, "PM44", 4) || !std::memcmp(id, "BM44", 4)) &&
                            len >= 9 && p[0] == 0)
                   {
                     w = p[4] << 8 | p[5];
                     h = p[6] << 8 | p[7];
                   }
                   if (w > 0 && h > 0)
                     check_pixels(w, h);
                 });
  return ratio;
}

namespace
{

struct HandleOwner
{
  djvu_halfcoded_image *h = nullptr;
  ~HandleOwner() { djvu_halfcoded_image_free(h); }
};

} // namespace

djvu_halfcoded_image *decode_page_handle(const GP<DecodePort> &port, const GP<DJVU::DjVuDocument> &doc,
                                         int index, int ratio)
{
  auto fail = [&](const char *fallback)
  {
    std::string msg = translate(port->error());
    DJVU_API_THROW(msg.empty() ? fallback : msg.c_str());
  };

  port->reset_error();
  GP<DJVU::DjVuImage> img = doc->get_page(index, true, (DJVU::DjVuPort *)port);
  if (!img)
    fail("DjVu decoding failed");
  GP<DJVU::DjVuFile> file = img->get_djvu_file();
  if (!file)
    fail("DjVu decoding failed");
  if (!file->is_decode_ok())
  {
    port->wait_finished(file);
    fail("DjVu decoding failed");
  }
  GP<DJVU::DjVuInfo> dinfo = img->get_info();
  const int W = img->get_real_width(), H = img->get_real_height();
  if (!dinfo || W <= 0 || H <= 0)
    fail("This DjVu Files Is Not A Recognized Format.");
  check_pixels(W, H);

  HandleOwner owner;
  owner.h = (djvu_halfcoded_image *)djvu_calloc(1, sizeof(djvu_halfcoded_image));
  if (!owner.h)
    DJVU_API_THROW("Failed to allocate memory");
  djvu_halfcoded_image *hc = owner.h;
  Page *page = new Page;
  hc->page = page;
  page->port = port;
  page->doc = doc;
  page->img = img;
  hc->width = W;
  hc->height = H;
  hc->reduced_width = W / ratio;
  hc->reduced_height = H / ratio;
  unsigned mem = file->get_memory_usage();
  hc->memory = mem > (unsigned)INT_MAX ? INT_MAX : (int32_t)mem;
  hc->dpi = dinfo->dpi;
  hc->gamma = (float)dinfo->gamma;
  std::string desc = translate(img->get_long_description());
  hc->description = (char *)djvu_malloc(desc.size() + 1);
  if (!hc->description)
    DJVU_API_THROW("Failed to allocate memory");
  std::memcpy(hc->description, desc.c_str(), desc.size() + 1);
  djvu_halfcoded_image *r = owner.h;
  owner.h = nullptr;
  return r;
}

} // namespace vellum_api

namespace
{

void check_header(const unsigned char *h)
{
  if (std::memcmp(h, "AT&TFORM", 8) != 0)
    DJVU_API_THROW("Not a DjVu document.");
  const unsigned char *form = h + 12;
  if (!std::memcmp(form, "DJVU", 4) || !std::memcmp(form, "PM44", 4) || !std::memcmp(form, "BM44", 4))
    return;
  if (!std::memcmp(form, "DJVM", 4))
    DJVU_API_THROW("Multipage Bundled DjVu Documents Are Not Supported Yet.");
  if (!std::memcmp(form, "DJVI", 4))
    DJVU_API_THROW("DjVu Index Files Are Not Supported Yet.");
  DJVU_API_THROW("This DjVu Files Is Not A Recognized Format.");
}

struct RecordOwner
{
  djvu_pixel_image *img = nullptr;
  ~RecordOwner()
  {
    if (img)
    {
      try
      {
        pix_free_record(img);
      }
      catch (...)
      {
      }
    }
  }
  djvu_pixel_image *release()
  {
    djvu_pixel_image *r = img;
    img = nullptr;
    return r;
  }
};

// The library's port caster guards against a file that includes itself by
// remembering the id being opened; an exception out of that lookup (a
// damaged or missing included file) leaves the id set, and the next document
// with an included file of the same name is refused as "recursive opening
// of the same file". A lookup of the empty id clears the guard.
void clear_opening_guard()
{
  DJVU::DjVuPort::get_portcaster()->id_to_file(nullptr, DJVU::GUTF8String());
}

djvu_halfcoded_image *decode(djvu_read_routine read, void *userdata)
{
  library_ready();
  clear_opening_guard();
  GP<DJVU::ByteStream> gbs = new DjVu_IOSubByteStream(read, nullptr, userdata);
  std::vector<unsigned char> data;
  if (!read)
  {
    unsigned char head[16];
    if (gbs->readall(head, sizeof head) < sizeof head)
      DJVU_API_THROW("Failed to read DjVu file header");
    check_header(head);
    data.assign(head, head + sizeof head);
  }
  // The whole file: the library decodes from memory.
  for (;;)
  {
    size_t have = data.size();
    data.resize(have + 65536);
    size_t n = gbs->read(&data[have], 65536);
    data.resize(have + n);
    if (n == 0)
      break;
  }

  // Sizes the library would choke on are refused before it sees them.
  const int ratio = check_sizes(data);
  // The obsolete navigation directory (NDIR) is never needed for one page,
  // and the library's URL normaliser loops forever on some names in it
  // ("/../"): its id is changed to one the library skips.
  for_each_chunk(data,
                 [&](const char *id, const unsigned char *, size_t)
                 {
                   if (!std::memcmp(id, "NDIR", 4))
                     std::memcpy(&data[(size_t)((const unsigned char *)id - data.data())], "ndir", 4);
                 });

  GP<DecodePort> port = new DecodePort;
  port->pool = DJVU::DataPool::create();
  for (size_t at = 0; at < data.size(); at += (size_t)1 << 30)
    port->pool->add_data(&data[at], (int)std::min(data.size() - at, (size_t)1 << 30));
  port->pool->set_eof();
  std::vector<unsigned char>().swap(data);

  GP<DJVU::DjVuDocument> doc = DJVU::DjVuDocument::create(port->pool, (DJVU::DjVuPort *)port);
  doc->wait_for_complete_init();
  if (!doc->is_init_ok())
  {
    std::string msg = translate(port->error());
    DJVU_API_THROW(msg.empty() ? "Not a DjVu document." : msg.c_str());
  }
  return decode_page_handle(port, doc, -1, ratio);
}

struct Params
{
  double gamma;
  int depth;
  int flags;
  int layer;
};

Params read_params(const djvu_render_params *in)
{
  djvu_render_params p;
  djvu_render_defaults(&p, (int)sizeof p);
  if (in && in->size > 0)
    std::memcpy(&p, in, std::min<size_t>((size_t)in->size, sizeof p));
  Params r;
  r.gamma = p.gamma > 0 ? p.gamma : 2.2;
  r.depth = p.depth < 1 ? 24 : p.depth;
  r.flags = p.flags;
  r.layer = p.layer;
  return r;
}

// A white grey image of w x h (rowsize w + 1): the empty layer.
void white_image(djvu_pixel_image *rec, int w, int h)
{
  const size_t bytes = DJVU_API_MUL(DJVU_API_ADD(w, 1), h);
  rec->data = (unsigned char *)djvu_malloc(bytes);
  if (!rec->data)
    DJVU_API_THROW("Failed to allocate memory");
  rec->origin = DJVU_ORIGIN_API;
  std::memset(rec->data, 255, bytes);
  rec->flags = DJVU_GRAY | DJVU_BOTTOMUP;
  rec->w = w;
  rec->h = h;
  rec->offset = 0;
  rec->pixsize = 1;
  rec->rowsize = w + 1;
}

bool all_grey(const djvu_pixel_image *rec)
{
  for (int y = 0; y < rec->h; y++)
  {
    const unsigned char *p = rec->data + rec->offset + (size_t)y * (size_t)rec->rowsize;
    for (int x = 0; x < rec->w; x++, p += rec->pixsize)
      if (p[0] != p[1] || p[1] != p[2])
        return false;
  }
  return true;
}

// A BITONAL grey image whose samples are not all 0 or 255 loses the flag
// (grey levels of a subsampled mask, or resampling).
void check_bitonal(djvu_pixel_image *rec)
{
  if (!(rec->flags & DJVU_BITONAL) || !(rec->flags & DJVU_GRAY))
    return;
  for (int y = 0; y < rec->h; y++)
  {
    const unsigned char *p = rec->data + rec->offset + (size_t)y * (size_t)rec->rowsize;
    for (int x = 0; x < rec->w; x++, p += rec->pixsize)
      if (*p != 0 && *p != 255)
      {
        rec->flags &= ~DJVU_BITONAL;
        return;
      }
  }
}

// Renders (x0,y0)-(x1,y1), given in pixels of the page reduced by s, into a
// new record.
// The decoded page of hc (not null) for a render of prm's layer.
DJVU::DjVuImage &checked_image(const Params &prm, const djvu_halfcoded_image *hc)
{
  Page *page = (Page *)hc->page;
  if (!page || !page->img)
    DJVU_API_THROW("djvu_render: djvu_halfcoded_image is corrupted");
  if (prm.layer < 0 || prm.layer > 3)
    DJVU_API_THROW("Unrecognized layer");
  return *page->img;
}

djvu_pixel_image *render_rect(const Params &prm, const djvu_halfcoded_image *hc, const DJVU::GRect &rect,
                              int q, const DJVU::GRect *all, int flags, int s, int p);

djvu_pixel_image *render_core(const Params &prm, const djvu_halfcoded_image *hc, int64_t x0, int64_t y0,
                              int64_t x1, int64_t y1, int s)
{
  if (s < 1)
    DJVU_API_THROW("Non-posative subsample value");
  int q = s, p = 1;
  if (s > 12)
  {
    for (q = 12; q >= 2 && s % q != 0; q--)
      ;
    if (q < 2)
      q = 1;
    p = s / q;
  }
  if (!hc)
    DJVU_API_THROW("djvu_render: djvu_halfcoded_image is required");
  if (x0 >= x1 || y0 >= y1)
    DJVU_API_THROW("Invalid rectangle specified.");
  DJVU::DjVuImage &img = checked_image(prm, hc);
  const int64_t W = img.get_real_width(), H = img.get_real_height();

  // The rectangle at the decode subsample q, within the page. The literal
  // rule (x0 / p, x1 / p + 1, W / q + 1) would shrink the rectangle p times
  // and reach one column past the page: the corners are scaled by p instead
  // and clipped to the page.
  const int64_t Wq = (W + q - 1) / q, Hq = (H + q - 1) / q;
  int64_t left = std::max<int64_t>(0, x0 * p), bottom = std::max<int64_t>(0, y0 * p);
  int64_t right = x1 >= W / s ? Wq : (x1 + 1) * p;
  int64_t top = y1 >= H / s ? Hq : (y1 + 1) * p;
  right = std::min(right, Wq);
  top = std::min(top, Hq);
  if (left >= right || bottom >= top)
    DJVU_API_THROW("Invalid rectangle specified.");
  int flags = prm.flags;
  if (!(flags & DJVU_RENDER_DETECT_GRAY) && left == 0 && bottom == 0 && right == Wq && top == Hq)
    flags |= DJVU_RENDER_DETECT_GRAY;
  const DJVU::GRect rect((int)left, (int)bottom, (unsigned)(right - left), (unsigned)(top - bottom));
  return render_rect(prm, hc, rect, q, nullptr, flags, s, p);
}

// The page's rectangle rect at decode subsample q, or (all non-null) rect
// of the page scaled by the library into all; then dithered, subsampled by
// p and given the resolution at subsample s.
djvu_pixel_image *render_rect(const Params &prm, const djvu_halfcoded_image *hc, const DJVU::GRect &rect,
                              int q, const DJVU::GRect *all, int flags, int s, int p)
{
  Page *page = (Page *)hc->page;
  DJVU::DjVuImage &img = *page->img;
  RecordOwner out;
  out.img = pix_new_record();
  djvu_pixel_image *rec = out.img;
  const int layer = prm.layer;
  // Layers 2 and 3 always take the colour path, so a page without colour
  // gives the white image for them rather than its mask.
  if (layer == DJVU_LAYER_BACKGROUND || layer == DJVU_LAYER_FOREGROUND ||
      (layer == DJVU_LAYER_ALL && page->has_colour()))
  {
    GP<DJVU::GPixmap> pm;
    if (layer == DJVU_LAYER_ALL)
      pm = all ? img.get_pixmap(rect, *all, prm.gamma) : img.get_pixmap(rect, q, prm.gamma);
    else if (layer == DJVU_LAYER_BACKGROUND)
      pm = all ? img.get_bg_pixmap(rect, *all, prm.gamma) : img.get_bg_pixmap(rect, q, prm.gamma);
    else
      pm = all ? img.get_fg_pixmap(rect, *all, prm.gamma) : img.get_fg_pixmap(rect, q, prm.gamma);
    if (pm)
    {
      if (prm.depth < 15)
        pm->ordered_666_dither(rect.xmin, rect.ymin);
      else if (prm.depth < 24)
        pm->ordered_32k_dither(rect.xmin, rect.ymin);
      pix_wrap_pixmap(rec, pm);
    }
    else if (layer == DJVU_LAYER_ALL)
      DJVU_API_THROW("djvu_render: djvu image is corrupted");
    else
      white_image(rec, rect.width(), rect.height());
  }
  else
  {
    GP<DJVU::GBitmap> bm = all ? img.get_bitmap(rect, *all, 1) : img.get_bitmap(rect, q, 1);
    if (!bm)
      DJVU_API_THROW("djvu_render: djvu image is corrupted");
    const int g = bm->get_grays();
    pix_wrap_bitmap(rec, bm);
    unsigned char map[256];
    for (int i = 0; i < 256; i++)
    {
      int level = std::min(i, g - 1);
      if (layer == DJVU_LAYER_MASK)
        map[i] = level < g - 1 ? 255 : 0;
      else
        map[i] = (unsigned char)((g - 1 - level) * 255 / (g - 1));
    }
    for (int y = 0; y < rec->h; y++)
    {
      unsigned char *r = rec->data + rec->offset + (size_t)y * (size_t)rec->rowsize;
      for (int x = 0; x < rec->w; x++)
        r[x] = map[r[x]];
    }
    // Only a two-level result is bitonal; grey levels of a reduced mask are not.
    rec->flags = DJVU_GRAY | DJVU_BOTTOMUP | ((layer == DJVU_LAYER_MASK || g == 2) ? DJVU_BITONAL : 0);
  }

  if (hc->dpi > 0)
  {
    rec->flags |= DJVU_HAS_DPI;
    rec->xdpi = rec->ydpi = (int32_t)(((int64_t)s + 2 * (int64_t)hc->dpi) / (2 * (int64_t)s));
  }
  if (!(rec->flags & DJVU_GRAY) && (flags & DJVU_RENDER_DETECT_GRAY) && all_grey(rec))
  {
    rec->flags = (rec->flags & ~(DJVU_BGR | DJVU_RGB)) | DJVU_GRAY;
    pix_canonicalize(rec);
  }
  if (p > 1)
    pix_subsample(rec, p);
  return out.release();
}

// The rectangle from the page's corner, rw x rh page pixels (it may reach
// past the page), scaled by the library into w x h: the page is decoded at
// the nearest subsample and the library's own scaler does the rest, without
// a full-size render first.
djvu_pixel_image *render_scaled(const Params &prm, const djvu_halfcoded_image *hc, int64_t rw, int64_t rh,
                                int64_t w, int64_t h)
{
  if (!hc)
    DJVU_API_THROW("djvu_render: djvu_halfcoded_image is required");
  DJVU::DjVuImage &img = checked_image(prm, hc);
  const int64_t W = img.get_real_width(), H = img.get_real_height();
  // The whole page in output pixels, and the part of the output on it.
  const int64_t aw = std::max<int64_t>(1, (W * w + rw / 2) / rw),
                ah = std::max<int64_t>(1, (H * h + rh / 2) / rh);
  if (aw > INT_MAX || ah > INT_MAX)
    DJVU_API_THROW("Image too large");
  const DJVU::GRect all(0, 0, (unsigned)aw, (unsigned)ah);
  const DJVU::GRect rect(0, 0, (unsigned)std::min(aw, w), (unsigned)std::min(ah, h));
  return render_rect(prm, hc, rect, 1, &all, prm.flags | DJVU_RENDER_DETECT_GRAY * (aw <= w && ah <= h), 1,
                     1);
}

djvu_pixel_image *render(const djvu_render_params *params, const djvu_halfcoded_image *hc, int x0, int y0,
                         int x1, int y1, int angle, int w, int h)
{
  library_ready();
  const Params prm = read_params(params);
  // An angle that is not a multiple of 90 is refused by the transform after
  // the render, so that the rectangle and layer checks come first.
  const int a = ((angle % 360) + 360) % 360;
  const int64_t ow = std::llabs((long long)w), oh = std::llabs((long long)h);
  if (ow > INT_MAX || oh > INT_MAX)
    DJVU_API_THROW("Image too large");
  const int64_t Wp = (a == 90 || a == 270) ? oh : ow;
  const int64_t Hp = (a == 90 || a == 270) ? ow : oh;
  const int64_t rw = (int64_t)x1 - x0 + 1, rh = (int64_t)y1 - y0 + 1;
  int s = 1;
  if (rw > 0 && rh > 0)
    for (int i = 15; i >= 2; i--)
      if (rw % (i * Wp) == 0 && rh % (i * Hp) == 0)
      {
        s = i;
        break;
      }
  RecordOwner out;
  if (s == 1 && a == 0 && (prm.flags & DJVU_RENDER_LIBRARY_SCALE) && x0 == 0 && y0 == 0 && rw > 0 && rh > 0 &&
      (rw != Wp || rh != Hp))
    out.img = render_scaled(prm, hc, rw, rh, Wp, Hp);
  else
    out.img = render_core(prm, hc, x0 / s, y0 / s, x1 / s, y1 / s, s);
  djvu_pixel_image *rec = out.img;
  pix_transform(rec, angle, (int)ow, (int)oh);
  check_bitonal(rec);
  if (rec->flags & DJVU_HAS_DPI)
  {
    const int64_t dpi = hc->dpi;
    rec->xdpi = (int32_t)((rw + 2 * Wp * dpi) / (2 * rw));
    rec->ydpi = (int32_t)((rh + 2 * Hp * dpi) / (2 * rh));
    if (rec->xdpi == 0 || rec->ydpi == 0)
      rec->flags &= ~DJVU_HAS_DPI;
  }
  return out.release();
}

} // namespace

extern "C" {

djvu_halfcoded_image *djvu_decode(djvu_read_routine read, void *userdata)
{
  return guard((djvu_halfcoded_image *)nullptr,
               [&] { return translated([&] { return decode(read, userdata); }); });
}

void djvu_halfcoded_image_free(djvu_halfcoded_image *image)
{
  if (!image)
    return;
  delete (Page *)image->page;
  djvu_free(image->description);
  djvu_free(image);
}

djvu_render_params *djvu_render_defaults(djvu_render_params *buffer, int size)
{
  return guard((djvu_render_params *)nullptr,
               [&]() -> djvu_render_params *
               {
                 const djvu_render_params defaults = {(int32_t)sizeof(djvu_render_params), 2.2f, 24, 0, 0, 0};
                 if (!buffer)
                 {
                   djvu_render_params *p = (djvu_render_params *)djvu_calloc(1, sizeof(djvu_render_params));
                   if (!p)
                     DJVU_API_THROW("Failed to allocate memory");
                   *p = defaults;
                   return p;
                 }
                 if (size >= (int)sizeof(djvu_render_params))
                 {
                   *buffer = defaults;
                   return buffer;
                 }
                 if (size < 5)
                   return nullptr;
                 djvu_render_params part = defaults;
                 part.size = size;
                 std::memcpy(buffer, &part, (size_t)size);
                 return buffer;
               });
}

djvu_pixel_image *djvu_render(const djvu_render_params *params, const djvu_halfcoded_image *image, int x0,
                              int y0, int x1, int y1, int angle, int w, int h)
{
  if (w == 0 || h == 0)
    return nullptr;
  return guard((djvu_pixel_image *)nullptr, [&]
               { return translated([&] { return render(params, image, x0, y0, x1, y1, angle, w, h); }); });
}

} // extern "C"

// Decoding and rendering of DjVu and IW44 pages: the handle, the render
// record defaults, subsample choice, layers, depth, grey detection and
// failures; and a pixel comparison with DjVuLibre's ddjvu on the corpus.
#include "djvuapi.h"

#include <gtest/gtest.h>

#include "pnm_util.h"
#include "report_util.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace
{

using apitest::corpus;
using apitest::g_messages;
using apitest::Reports;

std::vector<unsigned char> slurp(const std::string &path)
{
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct Mem
{
  const std::vector<unsigned char> *bytes;
  size_t at = 0;
  static int read(void *self, void *buf, int size)
  {
    Mem &m = *(Mem *)self;
    size_t n = std::min((size_t)size, m.bytes->size() - m.at);
    if (n)
      std::memcpy(buf, m.bytes->data() + m.at, n);
    m.at += n;
    return (int)n;
  }
};

struct HandleDel
{
  void operator()(djvu_halfcoded_image *h) const { djvu_halfcoded_image_free(h); }
};
using Handle = std::unique_ptr<djvu_halfcoded_image, HandleDel>;
struct ImageDel
{
  void operator()(djvu_pixel_image *p) const { djvu_pixel_image_free(p); }
};
using Image = std::unique_ptr<djvu_pixel_image, ImageDel>;

Handle decode_bytes(const std::vector<unsigned char> &bytes)
{
  Mem m{&bytes};
  return Handle(djvu_decode(Mem::read, &m));
}

Handle decode_file(const std::string &rel)
{
  std::vector<unsigned char> bytes = slurp(corpus(rel));
  EXPECT_FALSE(bytes.empty()) << rel;
  return decode_bytes(bytes);
}

// Whole page at subsample s: the rectangle rounded up to a multiple of s.
Image render_whole(const djvu_halfcoded_image *h, int s, int layer, int depth = 24, int flags = 1)
{
  djvu_render_params p;
  djvu_render_defaults(&p, sizeof p);
  p.layer = layer;
  p.depth = depth;
  p.flags = flags;
  int w = (h->width + s - 1) / s, hh = (h->height + s - 1) / s;
  return Image(djvu_render(&p, h, 0, 0, w * s - 1, hh * s - 1, 0, w, hh));
}

// Sample c (0 = red) of picture pixel (x, y from the top).
int sample(const djvu_pixel_image *img, int x, int y, int c)
{
  int row = (img->flags & DJVU_BOTTOMUP) ? img->h - 1 - y : y;
  const unsigned char *p = img->data + img->offset + (size_t)row * img->rowsize + (size_t)x * img->pixsize;
  if (img->flags & DJVU_GRAY)
    return p[0];
  if (img->flags & DJVU_RGB)
    return p[c];
  return p[2 - c];
}

struct Corpus
{
  const char *file;
  int w, h, dpi;
  char kind; // 'b' bitonal, 'c' compound, 'p' photo
};

const Corpus kCorpus[] = {
    {"djvu/compound-flower-fg44-bg44.djvu", 2550, 3300, 300, 'c'},
    {"djvu/compound-panels-cpaldjvu.djvu", 2550, 3300, 300, 'c'},
    {"djvu/form-scan-cjb2.djvu", 2453, 3369, 300, 'b'},
    {"djvu/formatdoc-p10-bitonal.djvu", 2550, 3300, 300, 'b'},
    {"djvu/formatdoc-p20-compound-fgbz.djvu", 2550, 3300, 300, 'c'},
    {"djvu/formatdoc-p61-table-bitonal.djvu", 2550, 3300, 300, 'b'},
    {"djvu/manual-p5-bitonal-400dpi.djvu", 3400, 4400, 400, 'b'},
    {"djvu/manual-ru-p3-fgbz-greybg-400dpi.djvu", 3307, 4678, 400, 'c'},
    {"djvu/photo-astronaut.iw44", 512, 512, 100, 'p'},
    {"djvu/photo-camera-grey.iw44", 512, 512, 100, 'p'},
    {"djvu/photo-coffee-bg44-only.djvu", 600, 400, 100, 'p'},
};

} // namespace

// ---------------------------------------------------------------------------
// djvu_render_defaults

TEST(RenderDefaults, BufferSizes)
{
  djvu_render_params p;
  std::memset(&p, 0x55, sizeof p);
  ASSERT_EQ(djvu_render_defaults(&p, 100), &p);
  EXPECT_EQ(p.size, 24);
  EXPECT_FLOAT_EQ(p.gamma, 2.2f);
  EXPECT_EQ(p.depth, 24);
  EXPECT_EQ(p.flags, 0);
  EXPECT_EQ(p.layer, 0);
  EXPECT_EQ(p.reserved, 0);
  EXPECT_EQ(sizeof(djvu_render_params), 24u);

  // A short buffer gets its first bytes, with its own size in the size field.
  std::memset(&p, 0x55, sizeof p);
  ASSERT_EQ(djvu_render_defaults(&p, 12), &p);
  EXPECT_EQ(p.size, 12);
  EXPECT_FLOAT_EQ(p.gamma, 2.2f);
  EXPECT_EQ(p.depth, 24);
  unsigned char rest[12];
  std::memset(rest, 0x55, sizeof rest);
  EXPECT_EQ(std::memcmp((unsigned char *)&p + 12, rest, 12), 0);

  EXPECT_EQ(djvu_render_defaults(&p, 4), nullptr);
  ASSERT_NE(djvu_render_defaults(&p, 5), nullptr);
  EXPECT_EQ(p.size, 5);

  djvu_render_params *fresh = djvu_render_defaults(nullptr, 0);
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(fresh->size, 24);
  EXPECT_EQ(fresh->depth, 24);
  djvu_free(fresh);
}

// ---------------------------------------------------------------------------
// djvu_decode

TEST(Decode, CorpusHandles)
{
  Reports r;
  for (const Corpus &c : kCorpus)
  {
    SCOPED_TRACE(c.file);
    Handle h = decode_file(c.file);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->width, c.w);
    EXPECT_EQ(h->height, c.h);
    EXPECT_EQ(h->reduced_width, c.w);
    EXPECT_EQ(h->reduced_height, c.h);
    EXPECT_EQ(h->dpi, c.dpi);
    EXPECT_GT(h->gamma, 0.2f);
    EXPECT_GT(h->memory, 0);
    ASSERT_NE(h->description, nullptr);
    EXPECT_GT(std::strlen(h->description), 10u);
    EXPECT_EQ(std::string(h->description).find('\003'), std::string::npos) << "untranslated message id";
    EXPECT_NE(h->page, nullptr);
  }
  EXPECT_TRUE(g_messages.empty());
}

TEST(Decode, StdioStreamWithHeaderCheck)
{
  Reports r;
  FILE *f = std::fopen(corpus("djvu/formatdoc-p10-bitonal.djvu").c_str(), "rb");
  ASSERT_TRUE(f);
  Handle h(djvu_decode(nullptr, f));
  std::fclose(f);
  ASSERT_TRUE(h);
  EXPECT_EQ(h->width, 2550);
  EXPECT_TRUE(g_messages.empty());
}

TEST(Decode, HeaderRefusalsWithoutReadRoutine)
{
  struct Case
  {
    std::string bytes, message;
  } cases[] = {
      {"AT&TFORM", "Failed to read DjVu file header"},
      {"GIF89a..........rest", "Not a DjVu document."},
      {std::string("AT&TFORM\0\0\0\x10", 12) + "DJVMDIRM",
       "Multipage Bundled DjVu Documents Are Not Supported Yet."},
      {std::string("AT&TFORM\0\0\0\x10", 12) + "DJVIDIRM", "DjVu Index Files Are Not Supported Yet."},
      {std::string("AT&TFORM\0\0\0\x10", 12) + "TIFFINFO", "This DjVu Files Is Not A Recognized Format."},
  };
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.message);
    Reports r;
    FILE *f = fmemopen((void *)c.bytes.data(), c.bytes.size(), "rb");
    ASSERT_TRUE(f);
    EXPECT_EQ(djvu_decode(nullptr, f), nullptr);
    std::fclose(f);
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0], c.message);
  }
  // The corpus bundle, read from a stdio stream.
  Reports r;
  FILE *f = std::fopen(corpus("bad/djvu-bundled-3pages.djvu").c_str(), "rb");
  ASSERT_TRUE(f);
  EXPECT_EQ(djvu_decode(nullptr, f), nullptr);
  std::fclose(f);
  ASSERT_EQ(g_messages.size(), 1u);
  EXPECT_EQ(g_messages[0], "Multipage Bundled DjVu Documents Are Not Supported Yet.");
}

TEST(Decode, DamagedFilesFailOnceThroughReadRoutine)
{
  const char *files[] = {"bad/djvu-include-missing.djvu", "bad/djvu-truncated.djvu", "bad/bmp-shortfile.bmp",
                         "bad/tiff-float64.tif"};
  for (const char *file : files)
  {
    SCOPED_TRACE(file);
    Reports r;
    EXPECT_FALSE(decode_file(file));
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_FALSE(g_messages[0].empty());
    EXPECT_EQ(g_messages[0].find('\003'), std::string::npos) << g_messages[0];
  }
  // The library's own message for a form it does not decode.
  Reports r;
  std::string odd("AT&TFORM\0\0\0\x0e"
                  "ABCDINFO\0\0\0\x02xy",
                  26);
  EXPECT_FALSE(decode_bytes(std::vector<unsigned char>(odd.begin(), odd.end())));
  ASSERT_EQ(g_messages.size(), 1u);
  EXPECT_NE(g_messages[0].find("DJVU or IW44 image was expected"), std::string::npos) << g_messages[0];
  // A bundle read through a routine is left to the library: its first page.
  g_messages.clear();
  Handle first = decode_file("bad/djvu-bundled-3pages.djvu");
  ASSERT_TRUE(first);
  EXPECT_EQ(first->width, 2550);
  EXPECT_TRUE(g_messages.empty());
  // An empty input and a failing read routine.
  g_messages.clear();
  std::vector<unsigned char> none;
  EXPECT_FALSE(decode_bytes(none));
  EXPECT_EQ(g_messages.size(), 1u);
  g_messages.clear();
  EXPECT_EQ(djvu_decode([](void *, void *, int) { return -1; }, nullptr), nullptr);
  EXPECT_EQ(g_messages.size(), 1u);
}

TEST(Decode, AbsurdSizesRefusedBeforeTheLibrary)
{
  struct Case
  {
    const char *file;
    size_t at; // offset of the 16-bit width, then height
  } cases[] = {
      {"djvu/formatdoc-p61-table-bitonal.djvu", 24}, // INFO
      {"djvu/photo-astronaut.iw44", 24},             // first PM44 chunk (no AT&T magic)
  };
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.file);
    Reports r;
    std::vector<unsigned char> bytes = slurp(corpus(c.file));
    ASSERT_GT(bytes.size(), c.at + 4);
    std::memset(&bytes[c.at], 0xff, 4);
    EXPECT_FALSE(decode_bytes(bytes));
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0],
              "Image too large: 65535 x 65535 pixels (4294.8 megapixels; the limit is 300 megapixels)");
  }
}

TEST(Decode, ReducedSizeFromInfoByte9)
{
  Reports r;
  std::vector<unsigned char> bytes = slurp(corpus("djvu/formatdoc-p61-table-bitonal.djvu"));
  ASSERT_GT(bytes.size(), 40u);
  ASSERT_EQ(std::memcmp(&bytes[16], "INFO", 4), 0);
  for (int k : {2, 3, 4})
  {
    bytes[24 + 9] = (unsigned char)k;
    Handle h = decode_bytes(bytes);
    ASSERT_TRUE(h);
    int div = (k == 2 || k == 3) ? k : 1;
    EXPECT_EQ(h->reduced_width, 2550 / div);
    EXPECT_EQ(h->reduced_height, 3300 / div);
    EXPECT_EQ(h->width, 2550);
  }
}

TEST(Decode, FreeNullDoesNothing)
{
  djvu_halfcoded_image_free(nullptr);
}

// ---------------------------------------------------------------------------
// djvu_render

TEST(Render, Failures)
{
  Handle h = decode_file("djvu/photo-coffee-bg44-only.djvu");
  ASSERT_TRUE(h);
  djvu_render_params p;
  djvu_render_defaults(&p, sizeof p);
  struct Case
  {
    const djvu_halfcoded_image *h;
    int layer, x0, y0, x1, y1, angle;
    const char *message;
  } cases[] = {
      {nullptr, 0, 0, 0, 599, 399, 0, "djvu_render: djvu_halfcoded_image is required"},
      {h.get(), 0, 10, 0, 10, 399, 0, "Invalid rectangle specified."},
      {h.get(), 0, 0, 50, 599, 20, 0, "Invalid rectangle specified."},
      {h.get(), 0, 0, 0, 599, 399, 45, "Can only transform 90,180, and 270 degrees."},
      // The angle is refused by the transform after the render: the
      // rectangle and layer checks win.
      {h.get(), 0, 10, 0, 10, 399, 45, "Invalid rectangle specified."},
      {h.get(), 7, 0, 0, 599, 399, -45, "Unrecognized layer"},
      {nullptr, 0, 0, 0, 599, 399, 30, "djvu_render: djvu_halfcoded_image is required"},
      {h.get(), 7, 0, 0, 599, 399, 0, "Unrecognized layer"},
      {h.get(), 1, 0, 0, 599, 399, 0, "djvu_render: djvu image is corrupted"}, // no mask
  };
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.message);
    Reports r;
    p.layer = c.layer;
    EXPECT_EQ(djvu_render(&p, c.h, c.x0, c.y0, c.x1, c.y1, c.angle, 100, 100), nullptr);
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0], c.message);
  }
  // A handle without page.
  Reports r;
  djvu_halfcoded_image empty{};
  EXPECT_EQ(djvu_render(nullptr, &empty, 0, 0, 9, 9, 0, 10, 10), nullptr);
  ASSERT_EQ(g_messages.size(), 1u);
  EXPECT_EQ(g_messages[0], "djvu_render: djvu_halfcoded_image is corrupted");
  // A zero output size is no render and no report.
  g_messages.clear();
  EXPECT_EQ(djvu_render(nullptr, h.get(), 0, 0, 599, 399, 0, 0, 100), nullptr);
  EXPECT_EQ(djvu_render(nullptr, h.get(), 0, 0, 599, 399, 0, 100, 0), nullptr);
  EXPECT_TRUE(g_messages.empty());
}

TEST(Render, SubsampleChoiceAndResolution)
{
  Reports r;
  Handle h = decode_file("djvu/formatdoc-p20-compound-fgbz.djvu");
  ASSERT_TRUE(h);
  djvu_render_params p;
  djvu_render_defaults(&p, sizeof p);
  // Whole page to half size: decoded at 2, no resampling, 150 dpi.
  Image half(djvu_render(&p, h.get(), 0, 0, 2549, 3299, 0, 1275, 1650));
  ASSERT_TRUE(half);
  EXPECT_EQ(half->w, 1275);
  EXPECT_EQ(half->h, 1650);
  EXPECT_EQ(half->pixsize, 3);
  EXPECT_EQ(half->flags & (DJVU_BGR | DJVU_BOTTOMUP), DJVU_BGR | DJVU_BOTTOMUP);
  ASSERT_TRUE(half->flags & DJVU_HAS_DPI);
  EXPECT_EQ(half->xdpi, 150);
  EXPECT_EQ(half->ydpi, 150);
  Image half2 = render_whole(h.get(), 2, 0);
  ASSERT_TRUE(half2);
  EXPECT_EQ(std::memcmp(half->data + half->offset, half2->data + half2->offset, (size_t)1275 * 1650 * 3), 0);

  // An output size that no subsample gives: resampled to exactly that size.
  Image odd(djvu_render(&p, h.get(), 0, 0, 2549, 3299, 0, 500, 647));
  ASSERT_TRUE(odd);
  EXPECT_EQ(odd->w, 500);
  EXPECT_EQ(odd->h, 647);
  EXPECT_EQ(odd->xdpi, (2550 + 2 * 500 * 300) / (2 * 2550));
  EXPECT_EQ(odd->ydpi, (3300 + 2 * 647 * 300) / (2 * 3300));

  // Quarter turns exchange the axes: the rectangle's width becomes the height.
  Image turned(djvu_render(&p, h.get(), 0, 0, 2549, 3299, 90, 1650, 1275));
  ASSERT_TRUE(turned);
  EXPECT_EQ(turned->w, 1650);
  EXPECT_EQ(turned->h, 1275);
  EXPECT_EQ(turned->xdpi, 150);
}

TEST(Render, SubsampleAboveTwelveDecodesAtADivisorAndReduces)
{
  Reports r;
  Handle h = decode_file("djvu/compound-flower-fg44-bg44.djvu");
  ASSERT_TRUE(h);
  auto same = [](const djvu_pixel_image *a, const djvu_pixel_image *b)
  {
    ASSERT_EQ(a->w, b->w);
    ASSERT_EQ(a->h, b->h);
    ASSERT_EQ(a->flags & (DJVU_GRAY | DJVU_BOTTOMUP), b->flags & (DJVU_GRAY | DJVU_BOTTOMUP));
    for (int y = 0; y < a->h; y++)
      for (int x = 0; x < a->w; x++)
        for (int c = 0; c < 3; c++)
          ASSERT_EQ(sample(a, x, y, c), sample(b, x, y, c)) << x << "," << y;
  };
  // 14 decodes at 7 and halves; 15 at 5 and divides by 3.
  for (int s : {14, 15})
  {
    SCOPED_TRACE(s);
    const int q = s == 14 ? 7 : 5;
    Image big = render_whole(h.get(), s, 0);
    ASSERT_TRUE(big);
    EXPECT_EQ(big->w, (2550 + s - 1) / s);
    EXPECT_EQ(big->h, (3300 + s - 1) / s);
    EXPECT_EQ(big->xdpi, (s + 600) / (2 * s));
    Image small = render_whole(h.get(), q, 0);
    ASSERT_TRUE(small);
    ASSERT_EQ(djvu_pixel_subsample(small.get(), s / q), small.get());
    same(big.get(), small.get());
  }

  // A part of the page at 14: the matching part at 7, halved.
  djvu_render_params p;
  djvu_render_defaults(&p, sizeof p);
  Image part(djvu_render(&p, h.get(), 280, 700, 839, 1539, 0, 40, 60));
  ASSERT_TRUE(part);
  Image part7(djvu_render(&p, h.get(), 280, 700, 839, 1539, 0, 80, 120));
  ASSERT_TRUE(part7);
  ASSERT_EQ(djvu_pixel_subsample(part7.get(), 2), part7.get());
  same(part.get(), part7.get());
  EXPECT_TRUE(g_messages.empty());
}

TEST(Render, LayersOfMaskOnlyAndCompoundPages)
{
  Reports r;
  Handle bitonal = decode_file("djvu/formatdoc-p61-table-bitonal.djvu");
  Handle compound = decode_file("djvu/formatdoc-p20-compound-fgbz.djvu");
  ASSERT_TRUE(bitonal && compound);
  djvu_render_params p;
  djvu_render_defaults(&p, sizeof p);

  // Background and foreground of a mask-only page: white grey images of the
  // rectangle's size.
  for (int layer : {2, 3})
  {
    p.layer = layer;
    Image white(djvu_render(&p, bitonal.get(), 0, 0, 2549, 3299, 0, 850, 1100));
    ASSERT_TRUE(white);
    EXPECT_TRUE(white->flags & DJVU_GRAY);
    EXPECT_EQ(white->w, 850);
    EXPECT_EQ(white->h, 1100);
    for (int y = 0; y < white->h; y += 7)
      for (int x = 0; x < white->w; x++)
        ASSERT_EQ(sample(white.get(), x, y, 0), 255);
  }

  // The mask of a compound page is pure black and white at every subsample.
  for (int s : {1, 3})
  {
    Image mask = render_whole(compound.get(), s, 1);
    ASSERT_TRUE(mask);
    EXPECT_EQ(mask->flags & (DJVU_GRAY | DJVU_BITONAL), DJVU_GRAY | DJVU_BITONAL);
    std::set<int> values;
    for (int y = 0; y < mask->h; y++)
      for (int x = 0; x < mask->w; x++)
        values.insert(sample(mask.get(), x, y, 0));
    EXPECT_EQ(values, (std::set<int>{0, 255}));
  }

  // All layers of a mask-only page: bitonal at full size, grey levels (not
  // flagged bitonal) when reduced.
  Image full = render_whole(bitonal.get(), 1, 0);
  ASSERT_TRUE(full);
  EXPECT_EQ(full->flags & (DJVU_GRAY | DJVU_BITONAL), DJVU_GRAY | DJVU_BITONAL);
  Image reduced = render_whole(bitonal.get(), 3, 0);
  ASSERT_TRUE(reduced);
  EXPECT_EQ(reduced->flags & (DJVU_GRAY | DJVU_BITONAL), DJVU_GRAY);
  EXPECT_TRUE(g_messages.empty());
}

TEST(Render, PartOfThePageMatchesTheWholeMask)
{
  Reports r;
  Handle h = decode_file("djvu/formatdoc-p10-bitonal.djvu");
  ASSERT_TRUE(h);
  djvu_render_params p;
  djvu_render_defaults(&p, sizeof p);
  p.layer = 1;
  Image whole(djvu_render(&p, h.get(), 0, 0, 2549, 3299, 0, 2550, 3300));
  // y counts from the bottom of the page, as in the library.
  Image part(djvu_render(&p, h.get(), 300, 1000, 899, 1799, 0, 600, 800));
  ASSERT_TRUE(whole && part);
  for (int y = 0; y < 800; y++)
    for (int x = 0; x < 600; x++)
      ASSERT_EQ(sample(part.get(), x, y, 0), sample(whole.get(), 300 + x, 3300 - 1800 + y, 0))
          << x << "," << y;
}

TEST(Render, DepthGreyDetectionAndGamma)
{
  Reports r;
  Handle grey = decode_file("djvu/photo-camera-grey.iw44");
  Handle colour = decode_file("djvu/photo-astronaut.iw44");
  ASSERT_TRUE(grey && colour);
  // A grey photo comes back GRAY with the flag, as BGR without (part of the page).
  djvu_render_params p;
  djvu_render_defaults(&p, sizeof p);
  p.flags = 1;
  Image g1(djvu_render(&p, grey.get(), 0, 0, 255, 255, 0, 256, 256));
  ASSERT_TRUE(g1);
  EXPECT_TRUE(g1->flags & DJVU_GRAY);
  EXPECT_EQ(g1->pixsize, 1);
  p.flags = 0;
  Image g0(djvu_render(&p, grey.get(), 0, 0, 255, 255, 0, 256, 256));
  ASSERT_TRUE(g0);
  EXPECT_FALSE(g0->flags & DJVU_GRAY);
  EXPECT_EQ(g0->pixsize, 3);
  for (int y = 0; y < 256; y += 5)
    for (int x = 0; x < 256; x++)
      ASSERT_EQ(sample(g1.get(), x, y, 0), sample(g0.get(), x, y, 1));
  // Whole-page renders detect grey even without the flag.
  Image gw = render_whole(grey.get(), 1, 0, 24, 0);
  ASSERT_TRUE(gw);
  EXPECT_TRUE(gw->flags & DJVU_GRAY);
  Image cw = render_whole(colour.get(), 1, 0, 24, 1);
  ASSERT_TRUE(cw);
  EXPECT_FALSE(cw->flags & DJVU_GRAY);

  // Dithered depths: 216 colours (multiples of 0x33), 32768 colours.
  struct Depth
  {
    int depth;
    bool (*ok)(int);
  } depths[] = {
      {8, [](int v) { return v % 0x33 == 0; }},
      {1, [](int v) { return v % 0x33 == 0; }},
      {16, [](int v) { return (v & 7) == 3 || v == 255; }},
  };
  for (const Depth &d : depths)
  {
    SCOPED_TRACE(d.depth);
    Image img = render_whole(colour.get(), 2, 0, d.depth);
    ASSERT_TRUE(img);
    for (int y = 0; y < img->h; y++)
      for (int x = 0; x < img->w; x++)
        for (int c = 0; c < 3; c++)
          ASSERT_TRUE(d.ok(sample(img.get(), x, y, c))) << sample(img.get(), x, y, c);
  }

  // Gamma changes the picture; a gamma of 0 means 2.2.
  Image base = render_whole(colour.get(), 4, 0);
  djvu_render_params q;
  djvu_render_defaults(&q, sizeof q);
  q.gamma = 0;
  Image zero(djvu_render(&q, colour.get(), 0, 0, 511, 511, 0, 128, 128));
  q.gamma = 1.0f;
  Image lighter(djvu_render(&q, colour.get(), 0, 0, 511, 511, 0, 128, 128));
  ASSERT_TRUE(base && zero && lighter);
  EXPECT_EQ(std::memcmp(base->data, zero->data, 128 * 128 * 3), 0);
  EXPECT_NE(std::memcmp(base->data, lighter->data, 128 * 128 * 3), 0);
  EXPECT_TRUE(g_messages.empty());
}

// ---------------------------------------------------------------------------
// Comparison with ddjvu

// Under the sanitizers the library runs many times slower: full-size renders
// of the large pages are left to the ordinary build there.
#if defined(__SANITIZE_ADDRESS__)
#define RENDER_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RENDER_TEST_SANITIZED 1
#endif
#endif
#ifndef RENDER_TEST_SANITIZED
#define RENDER_TEST_SANITIZED 0
#endif

namespace
{

bool run_ddjvu(const std::string &file, const char *mode, int s, Pnm &out)
{
  const char *tmp = std::getenv("VELLUM_TEST_TMP");
  std::string path = std::string(tmp ? tmp : "/tmp") + "/ddjvu-out.pnm";
  std::remove(path.c_str());
  std::string cmd = "ddjvu -format=pnm -aspect=no -mode=" + std::string(mode) +
                    " -subsample=" + std::to_string(s) + " '" + file + "' '" + path + "' 2>/dev/null";
  if (std::system(cmd.c_str()) != 0)
    return false;
  return read_pnm(path, out);
}

} // namespace

TEST(RenderVsDdjvu, CorpusAllLayersSubsamplesOneToFour)
{
  if (std::system("ddjvu --help >/dev/null 2>&1") == -1 ||
      std::system("command -v ddjvu >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "ddjvu not installed";
  Reports r;
  const char *modes[] = {"color", "black", "background", "foreground"};
  for (const Corpus &c : kCorpus)
  {
    Handle h = decode_file(c.file);
    ASSERT_TRUE(h) << c.file;
    for (int s = 1; s <= 4; s++)
      for (int layer = 0; layer < 4; layer++)
      {
        if (RENDER_TEST_SANITIZED && s == 1 && (int64_t)c.w * c.h > 1000000)
          continue;
        SCOPED_TRACE(std::string(c.file) + " subsample " + std::to_string(s) + " layer " +
                     std::to_string(layer));
        g_messages.clear();
        Image ours = render_whole(h.get(), s, layer);
        const int ew = (c.w + s - 1) / s, eh = (c.h + s - 1) / s;
        // What the library gives for the layer decides what to compare.
        bool white = (layer == 2 && c.kind == 'b') || (layer == 3 && c.kind != 'c');
        if (layer == 1 && c.kind == 'p')
        {
          EXPECT_FALSE(ours); // no mask to show
          EXPECT_EQ(g_messages.size(), 1u);
          continue;
        }
        ASSERT_TRUE(ours);
        ASSERT_EQ(ours->w, ew);
        ASSERT_EQ(ours->h, eh);
        if (white)
        {
          for (int y = 0; y < eh; y += 13)
            for (int x = 0; x < ew; x++)
              ASSERT_EQ(sample(ours.get(), x, y, 0), 255);
          continue;
        }
        Pnm ref;
        ASSERT_TRUE(run_ddjvu(corpus(c.file), modes[layer], s, ref));
        ASSERT_EQ(ref.w, ew);
        ASSERT_EQ(ref.h, eh);
        const bool maskpath = c.kind == 'b' || layer == 1;
        long bad = 0;
        for (int y = 0; y < eh && bad < 5; y++)
          for (int x = 0; x < ew && bad < 5; x++)
            for (int ch = 0; ch < 3; ch++)
            {
              int a = sample(ours.get(), x, y, ch), b = ref.at(x, y, ch);
              bool same = layer == 1 ? ((a == 0) == (b == 0)) : maskpath ? std::abs(a - b) <= 1 : a == b;
              if (!same)
              {
                ADD_FAILURE() << "pixel " << x << "," << y << " channel " << ch << ": ours " << a << " ddjvu "
                              << b;
                bad++;
                break;
              }
            }
      }
  }
}

// With DJVU_RENDER_LIBRARY_SCALE a fraction of the page that is no subsample
// is the library's own scaling, as ddjvu gives it for that size, with the
// resolution scaled alike; without the flag the same call resamples a
// full-size render (another result).
TEST(RenderVsDdjvu, LibraryScaledFractionsMatchDdjvuAtThatSize)
{
  if (std::system("command -v ddjvu >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "ddjvu not installed";
  const char *tmp = std::getenv("VELLUM_TEST_TMP");
  const std::string path = std::string(tmp ? tmp : "/tmp") + "/ddjvu-scaled.pnm";
  struct Case
  {
    const char *file;
    int num, den, layer;
    const char *mode;
  } const cases[] = {
      {"djvu/compound-flower-fg44-bg44.djvu", 2, 3, 0, "color"},
      {"djvu/formatdoc-p20-compound-fgbz.djvu", 3, 4, 0, "color"},
      {"djvu/form-scan-cjb2.djvu", 2, 3, 0, "color"},
      {"djvu/manual-ru-p3-fgbz-greybg-400dpi.djvu", 2, 5, 2, "background"},
      {"djvu/photo-coffee-bg44-only.djvu", 2, 3, 0, "color"},
  };
  for (const Case &c : cases)
  {
    SCOPED_TRACE(std::string(c.file) + " " + std::to_string(c.num) + "/" + std::to_string(c.den));
    Handle h = decode_file(c.file);
    ASSERT_TRUE(h);
    const int w = (h->width * c.num + c.den / 2) / c.den, hh = (h->height * c.num + c.den / 2) / c.den;
    djvu_render_params p;
    djvu_render_defaults(&p, sizeof p);
    p.layer = c.layer;
    p.flags = DJVU_RENDER_DETECT_GRAY | DJVU_RENDER_LIBRARY_SCALE;
    Image ours(djvu_render(&p, h.get(), 0, 0, h->width - 1, h->height - 1, 0, w, hh));
    ASSERT_TRUE(ours);
    ASSERT_EQ(ours->w, w);
    ASSERT_EQ(ours->h, hh);
    EXPECT_NEAR(ours->xdpi, h->dpi * c.num / c.den, 1);
    std::remove(path.c_str());
    const std::string cmd = "ddjvu -format=pnm -aspect=no -mode=" + std::string(c.mode) +
                            " -size=" + std::to_string(w) + "x" + std::to_string(hh) + " '" + corpus(c.file) +
                            "' '" + path + "' 2>/dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    Pnm ref;
    ASSERT_TRUE(read_pnm(path, ref));
    ASSERT_EQ(ref.w, w);
    ASSERT_EQ(ref.h, hh);
    long bad = 0;
    for (int y = 0; y < hh && bad < 5; y++)
      for (int x = 0; x < w && bad < 5; x++)
        for (int ch = 0; ch < 3; ch++)
          if (std::abs(sample(ours.get(), x, y, ch) - ref.at(x, y, ch)) > 1)
          {
            ADD_FAILURE() << "pixel " << x << "," << y << " channel " << ch << ": ours "
                          << sample(ours.get(), x, y, ch) << " ddjvu " << ref.at(x, y, ch);
            bad++;
            break;
          }
  }
}

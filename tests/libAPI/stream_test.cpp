// The byte stream over caller routines, the PNM stream and pixel image to
// run image.
#include "ApiError.h"
#include "StreamInt.h"
#include "djvuapi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "GException.h"

using vellum_api::PnmStream;

namespace
{

// A source over a byte string that hands out at most `chunk` bytes per call.
struct Source
{
  std::string bytes;
  size_t chunk = 1 << 20;
  size_t at = 0;
  static int read(void *self, void *buf, int size)
  {
    Source &s = *(Source *)self;
    size_t n = std::min({(size_t)size, s.chunk, s.bytes.size() - s.at});
    if (n)
      std::memcpy(buf, s.bytes.data() + s.at, n);
    s.at += n;
    return (int)n;
  }
};

// The message of whatever the call raised ("" when nothing).
template <class F> std::string raised(F &&f)
{
  try
  {
    f();
  }
  catch (const vellum_api::Error &e)
  {
    return e.message;
  }
  catch (const DJVU::GException &e)
  {
    return e.get_cause();
  }
  return "";
}

struct Runs
{
  djvu_run_image *img;
  explicit Runs(djvu_run_image *i) : img(i) {}
  ~Runs() { djvu_run_image_free(img); }
  int bytes_per_entry() const { return img->runtype == 0 ? 1 : img->runtype == 1 ? 2 : 4; }
  // Expands the runs back into samples (grey value, or r,g,b).
  std::vector<std::vector<int>> samples() const
  {
    std::vector<std::vector<int>> out;
    const int e = bytes_per_entry();
    for (int i = 0; i < img->count; i++)
    {
      const unsigned char *p = img->data + (size_t)i * e;
      int len = img->runtype == 0 ? (p[0] & 0x7f) + 1 : p[0] + 1;
      std::vector<int> v;
      if (img->runtype == 0)
        v = {(p[0] & 0x80) ? 255 : 0};
      else if (img->runtype == 1)
        v = {p[1]};
      else
        v = {p[1], p[2], p[3]};
      for (int k = 0; k < len; k++)
        out.push_back(v);
    }
    return out;
  }
};

djvu_run_image *convert(int w, int h, char type, int maxval, const std::string &bytes, bool swap = false,
                        size_t chunk = 1 << 20)
{
  PnmStream pnm(w, h, type, maxval, 300, 200);
  Source s{bytes, chunk};
  return pnm.convert(&Source::read, &s, swap);
}

} // namespace

// ---------------------------------------------------------------------------
// DjVu_IOSubByteStream

TEST(IOSubByteStream, ReadTellAndForwardSeek)
{
  Source s{std::string(600, 'x'), 100};
  for (size_t i = 0; i < s.bytes.size(); i++)
    s.bytes[i] = (char)(i % 251);
  DJVU::GP<DJVU::ByteStream> bs = new DjVu_IOSubByteStream(&Source::read, nullptr, &s);
  char buf[64];
  EXPECT_EQ(bs->read(buf, 10), 10u);
  EXPECT_EQ(bs->tell(), 10);
  // A seek to the current position reads nothing.
  EXPECT_EQ(bs->seek(10, SEEK_SET), 0);
  EXPECT_EQ(s.at, 10u);
  EXPECT_EQ(bs->seek(290, SEEK_CUR), 0);
  EXPECT_EQ(bs->tell(), 300);
  ASSERT_EQ(bs->read(buf, 1), 1u);
  EXPECT_EQ((unsigned char)buf[0], 300 % 251);

  struct Case
  {
    long offset;
    int whence;
    const char *message;
  } cases[] = {
      {5, SEEK_SET, "Cannot seek backwards in DjVu_IOSubByteStream::seek()"},
      {-1, SEEK_CUR, "Cannot seek backwards in DjVu_IOSubByteStream::seek()"},
      {0, SEEK_END, "Illegal argument for DjVu_IOSubByteStream::seek()"},
      {1000, SEEK_SET, DJVU::ByteStream::EndOfFile}, // the library's "EOF"
  };
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(raised([&] { bs->seek(c.offset, c.whence); }), c.message);
  }
  // The stream contract's quiet form.
  EXPECT_EQ(bs->seek(0, SEEK_END, true), -1);
}

TEST(IOSubByteStream, ReadErrorsAndStdio)
{
  DJVU::GP<DJVU::ByteStream> bad =
      new DjVu_IOSubByteStream([](void *, void *, int) { return -1; }, nullptr, nullptr);
  char buf[8];
  EXPECT_EQ(raised([&] { bad->read(buf, 8); }), "DjVu_IOSubByteStream: unable to read requested data");

  FILE *f = std::tmpfile();
  ASSERT_TRUE(f);
  DJVU::GP<DJVU::ByteStream> out = new DjVu_IOSubByteStream(nullptr, nullptr, f);
  EXPECT_EQ(out->write("hello", 5), 5u);
  EXPECT_EQ(out->tell(), 5);
  std::rewind(f);
  DJVU::GP<DJVU::ByteStream> in = new DjVu_IOSubByteStream(nullptr, nullptr, f);
  EXPECT_EQ(in->read(buf, 8), 5u);
  EXPECT_EQ(std::string(buf, 5), "hello");
  EXPECT_EQ(in->read(buf, 8), 0u);
  std::fclose(f);
}

TEST(IOSubByteStream, ShortWriteFails)
{
  struct Sink
  {
    std::string got;
    int limit;
    static int write(void *self, const void *buf, int size)
    {
      Sink &s = *(Sink *)self;
      int n = std::min(size, s.limit);
      s.got.append((const char *)buf, (size_t)n);
      return n;
    }
  };
  Sink ok{"", 1 << 20};
  DJVU::GP<DJVU::ByteStream> good = new DjVu_IOSubByteStream(nullptr, &Sink::write, &ok);
  EXPECT_EQ(good->write("abcdef", 6), 6u);
  EXPECT_EQ(ok.got, "abcdef");
  EXPECT_EQ(good->tell(), 6);

  Sink shortsink{"", 3};
  DJVU::GP<DJVU::ByteStream> bad = new DjVu_IOSubByteStream(nullptr, &Sink::write, &shortsink);
  EXPECT_EQ(raised([&] { bad->write("abcdef", 6); }), "DjVu_IOSubByteStream: unable to write requested data");
}

// ---------------------------------------------------------------------------
// PNM stream

TEST(PnmStream, UniformGreyRunsOf256)
{
  for (int n : {1, 255, 256, 257, 1000})
  {
    SCOPED_TRACE(n);
    Runs r(convert(n, 3, '5', 255, std::string((size_t)n * 3, '\x80'), false, 7));
    EXPECT_EQ(r.img->runtype, 1);
    EXPECT_EQ(r.img->count, (n * 3 + 255) / 256);
    EXPECT_EQ(r.img->width, n);
    EXPECT_EQ(r.img->height, 3);
    EXPECT_EQ(r.img->xdpi, 300);
    EXPECT_EQ(r.img->ydpi, 200);
    auto s = r.samples();
    ASSERT_EQ(s.size(), (size_t)n * 3);
    for (auto &v : s)
      ASSERT_EQ(v[0], 0x80);
  }
}

TEST(PnmStream, SampleTypesAndScaling)
{
  struct Case
  {
    const char *name;
    int w, h;
    char type;
    int maxval;
    std::string bytes;
    bool swap;
    int runtype;
    std::vector<std::vector<int>> expect;
  } cases[] = {
      {"raw grey, runs across rows",
       2,
       2,
       '5',
       255,
       std::string("\x10\x20\x20\x20", 4),
       false,
       1,
       {{16}, {32}, {32}, {32}}},
      {"raw grey maxval 15", 3, 1, '5', 15, std::string("\x00\x0f\x07", 3), false, 1, {{0}, {255}, {119}}},
      {"raw colour", 2, 1, '6', 255, "\x01\x02\x03\x04\x05\x06", false, 2, {{1, 2, 3}, {4, 5, 6}}},
      {"raw colour swapped", 2, 1, '6', 255, "\x01\x02\x03\x04\x05\x06", true, 2, {{3, 2, 1}, {6, 5, 4}}},
      {"raw 16-bit grey", 2, 1, '5', 65535, std::string("\xff\xff\x00\x00", 4), false, 1, {{254}, {0}}},
      {"plain grey", 3, 1, '2', 255, " 0\n12 255 ", false, 1, {{0}, {12}, {255}}},
      {"plain grey maxval 1", 2, 1, '2', 1, "1 0", false, 1, {{255}, {0}}},
      {"plain colour", 1, 2, '3', 15, "15 0 7\n1 2 3", false, 2, {{255, 0, 119}, {17, 34, 51}}},
      {"plain bitonal", 3, 2, '1', 1, "101\n0 1 1", false, 0, {{0}, {255}, {0}, {255}, {0}, {0}}},
      {"raw bitonal, padded rows",
       10,
       2,
       '4',
       1,
       std::string("\xA0\x40\xFF\xC0", 4),
       false,
       0,
       {{0}, {255}, {0}, {255}, {255}, {255}, {255}, {255}, {255}, {0}, //
        {0}, {0},   {0}, {0},   {0},   {0},   {0},   {0},   {0},   {0}}},
  };
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.name);
    // Delivered whole and one byte at a time.
    for (size_t chunk : {(size_t)1 << 20, (size_t)1})
    {
      Runs r(convert(c.w, c.h, c.type, c.maxval, c.bytes, c.swap, chunk));
      EXPECT_EQ(r.img->runtype, c.runtype);
      EXPECT_EQ(r.samples(), c.expect);
    }
  }
}

TEST(PnmStream, LongPlainTextAcrossBufferRefills)
{
  // Far more than the 512-byte first buffer, numbers split between reads.
  const int n = 5000;
  std::string text;
  for (int i = 0; i < n; i++)
    text += std::to_string(i % 256) + ((i % 17) ? " " : "\n");
  Runs r(convert(n, 1, '2', 255, text, false, 333));
  auto s = r.samples();
  ASSERT_EQ(s.size(), (size_t)n);
  for (int i = 0; i < n; i++)
    ASSERT_EQ(s[i][0], i % 256) << i;
}

TEST(PnmStream, ShortInputAndErrors)
{
  // The input ends early: the runs cover what arrived.
  Runs r(convert(4, 4, '5', 255, "\x01\x01\x02", false, 2));
  EXPECT_EQ(r.samples().size(), 3u);

  PnmStream pnm(2, 2, '5', 255, 0, 0);
  EXPECT_EQ(raised([&] { pnm.convert(nullptr, nullptr, false); }), "No Input specified");
  EXPECT_EQ(raised([&] { pnm.convert([](void *, void *, int) { return -1; }, nullptr, false); }),
            "I/O Read Error");
  PnmStream empty(0, 5, '5', 255, 0, 0);
  Source s{"x"};
  EXPECT_EQ(raised([&] { empty.convert(&Source::read, &s, false); }), "No Input specified");
}

// ---------------------------------------------------------------------------
// Pixel image to run image

TEST(PixelToRuns, RowOrderChannelsAndSquarePixels)
{
  // 3 x 2 grey, bottom-up with padded rows: the top row comes first.
  unsigned char grey[] = {7, 8, 9, 0, 1, 2, 3, 0};
  djvu_pixel_image g{};
  g.flags = DJVU_GRAY | DJVU_BOTTOMUP;
  g.w = 3;
  g.h = 2;
  g.rowsize = 4;
  g.pixsize = 1;
  g.data = grey;
  Runs rg(vellum_api::pixel_to_run_image(&g));
  EXPECT_EQ(rg.img->runtype, 1);
  EXPECT_EQ(rg.img->xdpi, 0);
  EXPECT_EQ(rg.samples(), (std::vector<std::vector<int>>{{1}, {2}, {3}, {7}, {8}, {9}}));

  // RGB with pixsize 4 keeps the first three bytes as red, green, blue; BGR
  // is swapped back.
  unsigned char rgb[] = {10, 20, 30, 99, 40, 50, 60, 99};
  djvu_pixel_image c{};
  c.flags = DJVU_RGB | DJVU_TOPDOWN;
  c.w = 2;
  c.h = 1;
  c.rowsize = 8;
  c.pixsize = 4;
  c.data = rgb;
  Runs rc(vellum_api::pixel_to_run_image(&c));
  EXPECT_EQ(rc.samples(), (std::vector<std::vector<int>>{{10, 20, 30}, {40, 50, 60}}));
  c.flags = DJVU_BGR;
  Runs rb(vellum_api::pixel_to_run_image(&c));
  EXPECT_EQ(rb.samples(), (std::vector<std::vector<int>>{{30, 20, 10}, {60, 50, 40}}));

  // 100 x 100 colour at 200 x 100 dpi: 100 x 200 square pixels at 200 dpi.
  std::vector<unsigned char> px(100 * 100 * 3, 0x40);
  djvu_pixel_image sq{};
  sq.flags = DJVU_BGR | DJVU_HAS_DPI;
  sq.w = 100;
  sq.h = 100;
  sq.rowsize = 300;
  sq.pixsize = 3;
  sq.data = px.data();
  sq.xdpi = 200;
  sq.ydpi = 100;
  Runs rs(vellum_api::pixel_to_run_image(&sq));
  EXPECT_EQ(rs.img->width, 100);
  EXPECT_EQ(rs.img->height, 200);
  EXPECT_EQ(rs.img->xdpi, 200);
  EXPECT_EQ(rs.img->ydpi, 200);
  EXPECT_EQ(rs.samples().size(), 100u * 200u);
  EXPECT_EQ(rs.img->count, (100 * 200 + 255) / 256);
  // The caller's record is untouched.
  EXPECT_EQ(sq.w, 100);
  EXPECT_EQ(sq.h, 100);
  EXPECT_EQ(sq.data, px.data());

  // An invalid record is refused with the validation message.
  djvu_pixel_image bad{};
  bad.flags = DJVU_GRAY;
  bad.w = 1;
  bad.h = 1;
  EXPECT_EQ(raised([&] { djvu_run_image_free(vellum_api::pixel_to_run_image(&bad)); }),
            "Gray Pixel images must have pixsize greater than 0");
}

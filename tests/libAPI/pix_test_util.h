// Helpers for the pixel-image tests: owned test images and captured reports.
#ifndef VELLUM_TESTS_PIX_TEST_UTIL_H
#define VELLUM_TESTS_PIX_TEST_UTIL_H

#include "PixImageInt.h"
#include "djvuapi.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pixtest
{

struct Report
{
  std::string message, file;
};

inline std::vector<Report> &reports()
{
  static std::vector<Report> r;
  return r;
}

// Installs a recording callback for the scope.
class Capture
{
public:
  Capture()
  {
    reports().clear();
    old_ = djvu_set_error_callback([](const char *m, const char *f, int) { reports().push_back({m, f}); });
  }
  ~Capture() { djvu_set_error_callback(old_); }
  size_t count() const { return reports().size(); }
  std::string last() const { return reports().empty() ? std::string() : reports().back().message; }
  std::string last_file() const { return reports().empty() ? std::string() : reports().back().file; }

private:
  djvu_error_callback old_;
};

// A caller-owned image over a vector. Picture rows are given top first as
// samples (pixsize bytes per pixel); stored with the requested layout.
struct TestImage
{
  std::vector<unsigned char> buf;
  djvu_pixel_image img{};

  TestImage(int w, int h, int pixsize, int flags, const std::vector<int> &samples, int pad = 0,
            int offset = 0)
  {
    img.flags = flags;
    img.w = w;
    img.h = h;
    img.pixsize = pixsize;
    img.rowsize = w * pixsize + pad;
    img.offset = offset;
    buf.assign((size_t)offset + (size_t)img.rowsize * h + 16, 0xEE);
    img.data = buf.data();
    img.origin = nullptr;
    for (int y = 0; y < h; y++)
    {
      unsigned char *row = vellum_api::pix_row(&img, y);
      for (int i = 0; i < w * pixsize; i++)
        row[i] = (unsigned char)samples[(size_t)y * w * pixsize + i];
    }
  }
};

// Samples of a picture row y (top first), channels as stored.
inline std::vector<int> row_of(const djvu_pixel_image *img, int y)
{
  const unsigned char *r = vellum_api::pix_row(img, y);
  return std::vector<int>(r, r + (size_t)img->w * img->pixsize);
}

// All samples, picture rows top first.
inline std::vector<int> pixels_of(const djvu_pixel_image *img)
{
  std::vector<int> out;
  for (int y = 0; y < img->h; y++)
  {
    auto r = row_of(img, y);
    out.insert(out.end(), r.begin(), r.end());
  }
  return out;
}

// An API-owned canonical grey or BGR image filled from samples (top first).
inline djvu_pixel_image *api_image(int w, int h, int pixsize, const std::vector<int> &samples)
{
  TestImage t(w, h, pixsize, pixsize == 1 ? DJVU_GRAY : DJVU_BGR, samples);
  djvu_pixel_image *out = vellum_api::pix_new_record();
  vellum_api::pix_canonical_copy(&t.img, out);
  return out;
}

// Deterministic pseudo-random samples.
inline std::vector<int> noise(size_t n, unsigned seed)
{
  std::vector<int> v(n);
  for (auto &x : v)
  {
    seed = seed * 1103515245u + 12345u;
    x = (seed >> 16) & 255;
  }
  return v;
}

} // namespace pixtest

#endif

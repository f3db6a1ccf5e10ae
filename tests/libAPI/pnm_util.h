// A PNM file as the reference tools write it (P4, P5, P6), for comparing
// renderings with ddjvu's.
#ifndef VELLUM_TESTS_LIBAPI_PNM_UTIL_H
#define VELLUM_TESTS_LIBAPI_PNM_UTIL_H

#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

struct Pnm
{
  int w = 0, h = 0, channels = 0;
  std::vector<unsigned char> px; // top row first
  int at(int x, int y, int c) const { return px[((size_t)y * w + x) * channels + (channels == 3 ? c : 0)]; }
};

inline bool read_pnm(const std::string &path, Pnm &out)
{
  std::ifstream in(path, std::ios::binary);
  std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (b.size() < 3 || b[0] != 'P')
    return false;
  char kind = (char)b[1];
  size_t at = 2;
  auto num = [&]()
  {
    while (at < b.size() && (std::isspace(b[at]) || b[at] == '#'))
    {
      if (b[at] == '#')
        while (at < b.size() && b[at] != '\n')
          at++;
      else
        at++;
    }
    int v = 0;
    while (at < b.size() && std::isdigit(b[at]))
      v = v * 10 + (b[at++] - '0');
    return v;
  };
  out.w = num();
  out.h = num();
  int maxval = kind == '4' ? 1 : num();
  (void)maxval;
  at++;
  out.channels = kind == '6' ? 3 : 1;
  out.px.assign((size_t)out.w * out.h * out.channels, 0);
  if (kind == '4')
  {
    size_t rb = (out.w + 7) / 8;
    if (b.size() < at + rb * out.h)
      return false;
    for (int y = 0; y < out.h; y++)
      for (int x = 0; x < out.w; x++)
        out.px[(size_t)y * out.w + x] = (b[at + y * rb + x / 8] & (0x80 >> (x % 8))) ? 0 : 255;
    return true;
  }
  if (b.size() < at + out.px.size())
    return false;
  std::memcpy(out.px.data(), &b[at], out.px.size());
  return true;
}

#endif

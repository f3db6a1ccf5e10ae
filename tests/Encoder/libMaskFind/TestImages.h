// Helpers of the mask finder tests: PNM reading, bands, masks as PBM.
#ifndef VELLUM_TESTS_MASKFIND_TESTIMAGES_H
#define VELLUM_TESTS_MASKFIND_TESTIMAGES_H

#include "maskfind.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace mftest
{

// A picture, rows top first.
struct Picture
{
  int w = 0, h = 0, channels = 0; // channels 1 (grey) or 3 (RGB)
  std::vector<uint8_t> pixels;
  uint8_t &at(int y, int x, int c = 0) { return pixels[((size_t)y * w + x) * channels + c]; }
};

// Reads binary PGM (P5) or PPM (P6) with maxval 255; false on anything else.
inline bool ReadPnm(const std::string &path, Picture &pic)
{
  FILE *f = std::fopen(path.c_str(), "rb");
  if (!f)
    return false;
  char magic[3] = {0};
  int maxval = 0;
  bool ok = std::fscanf(f, "%2s %d %d %d", magic, &pic.w, &pic.h, &maxval) == 4 && maxval == 255 &&
            (magic[1] == '5' || magic[1] == '6') && magic[0] == 'P' && std::fgetc(f) != EOF;
  if (ok)
  {
    pic.channels = magic[1] == '5' ? 1 : 3;
    pic.pixels.resize((size_t)pic.w * pic.h * pic.channels);
    ok = std::fread(pic.pixels.data(), 1, pic.pixels.size(), f) == pic.pixels.size();
  }
  std::fclose(f);
  return ok;
}

// A canonical band over rows y0 .. y0 + rows - 1 of the picture (top first),
// stored bottom row first as the mask driver passes it.
struct Band
{
  std::vector<uint8_t> data;
  MaskFindBand band{};
};

inline Band MakeBand(const Picture &pic, int y0, int rows, bool bgr = false)
{
  Band b;
  const int ps = pic.channels;
  b.data.resize((size_t)pic.w * rows * ps);
  for (int r = 0; r < rows; r++)
  {
    const uint8_t *src = pic.pixels.data() + ((size_t)(y0 + rows - 1 - r) * pic.w) * ps;
    uint8_t *dst = b.data.data() + (size_t)r * pic.w * ps;
    for (int x = 0; x < pic.w; x++)
      for (int c = 0; c < ps; c++)
        dst[x * ps + c] = src[x * ps + (bgr && ps == 3 ? 2 - c : c)];
  }
  b.band.flags = ps == 1 ? MASKFIND_GRAY : (bgr ? MASKFIND_BGR : MASKFIND_RGB);
  b.band.w = pic.w;
  b.band.h = rows;
  b.band.offset = 0;
  b.band.rowsize = pic.w * ps;
  b.band.pixsize = ps;
  b.band.data = b.data.data();
  return b;
}

// Mask of a run list, rows top first (the band's stored rows reversed).
inline std::vector<uint8_t> MaskOf(const MaskRunList *list)
{
  std::vector<uint8_t> m((size_t)list->width * list->height, 0);
  for (int i = 0; i < list->count; i++)
  {
    const int32_t *r = list->runs + (size_t)i * list->stride;
    for (int x = r[RUN_X1]; x <= r[RUN_X2]; x++)
      m[(size_t)(list->height - 1 - r[RUN_Y]) * list->width + x] = 1;
  }
  return m;
}

inline bool WritePbm(const std::string &path, const std::vector<uint8_t> &mask, int w, int h)
{
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f)
    return false;
  std::fprintf(f, "P4\n%d %d\n", w, h);
  std::vector<uint8_t> row((size_t)(w + 7) / 8);
  for (int y = 0; y < h; y++)
  {
    std::fill(row.begin(), row.end(), 0);
    for (int x = 0; x < w; x++)
      if (mask[(size_t)y * w + x])
        row[x / 8] |= (uint8_t)(0x80 >> (x % 8));
    std::fwrite(row.data(), 1, row.size(), f);
  }
  return std::fclose(f) == 0;
}

} // namespace mftest

#endif

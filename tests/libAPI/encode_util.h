// Helpers of the encoder and mask driver tests: synthetic pages and masks,
// an output collector, the chunk list of an IFF file, and decoding with
// DjVuLibre's ddjvu.
#ifndef VELLUM_TESTS_ENCODE_UTIL_H
#define VELLUM_TESTS_ENCODE_UTIL_H

#include "djvuapi.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace enc_test
{

struct Report
{
  std::string message, file;
  int line;
};
inline std::vector<Report> &reports()
{
  static std::vector<Report> r;
  return r;
}
inline void record(const char *m, const char *f, int l)
{
  reports().push_back({m, f, l});
}

// Installs the recording callback for one test.
struct Reports
{
  djvu_error_callback old;
  Reports()
  {
    reports().clear();
    old = djvu_set_error_callback(record);
  }
  ~Reports() { djvu_set_error_callback(old); }
  size_t size() const { return reports().size(); }
  std::string first() const { return reports().empty() ? std::string() : reports()[0].message; }
};

struct Output
{
  std::string bytes;
  int calls = 0;
  int shortfall = 0; // bytes the routine claims not to have written
};
inline int collect(void *user, const void *buf, int n)
{
  Output *o = static_cast<Output *>(user);
  o->calls++;
  o->bytes.append(static_cast<const char *>(buf), (size_t)n);
  return n - o->shortfall;
}

// A caller-owned picture: RGB (3 bytes) or grey, top-down rows.
struct Picture
{
  int w, h, channels;
  std::vector<unsigned char> px;
  djvu_pixel_image rec;
  Picture(int w_, int h_, int channels_, unsigned char fill = 255)
      : w(w_), h(h_), channels(channels_), px((size_t)w_ * h_ * channels_, fill)
  {
    memset(&rec, 0, sizeof rec);
  }
  unsigned char *at(int x, int y) { return &px[((size_t)y * w + x) * channels]; }
  void set(int x, int y, int r, int g, int b)
  {
    unsigned char *p = at(x, y);
    if (channels == 1)
      p[0] = (unsigned char)((r * 77 + g * 151 + b * 28) >> 8);
    else
      p[0] = (unsigned char)r, p[1] = (unsigned char)g, p[2] = (unsigned char)b;
  }
  void rect(int x0, int y0, int x1, int y1, int r, int g, int b)
  {
    for (int y = y0; y < y1; y++)
      for (int x = x0; x < x1; x++)
        set(x, y, r, g, b);
  }
  djvu_pixel_image *image(int dpi = 300, int ydpi = -1)
  {
    rec.flags = (channels == 1 ? DJVU_GRAY : DJVU_RGB) | DJVU_TOPDOWN | (dpi > 0 ? DJVU_HAS_DPI : 0);
    rec.w = w;
    rec.h = h;
    rec.offset = 0;
    rec.rowsize = w * channels;
    rec.pixsize = channels;
    rec.data = px.data();
    rec.origin = nullptr;
    rec.xdpi = dpi;
    rec.ydpi = ydpi < 0 ? dpi : ydpi;
    return &rec;
  }
};

// A runtype-0 run image from a 0/1 raster (1 = black), top row first.
struct Mask
{
  djvu_run_image rec;
  std::vector<unsigned char> bytes;
  Mask(int w, int h, const std::vector<unsigned char> &raster, int dpi)
  {
    size_t i = 0, n = raster.size();
    while (i < n)
    {
      size_t j = i;
      while (j < n && raster[j] == raster[i] && j - i < 128)
        j++;
      bytes.push_back((unsigned char)((raster[i] ? 0 : 128) + (j - i - 1)));
      i = j;
    }
    rec.width = w;
    rec.height = h;
    rec.count = (int32_t)bytes.size();
    rec.data = bytes.data();
    rec.xdpi = rec.ydpi = dpi;
    rec.runtype = 0;
  }
};

// The raster (1 = black, top row first) of a runtype-0 run image.
inline std::vector<unsigned char> raster_of(const djvu_run_image &ri)
{
  std::vector<unsigned char> out;
  for (int i = 0; i < ri.count; i++)
    out.insert(out.end(), (size_t)(ri.data[i] & 127) + 1, (ri.data[i] & 128) ? 0 : 1);
  return out;
}

// Chunk ids of an IFF file: "FORM:DJVU", then the chunks inside it.
inline std::vector<std::string> chunks(const std::string &f)
{
  std::vector<std::string> ids;
  if (f.size() < 16 || f.compare(0, 8, "AT&TFORM") != 0)
    return ids;
  ids.push_back("FORM:" + f.substr(12, 4));
  size_t pos = 16;
  while (pos + 8 <= f.size())
  {
    std::string id = f.substr(pos, 4);
    size_t len = ((size_t)(unsigned char)f[pos + 4] << 24) | ((size_t)(unsigned char)f[pos + 5] << 16) |
                 ((size_t)(unsigned char)f[pos + 6] << 8) | (unsigned char)f[pos + 7];
    ids.push_back(id);
    pos += 8 + len + (len & 1);
  }
  return ids;
}

// The data of the first chunk with the given id.
inline std::string chunk_data(const std::string &f, const std::string &want)
{
  size_t pos = 16;
  while (pos + 8 <= f.size())
  {
    size_t len = ((size_t)(unsigned char)f[pos + 4] << 24) | ((size_t)(unsigned char)f[pos + 5] << 16) |
                 ((size_t)(unsigned char)f[pos + 6] << 8) | (unsigned char)f[pos + 7];
    if (f.compare(pos, 4, want) == 0)
      return f.substr(pos + 8, len);
    pos += 8 + len + (len & 1);
  }
  return std::string();
}

inline std::string tmp_path(const std::string &name)
{
  const char *t = getenv("VELLUM_TEST_TMP");
  return std::string(t ? t : "/tmp") + "/" + name;
}

inline void write_file(const std::string &path, const std::string &bytes)
{
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string read_file(const std::string &path)
{
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// A decoded PNM image (P5 or P6): channels 1 or 3, top row first.
struct Pnm
{
  int w = 0, h = 0, channels = 0;
  std::vector<unsigned char> px;
};

inline Pnm read_pnm(const std::string &path)
{
  Pnm p;
  std::string f = read_file(path);
  int maxval = 0, consumed = 0;
  char magic[3] = {0};
  if (sscanf(f.c_str(), "%2s %d %d %d%n", magic, &p.w, &p.h, &maxval, &consumed) != 4)
    return Pnm();
  p.channels = magic[1] == '6' ? 3 : 1;
  size_t need = (size_t)p.w * p.h * p.channels;
  size_t at = (size_t)consumed + 1;
  if (f.size() < at + need)
    return Pnm();
  p.px.assign(f.begin() + (long)at, f.begin() + (long)(at + need));
  return p;
}

// Decodes a DjVu/IW44 file with ddjvu into a PNM (format "ppm" or "pgm",
// extra options such as "-mode=mask").
inline Pnm ddjvu(const std::string &file, const std::string &name, const std::string &format = "ppm",
                 const std::string &opts = "")
{
  std::string in = tmp_path(name + ".djvu"), out = tmp_path(name + "." + format);
  write_file(in, file);
  std::remove(out.c_str());
  std::string cmd = "ddjvu -format=" + format + " " + opts + " '" + in + "' '" + out + "' 2>/dev/null";
  if (std::system(cmd.c_str()) != 0)
    return Pnm();
  return read_pnm(out);
}

inline std::string djvudump(const std::string &file, const std::string &name)
{
  std::string in = tmp_path(name + ".dump.djvu");
  write_file(in, file);
  std::string cmd = "djvudump '" + in + "' 2>&1";
  std::string out;
  if (FILE *p = popen(cmd.c_str(), "r"))
  {
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
      out.append(buf, n);
    pclose(p);
  }
  return out;
}

inline double psnr(const std::vector<unsigned char> &a, const std::vector<unsigned char> &b)
{
  if (a.size() != b.size() || a.empty())
    return 0;
  double se = 0;
  for (size_t i = 0; i < a.size(); i++)
  {
    double d = (double)a[i] - b[i];
    se += d * d;
  }
  if (se == 0)
    return 99;
  return 10 * std::log10(255.0 * 255.0 * a.size() / se);
}

} // namespace enc_test

#endif

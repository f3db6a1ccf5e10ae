#include "FilesTestUtil.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace files_test
{

std::string Corpus(const std::string &sub)
{
  const char *c = getenv("VELLUM_CORPUS");
  if (!c || !*c)
    c = VELLUM_CORPUS_DIR;
  // A missing corpus is a failure of the run, never a reason to pass.
  if (!fs::exists(std::string(c) + "/" + sub))
  {
    ADD_FAILURE() << "corpus file missing: " << c << "/" << sub;
    return "";
  }
  return std::string(c) + "/" + sub;
}

std::string Scratch(const std::string &name)
{
  const char *base = getenv("VELLUM_TEST_TMP");
  fs::path dir = fs::path(base ? base : fs::temp_directory_path().string()) / "files" / name;
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir.string();
}

std::vector<std::string> CorpusFiles(const std::string &folder, const std::vector<std::string> &exts)
{
  std::vector<std::string> out;
  std::string dir = Corpus(folder);
  if (dir.empty() || !fs::is_directory(dir))
    return out;
  for (auto &e : fs::directory_iterator(dir))
  {
    std::string ext = e.path().extension().string();
    if (std::find(exts.begin(), exts.end(), ext) != exts.end())
      out.push_back(e.path().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

Rgb RecordRgb(const CDibImage &img)
{
  Rgb out;
  if (!img.m_pBlock)
    return out;
  out.width = img.m_nWidth;
  out.height = img.m_nHeight;
  out.px.resize((size_t)out.width * out.height * 3);
  const DibRgbQuad *pal = img.Palette();
  for (int y = 0; y < out.height; y++)
  {
    int stored = img.m_nRowOrder == DIB_ROWS_TOPDOWN ? y : out.height - 1 - y;
    const unsigned char *row = img.Row(stored);
    for (int x = 0; x < out.width; x++)
    {
      uint8_t *d = &out.px[((size_t)y * out.width + x) * 3];
      int b = img.m_nBitsPerPixel;
      if (b == 24)
      {
        bool bgr = img.m_nChannelOrder != DIB_CHANNELS_RGB;
        d[0] = row[3 * x + (bgr ? 2 : 0)];
        d[1] = row[3 * x + 1];
        d[2] = row[3 * x + (bgr ? 0 : 2)];
        continue;
      }
      unsigned idx = b == 1   ? (row[x >> 3] >> (7 - (x & 7))) & 1
                     : b == 4 ? ((x & 1) ? row[x >> 1] & 15 : row[x >> 1] >> 4)
                              : row[x];
      d[0] = pal[idx].rgbRed;
      d[1] = pal[idx].rgbGreen;
      d[2] = pal[idx].rgbBlue;
    }
  }
  return out;
}

namespace
{
bool Num(const std::string &s, size_t &p, unsigned &v)
{
  while (p < s.size() && (isspace((unsigned char)s[p]) || s[p] == '#'))
  {
    if (s[p] == '#')
      while (p < s.size() && s[p] != '\n')
        p++;
    else
      p++;
  }
  if (p >= s.size() || !isdigit((unsigned char)s[p]))
    return false;
  v = 0;
  while (p < s.size() && isdigit((unsigned char)s[p]))
    v = v * 10 + (unsigned)(s[p++] - '0');
  return true;
}
} // namespace

Rgb ParsePnm(const std::string &s)
{
  Rgb out;
  if (s.size() < 2 || s[0] != 'P' || s[1] < '4' || s[1] > '6')
    return out;
  int kind = s[1] - '0';
  size_t p = 2;
  unsigned w, h, maxval = 1;
  if (!Num(s, p, w) || !Num(s, p, h) || (kind != 4 && !Num(s, p, maxval)))
    return out;
  p++;
  int bps = maxval > 255 ? 2 : 1;
  size_t row = kind == 4 ? (w + 7) / 8 : (size_t)w * (kind == 6 ? 3 : 1) * bps;
  if (s.size() < p + row * h)
    return out;
  out.width = (int)w;
  out.height = (int)h;
  out.px.resize((size_t)w * h * 3);
  auto sample = [&](size_t at) -> uint8_t
  {
    unsigned v = bps == 2 ? ((uint8_t)s[at] << 8 | (uint8_t)s[at + 1]) : (uint8_t)s[at];
    return (uint8_t)((v * 255 + maxval / 2) / maxval);
  };
  for (unsigned y = 0; y < h; y++)
    for (unsigned x = 0; x < w; x++)
    {
      uint8_t *d = &out.px[((size_t)y * w + x) * 3];
      size_t base = p + y * row;
      if (kind == 4)
        d[0] = d[1] = d[2] = ((uint8_t)s[base + x / 8] >> (7 - x % 8)) & 1 ? 0 : 255;
      else if (kind == 5)
        d[0] = d[1] = d[2] = sample(base + x * bps);
      else
        for (int c = 0; c < 3; c++)
          d[c] = sample(base + (x * 3 + c) * bps);
    }
  return out;
}

bool Run(const std::string &cmd, std::string &out)
{
  out.clear();
  FILE *fp = popen(cmd.c_str(), "r");
  if (!fp)
    return false;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, fp)) > 0)
    out.append(buf, n);
  return pclose(fp) == 0;
}

Rgb MagickRgb(const std::string &path, int frame)
{
  std::string out;
  if (!Run("convert '" + path + "[" + std::to_string(frame) + "]' -depth 8 ppm:- 2>/dev/null", out))
    return Rgb();
  return ParsePnm(out);
}

Rgb NetpbmRgb(const std::string &tool, const std::string &path)
{
  std::string out;
  if (!Run(tool + " '" + path + "' 2>/dev/null", out))
    return Rgb();
  return ParsePnm(out);
}

int MaxDiff(const Rgb &a, const Rgb &b)
{
  if (a.width != b.width || a.height != b.height)
    return -1;
  int m = 0;
  for (size_t i = 0; i < a.px.size(); i++)
    m = std::max(m, std::abs((int)a.px[i] - (int)b.px[i]));
  return m;
}

double MeanDiff(const Rgb &a, const Rgb &b)
{
  if (a.px.empty() || a.px.size() != b.px.size())
    return 1e9;
  double sum = 0;
  for (size_t i = 0; i < a.px.size(); i++)
    sum += std::abs((int)a.px[i] - (int)b.px[i]);
  return sum / a.px.size();
}

std::string ReadFile(const std::string &path)
{
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string &path, const std::string &bytes)
{
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

} // namespace files_test

// Compound DjVu encoding over every colour and grey page and scan of the
// corpus, side by side with the reference tools, in one run.
//
// For every page, at the application's default settings (quality 80,
// filter level 0, foreground 50 dpi, background 100 dpi, the page's own
// resolution or 300 dpi): our classic and compact profiles (djvu_mask +
// djvu_encode), DjVuLibre's c44 at its default, the compound a user can
// make by hand (50 % global threshold mask by cjb2, layers by djvumake) and
// cjpeg -quality 75; bitonal pages: both profiles (which must be the same
// file) and cjb2 -lossy. Reported: file size, encode time (CPU seconds of
// the encoding process, ours including the mask finder), PSNR of the whole
// page and of the ink (pixels darker than 128 in the original outside
// pictures, plus a 2-pixel ring), the glyph pixels each mask holds, peak
// memory beyond the page; then per page whether the compact profile wins
// against the threshold compound (no larger and at most 0.2 dB worse in
// both measures, or at most 1.25 times larger and at least 1 dB better in
// both) and the summary: share of wins, median 300-dpi colour page size,
// time ratios to the classic profile and to c44.
//
// Usage: encode_bench [corpus directory [name filter]] (default: the
// configured corpus, every page). ENCODE_BENCH_KEEP=1 keeps the files of
// the last page in /tmp. Needs pngtopnm, tifftopnm, djpeg, pgmtoppm, c44,
// cjb2, djvuextract, djvumake, cjpeg and ddjvu on the PATH.
#include "djvuapi.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace
{

std::string g_tmp;

std::string read_file(const std::string &path)
{
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void write_file(const std::string &path, const std::string &bytes)
{
  std::ofstream(path, std::ios::binary) << bytes;
}

long file_size(const std::string &path)
{
  return (long)read_file(path).size();
}

// Runs a shell command quietly; commands that redirect their own output keep
// it.
bool run(const std::string &cmd)
{
  std::string full =
      cmd.find('>') != std::string::npos ? "(" + cmd + ") 2>/dev/null" : cmd + " >/dev/null 2>&1";
  return std::system(full.c_str()) == 0;
}

// A PNM image: channels 1 or 3 (a PBM becomes grey 0/255), top row first.
struct Pnm
{
  int w = 0, h = 0, channels = 0;
  bool bitonal = false;
  std::vector<unsigned char> px;
};

bool read_pnm(const std::string &path, Pnm &p)
{
  std::string f = read_file(path);
  size_t pos = 0;
  auto token = [&]() -> long
  {
    while (pos < f.size())
    {
      if (f[pos] == '#')
        while (pos < f.size() && f[pos] != '\n')
          pos++;
      else if (isspace((unsigned char)f[pos]))
        pos++;
      else
        break;
    }
    long v = 0;
    while (pos < f.size() && isdigit((unsigned char)f[pos]))
      v = v * 10 + (f[pos++] - '0');
    return v;
  };
  if (f.size() < 2 || f[0] != 'P')
    return false;
  char kind = f[1];
  pos = 2;
  p.w = (int)token();
  p.h = (int)token();
  long maxval = kind == '4' ? 1 : token();
  pos++;
  if (p.w <= 0 || p.h <= 0 || maxval != (kind == '4' ? 1 : 255))
    return false;
  if (kind == '4')
  {
    p.channels = 1;
    p.bitonal = true;
    size_t row = ((size_t)p.w + 7) / 8;
    if (f.size() < pos + row * p.h)
      return false;
    p.px.resize((size_t)p.w * p.h);
    for (int y = 0; y < p.h; y++)
      for (int x = 0; x < p.w; x++)
        p.px[(size_t)y * p.w + x] = ((unsigned char)f[pos + y * row + x / 8] >> (7 - x % 8)) & 1 ? 0 : 255;
    return true;
  }
  p.channels = kind == '6' ? 3 : 1;
  size_t need = (size_t)p.w * p.h * p.channels;
  if (f.size() < pos + need)
    return false;
  p.px.assign(f.begin() + (long)pos, f.begin() + (long)(pos + need));
  return true;
}

// As RGB, for comparisons.
std::vector<unsigned char> rgb(const Pnm &p)
{
  if (p.channels == 3)
    return p.px;
  std::vector<unsigned char> out(p.px.size() * 3);
  for (size_t i = 0; i < p.px.size(); i++)
    out[3 * i] = out[3 * i + 1] = out[3 * i + 2] = p.px[i];
  return out;
}

std::vector<unsigned char> luma(const Pnm &p)
{
  if (p.channels == 1)
    return p.px;
  std::vector<unsigned char> out((size_t)p.w * p.h);
  for (size_t i = 0; i < out.size(); i++)
    out[i] = (unsigned char)((77 * p.px[3 * i] + 151 * p.px[3 * i + 1] + 28 * p.px[3 * i + 2]) >> 8);
  return out;
}

double psnr(const std::vector<unsigned char> &a, const std::vector<unsigned char> &b,
            const std::vector<unsigned char> *region = nullptr)
{
  if (a.size() != b.size() || a.empty())
    return 0;
  double se = 0;
  size_t n = 0;
  for (size_t i = 0; i < a.size(); i++)
  {
    if (region && !(*region)[i / 3])
      continue;
    double d = (double)a[i] - b[i];
    se += d * d;
    n++;
  }
  if (n == 0)
    return 0;
  if (se == 0)
    return 99;
  return 10 * std::log10(255.0 * 255.0 * n / se);
}

// A rectangle of the page, top row 0, inclusive.
struct Box
{
  int x0, y0, x1, y1;
};

// Glyph pixels (threshold at 50 %) outside the pictures, and the text region
// (glyphs + 2-pixel ring).
void text_regions(const Pnm &p, const std::vector<Box> &pictures, std::vector<unsigned char> &glyph,
                  std::vector<unsigned char> &region)
{
  std::vector<unsigned char> y = luma(p);
  glyph.assign(y.size(), 0);
  for (size_t i = 0; i < y.size(); i++)
    glyph[i] = y[i] < 128;
  for (const Box &b : pictures)
    for (int yy = std::max(0, b.y0); yy <= std::min(p.h - 1, b.y1); yy++)
      for (int x = std::max(0, b.x0); x <= std::min(p.w - 1, b.x1); x++)
        glyph[(size_t)yy * p.w + x] = 0;
  region = glyph;
  for (int pass = 0; pass < 2; pass++)
  {
    std::vector<unsigned char> grown = region;
    for (int yy = 0; yy < p.h; yy++)
      for (int x = 0; x < p.w; x++)
        if (region[(size_t)yy * p.w + x])
          for (int dy = -1; dy <= 1; dy++)
            for (int dx = -1; dx <= 1; dx++)
            {
              int ny = yy + dy, nx = x + dx;
              if (ny >= 0 && nx >= 0 && ny < p.h && nx < p.w)
                grown[(size_t)ny * p.w + nx] = 1;
            }
    region.swap(grown);
  }
}

void write_pbm(const std::string &path, const std::vector<unsigned char> &black, int w, int h)
{
  std::string out = "P4\n" + std::to_string(w) + " " + std::to_string(h) + "\n";
  size_t row = ((size_t)w + 7) / 8;
  std::string bits(row * h, '\0');
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++)
      if (black[(size_t)y * w + x])
        bits[y * row + x / 8] |= (char)(0x80 >> (x % 8));
  write_file(path, out + bits);
}

int collect(void *user, const void *buf, int n)
{
  static_cast<std::string *>(user)->append(static_cast<const char *>(buf), (size_t)n);
  return n;
}

void on_error(const char *m, const char *f, int l)
{
  fprintf(stderr, "error: %s at %s(%d)\n", m, f, l);
}

// Our encode of the page into out.djvu, in a child process so that its time
// and peak memory are its own. Returns CPU seconds; peak is extra bytes.
double encode_ours(const Pnm &p, int dpi, const std::string &out, long &peak_extra, int flags)
{
  // The application hands over its bitmap: bottom-up rows, BGR.
  std::vector<unsigned char> dib(p.px.size());
  const size_t row = (size_t)p.w * p.channels;
  for (int y = 0; y < p.h; y++)
    for (size_t i = 0; i < row; i += p.channels)
      for (int c = 0; c < p.channels; c++)
        dib[(size_t)(p.h - 1 - y) * row + i + c] = p.px[(size_t)y * row + i + (p.channels == 3 ? 2 - c : 0)];
  long base_kb = 0;
  {
    std::ifstream st("/proc/self/status");
    std::string line;
    while (std::getline(st, line))
      if (line.compare(0, 6, "VmRSS:") == 0)
        base_kb = atol(line.c_str() + 6);
  }
  pid_t pid = fork();
  if (pid == 0)
  {
    djvu_set_error_callback(on_error);
    djvu_pixel_image img;
    memset(&img, 0, sizeof img);
    img.flags = (p.channels == 1 ? DJVU_GRAY : DJVU_BGR) | DJVU_BOTTOMUP | DJVU_HAS_DPI |
                (p.bitonal ? DJVU_BITONAL : 0);
    img.w = p.w;
    img.h = p.h;
    img.rowsize = p.w * p.channels;
    img.pixsize = p.channels;
    img.data = dib.data();
    img.xdpi = img.ydpi = dpi;
    std::string file;
    djvu_encode_params ep = DJVU_ENCODE_PARAMS_DEFAULTS;
    ep.quality = 80;
    ep.flags = flags;
    ep.fg_dpi = 50;
    int r;
    if (p.bitonal)
    {
      // The 1-bit path: the picture itself is the mask.
      std::vector<unsigned char> bytes;
      size_t i = 0, n = p.px.size();
      while (i < n)
      {
        size_t j = i;
        while (j < n && p.px[j] == p.px[i] && j - i < 128)
          j++;
        bytes.push_back((unsigned char)((p.px[i] ? 128 : 0) + (j - i - 1)));
        i = j;
      }
      djvu_run_image mask = {p.w, p.h, (int32_t)bytes.size(), bytes.data(), dpi, dpi, 0};
      r = djvu_encode(&ep, &mask, nullptr, collect, &file);
    }
    else
    {
      djvu_mask_params mp = DJVU_MASK_PARAMS_DEFAULTS;
      mp.dpi = dpi;
      mp.dpi_double = 0;
      mp.dpi_triple = 0;
      djvu_run_image *mask = djvu_mask(&mp, &img);
      r = mask ? djvu_encode(&ep, mask, &img, collect, &file) : -1;
      djvu_run_image_free(mask);
    }
    write_file(out, file);
    _exit(r == 0 ? 0 : 1);
  }
  int status = 0;
  struct rusage ru;
  wait4(pid, &status, 0, &ru);
  peak_extra = std::max(0L, (ru.ru_maxrss - base_kb) * 1024);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return -1;
  return ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec + ru.ru_stime.tv_usec / 1e6;
}

// CPU seconds of the children a command ran (the tools' own time, as ours
// is counted).
double children_seconds()
{
  struct rusage ru;
  getrusage(RUSAGE_CHILDREN, &ru);
  return ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec + ru.ru_stime.tv_usec / 1e6;
}

struct Row
{
  std::string name;
  long size;
  double seconds, psnr_all, psnr_text;
};

// Decodes a file with ddjvu (or djpeg) and compares with the original.
Row measure(const std::string &name, const std::string &file, const Pnm &orig,
            const std::vector<unsigned char> &region, double seconds, bool jpeg = false)
{
  Row r{name, file_size(file), seconds, 0, 0};
  std::string dec = file + ".ppm";
  std::string cmd =
      jpeg ? "djpeg -pnm '" + file + "' > '" + dec + "'" : "ddjvu -format=ppm '" + file + "' '" + dec + "'";
  Pnm d;
  if (run(cmd) && read_pnm(dec, d) && d.w == orig.w && d.h == orig.h)
  {
    std::vector<unsigned char> a = rgb(orig), b = rgb(d);
    r.psnr_all = psnr(a, b);
    r.psnr_text = psnr(a, b, &region);
  }
  return r;
}

// The win rule against the threshold compound: no larger and at most 0.2 dB
// worse in both measures, or at most 1.25 times larger and at least 1 dB
// better in both.
bool wins(const Row &r, const Row &t)
{
  if (r.size <= t.size && r.psnr_all >= t.psnr_all - 0.2 && r.psnr_text >= t.psnr_text - 0.2)
    return true;
  return r.size * 4 <= t.size * 5 && r.psnr_all >= t.psnr_all + 1 && r.psnr_text >= t.psnr_text + 1;
}

// Glyph pixels of the original that the page's mask holds, in per cent.
double mask_holds(const std::string &djvu, const std::vector<unsigned char> &glyph, int w, int h)
{
  Pnm m;
  if (!run("ddjvu -format=pgm -mode=mask '" + djvu + "' '" + g_tmp + "/mask.pgm'") ||
      !read_pnm(g_tmp + "/mask.pgm", m) || m.w != w || m.h != h)
    return -1;
  long g = 0, held = 0;
  for (size_t i = 0; i < glyph.size(); i++)
  {
    g += glyph[i];
    held += glyph[i] && m.px[i] < 128;
  }
  return g ? 100.0 * held / g : 100;
}

double median(std::vector<double> v)
{
  if (v.empty())
    return 0;
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

} // namespace

int main(int argc, char **argv)
{
  std::string corpus = argc > 1 ? argv[1] : ENCODE_BENCH_CORPUS;
  const char *only = argc > 2 ? argv[2] : nullptr; // a name filter, for tuning
  char tmpl[] = "/tmp/encode_bench.XXXXXX";
  g_tmp = mkdtemp(tmpl);
  // Every colour and grey page and scan of the corpus, at the resolution
  // the program would use (stored, or the default 300 dpi), and the
  // bitonal pages. The pictures of each page (photos and flat colour
  // fills, measured on the pages) are not text: their dark pixels are not
  // glyphs.
  struct Page
  {
    const char *name;
    int dpi;
    std::vector<Box> pictures;
  } pages[] = {
      {"page/composed-article-300dpi.png", 300, {{300, 1620, 2249, 2519}}},
      {"page/compound-flower-text-300dpi.png", 300, {{354, 1890, 1634, 2850}}},
      {"page/compound-panels-300dpi.png",
       300,
       {{479, 445, 1332, 1085}, {1754, 204, 2247, 992}, {529, 1885, 1382, 2525}, {1683, 1738, 2176, 2526}}},
      {"page/illustration-tiger-300dpi.png", 300, {}},
      {"page/lineart-golfer-grey-300dpi.png", 300, {}},
      {"page/text-manual-grey-300dpi.png", 300, {}},
      {"page/text-maths-grey-300dpi.png", 300, {}},
      {"page/small-chalk-handwriting-grey.png", 300, {}},
      {"page/small-photographed-text-grey.png", 72, {}},
      {"scan/composed-article-scan-q80.jpg", 300, {{300, 1620, 2249, 2519}}},
      {"scan/text-maths-grey-150dpi.png", 150, {}},
      {"scan/text-maths-rotated-noisy-300dpi.png", 300, {}},
      {"page/text-diagram-bitonal-300dpi.tif", 300, {}},
      {"page/text-bitonal-400dpi.tif", 400, {}},
  };
  int pages_won = 0, pages_compared = 0;
  bool bitonal_same = true;
  std::vector<double> colour300, time_vs_classic, time_vs_c44;
  printf("%-42s %-10s %9s %7s %8s %8s\n", "page", "encoder", "bytes", "cpu-s", "PSNR", "PSNRink");
  for (const Page &pg : pages)
  {
    if (only && !strstr(pg.name, only))
      continue;
    const std::string page = pg.name;
    std::string src = corpus + "/" + page, pnm = g_tmp + "/page.pnm";
    const char *decoder = strstr(pg.name, ".tif")   ? "tifftopnm"
                          : strstr(pg.name, ".jpg") ? "djpeg -pnm"
                                                    : "pngtopnm";
    Pnm p;
    if (!run(std::string(decoder) + " '" + src + "' > '" + pnm + "'") || !read_pnm(pnm, p))
    {
      printf("%-42s cannot read\n", pg.name);
      continue;
    }
    std::vector<unsigned char> glyph, region;
    text_regions(p, pg.pictures, glyph, region);
    std::vector<Row> rows;

    long peak = 0, peak_compact = 0;
    const std::string classic = g_tmp + "/classic.djvu", compact = g_tmp + "/compact.djvu";
    rows.push_back(measure("classic", classic, p, region, encode_ours(p, pg.dpi, classic, peak, 0)));
    rows.push_back(measure("compact", compact, p, region,
                           encode_ours(p, pg.dpi, compact, peak_compact, DJVU_ENCODE_COMPACT)));
    const double held_classic = mask_holds(classic, glyph, p.w, p.h);
    const double held_compact = mask_holds(compact, glyph, p.w, p.h);
    const std::string dpi = std::to_string(pg.dpi);

    if (!p.bitonal)
    {
      std::string ppm = g_tmp + "/page.ppm";
      if (p.channels == 1)
        run("pgmtoppm white '" + pnm + "' > '" + ppm + "'");
      else
        run("cp '" + pnm + "' '" + ppm + "'");

      double t0 = children_seconds();
      run("c44 -dpi " + dpi + " '" + ppm + "' '" + g_tmp + "/c44.djvu'");
      rows.push_back(measure("c44", g_tmp + "/c44.djvu", p, region, children_seconds() - t0));

      t0 = children_seconds();
      // The user's mask: the whole page thresholded, pictures included.
      std::vector<unsigned char> thr = luma(p);
      for (unsigned char &v : thr)
        v = v < 128;
      write_pbm(g_tmp + "/thr.pbm", thr, p.w, p.h);
      bool ok = run("cjb2 -dpi " + dpi + " '" + g_tmp + "/thr.pbm' '" + g_tmp + "/thr.djvu'") &&
                run("djvuextract '" + g_tmp + "/thr.djvu' Sjbz='" + g_tmp + "/thr.sjbz'") &&
                run("djvumake '" + g_tmp + "/hand.djvu' INFO=,," + dpi + " Sjbz='" + g_tmp +
                    "/thr.sjbz' PPM='" + ppm + "'");
      if (ok)
        rows.push_back(measure("threshold", g_tmp + "/hand.djvu", p, region, children_seconds() - t0));

      t0 = children_seconds();
      run("cjpeg -quality 75 '" + ppm + "' > '" + g_tmp + "/q75.jpg'");
      rows.push_back(measure("jpeg75", g_tmp + "/q75.jpg", p, region, children_seconds() - t0, true));
    }
    else
    {
      double t0 = children_seconds();
      run("cjb2 -lossy -dpi " + dpi + " '" + pnm + "' '" + g_tmp + "/lossy.djvu'");
      rows.push_back(measure("cjb2-lossy", g_tmp + "/lossy.djvu", p, region, children_seconds() - t0));
    }
    for (const Row &r : rows)
      printf("%-42s %-10s %9ld %7.2f %8.2f %8.2f\n", pg.name, r.name.c_str(), r.size, r.seconds, r.psnr_all,
             r.psnr_text);
    const Row &cl = rows[0], &co = rows[1];
    if (p.bitonal)
    {
      const bool same = read_file(classic) == read_file(compact);
      bitonal_same = bitonal_same && same;
      printf("%-42s bitonal: compact file %s the classic one\n", pg.name,
             same ? "identical to" : "DIFFERS from");
    }
    else
    {
      const Row *thr = nullptr, *c44 = nullptr;
      for (const Row &r : rows)
      {
        if (r.name == "threshold")
          thr = &r;
        if (r.name == "c44")
          c44 = &r;
      }
      const bool won = thr && wins(co, *thr);
      pages_compared++;
      pages_won += won;
      if (pg.dpi == 300 && p.channels == 3)
        colour300.push_back((double)co.size);
      if (cl.seconds > 0)
        time_vs_classic.push_back(co.seconds / cl.seconds);
      if (c44 && c44->seconds > 0)
        time_vs_c44.push_back(co.seconds / c44->seconds);
      printf("%-42s compact: %s (%.2fx the threshold size, %+.2f dB page, %+.2f dB ink); time %.2fx classic, "
             "%.2fx c44\n",
             pg.name, won ? "WIN" : "loss", thr ? (double)co.size / thr->size : 0,
             thr ? co.psnr_all - thr->psnr_all : 0, thr ? co.psnr_text - thr->psnr_text : 0,
             cl.seconds > 0 ? co.seconds / cl.seconds : 0,
             c44 && c44->seconds > 0 ? co.seconds / c44->seconds : 0);
    }
    printf(
        "%-42s mask holds %.1f %% (classic) / %.1f %% (compact) of glyph pixels; peak %.2f / %.2f bytes per "
        "pixel beyond the page\n",
        pg.name, held_classic, held_compact, (double)peak / ((double)p.w * p.h),
        (double)peak_compact / ((double)p.w * p.h));
    fflush(stdout);
  }
  printf("\nsummary: compact wins on %d of %d colour and grey pages (%.0f %%, target 90 %%)\n", pages_won,
         pages_compared, pages_compared ? 100.0 * pages_won / pages_compared : 0);
  printf("summary: median 300-dpi colour page (compact): %.0f bytes (target 40960)\n", median(colour300));
  auto worst = [](const std::vector<double> &v)
  { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); };
  printf("summary: compact encode time / classic: median %.2f, worst %.2f (target 1.25)\n",
         median(time_vs_classic), worst(time_vs_classic));
  printf("summary: compact encode time / c44: median %.2f, worst %.2f (target 1.00)\n", median(time_vs_c44),
         worst(time_vs_c44));
  printf("summary: bitonal pages %s\n", bitonal_same ? "unchanged" : "CHANGED");
  if (!getenv("ENCODE_BENCH_KEEP")) // the files of the last page, for a look
    run("rm -rf '" + g_tmp + "'");
  return 0;
}

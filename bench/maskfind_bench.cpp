// MaskFinderEntry over a whole 300-dpi colour page (2550 x 3300): in one
// band, and in the 288-row bands (step 240) that the mask driver cuts with a
// band height of one inch. Reports the peak memory of the finder per page
// pixel through its allocator hooks.
//
// The page comes from the corpus (VELLUM_CORPUS or tests/corpus of
// the source tree), decoded with pngtopnm.
#include "maskfind.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{

struct Page
{
  int w = 0, h = 0;
  std::vector<uint8_t> rgb; // rows top first
};

bool LoadPage(const std::string &name, Page &page)
{
  const char *env = std::getenv("VELLUM_CORPUS");
  std::string corpus = env && *env ? env : MASKFIND_BENCH_CORPUS;
  std::string cmd = "pngtopnm '" + corpus + "/page/" + name + "' 2>/dev/null";
  FILE *f = popen(cmd.c_str(), "r");
  if (!f)
    return false;
  char magic[3] = {0};
  int maxval = 0;
  bool ok = std::fscanf(f, "%2s %d %d %d", magic, &page.w, &page.h, &maxval) == 4 &&
            !std::strcmp(magic, "P6") && maxval == 255 && std::fgetc(f) != EOF;
  if (ok)
  {
    page.rgb.resize((size_t)page.w * page.h * 3);
    ok = std::fread(page.rgb.data(), 1, page.rgb.size(), f) == page.rgb.size();
  }
  pclose(f);
  return ok;
}

// Stored rows bottom first, as the mask driver passes them.
std::vector<uint8_t> BottomUp(const Page &p)
{
  std::vector<uint8_t> d(p.rgb.size());
  const size_t row = (size_t)p.w * 3;
  for (int y = 0; y < p.h; y++)
    std::memcpy(&d[(size_t)y * row], &p.rgb[(size_t)(p.h - 1 - y) * row], row);
  return d;
}

// Allocator hooks that keep the live and peak byte counts.
size_t g_live = 0, g_peak = 0;
struct alignas(16) SizeHdr
{
  size_t size;
};
void *CountMalloc(size_t n)
{
  SizeHdr *h = static_cast<SizeHdr *>(std::malloc(n + sizeof(SizeHdr)));
  if (!h)
    return nullptr;
  h->size = n;
  g_live += n;
  g_peak = std::max(g_peak, g_live);
  return h + 1;
}
void *CountRealloc(void *p, size_t n)
{
  SizeHdr *h = static_cast<SizeHdr *>(p) - 1;
  size_t old = h->size;
  h = static_cast<SizeHdr *>(std::realloc(h, n + sizeof(SizeHdr)));
  if (!h)
    return nullptr;
  h->size = n;
  g_live = g_live - old + n;
  g_peak = std::max(g_peak, g_live);
  return h + 1;
}
void CountFree(void *p)
{
  if (!p)
    return;
  SizeHdr *h = static_cast<SizeHdr *>(p) - 1;
  g_live -= h->size;
  std::free(h);
}

const Page &GetPage(const std::string &name)
{
  static std::vector<std::pair<std::string, Page>> cache;
  for (auto &e : cache)
    if (e.first == name)
      return e.second;
  cache.emplace_back(name, Page());
  LoadPage(name, cache.back().second);
  return cache.back().second;
}

// bandRows 0: one band.
void RunPage(benchmark::State &state, const std::string &name, int bandRows)
{
  const Page &page = GetPage(name);
  if (page.w == 0)
  {
    state.SkipWithError("page not readable (pngtopnm, VELLUM_CORPUS)");
    return;
  }
  std::vector<uint8_t> data = BottomUp(page);
  const int32_t rowBytes = page.w * 3;
  MaskFindSetAllocator(CountMalloc, CountRealloc, CountFree);
  g_peak = 0;
  long runs = 0;
  for (auto _ : state)
  {
    runs = 0;
    const int rows = bandRows ? bandRows : page.h;
    const int step = bandRows ? bandRows - 48 : page.h;
    for (int top = 0; top < page.h; top += step)
    {
      const int n = std::min(rows, page.h - top);
      MaskFindBand band{MASKFIND_RGB, page.w, n, 0, rowBytes, 3, data.data() + (size_t)top * rowBytes};
      MaskRunList *l = MaskFinderEntry(nullptr, &band);
      runs += l ? l->count : 0;
      MaskRunListFree(l);
      if (top + n >= page.h)
        break;
    }
  }
  MaskFindSetAllocator(nullptr, nullptr, nullptr);
  state.counters["runs"] = (double)runs;
  state.counters["peak_bytes_per_page_pixel"] = (double)g_peak / ((double)page.w * page.h);
  state.counters["peak_MB"] = (double)g_peak / 1e6;
}

} // namespace

BENCHMARK_CAPTURE(RunPage, flower_one_band, std::string("compound-flower-text-300dpi.png"), 0)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunPage, flower_bands_288, std::string("compound-flower-text-300dpi.png"), 288)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunPage, article_one_band, std::string("composed-article-300dpi.png"), 0)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunPage, article_bands_288, std::string("composed-article-300dpi.png"), 288)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunPage, panels_one_band, std::string("compound-panels-300dpi.png"), 0)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunPage, tiger_one_band, std::string("illustration-tiger-300dpi.png"), 0)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

// Decode and render of 300-dpi letter pages (2550 x 3300) against DjVuLibre's
// ddjvu on the same files, in one run:
//   Ours/DecodeRender  decode from memory + whole-page render at subsample s
//   Ours/Rerender      render only, from a page decoded once (zoom change)
//   Ours/AppFit4       the viewer's fit call: output (W/4) x (H/4), which a
//                      2550-wide page cannot take directly at subsample 4
//   Ddjvu              ddjvu -subsample=s, output to /dev/null (wall time)
// Run: render_bench [--benchmark_filter=...]
#include "djvuapi.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace
{

const char *kFiles[] = {
    "djvu/compound-flower-fg44-bg44.djvu",
    "djvu/compound-panels-cpaldjvu.djvu",
    "djvu/formatdoc-p20-compound-fgbz.djvu",
    "djvu/formatdoc-p10-bitonal.djvu",
};

std::string path(int i)
{
  return std::string(RENDER_BENCH_CORPUS) + "/" + kFiles[i];
}

std::vector<unsigned char> slurp(const std::string &p)
{
  std::ifstream in(p, std::ios::binary);
  return std::vector<unsigned char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct Mem
{
  const std::vector<unsigned char> *b;
  size_t at;
  static int read(void *self, void *buf, int n)
  {
    Mem &m = *(Mem *)self;
    size_t k = std::min((size_t)n, m.b->size() - m.at);
    if (k)
      std::memcpy(buf, m.b->data() + m.at, k);
    m.at += k;
    return (int)k;
  }
};

void fail(const char *m, const char *, int)
{
  std::fprintf(stderr, "render_bench: %s\n", m);
}

djvu_pixel_image *render(const djvu_halfcoded_image *h, int s)
{
  const int w = (h->width + s - 1) / s, hh = (h->height + s - 1) / s;
  return djvu_render(nullptr, h, 0, 0, w * s - 1, hh * s - 1, 0, w, hh);
}

void DecodeRender(benchmark::State &st)
{
  djvu_set_error_callback(fail);
  const std::vector<unsigned char> bytes = slurp(path((int)st.range(0)));
  const int s = (int)st.range(1);
  for (auto _ : st)
  {
    Mem m{&bytes, 0};
    djvu_halfcoded_image *h = djvu_decode(&Mem::read, &m);
    djvu_pixel_image *img = h ? render(h, s) : nullptr;
    if (!img)
      st.SkipWithError("decode or render failed");
    djvu_pixel_image_free(img);
    djvu_halfcoded_image_free(h);
  }
  st.SetLabel(kFiles[st.range(0)]);
}

void Rerender(benchmark::State &st)
{
  djvu_set_error_callback(fail);
  const std::vector<unsigned char> bytes = slurp(path((int)st.range(0)));
  Mem m{&bytes, 0};
  djvu_halfcoded_image *h = djvu_decode(&Mem::read, &m);
  if (!h)
  {
    st.SkipWithError("decode failed");
    return;
  }
  const int s = (int)st.range(1);
  for (auto _ : st)
    djvu_pixel_image_free(render(h, s));
  djvu_halfcoded_image_free(h);
  st.SetLabel(kFiles[st.range(0)]);
}

void AppFit4(benchmark::State &st)
{
  djvu_set_error_callback(fail);
  const std::vector<unsigned char> bytes = slurp(path((int)st.range(0)));
  Mem m{&bytes, 0};
  djvu_halfcoded_image *h = djvu_decode(&Mem::read, &m);
  if (!h)
  {
    st.SkipWithError("decode failed");
    return;
  }
  for (auto _ : st)
    djvu_pixel_image_free(
        djvu_render(nullptr, h, 0, 0, h->width - 1, h->height - 1, 0, h->width / 4, h->height / 4));
  djvu_halfcoded_image_free(h);
  st.SetLabel(kFiles[st.range(0)]);
}

void Ddjvu(benchmark::State &st)
{
  const std::string cmd = "ddjvu -format=pnm -subsample=" + std::to_string(st.range(1)) + " '" +
                          path((int)st.range(0)) + "' /dev/null";
  for (auto _ : st)
    if (std::system(cmd.c_str()) != 0)
      st.SkipWithError("ddjvu failed");
  st.SetLabel(kFiles[st.range(0)]);
}

void Args(benchmark::internal::Benchmark *b)
{
  for (int f = 0; f < (int)(sizeof kFiles / sizeof *kFiles); f++)
    for (int s : {1, 4})
      b->Args({f, s});
}

} // namespace

BENCHMARK(DecodeRender)->Apply(Args)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Ddjvu)->Apply(Args)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Rerender)->Apply(Args)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(AppFit4)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();

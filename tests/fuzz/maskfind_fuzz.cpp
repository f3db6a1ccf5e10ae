// Fuzz target for MaskFinderEntry over small bands.
//
// Input: w, h, pixel mode, filter level, split switch and level, switches,
// row padding, then pixel bytes (repeated to fill the band). Bands below one
// block and a pixel size of 2 must be refused with one of the finder's
// messages; any other reported error is an internal fault and aborts.
#include "maskfind.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{
bool g_refusal_expected = false;
int g_reports = 0;

void Handler(const char *message, const char *, int, void *)
{
  g_reports++;
  const bool refusal = !std::strcmp(message, "Diff. image dimensions") ||
                       !std::strcmp(message, "Not a grey image with 1 byte/pixel");
  if (!g_refusal_expected || !refusal)
  {
    std::fprintf(stderr, "unexpected mask finder error: %s\n", message);
    std::abort();
  }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if (size < 8)
    return 0;
  MaskFindSetErrorHandler(Handler, nullptr);
  const int w = 1 + data[0] % 96, h = 1 + data[1] % 96, mode = data[2] % 4;
  MaskFindParams params;
  params.filter_level = (int8_t)data[3] * 10;
  params.multi_forback = data[4] % 3 == 0 ? data[5] : 0;
  params.switches = data[6] & 7;
  const int ps = mode == 0 ? 1 : mode == 3 ? 2 : 3;
  const int rowsize = w * ps + data[7] % 4;
  const uint8_t *pix = data + 8;
  const size_t npix = size - 8;
  std::vector<uint8_t> band((size_t)rowsize * h);
  for (size_t i = 0; i < band.size(); i++)
    band[i] = npix ? pix[i % npix] : 255;
  MaskFindBand b{
      mode == 0 ? MASKFIND_GRAY : mode == 2 ? MASKFIND_BGR : MASKFIND_RGB, w, h, 0, rowsize, ps, band.data()};
  g_refusal_expected = ps == 2;
  g_reports = 0;
  MaskRunList *l = MaskFinderEntry(&params, &b);
  if (g_refusal_expected != (l == nullptr) || (l == nullptr) != (g_reports == 1))
    std::abort();
  if (l)
  {
    if (l->width != w || l->height != h || l->stride != 4 || (l->count > 0) != (l->runs != nullptr))
      std::abort();
    for (int i = 0; i < l->count; i++)
    {
      const int32_t *r = l->runs + 4 * i;
      if (r[RUN_Y] < 0 || r[RUN_Y] >= h - 1 || r[RUN_X1] < 0 || r[RUN_X1] > r[RUN_X2] || r[RUN_X2] >= w)
        std::abort();
    }
    MaskRunListFree(l);
  }
  return 0;
}

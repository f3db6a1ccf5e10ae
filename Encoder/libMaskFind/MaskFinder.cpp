// MaskFinderEntry: one band in, the runs of its mask out.
//
// The band becomes a 6-bit grey plane (or, in split mode, a light and a dark
// plane one after the other in the same buffer), the plane is scanned into
// dark runs and the runs are filtered by connected component. All memory of
// the call lives in one arena; a fatal error unwinds to here, the arena is
// released, and only then does the error handler run.
#include "MaskFindInternal.h"

#include <cstdio>
#include <cstdlib>

namespace maskfind
{
namespace
{

MaskFindErrorHandler g_handler = nullptr;
void *g_handler_user = nullptr;

void CheckBand(const MaskFindBand *band)
{
  if (!band || !band->data)
    MF_FATAL("Not a grey image");
  if (band->pixsize != 1 && band->pixsize != 3)
    MF_FATAL("Not a grey image with 1 byte/pixel");
  if (band->pixsize == 3 && !(band->flags & (MASKFIND_RGB | MASKFIND_BGR)))
    MF_FATAL("Rgb image has unknow color representation (neither RGB nor BGR)");
  // At least one pixel each way; the whole band addressable.
  if (band->w < 1 || band->h < 1 || band->offset < 0 || band->w > INT32_MAX - 8 || band->h > INT32_MAX - 8 ||
      (int64_t)band->rowsize < (int64_t)band->w * band->pixsize)
    MF_FATAL("Diff. image dimensions");
  mf_add(mf_add((size_t)band->offset, mf_mul((size_t)band->h - 1, (size_t)band->rowsize)),
         (size_t)band->w * (size_t)band->pixsize);
  // Areas, run counts and costs are int32: so is the band's pixel count.
  if ((int64_t)band->w * band->h > INT32_MAX)
    MF_FATAL("out of memory");
}

MaskRunList *Find(const MaskFindParams &params, const MaskFindBand &band)
{
  CheckBand(&band);
  RunList result(2000);
  const bool grey = band.pixsize == 1;
  GreyPlane P;
  MakeGreyPlane(P, band.h, band.w, 2);
  if (!grey)
    RgbToGrey(band, P);
  if (params.multi_forback > 0)
  {
    // Light plane, then the dark plane in the same buffer: the planes are
    // those of splitting the grey source into two at once.
    RunList lightRuns(1000), darkRuns(1000);
    SplitGrey(grey ? SourceOf(band) : SourceOf(P), &P, nullptr, params.multi_forback);
    FindBlockRuns(P, lightRuns);
    if (!grey)
      RgbToGrey(band, P);
    SplitGrey(grey ? SourceOf(band) : SourceOf(P), nullptr, &P, params.multi_forback);
    FindBlockRuns(P, darkRuns);
    P.buf.clear();
    FilterTwoPlanes(band, lightRuns, darkRuns, result, params);
  }
  else
  {
    QuantiseGrey(grey ? SourceOf(band) : SourceOf(P), P);
    FindBlockRuns(P, result);
    P.buf.clear();
    FilterSinglePlane(band, result, params);
  }
  MaskRunList *out = static_cast<MaskRunList *>(mf_alloc(sizeof(MaskRunList)));
  out->width = result.width;
  out->height = result.height;
  out->count = result.count;
  out->stride = RUN_STRIDE;
  out->runs = result.count ? result.runs.release() : nullptr;
  return out;
}

void Report(const Fatal &f)
{
  char id[128];
  source_id(f.file, id, sizeof id);
  if (g_handler)
  {
    g_handler(f.message, id, f.line, g_handler_user);
    return;
  }
  std::fprintf(stderr, "DjVu Mask Error: '%s' at %s(%d)\r\n", f.message, id, f.line);
  std::fflush(stderr);
  std::exit(10);
}

} // namespace
} // namespace maskfind

using namespace maskfind;

extern "C" MaskRunList *MaskFinderEntry(const MaskFindParams *params, const MaskFindBand *band)
{
  static const MaskFindParams defaults = {0, 0, 0};
  Fatal error;
  bool failed = false;
  MaskRunList *out = nullptr;
  {
    Arena arena;
    Arena::Scope scope(&arena);
    try
    {
      out = Find(params ? *params : defaults, band ? *band : MaskFindBand{});
      mf_detach(out->runs);
      mf_detach(out);
    }
    catch (const Fatal &f)
    {
      error = f;
      failed = true;
    }
    catch (const std::bad_alloc &)
    {
      error = Fatal{"Memory Exhausted", __FILE__, __LINE__};
      failed = true;
    }
    arena.release_all();
  }
  if (failed)
  {
    Report(error);
    return nullptr;
  }
  return out;
}

extern "C" void MaskRunListFree(MaskRunList *list)
{
  if (!list)
    return;
  mf_free(list->runs);
  mf_free(list);
}

extern "C" MaskFindErrorHandler MaskFindSetErrorHandler(MaskFindErrorHandler handler, void *user)
{
  MaskFindErrorHandler old = g_handler;
  g_handler = handler;
  g_handler_user = user;
  return old;
}

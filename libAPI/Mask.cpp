// Mask driver of the compound DjVu encoder.
//
// djvu_mask cuts the page into bands that overlap by 48 rows, hands each band
// to the mask finder and codes the runs it returns into one runtype-0 run
// image; 24 rows at every inner band edge are discarded so that each output
// row was found with at least 24 rows of context.
#include "MaskInt.h"

#include "ApiError.h"
#include "PixImageInt.h"
#include "RunTable.h"
#include "maskfind.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using namespace DJVU;

namespace vellum_api
{

namespace
{

djvu_mask_params mask_params(const djvu_mask_params *caller)
{
  djvu_mask_params p = DJVU_MASK_PARAMS_DEFAULTS;
  if (caller && caller->size > 0)
    memcpy(&p, caller, std::min<size_t>((size_t)caller->size, sizeof p));
  p.size = sizeof p;
  return p;
}

// A finder failure, kept by the handler until the finder has returned. The
// driver reports it once and fails instead of letting the finder end the
// process: a failed page must not take the application down.
struct FinderFailure
{
  bool failed = false;
  std::string message;
  std::string file;
  int line = 0;
};

void finder_error(const char *message, const char *file, int line, void *user)
{
  FinderFailure *f = static_cast<FinderFailure *>(user);
  if (f->failed)
    return;
  f->failed = true;
  f->message = message ? message : "";
  f->file = file ? file : "";
  f->line = line;
}

// Installs the driver's finder error handler for the lifetime of the object.
struct FinderHandlerScope
{
  FinderFailure failure;
  MaskFindErrorHandler previous;
  FinderHandlerScope() { previous = MaskFindSetErrorHandler(finder_error, &failure); }
  ~FinderHandlerScope() { MaskFindSetErrorHandler(previous, nullptr); }
};

struct RunListOwner
{
  MaskRunList *list = nullptr;
  ~RunListOwner() { MaskRunListFree(list); }
};

struct BandImage
{
  djvu_pixel_image img;
  bool view = false; // img describes the caller's rows
  BandImage() { memset(&img, 0, sizeof img); }
  ~BandImage()
  {
    try
    {
      if (img.data && !view)
        pix_release_buffer(&img);
    }
    catch (...)
    {
    }
  }
};

// Appends runtype-0 bytes for the raster rows (top first) to the run image.
void append_runs(djvu_run_image &run, const std::vector<unsigned char> &raster)
{
  std::vector<unsigned char> bytes;
  size_t i = 0, n = raster.size();
  while (i < n)
  {
    const unsigned char v = raster[i];
    size_t j = i + 1;
    while (j < n && raster[j] == v)
      j++;
    size_t len = j - i;
    while (len > 0)
    {
      size_t piece = std::min<size_t>(len, 128);
      bytes.push_back((unsigned char)((v ? 0 : 128) + (piece - 1)));
      len -= piece;
    }
    i = j;
  }
  if (bytes.empty())
    return;
  size_t total = DJVU_API_ADD((size_t)run.count, bytes.size());
  if (total > 0x7fffffff)
    DJVU_API_THROW("Image too large");
  unsigned char *grown = (unsigned char *)djvu_realloc(run.data, total);
  if (!grown)
    DJVU_API_THROW("Memory realloc failed");
  memcpy(grown + run.count, bytes.data(), bytes.size());
  run.data = grown;
  run.count = (int32_t)total;
}

// Runs the finder on a canonical band and codes its stored rows y0..y1 into
// the run image. Bands smaller than a finder block have no mask.
void find_band(const djvu_mask_params &p, const djvu_pixel_image &band, int y0, int y1, djvu_run_image &run)
{
  if (y1 < y0)
    return;
  const int w = band.w, rows = y1 - y0 + 1;
  const size_t raster_size = DJVU_API_MUL(w, rows);
  // 1 = mask (black). Made once the finder has freed its own planes, so
  // that the two never take memory at the same time.
  std::vector<unsigned char> raster;
  if (w >= 12 && band.h >= 12)
  {
    MaskFindParams fp;
    fp.filter_level = p.filter_level;
    fp.multi_forback = p.multi_forback;
    fp.switches = p.switches;
    MaskFindBand fb;
    fb.flags = (band.flags & DJVU_GRAY) ? MASKFIND_GRAY : MASKFIND_BGR;
    fb.w = band.w;
    fb.h = band.h;
    fb.offset = band.offset;
    fb.rowsize = band.rowsize;
    fb.pixsize = band.pixsize;
    fb.data = band.data;
    FinderHandlerScope scope;
    RunListOwner list;
    list.list = MaskFinderEntry(&fp, &fb);
    if (scope.failure.failed || !list.list)
    {
      if (scope.failure.failed)
      {
        // The report keeps a pointer to the source identifier: give it one
        // that outlives the unwinding.
        static std::string finder_file;
        finder_file = scope.failure.file;
        ::vellum_api::raise(scope.failure.message.c_str(), finder_file.c_str(), scope.failure.line);
      }
      DJVU_API_THROW("Mask finder failed");
    }
    const MaskRunList &l = *list.list;
    const int stride = l.stride > 0 ? l.stride : 4;
    raster.assign(raster_size, 0);
    for (int i = 0; i < l.count; i++)
    {
      const int32_t *r = l.runs + (size_t)i * stride;
      int y = r[RUN_Y];
      if (y < y0 || y > y1)
        continue;
      int x1 = std::max(0, (int)r[RUN_X1]), x2 = std::min(w - 1, (int)r[RUN_X2]);
      if (x1 > x2)
        continue;
      memset(&raster[(size_t)(y1 - y) * w + x1], 1, (size_t)(x2 - x1 + 1));
    }
  }
  else
    raster.assign(raster_size, 0);
  append_runs(run, raster);
}

// The band of picture rows top .. top + rows - 1, enlarged F times. A page
// that is already bottom-up BGR or grey is described in place (the finder
// takes any row size) instead of copied.
void make_band(const djvu_pixel_image &image, int top, int rows, int F, BandImage &band)
{
  const bool gray = (image.flags & DJVU_GRAY) != 0;
  const bool bgr_rows = gray ? image.pixsize == 1
                             : ((image.flags & DJVU_BGR) && !(image.flags & DJVU_RGB) && image.pixsize == 3);
  if (F == 1 && (image.flags & DJVU_BOTTOMUP) && bgr_rows)
  {
    band.view = true;
    band.img = image;
    band.img.flags = (image.flags & (DJVU_GRAY | DJVU_BGR)) | DJVU_BOTTOMUP;
    band.img.h = rows;
    band.img.offset = (int32_t)DJVU_API_ADD(image.offset, DJVU_API_MUL(image.h - top - rows, image.rowsize));
    band.img.origin = nullptr;
    return;
  }
  pix_crop_copy(&image, 0, top, image.w - 1, top + rows - 1, &band.img);
  if (F > 1)
    pix_transform(&band.img, 0, F * band.img.w, F * band.img.h);
}

int enlargement(int dpi, const djvu_mask_params &p)
{
  return dpi < p.dpi_triple ? 3 : dpi < p.dpi_double ? 2 : 1;
}

void make_mask(const djvu_mask_params &p, const djvu_pixel_image &image, djvu_run_image &run)
{
  pix_validate(&image);
  const int W = image.w, H = image.h;
  if (W <= 0 || H <= 0)
    DJVU_API_THROW("djvu_mask: the image is empty");
  const bool has_dpi = (image.flags & DJVU_HAS_DPI) && image.xdpi > 0 && image.ydpi > 0;
  int dpi = p.dpi;
  if (has_dpi && image.xdpi != image.ydpi)
  {
    // Non-square pixels: one band, enlarged to square pixels.
    const int c = std::max(image.xdpi, image.ydpi);
    const int F = enlargement(c, p);
    long long rw, rh;
    if (image.xdpi == c)
    {
      rw = (long long)F * W;
      rh = ((long long)F * H * c * 2 + image.ydpi) / (2LL * image.ydpi);
    }
    else
    {
      rh = (long long)F * H;
      rw = ((long long)F * W * c * 2 + image.xdpi) / (2LL * image.xdpi);
    }
    if (rw > 65535 || rh > 65535)
      DJVU_API_THROW("Image too large");
    run.width = (int32_t)rw;
    run.height = (int32_t)rh;
    run.xdpi = run.ydpi = F * c;
    progress("Preparing foreground/background mask", 0, p.progress_data);
    BandImage band;
    pix_canonical_copy(&image, &band.img);
    pix_transform(&band.img, 0, run.width, run.height);
    find_band(p, band.img, 0, band.img.h - 1, run);
    progress("Preparing foreground/background mask", 100, p.progress_data);
    return;
  }
  if (has_dpi)
    dpi = image.xdpi;
  const int F = enlargement(dpi, p);
  if ((long long)F * W > 65535 || (long long)F * H > 65535)
    DJVU_API_THROW("Image too large");
  run.width = F * W;
  run.height = F * H;
  run.xdpi = run.ydpi = F * dpi;
  const long long FH = (long long)F * H;
  const long long d = p.band_inches > 0 ? (long long)dpi * p.band_inches : H;
  const long long m = (long long)F * W * ((image.flags & DJVU_GRAY) ? 1 : 3);
  const long long r0 = (48 * m + std::max(48 * m, 349525LL)) / m - 48;
  const long long r = std::max(r0, F * d);
  const long long v = (r + FH - 49) / r;
  const long long o = v > 0 ? ((v + FH + 95) / (48 * v)) * 48 - 48 : FH;
  progress("Preparing foreground/background mask", 0, p.progress_data);
  long long A = 0;
  bool first = true;
  if (o > 0)
    for (; A < FH - o - 48; first = false)
    {
      BandImage band;
      make_band(image, (int)(A / F), (int)((A + o + 48) / F - A / F), F, band);
      find_band(p, band.img, 24, band.img.h - 1 - (first ? 0 : 24), run);
      A += o;
      progress("Preparing foreground/background mask", (int)(A * 100 / run.height), p.progress_data);
    }
  BandImage band;
  make_band(image, (int)(A / F), H - (int)(A / F), F, band);
  find_band(p, band.img, 0, band.img.h - 1 - (first ? 0 : 24), run);
  progress("Preparing foreground/background mask", 100, p.progress_data);
}

} // namespace

} // namespace vellum_api

extern "C" {

djvu_run_image *djvu_mask(const djvu_mask_params *params, const djvu_pixel_image *image)
{
  djvu_run_image *run = nullptr;
  djvu_run_image *result =
      vellum_api::guard((djvu_run_image *)nullptr,
                        [&]() -> djvu_run_image *
                        {
                          if (!image)
                            DJVU_API_THROW("djvu_mask: djvu_pixel_image is required");
                          const djvu_mask_params p = vellum_api::mask_params(params);
                          if (p.multi_forback > 0 && (p.switches & 7) == 7)
                            DJVU_API_THROW("Atleast one mask is requred if multi_forback > 0 ");
                          run = (djvu_run_image *)djvu_calloc(1, sizeof *run);
                          if (!run)
                            DJVU_API_THROW("Failed to allocate memory");
                          run->runtype = 0;
                          vellum_api::make_mask(p, *image, *run);
                          djvu_run_image *done = run;
                          run = nullptr;
                          return done;
                        });
  if (run)
  {
    djvu_free(run->data);
    djvu_free(run);
  }
  return result;
}

} // extern "C"

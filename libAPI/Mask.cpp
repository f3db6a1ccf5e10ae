// Mask driver and colour layers of the compound DjVu encoder.
//
// djvu_mask cuts the page into bands that overlap by 48 rows, hands each band
// to the mask finder and codes the runs it returns into one runtype-0 run
// image; 24 rows at every inner band edge are discarded so that each output
// row was found with at least 24 rows of context.
//
// The layer routines compute, from the page and the mask (a JB2 image), the
// reduced foreground colours (under the mask) and background colours (outside
// it), with hole bitmaps marking cells of unknown colour. The mask is
// rendered in bands of at most 3 000 000 pixels to bound memory. Colours of
// shapes that no foreground cell covers are filled from the two page pixels
// farthest from the surrounding background (GetColor2Pix); small shapes whose
// colour does not belong to the local foreground are removed
// (GetNearestColor).
#include "MaskInt.h"

#include "ApiError.h"
#include "PixImageInt.h"
#include "RunTable.h"
#include "maskfind.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "GRect.h"

using namespace DJVU;

namespace vellum_api
{

namespace
{
djvu_progress_callback g_progress = nullptr;

// Read access to the page pixels with rows counted from the bottom.
struct PageView
{
  const unsigned char *data;
  int w, h, rowsize, pixsize;
  bool bottomup;
  int ri, gi, bi; // byte offsets of red, green, blue within a pixel

  explicit PageView(const djvu_pixel_image &img)
  {
    if (img.flags & DJVU_GRAY)
      ri = gi = bi = 0;
    else if (img.flags & DJVU_BGR)
      bi = 0, gi = 1, ri = 2;
    else if (img.flags & DJVU_RGB)
      ri = 0, gi = 1, bi = 2;
    else
      DJVU_API_THROW("Unknown image Flags");
    data = img.data ? img.data + img.offset : nullptr;
    w = img.w;
    h = img.h;
    rowsize = img.rowsize;
    pixsize = img.pixsize;
    bottomup = (img.flags & DJVU_BOTTOMUP) != 0;
  }
  // Row y counted from the bottom of the page.
  const unsigned char *row(int y) const
  {
    int stored = bottomup ? y : h - 1 - y;
    return data + (size_t)stored * rowsize;
  }
  Rgb at(int x, int y) const
  {
    const unsigned char *p = row(y) + (size_t)x * pixsize;
    return Rgb{p[ri], p[gi], p[bi]};
  }
};

Rgb pixel_rgb(const GPixel &p)
{
  return Rgb{p.r, p.g, p.b};
}
GPixel rgb_pixel(const Rgb &c)
{
  GPixel p;
  p.r = (unsigned char)c.r;
  p.g = (unsigned char)c.g;
  p.b = (unsigned char)c.b;
  return p;
}

int ceil_div(int a, int b)
{
  return (a + b - 1) / b;
}

// Sizes a layer for a page of w x h at ratio r; every cell a red hole.
void init_layer(GPixmap &pm, GBitmap &holes, int w, int h, int r)
{
  int rows = ceil_div(h, r), cols = ceil_div(w, r);
  DJVU_API_MUL(DJVU_API_MUL(rows, cols), 3);
  pm.init(rows, cols, &GPixel::RED);
  holes.init(rows, cols, 0);
  holes.set_grays(2);
  for (int y = 0; y < rows; y++)
    memset(holes[y], 1, cols);
}

// Calls fn(band bitmap, first page row, row count) for bands of whole cells
// of r rows, each at most 3 000 000 pixels (at least one cell row).
template <class F> void for_mask_bands(const JB2Image &jb2, int w, int h, int r, F &&fn)
{
  int rows = (int)(3000000 / ((size_t)r * (size_t)std::max(w, 1)));
  rows = std::max(rows, 1) * r;
  for (int y0 = 0; y0 < h; y0 += rows)
  {
    int n = std::min(rows, h - y0);
    GP<GBitmap> bm = jb2.get_bitmap(GRect(0, y0, w, n), 1, 1);
    fn(*bm, y0, n);
  }
}

// Averages the pixels of the wanted kind (mask set or clear) per cell.
bool average_layer(const djvu_pixel_image &img, const JB2Image &jb2, GPixmap &pm, GBitmap &holes, int r,
                   bool want_set)
{
  if (r < 1)
    DJVU_API_THROW("Illegal layer ratio");
  PageView page(img);
  init_layer(pm, holes, page.w, page.h, r);
  if (page.w <= 0 || page.h <= 0)
    return false;
  const int cols = pm.columns();
  std::vector<unsigned> sr(cols), sg(cols), sb(cols), cnt(cols);
  bool any = false;
  for_mask_bands(jb2, page.w, page.h, r,
                 [&](const GBitmap &bm, int y0, int n)
                 {
                   for (int cy = 0; cy < n; cy += r)
                   {
                     std::fill(sr.begin(), sr.end(), 0u);
                     std::fill(sg.begin(), sg.end(), 0u);
                     std::fill(sb.begin(), sb.end(), 0u);
                     std::fill(cnt.begin(), cnt.end(), 0u);
                     int yend = std::min(cy + r, n);
                     for (int y = cy; y < yend; y++)
                     {
                       const unsigned char *m = bm[y];
                       const unsigned char *p = page.row(y0 + y);
                       for (int x = 0; x < page.w; x++, p += page.pixsize)
                       {
                         if ((m[x] != 0) != want_set)
                           continue;
                         int c = x / r;
                         sr[c] += p[page.ri];
                         sg[c] += p[page.gi];
                         sb[c] += p[page.bi];
                         cnt[c]++;
                       }
                     }
                     int row = (y0 + cy) / r;
                     GPixel *out = pm[row];
                     unsigned char *hole = holes[row];
                     for (int c = 0; c < cols; c++)
                       if (cnt[c])
                       {
                         out[c].r = (unsigned char)(sr[c] / cnt[c]);
                         out[c].g = (unsigned char)(sg[c] / cnt[c]);
                         out[c].b = (unsigned char)(sb[c] / cnt[c]);
                         hole[c] = 0;
                         any = true;
                       }
                   }
                 });
  return any;
}

// Mean of the known cells covering the page box [x0,x1] x [y0,y1] at ratio
// r, widened by one cell on every side until something is known; white when
// the whole layer is unknown.
Rgb local_mean(const GPixmap &pm, const GBitmap &holes, int r, int x0, int y0, int x1, int y1)
{
  const int rows = pm.rows(), cols = pm.columns();
  int c0 = std::max(0, x0 / r), c1 = std::min(cols - 1, x1 / r);
  int r0 = std::max(0, y0 / r), r1 = std::min(rows - 1, y1 / r);
  for (;;)
  {
    unsigned long sr = 0, sg = 0, sb = 0, n = 0;
    for (int y = r0; y <= r1; y++)
    {
      const unsigned char *hole = holes[y];
      const GPixel *p = pm[y];
      for (int x = c0; x <= c1; x++)
        if (!hole[x])
        {
          sr += p[x].r;
          sg += p[x].g;
          sb += p[x].b;
          n++;
        }
    }
    if (n)
      return Rgb{(int)((2 * sr + n) / (2 * n)), (int)((2 * sg + n) / (2 * n)), (int)((2 * sb + n) / (2 * n))};
    if (c0 <= 0 && r0 <= 0 && c1 >= cols - 1 && r1 >= rows - 1)
      return Rgb{255, 255, 255};
    c0 = std::max(0, c0 - 1);
    r0 = std::max(0, r0 - 1);
    c1 = std::min(cols - 1, c1 + 1);
    r1 = std::min(rows - 1, r1 + 1);
  }
}

// Calls fn(page x, page y) for every black pixel of the blit on the page.
template <class F> void for_blit_pixels(const JB2Image &jb2, const JB2Blit &blit, int w, int h, F &&fn)
{
  const JB2Shape &shape = jb2.get_shape(blit.shapeno);
  if (!shape.bits)
    return;
  const GBitmap &bits = *shape.bits;
  for (int y = 0; y < (int)bits.rows(); y++)
  {
    int py = blit.bottom + y;
    if (py >= h)
      break;
    const unsigned char *row = bits[y];
    for (int x = 0; x < (int)bits.columns(); x++)
    {
      int px = blit.left + x;
      if (px >= w)
        break;
      if (row[x])
        fn(px, py);
    }
  }
}

} // namespace

void progress(const char *text, int percent, int data)
{
  if (g_progress)
    g_progress(text, percent, data);
}

Rgb GetColor2Pix(const djvu_pixel_image &img, const JB2Image &jb2, const JB2Blit &blit, const Rgb &background)
{
  PageView page(img);
  int best = -1, second = -1;
  Rgb a{0, 0, 0}, c{0, 0, 0};
  for_blit_pixels(jb2, blit, page.w, page.h,
                  [&](int x, int y)
                  {
                    Rgb p = page.at(x, y);
                    int d = color_distance1000(p, background);
                    if (d > best)
                    {
                      second = best, c = a;
                      best = d, a = p;
                    }
                    else if (d > second)
                      second = d, c = p;
                  });
  if (best < 0)
    DJVU_API_THROW("GetColor2Pix: must have at least one pixel which differs from background");
  if (second < 0)
    return a;
  return Rgb{(a.r + c.r) / 2, (a.g + c.g) / 2, (a.b + c.b) / 2};
}

Rgb GetNearestColor(const djvu_pixel_image &img, const JB2Image &jb2, const JB2Blit &blit,
                    const Rgb &foreground)
{
  PageView page(img);
  const int none = 0x7fffffff;
  int best = none, second = none;
  Rgb a{0, 0, 0}, c{0, 0, 0};
  for_blit_pixels(jb2, blit, page.w, page.h,
                  [&](int x, int y)
                  {
                    Rgb p = page.at(x, y);
                    int d = color_distance1000(p, foreground);
                    if (d < best)
                    {
                      second = best, c = a;
                      best = d, a = p;
                    }
                    else if (d < second)
                      second = d, c = p;
                  });
  if (best == none)
    DJVU_API_THROW("GetNearestColor: must have at least one pixel ");
  if (second == none)
    return a;
  return Rgb{(a.r + c.r) / 2, (a.g + c.g) / 2, (a.b + c.b) / 2};
}

bool fg_layer(const djvu_pixel_image &img, const JB2Image &jb2, GPixmap &fg, GBitmap &fgholes, int f)
{
  return average_layer(img, jb2, fg, fgholes, f, true);
}

int bg_layer(const djvu_pixel_image &img, const JB2Image &jb2, GPixmap &bg, GBitmap &bgholes,
             const GPixmap &fg, const GBitmap &fgholes, int f, int b)
{
  const bool found = average_layer(img, jb2, bg, bgholes, b, false);
  PageView page(img);
  const int W = page.w, H = page.h;
  bool fg_any = false;
  for (int y = 0; y < (int)fgholes.rows() && !fg_any; y++)
    for (int x = 0; x < (int)fgholes.columns(); x++)
      if (!fgholes[y][x])
      {
        fg_any = true;
        break;
      }
  int seeded = 0;
  if (fg_any)
  {
    if ((int)fg.columns() * f < W)
      DJVU_API_THROW("Image FG width too small");
    if ((int)fgholes.columns() * f < W)
      DJVU_API_THROW("Mask FG width too small");
    if ((int)fg.rows() * f < H)
      DJVU_API_THROW("Image FG height too small");
    if ((int)fgholes.rows() * f < H)
      DJVU_API_THROW("Mask FG height too small");
    const int brows = bg.rows(), bcols = bg.columns();
    const int frows = std::min((int)fg.rows(), ceil_div(H, f));
    const int fcols = std::min((int)fg.columns(), ceil_div(W, f));
    for_mask_bands(jb2, W, H, f,
                   [&](const GBitmap &bm, int y0, int n)
                   {
                     for (int cy = 0; cy < n; cy += f)
                     {
                       const int i = (y0 + cy) / f;
                       if (i >= frows)
                         break;
                       const int centre_y = (2 * i + 1) * f / 2;
                       const int wy0 = std::max(0, (centre_y - 18) / b),
                                 wy1 = std::min(brows, (centre_y + 18) / b);
                       for (int j = 0; j < fcols; j++)
                       {
                         if (fgholes[i][j])
                           continue;
                         const int centre_x = (2 * j + 1) * f / 2;
                         const int wx0 = std::max(0, (centre_x - 18) / b),
                                   wx1 = std::min(bcols, (centre_x + 18) / b);
                         bool known = false;
                         for (int y = wy0; y < wy1 && !known; y++)
                           for (int x = wx0; x < wx1; x++)
                             if (!bgholes[y][x])
                             {
                               known = true;
                               break;
                             }
                         if (known)
                           continue;
                         const Rgb fc = pixel_rgb(fg[i][j]);
                         int best = 0, bx = -1, by = -1;
                         Rgb bc{0, 0, 0};
                         const int yend = std::min(cy + f, n), xend = std::min((j + 1) * f, W);
                         for (int y = cy; y < yend; y++)
                           for (int x = j * f; x < xend; x++)
                           {
                             if (bm[y][x])
                               continue;
                             Rgb p = page.at(x, y0 + y);
                             int d = color_distance1000(p, fc);
                             if (d > best)
                               best = d, bx = x, by = y0 + y, bc = p;
                           }
                         if (bx >= 0 && by / b < brows && bx / b < bcols)
                         {
                           bg[by / b][bx / b] = rgb_pixel(bc);
                           bgholes[by / b][bx / b] = 0;
                           seeded++;
                         }
                       }
                     }
                   });
  }
  return seeded + (found ? 1 : 0);
}

bool fill_shape_colors(const djvu_pixel_image &img, const JB2Image &jb2, GPixmap &fg, GBitmap &fgholes,
                       const GPixmap &bg, const GBitmap &bgholes, int f, int b)
{
  PageView page(img);
  const int W = page.w, H = page.h;
  const int frows = fgholes.rows(), fcols = fgholes.columns();
  bool filled = false;
  for (int i = 0; i < jb2.get_blit_count(); i++)
  {
    const JB2Blit &blit = *jb2.get_blit(i);
    const JB2Shape &shape = jb2.get_shape(blit.shapeno);
    if (!shape.bits || blit.left >= W || blit.bottom >= H)
      continue;
    bool covered = false, any = false;
    for_blit_pixels(jb2, blit, W, H,
                    [&](int x, int y)
                    {
                      any = true;
                      if (y / f < frows && x / f < fcols && !fgholes[y / f][x / f])
                        covered = true;
                    });
    if (covered || !any)
      continue;
    const int x1 = std::min(W - 1, blit.left + (int)shape.bits->columns() - 1);
    const int y1 = std::min(H - 1, blit.bottom + (int)shape.bits->rows() - 1);
    Rgb around = local_mean(bg, bgholes, b, blit.left, blit.bottom, x1, y1);
    GPixel color = rgb_pixel(GetColor2Pix(img, jb2, blit, around));
    for_blit_pixels(jb2, blit, W, H,
                    [&](int x, int y)
                    {
                      int cy = y / f, cx = x / f;
                      if (cy < frows && cx < fcols && fgholes[cy][cx])
                      {
                        fg[cy][cx] = color;
                        fgholes[cy][cx] = 0;
                      }
                    });
    filled = true;
  }
  return filled;
}

GP<JB2Image> remove_small_shapes(const djvu_pixel_image &img, const JB2Image &jb2, const GPixmap &fg,
                                 const GBitmap &fgholes, int f)
{
  PageView page(img);
  GP<JB2Image> out = JB2Image::create();
  out->set_dimension(jb2.get_width(), jb2.get_height());
  for (int i = 0; i < jb2.get_blit_count(); i++)
  {
    JB2Blit blit = *jb2.get_blit(i);
    const JB2Shape &shape = jb2.get_shape(blit.shapeno);
    if (shape.parent >= 0)
      DJVU_API_THROW("orphan shape only!");
    if (!shape.bits)
      continue;
    const int sw = shape.bits->columns(), sh = shape.bits->rows();
    if ((long)sw * sh < 200)
    {
      const int x1 = std::min(page.w - 1, blit.left + sw - 1);
      const int y1 = std::min(page.h - 1, blit.bottom + sh - 1);
      Rgb local = local_mean(fg, fgholes, f, blit.left, blit.bottom, x1, y1);
      Rgb nearest = GetNearestColor(img, jb2, blit, local);
      if (color_distance1000(local, nearest) > 50 * 1000)
        continue;
    }
    JB2Shape copy;
    copy.parent = -1;
    copy.userdata = shape.userdata;
    copy.bits = GBitmap::create(*shape.bits);
    blit.shapeno = out->add_shape(copy);
    out->add_blit(blit);
  }
  return out;
}

// ---- mask driver ------------------------------------------------------------

namespace
{

djvu_mask_params mask_params(const djvu_mask_params *caller)
{
  djvu_mask_params p = {36, 0, 0, 0, 300, 225, 125, 0, 0};
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

extern "C"
{

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

  djvu_progress_callback djvu_set_progress_callback(djvu_progress_callback callback)
  {
    djvu_progress_callback old = vellum_api::g_progress;
    vellum_api::g_progress = callback;
    return old;
  }

} // extern "C"

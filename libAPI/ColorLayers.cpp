// Colour layers of the compound DjVu encoder.
//
// The layer routines compute, from the page and the mask (a JB2 image), the
// reduced foreground colours (under the mask) and background colours (outside
// it), with hole bitmaps marking cells of unknown colour. The mask is
// rendered in bands of at most 3 000 000 pixels to bound memory. Colours of
// shapes that no foreground cell covers are filled from the two page pixels
// farthest from the surrounding background (GetColor2Pix); small shapes whose
// colour does not belong to the local foreground are removed
// (GetNearestColor).
// Failures name the mask driver's source, one name for the encoder's mask
// and layer code.
#define VELLUM_API_UNIT "libAPI/Mask.cpp"
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

} // namespace vellum_api

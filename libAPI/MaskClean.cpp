// Mask cleaning ahead of JB2 coding: large shapes cut into tiles, specks
// removed, edges smoothed, pixels cleaned up, blits put in reading order and
// near-copies of a shape coded as that shape or as a refinement of it. Each
// step is one pass over the shapes; clean_jb2 (EncodeInt.h) runs those the
// level asks for.
// Failures name the encoder's source, one name for all of the encoder.
#define VELLUM_API_UNIT "libAPI/Encode.cpp"
#include "EncodeInt.h"

#include "ApiError.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <unordered_map>
#include <vector>

#include "GBitmap.h"
#include "JB2Image.h"

using namespace DJVU;

namespace vellum_api
{

namespace
{

// A plain 0/1 raster, row 0 at the bottom like GBitmap.
struct Raster
{
  int w = 0, h = 0;
  std::vector<unsigned char> px;
  Raster() = default;
  Raster(int w_, int h_) : w(w_), h(h_), px((size_t)w_ * h_, 0) {}
  explicit Raster(const GBitmap &bm) : Raster(bm.columns(), bm.rows())
  {
    for (int y = 0; y < h; y++)
    {
      const unsigned char *r = bm[y];
      for (int x = 0; x < w; x++)
        px[(size_t)y * w + x] = r[x] ? 1 : 0;
    }
  }
  unsigned char &at(int x, int y) { return px[(size_t)y * w + x]; }
  unsigned char at(int x, int y) const { return px[(size_t)y * w + x]; }
  unsigned char get(int x, int y) const { return (x < 0 || y < 0 || x >= w || y >= h) ? 0 : at(x, y); }
  GP<GBitmap> bitmap() const
  {
    GP<GBitmap> bm = GBitmap::create(h, w);
    for (int y = 0; y < h; y++)
      memcpy((*bm)[y], &px[(size_t)y * w], w);
    return bm;
  }
  Raster transposed() const
  {
    Raster t(h, w);
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++)
        t.at(y, x) = at(x, y);
    return t;
  }
  long count() const
  {
    long n = 0;
    for (unsigned char v : px)
      n += v;
    return n;
  }
};

// Row-wise edge smoothing: markers at the left end (first black pixel) and
// the right end (column after the last) of every run, chains of same-kind
// markers followed downwards through steps of -1, 0, +1, each adjacent pair
// of opposite one-pixel steps straightened, rows refilled between markers.
Raster smooth_rows(const Raster &in)
{
  const int w = in.w, h = in.h;
  struct Marker
  {
    int x;
    bool right;
    bool used;
  };
  // rows[t]: markers of the row t counted from the top.
  std::vector<std::vector<Marker>> rows(h);
  for (int t = 0; t < h; t++)
  {
    int y = h - 1 - t;
    for (int x = 0; x <= w; x++)
    {
      int cur = x < w ? in.at(x, y) : 0, prev = x > 0 ? in.at(x - 1, y) : 0;
      if (cur && !prev)
        rows[t].push_back({x, false, false});
      else if (!cur && prev)
        rows[t].push_back({x, true, false});
    }
  }
  // New marker positions per row.
  std::vector<std::vector<std::pair<int, bool>>> placed(h);
  std::vector<std::pair<int, int>> chain; // (row from top, marker index)
  std::vector<int> steps;
  for (int t = 0; t < h; t++)
    for (size_t m = 0; m < rows[t].size(); m++)
    {
      if (rows[t][m].used)
        continue;
      const bool right = rows[t][m].right;
      chain.clear();
      chain.push_back({t, (int)m});
      rows[t][m].used = true;
      int row = t, x = rows[t][m].x;
      while (row + 1 < h)
      {
        int found = -1;
        for (int dx : {-1, 0, 1})
        {
          auto &next = rows[row + 1];
          for (size_t k = 0; k < next.size(); k++)
            if (!next[k].used && next[k].right == right && next[k].x == x + dx)
            {
              found = (int)k;
              break;
            }
          if (found >= 0)
            break;
        }
        if (found < 0)
          break;
        row++;
        rows[row][found].used = true;
        x = rows[row][found].x;
        chain.push_back({row, found});
      }
      steps.clear();
      for (size_t k = 1; k < chain.size(); k++)
        steps.push_back(rows[chain[k].first][chain[k].second].x -
                        rows[chain[k - 1].first][chain[k - 1].second].x);
      for (size_t k = 0; k + 1 < steps.size(); k++)
        if (steps[k] != 0 && steps[k] == -steps[k + 1])
        {
          steps[k] = steps[k + 1] = 0;
          k++;
        }
      int pos = rows[chain[0].first][chain[0].second].x;
      placed[chain[0].first].push_back({pos, right});
      for (size_t k = 1; k < chain.size(); k++)
      {
        pos += steps[k - 1];
        placed[chain[k].first].push_back({pos, right});
      }
    }
  Raster out(w, h);
  std::vector<int> lefts, rights;
  for (int t = 0; t < h; t++)
  {
    int y = h - 1 - t;
    lefts.clear();
    rights.clear();
    for (auto &p : placed[t])
      (p.second ? rights : lefts).push_back(p.first);
    std::sort(lefts.begin(), lefts.end());
    std::sort(rights.begin(), rights.end());
    for (int l : lefts)
    {
      auto r = std::lower_bound(rights.begin(), rights.end(), l);
      if (r == rights.end())
        continue;
      for (int x = std::max(l, 0); x < std::min(*r, w); x++)
        out.at(x, y) = 1;
    }
  }
  return out;
}

// Pixel clean-up: isolated black pixels go (a one-pixel shape is a speck of
// noise and goes with them), one-pixel white holes are filled.
void cleanup_pixels(Raster &r)
{
  Raster src = r;
  for (int y = 0; y < r.h; y++)
    for (int x = 0; x < r.w; x++)
    {
      int n8 = 0;
      for (int dy = -1; dy <= 1; dy++)
        for (int dx = -1; dx <= 1; dx++)
          if (dx || dy)
            n8 += src.get(x + dx, y + dy);
      if (src.at(x, y) && n8 == 0)
        r.at(x, y) = 0;
      else if (!src.at(x, y) && src.get(x - 1, y) && src.get(x + 1, y) && src.get(x, y - 1) &&
               src.get(x, y + 1))
        r.at(x, y) = 1;
    }
}

struct Box
{
  int x0, y0, x1, y1; // inclusive black-pixel box
};

Box black_box(const Raster &r)
{
  Box b{r.w, r.h, -1, -1};
  for (int y = 0; y < r.h; y++)
    for (int x = 0; x < r.w; x++)
      if (r.at(x, y))
      {
        b.x0 = std::min(b.x0, x);
        b.x1 = std::max(b.x1, x);
        b.y0 = std::min(b.y0, y);
        b.y1 = std::max(b.y1, y);
      }
  return b;
}

struct Prototype
{
  int shapeno; // in the output image
  Raster bits;
  long count;
  Box box;
};

// Pixels that differ between cur and proto when proto's origin sits at
// (sx, sy) in cur's coordinates; stops counting beyond limit.
long mismatch(const Raster &cur, const Raster &proto, int sx, int sy, long limit)
{
  int x0 = std::min(0, sx), x1 = std::max(cur.w, sx + proto.w);
  int y0 = std::min(0, sy), y1 = std::max(cur.h, sy + proto.h);
  long n = 0;
  for (int y = y0; y < y1; y++)
  {
    for (int x = x0; x < x1; x++)
      n += cur.get(x, y) != proto.get(x - sx, y - sy);
    if (n > limit)
      return n;
  }
  return n;
}

// Where the differences lie (the caller has also limited them to 15 % of the
// shape's black pixels, which keeps shifted textures such as hatching from
// replacing each other): a substitution is refused when the differing
// pixels form a thick patch (a 3x3 neighbourhood holding 7 or more of them),
// which means a stroke present in one shape and missing in the other rather
// than noise along the edges.
bool differences_are_thin(const Raster &cur, const Raster &proto, int sx, int sy)
{
  int x0 = std::min(0, sx), x1 = std::max(cur.w, sx + proto.w);
  int y0 = std::min(0, sy), y1 = std::max(cur.h, sy + proto.h);
  Raster diff(x1 - x0, y1 - y0);
  for (int y = y0; y < y1; y++)
    for (int x = x0; x < x1; x++)
      diff.at(x - x0, y - y0) = cur.get(x, y) != proto.get(x - sx, y - sy);
  for (int y = 0; y < diff.h; y++)
    for (int x = 0; x < diff.w; x++)
    {
      if (!diff.at(x, y))
        continue;
      int n = 0;
      for (int dy = -1; dy <= 1; dy++)
        for (int dx = -1; dx <= 1; dx++)
          n += diff.get(x + dx, y + dy);
      if (n >= 7)
        return false;
    }
  return true;
}

// Tiling of large shapes and removal of specks.
GP<JB2Image> tile_and_despeck(const JB2Image &in, int level)
{
  const int W = in.get_width(), H = in.get_height();
  int t = 64;
  if ((level & 8) && W / 20 > t)
    t = W / 20;
  const int k = std::max((2 * H + 1170) / 2340, (2 * W + 864) / 1728);
  GP<JB2Image> out = JB2Image::create();
  out->set_dimension(W, H);
  for (int i = 0; i < in.get_blit_count(); i++)
  {
    JB2Blit blit = *in.get_blit(i);
    const JB2Shape &shape = in.get_shape(blit.shapeno);
    if (!shape.bits)
      continue;
    const GBitmap &bits = *shape.bits;
    const int sw = bits.columns(), sh = bits.rows();
    if ((level & 16) && sw <= k && sh <= k)
      continue;
    if ((level & 8) && (sw > t || sh > t))
    {
      for (int ty = 0; ty < sh; ty += t)
        for (int tx = 0; tx < sw; tx += t)
        {
          int tw = std::min(t, sw - tx), th = std::min(t, sh - ty);
          GP<GBitmap> tile = GBitmap::create(th, tw);
          bool any = false;
          for (int y = 0; y < th; y++)
          {
            const unsigned char *s = bits[ty + y] + tx;
            unsigned char *d = (*tile)[y];
            for (int x = 0; x < tw; x++)
              any |= (d[x] = s[x] ? 1 : 0) != 0;
          }
          if (!any)
            continue;
          JB2Shape ns;
          ns.parent = -1;
          ns.userdata = 0;
          ns.bits = tile;
          JB2Blit nb;
          nb.left = (unsigned short)(blit.left + tx);
          nb.bottom = (unsigned short)(blit.bottom + ty);
          nb.shapeno = out->add_shape(ns);
          out->add_blit(nb);
        }
      continue;
    }
    JB2Shape ns;
    ns.parent = -1;
    ns.userdata = 0;
    ns.bits = GBitmap::create(bits);
    blit.shapeno = out->add_shape(ns);
    out->add_blit(blit);
  }
  return out;
}

// Blits in reading order: lines from the top, each left to right. Shapes
// are renumbered in order of first use.
GP<JB2Image> reading_order(const JB2Image &in)
{
  const int n = in.get_blit_count();
  struct Item
  {
    int index, top, bottom, left;
  };
  std::vector<Item> items;
  items.reserve(n);
  for (int i = 0; i < n; i++)
  {
    const JB2Blit &b = *in.get_blit(i);
    const JB2Shape &s = in.get_shape(b.shapeno);
    int sh = s.bits ? (int)s.bits->rows() : 0;
    items.push_back({i, b.bottom + sh - 1, (int)b.bottom, (int)b.left});
  }
  std::stable_sort(items.begin(), items.end(), [](const Item &a, const Item &b) { return a.top > b.top; });
  const int tol = std::max(32, in.get_width() / 40);
  std::vector<Item> order;
  order.reserve(n);
  std::vector<int> bottoms;
  size_t start = 0;
  while (start < items.size())
  {
    size_t end = start;
    while (end < items.size() && items[end].top >= items[start].top - tol)
      end++;
    bottoms.clear();
    for (size_t i = start; i < end; i++)
      bottoms.push_back(items[i].bottom);
    std::nth_element(bottoms.begin(), bottoms.begin() + bottoms.size() / 2, bottoms.end());
    const int median = bottoms[bottoms.size() / 2];
    size_t cut = start;
    while (cut < end && items[cut].top >= median)
      cut++;
    if (cut == start)
      cut = start + 1;
    std::stable_sort(items.begin() + start, items.begin() + cut,
                     [](const Item &a, const Item &b) { return a.left < b.left; });
    order.insert(order.end(), items.begin() + start, items.begin() + cut);
    start = cut;
  }
  GP<JB2Image> out = JB2Image::create();
  out->set_dimension(in.get_width(), in.get_height());
  std::vector<int> renumber(in.get_shape_count(), -1);
  for (const Item &it : order)
  {
    JB2Blit b = *in.get_blit(it.index);
    int &to = renumber[b.shapeno];
    if (to < 0)
    {
      JB2Shape s = in.get_shape(b.shapeno);
      s.parent = -1;
      to = out->add_shape(s);
    }
    b.shapeno = to;
    out->add_blit(b);
  }
  return out;
}

// Specks (shapes of at most kSpeckSide pixels each way) gathered into one
// shape per cell of a kSpeckCell grid, by their centres, behind the other
// blits: a scan's thousands of dust dots then cost a few shapes instead of
// a shape and a blit each. Lossless.
const int kSpeckSide = 2;
const int kSpeckCell = 300;

GP<JB2Image> merge_specks(const JB2Image &in)
{
  GP<JB2Image> out = JB2Image::create();
  out->set_dimension(in.get_width(), in.get_height());
  std::vector<int> renumber(in.get_shape_count(), -1);
  std::map<std::pair<int, int>, std::vector<int>> cells; // (row, column) -> blits
  for (int i = 0; i < in.get_blit_count(); i++)
  {
    JB2Blit b = *in.get_blit(i);
    const JB2Shape &s = in.get_shape(b.shapeno);
    if (!s.bits)
      continue;
    const int sw = s.bits->columns(), sh = s.bits->rows();
    if (sw <= kSpeckSide && sh <= kSpeckSide)
    {
      cells[{(b.bottom + sh / 2) / kSpeckCell, (b.left + sw / 2) / kSpeckCell}].push_back(i);
      continue;
    }
    int &to = renumber[b.shapeno];
    if (to < 0)
    {
      JB2Shape copy = s;
      copy.parent = -1;
      to = out->add_shape(copy);
    }
    b.shapeno = to;
    out->add_blit(b);
  }
  for (const auto &cell : cells)
  {
    int x0 = 65535, y0 = 65535, x1 = 0, y1 = 0;
    for (int i : cell.second)
    {
      const JB2Blit &b = *in.get_blit(i);
      const GBitmap &bm = *in.get_shape(b.shapeno).bits;
      x0 = std::min(x0, (int)b.left);
      y0 = std::min(y0, (int)b.bottom);
      x1 = std::max(x1, (int)b.left + (int)bm.columns());
      y1 = std::max(y1, (int)b.bottom + (int)bm.rows());
    }
    GP<GBitmap> bits = GBitmap::create(y1 - y0, x1 - x0);
    for (int i : cell.second)
    {
      const JB2Blit &b = *in.get_blit(i);
      const GBitmap &bm = *in.get_shape(b.shapeno).bits;
      for (int y = 0; y < (int)bm.rows(); y++)
        for (int x = 0; x < (int)bm.columns(); x++)
          if (bm[y][x])
            (*bits)[b.bottom - y0 + y][b.left - x0 + x] = 1;
    }
    JB2Shape ns;
    ns.parent = -1;
    ns.userdata = 0;
    ns.bits = bits;
    JB2Blit nb;
    nb.left = (unsigned short)x0;
    nb.bottom = (unsigned short)y0;
    nb.shapeno = out->add_shape(ns);
    out->add_blit(nb);
  }
  return out;
}

// Large shapes (tiles of line art, mostly) without a close candidate are
// still coded as a refinement of the nearest shape of about their size when
// it differs in under 30 % of the box and in fewer pixels than the shape
// has: that costs less than coding them afresh. Small shapes code better on
// their own.
const long kRefineArea = 3000;
const int kRefinePercent = 30;

// The shape pass: empty shapes dropped; with bit 2 pixel clean-up; with bit
// 4 every shape is compared with the shapes kept so far and, when one is
// close enough, the blit is redirected to it. At every level a shape that
// is an exact copy of an earlier one shares it, and near shapes are coded
// as refinements of each other: both are lossless.
GP<JB2Image> shape_pass(const JB2Image &in, int level)
{
  GP<JB2Image> out = JB2Image::create();
  out->set_dimension(in.get_width(), in.get_height());
  std::vector<Prototype> protos;
  std::unordered_map<long, std::vector<int>> by_size; // (w, h) -> prototypes
  std::vector<int> done(in.get_shape_count(), -1);    // unchanged shapes reused
  for (int i = 0; i < in.get_blit_count(); i++)
  {
    JB2Blit blit = *in.get_blit(i);
    const JB2Shape &shape = in.get_shape(blit.shapeno);
    if (!shape.bits)
      continue;
    if (done[blit.shapeno] >= 0 && !(level & 4))
    {
      blit.shapeno = done[blit.shapeno];
      out->add_blit(blit);
      continue;
    }
    Raster r(*shape.bits);
    if (level & 2)
      cleanup_pixels(r);
    long count = r.count();
    if (count == 0)
      continue;
    // Shapes are kept tight around their black pixels: the JB2 coder places
    // copies of a shape by its black-pixel box, and readers of files of our
    // INFO version place them by the bitmap size; tight shapes make both
    // the same.
    Box box = black_box(r);
    int parent = -1;
    if (box.x0 > 0 || box.y0 > 0 || box.x1 < r.w - 1 || box.y1 < r.h - 1)
    {
      Raster t(box.x1 - box.x0 + 1, box.y1 - box.y0 + 1);
      for (int y = 0; y < t.h; y++)
        for (int x = 0; x < t.w; x++)
          t.at(x, y) = r.at(x + box.x0, y + box.y0);
      blit.left = (unsigned short)(blit.left + box.x0);
      blit.bottom = (unsigned short)(blit.bottom + box.y0);
      r = std::move(t);
      box = Box{0, 0, r.w - 1, r.h - 1};
    }
    int copy_of = -1;
    if (auto it = by_size.find((long)r.w * 65536 + r.h); it != by_size.end())
      for (int p : it->second)
        if (protos[p].bits.px == r.px)
        {
          copy_of = protos[p].shapeno;
          break;
        }
    if (copy_of >= 0)
    {
      blit.shapeno = copy_of;
      out->add_blit(blit);
      continue;
    }
    // The candidate among earlier shapes at most 2 pixels wider or taller
    // or narrower or shorter, whose black-pixel count differs by at most
    // `limit` and whose mismatch (centres of the black-pixel boxes aligned)
    // is the smallest below `limit`; -1 when there is none.
    auto nearest = [&](long limit, long &best_n)
    {
      int best = -1;
      best_n = limit; // must stay below the limit
      for (int dh = -2; dh <= 2; dh++)
        for (int dw = -2; dw <= 2; dw++)
        {
          auto it = by_size.find((long)(r.w + dw) * 65536 + (r.h + dh));
          if (it == by_size.end())
            continue;
          for (int p : it->second)
          {
            const Prototype &pr = protos[p];
            if (std::labs(pr.count - count) > limit)
              continue;
            int sx = ((box.x0 + box.x1) - (pr.box.x0 + pr.box.x1)) / 2;
            int sy = ((box.y0 + box.y1) - (pr.box.y0 + pr.box.y1)) / 2;
            if (blit.left + sx < 0 || blit.bottom + sy < 0 || blit.left + sx > 65535 ||
                blit.bottom + sy > 65535)
              continue;
            long n = mismatch(r, pr.bits, sx, sy, best_n);
            if (n < best_n)
            {
              best_n = n;
              best = p;
            }
          }
        }
      return best;
    };
    bool compared = false;
    if (level & 4)
    {
      long best_n = 0;
      const int best = nearest(std::max(2L, ((long)r.w * r.h * 21 + 50) / 100), best_n);
      compared = best >= 0;
      if (best >= 0)
      {
        const Prototype &pr = protos[best];
        int sx = ((box.x0 + box.x1) - (pr.box.x0 + pr.box.x1)) / 2;
        int sy = ((box.y0 + box.y1) - (pr.box.y0 + pr.box.y1)) / 2;
        if (best_n * 100 <= std::max(200L, count * 15) && differences_are_thin(r, pr.bits, sx, sy))
        {
          blit.left = (unsigned short)(blit.left + sx);
          blit.bottom = (unsigned short)(blit.bottom + sy);
          blit.shapeno = pr.shapeno;
          out->add_blit(blit);
          continue;
        }
        // Too different to replace, close enough to be coded as a
        // refinement of the candidate (lossless).
        parent = pr.shapeno;
      }
    }
    if (!compared && !(level & 4))
    {
      // Without matching, every shape is coded as a refinement of the
      // nearest earlier one when one differs in under 21 % of the box.
      long n = 0;
      const int near = nearest(std::max(2L, ((long)r.w * r.h * 21 + 50) / 100), n);
      if (near >= 0 && n < count)
        parent = protos[near].shapeno;
    }
    else if (!compared && (long)r.w * r.h >= kRefineArea)
    {
      long n = 0;
      const int near = nearest(((long)r.w * r.h * kRefinePercent + 50) / 100, n);
      if (near >= 0 && n < count)
        parent = protos[near].shapeno;
    }
    JB2Shape ns;
    ns.parent = parent;
    ns.userdata = 0;
    ns.bits = r.bitmap();
    int shapeno = out->add_shape(ns);
    done[blit.shapeno] = shapeno;
    blit.shapeno = shapeno;
    out->add_blit(blit);
    by_size[(long)r.w * 65536 + r.h].push_back((int)protos.size());
    protos.push_back(Prototype{shapeno, std::move(r), count, box});
  }
  return out;
}

} // namespace

long shape_distance(const GBitmap &cur, const GBitmap &proto, long below, int &sx, int &sy)
{
  Raster r(cur), pr(proto);
  const long count = r.count(), pcount = pr.count();
  if (count == 0 || pcount == 0 || std::abs(r.w - pr.w) > 2 || std::abs(r.h - pr.h) > 2)
    return -1;
  long limit = std::max(2L, ((long)r.w * r.h * 21 + 50) / 100);
  const long accept = std::max(200L, count * 15) / 100; // at most this many may differ
  limit = std::min(limit, accept + 1);
  if (below >= 0)
    limit = std::min(limit, below);
  if (std::labs(pcount - count) >= limit)
    return -1;
  // Tight shapes: the black-pixel boxes are the bitmaps.
  sx = (r.w - pr.w) / 2;
  sy = (r.h - pr.h) / 2;
  const long n = mismatch(r, pr, sx, sy, limit);
  if (n >= limit || !differences_are_thin(r, pr, sx, sy))
    return -1;
  return n;
}

GP<GBitmap> smooth_edges(const GBitmap &bits)
{
  Raster r(bits);
  Raster rows = smooth_rows(r);
  Raster cols = smooth_rows(rows.transposed()).transposed();
  return cols.bitmap();
}

GP<JB2Image> clean_jb2(const JB2Image &jb2, int level)
{
  GP<JB2Image> cur;
  if (level & (8 | 16))
    cur = tile_and_despeck(jb2, level);
  else
  {
    cur = JB2Image::create();
    cur->set_dimension(jb2.get_width(), jb2.get_height());
    for (int i = 0; i < jb2.get_shape_count(); i++)
    {
      JB2Shape s = jb2.get_shape(i);
      s.parent = -1;
      cur->add_shape(s);
    }
    for (int i = 0; i < jb2.get_blit_count(); i++)
      cur->add_blit(*jb2.get_blit(i));
  }
  if (level & 1)
  {
    GP<JB2Image> sm = JB2Image::create();
    sm->set_dimension(cur->get_width(), cur->get_height());
    for (int i = 0; i < cur->get_shape_count(); i++)
    {
      JB2Shape s = cur->get_shape(i);
      if (s.bits)
        s.bits = smooth_edges(*s.bits);
      sm->add_shape(s);
    }
    for (int i = 0; i < cur->get_blit_count(); i++)
      sm->add_blit(*cur->get_blit(i));
    cur = sm;
  }
  cur = reading_order(*cur);
  if (level & 32)
    cur = merge_specks(*cur);
  return shape_pass(*cur, level);
}

} // namespace vellum_api

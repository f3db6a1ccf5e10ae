// Run images and the run table.
//
// A run image is walked entry by entry from the top-left corner; a run that
// passes the end of a row continues at column 0 of the next row down. The
// foreground pieces become table runs, sorted bottom row first.
//
// Connected components: one union-find pass over the runs in table order;
// each run is joined with the runs of the row below it (y - 1) whose column
// range meets its own widened by 1 for 8-connectivity. The smaller root always
// wins, so a component's root is its first run and renumbering by first
// appearance keeps the components in table order.
//
// Merging: components are visited by bottom edge; a later component that
// starts below the current one's top and covers, or is covered by, at least
// the given percentage of box area (boxes within a factor 200 of each other)
// joins it.
#include "RunTable.h"

#include <algorithm>
#include <climits>
#include <numeric>

#include "GBitmap.h"

namespace vellum_api
{
namespace
{

int32_t find_root(std::vector<int32_t> &parent, int32_t i)
{
  int32_t root = i;
  while (parent[root] != root)
    root = parent[root];
  while (parent[i] != root)
  {
    const int32_t next = parent[i];
    parent[i] = root;
    i = next;
  }
  return root;
}

void join(std::vector<int32_t> &parent, int32_t a, int32_t b)
{
  a = find_root(parent, a);
  b = find_root(parent, b);
  if (a == b)
    return;
  if (a < b)
    parent[b] = a;
  else
    parent[a] = b;
}

struct Entry
{
  int len;
  bool dark;
};

Entry decode_entry(const unsigned char *p, int runtype)
{
  switch (runtype)
  {
  case 0:
    return {(p[0] & 0x7F) + 1, (p[0] & 0x80) == 0};
  case 1:
    return {p[0] + 1, p[1] < 128};
  default:
    return {p[0] + 1, 77 * p[1] + 151 * p[2] + 29 * p[3] < 32768};
  }
}

} // namespace

void RunTable::from_run_image(const djvu_run_image &ri, bool with_image)
{
  if (ri.runtype < 0 || ri.runtype > 2)
    DJVU_API_THROW("Unknown runtype");
  if (ri.width < 0 || ri.height < 0 || ri.count < 0)
    DJVU_API_THROW("Invalid run image size");
  if (ri.count > 0 && (ri.width == 0 || ri.height == 0))
    DJVU_API_THROW("Invalid run image size");
  if (ri.count > 0 && !ri.data)
    DJVU_API_THROW("No run data is present");
  const int bpr = ri.runtype == 0 ? 1 : ri.runtype == 1 ? 2 : 4;
  const size_t bytes = DJVU_API_MUL(ri.count, bpr);
  width = ri.width;
  height = ri.height;
  runs.clear();
  comps.clear();
  analysed = false;

  bool fg_dark = true;
  if (with_image && ri.runtype != 1)
  {
    uint64_t dark = 0, light = 0;
    for (size_t i = 0; i < bytes; i += bpr)
    {
      const Entry e = decode_entry(ri.data + i, ri.runtype);
      (e.dark ? dark : light) += (uint64_t)e.len;
    }
    fg_dark = dark <= light;
  }

  int32_t y = height - 1, x = 0;
  for (size_t i = 0; i < bytes; i += bpr)
  {
    const Entry e = decode_entry(ri.data + i, ri.runtype);
    int len = e.len;
    while (len > 0)
    {
      const int piece = std::min(len, width - x);
      if (e.dark == fg_dark)
      {
        if (y < 0)
          DJVU_API_THROW("Negative Cordinates in Run");
        runs.push_back(Run{y, x, x + piece - 1, -1});
      }
      x += piece;
      len -= piece;
      if (x == width)
      {
        x = 0;
        y--;
      }
    }
  }
  // Rows were produced top first; within a row x increases already.
  std::stable_sort(runs.begin(), runs.end(), [](const Run &a, const Run &b) { return a.y < b.y; });
}

void RunTable::connected_components(int connectivity)
{
  if (connectivity != 4 && connectivity != 8)
    DJVU_API_THROW("Only 4-connectivity and 8-connectivity are supported");
  if (runs.size() > (size_t)INT32_MAX)
    DJVU_API_THROW("Image too large");
  const int32_t e = connectivity == 8 ? 1 : 0;
  const int32_t n = (int32_t)runs.size();
  std::vector<int32_t> parent(n);
  std::iota(parent.begin(), parent.end(), 0);
  int32_t prev_start = 0, prev_end = 0; // runs of row y - 1
  int32_t cur_start = 0;                // first run of the current row
  int32_t k = 0;                        // scan position in the row below
  for (int32_t i = 0; i < n; i++)
  {
    const Run &r = runs[i];
    if (i == 0 || r.y != runs[i - 1].y)
    {
      if (i > 0 && runs[i - 1].y == r.y - 1)
      {
        prev_start = cur_start;
        prev_end = i;
      }
      else
      {
        prev_start = prev_end = i;
      }
      cur_start = i;
      k = prev_start;
    }
    while (k < prev_end && runs[k].x1 < r.x0 - e)
      k++;
    for (int32_t j = k; j < prev_end && runs[j].x0 <= r.x1 + e; j++)
      join(parent, i, j);
  }
  for (int32_t i = 0; i < n; i++)
    parent[i] = find_root(parent, i);
  build_components(parent);
}

void RunTable::build_components(std::vector<int32_t> &label)
{
  const int32_t n = (int32_t)runs.size();
  std::vector<int32_t> number(n, -1);
  int32_t count = 0;
  for (int32_t i = 0; i < n; i++)
  {
    int32_t &num = number[label[i]];
    if (num < 0)
      num = count++;
    runs[i].id = num;
  }
  comps.assign(count, Component{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN, {}});
  for (int32_t i = 0; i < n; i++)
  {
    const Run &r = runs[i];
    Component &c = comps[r.id];
    c.left = std::min(c.left, r.x0);
    c.right = std::max(c.right, r.x1 + 1);
    c.bottom = std::min(c.bottom, r.y);
    c.top = std::max(c.top, r.y + 1);
    c.runs.push_back(i);
  }
  size_t total = 0;
  for (const Component &c : comps)
  {
    if (c.runs.empty())
      DJVU_API_THROW("Internal error in CC analysis");
    total += c.runs.size();
  }
  if (total != (size_t)n)
    DJVU_API_THROW("Internal error in CC analysis");
  analysed = true;
}

void RunTable::merge_overlapping(int percent)
{
  if (!analysed)
    connected_components(8);
  const int32_t n = (int32_t)comps.size();
  std::vector<int32_t> order(n);
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](int32_t a, int32_t b) { return comps[a].bottom < comps[b].bottom; });
  std::vector<int32_t> parent(n);
  std::iota(parent.begin(), parent.end(), 0);
  auto area = [](const Component &c) { return (int64_t)(c.right - c.left) * (c.top - c.bottom); };
  for (int32_t i = 0; i < n; i++)
  {
    const Component &P = comps[order[i]];
    const int64_t ap = area(P);
    for (int32_t j = i + 1; j < n && comps[order[j]].bottom < P.top; j++)
    {
      const Component &Q = comps[order[j]];
      const int64_t iw = (int64_t)std::min(P.right, Q.right) - std::max(P.left, Q.left);
      const int64_t ih = (int64_t)std::min(P.top, Q.top) - std::max(P.bottom, Q.bottom);
      if (iw <= 0 || ih <= 0)
        continue;
      const int64_t inter = iw * ih, aq = area(Q);
      const bool covers = 100 * inter >= (int64_t)percent * ap || 100 * inter >= (int64_t)percent * aq;
      if (covers && 200 * std::min(ap, aq) >= std::max(ap, aq))
        join(parent, order[i], order[j]);
    }
  }
  std::vector<int32_t> label(runs.size());
  for (size_t i = 0; i < runs.size(); i++)
    label[i] = find_root(parent, runs[i].id);
  // Labels are component ids; map each to the first run of its root so that
  // renumbering sees run indices.
  std::vector<int32_t> first_run(n);
  for (int32_t c = 0; c < n; c++)
    first_run[c] = comps[c].runs.front();
  for (auto &l : label)
    l = first_run[l];
  build_components(label);
}

DJVU::GP<DJVU::JB2Image> RunTable::to_jb2()
{
  if (!analysed)
    connected_components(8);
  DJVU::GP<DJVU::JB2Image> jimg = DJVU::JB2Image::create();
  for (const Component &c : comps)
  {
    const int w = c.right - c.left, h = c.top - c.bottom;
    if (w > 0xFFFF || h > 0xFFFF || c.left > 0xFFFF || c.bottom > 0xFFFF || c.left < 0 || c.bottom < 0)
      DJVU_API_THROW("Image too large");
    DJVU::GP<DJVU::GBitmap> bm = DJVU::GBitmap::create(h, w);
    for (int32_t idx : c.runs)
    {
      const Run &r = runs[idx];
      const int row = r.y - c.bottom;
      if (row < 0 || row >= h)
        DJVU_API_THROW("Internal error (y bounds)");
      if (r.x0 < c.left || r.x1 >= c.right || r.x0 > r.x1)
        DJVU_API_THROW("Internal error (x bounds)");
      unsigned char *p = (*bm)[row];
      std::fill(p + (r.x0 - c.left), p + (r.x1 - c.left) + 1, (unsigned char)1);
    }
    DJVU::JB2Shape shape;
    shape.parent = -1;
    shape.bits = bm;
    shape.userdata = 0;
    DJVU::JB2Blit blit;
    blit.left = (unsigned short)c.left;
    blit.bottom = (unsigned short)c.bottom;
    blit.shapeno = (unsigned int)jimg->add_shape(shape);
    jimg->add_blit(blit);
  }
  return jimg;
}

DJVU::GP<DJVU::JB2Image> run_image_to_jb2(const djvu_run_image &ri, bool with_image)
{
  RunTable table;
  table.from_run_image(ri, with_image);
  table.connected_components(8);
  table.merge_overlapping(85);
  return table.to_jb2();
}

djvu_run_image *run_image_new()
{
  auto *ri = static_cast<djvu_run_image *>(djvu_calloc(1, sizeof(djvu_run_image)));
  if (!ri)
    DJVU_API_THROW("Failed to allocate memory");
  return ri;
}

} // namespace vellum_api

extern "C" {

void djvu_run_image_free(djvu_run_image *image)
{
  if (!image)
    return;
  djvu_free(image->data);
  djvu_free(image);
}

} // extern "C"

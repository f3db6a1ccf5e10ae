#include "PageLogic.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace vellum
{

const char kPagePaneSample[] = "Page 99999/99999";

std::string PagePaneText(int pageIndex, int pageCount)
{
  if (pageCount < 2 || pageIndex < 0 || pageIndex >= pageCount)
    return std::string();
  char text[64];
  std::snprintf(text, sizeof text, "Page %d/%d", pageIndex + 1, pageCount);
  return text;
}

std::string PageChangeQuestion(int pageIndex)
{
  char text[64];
  std::snprintf(text, sizeof text, "Save changes to page %d?", pageIndex + 1);
  return text;
}

ThumbGrid PlanThumbGrid(int count, int clientWidth, Extent box, int labelHeight, int gap)
{
  ThumbGrid g;
  g.count = std::max(count, 0);
  g.gap = std::max(gap, 0);
  g.cell = {std::max(box.w, 1), std::max(box.h, 1) + std::max(labelHeight, 0)};
  // Columns that fit with a gap before each and one after the last.
  const int64_t room = int64_t(clientWidth) - g.gap;
  g.columns = static_cast<int>(std::max<int64_t>(1, room / (g.cell.w + g.gap)));
  g.columns = std::min(g.columns, std::max(g.count, 1));
  g.rows = (g.count + g.columns - 1) / g.columns;
  const int64_t w = int64_t(g.columns) * (g.cell.w + g.gap) + g.gap;
  const int64_t h = g.rows ? int64_t(g.rows) * (g.cell.h + g.gap) + g.gap : 0;
  g.total = {static_cast<int>(std::min<int64_t>(w, INT32_MAX)),
             static_cast<int>(std::min<int64_t>(h, INT32_MAX))};
  return g;
}

IntPoint ThumbCellOrigin(const ThumbGrid &grid, int index)
{
  const int row = index / grid.columns, column = index % grid.columns;
  return {grid.gap + column * (grid.cell.w + grid.gap), grid.gap + row * (grid.cell.h + grid.gap)};
}

ThumbRange VisibleThumbs(const ThumbGrid &grid, int scrollY, int clientHeight)
{
  ThumbRange r;
  if (grid.count <= 0 || clientHeight <= 0)
    return r;
  const int pitch = grid.cell.h + grid.gap;
  const int64_t top = std::max(scrollY, 0), bottom = int64_t(top) + clientHeight; // exclusive
  // A row shows when any of its cell's pixels lies in [top, bottom).
  int64_t firstRow = (top - grid.gap) / pitch;
  if (top - grid.gap < 0)
    firstRow = 0;
  // The gap below a row's cell shows nothing of it.
  if (firstRow < grid.rows && grid.gap + firstRow * pitch + grid.cell.h <= top)
    ++firstRow;
  int64_t lastRow = bottom - 1 - grid.gap < 0 ? -1 : (bottom - 1 - grid.gap) / pitch; // inclusive
  lastRow = std::min<int64_t>(lastRow, grid.rows - 1);
  if (firstRow > lastRow)
    return r;
  r.first = static_cast<int>(firstRow * grid.columns);
  r.last = static_cast<int>(std::min<int64_t>((lastRow + 1) * grid.columns, grid.count));
  return r;
}

int ThumbAt(const ThumbGrid &grid, IntPoint p)
{
  if (grid.count <= 0 || p.x < grid.gap || p.y < grid.gap)
    return -1;
  const int px = p.x - grid.gap, py = p.y - grid.gap;
  const int column = px / (grid.cell.w + grid.gap), row = py / (grid.cell.h + grid.gap);
  if (px % (grid.cell.w + grid.gap) >= grid.cell.w || py % (grid.cell.h + grid.gap) >= grid.cell.h)
    return -1;
  if (column >= grid.columns || row >= grid.rows)
    return -1;
  const int64_t index = int64_t(row) * grid.columns + column;
  return index < grid.count ? static_cast<int>(index) : -1;
}

int ScrollToShowThumb(const ThumbGrid &grid, int index, int scrollY, int clientHeight)
{
  if (index < 0 || index >= grid.count)
    return scrollY;
  const IntPoint at = ThumbCellOrigin(grid, index);
  const int top = at.y - grid.gap, bottom = at.y + grid.cell.h + grid.gap;
  if (top < scrollY)
    return std::max(top, 0);
  if (bottom > scrollY + clientHeight)
    return std::max(bottom - clientHeight, 0);
  return scrollY;
}

int ThumbSubsample(Extent page, Extent box, int maxSubsample)
{
  if (page.w <= 0 || page.h <= 0 || box.w <= 0 || box.h <= 0)
    return 1;
  // Only the axis the page fills when fitted must be covered.
  const Extent fit = FitInBox(page, box);
  int s = 1;
  for (int i = 2; i <= maxSubsample; ++i)
    if ((page.w + i - 1) / i >= fit.w && (page.h + i - 1) / i >= fit.h)
      s = i;
  return s;
}

Extent FitInBox(Extent page, Extent box)
{
  if (page.w <= 0 || page.h <= 0 || box.w <= 0 || box.h <= 0)
    return {1, 1};
  // Width-bound when page.w / page.h >= box.w / box.h.
  if (int64_t(page.w) * box.h >= int64_t(page.h) * box.w)
    return {box.w, static_cast<int>(std::max<int64_t>(1, (int64_t(page.h) * box.w + page.w / 2) / page.w))};
  return {static_cast<int>(std::max<int64_t>(1, (int64_t(page.w) * box.h + page.h / 2) / page.h)), box.h};
}

} // namespace vellum

#include "SelectionLogic.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>

#include "ZoomLogic.h"

namespace vellum
{

namespace
{

int Saturate(int64_t v)
{
  return static_cast<int>(std::max<int64_t>(INT_MIN, std::min<int64_t>(INT_MAX, v)));
}

} // namespace

void MappingPercents(int zoom, int xdpi, int ydpi, int *px, int *py)
{
  const int64_t p = ZoomPercent(ClampZoom(zoom));
  int64_t x = p, y = p;
  if (xdpi >= 1 && ydpi >= 1 && xdpi != ydpi)
  {
    if (ydpi < xdpi)
      y = p * xdpi / ydpi;
    else
      x = p * ydpi / xdpi;
  }
  *px = Saturate(x);
  *py = Saturate(y);
}

IntPoint ViewToImage(const ViewMapping &m, IntPoint c, bool clamp)
{
  int px = 100, py = 100;
  MappingPercents(m.zoom, m.xdpi, m.ydpi, &px, &py);
  IntPoint r;
  r.x = Saturate((static_cast<int64_t>(c.x) + m.scrollX - m.offsetX) * 100 / std::max(px, 1));
  r.y = Saturate((static_cast<int64_t>(c.y) + m.scrollY - m.offsetY) * 100 / std::max(py, 1));
  if (clamp)
  {
    r.x = std::max(0, std::min(r.x, m.sourceW - 1));
    r.y = std::max(0, std::min(r.y, m.sourceH - 1));
  }
  return r;
}

IntPoint ImageToView(const ViewMapping &m, IntPoint i)
{
  int px = 100, py = 100;
  MappingPercents(m.zoom, m.xdpi, m.ydpi, &px, &py);
  IntPoint r;
  r.x = Saturate(static_cast<int64_t>(i.x) * px / 100 + m.offsetX - m.scrollX);
  r.y = Saturate(static_cast<int64_t>(i.y) * py / 100 + m.offsetY - m.scrollY);
  return r;
}

SelRect NormalizeRect(SelRect r)
{
  if (r.left > r.right)
    std::swap(r.left, r.right);
  if (r.top > r.bottom)
    std::swap(r.top, r.bottom);
  return r;
}

bool SelectionExists(const SelRect &r)
{
  return r.left < r.right && r.top < r.bottom;
}

SelRect ViewRectToImage(const ViewMapping &m, SelRect view)
{
  view = NormalizeRect(view);
  const IntPoint a = ViewToImage(m, {view.left, view.top}, true);
  const IntPoint b = ViewToImage(m, {view.right, view.bottom}, true);
  return {a.x, a.y, b.x, b.y};
}

SelRect ImageRectToView(const ViewMapping &m, SelRect image)
{
  const IntPoint a = ImageToView(m, {image.left, image.top});
  const IntPoint b = ImageToView(m, {image.right, image.bottom});
  return {a.x, a.y, b.x, b.y};
}

SelRect Inflate(SelRect r, int g)
{
  return {r.left - g, r.top - g, r.right + g, r.bottom + g};
}

int SelectionRepaintMargin(int zoom)
{
  return zoom > 0 ? 2 * (ClampZoom(zoom) + 1) : 2;
}

std::string PositionPaneText(IntPoint p, bool hasSelection, const SelRect &s)
{
  char text[160];
  if (hasSelection)
    std::snprintf(text, sizeof text, "(%d,%d)   Selection: (%d,%d)->(%d,%d) = (%dx%d)", p.x, p.y, s.left,
                  s.top, s.right, s.bottom, s.right - s.left + 1, s.bottom - s.top + 1);
  else
    std::snprintf(text, sizeof text, "(%d,%d)", p.x, p.y);
  return text;
}

std::string ScrollPaneText(int scrollX, int scrollY)
{
  char text[64];
  std::snprintf(text, sizeof text, "Scroll offset: (%d,%d)", scrollX, scrollY);
  return text;
}

IntPoint PanScroll(IntPoint scroll, IntPoint last, IntPoint pointer, bool hScroll, bool vScroll)
{
  IntPoint r = scroll;
  if (hScroll)
    r.x = Saturate(static_cast<int64_t>(scroll.x) + last.x - pointer.x);
  if (vScroll)
    r.y = Saturate(static_cast<int64_t>(scroll.y) + last.y - pointer.y);
  return r;
}

int InsertStoredRow(int y, int imageSourceHeight, int insertSourceHeight, bool imageTopDown)
{
  if (imageTopDown)
    return y;
  return Saturate(static_cast<int64_t>(imageSourceHeight) - insertSourceHeight - y);
}

SelRect PlacementRepaint(IntPoint last, IntPoint current, int insertW, int insertH, int zoomPercent)
{
  SelRect r = NormalizeRect({last.x, last.y, current.x, current.y});
  r.right = Saturate(r.right + static_cast<int64_t>(insertW) * zoomPercent / 100);
  r.bottom = Saturate(r.bottom + static_cast<int64_t>(insertH) * zoomPercent / 100);
  return r;
}

} // namespace vellum

#include "ZoomLogic.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace vellum
{

namespace
{

int Saturate(int64_t v)
{
  if (v > INT_MAX)
    return INT_MAX;
  if (v < INT_MIN)
    return INT_MIN;
  return static_cast<int>(v);
}

} // namespace

int ZoomPercent(int z)
{
  z = ClampZoom(z);
  return z >= 0 ? 100 * (z + 1) : 100 / (1 - z);
}

int ZoomSize(int size, int z)
{
  z = ClampZoom(z);
  if (z >= 0)
    return Saturate(static_cast<int64_t>(size) * (z + 1));
  return size / (1 - z);
}

int ZoomBoxIndex(int z)
{
  return kMaxZoom - ClampZoom(z);
}

int ZoomFromBoxIndex(int index)
{
  return ClampZoom(kMaxZoom - index);
}

std::string ZoomBoxLabel(int index)
{
  if (index < 0 || index >= kZoomBoxEntries)
    return std::string();
  int percent;
  if (index <= 9)
    percent = 1000 - 100 * index; // 1000, 900, ... 100
  else
    percent = static_cast<int>(std::floor(100.0 / (index - 8) + 0.5)); // i = 2 .. 10
  char text[16];
  std::snprintf(text, sizeof text, "%d %%", percent);
  return text;
}

Extent AspectCorrect(Extent size, int xdpi, int ydpi)
{
  if (xdpi < 1 || ydpi < 1 || xdpi == ydpi)
    return size;
  if (ydpi < xdpi)
    size.h = Saturate(static_cast<int64_t>(size.h) * xdpi / ydpi);
  else
    size.w = Saturate(static_cast<int64_t>(size.w) * ydpi / xdpi);
  return size;
}

void AspectPercent(int p, int xdpi, int ydpi, int *px, int *py)
{
  double x = p, y = p;
  if (xdpi >= 1 && ydpi >= 1 && xdpi != ydpi)
  {
    if (ydpi < xdpi)
      y = static_cast<double>(p) * xdpi / ydpi;
    else
      x = static_cast<double>(p) * ydpi / xdpi;
  }
  // Saturated: a hostile resolution pair would not fit an int.
  *px = static_cast<int>(std::min<double>(INT_MAX, std::floor(x + 0.5)));
  *py = static_cast<int>(std::min<double>(INT_MAX, std::floor(y + 0.5)));
}

Extent ZoomedExtent(Extent source, int xdpi, int ydpi, int z)
{
  return AspectCorrect({ZoomSize(source.w, z), ZoomSize(source.h, z)}, xdpi, ydpi);
}

int FitStep(Extent size, Extent area, int imageFit)
{
  const int aw = std::max(area.w, 1), ah = std::max(area.h, 1);
  int n = 0;
  switch (imageFit)
  {
  case kFitWidth:
    n = size.w / aw;
    break;
  case kFitHeight:
    n = size.h / ah;
    break;
  case kFitBoth:
    n = std::max(size.w / aw, size.h / ah);
    break;
  default:
    n = 0;
  }
  return n > 0 ? ClampZoom(-n) : 0;
}

Extent FitArea(bool windowFit, bool maximised, Extent frameClient, Extent workArea)
{
  if (!windowFit || maximised)
    return frameClient;
  return {workArea.w - 20, workArea.h - 62};
}

int KeepScroll(int pos, int oldZoom, int newZoom)
{
  if (oldZoom <= 0 && newZoom <= 0)
    return Saturate(static_cast<int64_t>(pos) * (1 - oldZoom) / (1 - newZoom));
  if (oldZoom >= 0 && newZoom >= 0)
    return Saturate(static_cast<int64_t>(pos) * (newZoom + 1) / (oldZoom + 1));
  return pos;
}

int HeldDrawPercent(int zoom, int renderFactor, int renderScale, int deviceScale)
{
  const int z = ClampZoom(zoom);
  int64_t num = int64_t(100) * std::min(std::max(deviceScale, 1), 8) * std::max(renderFactor, 1);
  int64_t den = std::max(renderScale, 1);
  if (z < 0)
    den *= 1 - z;
  else
    num *= z + 1;
  return Saturate(num / den);
}

int DrawPercent(int zoom, int contentKind, bool fancyZoom)
{
  const bool reduced = (contentKind == 1 || contentKind == 2) && zoom < 0 && fancyZoom;
  return HeldDrawPercent(zoom, reduced ? 1 - ClampZoom(zoom) : 1, 1, 1);
}

DrawPlan PlanDraw(const DrawInput &in)
{
  DrawPlan d;
  // Within 1..8: a larger scale is no screen's.
  const int s = std::min(std::max(in.deviceScale, 1), 8);
  if (in.renderFactor > 0)
    AspectPercent(HeldDrawPercent(in.zoom, in.renderFactor, in.renderScale, s), in.xdpi, in.ydpi, &d.px,
                  &d.py);
  else
  {
    AspectPercent(DrawPercent(in.zoom, in.contentKind, in.fancyZoom), in.xdpi, in.ydpi, &d.px, &d.py);
    d.px = Saturate(static_cast<int64_t>(d.px) * s);
    d.py = Saturate(static_cast<int64_t>(d.py) * s);
  }
  d.hScroll = in.client.w < in.scrollRange.w;
  d.vScroll = in.client.h < in.scrollRange.h;
  d.unscaled = d.px == 100 && d.py == 100;
  if (in.imageW <= 0 || in.imageH <= 0 || d.px <= 0 || d.py <= 0)
    return d;
  const int64_t W = in.imageW, H = in.imageH;
  d.drawnW = Saturate(W * d.px / 100);
  d.drawnH = Saturate(H * d.py / 100);

  const int64_t clientW = static_cast<int64_t>(std::max(in.client.w, 0)) * s;
  const int64_t clientH = static_cast<int64_t>(std::max(in.client.h, 0)) * s;
  const int sx = Saturate(static_cast<int64_t>(std::max(in.scrollX, 0)) * s);
  const int sy = Saturate(static_cast<int64_t>(std::max(in.scrollY, 0)) * s);
  const int z = ClampZoom(in.zoom);
  d.ax = sx;
  d.ay = sy;
  if (z > 0)
  {
    d.ax -= sx % ((z + 1) * s);
    d.ay -= sy % ((z + 1) * s);
  }
  // Centred on whole logical pixels.
  d.ox = d.drawnW < clientW ? static_cast<int>((clientW - d.drawnW) / 2 / s * s) : 0;
  d.oy = d.drawnH < clientH ? static_cast<int>((clientH - d.drawnH) / 2 / s * s) : 0;

  const int64_t vw = clientW + sx - d.ax;
  const int64_t vh = clientH + sy - d.ay;
  const int64_t left = static_cast<int64_t>(d.ax) * 100 / d.px;
  const int64_t top = static_cast<int64_t>(d.ay) * 100 / d.py;
  if (left >= W || top >= H || d.ax >= d.drawnW || d.ay >= d.drawnH)
    return d;
  // The rectangle of the drawing rule, clipped so that it never leaves the image.
  const int64_t sw = std::min({vw * 100 / d.px + 1, W, W - left});
  const int64_t sh = std::min({vh * 100 / d.py + 1, H, H - top});
  d.srcLeft = static_cast<int>(left);
  d.srcTop = static_cast<int>(top);
  d.srcW = static_cast<int>(sw);
  d.srcH = static_cast<int>(sh);
  d.srcBottomUpY = static_cast<int>(H - sh - top);
  d.dstX = d.ax + d.ox;
  d.dstY = d.ay + d.oy;
  d.dstW = static_cast<int>(std::min<int64_t>(vw, d.drawnW - d.ax));
  d.dstH = static_cast<int>(std::min<int64_t>(vh, d.drawnH - d.ay));
  d.empty = d.srcW <= 0 || d.srcH <= 0 || d.dstW <= 0 || d.dstH <= 0;
  return d;
}

WindowRect PlanWindowFit(const WindowFitInput &in)
{
  WindowRect r;
  const Extent work = in.workArea;
  if (!in.hasImage)
  {
    r.resetZoom = true;
    r.w = 600;
    r.h = 500;
    r.x = in.workX + (work.w - r.w) / 2;
    r.y = in.workY + (work.h - r.h) / 2;
    return KeepInWorkArea(r, work, in.workX, in.workY);
  }
  const int u = std::max({in.imageShown.w, in.frameClient.w, in.barsWidth});
  const int v = in.imageShown.h;
  int64_t w = static_cast<int64_t>(in.decorW) + std::max(u, 600) + (in.frameClient.w - in.viewClient.w);
  int64_t h = static_cast<int64_t>(in.decorH) + v + (in.frameClient.h - in.viewClient.h);
  if (in.viewClient.w < in.scrollRange.w)
    h -= in.hScrollHeight;
  if (in.viewClient.h < in.scrollRange.h)
    w -= in.vScrollWidth;

  bool whole = false;
  if (w > work.w - in.vScrollWidth && h > work.h - in.hScrollHeight)
  {
    whole = true;
    w = work.w;
    h = work.h;
  }
  else
  {
    if (w > work.w)
    {
      w = work.w;
      h += in.hScrollHeight;
    }
    if (h > work.h)
    {
      h = work.h;
      w += in.vScrollWidth;
    }
  }
  r.w = Saturate(w);
  r.h = Saturate(h);
  if (whole)
  {
    r.x = in.workX;
    r.y = in.workY;
    return r;
  }
  if (in.center)
  {
    r.x = in.workX + (work.w - r.w) / 2;
    r.y = in.workY + (work.h - r.h) / 2;
  }
  else
  {
    r.x = in.windowX;
    r.y = in.windowY;
  }
  return KeepInWorkArea(r, work, in.workX, in.workY);
}

WindowRect KeepInWorkArea(WindowRect r, Extent workArea, int workX, int workY)
{
  // A scroll bar added after a clamp can widen the window past the area
  // again; the status bar must stay on screen whatever the sizes.
  r.w = std::max(1, std::min(r.w, workArea.w));
  r.h = std::max(1, std::min(r.h, workArea.h));
  r.x = std::max(workX, std::min(r.x, workX + workArea.w - r.w));
  r.y = std::max(workY, std::min(r.y, workY + workArea.h - r.h));
  return r;
}

int ActualSizeStep(int imageDpi, int screenDpi)
{
  if (imageDpi < 1 || screenDpi < 1)
    return 0;
  // Steps magnify by z + 1 or reduce by 1 - z: the nearest factor wins.
  if (screenDpi >= imageDpi)
    return ClampZoom(static_cast<int>(std::lround(static_cast<double>(screenDpi) / imageDpi)) - 1);
  return ClampZoom(1 - static_cast<int>(std::lround(static_cast<double>(imageDpi) / screenDpi)));
}

bool ZoomStepForText(const std::string &text, int *step)
{
  size_t i = 0;
  const size_t n = text.size();
  auto blanks = [&]
  {
    while (i < n && (text[i] == ' ' || text[i] == '\t'))
      ++i;
  };
  blanks();
  double value = 0;
  bool digits = false;
  while (i < n && text[i] >= '0' && text[i] <= '9')
  {
    value = value * 10 + (text[i++] - '0');
    digits = true;
    if (value > 1e9)
      value = 1e9; // far beyond the range; keeps the sum finite
  }
  if (i < n && (text[i] == '.' || text[i] == ','))
  {
    ++i;
    for (double unit = 0.1; i < n && text[i] >= '0' && text[i] <= '9'; unit /= 10)
    {
      value += (text[i++] - '0') * unit;
      digits = true;
    }
  }
  blanks();
  if (i < n && text[i] == '%')
    ++i;
  blanks();
  if (!digits || i != n || !(value > 0))
    return false;
  // Compare by ratio: a step's factor is z + 1 or 1 / (1 - z).
  int best = kMinZoom;
  double bestDistance = HUGE_VAL;
  for (int z = kMinZoom; z <= kMaxZoom; ++z)
  {
    const double percent = z >= 0 ? 100.0 * (z + 1) : 100.0 / (1 - z);
    const double distance = std::fabs(std::log(value / percent));
    if (distance < bestDistance - 1e-12)
    {
      best = z;
      bestDistance = distance;
    }
  }
  *step = best;
  return true;
}

int ScrollLineStep(int pageSize)
{
  return pageSize <= 1
             ? 1
             : std::max(1, static_cast<int>(std::lround(std::pow(static_cast<double>(pageSize), 2.0 / 3.0))));
}

int ScrollPageStep(int pageSize)
{
  return std::max(1, static_cast<int>(static_cast<int64_t>(pageSize) * 9 / 10));
}

NavResult NavigateKey(NavKey key, const bool canGo[4], int x, int y, Extent view, Extent range)
{
  NavResult r;
  const int maxX = std::max(0, range.w - view.w), maxY = std::max(0, range.h - view.h);
  x = std::min(std::max(x, 0), maxX);
  y = std::min(std::max(y, 0), maxY);
  const int64_t line = ScrollLineStep(view.h), page = ScrollPageStep(view.h);
  const int64_t lineX = ScrollLineStep(view.w);
  int64_t nx = x, ny = y;
  switch (key)
  {
  case kNavHome:
    r.page = canGo[0] ? 0 : -1;
    nx = ny = 0;
    break;
  case kNavEnd:
    r.page = canGo[3] ? 3 : -1;
    ny = maxY;
    break;
  case kNavPageUp:
    r.page = canGo[1] ? 1 : -1;
    ny -= page;
    break;
  case kNavPageDown:
    r.page = canGo[2] ? 2 : -1;
    ny += page;
    break;
  case kNavSpace:
    r.page = y >= maxY && canGo[2] ? 2 : -1;
    ny += page;
    break;
  case kNavShiftSpace:
    r.page = y <= 0 && canGo[1] ? 1 : -1;
    ny -= page;
    break;
  case kNavUp:
    ny -= line;
    break;
  case kNavDown:
    ny += line;
    break;
  case kNavLeft:
    nx -= lineX;
    break;
  case kNavRight:
    nx += lineX;
    break;
  }
  r.x = static_cast<int>(std::min<int64_t>(std::max<int64_t>(nx, 0), maxX));
  r.y = static_cast<int>(std::min<int64_t>(std::max<int64_t>(ny, 0), maxY));
  return r;
}

} // namespace vellum

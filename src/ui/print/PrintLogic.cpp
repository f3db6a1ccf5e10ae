#include "PrintLogic.h"

#include <climits>
#include <cmath>

namespace vellum
{

const char kMsgResolutionUnknown[] = "The original document resolution is unknown.\nDo you want to try to "
                                     "reproduce the displayed\nimage size instead?";
const char kMsgUnknownPrintSize[] = "Unknown print size setting!";

namespace
{

// floor(v + 0.5) kept inside int; non-finite or negative values give 0.
int RoundToInt(double v)
{
  if (!(v > 0))
    return 0;
  const double r = std::floor(v + 0.5);
  return r >= static_cast<double>(INT_MAX) ? INT_MAX : static_cast<int>(r);
}

int ScaledSize(int size, int percent)
{
  const long long v = static_cast<long long>(size) * percent / 100;
  return v > INT_MAX ? INT_MAX : static_cast<int>(v);
}

} // namespace

bool NeedsResolutionPrompt(int printSize, int xdpi, int ydpi)
{
  return printSize == 0 && (xdpi == 0 || ydpi == 0);
}

void PrintAspectFactors(int xdpi, int ydpi, double *ax, double *ay)
{
  *ax = 1;
  *ay = 1;
  if (xdpi < 1 || ydpi < 1 || xdpi == ydpi)
    return;
  if (ydpi < xdpi)
    *ay = static_cast<double>(xdpi) / ydpi;
  else
    *ax = static_cast<double>(ydpi) / xdpi;
}

int ScreenPpi(int pixels, int millimetres)
{
  if (millimetres <= 0 || pixels <= 0)
    return 96;
  return static_cast<int>(pixels * 25.4 / millimetres);
}

PrintPlan PlanPrint(const PrintInput &in)
{
  PrintPlan plan;
  if (in.printSize != 0 && in.printSize != 1)
  {
    plan.outcome = PrintPlan::kUnknownSetting;
    return plan;
  }
  if (in.imageW <= 0 || in.imageH <= 0 || !(in.printerPpiX > 0) || !(in.printerPpiY > 0))
    return plan;

  double sx, sy;
  if (in.printSize == 0)
  {
    // The original asks only about the horizontal DPI here; a zero vertical
    // DPI would divide by zero, so both are required.
    if (in.xdpi <= 0 || in.ydpi <= 0)
      return plan;
    sx = in.printerPpiX / in.xdpi;
    sy = in.printerPpiY / in.ydpi;
  }
  else
  {
    double ax, ay;
    PrintAspectFactors(in.xdpi, in.ydpi, &ax, &ay);
    const int spx = in.screenPpiX > 0 ? in.screenPpiX : 96;
    const int spy = in.screenPpiY > 0 ? in.screenPpiY : 96;
    sx = in.printerPpiX * ax * in.zoomPercent / (spx * 100.0);
    sy = in.printerPpiY * ay * in.zoomPercent / (spy * 100.0);
  }

  if (in.shrinkPrint)
  {
    const double mx = in.printableMmW * kInchesPerMm * in.printerPpiX / in.imageW;
    const double my = in.printableMmH * kInchesPerMm * in.printerPpiY / in.imageH;
    if (sx > mx)
    {
      sy = sy * mx / sx;
      sx = mx;
    }
    if (sy > my)
    {
      sx = sx * my / sy;
      sy = my;
    }
  }

  plan.sx = sx;
  plan.sy = sy;
  plan.px = RoundToInt(sx * 100);
  plan.py = RoundToInt(sy * 100);
  plan.pageW = RoundToInt(in.printableMmW * in.printerPpiX * kInchesPerMm);
  plan.pageH = RoundToInt(in.printableMmH * in.printerPpiY * kInchesPerMm);
  plan.drawnW = ScaledSize(in.imageW, plan.px);
  plan.drawnH = ScaledSize(in.imageH, plan.py);
  plan.offsetX = plan.drawnW < plan.pageW ? (plan.pageW - plan.drawnW) / 2 : 0;
  plan.offsetY = plan.drawnH < plan.pageH ? (plan.pageH - plan.drawnH) / 2 : 0;
  plan.outcome = plan.drawnW > 0 && plan.drawnH > 0 ? PrintPlan::kDraw : PrintPlan::kBlank;
  return plan;
}

} // namespace vellum

#include "Printout.h"

#include <cstring>
#include <vector>

#include <wx/dc.h>
#include <wx/gdicmn.h>

#include "DibRowsOf.h"
#include "DibImage.h"
#include "MessageBox.h"
#include "Settings.h"
#include "ZoomLogic.h"

namespace vellum
{

namespace
{

int g_screenPpiOverride = 0;

} // namespace

wxImage DibToWxImage(const CDibImage &image)
{
  if (image.IsEmpty() || image.m_nWidth <= 0 || image.m_nHeight <= 0)
    return wxImage();
  const DibRows rows = DibRowsOf(image);
  if (!DibRowsValid(rows) || static_cast<int64_t>(rows.stride) * rows.height > image.m_nPixelSize)
    return wxImage();

  // The whole image at 100 %.
  DrawPlan plan;
  plan.px = plan.py = 100;
  plan.srcW = plan.dstW = plan.drawnW = rows.width;
  plan.srcH = plan.dstH = plan.drawnH = rows.height;
  plan.unscaled = true;
  plan.empty = false;
  std::vector<uint8_t> rgb;
  if (!RenderVisible(rows, plan, rgb))
    return wxImage();
  // wxImage takes a malloc'd buffer.
  unsigned char *data = static_cast<unsigned char *>(malloc(rgb.size()));
  if (!data)
    return wxImage();
  std::memcpy(data, rgb.data(), rgb.size());
  return wxImage(rows.width, rows.height, data);
}

void DrawDibStretched(wxDC &dc, const CDibImage &image, int x, int y, int w, int h)
{
  if (w <= 0 || h <= 0)
    return;
  const wxImage picture = DibToWxImage(image);
  if (!picture.IsOk())
    return;
  const wxBitmap bitmap(picture);
  const int W = picture.GetWidth(), H = picture.GetHeight();
  double ux = 1, uy = 1;
  dc.GetUserScale(&ux, &uy);
  // In the stretched coordinates one image pixel is one logical unit.
  const double kx = static_cast<double>(w) / W, ky = static_cast<double>(h) / H;
  dc.SetUserScale(ux * kx, uy * ky);
  dc.DrawBitmap(bitmap, wxRound(x / kx), wxRound(y / ky));
  dc.SetUserScale(ux, uy);
}

CVellumPrintout::CVellumPrintout(const CDibImage &image, CVellumSettings &settings, int zoomPercent,
                                 const wxString &title)
    : wxPrintout(title), m_image(image), m_settings(settings), m_zoomPercent(zoomPercent)
{
}

void CVellumPrintout::SetScreenPpiOverride(int ppi)
{
  g_screenPpiOverride = ppi;
}

void CVellumPrintout::GetPageInfo(int *minPage, int *maxPage, int *selFrom, int *selTo)
{
  *minPage = *maxPage = *selFrom = *selTo = 1;
}

PrintInput CVellumPrintout::MakeInput() const
{
  PrintInput in;
  in.printSize = m_settings.PrintSize;
  in.shrinkPrint = m_settings.ShrinkPrint;
  in.imageW = m_image.m_nWidth;
  in.imageH = m_image.m_nHeight;
  in.xdpi = m_image.m_nXDpi;
  in.ydpi = m_image.m_nYDpi;
  in.zoomPercent = m_zoomPercent;

  int ppiX = 0, ppiY = 0, pageW = 0, pageH = 0;
  GetPPIPrinter(&ppiX, &ppiY);
  GetPageSizePixels(&pageW, &pageH);
  in.printerPpiX = ppiX;
  in.printerPpiY = ppiY;
  in.printableMmW = ppiX > 0 ? pageW * 25.4 / ppiX : 0;
  in.printableMmH = ppiY > 0 ? pageH * 25.4 / ppiY : 0;

  if (g_screenPpiOverride > 0)
    in.screenPpiX = in.screenPpiY = g_screenPpiOverride;
  else
  {
    const wxSize pixels = wxGetDisplaySize();
    const wxSize mm = wxGetDisplaySizeMM();
    in.screenPpiX = ScreenPpi(pixels.x, mm.x);
    in.screenPpiY = ScreenPpi(pixels.y, mm.y);
  }
  return in;
}

void CVellumPrintout::OnPreparePrinting()
{
  if (m_screenSizeAnswer < 0 && !m_image.IsEmpty() &&
      NeedsResolutionPrompt(m_settings.PrintSize, m_image.m_nXDpi, m_image.m_nYDpi))
    m_screenSizeAnswer =
        VellumMessageBox(kMsgResolutionUnknown, "Vellum", VMB_YESNO | VMB_ICONQUESTION) == VID_YES ? 1 : 0;
}

bool CVellumPrintout::OnPrintPage(int page)
{
  wxDC *dc = GetDC();
  if (!dc || page != 1)
    return false;
  m_plan = PrintPlan();
  if (m_image.IsEmpty())
    return true;

  // Unknown resolution at original size: the screen size, or a blank page,
  // as answered once for this printout.
  const int savedSize = m_settings.PrintSize;
  if (NeedsResolutionPrompt(m_settings.PrintSize, m_image.m_nXDpi, m_image.m_nYDpi))
  {
    OnPreparePrinting();
    if (m_screenSizeAnswer != 1)
      return true;
    m_settings.PrintSize = 1;
  }
  PrintInput in = MakeInput();
  m_settings.PrintSize = savedSize;

  m_plan = PlanPrint(in);
  if (m_plan.outcome == PrintPlan::kUnknownSetting)
  {
    VellumMessageBox(kMsgUnknownPrintSize, "Vellum", VMB_OK | VMB_ICONHAND);
    return true;
  }
  if (m_plan.outcome != PrintPlan::kDraw)
    return true;

  // Logical units = printer pixels of the printable area, whatever the
  // device (the preview draws the same page smaller).
  FitThisSizeToPage(wxSize(m_plan.pageW, m_plan.pageH));
  DrawDibStretched(*dc, m_image, m_plan.offsetX, m_plan.offsetY, m_plan.drawnW, m_plan.drawnH);
  return true;
}

} // namespace vellum

#include "ThumbRender.h"

#include <algorithm>

#include "DibRowsOf.h"
#include "DocumentNames.h"
#include "PageLogic.h"

namespace vellum
{

bool DibToRgb(const CDibImage &image, int percent, ThumbPicture &out)
{
  out.rgb.clear();
  out.size = {};
  if (image.IsEmpty() || percent < 1 || percent > 100)
    return false;
  const DibRows rows = DibRowsOf(image);
  DrawPlan plan;
  plan.px = plan.py = percent;
  plan.srcW = image.m_nWidth;
  plan.srcH = image.m_nHeight;
  plan.dstW = std::max(1, static_cast<int>(int64_t(image.m_nWidth) * percent / 100));
  plan.dstH = std::max(1, static_cast<int>(int64_t(image.m_nHeight) * percent / 100));
  plan.drawnW = plan.dstW;
  plan.drawnH = plan.dstH;
  plan.empty = false;
  if (!RenderVisible(rows, plan, out.rgb))
    return false;
  out.size = {plan.dstW, plan.dstH};
  return true;
}

bool RenderThumbnail(const std::string &path, int kind, int index, djvu_document *book, Extent box,
                     ThumbPicture &out)
{
  out = ThumbPicture();
  CDibImage page;
  if (kind == kKindDjVu || kind == kKindIw44)
  {
    if (!page.OpenDjVu(path.c_str(), kind, index, book) || !page.m_pDocument)
      return false;
    const auto *decoded = static_cast<const djvu_halfcoded_image *>(page.m_pDocument);
    out.page = {decoded->width, decoded->height};
    const int s = ThumbSubsample(out.page, box);
    // Zoom step -(s - 1) renders at subsample s.
    if (!page.RenderDjVu(0, 24, 1 - s, 2.2, DIB_HEADER_INFO, kind))
      return false;
  }
  else if (kind == kKindTiff)
  {
    if (!page.LoadTiff(path.c_str(), index, DIB_HEADER_INFO))
      return false;
    out.page = {page.m_nWidth, page.m_nHeight};
  }
  else
    return false;
  // Down to about twice the fitted size; the panel smooths the rest.
  const Extent fit = FitInBox({page.m_nWidth, page.m_nHeight}, box);
  int percent = 100;
  if (page.m_nWidth > 2 * fit.w)
    percent = static_cast<int>(std::clamp<int64_t>(int64_t(200) * fit.w / page.m_nWidth + 1, 1, 100));
  const Extent pageSize = out.page;
  const bool ok = DibToRgb(page, percent, out);
  out.page = pageSize;
  return ok;
}

} // namespace vellum

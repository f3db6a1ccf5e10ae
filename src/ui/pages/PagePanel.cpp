#include "PagePanel.h"

#include <algorithm>
#include <cmath>

#include <wx/dcbuffer.h>
#include <wx/image.h>
#include <wx/settings.h>

namespace vellum
{

const char kPageBarName[] = "PageBar";
const char kPageBarCaption[] = "Pages";
const char kPageBarMenu[] = "Page &Thumbnails";
const char kPageBarHelp[] = "Show or hide the page thumbnails";

CPagePanel::CPagePanel(wxWindow *parent, IPageHost &host)
    : wxScrolledCanvas(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                       wxVSCROLL | wxFULL_REPAINT_ON_RESIZE),
      m_host(host)
{
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  SetScrollRate(0, 16);
  SetMinSize(wxSize(kBoxWidth + 2 * kGap + wxSystemSettings::GetMetric(wxSYS_VSCROLL_X, this), -1));
  Bind(wxEVT_PAINT, &CPagePanel::OnPaint, this);
  Bind(wxEVT_LEFT_DOWN, &CPagePanel::OnLeftDown, this);
  Bind(wxEVT_SIZE, &CPagePanel::OnSize, this);
  Bind(wxEVT_IDLE, &CPagePanel::OnIdle, this);
}

int CPagePanel::LabelHeight() const
{
  return GetCharHeight() + 4;
}

void CPagePanel::Relayout()
{
  m_grid = PlanThumbGrid(m_grid.count, GetClientSize().x, {kBoxWidth, kBoxHeight}, LabelHeight(), kGap);
  SetVirtualSize(m_grid.total.w, m_grid.total.h);
}

void CPagePanel::SetDocument(const std::string &key, int count, int current)
{
  const bool same = key == m_key && count == m_grid.count;
  if (!same)
  {
    m_key = key;
    m_cache.Clear();
    m_renders = 0;
    m_grid.count = std::max(count, 0);
    Relayout();
  }
  else if (current == m_current)
    return;
  m_current = current;
  // The current page in sight.
  int sx = 0, sy = 0;
  GetViewStart(&sx, &sy);
  int ux = 0, uy = 0;
  GetScrollPixelsPerUnit(&ux, &uy);
  const int scrollY = sy * std::max(uy, 1);
  const int to = ScrollToShowThumb(m_grid, current, scrollY, GetClientSize().y);
  if (to != scrollY)
    Scroll(-1, (to + std::max(uy, 1) - 1) / std::max(uy, 1));
  Refresh();
}

int CPagePanel::PageAtClient(wxPoint p) const
{
  const wxPoint v = CalcUnscrolledPosition(p);
  return ThumbAt(m_grid, {v.x, v.y});
}

wxRect CPagePanel::CellRectClient(int index) const
{
  if (index < 0 || index >= m_grid.count)
    return wxRect();
  const IntPoint at = ThumbCellOrigin(m_grid, index);
  return wxRect(CalcScrolledPosition(wxPoint(at.x, at.y)), wxSize(m_grid.cell.w, m_grid.cell.h));
}

void CPagePanel::ClickAt(wxPoint client)
{
  const int index = PageAtClient(client);
  if (index >= 0)
    m_host.OnThumbnailChosen(index);
}

int CPagePanel::RenderVisible(int max)
{
  const wxPoint top = CalcUnscrolledPosition(wxPoint(0, 0));
  const ThumbRange r = VisibleThumbs(m_grid, top.y, GetClientSize().y);
  // At the screen's device pixels: a scale-2 screen gets thumbnails of
  // twice the pixels in the same boxes.
  const int scale = std::clamp(static_cast<int>(std::lround(GetContentScaleFactor())), 1, 8);
  const Extent box{kBoxWidth * scale, kBoxHeight * scale};
  int done = 0;
  for (int i = r.first; i < r.last && done < max; ++i)
  {
    if (m_cache.Contains(i))
      continue;
    Thumb thumb;
    ThumbPicture picture;
    if (m_host.RenderPageThumbnail(i, box, picture) && !picture.rgb.empty())
    {
      wxImage image(picture.size.w, picture.size.h, picture.rgb.data(), true);
      const Extent fit = FitInBox(picture.size, box);
      thumb.bitmap =
          wxBitmap(image.Scale(fit.w, fit.h, wxIMAGE_QUALITY_BOX_AVERAGE), wxBITMAP_SCREEN_DEPTH, scale);
    }
    m_cache.Put(i, thumb);
    ++m_renders;
    ++done;
    RefreshRect(CellRectClient(i), false);
  }
  return done;
}

const wxBitmap *CPagePanel::ThumbBitmap(int index)
{
  const Thumb *thumb = m_cache.Get(index);
  return thumb ? &thumb->bitmap : nullptr;
}

void CPagePanel::OnIdle(wxIdleEvent &event)
{
  event.Skip();
  if (!IsShownOnScreen() || m_grid.count == 0)
    return;
  if (RenderVisible(1) > 0)
    event.RequestMore();
}

void CPagePanel::OnSize(wxSizeEvent &event)
{
  Relayout();
  Refresh();
  event.Skip();
}

void CPagePanel::OnLeftDown(wxMouseEvent &event)
{
  SetFocus();
  ClickAt(event.GetPosition());
}

void CPagePanel::OnPaint(wxPaintEvent &)
{
  wxAutoBufferedPaintDC dc(this);
  DoPrepareDC(dc);
  const wxSize client = GetClientSize();
  const wxPoint top = CalcUnscrolledPosition(wxPoint(0, 0));
  dc.SetPen(*wxTRANSPARENT_PEN);
  dc.SetBrush(wxBrush(wxColour(192, 192, 192)));
  dc.DrawRectangle(top.x, top.y, client.x, client.y);
  const ThumbRange r = VisibleThumbs(m_grid, top.y, client.y);
  const wxColour highlight = wxSystemSettings::GetColour(wxSYS_COLOUR_HIGHLIGHT);
  dc.SetFont(GetFont());
  for (int i = r.first; i < r.last; ++i)
  {
    const IntPoint at = ThumbCellOrigin(m_grid, i);
    if (i == m_current)
    {
      dc.SetPen(*wxTRANSPARENT_PEN);
      dc.SetBrush(wxBrush(highlight));
      dc.DrawRectangle(at.x - kGap / 2, at.y - kGap / 2, m_grid.cell.w + kGap, m_grid.cell.h + kGap);
    }
    const Thumb *thumb = m_cache.Get(i);
    if (thumb && thumb->bitmap.IsOk())
    {
      const int w = static_cast<int>(thumb->bitmap.GetLogicalWidth());
      const int h = static_cast<int>(thumb->bitmap.GetLogicalHeight());
      const int x = at.x + (kBoxWidth - w) / 2, y = at.y + (kBoxHeight - h) / 2;
      dc.DrawBitmap(thumb->bitmap, x, y, false);
      dc.SetPen(wxPen(wxColour(96, 96, 96)));
      dc.SetBrush(*wxTRANSPARENT_BRUSH);
      dc.DrawRectangle(x - 1, y - 1, w + 2, h + 2);
    }
    else
    {
      // Not rendered yet (or unreadable: crossed out).
      dc.SetPen(wxPen(wxColour(128, 128, 128)));
      dc.SetBrush(*wxWHITE_BRUSH);
      dc.DrawRectangle(at.x + 8, at.y + 4, kBoxWidth - 16, kBoxHeight - 8);
      if (thumb)
      {
        dc.DrawLine(at.x + 8, at.y + 4, at.x + kBoxWidth - 8, at.y + kBoxHeight - 4);
        dc.DrawLine(at.x + kBoxWidth - 8, at.y + 4, at.x + 8, at.y + kBoxHeight - 4);
      }
    }
    const wxString label = wxString::Format("%d", i + 1);
    const wxSize extent = dc.GetTextExtent(label);
    dc.SetTextForeground(i == m_current ? wxSystemSettings::GetColour(wxSYS_COLOUR_HIGHLIGHTTEXT) : *wxBLACK);
    dc.DrawText(label, at.x + (m_grid.cell.w - extent.x) / 2, at.y + kBoxHeight + 2);
  }
}

} // namespace vellum

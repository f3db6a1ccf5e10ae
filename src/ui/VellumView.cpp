#include "VellumView.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include <wx/dcbuffer.h>
#include <wx/display.h>
#include <wx/image.h>
#include <wx/numdlg.h>
#include <wx/settings.h>
#include <wx/utils.h>

#include "CommandIds.h"
#include "DibRowsOf.h"
#include "FrameHost.h"
#include "HandCursors.h"
#include "Logo.h"
#include "Printout.h"
#include "VellumDoc.h"

using namespace vellum;

// ---------------------------------------------------------------- canvas

// clang-format off
wxBEGIN_EVENT_TABLE(CViewCanvas, wxScrolledCanvas)
  EVT_PAINT(CViewCanvas::OnPaint)
  EVT_LEFT_DOWN(CViewCanvas::OnMouse)
  EVT_LEFT_UP(CViewCanvas::OnMouse)
  EVT_MOTION(CViewCanvas::OnMouse)
  EVT_MOUSEWHEEL(CViewCanvas::OnWheel)
  EVT_MOUSE_CAPTURE_LOST(CViewCanvas::OnCaptureLost)
  EVT_IDLE(CViewCanvas::OnIdle)
wxEND_EVENT_TABLE()
// clang-format on

CViewCanvas::CViewCanvas(CVellumView *view, wxWindow *parent)
    : wxScrolledCanvas(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                       wxHSCROLL | wxVSCROLL | wxFULL_REPAINT_ON_RESIZE),
      m_view(view)
{
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  SetScrollRate(1, 1);
}

CViewCanvas::~CViewCanvas()
{
  // Destroyed with its frame: the view must not draw into it any more.
  if (m_view && m_view->m_pCanvas == this)
    m_view->m_pCanvas = nullptr;
}

void CViewCanvas::OnIdle(wxIdleEvent &event)
{
  // Idle comes after the paints the toolkit had waiting: the page on screen
  // is never held up by a rendering ahead.
  if (m_view && m_view->RenderAhead())
    event.RequestMore();
  event.Skip();
}

void CViewCanvas::OnPaint(wxPaintEvent &)
{
  wxAutoBufferedPaintDC dc(this);
  DoPrepareDC(dc);
  if (m_view)
    m_view->OnDraw(&dc);
}

void CViewCanvas::OnMouse(wxMouseEvent &event)
{
  if (m_view)
  {
    const IntPoint p{event.GetX(), event.GetY()};
    if (event.LeftDown())
      m_view->OnLeftDown(p);
    else if (event.LeftUp())
      m_view->OnLeftUp(p);
    else if (event.Moving() || event.Dragging())
      m_view->OnMouseMove(p);
  }
  event.Skip();
}

void CViewCanvas::OnWheel(wxMouseEvent &event)
{
  // The scrolled window's own wheel handling moves by its scroll rate (one
  // pixel here): the view scrolls by the platform's line step instead.
  if (!m_view)
  {
    event.Skip();
    return;
  }
  m_view->Wheel(event.GetWheelRotation(), event.GetWheelDelta(),
                event.GetWheelAxis() == wxMOUSE_WHEEL_HORIZONTAL || event.ShiftDown(), event.ControlDown(),
                {event.GetX(), event.GetY()});
}

void CViewCanvas::OnCaptureLost(wxMouseCaptureLostEvent &)
{
  // Another window took the mouse: the drag or rubber band ends here.
  if (m_view)
  {
    m_view->m_bDragging = false;
    m_view->m_bTracking = false;
    Refresh();
  }
}

// ------------------------------------------------------------------ view

wxIMPLEMENT_CLASS(CVellumView, wxView);

// clang-format off
wxBEGIN_EVENT_TABLE(CVellumView, wxView)
  EVT_MENU(ID_VIEW_ZOOM_IN, CVellumView::OnZoomIn)
  EVT_MENU(ID_VIEW_ZOOM_OUT, CVellumView::OnZoomOut)
  EVT_MENU(ID_VIEW_REFRESH, CVellumView::OnRefresh)
  EVT_MENU(ID_VIEW_FIT_PAGE, CVellumView::OnFit)
  EVT_MENU(ID_VIEW_FIT_WIDTH, CVellumView::OnFit)
  EVT_MENU(ID_VIEW_ACTUAL_SIZE, CVellumView::OnFit)
  EVT_UPDATE_UI(ID_VIEW_FIT_PAGE, CVellumView::OnUpdateHasImage)
  EVT_UPDATE_UI(ID_VIEW_FIT_WIDTH, CVellumView::OnUpdateHasImage)
  EVT_UPDATE_UI(ID_VIEW_ACTUAL_SIZE, CVellumView::OnUpdateHasImage)
  EVT_MENU_RANGE(ID_VIEW_LAYER_COLOR, ID_VIEW_LAYER_FOREGROUND, CVellumView::OnLayer)
  EVT_MENU_RANGE(ID_PAGE_FIRST, ID_PAGE_LAST, CVellumView::OnPage)
  EVT_MENU(ID_PAGE_GOTO, CVellumView::OnGoToPage)
  EVT_UPDATE_UI(ID_PAGE_GOTO, CVellumView::OnUpdateGoToPage)
  EVT_UPDATE_UI(ID_VIEW_ZOOM_IN, CVellumView::OnUpdateZoomIn)
  EVT_UPDATE_UI(ID_VIEW_ZOOM_OUT, CVellumView::OnUpdateZoomOut)
  EVT_UPDATE_UI(ID_VIEW_REFRESH, CVellumView::OnUpdateHasImage)
  EVT_UPDATE_UI_RANGE(ID_VIEW_LAYER_COLOR, ID_VIEW_LAYER_FOREGROUND, CVellumView::OnUpdateLayer)
  EVT_UPDATE_UI_RANGE(ID_PAGE_FIRST, ID_PAGE_LAST, CVellumView::OnUpdatePage)
  EVT_MENU(ID_TOOL_SELECT, CVellumView::OnSelectTool)
  EVT_UPDATE_UI(ID_TOOL_SELECT, CVellumView::OnUpdateSelectTool)
wxEND_EVENT_TABLE()
// clang-format on

void (*CVellumView::s_paintObserver)(CVellumView *) = nullptr;

CVellumView::CVellumView(CVellumSettings &settings, IFrameHost *host) : m_settings(settings), m_pHost(host) {}

CVellumDoc *CVellumView::Doc() const
{
  return dynamic_cast<CVellumDoc *>(GetDocument());
}

bool CVellumView::OnCreate(wxDocument *doc, long flags)
{
  if (!wxView::OnCreate(doc, flags))
    return false;
  if (!m_pHost)
    return false;
  wxFrame *frame = m_pHost->HostWindow();
  SetFrame(frame);
  m_pCanvas = new CViewCanvas(this, frame);
  m_pCanvas->SetDropTarget(m_pHost->MakeDropTarget());
  m_pHost->SetView(this);
  Activate(true);
  return true;
}

bool CVellumView::OnClose(bool deleteWindow)
{
  if (!wxView::OnClose(deleteWindow))
    return false;
  Activate(false);
  if (m_pCanvas)
  {
    m_pCanvas->m_view = nullptr;
    if (deleteWindow)
      m_pCanvas->Destroy();
    m_pCanvas = nullptr;
  }
  if (m_pHost)
    m_pHost->SetView(nullptr);
  return true;
}

wxPrintout *CVellumView::OnCreatePrintout()
{
  CVellumDoc *doc = Doc();
  if (!doc || !doc->m_model.HasImage())
    return nullptr;
  const CDibImage &image = *doc->m_model.m_pImage;
  // The percentage of the image's own pixels the step shows, on paper as
  // on a plain screen.
  const int percent = HeldDrawPercent(m_nZoom, image.m_nRenderFactor, image.m_nRenderScale, 1);
  return new CVellumPrintout(image, m_settings, percent, wxString::FromUTF8(doc->DocTitle()));
}

void CVellumView::OnChangeFilename()
{
  if (m_pHost)
    m_pHost->UpdateTitle();
}

int CVellumView::DeviceScale() const
{
  const double scale = m_pCanvas ? m_pCanvas->GetContentScaleFactor() : 1;
  return std::clamp(static_cast<int>(std::lround(scale)), 1, 8);
}

bool CVellumView::HasImage() const
{
  const CVellumDoc *doc = Doc();
  return doc && doc->m_model.HasImage();
}

void CVellumView::SyncZoom()
{
  m_nZoom = ClampZoom(m_nZoom);
  if (CVellumDoc *doc = Doc())
    doc->m_model.m_nZoom = m_nZoom;
  if (m_pHost)
    m_pHost->SelectZoomBoxEntry(ZoomBoxIndex(m_nZoom));
}

void CVellumView::RenderPage()
{
  CVellumDoc *doc = Doc();
  if (!doc || !doc->m_model.HasPage())
    return;
  // Only a page still shown as decoded is rendered again: an image cut or
  // cropped from it (content kind 3) keeps its edits.
  const int kind = doc->m_model.m_nContentKind;
  if (kind != kKindDjVu && kind != kKindIw44)
    return;
  const CVellumSettings &s = m_settings;
  doc->Rerender(s.Dither != 0, s.FancyZoom != 0, m_nZoom);
}

bool CVellumView::RenderAhead()
{
  CVellumDoc *doc = Doc();
  const CVellumSettings &s = m_settings;
  if (!m_bRenderAhead || !doc || !doc->m_model.HasPage() || !s.FancyZoom)
    return m_bRenderAhead = false;
  // The steps that render (those below 100 %, and 100 % from below), the
  // step in first: it is the larger rendering.
  for (int z : {m_nZoom + 1, m_nZoom - 1})
    if (z >= kMinZoom && z <= 0 && (z < 0 || m_nZoom < 0) && !doc->IsRenderedAhead(z))
    {
      doc->RenderAhead(z);
      return true;
    }
  return m_bRenderAhead = false;
}

void CVellumView::FitImage()
{
  CVellumDoc *doc = Doc();
  if (!doc || !m_pHost || (!doc->m_model.HasImage() && !doc->m_model.HasPage()))
  {
    m_nZoom = 0;
    SyncZoom();
    return;
  }
  const CDibImage &image = *doc->m_model.m_pImage;
  Extent size{image.m_nSourceWidth, image.m_nSourceHeight};
  int xdpi = image.m_nXDpi, ydpi = image.m_nYDpi;
  if (image.IsEmpty())
  {
    // A decoded page not rendered yet: its size from the page itself.
    const auto *decoded = static_cast<const djvu_halfcoded_image *>(image.m_pDocument);
    size = {decoded->width, decoded->height};
    xdpi = ydpi = decoded->dpi;
  }
  m_nZoom = m_pHost->FitStepFor(size, xdpi, ydpi);
  SyncZoom();
}

void CVellumView::UpdateScrollSizes()
{
  CVellumDoc *doc = Doc();
  Extent range;
  if (doc && doc->m_model.HasImage())
  {
    const CDibImage &image = *doc->m_model.m_pImage;
    range =
        ZoomedExtent({image.m_nSourceWidth, image.m_nSourceHeight}, image.m_nXDpi, image.m_nYDpi, m_nZoom);
  }
  m_scrollRange = range;
  if (m_pCanvas)
    m_pCanvas->SetVirtualSize(range.w, range.h);
}

void CVellumView::FitWindow()
{
  wxFrame *frame = m_pHost ? m_pHost->HostWindow() : nullptr;
  const CVellumSettings &s = m_settings;
  if (!frame || !m_pCanvas || !s.WindowFit || frame->IsMaximized())
    return;
  CVellumDoc *doc = Doc();
  WindowFitInput in;
  const wxRect work = wxDisplay(frame).GetClientArea();
  in.workArea = {work.width, work.height};
  in.workX = work.x;
  in.workY = work.y;
  in.hasImage = doc && doc->m_model.HasImage();
  if (in.hasImage)
  {
    const CDibImage &image = *doc->m_model.m_pImage;
    in.imageShown =
        ZoomedExtent({image.m_nSourceWidth, image.m_nSourceHeight}, image.m_nXDpi, image.m_nYDpi, m_nZoom);
  }
  const wxSize frameSize = frame->GetSize(), frameClient = frame->GetClientSize();
  const wxSize viewClient = m_pCanvas->GetClientSize();
  in.frameClient = {frameClient.x, frameClient.y};
  in.barsWidth = m_pHost->BarsWidth();
  in.viewClient = {viewClient.x, viewClient.y};
  in.scrollRange = m_scrollRange;
  // Everything of the frame outside its client area (borders, caption, menu,
  // toolbar, status bar) as one width and one height.
  in.decorW = frameSize.x - frameClient.x;
  in.decorH = frameSize.y - frameClient.y;
  in.hScrollHeight = wxSystemSettings::GetMetric(wxSYS_HSCROLL_Y, frame);
  in.vScrollWidth = wxSystemSettings::GetMetric(wxSYS_VSCROLL_X, frame);
  in.center = s.WindowCenter != 0;
  const wxPoint pos = frame->GetPosition();
  in.windowX = pos.x;
  in.windowY = pos.y;
  const WindowRect r = PlanWindowFit(in);
  if (r.resetZoom)
  {
    m_nZoom = 0;
    SyncZoom();
  }
  frame->SetSize(r.x, r.y, r.w, r.h);
  frame->Refresh();
}

void CVellumView::ScrollToOrigin()
{
  if (m_pCanvas)
    m_pCanvas->Scroll(0, 0);
}

void CVellumView::UpdateFromDocument(bool initial)
{
  CVellumDoc *doc = Doc();
  if (!doc)
    return;
  const int renderedZoom = doc->m_model.m_nZoom;
  if (!doc->IsModified())
    FitImage();
  const CVellumSettings &s = m_settings;
  if (doc->m_model.HasPage() && !doc->m_model.HasImage())
  {
    if (initial || s.FancyZoom)
      RenderPage();
  }
  else if (!initial && doc->m_model.HasPage() && s.FancyZoom && m_nZoom != renderedZoom &&
           (m_nZoom < 0 || renderedZoom < 0))
  {
    // The fit chose another step than the page was rendered at.
    RenderPage();
  }
  FitWindow();
  UpdateScrollSizes();
  if (m_pHost)
    m_pHost->ShowImageInfo();
  m_bRenderAhead = true;
  if (m_pCanvas)
    m_pCanvas->Refresh();
}

void CVellumView::OnInitialUpdate()
{
  UpdateFromDocument(true);
}

void CVellumView::OnUpdate(wxView *, wxObject *)
{
  UpdateFromDocument(false);
}

void CVellumView::SetZoom(int zoom, ZoomSource source)
{
  CVellumDoc *doc = Doc();
  const int old = m_nZoom;
  zoom = ClampZoom(zoom);
  if (source == kZoomBox && zoom == old)
    return;
  int sx = 0, sy = 0;
  if (m_pCanvas)
    m_pCanvas->GetViewStart(&sx, &sy);
  m_nZoom = zoom;
  SyncZoom();
  wxBusyCursor wait;
  const int kind = doc ? doc->m_model.m_nContentKind : 0;
  if (kind >= 1 && kind <= 6)
  {
    const CVellumSettings &s = m_settings;
    if ((kind == kKindDjVu || kind == kKindIw44) && s.FancyZoom)
    {
      const bool render = source == kZoomIn    ? zoom <= 0
                          : source == kZoomOut ? zoom < 0
                                               : (old < 0 || zoom < 0);
      if (render)
        RenderPage();
    }
    FitWindow();
    UpdateScrollSizes();
    if (m_pHost)
      m_pHost->ShowImageInfo();
    if (source != kZoomBox && m_pCanvas)
      m_pCanvas->Scroll(KeepScroll(sx, old, zoom), KeepScroll(sy, old, zoom));
  }
  m_bRenderAhead = true;
  if (m_pCanvas)
    m_pCanvas->Refresh();
}

void CVellumView::SetLayer(int layer)
{
  m_nLayer = layer;
  RenderPage();
  if (m_pCanvas)
    m_pCanvas->Refresh();
  if (m_pHost)
    m_pHost->ShowImageInfo();
}

bool CVellumView::CanZoomIn() const
{
  return HasImage() && m_nZoom < kMaxZoom;
}

bool CVellumView::CanZoomOut() const
{
  return HasImage() && m_nZoom >= kMinZoom + 1;
}

bool CVellumView::CanGoToPage(int which) const
{
  if (!HasImage())
    return false;
  const CDibImage &image = *Doc()->m_model.m_pImage;
  const int index = image.m_nPageIndex, count = image.m_nPageCount;
  switch (which)
  {
  case 0:
    return index > 0;
  case 1:
    return count > 1 && index > 0;
  case 2:
    return count > 1 && index < count - 1;
  default:
    return index < count - 1;
  }
}

void CVellumView::GoToPage(int which)
{
  CVellumDoc *doc = Doc();
  if (!doc || !CanGoToPage(which))
    return;
  const CDibImage &image = *doc->m_model.m_pImage;
  const int index = image.m_nPageIndex, count = image.m_nPageCount;
  int target = 0;
  switch (which)
  {
  case 0:
    target = 0;
    break;
  case 1:
    target = std::max(index - 1, 0);
    break;
  case 2:
    target = std::min(index + 1, count - 1);
    break;
  default:
    target = count - 1;
  }
  ShowPage(target);
}

void CVellumView::ShowPage(int index)
{
  CVellumDoc *doc = Doc();
  if (!doc || !HasImage())
    return;
  const CDibImage &image = *doc->m_model.m_pImage;
  if (index < 0 || index >= image.m_nPageCount || index == image.m_nPageIndex)
    return;
  // An edit of the page shown is saved first or dropped by the user's
  // answer, never silently.
  if (!doc->AskSavePageFirst())
    return;
  doc->Open(doc->m_model.m_strLastOpenedPath, kKindNone, index);
  if (m_pCanvas)
    m_pCanvas->Refresh();
}

void CVellumView::Navigate(NavKey key)
{
  if (!m_pCanvas)
    return;
  const bool canGo[4] = {CanGoToPage(0), CanGoToPage(1), CanGoToPage(2), CanGoToPage(3)};
  int sx = 0, sy = 0;
  m_pCanvas->GetViewStart(&sx, &sy);
  const wxSize client = m_pCanvas->GetClientSize();
  const NavResult r = NavigateKey(key, canGo, sx, sy, {client.x, client.y}, m_scrollRange);
  if (r.page >= 0)
    GoToPage(r.page);
  else if (r.x != sx || r.y != sy)
    m_pCanvas->Scroll(r.x, r.y);
}

void CVellumView::Wheel(int rotation, int delta, bool horizontal, bool zoom, IntPoint p)
{
  if (!m_pCanvas || delta <= 0 || rotation == 0)
    return;
  if (zoom)
  {
    const bool in = rotation > 0;
    if (in ? !CanZoomIn() : !CanZoomOut())
      return;
    int sx = 0, sy = 0;
    m_pCanvas->GetViewStart(&sx, &sy);
    const Extent before = m_scrollRange;
    SetZoom(m_nZoom + (in ? 1 : -1), kZoomBox);
    const Extent after = m_scrollRange;
    // The image point under the pointer stays under it.
    auto keep = [](int pos, int at, int oldSize, int newSize)
    { return oldSize <= 0 ? 0 : static_cast<int>((int64_t(pos) + at) * newSize / oldSize - at); };
    m_pCanvas->Scroll(std::max(0, keep(sx, p.x, before.w, after.w)),
                      std::max(0, keep(sy, p.y, before.h, after.h)));
    return;
  }
  const wxSize client = m_pCanvas->GetClientSize();
  // Whole notches and the fractions of a smooth wheel alike.
  const int64_t step = ScrollLineStep(horizontal ? client.x : client.y);
  const int move = static_cast<int>(-int64_t(rotation) * step * 3 / delta);
  int sx = 0, sy = 0;
  m_pCanvas->GetViewStart(&sx, &sy);
  if (horizontal)
    m_pCanvas->Scroll(std::max(0, sx + move), sy);
  else
    m_pCanvas->Scroll(sx, std::max(0, sy + move));
}

void CVellumView::ZoomToFit(int commandId)
{
  CVellumDoc *doc = Doc();
  if (!doc || !doc->m_model.HasImage() || !m_pCanvas)
    return;
  const CDibImage &image = *doc->m_model.m_pImage;
  int step = 0;
  if (commandId == ID_VIEW_ACTUAL_SIZE)
  {
    const wxSize ppi = wxGetDisplayPPI();
    step = ActualSizeStep(image.m_nXDpi, ppi.x > 0 ? ppi.x : 96);
  }
  else
  {
    const wxSize client = m_pCanvas->GetClientSize();
    const Extent shown =
        AspectCorrect({image.m_nSourceWidth, image.m_nSourceHeight}, image.m_nXDpi, image.m_nYDpi);
    step = FitStep(shown, {client.x, client.y}, commandId == ID_VIEW_FIT_WIDTH ? 0 : 2);
  }
  SetZoom(step, kZoomBox);
}

void CVellumView::OnFit(wxCommandEvent &event)
{
  ZoomToFit(event.GetId());
}

void CVellumView::OnGoToPage(wxCommandEvent &)
{
  CVellumDoc *doc = Doc();
  if (!doc || !HasImage())
    return;
  const CDibImage &image = *doc->m_model.m_pImage;
  const long page = wxGetNumberFromUser(wxString::Format("Page number (1 to %d):", image.m_nPageCount),
                                        "Page:", "Go to Page", image.m_nPageIndex + 1, 1, image.m_nPageCount,
                                        m_pHost ? m_pHost->HostWindow() : nullptr);
  if (page >= 1)
    ShowPage((int)page - 1);
}

void CVellumView::OnUpdateGoToPage(wxUpdateUIEvent &event)
{
  event.Enable(HasImage() && Doc()->m_model.m_pImage->m_nPageCount > 1);
}

void CVellumView::OnDraw(wxDC *dc)
{
  const auto start = std::chrono::steady_clock::now();
  if (!m_pCanvas)
    return;
  const wxSize client = m_pCanvas->GetClientSize();
  int sx = 0, sy = 0;
  m_pCanvas->CalcUnscrolledPosition(0, 0, &sx, &sy);

  dc->SetPen(*wxTRANSPARENT_PEN);
  dc->SetBrush(wxBrush(wxColour(192, 192, 192)));
  dc->DrawRectangle(sx, sy, client.x, client.y);

  CVellumDoc *doc = Doc();
  const CVellumSettings &s = m_settings;
  DrawInput in;
  in.zoom = m_nZoom;
  in.fancyZoom = s.FancyZoom != 0;
  in.client = {client.x, client.y};
  in.scrollRange = m_scrollRange;
  in.scrollX = sx;
  in.scrollY = sy;
  // On a screen of device scale 2 the page is drawn at device pixels: a
  // reduced page is rendered at twice its size and shows every pixel of it
  // rather than a doubled drawing.
  in.deviceScale = DeviceScale();
  const int scale = in.deviceScale;
  const CDibImage *image = doc && doc->m_model.HasImage() ? doc->m_model.m_pImage.get() : nullptr;
  if (image)
  {
    in.imageW = image->m_nWidth;
    in.imageH = image->m_nHeight;
    in.xdpi = image->m_nXDpi;
    in.ydpi = image->m_nYDpi;
    in.contentKind = doc->m_model.m_nContentKind;
    in.renderFactor = std::max(1, image->m_nRenderFactor);
    in.renderScale = std::max(1, image->m_nRenderScale);
  }
  const DrawPlan plan = PlanDraw(in);
  m_bHScroll = plan.hScroll;
  m_bVScroll = plan.vScroll;
  m_nOffsetX = plan.ox / scale;
  m_nOffsetY = plan.oy / scale;
  m_nLastPageW = m_nLastPageH = 0;
  if (!image)
  {
    DrawLogo(*dc, wxPoint(sx + client.x / 2, sy + client.y / 2));
    return;
  }
  const DibRows rows = DibRowsOf(*image);
  if (RenderVisible(rows, plan, m_rgb))
  {
    wxImage visible(plan.dstW, plan.dstH, m_rgb.data(), true);
    const wxBitmap page(visible, wxBITMAP_SCREEN_DEPTH, scale);
    dc->DrawBitmap(page, plan.dstX / scale, plan.dstY / scale, false);
    m_nLastPageW = page.GetWidth();
    m_nLastPageH = page.GetHeight();
    m_dLastPageScale = page.GetScaleFactor();
  }
  DrawOverlay(*dc, sx, sy);
  m_nLastPaintMicros =
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
  if (s_paintObserver)
    s_paintObserver(this);
}

// ------------------------------------------------------------- commands

void CVellumView::OnZoomIn(wxCommandEvent &)
{
  if (CanZoomIn())
    SetZoom(m_nZoom + 1, kZoomIn);
}

void CVellumView::OnZoomOut(wxCommandEvent &)
{
  if (CanZoomOut())
    SetZoom(m_nZoom - 1, kZoomOut);
}

void CVellumView::OnRefresh(wxCommandEvent &)
{
  UpdateScrollSizes();
  if (m_pCanvas)
    m_pCanvas->Refresh();
  if (m_pHost)
    m_pHost->RefreshBrowser();
}

void CVellumView::OnLayer(wxCommandEvent &event)
{
  static const int kLayers[] = {0, 1, 2, 3};
  SetLayer(kLayers[event.GetId() - ID_VIEW_LAYER_COLOR]);
}

void CVellumView::OnPage(wxCommandEvent &event)
{
  GoToPage(event.GetId() - ID_PAGE_FIRST);
}

void CVellumView::OnUpdateZoomIn(wxUpdateUIEvent &event)
{
  event.Enable(CanZoomIn());
}

void CVellumView::OnUpdateZoomOut(wxUpdateUIEvent &event)
{
  event.Enable(CanZoomOut());
}

void CVellumView::OnUpdateHasImage(wxUpdateUIEvent &event)
{
  event.Enable(HasImage());
}

void CVellumView::OnUpdateLayer(wxUpdateUIEvent &event)
{
  const CVellumDoc *doc = Doc();
  event.Enable(doc && doc->m_model.m_nContentKind == kKindDjVu);
  event.Check(event.GetId() - ID_VIEW_LAYER_COLOR == m_nLayer);
}

void CVellumView::OnUpdatePage(wxUpdateUIEvent &event)
{
  event.Enable(CanGoToPage(event.GetId() - ID_PAGE_FIRST));
}

// ------------------------------------------------- selection and placing

ViewMapping CVellumView::Mapping() const
{
  ViewMapping m;
  m.zoom = m_nZoom;
  const CVellumDoc *doc = Doc();
  if (doc && doc->m_model.HasImage())
  {
    const CDibImage &image = *doc->m_model.m_pImage;
    m.xdpi = image.m_nXDpi;
    m.ydpi = image.m_nYDpi;
    m.sourceW = image.m_nSourceWidth;
    m.sourceH = image.m_nSourceHeight;
  }
  if (m_pCanvas)
    m_pCanvas->CalcUnscrolledPosition(0, 0, &m.scrollX, &m.scrollY);
  m.offsetX = m_nOffsetX;
  m.offsetY = m_nOffsetY;
  return m;
}

void CVellumView::SetPaneZero(const std::string &text)
{
  if (m_pHost)
    m_pHost->SetPaneText(0, text);
}

void CVellumView::RefreshClientRect(const SelRect &r)
{
  if (!m_pCanvas)
    return;
  const SelRect n = NormalizeRect(r);
  m_pCanvas->RefreshRect(wxRect(n.left, n.top, n.right - n.left + 1, n.bottom - n.top + 1), false);
}

void CVellumView::ClearSelection()
{
  if (m_bHasSelection)
  {
    RefreshClientRect(Inflate(ImageRectToView(Mapping(), m_rcSelection), 10));
    // Pane 0 described the selection that is gone.
    SetPaneZero(std::string());
  }
  m_rcSelection = SelRect();
  m_bHasSelection = false;
}

void CVellumView::ToggleSelectMode()
{
  if (m_nMouseMode == kModeSelect)
  {
    ClearSelection();
    m_nMouseMode = kModePan;
  }
  else
    m_nMouseMode = kModeSelect;
  UpdateCursor();
}

void CVellumView::StartPlacing()
{
  m_nMouseMode = kModePlace;
  if (m_pCanvas)
    m_pCanvas->Refresh();
}

void CVellumView::UpdateCursor()
{
  if (!m_pCanvas)
    return;
  if (m_nMouseMode == kModePan && (m_bHScroll || m_bVScroll))
    m_pCanvas->SetCursor(m_bDragging ? ClosedHandCursor() : OpenHandCursor());
  else
    m_pCanvas->SetCursor(wxNullCursor);
}

std::string CVellumView::PositionText(IntPoint p) const
{
  return PositionPaneText(ViewToImage(Mapping(), p, true), m_bHasSelection, m_rcSelection);
}

void CVellumView::OnLeftDown(IntPoint p)
{
  CVellumDoc *doc = Doc();
  switch (m_nMouseMode)
  {
  case kModePan:
    m_ptLast = m_ptCurrent = p;
    m_bDragging = true;
    UpdateCursor();
    if (m_pCanvas && !m_pCanvas->HasCapture())
      m_pCanvas->CaptureMouse();
    break;
  case kModeSelect:
    if (!HasImage())
      break;
    m_bTracking = true;
    m_rcTracker = {p.x, p.y, p.x, p.y};
    if (m_pCanvas && !m_pCanvas->HasCapture())
      m_pCanvas->CaptureMouse();
    break;
  default:
  {
    m_nMouseMode = kModePan;
    if (!doc || !doc->m_model.HasImage())
      break;
    const CDibImage &image = *doc->m_model.m_pImage;
    const CDibImage &insert = *doc->m_model.m_pInsertImage;
    const IntPoint at = ViewToImage(Mapping(), p, false);
    const int row = InsertStoredRow(at.y, image.m_nSourceHeight, insert.m_nSourceHeight,
                                    image.m_nRowOrder == DIB_ROWS_TOPDOWN);
    // A refused paste (the pasted image is deeper) stays pending and placing
    // goes on.
    if (!doc->InsertAt(at.x, row) && doc->m_model.m_bInsertPending)
      m_nMouseMode = kModePlace;
    if (m_pCanvas)
      m_pCanvas->Refresh();
  }
  }
}

void CVellumView::OnLeftUp(IntPoint p)
{
  if (m_bTracking)
  {
    m_bTracking = false;
    m_rcTracker.right = p.x;
    m_rcTracker.bottom = p.y;
    m_rcTracker = NormalizeRect(m_rcTracker);
    m_rcSelection = ViewRectToImage(Mapping(), m_rcTracker);
    m_bHasSelection = SelectionExists(m_rcSelection);
    if (m_pCanvas)
      m_pCanvas->Refresh();
    if (HasImage())
      SetPaneZero(PositionText(p));
  }
  m_bDragging = false;
  UpdateCursor();
  if (m_pCanvas && m_pCanvas->HasCapture())
    m_pCanvas->ReleaseMouse();
}

void CVellumView::OnMouseMove(IntPoint p)
{
  if (m_bTracking)
  {
    // The rubber band follows the pointer.
    const int g = SelectionRepaintMargin(m_nZoom);
    RefreshClientRect(Inflate(NormalizeRect(m_rcTracker), g));
    m_rcTracker.right = p.x;
    m_rcTracker.bottom = p.y;
    RefreshClientRect(Inflate(NormalizeRect(m_rcTracker), g));
  }
  else if (!m_bDragging)
  {
    const CVellumDoc *doc = Doc();
    if (m_nMouseMode == kModePlace && doc && doc->m_model.m_bInsertPending)
    {
      const CDibImage &insert = *doc->m_model.m_pInsertImage;
      const ViewMapping m = Mapping();
      int px = 100, py = 100;
      MappingPercents(m.zoom, m.xdpi, m.ydpi, &px, &py);
      RefreshClientRect(Inflate(
          PlacementRepaint(m_ptLast, p, insert.m_nSourceWidth, insert.m_nSourceHeight, std::max(px, py)), 2));
      m_ptCurrent = m_ptLast = p;
      if (m_pCanvas)
        m_pCanvas->Update();
    }
    if (m_nMouseMode == kModePan)
      UpdateCursor();
  }
  else if (m_nMouseMode == kModePan && (m_bHScroll || m_bVScroll) && m_pCanvas)
  {
    UpdateCursor();
    int sx = 0, sy = 0;
    m_pCanvas->GetViewStart(&sx, &sy);
    const IntPoint to = PanScroll({sx, sy}, m_ptLast, p, m_bHScroll, m_bVScroll);
    m_pCanvas->Scroll(std::max(to.x, 0), std::max(to.y, 0));
    m_pCanvas->Update();
    m_ptLast = p;
    m_pCanvas->GetViewStart(&sx, &sy);
    SetPaneZero(ScrollPaneText(sx, sy));
    return;
  }
  if (!m_bDragging && HasImage())
    SetPaneZero(PositionText(p));
}

void CVellumView::DrawOverlay(wxDC &dc, int sx, int sy)
{
  if (m_nMouseMode == kModeSelect && (m_bTracking || m_bHasSelection))
  {
    if (!m_bTracking)
      m_rcTracker = ImageRectToView(Mapping(), m_rcSelection);
    const SelRect r = NormalizeRect(m_rcTracker);
    dc.SetPen(wxPen(*wxBLACK, 1, wxPENSTYLE_DOT));
    dc.SetBrush(*wxTRANSPARENT_BRUSH);
    dc.DrawRectangle(r.left + sx, r.top + sy, std::max(r.right - r.left, 1), std::max(r.bottom - r.top, 1));
  }
  const CVellumDoc *doc = Doc();
  if (m_nMouseMode != kModePlace || !doc || !doc->m_model.m_bInsertPending || !m_pCanvas)
    return;
  const CDibImage &insert = *doc->m_model.m_pInsertImage;
  if (insert.IsEmpty())
    return;
  // The pasted image at the size its pixels get once placed: the step's own
  // percentages with the image's aspect correction (the held image may be a
  // reduced rendering, the pasted one is full scale). Only as much of it as
  // the window shows.
  DrawPlan plan;
  const ViewMapping m = Mapping();
  MappingPercents(m.zoom, m.xdpi, m.ydpi, &plan.px, &plan.py);
  const wxSize client = m_pCanvas->GetClientSize();
  plan.srcW = insert.m_nWidth;
  plan.srcH = insert.m_nHeight;
  plan.drawnW = static_cast<int>(std::min<int64_t>(int64_t(insert.m_nWidth) * plan.px / 100, client.x));
  plan.drawnH = static_cast<int>(std::min<int64_t>(int64_t(insert.m_nHeight) * plan.py / 100, client.y));
  plan.dstW = plan.drawnW;
  plan.dstH = plan.drawnH;
  plan.empty = plan.dstW <= 0 || plan.dstH <= 0;
  const DibRows rows = DibRowsOf(insert);
  std::vector<uint8_t> rgb;
  if (RenderVisible(rows, plan, rgb))
  {
    wxImage shown(plan.dstW, plan.dstH, rgb.data(), true);
    dc.DrawBitmap(wxBitmap(shown), m_ptCurrent.x + sx, m_ptCurrent.y + sy, false);
  }
}

void CVellumView::OnSelectTool(wxCommandEvent &)
{
  ToggleSelectMode();
}

void CVellumView::OnUpdateSelectTool(wxUpdateUIEvent &event)
{
  event.Enable(HasImage());
  event.Check(m_nMouseMode == kModeSelect);
}

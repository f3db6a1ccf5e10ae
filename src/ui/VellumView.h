// CVellumView: the scrolling image view.
//
// Draws the document's image at one of 19 zoom steps, keeps the scroll range,
// the frame's zoom box and (with "WindowFit") the window size in step with
// the zoom, fits a new image to the screen ("ImageFit"), and re-renders DjVu
// and IW44 pages when the zoom or the shown layer changes. The arithmetic is
// ZoomLogic.h; each paint transfers only the visible part of the image
// (DibDraw.h). The mouse pans the image, draws a selection or places a
// pasted image (SelectionLogic.h), and status pane 0 follows the pointer.
//
// The view is created by the document template with the settings of the run
// and the frame that hosts it (FrameHost.h); the document reaches it as its
// IDocumentView (DocumentView.h).
#ifndef VELLUM_UI_VELLUMVIEW_H
#define VELLUM_UI_VELLUMVIEW_H

#include <cstdint>
#include <string>
#include <vector>

#include <wx/docview.h>
#include <wx/scrolwin.h>

#include "DocumentView.h"
#include "SelectionLogic.h"
#include "Settings.h"
#include "ZoomLogic.h"

namespace vellum
{
class IFrameHost;
}
class CVellumDoc;
class CVellumView;

// The window the view draws into: a scrolled canvas filling the frame.
class CViewCanvas : public wxScrolledCanvas
{
public:
  CViewCanvas(CVellumView *view, wxWindow *parent);
  ~CViewCanvas() override;
  CVellumView *m_view;

private:
  void OnPaint(wxPaintEvent &event);
  void OnMouse(wxMouseEvent &event);
  void OnWheel(wxMouseEvent &event);
  void OnCaptureLost(wxMouseCaptureLostEvent &event);
  void OnIdle(wxIdleEvent &event);
  wxDECLARE_EVENT_TABLE();
};

class CVellumView : public wxView, public vellum::IDocumentView
{
public:
  enum ZoomSource
  {
    kZoomIn,
    kZoomOut,
    kZoomBox
  };

  // host: the frame, or null (no window to draw in: OnCreate fails).
  CVellumView(CVellumSettings &settings, vellum::IFrameHost *host);

  // The frame going away detaches itself (null).
  void SetHost(vellum::IFrameHost *host) { m_pHost = host; }

  int m_nZoom = 1;                    // replaced by the fit at the first update
  int m_nLayer = 0;                   // 0 Color, 1 Black And White, 2 Background, 3 Foreground
  int m_nOffsetX = 0, m_nOffsetY = 0; // centring offsets of the last paint
  bool m_bHScroll = false, m_bVScroll = false;
  CViewCanvas *m_pCanvas = nullptr;

  // Mouse modes (SelectionLogic.h): pan, select, place a pasted image.
  int m_nMouseMode = vellum::kModePan;
  // The selection in image coordinates (inclusive, top row 0); it exists
  // only with width and height.
  vellum::SelRect m_rcSelection;
  bool m_bHasSelection = false;
  bool m_bDragging = false;               // left button down in pan mode
  bool m_bTracking = false;               // rubber band being drawn in select mode
  vellum::SelRect m_rcTracker;            // rubber band or selection frame, client coordinates
  vellum::IntPoint m_ptLast, m_ptCurrent; // client coordinates

  // The mapping of the last paint with the current scroll position.
  vellum::ViewMapping Mapping() const;
  // IDocumentView. ClearSelection zeroes the rectangle.
  int ShownLayer() const override { return m_nLayer; }
  int DeviceScale() const override;
  const vellum::SelRect *Selection() const override { return m_bHasSelection ? &m_rcSelection : nullptr; }
  void ClearSelection() override;
  void ScrollToOrigin() override;
  void StartPlacing() override;
  void ResetMouseMode() override { m_nMouseMode = vellum::kModePan; }

  // Select tool: toggles between select mode and pan mode (leaving select
  // mode removes the selection).
  void ToggleSelectMode();
  // Mouse handlers, in client coordinates (the canvas forwards its events;
  // tests call them directly).
  void OnLeftDown(vellum::IntPoint p);
  void OnLeftUp(vellum::IntPoint p);
  void OnMouseMove(vellum::IntPoint p);
  // The text status pane 0 shows for the pointer at p.
  std::string PositionText(vellum::IntPoint p) const;

  bool OnCreate(wxDocument *doc, long flags) override;
  bool OnClose(bool deleteWindow) override;
  void OnDraw(wxDC *dc) override;
  void OnUpdate(wxView *sender, wxObject *hint = nullptr) override;
  void OnChangeFilename() override;
  // File > Print and Print Preview: the image on one page (Printout.h);
  // null without an image. The framework owns and deletes the printout.
  wxPrintout *OnCreatePrintout() override;
  // The first update after the view exists (renders a page not yet drawn).
  void OnInitialUpdate();

  CVellumDoc *Doc() const;

  void SyncZoom();
  void RenderPage();
  // While the program is idle after a zoom step or an open, the DjVu page is
  // rendered for the steps next to the one shown (one per idle turn), so the
  // next step in or out finds its rendering; false when nothing is left.
  bool RenderAhead();
  bool m_bRenderAhead = false; // steps next to m_nZoom still to render ahead
  void FitImage();
  void UpdateScrollSizes();
  void FitWindow();
  // A zoom change from the zoom commands or the zoom box.
  void SetZoom(int zoom, ZoomSource source);
  void SetLayer(int layer);
  // Page commands (multi-page TIFF): go to the page if the rule allows it.
  void GoToPage(int which);
  // A navigation key (ZoomLogic.h): a page command or a scroll step.
  void Navigate(vellum::NavKey key);
  // A wheel turn of rotation / delta notches (a line step each; horizontal
  // for a horizontal wheel); with zoom, Zoom In or Out keeping the image
  // point under the pointer p (client coordinates) in place.
  void Wheel(int rotation, int delta, bool horizontal, bool zoom, vellum::IntPoint p);
  // View > Fit Page, Fit Width, Actual Size: the step for the page in the
  // view's client area, or for its physical size on this screen.
  void ZoomToFit(int commandId);
  // Shows page index (0-based) of a document of many pages, after the
  // question about unsaved changes; nothing for a page outside it.
  void ShowPage(int index);

  // Command state (shared by the menu update handlers and tests).
  bool CanZoomIn() const;
  bool CanZoomOut() const;
  bool CanGoToPage(int which) const; // 0 first, 1 previous, 2 next, 3 last

  // The scroll range last set (device pixels).
  vellum::Extent ScrollRange() const { return m_scrollRange; }
  // Time the last paint took, in microseconds (benchmarks).
  int64_t m_nLastPaintMicros = 0;
  // The page bitmap of the last paint: its pixels and their scale factor
  // (device pixels per logical pixel; 0 x 0 when nothing was drawn).
  int m_nLastPageW = 0, m_nLastPageH = 0;
  double m_dLastPageScale = 1;
  // Called after every paint that drew an image (benchmarks); none by default.
  static void (*s_paintObserver)(CVellumView *view);

private:
  bool HasImage() const;
  void UpdateFromDocument(bool initial);
  void OnFit(wxCommandEvent &);
  void OnZoomIn(wxCommandEvent &);
  void OnZoomOut(wxCommandEvent &);
  void OnRefresh(wxCommandEvent &);
  void OnLayer(wxCommandEvent &);
  void OnPage(wxCommandEvent &);
  void OnGoToPage(wxCommandEvent &);
  void OnUpdateGoToPage(wxUpdateUIEvent &);
  void OnUpdateZoomIn(wxUpdateUIEvent &);
  void OnUpdateZoomOut(wxUpdateUIEvent &);
  void OnUpdateHasImage(wxUpdateUIEvent &);
  void OnUpdateLayer(wxUpdateUIEvent &);
  void OnUpdatePage(wxUpdateUIEvent &);
  void OnSelectTool(wxCommandEvent &);
  void OnUpdateSelectTool(wxUpdateUIEvent &);
  // Cursor for the current state (hands while a scroll bar is needed in pan
  // mode, else the arrow).
  void UpdateCursor();
  void SetPaneZero(const std::string &text);
  void RefreshClientRect(const vellum::SelRect &r);
  // Selection frame, rubber band and the pasted image, over the image.
  void DrawOverlay(wxDC &dc, int sx, int sy);

  CVellumSettings &m_settings;
  vellum::IFrameHost *m_pHost;
  vellum::Extent m_scrollRange;
  std::vector<uint8_t> m_rgb; // paint buffer, kept between paints
  wxDECLARE_CLASS(CVellumView);
  wxDECLARE_EVENT_TABLE();
};

#endif

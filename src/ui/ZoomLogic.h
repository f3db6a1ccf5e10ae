// Zoom, fit and drawing arithmetic of the image view.
//
// Everything here is plain integer (and a little floating-point) arithmetic
// on image sizes, resolutions and window areas, so it is tested without a
// display. The view binds it to the scrolled canvas; the document uses the
// fit rule when it renders a DjVu or IW44 page on opening.
//
// A zoom step z runs from -9 to 9: z >= 0 magnifies by z + 1 (100 % to
// 1000 %), z < 0 reduces by 1 - z (50 %, 33 %, ... 10 %).
#ifndef VELLUM_UI_ZOOMLOGIC_H
#define VELLUM_UI_ZOOMLOGIC_H

#include "ZoomRange.h"

#include <string>

namespace vellum
{

constexpr int kZoomBoxEntries = 19;

struct Extent
{
  int w = 0;
  int h = 0;
};

inline bool operator==(const Extent &a, const Extent &b)
{
  return a.w == b.w && a.h == b.h;
}

// Fit rules ("ImageFit").
enum ImageFitRule
{
  kFitWidth = 0,
  kFitHeight = 1,
  kFitBoth = 2,
  kFitNone = 3
};

// Drawing percentage of a step: 100 (z + 1) or 100 / (1 - z), integer division.
int ZoomPercent(int z);

// size scaled by the step's factor (x (z + 1) or / (1 - z)); saturates at INT_MAX.
int ZoomSize(int size, int z);

// Zoom box: entry index = 9 - z; label "%d %" with the rounded percentage
// (17 % and 13 % where drawing uses 16 % and 12 %). Index outside 0..18 gives "".
int ZoomBoxIndex(int z);
int ZoomFromBoxIndex(int index);
std::string ZoomBoxLabel(int index);

// Aspect correction: when both resolutions are >= 1 and differ, the axis with
// the lower resolution is stretched by larger / smaller (integer arithmetic,
// saturating). Otherwise the size is returned unchanged.
Extent AspectCorrect(Extent size, int xdpi, int ydpi);

// The drawing percentages of p after aspect correction, floor(x + 0.5).
void AspectPercent(int p, int xdpi, int ydpi, int *px, int *py);

// The size shown at step z: size x factor, then aspect correction.
Extent ZoomedExtent(Extent source, int xdpi, int ydpi, int z);

// The fit step: n = size / area per "ImageFit" (0 width, 1 height, 2 the
// larger of both, other values 0), integer division; -n when n > 0, else 0,
// clamped to -9..9. An area with a zero or negative side counts as 1.
int FitStep(Extent size, Extent area, int imageFit);

// The area a fit is computed against: the frame's client area when window fit
// is off or the frame is maximised, else the work area less 20 x 62.
Extent FitArea(bool windowFit, bool maximised, Extent frameClient, Extent workArea);

// Scroll position kept across a zoom step so the image point at the view's
// top-left stays put: pos (1 - old) / (1 - new) when both steps are <= 0,
// pos (new + 1) / (old + 1) when both are >= 0. Other pairs return pos.
int KeepScroll(int pos, int oldZoom, int newZoom);

// The step closest to showing the page at its physical size: imageDpi
// pixels of the page per inch of a screen of screenDpi pixels per inch.
// Unknown resolutions (< 1) give step 0.
int ActualSizeStep(int imageDpi, int screenDpi);

// The step a zoom percentage typed into the zoom box asks for: "150",
// "150%", "33 %", "12.5" (blanks around the number and the sign allowed).
// The nearest step by ratio wins (150 % gives 200 %, 60 % gives 50 %), the
// smaller one on a tie; percentages beyond the range give its ends (10 %,
// 1000 %). False, *step untouched, for anything else (empty, zero,
// negative, letters, a second sign).
bool ZoomStepForText(const std::string &text, int *step);

// Scroll steps as GTK takes them: a line (an arrow key; a wheel notch
// scrolls by it too) is pageSize^(2/3) pixels, at least 1; a page is 9/10 of
// pageSize, at least 1. pageSize is the visible extent along that axis.
int ScrollLineStep(int pageSize);
int ScrollPageStep(int pageSize);

// Navigation keys of the view.
enum NavKey
{
  kNavHome,
  kNavEnd,
  kNavPageUp,
  kNavPageDown,
  kNavSpace,      // forward: down the page, then to the next page
  kNavShiftSpace, // back: up the page, then to the previous page
  kNavUp,
  kNavDown,
  kNavLeft,
  kNavRight
};

// What a navigation key does: page >= 0 is a page command (0 first, 1
// previous, 2 next, 3 last) when canGo[page] allows it; otherwise the view
// scrolls to (x, y), clamped to 0 .. range - view. Home, End, Page Up and
// Page Down change page whenever the page command is enabled; Space and
// Shift+Space only once the view is at the bottom (top) of the page.
struct NavResult
{
  int page = -1;
  int x = 0;
  int y = 0;
};
NavResult NavigateKey(NavKey key, const bool canGo[4], int x, int y, Extent view, Extent range);

// Visible part of the image for one paint. With a device scale s > 1 every
// position, size and percentage of the plan is in device pixels (s per
// logical pixel): the page is drawn at the screen's own resolution, and the
// offsets and the destination are multiples of s, so that a bitmap of scale
// factor s lands on whole logical pixels.
struct DrawPlan
{
  int px = 100, py = 100;     // drawing percentages after aspect correction
  int drawnW = 0, drawnH = 0; // W px / 100 by H py / 100
  int ax = 0, ay = 0;         // scroll position rounded to the magnification
  int ox = 0, oy = 0;         // centring offsets
  bool hScroll = false, vScroll = false;
  // Source rectangle in image coordinates (top = 0), clipped to the image.
  int srcLeft = 0, srcTop = 0, srcW = 0, srcH = 0;
  // The same rectangle's first row counted in a bottom-up block.
  int srcBottomUpY = 0;
  // Destination in the view's logical (scrolled) coordinates.
  int dstX = 0, dstY = 0, dstW = 0, dstH = 0;
  bool unscaled = false; // 100 % on both axes
  bool empty = true;     // nothing to transfer
};

struct DrawInput
{
  int imageW = 0, imageH = 0;
  int xdpi = 0, ydpi = 0;
  int zoom = 0;
  int contentKind = 0;
  bool fancyZoom = true;
  Extent client;
  Extent scrollRange; // the scroll range set by UpdateScrollSizes
  int scrollX = 0, scrollY = 0;
  // Device pixels per logical pixel (the window's content scale), >= 1;
  // client, scrollRange and scrollX/Y stay logical.
  int deviceScale = 1;
  // The held image is the page scaled by renderScale / renderFactor (the
  // image's m_nRenderScale and m_nRenderFactor); 0 when not known, and the
  // content kind and fancyZoom tell it (DrawPercent).
  int renderFactor = 0, renderScale = 0;
};

// Percentage the held image is drawn at for the step, in device pixels: the
// step's percentage of the page over the image's share of it (renderScale /
// renderFactor, each at least 1), times the device scale (1..8). Exact: a
// page rendered at 1/3 is drawn at 100 % for 33 %, one rendered at 2/3 at
// 100 % on a screen of scale 2, and one of another step (kept while its own
// renders) at the size the step gives.
int HeldDrawPercent(int zoom, int renderFactor, int renderScale, int deviceScale);

// Percentage the held image is drawn at when its rendering is told by the
// content kind alone: 100 for a DjVu or IW44 page rendered already reduced
// ("FancyZoom" with a negative step), else ZoomPercent.
int DrawPercent(int zoom, int contentKind, bool fancyZoom);

DrawPlan PlanDraw(const DrawInput &in);

// Main-window geometry of the window fit.
struct WindowFitInput
{
  bool hasImage = false;
  Extent workArea; // size of the desktop work area
  int workX = 0, workY = 0;
  Extent imageShown;  // source size x zoom with aspect correction
  Extent frameClient; // the frame's client area
  int barsWidth = 0;  // widest of the frame's other control bars
  Extent viewClient;  // the view's client area
  Extent scrollRange;
  int decorW = 0;        // 2 x (frame border + thin border)
  int decorH = 0;        // caption + menu + 2 x (frame border + thin border)
  int hScrollHeight = 0; // height of a horizontal scroll bar
  int vScrollWidth = 0;  // width of a vertical scroll bar
  bool center = true;
  int windowX = 0, windowY = 0; // current top-left
};

struct WindowRect
{
  int x = 0, y = 0, w = 0, h = 0;
  bool resetZoom = false; // no image: zoom step becomes 0
};

WindowRect PlanWindowFit(const WindowFitInput &in);

// r moved and shrunk to lie within the work area at (workX, workY): no
// side larger than the area's, no edge outside it.
WindowRect KeepInWorkArea(WindowRect r, Extent workArea, int workX, int workY);

} // namespace vellum

#endif

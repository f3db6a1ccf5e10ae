// The view's mouse modes without wxWidgets: the mapping between view
// (client) and image coordinates, the selection rectangle and its rules, the
// repaint areas of a selection change and of a moving pasted image, the pan
// arithmetic and the texts of status pane 0.
//
// Image coordinates are full-scale source pixels with the top row 0, even
// when a DjVu page is held reduced: the mapping uses the zoom step's own
// percentage, corrected for oblong pixels in integer arithmetic.
#ifndef VELLUM_UI_SELECTIONLOGIC_H
#define VELLUM_UI_SELECTIONLOGIC_H

#include <string>

namespace vellum
{

// Mouse modes of the view.
enum MouseMode
{
  kModePan = 0,
  kModeSelect = 1,
  kModePlace = 2 // placing a pasted image
};

struct IntPoint
{
  int x = 0;
  int y = 0;
};

// A rectangle by its corners. Selections are inclusive (right and bottom are
// the last column and row); view rectangles are corner to corner.
struct SelRect
{
  int left = 0, top = 0, right = 0, bottom = 0;
};

inline bool operator==(const SelRect &a, const SelRect &b)
{
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
inline bool operator!=(const SelRect &a, const SelRect &b)
{
  return !(a == b);
}

// What the mapping needs from the view: the zoom step, the image's
// resolution and source size, the scroll position and the centring offsets
// of the last paint.
struct ViewMapping
{
  int zoom = 0;
  int xdpi = 0, ydpi = 0;
  int sourceW = 0, sourceH = 0;
  int scrollX = 0, scrollY = 0;
  int offsetX = 0, offsetY = 0;
};

// The zoom step's percentage p with the integer aspect correction: when both
// resolutions are at least 1 and differ, py = p * x / y if y < x, else
// px = p * y / x; otherwise both are p.
void MappingPercents(int zoom, int xdpi, int ydpi, int *px, int *py);

// View to image: (c + s - o) * 100 / p per axis (integer division); with
// clamp each coordinate is limited to 0 .. source size - 1.
IntPoint ViewToImage(const ViewMapping &m, IntPoint client, bool clamp);
// Image to view: x * px / 100 + ox - sx per axis.
IntPoint ImageToView(const ViewMapping &m, IntPoint image);

// Corners in any order -> left <= right, top <= bottom.
SelRect NormalizeRect(SelRect r);
// A selection exists only when it has width and height: left < right and
// top < bottom.
bool SelectionExists(const SelRect &r);
// A view rectangle (normalised) to image coordinates, clamped.
SelRect ViewRectToImage(const ViewMapping &m, SelRect view);
// The view rectangle of an image rectangle (both corners mapped).
SelRect ImageRectToView(const ViewMapping &m, SelRect image);
// r grown by g on every side.
SelRect Inflate(SelRect r, int g);

// Repaint margin around a selection frame: 2 (z + 1) above step 0, else 2.
int SelectionRepaintMargin(int zoom);

// Status pane 0 while the pointer moves: "(%d,%d)", followed by
// "   Selection: (%d,%d)->(%d,%d) = (%dx%d)" when a selection exists.
std::string PositionPaneText(IntPoint image, bool hasSelection, const SelRect &selection);
// Status pane 0 while panning: "Scroll offset: (%d,%d)".
std::string ScrollPaneText(int scrollX, int scrollY);

// Pan: the new scroll position, current + (last - pointer) on each axis whose
// scroll bar is needed.
IntPoint PanScroll(IntPoint scroll, IntPoint last, IntPoint pointer, bool hScroll, bool vScroll);

// The stored row where a pasted image's first stored row goes so that its
// top-left lands on image row y: source height - insert height - y for a
// bottom-up image, y for a top-down one.
int InsertStoredRow(int y, int imageSourceHeight, int insertSourceHeight, bool imageTopDown);

// Area to repaint while a pasted image follows the pointer: the rectangle
// spanning the last and the current point, extended right and down by the
// pasted image's size at the zoom percentage.
SelRect PlacementRepaint(IntPoint last, IntPoint current, int insertW, int insertH, int zoomPercent);

} // namespace vellum

#endif

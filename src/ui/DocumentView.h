// IDocumentView: what the document asks of the view showing it. The view
// (CVellumView) implements it; the document's edit commands work on the
// selection it holds and reset it after an open or an edit, without the
// document knowing the view's class.
#ifndef VELLUM_UI_DOCUMENTVIEW_H
#define VELLUM_UI_DOCUMENTVIEW_H

#include "SelectionLogic.h"

namespace vellum
{

class IDocumentView
{
public:
  virtual ~IDocumentView() = default;

  // The DjVu layer shown (0 Color, 1 Black And White, 2 Background, 3
  // Foreground), which a render of the page draws.
  virtual int ShownLayer() const = 0;
  // Device pixels per logical pixel of the window showing the page (1..8):
  // a reduced page is rendered at that many times its size.
  virtual int DeviceScale() const = 0;
  // The selection in image coordinates (inclusive, top row 0); null when
  // there is none. Valid until the selection changes.
  virtual const SelRect *Selection() const = 0;
  // Removes the selection and its frame.
  virtual void ClearSelection() = 0;
  virtual void ScrollToOrigin() = 0;
  // A pasted image waits to be placed with the mouse (place mode).
  virtual void StartPlacing() = 0;
  // Back to panning: nothing is selected or placed any more.
  virtual void ResetMouseMode() = 0;
};

} // namespace vellum

#endif

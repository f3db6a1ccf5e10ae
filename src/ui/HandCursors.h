// The two hand cursors of the view's pan mode: an open hand over an image
// that can be dragged, a closed hand while dragging.
#ifndef VELLUM_UI_HANDCURSORS_H
#define VELLUM_UI_HANDCURSORS_H

class wxCursor;

namespace vellum
{

const wxCursor &OpenHandCursor();
const wxCursor &ClosedHandCursor();

} // namespace vellum

#endif

// The picture the empty view shows: a page with the program's name.
#ifndef VELLUM_UI_LOGO_H
#define VELLUM_UI_LOGO_H

#include <wx/dc.h>

// Draws the logo centred on centre (logical coordinates of dc).
void DrawLogo(wxDC &dc, const wxPoint &centre);

#endif

#include "Logo.h"

#include <wx/font.h>

void DrawLogo(wxDC &dc, const wxPoint &centre)
{
  // A sheet with a folded corner, a few text lines and the name below.
  const int w = 120, h = 150, fold = 28;
  const int left = centre.x - w / 2, top = centre.y - h / 2 - 20;
  const wxPoint sheet[] = {
      {left, top}, {left + w - fold, top}, {left + w, top + fold}, {left + w, top + h}, {left, top + h}};
  dc.SetPen(wxPen(wxColour(96, 96, 112), 2));
  dc.SetBrush(wxBrush(wxColour(250, 248, 240)));
  dc.DrawPolygon(5, sheet);
  const wxPoint corner[] = {{left + w - fold, top}, {left + w - fold, top + fold}, {left + w, top + fold}};
  dc.SetBrush(wxBrush(wxColour(220, 216, 204)));
  dc.DrawPolygon(3, corner);
  dc.SetPen(wxPen(wxColour(150, 150, 165), 3));
  for (int i = 0; i < 6; ++i)
  {
    const int y = top + 45 + i * 16;
    dc.DrawLine(left + 16, y, left + w - 16 - (i % 3) * 14, y);
  }
  dc.SetFont(wxFont(wxFontInfo(20).Bold().Family(wxFONTFAMILY_SWISS)));
  dc.SetTextForeground(wxColour(70, 70, 90));
  const wxString name = "Vellum";
  const wxSize extent = dc.GetTextExtent(name);
  dc.DrawText(name, centre.x - extent.x / 2, top + h + 12);
}

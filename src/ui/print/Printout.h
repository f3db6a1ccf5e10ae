// Printing of the current image, and the drawing routine it shares with
// the other windows that show a CDibImage.
//
// CVellumPrintout prints the image on one page: before the page it asks
// about an unknown resolution when the original size is wanted, then
// computes the plan (PrintLogic.h) in printer pixels, maps the printable
// area onto the device (printer or preview) and draws the image there with
// DrawDibStretched. The wxDocManager's Print, Print Preview and Print Setup
// commands drive it through the view's OnCreatePrintout.
#ifndef VELLUM_UI_PRINT_PRINTOUT_H
#define VELLUM_UI_PRINT_PRINTOUT_H

#include <wx/image.h>
#include <wx/print.h>

#include "PrintLogic.h"

class CDibImage;
class CVellumSettings;

namespace vellum
{

// The record's pixels as an RGB image, top row first; an invalid wxImage
// for an empty or inconsistent record.
wxImage DibToWxImage(const CDibImage &image);

// Draws image stretched to w x h logical units at (x, y) on dc, through the
// dc's scale (no copy of the stretched size is made). Nothing for an empty
// image or size.
void DrawDibStretched(wxDC &dc, const CDibImage &image, int x, int y, int w, int h);

class CVellumPrintout : public wxPrintout
{
public:
  // image, settings: the document's image and the program's settings; both
  // must outlive the printout. zoomPercent: the percentage the screen draws
  // the image at (for "PrintSize" 1).
  CVellumPrintout(const CDibImage &image, CVellumSettings &settings, int zoomPercent,
                  const wxString &title = "Vellum");

  // An image without a stored resolution printed at its original size asks
  // whether to print it at its screen size: once per printout, before any
  // page is drawn (a question from inside the preview's paint came back at
  // every redraw, and the page stayed blank).
  void OnPreparePrinting() override;
  bool OnPrintPage(int page) override;
  bool HasPage(int page) override { return page == 1; }
  void GetPageInfo(int *minPage, int *maxPage, int *selFrom, int *selTo) override;

  // The plan of the last page printed (tests).
  const PrintPlan &LastPlan() const { return m_plan; }
  // Screen pixels per inch; 0 measures the display (tests set a value).
  static void SetScreenPpiOverride(int ppi);

private:
  PrintInput MakeInput() const;

  const CDibImage &m_image;
  CVellumSettings &m_settings;
  int m_zoomPercent;
  PrintPlan m_plan;
  int m_screenSizeAnswer = -1; // -1 not asked, 0 No (blank page), 1 Yes (screen size)
};

} // namespace vellum

#endif

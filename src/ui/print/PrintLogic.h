// Print scaling and placement, without wxWidgets.
//
// The current image is printed on one page, at its original physical size
// (from its DPI, "PrintSize" 0) or at the size it has on the screen
// ("PrintSize" 1), optionally shrunk to fit the printable area
// ("ShrinkPrint"), and centred. All sizes are printer pixels; the printout
// (Printout.h) maps them onto the page of the real or preview device.
//
// Scale (printer pixels per image pixel):
//   size 0: sx = printer ppi x / image DPI x, sy likewise;
//   size 1: sx = printer ppi x * ax * p / (screen ppi x * 100), sy with ay,
//           p the screen zoom percentage, ax/ay the aspect factors;
//   shrink: mx = printable mm x / 25.4 * printer ppi x / image width (my
//           likewise); sx > mx scales both down to mx, then sy > my to my.
// Percentages px, py = floor(s * 100 + 0.5); the drawn size is image size
// x percentage / 100 (integer division), centred on the page.
#ifndef VELLUM_UI_PRINT_PRINTLOGIC_H
#define VELLUM_UI_PRINT_PRINTLOGIC_H

#include <string>

namespace vellum
{

extern const char kMsgResolutionUnknown[]; // question before printing without DPI
extern const char kMsgUnknownPrintSize[];  // "Unknown print size setting!"

constexpr double kInchesPerMm = 0.03937007874015748;

struct PrintInput
{
  int printSize = 0;   // "PrintSize"
  int shrinkPrint = 1; // "ShrinkPrint"
  int imageW = 0, imageH = 0;
  int xdpi = 0, ydpi = 0;
  int zoomPercent = 100; // the percentage the screen draws at
  double printerPpiX = 0, printerPpiY = 0;
  double printableMmW = 0, printableMmH = 0;
  int screenPpiX = 96, screenPpiY = 96;
};

struct PrintPlan
{
  enum Outcome
  {
    kDraw,          // draw the image at the plan
    kBlank,         // nothing to draw (no DPI at original size, empty image, no device)
    kUnknownSetting // "PrintSize" neither 0 nor 1: "Unknown print size setting!"
  } outcome = kBlank;
  double sx = 0, sy = 0;
  int px = 0, py = 0;         // percentages
  int pageW = 0, pageH = 0;   // printable area in printer pixels
  int drawnW = 0, drawnH = 0; // image size on the page
  int offsetX = 0, offsetY = 0;
};

// True when the user must be asked before printing: original size wanted
// and either resolution unknown.
bool NeedsResolutionPrompt(int printSize, int xdpi, int ydpi);

// Aspect factors of the screen size: the axis with the lower DPI gets
// larger / smaller, the other 1 (both 1 unless both DPI are >= 1 and differ).
void PrintAspectFactors(int xdpi, int ydpi, double *ax, double *ay);

// Screen pixels per inch from its size in pixels and millimetres,
// truncated; 96 when the millimetres are unknown (0 or less).
int ScreenPpi(int pixels, int millimetres);

PrintPlan PlanPrint(const PrintInput &in);

} // namespace vellum

#endif

// Rules of the main window that need no window: which of the frame's
// commands are enabled, the status bar's pane widths and sample texts, and
// where the selection bar (the directory browser) may dock. The frame
// (MainFrame.h) binds them to its menus, toolbar, status bar and wxAUI
// panes, the document (Save, Save As) and the document manager (printing)
// to their commands; tests check them without a display.
#ifndef VELLUM_UI_FRAMELOGIC_H
#define VELLUM_UI_FRAMELOGIC_H

namespace vellum
{

// Commands whose enabling the frame decides.
enum FrameCommand
{
  kCmdOpen,
  kCmdNewScan,
  kCmdSelectSource,
  kCmdExit,
  kCmdSave,
  kCmdSaveAs,
  kCmdPrint,
  kCmdPrintPreview,
  kCmdPrintSetup,
  kCmdSettings, // any of the four settings dialogs
  kCmdStartupInfo,
  kCmdHelpTopics,
  kCmdSelectTool, // toolbar "Select"
  kCmdSelectionBar,
  kCmdZoomBox
};

// What the enabling depends on.
struct FrameState
{
  bool hasImage = false;         // the image holds a pixel block
  bool modified = false;         // the document's modified flag
  bool scannerAvailable = false; // a scanner source manager answered
};

// Open, Exit, the settings dialogs, help, the bar toggle and the zoom box:
// always. New Scan and Select Source: a scanner is available. Print, Print
// Preview, Print Setup, Save As and "Select": the image holds a pixel
// block. Save: an image that is modified.
bool FrameCommandEnabled(FrameCommand command, const FrameState &state);

// Status bar: pane 0 takes the rest of the bar; panes 1 and 2 are as wide
// as their sample texts in the bar's font plus the field's own margins.
extern const char kPaneSizeSample[]; // "12345x12345x24"
extern const char kPaneDpiSample[];  // "1234x1234 DPI"
extern const char kPaneSizeText[];   // "WxHxBits": pane 1 at creation
extern const char kPaneDpiText[];    // "DPI": pane 2 at creation
constexpr int kStatusPanes = 3;
// widths: the three SetStatusWidths values (-1, then pixels). A negative
// measured width counts as 0.
void StatusPaneWidths(int sizeSampleWidth, int dpiSampleWidth, int fieldMargin, int widths[kStatusPanes]);

// The selection bar: a pane docked at the bottom that may be moved to the
// top or floated, never docked at the sides.
extern const char kSelectionBarName[];    // wxAUI pane name
extern const char kSelectionBarCaption[]; // "Selection Bar"
extern const char kSelectionBarMenu[];    // "S&election Bar"
extern const char kSelectionBarHelp[];    // "Show or hide the selection bar"
enum DockSide
{
  kDockTop,
  kDockBottom,
  kDockLeft,
  kDockRight
};
constexpr DockSide kSelectionBarSide = kDockBottom;
bool SelectionBarMayDock(DockSide side);

} // namespace vellum

#endif

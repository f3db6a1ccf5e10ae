#include "FrameLogic.h"

namespace vellum
{

const char kPaneSizeSample[] = "12345x12345x24";
const char kPaneDpiSample[] = "1234x1234 DPI";
const char kPaneSizeText[] = "WxHxBits";
const char kPaneDpiText[] = "DPI";

const char kSelectionBarName[] = "SelectionBar";
const char kSelectionBarCaption[] = "Selection Bar";
const char kSelectionBarMenu[] = "S&election Bar";
const char kSelectionBarHelp[] = "Show or hide the selection bar";

bool FrameCommandEnabled(FrameCommand command, const FrameState &state)
{
  switch (command)
  {
  case kCmdNewScan:
  case kCmdSelectSource:
    return state.scannerAvailable;
  case kCmdPrint:
  case kCmdPrintPreview:
  case kCmdPrintSetup:
  case kCmdSaveAs:
  case kCmdSelectTool:
    return state.hasImage;
  case kCmdSave:
    return state.hasImage && state.modified;
  case kCmdOpen:
  case kCmdExit:
  case kCmdSettings:
  case kCmdStartupInfo:
  case kCmdHelpTopics:
  case kCmdSelectionBar:
  case kCmdZoomBox:
    return true;
  }
  return false;
}

void StatusPaneWidths(int sizeSampleWidth, int dpiSampleWidth, int fieldMargin, int widths[kStatusPanes])
{
  const int margin = fieldMargin > 0 ? fieldMargin : 0;
  widths[0] = -1;
  widths[1] = (sizeSampleWidth > 0 ? sizeSampleWidth : 0) + margin;
  widths[2] = (dpiSampleWidth > 0 ? dpiSampleWidth : 0) + margin;
}

bool SelectionBarMayDock(DockSide side)
{
  return side == kDockTop || side == kDockBottom;
}

} // namespace vellum

// The main window's command enabling, status pane widths and selection-bar
// docking, without a display.
#include <gtest/gtest.h>

#include <string>

#include "FrameLogic.h"

using namespace vellum;

TEST(FrameLogic, CommandEnablingFollowsImageModifiedAndScanner)
{
  // Columns: nothing; image; image and modified; scanner only.
  FrameState none, image, changed, scanner;
  image.hasImage = true;
  changed.hasImage = changed.modified = true;
  scanner.scannerAvailable = true;
  // A modified flag without an image (an emptied document) saves nothing.
  FrameState modifiedEmpty;
  modifiedEmpty.modified = true;

  struct Row
  {
    FrameCommand command;
    bool none, image, changed, scanner, modifiedEmpty;
  } const rows[] = {
      {kCmdOpen, true, true, true, true, true},
      {kCmdExit, true, true, true, true, true},
      {kCmdSettings, true, true, true, true, true},
      {kCmdStartupInfo, true, true, true, true, true},
      {kCmdHelpTopics, true, true, true, true, true},
      {kCmdSelectionBar, true, true, true, true, true},
      {kCmdZoomBox, true, true, true, true, true},
      {kCmdNewScan, false, false, false, true, false},
      {kCmdSelectSource, false, false, false, true, false},
      {kCmdPrint, false, true, true, false, false},
      {kCmdPrintPreview, false, true, true, false, false},
      {kCmdPrintSetup, false, true, true, false, false},
      {kCmdSelectTool, false, true, true, false, false},
      {kCmdSaveAs, false, true, true, false, false},
      {kCmdSave, false, false, true, false, false},
  };
  for (const Row &r : rows)
  {
    SCOPED_TRACE(r.command);
    EXPECT_EQ(FrameCommandEnabled(r.command, none), r.none);
    EXPECT_EQ(FrameCommandEnabled(r.command, image), r.image);
    EXPECT_EQ(FrameCommandEnabled(r.command, changed), r.changed);
    EXPECT_EQ(FrameCommandEnabled(r.command, scanner), r.scanner);
    EXPECT_EQ(FrameCommandEnabled(r.command, modifiedEmpty), r.modifiedEmpty);
  }
}

TEST(FrameLogic, StatusPanesAreTheRestThenTheSampleWidths)
{
  struct Row
  {
    int size, dpi, margin;
    int w1, w2;
  } const rows[] = {
      {98, 85, 10, 108, 95},
      {98, 85, 0, 98, 85},
      {98, 85, -4, 98, 85}, // a negative margin does not shrink the panes
      {-1, -7, 6, 6, 6},    // a failed measurement leaves only the margin
  };
  for (const Row &r : rows)
  {
    int widths[kStatusPanes] = {0, 0, 0};
    StatusPaneWidths(r.size, r.dpi, r.margin, widths);
    EXPECT_EQ(widths[0], -1);
    EXPECT_EQ(widths[1], r.w1);
    EXPECT_EQ(widths[2], r.w2);
  }
  EXPECT_STREQ(kPaneSizeSample, "12345x12345x24");
  EXPECT_STREQ(kPaneDpiSample, "1234x1234 DPI");
  EXPECT_STREQ(kPaneSizeText, "WxHxBits");
  EXPECT_STREQ(kPaneDpiText, "DPI");
}

TEST(FrameLogic, SelectionBarDocksAtTheBottomOrTheTopOnly)
{
  EXPECT_EQ(kSelectionBarSide, kDockBottom);
  EXPECT_TRUE(SelectionBarMayDock(kDockBottom));
  EXPECT_TRUE(SelectionBarMayDock(kDockTop));
  EXPECT_FALSE(SelectionBarMayDock(kDockLeft));
  EXPECT_FALSE(SelectionBarMayDock(kDockRight));
  EXPECT_STREQ(kSelectionBarMenu, "S&election Bar");
  EXPECT_STREQ(kSelectionBarHelp, "Show or hide the selection bar");
  EXPECT_STREQ(kSelectionBarCaption, "Selection Bar");
}

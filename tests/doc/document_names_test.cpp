#include "DocumentNames.h"

#include <gtest/gtest.h>

using namespace vellum;

TEST(DocumentNames, RevisionAndSoftwareText)
{
  EXPECT_EQ(RevisionText("$Revision: 1.12 $"), "Revision: 1.12 ");
  EXPECT_EQ(SoftwareText("$Revision: 1.12 $"), "Orvale Vellum Revision: 1.12 ");
  EXPECT_EQ(SoftwareText(), "Orvale Vellum Revision: 1.12 ");
  EXPECT_EQ(RevisionText("no keyword"), "no keyword");
  EXPECT_EQ(RevisionText("$x"), "$x");
}

TEST(DocumentNames, Titles)
{
  EXPECT_EQ(OpenedTitle("/data/scans/page.djvu", 0, 1), "page.djvu");
  EXPECT_EQ(OpenedTitle("/data/scan.tif", 0, 3), "scan.tif (page 1 of 3)");
  EXPECT_EQ(OpenedTitle("/data/scan.tif", 2, 3), "scan.tif (page 3 of 3)");
  EXPECT_EQ(OpenedTitle("plain.bmp", 0, 0), "plain.bmp");
  EXPECT_EQ(SavedTitle("/a/in.jpg", "/b/out.djvu"), "in.jpg (last saved as out.djvu)");
  EXPECT_EQ(SaveFirstQuestion("scan.tif (page 1 of 3)"), "Save scan.tif (page 1 of 3) first?");
  // Percent signs in names are text, not formats.
  EXPECT_EQ(SavedTitle("/a/100%s.jpg", "/b/%d.djvu"), "100%s.jpg (last saved as %d.djvu)");
  // Saved under its own name (or with nothing opened before): one name.
  EXPECT_EQ(SavedTitle("/a/x.djvu", "/b/x.djvu"), "x.djvu");
  EXPECT_EQ(SavedTitle("", "/b/x.djvu"), "x.djvu");
  // The window title: the product alone, a document, a modified one.
  EXPECT_EQ(WindowTitle("", true), "Vellum");
  EXPECT_EQ(WindowTitle("x.djvu", false), "x.djvu - Vellum");
  EXPECT_EQ(WindowTitle("x.djvu", true), "*x.djvu - Vellum");
  EXPECT_EQ(DirectoryOf("/home/u/pics/a.djvu"), "/home/u/pics");
  EXPECT_EQ(DirectoryOf("a.djvu"), "");
}

// The reason of a failed open in words: a library report loses its source
// file and line, a message keeps its first line; nothing known: the
// damaged-or-unsupported text.
TEST(DocumentNames, OpenFailureTexts)
{
  const struct
  {
    const char *lastError, *reason;
  } rows[] = {
      {"DjVu error!\n\nFile: libAPI/Render\nLine: 315\nCause: Unexpected end of file.\n",
       "Unexpected end of file."},
      {"Not a JPEG file: starts with 0x42 0x4d", "Not a JPEG file: starts with 0x42 0x4d."},
      {"JPEG file is truncated\nmore", "JPEG file is truncated."},
      {"", ""},
  };
  for (const auto &r : rows)
    EXPECT_EQ(OpenFailureReason(r.lastError), r.reason) << r.lastError;
  EXPECT_EQ(OpenFailedText("/d/page.djvu", "Unexpected end of file."),
            "Failed to open the image!\n\npage.djvu: Unexpected end of file.");
  EXPECT_EQ(
      OpenFailedText("/d/page.djvu", ""),
      "Failed to open the image!\n\npage.djvu: the file is damaged or is not an image of a supported kind.");
}

TEST(DocumentNames, OpenFilterTable)
{
  // Initial filter for each stored OpenType, and the kind each index means.
  const int indexForType[][2] = {{1, 1},   {2, 2}, {3, 3}, {4, 6}, {5, 4},  {6, 5}, {7, 7},
                                 {100, 8}, {8, 8}, {9, 8}, {0, 8}, {99, 8}, {-1, 8}};
  for (const auto &row : indexForType)
    EXPECT_EQ(OpenFilterIndexForType(row[0]), row[1]) << "OpenType " << row[0];
  const int kinds[] = {0, 1, 2, 3, 5, 6, 4, 7, 100, 100};
  for (int i = 1; i <= 9; ++i)
    EXPECT_EQ(KindForOpenFilterIndex(i), kinds[i]) << i;
  EXPECT_EQ(KindForOpenFilterIndex(0), 100);
  EXPECT_EQ(KindForOpenFilterIndex(10), 100);
  EXPECT_STREQ(OpenFilterAt(6).description, "PNM file (*.pnm;*.ppm;*.pgm;*.pbm)");
  EXPECT_STREQ(OpenFilterAt(0).description, "All supported image files");
  EXPECT_EQ(OpenFilterWildcard().substr(0, 37), "DjVu file (*.djvu;*.djv)|*.djvu;*.djv");
  EXPECT_NE(OpenFilterWildcard().find("|All supported image files|*.djvu;*.djv;*.iw44;*.iw4;*.bmp;*.jpg;"
                                      "*.jpeg;*.tif;*.tiff;*.pnm;*.ppm;*.pgm;*.pbm;*.png|"),
            std::string::npos);
  // "All files" comes last, as in every file chooser of this desktop.
  const std::string all = "|All files|*";
  EXPECT_EQ(OpenFilterWildcard().rfind(all), OpenFilterWildcard().size() - all.size());
}

TEST(DocumentNames, ColorDepthWarning)
{
  EXPECT_EQ(
      ColorDepthWarning(8),
      "Your display color depth is only 8-bit.\n\nSome images may not appear to look good on the screen "
      "at this color depth.\nIt is recommended that you increase the color depth to be at least 16-bit.");
  EXPECT_EQ(ColorDepthWarning(16), "");
  EXPECT_EQ(ColorDepthWarning(24), "");
}

TEST(DocumentNames, ScannerColorTableSize)
{
  EXPECT_EQ(DibColorTableSize(1, 0, 0), 8);
  EXPECT_EQ(DibColorTableSize(4, 0, 0), 64);
  EXPECT_EQ(DibColorTableSize(8, 0, 0), 1024);
  EXPECT_EQ(DibColorTableSize(8, 0, 16), 64);
  EXPECT_EQ(DibColorTableSize(24, 0, 0), 0);
  EXPECT_EQ(DibColorTableSize(16, 3, 0), 12);
  EXPECT_EQ(DibColorTableSize(32, 3, 0), 12);
  EXPECT_EQ(DibColorTableSize(32, 0, 0), 0);
  EXPECT_EQ(DibColorTableSize(8, 0, 0x40000000u), -1); // hostile count refused
  EXPECT_EQ(DibColorTableSize(1, 0, 3), -1);
}

TEST(DocumentNames, StatusPaneTexts)
{
  EXPECT_EQ(SizePaneText(false, 1, 2, 3, false), " WxHxBits");
  EXPECT_EQ(SizePaneText(true, 2550, 3300, 24, false), "2550x3300x24");
  EXPECT_EQ(SizePaneText(true, 512, 512, 8, true), "512x512x8g");
  EXPECT_EQ(DpiPaneText(false, 300, 300), " DPI");
  EXPECT_EQ(DpiPaneText(true, 300, 300), "300 DPI");
  EXPECT_EQ(DpiPaneText(true, 0, 0), "? DPI");
  EXPECT_EQ(DpiPaneText(true, 204, 98), "204,98 DPI");
  EXPECT_EQ(DpiPaneText(true, 0, 98), "?,98 DPI");
  EXPECT_EQ(DpiPaneText(true, 72, -1), "72,? DPI");
}

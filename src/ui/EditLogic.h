// The edit commands' byte work and rules, without wxWidgets.
//
// The clipboard carries images as packed device-independent bitmaps: a
// 40-byte BITMAPINFOHEADER, the colour table and the rows, bottom-up. This
// file builds that block from a rectangle of an image (the selection
// bitmap), checks and splits a block read back from the clipboard, wraps it
// as a BMP file for programs that ask for "image/bmp", converts to and from
// plain RGB rows for the toolkit's bitmap format, and holds the enable rules
// of the Edit and Image menu entries and the palette mapping used when a
// pasted image is placed.
#ifndef VELLUM_UI_EDITLOGIC_H
#define VELLUM_UI_EDITLOGIC_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "DibDraw.h"
#include "SelectionLogic.h"

namespace vellum
{

// The image a selection bitmap is cut from: its stored header (when the
// header kind is 5, the only kind the records use), colour table and rows.
struct DibSource
{
  int headerKind = 5;
  const uint8_t *header = nullptr; // 40 bytes, used when headerKind is 5
  DibRows rows;                    // rows, palette (paletteEntries x 4 bytes)
  int xdpi = 0, ydpi = 0;          // for a new header
};

enum SelectionBitmapResult
{
  kSelectionOk,
  kSelectionBadRect,  // outside the image or empty
  kSelectionBadDepth, // 4 bits (or anything but 1, 8 and 24)
  kSelectionNoMemory  // too large or allocation failed
};

// "Can't allocate memory for selection!"
extern const char kMsgSelectionNoMemory[];
// "Selections of %d bit images is not supported" with the depth.
std::string UnsupportedSelectionText(int bits);

// Pixels per metre of a resolution: floor(dpi * 100 * 0.39370078740157477).
int32_t SelectionPixelsPerMeter(int dpi);

// Builds the selection bitmap of rect (inclusive, top row 0) into out:
// - header: a copy of the image's header with width, height (positive: the
//   rows are bottom-up) and image size replaced; for another header kind a
//   new one (size 40, 1 plane, the depth, no compression, pixels per metre
//   from the DPI, colours used = table entries when fewer than 2^bits);
// - the colour table unchanged;
// - the rectangle's rows bottom-up, stride ((bits * width + 31) / 32) * 4,
//   24-bit pixels in blue, green, red order.
// On any result but kSelectionOk out is empty.
SelectionBitmapResult BuildSelectionBitmap(const DibSource &src, const SelRect &rect,
                                           std::vector<uint8_t> &out);

// The parts of a packed DIB block read from the clipboard.
struct DibBlockParts
{
  size_t headerSize = 0; // biSize (40, or a larger V4/V5 header)
  size_t tableOffset = 0;
  size_t tableSize = 0; // colour table bytes, as for a scanned page
  size_t bitsOffset = 0;
  size_t bitsSize = 0; // height x stride
};

// Checks a packed DIB block (header, table, rows) of size bytes: a header of
// at least 40 bytes that it claims, a positive width, a non-zero height,
// 1, 4, 8, 16, 24 or 32 bits, and a table and rows that fit the block.
// False for anything malformed.
bool SplitDibBlock(const uint8_t *block, size_t size, DibBlockParts *parts);

// A BMP file for "image/bmp": the 14-byte file header ("BM", file size, 0,
// pixel offset) then the block. Empty when the block is malformed.
std::vector<uint8_t> DibToBmpFile(const std::vector<uint8_t> &dib);
// The packed DIB inside clipboard bytes: a BMP file loses its file header,
// a bare block is taken as it is. Empty when malformed.
std::vector<uint8_t> DibFromClipboardBytes(const uint8_t *data, size_t size);

// Plain RGB rows (3 bytes a pixel, top row first, no padding) of a packed
// DIB of depth 1, 4, 8 or 24 without compression. False when malformed.
bool DibToRgb(const std::vector<uint8_t> &dib, int *width, int *height, std::vector<uint8_t> &rgb);
// A 24-bit bottom-up packed DIB from RGB rows (top row first); resolution
// 0. Empty on a bad size.
std::vector<uint8_t> DibFromRgb(int width, int height, const uint8_t *rgb);

// Index of the palette entry nearest to (r, g, b) by squared distance; the
// first of equal ones. palette: entries x 4 bytes (blue, green, red, -).
int NearestPaletteIndex(const uint8_t *palette, int entries, int r, int g, int b);
// The 256-entry index map for placing a pasted image: for each of the
// 2^insertBits entries of the insert image's table (those it has) the
// nearest entry of the image's table; all 0 when the image has more than 8
// bits per pixel.
std::vector<int32_t> InsertIndexMap(const uint8_t *imagePalette, int imageEntries, int imageBits,
                                    const uint8_t *insertPalette, int insertEntries, int insertBits);

// What the enable rules look at.
struct EditState
{
  bool hasImage = false;     // the image holds a pixel block
  bool hasSelection = false; // the view's selection exists
  bool canUndo = false;      // an undo step is kept
  bool clipboardHasDib = false;
};

// The commands with enable rules.
enum EditCommand
{
  kEditCrop,
  kEditResize,
  kEditCut,
  kEditCopy,
  kEditPaste,
  kEditPasteNew,
  kEditClear,
  kEditEmptyClipboard,
  kEditSelectTool
};

// Whether a command is enabled: Crop needs an image and a selection; Resize,
// Cut, Copy, Clear and the Select tool an image; Paste, Paste As New and
// Empty Clipboard an image on the clipboard.
bool EditCommandEnabled(EditCommand command, const EditState &state);

} // namespace vellum

#endif

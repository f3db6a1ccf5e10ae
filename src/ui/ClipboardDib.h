// The clipboard's image in both forms other programs read: "image/bmp"
// bytes (a BMP file around the packed DIB block of EditLogic.h, what the
// Windows clipboard calls CF_DIB) and the toolkit's bitmap format. Reading
// takes the DIB bytes when present, else a bitmap of any program, converted
// to a 24-bit DIB. All calls open and close the clipboard themselves.
#ifndef VELLUM_UI_CLIPBOARDDIB_H
#define VELLUM_UI_CLIPBOARDDIB_H

#include <cstdint>
#include <vector>

class wxDataFormat;

namespace vellum
{

// The "image/bmp" format.
const wxDataFormat &DibClipboardFormat();

// Puts the block on the clipboard (this program becomes its owner). False
// when the clipboard cannot be opened or the block is malformed.
bool ClipboardPutDib(const std::vector<uint8_t> &dib);
// The clipboard's image as a packed DIB block; empty when there is none or
// it is malformed.
std::vector<uint8_t> ClipboardGetDib();
// Whether the clipboard offers an image in either form. The answer is kept
// for half a second (menu updates ask often); this program's own changes
// take effect at once.
bool ClipboardHasDib();
// Empties the clipboard.
void ClipboardEmpty();

} // namespace vellum

#endif

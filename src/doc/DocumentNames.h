// Texts and small rules of the document that need no image and no window:
// titles, the program's revision and software texts, the Open dialog's
// filter table, the fixed messages, and the colour-table size of a packed
// bitmap handed over by a scanner.
#ifndef VELLUM_DOC_DOCUMENTNAMES_H
#define VELLUM_DOC_DOCUMENTNAMES_H

#include "DibImage.h"
#include "FileSystem.h"

#include <cstdint>
#include <string>

namespace vellum
{

// The image record's file kinds (IMAGE_FILE_*, DibImage.h) under the names
// the document, the dialogs and the browser use; the codes live there (and
// in settings files). kKindNone is "no kind given": an open takes the kind
// from the file's name (as it does for kKindUnknown, what the name sniff
// answers for a name it does not know, and for the "All supported" filter).
enum FileKind
{
  kKindNone = IMAGE_FILE_NONE,
  kKindDjVu = IMAGE_FILE_DJVU,
  kKindIw44 = IMAGE_FILE_IW44,
  kKindBmp = IMAGE_FILE_BMP,
  kKindPnm = IMAGE_FILE_PNM,
  kKindJpeg = IMAGE_FILE_JPEG,
  kKindTiff = IMAGE_FILE_TIFF,
  kKindPng = IMAGE_FILE_PNG,
  kKindUnknown = IMAGE_FILE_UNKNOWN,
  kKindAllSupported = IMAGE_FILE_ALL
};

// Fixed messages of opening, scanning and rendering.
extern const char *const kMsgOpenFailed;        // "Failed to open the image!"
extern const char *const kMsgTypeNotRecognized; // "File type not recognized!"
extern const char *const kMsgAcquireFailed;     // "Failed to acquire image!"
extern const char *const kMsgRerenderFailed;    // "Failed to re-render the image!"
extern const char *const kTitleScanned;         // "Untitled scanned image"
extern const char *const kTitleClipboard;       // "Untitled clipboard image"
extern const char *const kProductName;          // "Vellum"
extern const char *const kRevisionKeyword;      // the program's revision keyword

// The revision keyword without everything up to and including its first "$"
// and from its last "$" on: "$Revision: 1.12 $" gives "Revision: 1.12 ".
// A text without two "$" is returned unchanged.
std::string RevisionText(const std::string &keyword);

// "Orvale %s %s" with the product name and RevisionText(keyword).
std::string SoftwareText(const std::string &keyword = kRevisionKeyword);

// FileNameOf (the name after the last "/") is FileSystem.h's.

// The directory part of a path, up to and not including its last "/"; empty
// when the path has none.
std::string DirectoryOf(const std::string &path);

// Title of an opened file: the file name, or "%s (page %d of %d)" with the
// file name, pageIndex + 1 and pageCount when pageCount >= 2.
std::string OpenedTitle(const std::string &path, int pageIndex, int pageCount);

// The Save As question for a page of a book saved as DjVu.
std::string BookSaveQuestion(int pageIndex, int pageCount);
// The whole-document save window's line for page (from 0) of count being
// encoded: "Page 3 of 12".
std::string BookSavePageText(int page, int count);

// "%s (last saved as %s)" with the two file names; only the saved name when
// both names are the same.
std::string SavedTitle(const std::string &lastOpenedPath, const std::string &savedPath);

// The one message of a failed open: "Failed to open the image!", then the
// file's name and the reason in words (reason empty: a damaged or
// unsupported file).
std::string OpenFailedText(const std::string &path, const std::string &reason);

// The reason an open failed, from the reader's last message: the cause of a
// "DjVu error!" report without its source file and line, the message's first
// line otherwise; empty when there is none.
std::string OpenFailureReason(const std::string &lastError);

// The main window's title: the product name alone without a document, else
// "<title> - Vellum", marked "*<title> - Vellum" while modified. Page and
// other parts of the title come in docTitle.
std::string WindowTitle(const std::string &docTitle, bool modified);

// "Save %s first?" with the document title.
std::string SaveFirstQuestion(const std::string &title);

// "Your display color depth is only %d-bit. ..." for a display of <= 8 bits
// per pixel; empty for deeper displays (no warning).
std::string ColorDepthWarning(int bitsPerPixel);

// Texts of the status panes 1 and 2: "%dx%dx%d" (source width, height and
// depth, "g" appended for grey) and "%d DPI", "%d,%d DPI" or "?" for unknown
// values; " WxHxBits" and " DPI" without an image.
std::string SizePaneText(bool hasImage, int width, int height, int bits, bool grey);
std::string DpiPaneText(bool hasImage, int xdpi, int ydpi);

// The Open dialog's filters, 1-based as in the dialog: description, pattern
// (";"-separated) and file kind.
struct OpenFilter
{
  const char *description;
  const char *pattern;
  int kind;
};
// Entries 1..7 are one kind each, 8 all supported files, 9 all files (last,
// as file choosers put it).
constexpr int kOpenFilterCount = 9;
constexpr int kOpenFilterAllSupported = 8;
const OpenFilter &OpenFilterAt(int index); // index 1..9; others give entry 8

// Filter index for the stored "OpenType": the first row whose kind matches,
// else 8 (all supported files).
int OpenFilterIndexForType(int openType);

// The kind of a filter index (1..9; 100 for entries 8 and 9); 100 for any
// other index.
int KindForOpenFilterIndex(int index);

// All filters as one wxWidgets-style wildcard: "desc|pattern|desc|pattern...".
std::string OpenFilterWildcard();

// Bytes of the colour table after a 40-byte BITMAPINFOHEADER: 4 x colours used
// when that is non-zero; else 4 x 2^bits for 1, 4 and 8 bits; 12 for 16 and
// 32 bits with bit-field compression (3); else 0. A colours-used count above
// 2^bits (or 256 for deeper images) is refused with -1.
int64_t DibColorTableSize(int bitCount, uint32_t compression, uint32_t colorsUsed);

} // namespace vellum

#endif

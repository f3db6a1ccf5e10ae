// Save and convert without a user interface: the rules of the save dialog,
// the resolution review before a DjVu save, the mapping of the settings onto
// the encoders' parameter records, and SaveImage, which checks the target
// directory and calls the record's writer for the file kind.
//
// The GUI (File > Save, Save As, OnSaveDocument) and the command-line
// converter both call this; neither needs wxWidgets here. Questions and
// messages go through VellumMessageBox (src/platform), whose default hook
// answers Yes without showing anything; the GUI installs a real box.
//
// What the GUI calls, in order, for File > Save As:
//   1. ProposeSaveName(pathName, settings.SaveType, bits, grey, untitled)
//      for the dialog's initial name; FilterIndexFromSaveKind(SaveType) for
//      its initial filter; kSaveFilters for the filter list.
//   2. When the user changes the filter: ReplaceExtension(boxText,
//      DefaultSaveExtension(SaveKindFromFilterIndex(i), bits, grey)).
//   3. After OK: kind = SaveKindFromFilterIndex(i); for IMAGE_FILE_DJVU,
//      RunResolutionReview(image.m_nXDpi, image.m_nYDpi, settings, open)
//      where open() runs the DjVu Settings dialog; 0 stops the save.
//   4. name = FinalSaveName(name, kind, bits, grey) (empty: refuse);
//      settings.SaveDir = SaveDirectoryOf(name); settings.SaveType = kind.
//   5. OnSaveDocument(name): show "Save in progress" with
//      SaveProgressMessage(name), render at full scale, then
//        SaveImage(name, kind, image, settings, softwareText, &window)
//      with the window implementing CSaveProgress (or null), restore the
//      view; 1 is success.
// File > Save calls step 5 with the document's stored save kind (a kind
// never assigned, 0, makes SaveImage fail and Save As follows).
// The converter calls SaveImage the same way with a terminal CSaveProgress.
// The directory check is CheckSaveDirectory below (vellum::EnsureDirectory,
// FileSystem.h).
#ifndef VELLUM_DOC_SAVEIMAGE_H
#define VELLUM_DOC_SAVEIMAGE_H

#include <functional>
#include <string>

#include "DibImage.h"
#include "Settings.h"
#include "djvuapi.h"

// Observer of a save: the GUI's "Save in progress" window and the
// converter's terminal output implement it. Calls come on the thread that
// runs SaveImage, synchronously, while the encoder works.
class CSaveProgress
{
public:
  virtual ~CSaveProgress() = default;
  // An encoder step: text as the encoder names it ("Encoding Mask",
  // "Cleaning Mask", "Compress Photo", ...) and percent 0..100. Only the
  // DjVu and IW44 encoders (and the mask finder) report steps.
  virtual void OnSaveProgress(const char *text, int percent) = 0;
  // Around the writer call (the GUI shows and hides the wait cursor).
  virtual void OnSaveBegin() {}
  virtual void OnSaveEnd() {}
};

// ------------------------------------------------------------ dialog rules

// Longest file name the save dialog proposes or accepts (characters).
const int kMaxSaveName = 259;

struct SaveFilter
{
  int kind;                // IMAGE_FILE_* save kind
  const char *description; // "DjVu File (*.djvu;*.djv)"
  const char *pattern;     // "*.djvu;*.djv"
};
// The save dialog's filters in filter-index order (index = position + 1):
// DjVu, IW44, BMP, JPEG, PNM, PNG.
const int kSaveFilterCount = 6;
extern const SaveFilter kSaveFilters[kSaveFilterCount];

// Filter index 1..6 to save kind (1 DjVu, 2 IW44, 3 BMP, 4 JPEG -> 5,
// 5 PNM -> 4, 6 PNG -> 7); 0 for any other index.
int SaveKindFromFilterIndex(int index);
// Save kind (1..5, 7) to filter index; 0 for any other kind.
int FilterIndexFromSaveKind(int kind);

// Default extension of a save kind: ".djvu", ".iw44", ".bmp", ".jpg", ".png"; for
// PNM ".pbm" (1 bit), ".pgm" (8 bits with the grey flag) or ".ppm". Empty
// for any other kind.
std::string DefaultSaveExtension(int kind, int bits, int grey);

// The text before the last "/" ("" when there is none; "/" for a file at
// the root).
std::string SaveDirectoryOf(const std::string &path);

// name up to its last "." (or all of it when there is no "." after the
// last "/"), followed by ext. Empty when the result is longer than
// kMaxSaveName.
std::string ReplaceExtension(const std::string &name, const std::string &ext);

// The save dialog's proposed file name. With a path name: its file name
// with the extension replaced by the default one of saveType. Without:
// "untitled%04d" of untitled + 1 (untitled counts the proposals made so far
// in this run and is incremented), with the default extension appended.
// A saveType that is not a save kind has no default extension (the old one is dropped).
std::string ProposeSaveName(const std::string &pathName, int saveType, int bits, int grey, int &untitled);

// The name to save under: name as it is when GetImageFileType(name) is
// kind, else name + the kind's default extension. Empty when the result
// would exceed PATH_MAX - 1 characters (the caller refuses the save).
std::string FinalSaveName(const std::string &name, int kind, int bits, int grey);

// "Saving %s. The time it takes will depend on the size of the image, and
// the format to which it is saved." with the file name of path.
std::string SaveProgressMessage(const std::string &path);

// ------------------------------------------------------ resolution review

// The question to ask before a DjVu save of an image at xdpi x ydpi when the
// DjVu options are tuned for "DjvuUpsample" = upsample (0 high, 1 medium,
// 2 low, 3 very low resolution), or "" when no question applies. The larger
// of the two resolutions decides; 0 counts as low, only a negative value as
// unknown.
std::string ResolutionReviewMessage(int xdpi, int ydpi, int upsample);

// Runs the review: when a question applies it is shown (Yes/No/Cancel,
// question icon). Cancel returns 0 (stop the save); Yes calls
// openDjVuSettings (may be empty) and returns 1; No, or no question,
// returns 1.
int RunResolutionReview(int xdpi, int ydpi, const CVellumSettings &settings,
                        const std::function<void()> &openDjVuSettings);

// ------------------------------------------------------- encoder records

// Everything the writers take from the settings.
struct SaveParameters
{
  djvu_mask_params mask;
  djvu_encode_params encode;
  djvu_iw44_params iw44;
  int upsample; // SaveDjVu code: -1 - DjvuUpsample (-1 .. -4)
  int textOnly; // DjvuTextOnly
  int jpegQuality, jpegSmoothing, jpegOptimize, jpegDct;
};

// The starting values: mask {36, 0, 0, 0, 300, 225, 125, 0, 0}, encoder
// {28, 2.2, 75, 0, 25, 100, 0}, IW44 {20, 2.2, 75, 0, 0}; upsample -1, the
// rest 0.
void SetSaveParameterDefaults(SaveParameters &p);

// The values SaveImage hands to the writer of kind: the starting values,
// then for DjVu the mask and encoder records and the upsampling code, for
// IW44 the IW44 record, for JPEG the JPEG options, from the settings. A
// "DjvuUpsample" outside 0..3 gives code -1 (no enlargement).
SaveParameters MakeSaveParameters(const CVellumSettings &settings, int kind);

// ---------------------------------------------------------------- saving

// The directory check before a save: vellum::EnsureDirectory(path, mode)
// (FileSystem.h; mode 16 for a directory), 1 when the save may go on.
int CheckSaveDirectory(const std::string &path, int mode);

// Writes image to path as kind (IMAGE_FILE_DJVU, _IW44, _BMP, _PNM,
// _JPEG, _PNG) with the writer's options from settings; softwareText becomes the
// JPEG comment (may be null). progress (may be null) receives the encoder
// steps. Returns 1 on success; 0 when the directory check fails, for any
// other kind (no message), or when the writer fails (its message is in
// g_szLastImageError; a failed write leaves no partial file and an existing
// file unchanged). The writers may reorder the record's rows or invert a
// minimum-is-white grey palette; the picture stays the same.
// One save per thread at a time. Saves on different threads report their
// progress each to their own observer (the observer is per thread), but the
// failure text is the process-wide g_szLastImageError and the Image API's
// error report is process-wide too: two saves failing at once may see each
// other's message. Callers that run saves in parallel and need the message
// run them in separate processes or one at a time.
// A page of a DjVu document (image.m_pBook) saved as DjVu goes into its
// document: with kSaveWholeDocument every page is written (the others, the
// outline and the included files copied as read), with kSaveCurrentPage
// that page alone; either way it keeps its hidden text and annotations
// when its geometry is unchanged. Other kinds always write the page shown.
enum SaveScope
{
  kSaveWholeDocument = 0,
  kSaveCurrentPage = 1
};
int SaveImage(const std::string &path, int kind, CDibImage &image, const CVellumSettings &settings,
              const char *softwareText, CSaveProgress *progress, int saveScope = kSaveWholeDocument);

// Encodes the page shown into its DjVu document (image.m_pBook) with the
// DjVu settings, writing nothing: a later SaveImage of the document writes
// it with the rest (the converter re-encodes every page of a book so).
// 1 on success; 0 with the message in g_szLastImageError.
int EncodeDocumentPage(CDibImage &image, const CVellumSettings &settings, CSaveProgress *progress);

#endif

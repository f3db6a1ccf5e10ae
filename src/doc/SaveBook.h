// Writing a multi-page DjVu document (a book) from pages encoded one by
// one. Each page is first saved as a single-page DjVu file with SaveImage
// (same settings, same progress observer) into a hidden staging folder
// beside the target; WriteDjVuBook then hands those files to the Image
// API's book writer, which shares the recurring shapes and writes the
// bundled or indirect document. Both the converter and the viewer use this.
#ifndef VELLUM_DOC_SAVEBOOK_H
#define VELLUM_DOC_SAVEBOOK_H

#include <string>
#include <vector>

#include "SaveImage.h"

// A hidden folder ".NAME.XXXXXX" beside the target for the encoded pages;
// removed with everything in it when the object goes.
class CBookStaging
{
public:
  CBookStaging() = default;
  ~CBookStaging();
  CBookStaging(const CBookStaging &) = delete;
  CBookStaging &operator=(const CBookStaging &) = delete;

  // Creates the folder; false with the message in g_szLastImageError.
  bool Create(const std::string &target);
  // Where page index (from 0) is encoded to.
  std::string PagePath(size_t index) const;
  const std::string &Dir() const { return m_dir; }

private:
  std::string m_dir;
};

// One page of the book: an encoded single-page file, or a page of a DjVu
// document copied unchanged.
struct BookPage
{
  std::string file;  // single-page DjVu file; or the DjVu document to copy from
  std::string id;    // file name in the document ("scan-p3.djvu")
  std::string title; // page title
  int copyPage = -1; // from 0: that page of file is copied with what it includes
  // The DjVu document the page comes from (copied or re-encoded) and its
  // page there (from 0): the document's outline is kept, pointing at it.
  std::string source{};
  int sourcePage = -1;
};

struct BookOptions
{
  bool indirect = false; // index file plus one file per component
  int pagesPerDict = 10; // pages sharing one shape dictionary
  bool share = true;     // shared shape dictionaries at all
  bool lossless = false; // share only pixel-identical shapes
};

// The page id for page (from 0) of an input of pageCount pages: the input's
// file name stem, with "-pN" for a page of a multi-page input, and ".djvu".
// Characters that cannot stand in a file name of an indirect document
// become "_".
std::string BookPageId(const std::string &input, int page, int pageCount);

// Writes the pages, in order, as one document at path (a copied page keeps
// its bytes and the files it includes; only the encoded pages share shapes).
// The outline of every source document follows, in the order of their first
// pages, its entries pointing at the pages' new places. Bundled: one file,
// through a hidden temporary renamed over path. Indirect: the index at path
// and the components beside it, each written to a hidden temporary first and
// all renamed only when every one was written. progress (may be null) sees
// "Sharing Shapes". Returns 1; or 0 with the message in g_szLastImageError,
// no new file left and any old file whole.
int WriteDjVuBook(const std::string &path, const std::vector<BookPage> &pages, const BookOptions &options,
                  CSaveProgress *progress);

// Observer of a whole-document save: the encoder steps of each page, which
// page is being encoded, and a way to stop.
class CBookSaveProgress : public CSaveProgress
{
public:
  // Before page (from 0) of count is encoded.
  virtual void OnBookPage(int page, int count) = 0;
  // Asked before each page and before the document is written; true stops
  // the save there (no file is written). A page being encoded is finished
  // first: the encoder has no way to stop.
  virtual bool Cancelled() = 0;
};

// Saves every page of a multi-page TIFF file as one DjVu document at path:
// page `current` is the record image (with the user's edits), every other
// page is read from tiffPath when its turn comes, so only one page is in
// memory at a time. progress (may be null) also gets each page's encoder
// steps and OnSaveBegin/End around each page. Returns 1; 0 on failure or
// when progress cancelled ("Save cancelled"; the message in
// g_szLastImageError; no file left and any old file whole).
int SaveTiffAsBook(const std::string &path, const std::string &tiffPath, int pageCount, int current,
                   CDibImage &image, const CVellumSettings &settings, const BookOptions &options,
                   CBookSaveProgress *progress);

#endif

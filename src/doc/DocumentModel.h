// The document's data and rules, without wxWidgets.
//
// CDocumentModel holds what the one open document owns: the current image,
// the one-level undo image, the image waiting to be pasted, where the image
// came from (content kind, last opened path, page) and the counters of the
// save names. The wx document (CVellumDoc) wraps it and adds the window
// side: titles shown in the frame, the modified flag, the views.
//
// Shared decoded pages: the undo image is a copy of the image that shares
// its decoded DjVu/IW44 page (so an undone DjVu page can still be rendered
// again). The records count their references, so clearing either one frees
// the page only when the other no longer holds it.
//
// Messages ("Failed to open the image!", ...) go through VellumMessageBox
// with the stop icon, as the document commands show them.
#ifndef VELLUM_DOC_DOCUMENTMODEL_H
#define VELLUM_DOC_DOCUMENTMODEL_H

#include <functional>
#include <memory>
#include <string>

#include "DibImage.h"
#include "DocumentNames.h"

namespace vellum
{

// What opening and re-rendering need from the settings and the screen.
struct RenderEnv
{
  int layer = 0;         // DjVu layer shown by the view (0..3)
  int screenBpp = 24;    // the display's bits per pixel
  bool dither = true;    // "Dither"
  bool fancyZoom = true; // "FancyZoom"
  double gamma = 2.2;    // "DisplayGamma"
  int jpegDct = 0;       // "JpegDecodeDCT"
};

class CDocumentModel
{
public:
  enum OpenResult
  {
    kOpened,
    kOpenFailed,       // reader or render failed: "Failed to open the image!"
    kTypeNotRecognized // "File type not recognized!"
  };

  // The zoom step a freshly decoded DjVu or IW44 page is rendered at, given
  // the page's size; empty when there is no main window (no render then).
  using FitZoomFn = std::function<int(const CDibImage &page, int contentKind)>;

  CDocumentModel();
  ~CDocumentModel();
  CDocumentModel(const CDocumentModel &) = delete;
  CDocumentModel &operator=(const CDocumentModel &) = delete;

  // Members, in the order the document keeps them.
  int m_nZoom = 0;
  int m_nOpenKind = 0;
  int m_nSaveKind = kKindNone; // no Save As yet: no kind
  int m_nSaveScope = 0;        // SaveScope of the next DjVu save of a book: 0 whole, 1 the page
  int m_nUntitledCounter = 1;
  std::string m_strUntitledBase = "untitled";
  std::string m_strLastOpenedPath;
  int m_nPageIndex = 0;
  std::string m_strSoftware;
  int m_bInsertPending = 0;
  std::unique_ptr<CDibImage> m_pImage;
  std::unique_ptr<CDibImage> m_pUndoImage;
  std::unique_ptr<CDibImage> m_pInsertImage;
  int m_bFirstNewDocument = 1;
  int m_nContentKind = 0;
  int m_nUndoContentKind = 0;

  // The document's title as the model last set it (the wx side shows it).
  std::string m_strTitle;

  // Empties the document: content kind, open kind and zoom step 0, both
  // records reset (a shared page freed once), title cleared.
  void DeleteContents();

  // Copies the image into the undo image (sharing its decoded page) and its
  // content kind. On allocation failure the undo image stays empty.
  void SaveUndo();
  // Exchanges image and undo image and their content kinds; 1, or 0 when a
  // record is missing.
  int SwapUndo();
  // Resets the undo image (a page the image shares stays).
  void EmptyUndo();
  bool CanUndo() const { return m_pUndoImage && !m_pUndoImage->IsEmpty(); }
  bool HasImage() const { return m_pImage && !m_pImage->IsEmpty(); }
  bool HasPage() const { return m_pImage && m_pImage->m_pDocument; }

  // Produces the image again from its source: DjVu and IW44 pages from the
  // kept decoded page, JPEG files by reading the last opened path again,
  // then re-applies orientation, negative and grey. zoom becomes the zoom
  // step; the page is rendered at zoom when fancyZoom is on and at full scale
  // otherwise (the view then scales it). Returns 1 on success; 0 without a
  // message for content that cannot be re-rendered; 0 after "Failed to
  // re-render the image!" when the render or read fails (the image is then
  // as the failed call left it).
  int Rerender(bool useDither, bool fancyZoom, int zoom, const RenderEnv &env);

  // Opens path: kind from m_nOpenKind (0, 99, 100: from the name), page
  // m_nPageIndex. The file is read into a fresh record first; then the
  // document is emptied and, on success, takes the new image. Failures show
  // their message. Afterwards the open kind is 0 and the last opened path is
  // path, whatever happened. On success m_strTitle is the opened title.
  OpenResult OpenFile(const std::string &path, const RenderEnv &env, const FitZoomFn &fitZoom);

  // Takes a packed DIB block from a scanner: colour table sized from the
  // header, SetFromDib, content kind 3, title "Untitled scanned image".
  // 0 when the block is malformed (the document stays empty).
  int TakeScannedDib(const std::vector<uint8_t> &dib);
};

} // namespace vellum

#endif

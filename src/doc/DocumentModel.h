// The document's data and rules, without wxWidgets.
//
// CDocumentModel holds what the one open document owns: the current image,
// the undo and redo steps, the image waiting to be pasted, where the image
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
#include <vector>

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
  int deviceScale = 1;   // the view's device pixels per logical pixel
};

// How many of the undo steps to keep, newest first by their sizes in bytes:
// at most maxSteps, and as many as fit maxBytes together, but always the
// newest one.
size_t UndoStepsToKeep(const std::vector<size_t> &sizesNewestFirst, size_t maxSteps, size_t maxBytes);

class CDocumentModel
{
public:
  enum OpenResult
  {
    kOpened,
    kOpenFailed,       // missing file, reader or render failed: OpenFailedText
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
  int m_nOpenKind = kKindNone; // kKindNone: the kind from the file's name
  int m_nSaveKind = kKindNone; // no Save As yet (or a file of another kind opened since): no kind
  int m_nSaveScope = 0;        // SaveScope of the next DjVu save of a book: 0 whole, 1 the page
  int m_nUntitledCounter = 1;
  std::string m_strUntitledBase = "untitled";
  std::string m_strLastOpenedPath;
  int m_nPageIndex = 0;
  std::string m_strSoftware;
  int m_bInsertPending = 0;
  std::unique_ptr<CDibImage> m_pImage;
  std::unique_ptr<CDibImage> m_pInsertImage;
  int m_bFirstNewDocument = 1;
  int m_nContentKind = 0;

  // Undo and redo: the images before (after) each edit, with their content
  // kinds, oldest first. At most kUndoSteps steps and kUndoBytes of pixel
  // blocks are kept together (the newest step always).
  static constexpr size_t kUndoSteps = 20;
  static constexpr size_t kUndoBytes = size_t(512) << 20;
  struct UndoStep
  {
    std::unique_ptr<CDibImage> image;
    int contentKind = 0;
  };
  std::vector<UndoStep> m_undo, m_redo;

  // The document's title as the model last set it (the wx side shows it).
  std::string m_strTitle;

  // Empties the document: content kind, open kind and zoom step 0, both
  // records reset (a shared page freed once), title cleared.
  void DeleteContents();

  // Before an edit: a copy of the image (sharing its decoded page) and its
  // content kind become the newest undo step; the redo steps go. Oldest
  // steps are dropped beyond the bounds. On allocation failure nothing is
  // kept (the edit cannot be undone).
  void SaveUndo();
  // Edit > Undo: the image goes to the redo steps and the newest undo step
  // comes back; Redo the other way. 1, or 0 when there is no step.
  int Undo();
  int Redo();
  // Drops every undo and redo step (a page the image shares stays).
  void EmptyUndo();
  bool CanUndo() const { return !m_undo.empty(); }
  bool CanRedo() const { return !m_redo.empty(); }
  // The newest undo step's image; null without one.
  const CDibImage *UndoImage() const { return m_undo.empty() ? nullptr : m_undo.back().image.get(); }
  bool HasImage() const { return m_pImage && !m_pImage->IsEmpty(); }
  bool HasPage() const { return m_pImage && m_pImage->m_pDocument; }

  // Produces the image again from its source: DjVu and IW44 pages from the
  // kept decoded page, JPEG files by reading the last opened path again,
  // then re-applies orientation, negative and grey. zoom becomes the zoom
  // step; the page is rendered at zoom when fancyZoom is on (at the
  // device pixels of env.deviceScale) and at full scale otherwise (the view
  // then scales it). Returns 1 on success; 0 without a
  // message for content that cannot be re-rendered; 0 after "Failed to
  // re-render the image!" when the render or read fails (the image is then
  // as the failed call left it).
  // A DjVu or IW44 rendering kept from before (m_rendered) is copied rather
  // than rendered again.
  int Rerender(bool useDither, bool fancyZoom, int zoom, const RenderEnv &env);

  // Renders the held DjVu or IW44 page at zoom (with fancyZoom; at full
  // scale otherwise) into the kept renderings unless it is there already,
  // leaving the image alone: a zoom step the view expects next then needs no
  // render. 1 when the rendering is kept, 0 otherwise (no page, a failed
  // render: no message).
  int RenderAhead(bool useDither, bool fancyZoom, int zoom, const RenderEnv &env);
  // Whether that rendering is kept (for the held page).
  bool IsRendered(bool useDither, bool fancyZoom, int zoom, const RenderEnv &env) const;

  // Renderings of the held page kept for the zoom steps the view returns to
  // or was rendered ahead for, as the decoder gave them (before orientation,
  // negative and grey), newest last, at most kRenderedBytes of blocks
  // together. They share the page, so they go with it (DeleteContents) and
  // whenever a render finds another page held.
  static constexpr size_t kRenderedBytes = size_t(64) << 20;
  struct Rendered
  {
    const void *page = nullptr; // the decoded page it came from
    // zoom and scale in lowest terms (RenderDjVu's): the page at 1/2 is the
    // same rendering for 50 % on a plain screen and 25 % on a scale-2 one.
    int layer = 0, depth = 0, zoom = 0, scale = 1;
    double gamma = 0;
    std::unique_ptr<CDibImage> image;
  };
  std::vector<Rendered> m_rendered;

private:
  // What the image shown was rendered as by the last Rerender (its image
  // member unused) and its block then: while the image still has that block
  // and no orientation, negative or grey conversion, it is that rendering.
  Rendered m_shown;
  const unsigned char *m_shownBlock = nullptr;

  void DropRenderedOfOtherPages();
  // The key of a rendering for the step (0 with fancyZoom off) and screen.
  static Rendered KeyOf(int layer, int depth, int step, int deviceScale, double gamma);
  static bool SameRendering(const Rendered &a, const Rendered &b);
  // Whether the image shown is m_shown's rendering as the decoder gave it,
  // and whether that is the rendering key.
  bool ShownPristine() const;
  bool IsShown(const Rendered &key) const;
  const CDibImage *FindRendered(const Rendered &key) const;
  void KeepRendered(const Rendered &key, std::unique_ptr<CDibImage> image);

public:
  // Opens path: kind from m_nOpenKind (kKindNone, kKindUnknown or
  // kKindAllSupported: from the name), page
  // m_nPageIndex. The file is read into a fresh record first; only on
  // success is the document emptied and given the new image, the title and
  // the last opened path. A failure leaves the document as it was and shows
  // one message: "File type not recognized!", or OpenFailedText with the
  // reason (a path that does not exist, or the reader's last message).
  // Afterwards the open kind is kKindNone, and so is the save kind unless
  // the file is of that kind.
  OpenResult OpenFile(const std::string &path, const RenderEnv &env, const FitZoomFn &fitZoom);

  // Reads path into the record into (left empty on failure) without
  // touching any document and without a message: kind as for OpenFile
  // (kKindNone, kKindUnknown, kKindAllSupported: from the name), the TIFF page pageIndex, a DjVu or IW44 page
  // rendered at the fit step (*zoom); a DjVu page is decoded from book when
  // one is given (the document already open from path). On failure *reason
  // says why in words (empty: nothing better than "damaged or unsupported"
  // is known).
  static OpenResult ReadFile(const std::string &path, int kind, int pageIndex, const RenderEnv &env,
                             const FitZoomFn &fitZoom, CDibImage &into, int *zoom, std::string *reason,
                             djvu_document *book = nullptr);

  // After every page of the document was saved as the DjVu book at path:
  // the document is that file now, and the other pages are read from it
  // (not from the file first opened, nor from the book held for it).
  void FollowSavedBook(const std::string &path);

  // After every page of a document of another kind (a multi-page TIFF file)
  // was saved as the DjVu book at path: the book is read back and becomes
  // the document of the image and of its undo and redo steps, whose pixels
  // stay, so that a save writes the page shown into it with the others
  // copied. 0 when the book cannot be read or has another page count
  // (nothing changes then).
  int TakeSavedBook(const std::string &path);

  // Takes a packed DIB block from a scanner: colour table sized from the
  // header, SetFromDib, content kind 3, title "Untitled scanned image".
  // 0 when the block is malformed (the document stays empty).
  int TakeScannedDib(const std::vector<uint8_t> &dib);
};

} // namespace vellum

#endif

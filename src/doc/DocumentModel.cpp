#include "DocumentModel.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include <sys/stat.h>

#include "LoadImage.h"
#include "MessageBox.h"
#include "ZoomRange.h"

namespace vellum
{

namespace
{

void Stop(const char *text)
{
  VellumMessageBox(text, kProductName, VMB_OK | VMB_ICONHAND);
}

// No kind given (kKindNone), or one that names no reader (kKindUnknown, and
// the "All supported" filter's kKindAllSupported as the settings store it):
// the kind the file's name gives.
int ResolvedOpenKind(int kind, const std::string &path)
{
  if (kind == kKindNone || kind == kKindUnknown || kind == kKindAllSupported)
    return GetImageFileType(path.c_str());
  return kind;
}

} // namespace

CDocumentModel::CDocumentModel()
    : m_strSoftware(SoftwareText()), m_pImage(new CDibImage), m_pInsertImage(new CDibImage)
{
}

CDocumentModel::~CDocumentModel() = default;

// The records count their references to a shared decoded page: resetting one
// gives up its reference, and the last one frees the page.
void CDocumentModel::DeleteContents()
{
  m_nContentKind = 0;
  m_nOpenKind = kKindNone;
  m_nZoom = 0;
  m_rendered.clear();
  m_shown = Rendered();
  m_shownBlock = nullptr;
  m_pImage->Reset();
  EmptyUndo();
  m_strTitle.clear();
}

void CDocumentModel::SaveUndo()
{
  m_redo.clear();
  UndoStep step;
  step.image.reset(new CDibImage);
  if (!step.image->CopyFrom(*m_pImage)) // shares the decoded page
    return;
  step.contentKind = m_nContentKind;
  m_undo.push_back(std::move(step));
  // The newest steps that fit the bounds stay.
  std::vector<size_t> sizes;
  for (auto it = m_undo.rbegin(); it != m_undo.rend(); ++it)
    sizes.push_back(it->image->IsEmpty() ? 0 : it->image->BlockSize());
  const size_t keep = UndoStepsToKeep(sizes, kUndoSteps, kUndoBytes);
  m_undo.erase(m_undo.begin(), m_undo.end() - static_cast<std::ptrdiff_t>(keep));
}

size_t UndoStepsToKeep(const std::vector<size_t> &sizesNewestFirst, size_t maxSteps, size_t maxBytes)
{
  size_t keep = 0, total = 0;
  for (size_t size : sizesNewestFirst)
  {
    if (keep >= maxSteps || (keep > 0 && (size > maxBytes || total > maxBytes - size)))
      break;
    total += size;
    ++keep;
  }
  return keep;
}

namespace
{

// Moves the newest step of from into the image; the image becomes the newest
// step of to.
int StepOver(std::vector<CDocumentModel::UndoStep> &from, std::vector<CDocumentModel::UndoStep> &to,
             std::unique_ptr<CDibImage> &image, int &contentKind)
{
  if (from.empty())
    return 0;
  CDocumentModel::UndoStep current;
  current.image = std::move(image);
  current.contentKind = contentKind;
  image = std::move(from.back().image);
  contentKind = from.back().contentKind;
  from.pop_back();
  to.push_back(std::move(current));
  return 1;
}

} // namespace

int CDocumentModel::Undo()
{
  return StepOver(m_undo, m_redo, m_pImage, m_nContentKind);
}

int CDocumentModel::Redo()
{
  return StepOver(m_redo, m_undo, m_pImage, m_nContentKind);
}

void CDocumentModel::EmptyUndo()
{
  m_undo.clear();
  m_redo.clear();
}

int CDocumentModel::Rerender(bool useDither, bool fancyZoom, int zoom, const RenderEnv &env)
{
  const int depth = DisplayDepth(useDither, env.screenBpp);
  if (m_nContentKind <= 0)
    return 0;
  CDibImage &image = *m_pImage;
  const int orientation = image.m_nOrientation;
  const int negative = image.m_bNegative;
  // Only the user's grey conversion is applied again: the grey of the
  // previous rendering (the mask layer) is the layer's, not the image's.
  const int grey = image.m_bGreyConverted;
  int ok;
  if (m_nContentKind == kKindDjVu || m_nContentKind == kKindIw44)
  {
    m_nZoom = zoom;
    if (!image.m_pDocument)
      return 0;
    // With FancyZoom the page comes reduced from the decoder; without it at
    // full scale, and the view scales it.
    const Rendered key = KeyOf(env.layer, depth, fancyZoom ? zoom : 0, env.deviceScale, env.gamma);
    DropRenderedOfOtherPages();
    // A rendering kept for this step trades places with the one shown, which
    // is kept in turn while it is still as the decoder gave it: no render,
    // no copy. (Only renderings made ahead are kept otherwise, so a step
    // taken at once costs no more than the render.)
    const Rendered &shown = m_shown;
    const bool pristine = ShownPristine();
    auto kept =
        std::find_if(m_rendered.begin(), m_rendered.end(),
                     [&](const Rendered &r) { return r.page == image.m_pDocument && SameRendering(r, key); });
    if (pristine && SameRendering(shown, key))
      ok = 1; // the step shows the same rendering (50 % and 100 % at scale 2)
    else if (kept != m_rendered.end())
    {
      std::unique_ptr<CDibImage> held = std::move(kept->image);
      m_rendered.erase(kept);
      // The pixels only: a save may have given the image another book since.
      image.SwapPixels(*held);
      if (pristine)
        KeepRendered(shown, std::move(held));
      ok = 1;
    }
    else
      ok =
          image.RenderDjVu(key.layer, depth, key.zoom, key.gamma, DIB_HEADER_INFO, m_nContentKind, key.scale);
    m_shown.page = ok ? image.m_pDocument : nullptr;
    m_shown.layer = key.layer;
    m_shown.depth = key.depth;
    m_shown.zoom = key.zoom;
    m_shown.scale = key.scale;
    m_shown.gamma = key.gamma;
    m_shownBlock = ok ? image.m_pBlock : nullptr;
  }
  else if (m_nContentKind == kKindJpeg)
  {
    ok = image.LoadJpeg(m_strLastOpenedPath.c_str(), depth, env.jpegDct, DIB_HEADER_INFO);
  }
  else
    return 0;
  if (!ok)
  {
    Stop(kMsgRerenderFailed);
    return 0;
  }
  if (orientation)
    image.ApplyOrientation(orientation);
  if (negative)
    image.Negative();
  if (grey)
    image.ConvertToGray();
  return 1;
}

void CDocumentModel::DropRenderedOfOtherPages()
{
  const void *page = m_pImage->m_pDocument;
  m_rendered.erase(std::remove_if(m_rendered.begin(), m_rendered.end(),
                                  [page](const Rendered &r) { return r.page != page; }),
                   m_rendered.end());
}

CDocumentModel::Rendered CDocumentModel::KeyOf(int layer, int depth, int step, int deviceScale, double gamma)
{
  Rendered key;
  key.layer = layer;
  key.depth = depth;
  key.gamma = gamma;
  // As RenderDjVu reduces it: rendering step (1 - factor) at scale gives
  // the same pixels.
  int64_t factor, scale;
  DjVuRenderShare(ClampZoom(step), deviceScale, &factor, &scale);
  key.zoom = static_cast<int>(1 - factor);
  key.scale = static_cast<int>(scale);
  return key;
}

bool CDocumentModel::SameRendering(const Rendered &a, const Rendered &b)
{
  return a.layer == b.layer && a.depth == b.depth && a.zoom == b.zoom && a.scale == b.scale &&
         a.gamma == b.gamma;
}

bool CDocumentModel::ShownPristine() const
{
  // Still as the decoder gave it: no orientation, negative or grey since.
  const CDibImage &image = *m_pImage;
  return m_shown.page && m_shown.page == image.m_pDocument && m_shownBlock == image.m_pBlock &&
         image.m_pBlock && !image.m_nOrientation && !image.m_bNegative && !image.m_bGreyConverted;
}

bool CDocumentModel::IsShown(const Rendered &key) const
{
  return ShownPristine() && SameRendering(m_shown, key);
}

const CDibImage *CDocumentModel::FindRendered(const Rendered &key) const
{
  const void *page = m_pImage->m_pDocument;
  for (const Rendered &r : m_rendered)
    if (r.page == page && SameRendering(r, key))
      return r.image.get();
  return nullptr;
}

void CDocumentModel::KeepRendered(const Rendered &key, std::unique_ptr<CDibImage> image)
{
  Rendered r;
  r.page = m_pImage->m_pDocument;
  r.layer = key.layer;
  r.depth = key.depth;
  r.zoom = key.zoom;
  r.scale = key.scale;
  r.gamma = key.gamma;
  r.image = std::move(image);
  m_rendered.push_back(std::move(r));
  // Oldest out first; the newest stays whatever its size.
  size_t bytes = 0;
  for (const Rendered &k : m_rendered)
    bytes += k.image->BlockSize();
  while (m_rendered.size() > 1 && bytes > kRenderedBytes)
  {
    bytes -= m_rendered.front().image->BlockSize();
    m_rendered.erase(m_rendered.begin());
  }
}

bool CDocumentModel::IsRendered(bool useDither, bool fancyZoom, int zoom, const RenderEnv &env) const
{
  const Rendered key = KeyOf(env.layer, DisplayDepth(useDither, env.screenBpp), fancyZoom ? zoom : 0,
                             env.deviceScale, env.gamma);
  return IsShown(key) || FindRendered(key) != nullptr;
}

int CDocumentModel::RenderAhead(bool useDither, bool fancyZoom, int zoom, const RenderEnv &env)
{
  if ((m_nContentKind != kKindDjVu && m_nContentKind != kKindIw44) || !m_pImage->m_pDocument)
    return 0;
  const Rendered key = KeyOf(env.layer, DisplayDepth(useDither, env.screenBpp), fancyZoom ? zoom : 0,
                             env.deviceScale, env.gamma);
  DropRenderedOfOtherPages();
  if (IsShown(key) || FindRendered(key))
    return 1;
  std::unique_ptr<CDibImage> ahead(new CDibImage);
  if (!ahead->SharePageOf(*m_pImage) || !ahead->RenderDjVu(key.layer, key.depth, key.zoom, key.gamma,
                                                           DIB_HEADER_INFO, m_nContentKind, key.scale))
    return 0;
  KeepRendered(key, std::move(ahead));
  return 1;
}

CDocumentModel::OpenResult CDocumentModel::ReadFile(const std::string &path, int kind, int pageIndex,
                                                    const RenderEnv &env, const FitZoomFn &fitZoom,
                                                    CDibImage &into, int *zoom, std::string *reason,
                                                    djvu_document *book)
{
  kind = ResolvedOpenKind(kind, path);
  const int depth = DisplayDepth(env.dither, env.screenBpp);
  *zoom = 0;
  reason->clear();
  // A path that is not there (or cannot be reached) says so; the readers
  // would only fail.
  struct stat st;
  if (stat(path.c_str(), &st) != 0)
  {
    const int err = errno;
    *reason = err == ENOENT ? "the file does not exist." : std::string(std::strerror(err)) + ".";
    return kOpenFailed;
  }
  // The reason of a failure is the readers' last message of this read only.
  g_szLastImageError[0] = 0;
  OpenResult result = kOpened;
  const LoadResult read = LoadImage(path, kind, pageIndex, depth, env.jpegDct, into, book);
  if (read == kLoadUnknownKind)
    result = kTypeNotRecognized;
  else if (read != kLoaded)
    result = kOpenFailed;
  else if ((kind == kKindDjVu || kind == kKindIw44) && fitZoom)
  {
    *zoom = ClampZoom(fitZoom(into, kind));
    if (!into.RenderDjVu(0, depth, env.fancyZoom ? *zoom : 0, env.gamma, DIB_HEADER_INFO, kind,
                         env.deviceScale))
      result = kOpenFailed;
  }
  if (result == kOpenFailed)
  {
    *reason = OpenFailureReason(g_szLastImageError);
    into.Reset();
  }
  return result;
}

CDocumentModel::OpenResult CDocumentModel::OpenFile(const std::string &path, const RenderEnv &env,
                                                    const FitZoomFn &fitZoom)
{
  const int kind = ResolvedOpenKind(m_nOpenKind, path);
  m_nOpenKind = kKindNone;
  // Read into a fresh record, so nothing of the document is touched before
  // the file has been read: a failed open keeps the document that was there.
  std::unique_ptr<CDibImage> fresh(new CDibImage);
  int zoom = 0;
  std::string reason;
  // Another page of the document held is decoded from it, not opened again.
  djvu_document *book = m_pImage->m_strSourcePath == path ? m_pImage->m_pBook : nullptr;
  const OpenResult result = ReadFile(path, kind, m_nPageIndex, env, fitZoom, *fresh, &zoom, &reason, book);
  if (result != kOpened)
  {
    Stop(result == kTypeNotRecognized ? kMsgTypeNotRecognized : OpenFailedText(path, reason).c_str());
    return result;
  }
  DeleteContents();
  std::swap(m_pImage, fresh);
  m_nContentKind = kind;
  // Save writes the file the document names in the kind it was saved as:
  // a file of another kind (a TIFF page after a DjVu Save As) goes through
  // Save As rather than being overwritten in that kind.
  if (m_nSaveKind != kind)
    m_nSaveKind = kKindNone;
  m_nZoom = zoom;
  m_strTitle = OpenedTitle(path, m_pImage->m_nPageIndex, m_pImage->m_nPageCount);
  m_strLastOpenedPath = path;
  return result;
}

void CDocumentModel::FollowSavedBook(const std::string &path)
{
  m_strLastOpenedPath = path;
  m_pImage->m_strSourcePath.clear();
}

int CDocumentModel::TakeSavedBook(const std::string &path)
{
  CDibImage book;
  if (!HasImage() || !book.OpenDjVu(path.c_str(), IMAGE_FILE_DJVU, m_pImage->m_nPageIndex) ||
      book.m_nPageCount != m_pImage->m_nPageCount || !m_pImage->ShareBookOf(book))
    return 0;
  // An undone or redone step is the same page of the same document.
  for (std::vector<UndoStep> *steps : {&m_undo, &m_redo})
    for (UndoStep &step : *steps)
      step.image->ShareBookOf(book);
  return 1;
}

int CDocumentModel::TakeScannedDib(const std::vector<uint8_t> &dib)
{
  DeleteContents();
  DibInfoHeader header;
  if (dib.size() < sizeof header)
    return 0;
  std::memcpy(&header, dib.data(), sizeof header);
  if (header.biSize != 40 || header.biWidth <= 0 || header.biHeight == 0 || header.biHeight == INT32_MIN)
    return 0;
  const int64_t table = DibColorTableSize(header.biBitCount, header.biCompression, header.biClrUsed);
  const int64_t stride = DibStride(header.biWidth, header.biBitCount);
  if (table < 0 || stride <= 0)
    return 0;
  const int64_t height = header.biHeight < 0 ? -static_cast<int64_t>(header.biHeight) : header.biHeight;
  const int64_t bitsSize = stride * height;
  if (40 + table + bitsSize > static_cast<int64_t>(dib.size()))
    return 0;
  const uint8_t *base = dib.data();
  if (!m_pImage->SetFromDib(base, 40, base + 40, static_cast<size_t>(table), base + 40 + table,
                            static_cast<size_t>(bitsSize), DIB_HEADER_INFO))
    return 0;
  m_nContentKind = kKindBmp;
  m_strTitle = kTitleScanned;
  return 1;
}

} // namespace vellum

#include "DocumentModel.h"

#include <cstring>

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

} // namespace

CDocumentModel::CDocumentModel()
    : m_strSoftware(SoftwareText()), m_pImage(new CDibImage), m_pUndoImage(new CDibImage),
      m_pInsertImage(new CDibImage)
{
}

CDocumentModel::~CDocumentModel() = default;

// The records count their references to a shared decoded page: resetting one
// gives up its reference, and the last one frees the page.
void CDocumentModel::DeleteContents()
{
  m_nContentKind = 0;
  m_nOpenKind = 0;
  m_nZoom = 0;
  m_pImage->Reset();
  m_pUndoImage->Reset();
  m_strTitle.clear();
}

void CDocumentModel::SaveUndo()
{
  m_pUndoImage->Reset();
  m_pUndoImage->CopyFrom(*m_pImage); // shares the decoded page; empty on failure
  m_nUndoContentKind = m_nContentKind;
}

int CDocumentModel::SwapUndo()
{
  if (!m_pImage || !m_pUndoImage)
    return 0;
  std::swap(m_pImage, m_pUndoImage);
  std::swap(m_nContentKind, m_nUndoContentKind);
  return 1;
}

void CDocumentModel::EmptyUndo()
{
  m_pUndoImage->Reset();
}

int CDocumentModel::Rerender(bool useDither, bool fancyZoom, int zoom, const RenderEnv &env)
{
  const int depth = DisplayDepth(useDither, env.screenBpp);
  if (m_nContentKind <= 0)
    return 0;
  CDibImage &image = *m_pImage;
  const int orientation = image.m_nOrientation;
  const int negative = image.m_bNegative;
  const int grey = image.m_bGrey;
  int ok;
  if (m_nContentKind == kKindDjVu || m_nContentKind == kKindIw44)
  {
    m_nZoom = zoom;
    if (!image.m_pDocument)
      return 0;
    // With FancyZoom the page comes reduced from the decoder; without it at
    // full scale, and the view scales it.
    ok = image.RenderDjVu(env.layer, depth, fancyZoom ? zoom : 0, env.gamma, DIB_HEADER_INFO, m_nContentKind);
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

CDocumentModel::OpenResult CDocumentModel::OpenFile(const std::string &path, const RenderEnv &env,
                                                    const FitZoomFn &fitZoom)
{
  int kind = m_nOpenKind;
  if (kind == kKindNone || kind == kKindUnknown || kind == kKindAllSupported)
    kind = GetImageFileType(path.c_str());
  const int depth = DisplayDepth(env.dither, env.screenBpp);

  // Read into a fresh record, so nothing of the document is touched before
  // the file has been read.
  std::unique_ptr<CDibImage> fresh(new CDibImage);
  OpenResult result = kOpened;
  int zoom = 0;
  switch (kind)
  {
  case kKindDjVu:
  case kKindIw44:
    // Another page of the document held is decoded from it, not opened
    // again.
    if (!fresh->OpenDjVu(path.c_str(), kind, m_nPageIndex,
                         m_pImage->m_strSourcePath == path ? m_pImage->m_pBook : nullptr))
      result = kOpenFailed;
    else if (fitZoom)
    {
      zoom = ClampZoom(fitZoom(*fresh, kind));
      if (!fresh->RenderDjVu(0, depth, env.fancyZoom ? zoom : 0, env.gamma, DIB_HEADER_INFO, kind))
        result = kOpenFailed;
    }
    break;
  case kKindBmp:
    result = fresh->LoadBmp(path.c_str(), DIB_HEADER_INFO) ? kOpened : kOpenFailed;
    break;
  case kKindPnm:
    result = fresh->LoadPnm(path.c_str(), DIB_HEADER_INFO) ? kOpened : kOpenFailed;
    break;
  case kKindJpeg:
    result = fresh->LoadJpeg(path.c_str(), depth, env.jpegDct, DIB_HEADER_INFO) ? kOpened : kOpenFailed;
    break;
  case kKindTiff:
    result = fresh->LoadTiff(path.c_str(), m_nPageIndex, DIB_HEADER_INFO) ? kOpened : kOpenFailed;
    break;
  case kKindPng:
    result = fresh->LoadPng(path.c_str(), DIB_HEADER_INFO) ? kOpened : kOpenFailed;
    break;
  default:
    result = kTypeNotRecognized;
  }

  DeleteContents();
  if (result == kOpened)
  {
    std::swap(m_pImage, fresh);
    m_nContentKind = kind;
    m_nZoom = zoom;
    m_strTitle = OpenedTitle(path, m_pImage->m_nPageIndex, m_pImage->m_nPageCount);
  }
  else
    Stop(result == kTypeNotRecognized ? kMsgTypeNotRecognized : kMsgOpenFailed);
  m_nOpenKind = 0;
  m_strLastOpenedPath = path;
  return result;
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

// DjVu and IW44 pages: decoding through the Image API and rendering the kept
// page into the record at a zoom, layer, depth and gamma.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numeric>

#include "DibImage.h"
#include "DibImageInternal.h"
#include "ImageFiles.h"

namespace
{

void FreeDocument(void *document)
{
  djvu_halfcoded_image_free(static_cast<djvu_halfcoded_image *>(document));
}

void FreeBook(void *book)
{
  djvu_document_free(static_cast<djvu_document *>(book));
}

} // namespace

void DjVuRenderShare(int zoom, int scale, int64_t *factor, int64_t *multiple)
{
  // In 64 bits: 1 - INT_MIN does not fit an int.
  const int64_t f = zoom < 0 ? 1 - (int64_t)zoom : 1;
  const int64_t m = std::min<int64_t>(std::max(scale, 1), f);
  const int64_t common = std::gcd(f, m);
  *factor = f / common;
  *multiple = m / common;
}

int CDibImage::OpenDjVu(const char *path, int kind, int pageIndex, djvu_document *book)
{
  // The book may be this record's own: its reference is taken before the
  // record lets go of it.
  const bool shared = book && ShareImageDocument(book);
  Reset();
  if (shared)
    m_pBook = book;
  if (!path || (kind != IMAGE_FILE_DJVU && kind != IMAGE_FILE_IW44))
  {
    Reset();
    return 0;
  }
  djvu_set_error_callback(KeepApiError);
  g_pfnFreeImageDocument = FreeDocument;
  g_pfnFreeImageBook = FreeBook;
  if (!m_pBook)
  {
    // A file that cannot be opened fails quietly, as the other readers do.
    FILE *probe = std::fopen(path, "rb");
    if (!probe)
    {
      SetImageError("Cannot open %s", path);
      return 0;
    }
    std::fclose(probe);
    if (!(m_pBook = djvu_document_open(path)))
      return 0;
  }
  m_strSourcePath = path;
  const int count = djvu_document_page_count(m_pBook);
  if (pageIndex < 0 || pageIndex >= count)
  {
    SetImageError("Page %d does not exist (the document has %d)", pageIndex + 1, count);
    Reset();
    return 0;
  }
  djvu_halfcoded_image *document = djvu_document_decode_page(m_pBook, pageIndex);
  if (!document || document->width <= 0 || document->height <= 0)
  {
    djvu_halfcoded_image_free(document);
    Reset();
    return 0;
  }
  m_pDocument = document;
  m_nSourceWidth = document->width;
  m_nSourceHeight = document->height;
  m_nPageCount = count;
  m_nPageIndex = pageIndex;
  return 1;
}

int CDibImage::PageXDpi() const
{
  return m_pDocument && m_pDocument->dpi > 0 && m_nXDpi > 0 ? m_pDocument->dpi : m_nXDpi;
}

int CDibImage::PageYDpi() const
{
  return m_pDocument && m_pDocument->dpi > 0 && m_nYDpi > 0 ? m_pDocument->dpi : m_nYDpi;
}

bool CDibImage::DjVuGeometryKept() const
{
  return m_pBook && m_pDocument && m_nOrientation == 0 && m_nWidth == m_pDocument->width &&
         m_nHeight == m_pDocument->height;
}

int CDibImage::RenderDjVu(int layer, int depth, int zoom, double gamma, int headerKind, int kind, int scale)
{
  if (!m_pDocument || headerKind != DIB_HEADER_INFO)
    return 0;
  (void)kind;
  // Free the block and zero the rest, keeping the page and its document.
  djvu_halfcoded_image *keep = m_pDocument;
  djvu_document *book = m_pBook;
  std::string source;
  source.swap(m_strSourcePath);
  const int count = m_nPageCount, index = m_nPageIndex;
  m_pDocument = nullptr;
  m_pBook = nullptr;
  Reset();
  m_pDocument = keep;
  m_pBook = book;
  m_strSourcePath.swap(source);
  m_nPageCount = count;
  m_nPageIndex = index;
  const djvu_halfcoded_image *document = m_pDocument;

  djvu_set_error_callback(KeepApiError);
  djvu_render_params params;
  djvu_render_defaults(&params, (int)sizeof params);
  params.depth = 24;
  params.gamma = 2.2f;
  params.layer = DJVU_LAYER_ALL;
  if (depth >= 1 && depth <= 24 && layer != DJVU_LAYER_MASK)
    params.depth = depth;
  if (gamma >= 0.1 && gamma <= 10)
    params.gamma = (float)gamma;
  if (layer >= 0 && layer <= 3)
    params.layer = layer;
  params.flags |= DJVU_RENDER_DETECT_GRAY;
  params.reserved = 1;

  const int W = document->width, H = document->height;
  int64_t factor, multiple;
  DjVuRenderShare(zoom, scale, &factor, &multiple);
  // Reduced by 2..15: the size rounded up and the rectangle reaching past
  // the page to factor times it, which the library decodes at that subsample
  // directly. The page's size divided down would miss it by a pixel and
  // decode the page at full size only to resample it (twice the time).
  int w, h, x1 = W - 1, y1 = H - 1;
  if (multiple > 1)
  {
    // A fraction such as 2/3: the page scaled by the library.
    w = (int)std::max<int64_t>(1, (W * multiple + factor / 2) / factor);
    h = (int)std::max<int64_t>(1, (H * multiple + factor / 2) / factor);
    params.flags |= DJVU_RENDER_LIBRARY_SCALE;
  }
  else if (factor >= 2 && factor <= 15)
  {
    w = (int)((W + factor - 1) / factor);
    h = (int)((H + factor - 1) / factor);
    x1 = (int)(w * factor - 1);
    y1 = (int)(h * factor - 1);
  }
  else
  {
    // A page smaller than the reduction still gets one pixel, not a failure.
    w = std::max(1, (int)(W / factor));
    h = std::max(1, (int)(H / factor));
  }
  djvu_pixel_image *image = djvu_render(&params, document, 0, 0, x1, y1, 0, w, h);
  if (!image)
    return 0;
  const bool grey = (image->flags & DJVU_GRAY) != 0;
  const int pixsize = image->pixsize;
  const int bits = grey ? 8 : 24;
  if (!image->data || image->w <= 0 || image->h <= 0 || pixsize < (grey ? 1 : 3) || image->offset < 0 ||
      (int64_t)image->rowsize < (int64_t)image->w * pixsize)
  {
    djvu_pixel_image_free(image);
    return 0;
  }
  const int order = (image->flags & DJVU_BOTTOMUP) ? DIB_ROWS_BOTTOMUP : DIB_ROWS_TOPDOWN;
  if (image->flags & DJVU_HAS_DPI)
  {
    m_nXDpi = image->xdpi > 0 ? image->xdpi : 0;
    m_nYDpi = image->ydpi > 0 ? image->ydpi : 0;
    // One scale on both axes, whatever the rounding of the size.
    if (multiple > 1)
      m_nXDpi = m_nYDpi =
          (int)std::max<int64_t>(1, ((int64_t)document->dpi * multiple + factor / 2) / factor);
  }
  if (!CreateBlock(image->w, image->h, bits, order))
  {
    djvu_pixel_image_free(image);
    m_nXDpi = m_nYDpi = 0;
    return 0;
  }
  const bool swap = !grey && (image->flags & DJVU_RGB);
  for (int y = 0; y < m_nHeight; y++)
  {
    const unsigned char *src = image->data + image->offset + (size_t)y * (size_t)image->rowsize;
    unsigned char *dst = Row(y);
    if (grey)
      for (int x = 0; x < m_nWidth; x++)
        dst[x] = src[(size_t)x * pixsize];
    else if (!swap && pixsize == 3)
      std::memcpy(dst, src, (size_t)m_nWidth * 3); // the decoder's order is the block's
    else
      for (int x = 0; x < m_nWidth; x++, src += pixsize, dst += 3)
      {
        dst[0] = src[swap ? 2 : 0];
        dst[1] = src[1];
        dst[2] = src[swap ? 0 : 2];
      }
  }
  djvu_pixel_image_free(image);
  if (grey)
  {
    DibRgbQuad *palette = Palette();
    for (int i = 0; i < 256; i++)
      palette[i] = DibRgbQuad{(uint8_t)i, (uint8_t)i, (uint8_t)i, 0};
    m_nPhotometric = DIB_PHOTOMETRIC_MINISBLACK;
    m_bGrey = 1;
  }
  else
    m_nPhotometric = DIB_PHOTOMETRIC_RGB;
  m_nChannelOrder = DIB_CHANNELS_BGR;
  m_nSourceWidth = W;
  m_nSourceHeight = H;
  m_nSourceBitsPerPixel = bits;
  m_nRenderFactor = (int32_t)std::min<int64_t>(factor, INT32_MAX);
  m_nRenderScale = (int32_t)multiple;
  UpdateHeader();
  return 1;
}

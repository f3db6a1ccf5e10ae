// DjVu and IW44 writers of CDibImage.
//
// SaveDjVu describes the record as a pixel image, enlarges it when asked,
// finds the mask (djvu_mask for grey and colour pictures; a 1-bit picture is
// its own mask, coded by MakeRuns) and hands mask and picture to
// djvu_encode. SaveIw44 hands the picture to djvu_encode_iw44. Both encoders
// build the whole file in memory and deliver it in one call of the write
// routine below, which goes to a temporary file beside the target; the file
// is renamed into place only when every byte was written, so a failed save
// never leaves a partial file or damages an existing one. SaveDjVuDocument
// encodes the page the same way into memory and lets the Image API write
// the whole DjVu document with it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "DibImage.h"
#include "ImageFiles.h"

namespace
{

bool CheckWritable(const CDibImage &image)
{
  if (!image.m_pBlock)
  {
    SetImageError("No image to save");
    return false;
  }
  const int bits = image.m_nBitsPerPixel;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24)
  {
    SetImageError("Cannot save an image of %d bits per pixel", bits);
    return false;
  }
  return true;
}

// The pixel image treats an 8-bit grey record's indices as grey levels
// (0 black), so a descending ramp (minimum-is-white) is inverted first,
// palette and pixels together. The palette decides, not the photometric
// code, since the palette is what the pixel values mean.
bool MakeGreyMinIsBlack(CDibImage &image)
{
  if (image.m_nBitsPerPixel != 8 || !image.m_bGrey)
    return true;
  const DibRgbQuad *p = image.Palette();
  bool descending =
      image.PaletteEntries() > 0 && p[0].rgbRed == 255 && p[0].rgbGreen == 255 && p[0].rgbBlue == 255;
  if (!descending)
    return true;
  if (!image.InvertGrey())
  {
    SetImageError("Cannot convert the grey image");
    return false;
  }
  return true;
}

int WriteToFile(void *userdata, const void *buffer, int count)
{
  if (count <= 0)
    return count == 0 ? 0 : -1;
  return (int)std::fwrite(buffer, 1, (size_t)count, static_cast<FILE *>(userdata));
}

int AppendBytes(void *userdata, const void *buffer, int count)
{
  if (count < 0)
    return -1;
  auto *bytes = static_cast<std::vector<unsigned char> *>(userdata);
  bytes->insert(bytes->end(), static_cast<const unsigned char *>(buffer),
                static_cast<const unsigned char *>(buffer) + count);
  return count;
}

// Frees what a save allocated, on every path.
struct SaveTemporaries
{
  unsigned char *converted = nullptr;
  djvu_pixel_image *enlarged = nullptr;
  djvu_run_image *mask = nullptr;
  ~SaveTemporaries()
  {
    djvu_run_image_free(mask);
    djvu_pixel_image_free(enlarged);
    std::free(converted);
  }
};

} // namespace

int CDibImage::EncodeDjVu(int upsample, int textOnly, const djvu_mask_params *maskParams,
                          const djvu_encode_params *encodeParams, djvu_output_routine write, void *userdata)
{
  if (!CheckWritable(*this) || !MakeGreyMinIsBlack(*this))
    return 0;
  djvu_set_error_callback(ReportApiError);
  SaveTemporaries tmp;
  djvu_pixel_image picture = {};
  const djvu_pixel_image *page = nullptr; // what the mask is found on
  if (m_nBitsPerPixel > 1)
  {
    if (!FillPixelImage(&picture, &tmp.converted))
    {
      SetImageError("Not enough memory to convert the image");
      return 0;
    }
    page = &picture;
    // Only 2, 3 and 4 times enlarge; any other code (a damaged setting)
    // leaves the page as it is rather than asking for a huge one. The
    // text-only page never uses the enlargement.
    if (!textOnly && upsample <= -2 && upsample >= -4)
    {
      tmp.enlarged = djvu_pixel_scale(&picture, upsample, upsample == -4 ? 10 : 0);
      if (!tmp.enlarged)
        return 0;
      page = tmp.enlarged;
    }
  }
  if (m_nBitsPerPixel > 1)
    tmp.mask = djvu_mask(maskParams, page);
  else if (m_nXDpi > 0 && m_nYDpi > 0 && m_nXDpi != m_nYDpi)
  {
    // A DjVu page has one resolution: a page with oblong pixels (a fax at
    // 204 x 98 dpi) is first stretched to square pixels at the larger one.
    const int dpi = m_nXDpi > m_nYDpi ? m_nXDpi : m_nYDpi;
    const double w = (double)m_nWidth * dpi / m_nXDpi, h = (double)m_nHeight * dpi / m_nYDpi;
    CDibImage square;
    if (w > INT32_MAX || h > INT32_MAX || !square.CopyFrom(*this) ||
        !square.Resample((int)(w + 0.5), (int)(h + 0.5), DIB_RESAMPLE_SINGLE) ||
        (square.m_nRowOrder != DIB_ROWS_TOPDOWN && !square.FlipRows(0)))
    {
      SetImageError("Cannot bring the page to square pixels");
      return 0;
    }
    square.m_nXDpi = square.m_nYDpi = dpi;
    tmp.mask = square.MakeRuns();
    if (!tmp.mask)
      SetImageError("Not enough memory to code the mask");
  }
  else
  {
    if (m_nRowOrder != DIB_ROWS_TOPDOWN && !FlipRows(0))
    {
      SetImageError("Cannot reorder the rows");
      return 0;
    }
    tmp.mask = MakeRuns();
    if (!tmp.mask)
      SetImageError("Not enough memory to code the mask");
    // With one resolution unknown the known one stands for both: the
    // encoder refuses a mask whose two resolutions differ.
    else if ((m_nXDpi > 0) != (m_nYDpi > 0))
      tmp.mask->xdpi = tmp.mask->ydpi = m_nXDpi > 0 ? m_nXDpi : m_nYDpi;
  }
  if (!tmp.mask)
    return 0;
  const djvu_pixel_image *background = textOnly || m_nBitsPerPixel == 1 ? nullptr : page;
  return djvu_encode(encodeParams, tmp.mask, background, write, userdata) == 0 ? 1 : 0;
}

int CDibImage::SaveDjVu(const char *path, int upsample, int textOnly, const djvu_mask_params *maskParams,
                        const djvu_encode_params *encodeParams)
{
  if (!CheckWritable(*this))
    return 0;
  CSafeFile out;
  FILE *fp = out.Open(path);
  if (!fp)
    return 0;
  if (!EncodeDjVu(upsample, textOnly, maskParams, encodeParams, WriteToFile, fp))
    return 0; // the temporary file goes with out
  return out.Commit() ? 1 : 0;
}

int CDibImage::ReplaceDjVuPage(int upsample, int textOnly, const djvu_mask_params *maskParams,
                               const djvu_encode_params *encodeParams)
{
  if (!m_pBook)
  {
    SetImageError("No DjVu document to save into");
    return 0;
  }
  if (!CheckWritable(*this))
    return 0;
  // The extras are judged before the encoding, which may reorder the rows.
  const bool keep = DjVuGeometryKept();
  std::vector<unsigned char> page;
  if (!EncodeDjVu(upsample, textOnly, maskParams, encodeParams, AppendBytes, &page))
    return 0;
  djvu_set_error_callback(ReportApiError);
  return djvu_document_replace_page(m_pBook, m_nPageIndex, page.data(), (int)page.size(),
                                    keep ? DJVU_REPLACE_KEEP_EXTRAS : 0) == 0
             ? 1
             : 0;
}

int CDibImage::WriteDjVuDocument(const char *path, int wholeDocument)
{
  if (!m_pBook)
  {
    SetImageError("No DjVu document to save");
    return 0;
  }
  djvu_set_error_callback(ReportApiError);
  CSafeFile out;
  FILE *fp = out.Open(path);
  if (!fp)
    return 0;
  const int written = wholeDocument ? djvu_document_save(m_pBook, WriteToFile, fp)
                                    : djvu_document_save_page(m_pBook, m_nPageIndex, WriteToFile, fp);
  if (written != 0)
    return 0;
  return out.Commit() ? 1 : 0;
}

int CDibImage::SaveDjVuDocument(const char *path, int wholeDocument, int upsample, int textOnly,
                                const djvu_mask_params *maskParams, const djvu_encode_params *encodeParams)
{
  return ReplaceDjVuPage(upsample, textOnly, maskParams, encodeParams) &&
                 WriteDjVuDocument(path, wholeDocument)
             ? 1
             : 0;
}

int CDibImage::SaveIw44(const char *path, const djvu_iw44_params *params)
{
  if (!CheckWritable(*this))
    return 0;
  if (m_nRowOrder == DIB_ROWS_BOTTOMUP && m_nWidth % 4 == 0 && !FlipRows(0))
  {
    SetImageError("Cannot reorder the rows");
    return 0;
  }
  if (!MakeGreyMinIsBlack(*this))
    return 0;
  SaveTemporaries tmp;
  djvu_pixel_image picture = {};
  if (!FillPixelImage(&picture, &tmp.converted))
  {
    SetImageError("Not enough memory to convert the image");
    return 0;
  }
  djvu_set_error_callback(ReportApiError);
  CSafeFile out;
  FILE *fp = out.Open(path);
  if (!fp)
    return 0;
  // A failed encode fails the save (and removes the temporary file) rather
  // than being reported as a saved file.
  if (djvu_encode_iw44(params, &picture, WriteToFile, fp) != 0)
    return 0;
  return out.Commit() ? 1 : 0;
}

// JPEG reader and writer of CDibImage through libjpeg (version 62 API).
//
// libjpeg reports fatal errors by calling an exit routine that must not
// return; ours (JpegHooks) records the message and longjmps back. Each
// direction keeps that setjmp inside one small function (DecodeJpeg,
// EncodeJpeg) whose frame holds no C++ object with a destructor, so the jump
// skips nothing that needs cleaning; everything it must free is reachable
// from the codec object or the record and is freed after the jump.
//
// Reading: grey pages become 8-bit grey, colour pages 24-bit, CMYK and YCCK
// pages are converted to RGB (Adobe's inverted CMYK included); on a
// low-colour display the page is quantised to 256 colours with
// Floyd-Steinberg dithering. A file that ends before its last row is
// refused rather than shown with a grey tail that a later save would pass
// off as the picture.
//
// Writing: into a temporary file renamed into place, so a library error
// (reported through the same exit) leaves no damaged file behind.
#include "DibImage.h"

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "ImageFiles.h"
#include "JpegHooks.h"

#include <jerror.h>

namespace
{

// The reader's error manager: the shared hooks plus a note of a premature
// end of the data (a warning to libjpeg, which pads the image with grey).
struct ReadError
{
  VellumJpegError base; // first: libjpeg and the hooks see its jpeg_error_mgr
  void (*emit)(j_common_ptr, int);
  int truncated;
};

void EmitMessage(j_common_ptr cinfo, int level)
{
  ReadError *err = reinterpret_cast<ReadError *>(cinfo->err);
  if (level < 0 && err->base.pub.msg_code == JWRN_JPEG_EOF)
    err->truncated = 1;
  err->emit(cinfo, level);
}

inline unsigned char Mul255(int a, int b)
{
  return (unsigned char)((a * b + 127) / 255);
}

int ClampDct(int dct)
{
  return dct >= JDCT_ISLOW && dct <= JDCT_FLOAT ? dct : JDCT_ISLOW;
}

// Resolution in the first IFD of an Exif block ("Exif\0\0" and a TIFF
// header): XResolution and YResolution (rationals) and ResolutionUnit (2
// inch, 3 cm). Every offset is checked against size; false when the block
// holds no usable resolution.
bool ExifResolution(const unsigned char *data, size_t size, double *xres, double *yres, int *unit)
{
  if (size < 14 || std::memcmp(data, "Exif\0\0", 6) != 0)
    return false;
  const unsigned char *t = data + 6;
  const size_t n = size - 6;
  const bool big = t[0] == 'M' && t[1] == 'M';
  if (!big && !(t[0] == 'I' && t[1] == 'I'))
    return false;
  auto u16 = [&](size_t at) -> uint32_t { return big ? t[at] << 8 | t[at + 1] : t[at + 1] << 8 | t[at]; };
  auto u32 = [&](size_t at) -> uint32_t
  { return big ? u16(at) << 16 | u16(at + 2) : u16(at + 2) << 16 | u16(at); };
  const size_t ifd = u32(4);
  if (ifd > n || n - ifd < 2)
    return false;
  const size_t count = u16(ifd);
  *xres = *yres = 0;
  *unit = DIB_RESUNIT_INCH; // the Exif default
  for (size_t i = 0; i < count; i++)
  {
    const size_t e = ifd + 2 + 12 * i;
    if (e > n || n - e < 12)
      break;
    const uint32_t tag = u16(e), type = u16(e + 2);
    if ((tag == 0x011A || tag == 0x011B) && type == 5)
    {
      const size_t at = u32(e + 8);
      if (at > n || n - at < 8)
        continue;
      const uint32_t num = u32(at), den = u32(at + 4);
      if (den != 0)
        *(tag == 0x011A ? xres : yres) = (double)num / den;
    }
    else if (tag == 0x0128 && type == 3)
      *unit = (int)u16(e + 8);
  }
  // Beyond a million per unit is no resolution (and would overflow).
  return *xres > 0 && *yres > 0 && *xres < 1e6 && *yres < 1e6 &&
         (*unit == DIB_RESUNIT_INCH || *unit == DIB_RESUNIT_CENTIMETER);
}

// Decodes the open file into img (already reset). 1 or 0; on 0 the record
// is reset and g_szLastImageError holds the reason.
int DecodeJpeg(CDibImage &img, FILE *fp, int displayDepth, int dct)
{
  jpeg_decompress_struct cinfo;
  ReadError err;
  std::memset(&err, 0, sizeof err);
  cinfo.err = JpegInstallErrorHooks(&err.base);
  err.emit = err.base.pub.emit_message;
  err.base.pub.emit_message = EmitMessage;
  if (setjmp(err.base.jump))
  {
    jpeg_destroy_decompress(&cinfo);
    img.Reset();
    return 0;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_stdio_src(&cinfo, fp);
  // Exif blocks are kept for their resolution (a file without a JFIF
  // density may have it only there).
  jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xFFFF);
  jpeg_read_header(&cinfo, TRUE);

  const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  if (cmyk)
    cinfo.out_color_space = JCS_CMYK;
  else if (cinfo.num_components != 1)
    cinfo.out_color_space = JCS_RGB;
  const bool quantize = displayDepth > 0 && displayDepth < 24 && !cmyk;
  if (quantize)
  {
    cinfo.quantize_colors = TRUE;
    cinfo.desired_number_of_colors = 256;
    cinfo.two_pass_quantize = TRUE;
    cinfo.dither_mode = JDITHER_FS;
  }
  cinfo.dct_method = (J_DCT_METHOD)ClampDct(dct);

  // Refuse an oversized page before libjpeg allocates for it.
  const int comps = cinfo.num_components == 1 ? 1 : 3;
  const int bits = quantize || comps == 1 ? 8 : 24;
  if (!CheckImagePixels(cinfo.image_width, cinfo.image_height))
  {
    jpeg_destroy_decompress(&cinfo);
    return 0;
  }
  if (DibStride(cinfo.image_width, bits) < 0)
  {
    jpeg_destroy_decompress(&cinfo);
    SetImageError("Image too large");
    return 0;
  }
  jpeg_start_decompress(&cinfo);
  const int w = (int)cinfo.output_width, h = (int)cinfo.output_height;
  const int outComps = cinfo.output_components;
  if ((outComps != 1 && outComps != 3 && outComps != 4) || (outComps == 4) != cmyk ||
      !img.CreateBlock(w, h, bits, DIB_ROWS_BOTTOMUP))
  {
    jpeg_destroy_decompress(&cinfo);
    img.Reset();
    SetImageError(outComps == 1 || outComps == 3 || outComps == 4 ? "Image too large"
                                                                  : "Unsupported JPEG colour layout");
    return 0;
  }
  JSAMPARRAY line =
      (*cinfo.mem->alloc_sarray)((j_common_ptr)&cinfo, JPOOL_IMAGE, (JDIMENSION)w * outComps, 1);
  const bool inverted = cmyk && cinfo.saw_Adobe_marker;
  while (cinfo.output_scanline < cinfo.output_height)
  {
    int row = (int)cinfo.output_scanline;
    if (jpeg_read_scanlines(&cinfo, line, 1) != 1 || err.truncated)
    {
      jpeg_destroy_decompress(&cinfo);
      img.Reset();
      if (err.truncated || !g_szLastImageError[0])
        SetImageError("JPEG file is truncated");
      return 0;
    }
    const unsigned char *src = line[0];
    unsigned char *dst = img.Row(h - 1 - row);
    if (outComps == 1 || quantize)
      std::memcpy(dst, src, (size_t)w);
    else if (outComps == 3)
      for (int x = 0; x < w; x++)
      {
        dst[3 * x] = src[3 * x + 2];
        dst[3 * x + 1] = src[3 * x + 1];
        dst[3 * x + 2] = src[3 * x];
      }
    else
      for (int x = 0; x < w; x++)
      {
        // Adobe writes CMYK inverted (0 = full ink).
        int c = src[4 * x], m = src[4 * x + 1], y = src[4 * x + 2], k = src[4 * x + 3];
        if (!inverted)
          c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
        dst[3 * x] = Mul255(y, k);
        dst[3 * x + 1] = Mul255(m, k);
        dst[3 * x + 2] = Mul255(c, k);
      }
  }

  // Resolution by the density table, else by the Exif block; per inch or
  // per centimetre.
  double factor = cinfo.density_unit == 1 ? 39.37007874015748 : cinfo.density_unit == 2 ? 100 : 0;
  double xdensity = cinfo.X_density, ydensity = cinfo.Y_density;
  if (factor == 0 || xdensity < 2 || ydensity < 2)
    for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next)
    {
      double x = 0, y = 0;
      int unit = 0;
      if (m->marker == JPEG_APP0 + 1 && ExifResolution(m->data, m->data_length, &x, &y, &unit))
      {
        xdensity = x;
        ydensity = y;
        factor = DensityToPixelsPerMeter(1, unit);
        break;
      }
    }
  DibInfoHeader *hd = img.Header();
  img.m_nXDpi = xdensity < 2 || factor == 0 ? 0 : JpegPixelsPerMeterToDpi(xdensity * factor);
  img.m_nYDpi = ydensity < 2 || factor == 0 ? 0 : JpegPixelsPerMeterToDpi(ydensity * factor);
  hd->biXPelsPerMeter = (int32_t)std::min(xdensity * factor + 0.5, (double)INT32_MAX);
  hd->biYPelsPerMeter = (int32_t)std::min(ydensity * factor + 0.5, (double)INT32_MAX);

  DibRgbQuad *pal = img.Palette();
  if (quantize && cinfo.colormap)
  {
    int n = cinfo.actual_number_of_colors < 256 ? cinfo.actual_number_of_colors : 256;
    for (int i = 0; i < n; i++)
      if (cinfo.out_color_components == 3)
        pal[i] = DibRgbQuad{cinfo.colormap[2][i], cinfo.colormap[1][i], cinfo.colormap[0][i], 0};
      else
        pal[i] = DibRgbQuad{cinfo.colormap[0][i], cinfo.colormap[0][i], cinfo.colormap[0][i], 0};
    if (cinfo.out_color_components == 3)
      img.m_nPhotometric = DIB_PHOTOMETRIC_PALETTE;
    else
      img.m_bGrey = img.IsGreyRamp();
  }
  else if (bits == 8)
  {
    for (int i = 0; i < 256; i++)
      pal[i] = DibRgbQuad{(uint8_t)i, (uint8_t)i, (uint8_t)i, 0};
    img.m_bGrey = 1;
    img.m_nPhotometric = DIB_PHOTOMETRIC_MINISBLACK;
  }
  else
    img.m_nPhotometric = DIB_PHOTOMETRIC_RGB;
  img.m_nSourceBitsPerPixel = cinfo.num_components * 8;
  img.m_nResolutionUnit = 0;
  img.m_nPageCount = 1;

  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  if (err.truncated)
  {
    img.Reset();
    SetImageError("JPEG file is truncated");
    return 0;
  }
  return 1;
}

// Everything the encoder needs, prepared before the jump point.
struct EncodeJob
{
  FILE *fp;
  const unsigned char *rows; // bottom-up rows
  size_t stride;
  int width, height, comps;
  bool bgr;
  int quality, smoothing, optimize, dct;
  const char *comment;
  int unit, xdpi, ydpi;
  unsigned char *line; // width * comps bytes
};

int EncodeJpeg(const EncodeJob &job)
{
  jpeg_compress_struct cinfo;
  VellumJpegError err;
  std::memset(&err, 0, sizeof err);
  cinfo.err = JpegInstallErrorHooks(&err);
  if (setjmp(err.jump))
  {
    jpeg_destroy_compress(&cinfo);
    return 0;
  }
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, job.fp);
  cinfo.image_width = (JDIMENSION)job.width;
  cinfo.image_height = (JDIMENSION)job.height;
  cinfo.input_components = job.comps;
  cinfo.in_color_space = job.comps == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, job.quality < 0 || job.quality > 100 ? 75 : job.quality, TRUE);
  cinfo.smoothing_factor = job.smoothing < 0 || job.smoothing > 100 ? 0 : job.smoothing;
  cinfo.optimize_coding = job.optimize ? TRUE : FALSE;
  cinfo.dct_method = (J_DCT_METHOD)ClampDct(job.dct);
  if (job.xdpi > 1 || job.ydpi > 1)
  {
    cinfo.density_unit = job.unit == DIB_RESUNIT_INCH ? 1 : job.unit == DIB_RESUNIT_CENTIMETER ? 2 : 0;
    cinfo.X_density = (UINT16)(job.xdpi < 0 ? 0 : job.xdpi > 65535 ? 65535 : job.xdpi);
    cinfo.Y_density = (UINT16)(job.ydpi < 0 ? 0 : job.ydpi > 65535 ? 65535 : job.ydpi);
  }
  jpeg_start_compress(&cinfo, TRUE);
  if (job.comment && job.comment[0])
  {
    size_t len = std::strlen(job.comment);
    jpeg_write_marker(&cinfo, JPEG_COM, (const JOCTET *)job.comment, (unsigned)(len > 65533 ? 65533 : len));
  }
  const size_t bytes = (size_t)job.width * job.comps;
  while (cinfo.next_scanline < cinfo.image_height)
  {
    const unsigned char *src = job.rows + (size_t)(job.height - 1 - (int)cinfo.next_scanline) * job.stride;
    std::memcpy(job.line, src, bytes);
    if (job.bgr && job.comps == 3)
      for (int x = 0; x < job.width; x++)
      {
        unsigned char t = job.line[3 * x];
        job.line[3 * x] = job.line[3 * x + 2];
        job.line[3 * x + 2] = t;
      }
    JSAMPROW row = job.line;
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return 1;
}

} // namespace

int CDibImage::LoadJpeg(const char *path, int displayDepth, int dctMethod, int headerKind)
{
  Reset();
  g_szLastImageError[0] = 0;
  if (headerKind != DIB_HEADER_INFO)
  {
    SetImageError("Unsupported bitmap header kind %d", headerKind);
    return 0;
  }
  if (!path || !*path)
  {
    SetImageError("No file name given");
    return 0;
  }
  FILE *fp = std::fopen(path, "rb");
  if (!fp)
  {
    SetImageError("Cannot open %s", path);
    return 0;
  }
  int ok = DecodeJpeg(*this, fp, displayDepth, dctMethod);
  std::fclose(fp);
  return ok;
}

int CDibImage::SaveJpeg(const char *path, int quality, int smoothing, int optimize, int dctMethod,
                        const char *comment)
{
  if (!m_pBlock)
  {
    SetImageError("No image to save");
    return 0;
  }
  const int bits = m_nBitsPerPixel;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24)
  {
    SetImageError("Cannot save an image of %d bits per pixel", bits);
    return 0;
  }
  if (m_nRowOrder == DIB_ROWS_TOPDOWN && !FlipRows(0))
  {
    SetImageError("Cannot reorder the rows");
    return 0;
  }
  EncodeJob job = {};
  job.width = m_nWidth;
  job.height = m_nHeight;
  unsigned char *copy = nullptr;
  switch (bits)
  {
  case 1:
    copy = ToGray8(0);
    job.rows = copy;
    job.stride = (size_t)DibStride(m_nWidth, 8);
    job.comps = 1;
    break;
  case 4:
    copy = ExpandDepth(24);
    job.rows = copy ? copy + 40 : nullptr; // a 24-bit block has no palette
    job.stride = (size_t)DibStride(m_nWidth, 24);
    job.comps = 3;
    job.bgr = true;
    break;
  case 8:
    if (m_bGrey)
    {
      if (m_nPhotometric == DIB_PHOTOMETRIC_MINISWHITE)
        InvertGrey();
      job.rows = Bits();
      job.stride = (size_t)m_nStride;
      job.comps = 1;
    }
    else
    {
      copy = PaletteToRgb();
      job.rows = copy;
      job.stride = (size_t)DibStride(m_nWidth, 24);
      job.comps = 3;
    }
    break;
  default:
    job.rows = Bits();
    job.stride = (size_t)m_nStride;
    job.comps = 3;
    job.bgr = m_nChannelOrder != DIB_CHANNELS_RGB;
    break;
  }
  job.line = static_cast<unsigned char *>(std::malloc((size_t)m_nWidth * 3));
  if (!job.rows || !job.line)
  {
    std::free(copy);
    std::free(job.line);
    SetImageError("Out of memory");
    return 0;
  }
  job.quality = quality;
  job.smoothing = smoothing;
  job.optimize = optimize;
  job.dct = dctMethod;
  job.comment = comment;
  job.unit = m_nResolutionUnit;
  job.xdpi = m_nXDpi;
  job.ydpi = m_nYDpi;

  CSafeFile out;
  int ok = 0;
  job.fp = out.Open(path);
  if (job.fp)
    ok = EncodeJpeg(job) && out.Commit();
  std::free(copy);
  std::free(job.line);
  return ok ? 1 : 0;
}

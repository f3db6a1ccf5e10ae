#include "LoadImage.h"

LoadResult LoadImage(const std::string &path, int kind, int page, int jpegDepth, int jpegDct,
                     CDibImage &image, djvu_document *book)
{
  const char *file = path.c_str();
  int ok = 0;
  switch (kind)
  {
  case IMAGE_FILE_DJVU:
  case IMAGE_FILE_IW44:
    ok = image.OpenDjVu(file, kind, page, book);
    break;
  case IMAGE_FILE_BMP:
    ok = image.LoadBmp(file, DIB_HEADER_INFO);
    break;
  case IMAGE_FILE_PNM:
    ok = image.LoadPnm(file, DIB_HEADER_INFO);
    break;
  case IMAGE_FILE_JPEG:
    ok = image.LoadJpeg(file, jpegDepth, jpegDct, DIB_HEADER_INFO);
    break;
  case IMAGE_FILE_TIFF:
    ok = image.LoadTiff(file, page, DIB_HEADER_INFO);
    break;
  case IMAGE_FILE_PNG:
    ok = image.LoadPng(file, DIB_HEADER_INFO);
    break;
  default:
    return kLoadUnknownKind;
  }
  return ok ? kLoaded : kLoadFailed;
}

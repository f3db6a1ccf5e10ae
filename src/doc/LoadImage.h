// Reading a file of any kind the program reads into the image record, the
// counterpart of SaveImage: one switch over the file kinds for the viewer's
// document and the converter.
#ifndef VELLUM_DOC_LOADIMAGE_H
#define VELLUM_DOC_LOADIMAGE_H

#include <string>

#include "DibImage.h"
#include "djvuapi.h"

enum LoadResult
{
  kLoadFailed = 0,     // the reader's message is in g_szLastImageError
  kLoaded = 1,         // read (a DjVu or IW44 page: opened, not yet rendered)
  kLoadUnknownKind = 2 // kind is not one the program reads
};

// Reads page (from 0; TIFF and DjVu only) of the file at path, of kind
// IMAGE_FILE_*, into image. JPEG is read at jpegDepth bits per pixel with
// DCT method jpegDct. A DjVu or IW44 page is only opened, from book when
// that is the document the file holds (may be null: opened afresh); the
// caller renders it at the zoom it wants with RenderDjVu.
LoadResult LoadImage(const std::string &path, int kind, int page, int jpegDepth, int jpegDct,
                     CDibImage &image, djvu_document *book);

#endif

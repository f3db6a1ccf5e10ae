// One page of a document of many pages as a small RGB picture, for the
// page-thumbnail panel. Only the page asked for is read: a DjVu page is
// decoded from the document already open and rendered by the Image API at
// the subsample that fits the box (never at full size); a TIFF page is read
// alone and reduced. The result is at most about twice the fitted size, for
// the panel to smooth down.
#ifndef VELLUM_UI_PAGES_THUMBRENDER_H
#define VELLUM_UI_PAGES_THUMBRENDER_H

#include <cstdint>
#include <string>
#include <vector>

#include "DibImage.h"
#include "ZoomLogic.h"

namespace vellum
{

struct ThumbPicture
{
  std::vector<uint8_t> rgb; // size.w x size.h pixels, 3 bytes each, rows top down
  Extent size;
  Extent page; // the page's own size in pixels
};

// Page index of path, a file of kind (the DjVu or TIFF file kind code);
// book, when not null, is the DjVu document path is already open as (shared,
// not taken). False, with out empty, when the page cannot be read.
bool RenderThumbnail(const std::string &path, int kind, int index, djvu_document *book, Extent box,
                     ThumbPicture &out);

// The record's rows as RGB reduced to percent % (1..100), nearest pixel.
bool DibToRgb(const CDibImage &image, int percent, ThumbPicture &out);

} // namespace vellum

#endif

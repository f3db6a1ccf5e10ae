// MaskFinderEntry over the Image API's records: the pixel image and the
// size-prefixed mask parameter record are read into the finder's own band
// and parameter records. Only djvuapi.h's declarations are used, nothing of
// the API's library.
#include "maskfind.h"

#include "djvuapi.h"

#include <cstring>

static_assert((int)MASKFIND_RGB == (int)DJVU_RGB && (int)MASKFIND_BGR == (int)DJVU_BGR &&
                  (int)MASKFIND_GRAY == (int)DJVU_GRAY,
              "the band flags are the pixel image's");

MaskRunList *MaskFinderEntry(const djvu_mask_params_s *params, const djvu_pixel_image_s *image)
{
  djvu_mask_params p = DJVU_MASK_PARAMS_DEFAULTS;
  if (params && params->size > 0)
  {
    const size_t n = (size_t)params->size < sizeof p ? (size_t)params->size : sizeof p;
    std::memcpy(&p, params, n);
  }
  const MaskFindParams fp = {p.filter_level, p.multi_forback, p.switches};
  if (!image)
    return MaskFinderEntry(&fp, static_cast<const MaskFindBand *>(nullptr));
  const MaskFindBand band = {image->flags,   image->w,       image->h,   image->offset,
                             image->rowsize, image->pixsize, image->data};
  return MaskFinderEntry(&fp, &band);
}

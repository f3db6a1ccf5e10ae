// Pixel image records: ownership, validation, canonical form, crop copy,
// buffer growth. (Operations in progress.)
#include "PixImageInt.h"

namespace vellum_api
{
#define NI DJVU_API_THROW("not implemented")
djvu_pixel_image *pix_new_record()
{
  NI;
}
bool pix_is_api_record(const djvu_pixel_image *)
{
  return false;
}
void pix_free_record(djvu_pixel_image *)
{
  NI;
}
void pix_release_buffer(djvu_pixel_image *)
{
  NI;
}
void pix_adopt_library_buffer(djvu_pixel_image *, unsigned char *, size_t, std::shared_ptr<void>)
{
  NI;
}
void pix_wrap_pixmap(djvu_pixel_image *, const DJVU::GP<DJVU::GPixmap> &)
{
  NI;
}
void pix_wrap_bitmap(djvu_pixel_image *, const DJVU::GP<DJVU::GBitmap> &)
{
  NI;
}
void pix_validate(const djvu_pixel_image *)
{
  NI;
}
size_t pix_span(const djvu_pixel_image *)
{
  NI;
}
unsigned char *pix_row(const djvu_pixel_image *, int)
{
  NI;
}
void pix_canonical_copy(const djvu_pixel_image *, djvu_pixel_image *)
{
  NI;
}
void pix_canonicalize(djvu_pixel_image *)
{
  NI;
}
void pix_crop_copy(const djvu_pixel_image *, int, int, int, int, djvu_pixel_image *)
{
  NI;
}
void pix_grow(djvu_pixel_image *, size_t)
{
  NI;
}
void pix_tighten(djvu_pixel_image *)
{
  NI;
}
void pix_subsample(djvu_pixel_image *, int)
{
  NI;
}
void pix_enlarge2(djvu_pixel_image *)
{
  NI;
}
void pix_enlarge3(djvu_pixel_image *)
{
  NI;
}
void pix_replicate(djvu_pixel_image *, int)
{
  NI;
}
int64_t pix_smooth2(djvu_pixel_image *)
{
  NI;
}
djvu_pixel_image *pix_scale(const djvu_pixel_image *, int, int)
{
  NI;
}
void pix_transform(djvu_pixel_image *, int, int, int)
{
  NI;
}
} // namespace vellum_api

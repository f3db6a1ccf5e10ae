// The process-wide progress hook of the Image API (djvu_set_progress_callback).
#include "MaskInt.h"

namespace vellum_api
{

namespace
{
djvu_progress_callback g_progress = nullptr;
} // namespace

void progress(const char *text, int percent, int data)
{
  if (g_progress)
    g_progress(text, percent, data);
}

} // namespace vellum_api

extern "C" {

djvu_progress_callback djvu_set_progress_callback(djvu_progress_callback callback)
{
  djvu_progress_callback old = vellum_api::g_progress;
  vellum_api::g_progress = callback;
  return old;
}

} // extern "C"

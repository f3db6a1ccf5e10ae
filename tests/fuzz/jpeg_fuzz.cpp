// JPEG reader under libFuzzer: full colour, and dithered to 256 colours.
#include "FileFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  volatile unsigned sink = FuzzFile(data, size,
                                    [](CDibImage &img, const char *path)
                                    { return img.LoadJpeg(path, 24, 0, 5) && img.LoadJpeg(path, 8, 1, 5); });
  (void)sink;
  return 0;
}

// TIFF reader under libFuzzer: the first and the second page.
#include "FileFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  volatile unsigned sink = FuzzFile(data, size,
                                    [](CDibImage &img, const char *path)
                                    { return img.LoadTiff(path, 0, 5) || img.LoadTiff(path, 1, 5); });
  (void)sink;
  return 0;
}

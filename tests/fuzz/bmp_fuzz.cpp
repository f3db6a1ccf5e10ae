// BMP reader (and writer, on what it reads) under libFuzzer.
#include "FileFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  volatile unsigned sink = FuzzFile(data, size,
                                    [](CDibImage &img, const char *path)
                                    { return img.LoadBmp(path, 5) && img.SaveBmp("/dev/null"); });
  (void)sink;
  return 0;
}

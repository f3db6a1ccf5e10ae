// JPEG reader under libFuzzer: full colour or dithered to 256 colours, one
// decode per input (the last byte chooses), so that every input costs one
// decode.
#include "FileFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  const bool dithered = size > 0 && (data[size - 1] & 1);
  volatile unsigned sink =
      FuzzFile(data, size,
               [dithered](CDibImage &img, const char *path)
               { return dithered ? img.LoadJpeg(path, 8, 1, 5) : img.LoadJpeg(path, 24, 0, 5); });
  (void)sink;
  return 0;
}

// PNG reader under libFuzzer; a small picture it reads is also written back
// (the writer then sees every colour type the reader produces).
#include "FileFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  volatile unsigned sink =
      FuzzFile(data, size,
               [](CDibImage &img, const char *path)
               {
                 if (!img.LoadPng(path, 5))
                   return 0;
                 // Compressing a large picture would
                 // only slow the run down.
                 if ((int64_t)img.m_nWidth * img.m_nHeight <= 4096 && !img.SavePng("/dev/null"))
                   __builtin_trap();
                 return 1;
               });
  (void)sink;
  return 0;
}

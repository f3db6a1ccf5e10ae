// Shared body of the file reader fuzz targets: the input becomes an
// in-memory file (memfd) opened by path, the reader runs on it, and every
// pixel and palette byte of a successful read is read back so the
// sanitizers see any uninitialised or out-of-bounds byte.
//
// Under libFuzzer the readers run with a pixel limit of one megapixel, so
// that inputs declaring large pictures are refused from their headers and
// the run explores parsing instead of allocating. The replay binary (no
// LLVMFuzzerInitialize call) keeps the default limit and decodes every
// corpus page whole.
#ifndef VELLUM_TESTS_FUZZ_FILEFUZZ_H
#define VELLUM_TESTS_FUZZ_FILEFUZZ_H

#include <cstdint>
#include <cstdio>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

#include "DibImage.h"

const int64_t kFuzzMaxPixels = (int64_t)1 << 20;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
  SetMaxImagePixels(kFuzzMaxPixels);
  return 0;
}

// Runs load(path) on the data; returns the loaded record's checksum.
template <class Load> inline unsigned FuzzFile(const uint8_t *data, size_t size, Load load)
{
  int fd = memfd_create("vellum-fuzz", 0);
  if (fd < 0)
    return 0;
  size_t done = 0;
  while (done < size)
  {
    ssize_t n = write(fd, data + done, size - done);
    if (n <= 0)
      break;
    done += (size_t)n;
  }
  std::string path = "/proc/self/fd/" + std::to_string(fd);
  CDibImage img;
  unsigned sum = 0;
  if (load(img, path.c_str()))
  {
    // Touch everything a consumer could read.
    for (size_t i = 0; i < img.BlockSize(); i++)
      sum += img.m_pBlock[i];
    if (img.m_nBitsPerPixel != 1 && img.m_nBitsPerPixel != 4 && img.m_nBitsPerPixel != 8 &&
        img.m_nBitsPerPixel != 24)
      __builtin_trap();
    if ((size_t)img.m_nStride * img.m_nHeight != (size_t)img.m_nPixelSize)
      __builtin_trap();
  }
  close(fd);
  return sum;
}

#endif

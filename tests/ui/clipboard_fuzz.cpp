// Clipboard image bytes (a BMP file or a bare packed DIB from another
// program) under libFuzzer: split, convert to RGB and wrap again; every
// output byte is read so the sanitizers see what was written.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "EditLogic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  using namespace vellum;
  unsigned sum = 0;
  DibBlockParts parts;
  if (SplitDibBlock(data, size, &parts))
    sum += static_cast<unsigned>(parts.bitsOffset + parts.bitsSize);
  const std::vector<uint8_t> dib = DibFromClipboardBytes(data, size);
  int w = 0, h = 0;
  std::vector<uint8_t> rgb;
  if (!dib.empty() && DibToRgb(dib, &w, &h, rgb))
  {
    for (uint8_t b : rgb)
      sum += b;
    const std::vector<uint8_t> again = DibFromRgb(w, h, rgb.data());
    for (uint8_t b : again)
      sum += b;
  }
  for (uint8_t b : DibToBmpFile(dib))
    sum += b;
  volatile unsigned sink = sum;
  (void)sink;
  return 0;
}

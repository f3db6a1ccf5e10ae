// Shared helpers of the file reader tests: corpus paths, a private scratch
// folder, the record's pixels as RGB, and independent decoders (ImageMagick,
// netpbm) run as child processes.
#ifndef VELLUM_TESTS_FILES_FILESTESTUTIL_H
#define VELLUM_TESTS_FILES_FILESTESTUTIL_H

#include <cstdint>
#include <string>
#include <vector>

#include "DibImage.h"

namespace files_test
{

// $VELLUM_CORPUS/sub (tests/corpus by default); a missing file is a test
// failure and gives "".
std::string Corpus(const std::string &sub);
// A fresh scratch folder for one test (under $VELLUM_TEST_TMP).
std::string Scratch(const std::string &name);
// Files of a corpus folder with the given extension(s), sorted.
std::vector<std::string> CorpusFiles(const std::string &folder, const std::vector<std::string> &exts);

struct Rgb
{
  int width = 0, height = 0;
  std::vector<uint8_t> px; // top row first, R G B
  bool ok() const { return width > 0; }
};

// The record as RGB, picture rows from the top, whatever its depth and row
// order.
Rgb RecordRgb(const CDibImage &img);

// Parses a binary PNM (P4, P5, P6, maxval 255 or 65535) into RGB.
Rgb ParsePnm(const std::string &bytes);

// Runs a shell command and returns its standard output ("" on failure).
bool Run(const std::string &cmd, std::string &out);
// ImageMagick's decoding of the file (frame `frame`), as RGB; empty when it
// refuses the file or is not installed.
Rgb MagickRgb(const std::string &path, int frame = 0);
// netpbm's decoding through the given converter (bmptopnm, tifftopnm...).
Rgb NetpbmRgb(const std::string &tool, const std::string &path);

// Largest absolute channel difference; -1 when the sizes differ.
int MaxDiff(const Rgb &a, const Rgb &b);
// Mean absolute channel difference (sizes must match).
double MeanDiff(const Rgb &a, const Rgb &b);

std::string ReadFile(const std::string &path);
void WriteFile(const std::string &path, const std::string &bytes);

} // namespace files_test

#endif

// vellum-convert: the command line and a whole run.
//
// The tool reads every kind the program reads (BMP, PNM, TIFF, JPEG, PNG,
// DjVu, IW44), applies the image operations given on the command line in
// their order, and writes DjVu, IW44, BMP, PNM, JPEG or PNG with the
// program's writers and the settings of Vellum.ini (overridable on the
// command line): a file per input or page, or one DjVu document of many
// pages (a book), the files or pages converted in parallel workers. Its
// thumbnail mode writes a small PNG of a file's first page for file
// managers.
#ifndef VELLUM_TOOLS_CONVERT_H
#define VELLUM_TOOLS_CONVERT_H

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace vellum_convert
{

// One image operation, applied in command-line order.
struct Operation
{
  enum Kind
  {
    RotateLeft,
    RotateRight,
    Rotate180,
    Flip,
    Mirror,
    Negative,
    Grey,
    Crop,
    Resize
  } kind;
  int a = 0, b = 0, c = 0, d = 0; // crop: left, top, right, bottom; resize: w, h
};

struct Options
{
  std::vector<std::string> inputs;
  std::string output;
  int outputType = 0; // IMAGE_FILE_DJVU, _IW44, _BMP, _PNM, _JPEG, _PNG; 0 = from the output name
  bool force = false; // overwrite existing files
  int page = -1;      // 0-based TIFF page; -1: the first
  bool allPages = false;
  // --pages: inclusive 0-based ranges of the pages of multi-page inputs.
  std::vector<std::pair<int, int>> pageRanges;
  // One document (output FILE.djvu with several pages):
  bool indirect = false;  // index plus page files instead of one bundle
  int pagesPerDict = 10;  // pages sharing one shape dictionary (1: none)
  bool keepGoing = false; // write the pages that converted when some failed
  bool copyPages = false; // pages of DjVu inputs copied as they are, not re-encoded
  int method = 2;         // resize method (DIB_RESAMPLE_*)
  std::vector<Operation> operations;
  std::string settingsFile; // empty: the usual Vellum.ini
  // -1 (or false): from the settings. quality is the output kind's: JPEG,
  // DjVu or IW44.
  int filterLevel = -1000, upsample = -1, profile = -1;
  bool lossless = false, noThicken = false, textOnly = false;
  int jobs = 0; // parallel workers; 0: the number of processors
  int quality = -1, smoothing = -1, optimize = -1, encodeDct = -1, decodeDct = -1;
  bool commentGiven = false;
  std::string comment;
  int maxPixels = 0; // pixel limit of the readers; 0: from the settings
  bool quiet = false;
  bool help = false, version = false;
  int thumbnail = 0; // --thumbnail SIZE: inputs are INPUT and OUTPUT
};

// Largest --thumbnail size accepted.
const int kMaxThumbnailSize = 4096;

// Parses argv. On a usage error returns false with the message in error.
bool ParseArguments(int argc, char **argv, Options &options, std::string &error);

// Writes the --help text.
void PrintUsage(FILE *out);

// Runs a whole conversion: every input, every page asked for. Messages go to
// err (one line per failed input), progress to out unless quiet. Returns
// the process exit status: 0 when everything converted, 1 when some input
// failed, 2 on a usage error.
int Run(const Options &options, FILE *out, FILE *err);

// Thumbnail mode: writes output as a PNG of at most size x size pixels
// (aspect kept, never enlarged) of the first page of input. A DjVu or IW44
// page is rendered at the largest subsample that still gives at least size
// pixels, then scaled down; other kinds are read whole and scaled. Returns
// 0, or 1 after one line on err; a failure leaves no output file.
int Thumbnail(const std::string &input, const std::string &output, int size, FILE *err);

// The size a width x height picture gets in a size x size box: aspect kept,
// each side at least 1, never larger than the picture.
void ThumbnailFit(int width, int height, int size, int &outWidth, int &outHeight);

// The largest DjVu render subsample (1..) for a width x height page whose
// reduced picture still has a longer side of at least size pixels.
int ThumbnailSubsample(int width, int height, int size);

} // namespace vellum_convert

#endif

// vellum-convert's command line: the options, their values and --help.
#include "Convert.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "DibImage.h"
#include "ImageFiles.h"

namespace vellum_convert
{

namespace
{

bool ParseInt(const std::string &text, int lo, int hi, int &value)
{
  if (text.empty())
    return false;
  char *end = nullptr;
  errno = 0;
  long v = std::strtol(text.c_str(), &end, 10);
  if (*end || errno == ERANGE || v < lo || v > hi)
    return false;
  value = (int)v;
  return true;
}

// "a,b,c,d" (crop) or "WxH" (resize).
bool ParseInts(const std::string &text, char sep, int count, int *out)
{
  size_t start = 0;
  for (int i = 0; i < count; i++)
  {
    size_t end = i + 1 < count ? text.find(sep, start) : text.size();
    if (end == std::string::npos || !ParseInt(text.substr(start, end - start), 0, INT_MAX, out[i]))
      return false;
    start = end + 1;
  }
  return true;
}

// "1-5,9": page ranges from 1, stored from 0.
bool ParsePageRanges(const std::string &text, std::vector<std::pair<int, int>> &ranges)
{
  ranges.clear();
  size_t start = 0;
  while (start <= text.size())
  {
    size_t comma = text.find(',', start);
    std::string part = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    size_t dash = part.find('-');
    int a, b;
    if (dash == std::string::npos)
    {
      if (!ParseInt(part, 1, 65536, a))
        return false;
      b = a;
    }
    else if (!ParseInt(part.substr(0, dash), 1, 65536, a) || !ParseInt(part.substr(dash + 1), 1, 65536, b) ||
             b < a)
      return false;
    ranges.emplace_back(a - 1, b - 1);
    if (comma == std::string::npos)
      break;
    start = comma + 1;
  }
  return !ranges.empty();
}

int ParseDct(const std::string &text)
{
  if (text == "int" || text == "islow" || text == "0")
    return 0;
  if (text == "fast" || text == "ifast" || text == "1")
    return 1;
  if (text == "float" || text == "2")
    return 2;
  return -1;
}

int ParseType(const std::string &text)
{
  if (text == "djvu" || text == "djv")
    return IMAGE_FILE_DJVU;
  if (text == "iw44" || text == "iw4")
    return IMAGE_FILE_IW44;
  if (text == "bmp")
    return IMAGE_FILE_BMP;
  if (text == "pnm" || text == "pbm" || text == "pgm" || text == "ppm")
    return IMAGE_FILE_PNM;
  if (text == "jpeg" || text == "jpg")
    return IMAGE_FILE_JPEG;
  if (text == "png")
    return IMAGE_FILE_PNG;
  return 0;
}

} // namespace

void PrintUsage(FILE *out)
{
  std::fputs("Usage: vellum-convert [options] INPUT... -o OUTPUT_OR_DIR\n"
             "\n"
             "       vellum-convert --thumbnail SIZE INPUT OUTPUT\n"
             "\n"
             "Converts BMP, PBM/PGM/PPM, TIFF, JPEG, PNG, DjVu and IW44 files to DjVu, IW44,\n"
             "BMP, PNM, JPEG or PNG.\n"
             "With one input, OUTPUT is a file name whose extension chooses the kind; with\n"
             "several inputs, a folder as input or --all-pages it is an existing folder and\n"
             "--type chooses. A folder as input stands for the image files in it.\n"
             "Several pages (inputs, --all-pages, --pages) and an OUTPUT named FILE.djvu\n"
             "that is not a folder make one DjVu document of all the pages, in order.\n"
             "\n"
             "Output:\n"
             "  -o, --output PATH      output file or folder (required)\n"
             "  -t, --type KIND        djvu, iw44, bmp, pnm, jpeg or png\n"
             "  -f, --force            overwrite existing files\n"
             "      --page N           convert page N (from 1) of a TIFF file or DjVu document\n"
             "      --all-pages        convert every page of a TIFF file or DjVu document, each\n"
             "                         to a file of its own (NAME-pN.EXT), or into one\n"
             "                         document for an OUTPUT FILE.djvu; without either, a\n"
             "                         DjVu document converted to DjVu stays one document\n"
             "      --pages LIST       pages of multi-page inputs, such as 1-5,9\n"
             "Documents (OUTPUT FILE.djvu):\n"
             "      --indirect         index file OUTPUT plus one file per page beside it\n"
             "      --pages-per-dict N pages sharing one dictionary of shapes (default 10,\n"
             "                         1 shares none)\n"
             "      --keep-going       write the pages that converted when some failed\n"
             "      --copy-pages       copy the pages of DjVu inputs unchanged (with their\n"
             "                         text, annotations and included files) instead of\n"
             "                         encoding them again; no image operation allowed\n"
             "      --thumbnail SIZE   write OUTPUT as a PNG of at most SIZE x SIZE pixels of\n"
             "                         the first page of INPUT, for file managers\n"
             "Encoding (defaults from Vellum.ini):\n"
             "      --quality N        DjVu, IW44 or JPEG quality, 0 to 100\n"
             "DjVu:\n"
             "      --filter-level N   mask filter level, -200 to 200\n"
             "      --lossless         code the mask without loss\n"
             "      --no-thicken       do not thicken thin strokes\n"
             "      --profile compact|classic   layer coding: compact (smaller pages) or\n"
             "                         classic (the long-standing layers)\n"
             "      --text-only        mask only, no colour layers\n"
             "      --upsample CODE    resolution the page is tuned for: 0 high, 1 medium,\n"
             "                         2 low, 3 very low (or high|medium|low|very-low)\n"
             "JPEG:\n"
             "      --smooth N         smoothing factor, 0 to 100\n"
             "      --optimize, --no-optimize   optimised Huffman tables or not\n"
             "      --dct int|fast|float        DCT method for writing\n"
             "      --decode-dct int|fast|float DCT method for reading JPEG input\n"
             "      --comment TEXT     comment marker (default: the program's name)\n"
             "Image operations, applied in the order given:\n"
             "      --rotate left|right|180\n"
             "      --flip             upside down\n"
             "      --mirror           left to right\n"
             "      --negative\n"
             "      --grey             convert to 8-bit grey\n"
             "      --crop L,T,R,B     keep the rectangle (inclusive, top row 0)\n"
             "      --resize WxH       scale to W x H pixels\n"
             "      --method single|centre|average   scaling method (default average)\n"
             "Other:\n"
             "      --settings FILE    read settings from FILE instead of Vellum.ini\n"
             "      --max-pixels N     refuse images of more than N pixels (width x height;\n"
             "                         default: MaxPixels of Vellum.ini, 300000000)\n"
             "  -j, --jobs N           convert N files or pages at a time (default: the\n"
             "                         processors); a document is the same for every N\n"
             "  -q, --quiet            print only failures\n"
             "  -h, --help             show this help\n"
             "      --version          show the version\n"
             "\n"
             "Existing files are never overwritten without -f. Each failed input is\n"
             "reported on one line; the others are still converted. Exit status: 0 all\n"
             "converted, 1 some input failed, 2 usage error. A document with a failed page\n"
             "is not written at all unless --keep-going is given.\n",
             out);
}

bool ParseArguments(int argc, char **argv, Options &o, std::string &error)
{
  bool optionsDone = false;
  for (int i = 1; i < argc; i++)
  {
    std::string arg = argv[i];
    if (optionsDone || arg.empty() || arg[0] != '-' || arg == "-")
    {
      o.inputs.push_back(arg);
      continue;
    }
    if (arg == "--")
    {
      optionsDone = true;
      continue;
    }
    std::string name = arg, value;
    bool inlineValue = false;
    size_t eq = arg.find('=');
    if (arg.rfind("--", 0) == 0 && eq != std::string::npos)
    {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
      inlineValue = true;
    }
    else if (arg.size() > 2 && arg.rfind("-j", 0) == 0) // -jN
    {
      name = "-j";
      value = arg.substr(2);
      inlineValue = true;
    }
    auto needValue = [&]() -> bool
    {
      if (inlineValue)
        return true;
      if (i + 1 >= argc)
      {
        error = "option " + name + " needs a value";
        return false;
      }
      value = argv[++i];
      return true;
    };
    auto bad = [&](const std::string &what)
    {
      error = "invalid value for " + name + ": \"" + value + "\" (" + what + ")";
      return false;
    };
    Operation op{};
    if (name == "-h" || name == "--help")
      o.help = true;
    else if (name == "--version")
      o.version = true;
    else if (name == "-f" || name == "--force")
      o.force = true;
    else if (name == "-q" || name == "--quiet")
      o.quiet = true;
    else if (name == "--all-pages")
      o.allPages = true;
    else if (name == "--indirect")
      o.indirect = true;
    else if (name == "--keep-going")
      o.keepGoing = true;
    else if (name == "--copy-pages")
      o.copyPages = true;
    else if (name == "--optimize")
      o.optimize = 1;
    else if (name == "--no-optimize")
      o.optimize = 0;
    else if (name == "--lossless")
      o.lossless = true;
    else if (name == "--no-thicken")
      o.noThicken = true;
    else if (name == "--text-only")
      o.textOnly = true;
    else if (name == "--flip" || name == "--mirror" || name == "--negative" || name == "--grey" ||
             name == "--gray")
    {
      op.kind = name == "--flip"       ? Operation::Flip
                : name == "--mirror"   ? Operation::Mirror
                : name == "--negative" ? Operation::Negative
                                       : Operation::Grey;
      o.operations.push_back(op);
    }
    else if (!needValue())
      return false;
    else if (name == "-o" || name == "--output")
      o.output = value;
    else if (name == "-t" || name == "--type")
    {
      if (!(o.outputType = ParseType(value)))
        return bad("djvu, iw44, bmp, pnm, jpeg or png");
    }
    else if (name == "--thumbnail")
    {
      if (!ParseInt(value, 1, kMaxThumbnailSize, o.thumbnail))
        return bad("1 to " + std::to_string(kMaxThumbnailSize) + " pixels");
    }
    else if (name == "--page")
    {
      int page;
      if (!ParseInt(value, 1, 65536, page))
        return bad("a page number from 1");
      o.page = page - 1;
    }
    else if (name == "--pages")
    {
      if (!ParsePageRanges(value, o.pageRanges))
        return bad("page numbers and ranges from 1, such as 1-5,9");
    }
    else if (name == "--pages-per-dict")
    {
      if (!ParseInt(value, 1, 100000, o.pagesPerDict))
        return bad("1 or more");
    }
    else if (name == "--quality")
    {
      if (!ParseInt(value, 0, 100, o.quality))
        return bad("0 to 100");
    }
    else if (name == "--filter-level")
    {
      if (!ParseInt(value, -200, 200, o.filterLevel))
        return bad("-200 to 200");
    }
    else if (name == "--profile")
    {
      if (value == "classic")
        o.profile = 0;
      else if (value == "compact")
        o.profile = 1;
      else
        return bad("compact or classic");
    }
    else if (name == "--upsample")
    {
      if (value == "high")
        o.upsample = 0;
      else if (value == "medium")
        o.upsample = 1;
      else if (value == "low")
        o.upsample = 2;
      else if (value == "very-low")
        o.upsample = 3;
      else if (!ParseInt(value, 0, 3, o.upsample))
        return bad("0 high, 1 medium, 2 low or 3 very low");
    }
    else if (name == "-j" || name == "--jobs")
    {
      if (!ParseInt(value, 1, 256, o.jobs))
        return bad("1 to 256");
    }
    else if (name == "--smooth")
    {
      if (!ParseInt(value, 0, 100, o.smoothing))
        return bad("0 to 100");
    }
    else if (name == "--dct")
    {
      if ((o.encodeDct = ParseDct(value)) < 0)
        return bad("int, fast or float");
    }
    else if (name == "--decode-dct")
    {
      if ((o.decodeDct = ParseDct(value)) < 0)
        return bad("int, fast or float");
    }
    else if (name == "--comment")
    {
      o.commentGiven = true;
      o.comment = value;
    }
    else if (name == "--settings")
      o.settingsFile = value;
    else if (name == "--max-pixels")
    {
      if (!ParseInt(value, 1, INT_MAX, o.maxPixels))
        return bad("a number of pixels from 1");
    }
    else if (name == "--rotate")
    {
      if (value == "left")
        op.kind = Operation::RotateLeft;
      else if (value == "right")
        op.kind = Operation::RotateRight;
      else if (value == "180")
        op.kind = Operation::Rotate180;
      else
        return bad("left, right or 180");
      o.operations.push_back(op);
    }
    else if (name == "--crop")
    {
      int v[4];
      if (!ParseInts(value, ',', 4, v) || v[0] > v[2] || v[1] > v[3])
        return bad("LEFT,TOP,RIGHT,BOTTOM with left <= right and top <= bottom");
      op.kind = Operation::Crop;
      op.a = v[0], op.b = v[1], op.c = v[2], op.d = v[3];
      o.operations.push_back(op);
    }
    else if (name == "--resize")
    {
      int v[2];
      if (!ParseInts(value, 'x', 2, v) || v[0] < 1 || v[1] < 1)
        return bad("WIDTHxHEIGHT, both at least 1");
      op.kind = Operation::Resize;
      op.a = v[0], op.b = v[1];
      o.operations.push_back(op);
    }
    else if (name == "--method")
    {
      if (value == "single")
        o.method = DIB_RESAMPLE_SINGLE;
      else if (value == "centre" || value == "center")
        o.method = DIB_RESAMPLE_CENTRE;
      else if (value == "average")
        o.method = DIB_RESAMPLE_AVERAGE;
      else
        return bad("single, centre or average");
    }
    else
    {
      error = "unknown option " + name;
      return false;
    }
  }
  if (o.help || o.version)
    return true;
  if (o.thumbnail)
  {
    if (o.inputs.size() != 2 || !o.output.empty() || o.outputType || o.allPages || o.page >= 0 ||
        !o.operations.empty())
    {
      error = "--thumbnail takes exactly SIZE INPUT OUTPUT";
      return false;
    }
    return true;
  }
  if (o.inputs.empty())
  {
    error = "no input file given";
    return false;
  }
  if (o.output.empty())
  {
    error = "no output given (-o FILE or -o FOLDER)";
    return false;
  }
  if ((o.page >= 0) + o.allPages + !o.pageRanges.empty() > 1)
  {
    error = "--page, --pages and --all-pages exclude each other";
    return false;
  }
  if (o.copyPages && !o.operations.empty())
  {
    error = "--copy-pages copies pages unchanged: it cannot be combined with an image operation (--rotate, "
            "--flip, --mirror, --negative, --grey, --crop, --resize)";
    return false;
  }
  return true;
}

} // namespace vellum_convert

#include "Convert.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "DibImage.h"
#include "Settings.h"

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
  if (text == "bmp")
    return IMAGE_FILE_BMP;
  if (text == "pnm" || text == "pbm" || text == "pgm" || text == "ppm")
    return IMAGE_FILE_PNM;
  if (text == "jpeg" || text == "jpg")
    return IMAGE_FILE_JPEG;
  return 0;
}

bool IsDirectory(const std::string &path)
{
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string &path)
{
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

std::string Stem(const std::string &path)
{
  size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = name.find_last_of('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

// First line of the last library message, or fallback.
std::string LastError(const char *fallback)
{
  std::string text = g_szLastImageError;
  // The Image API's report reads "DjVu error!\n\nFile: ...\nCause: ...".
  size_t cause = text.find("Cause: ");
  if (cause != std::string::npos)
    text = text.substr(cause + 7);
  size_t nl = text.find('\n');
  if (nl != std::string::npos)
    text = text.substr(0, nl);
  return text.empty() ? fallback : text;
}

const char *Extension(int type, const CDibImage &img)
{
  if (type == IMAGE_FILE_BMP)
    return ".bmp";
  if (type == IMAGE_FILE_JPEG)
    return ".jpg";
  if (img.m_nBitsPerPixel == 1)
    return ".pbm";
  if (img.m_nBitsPerPixel == 8 && img.m_bGrey)
    return ".pgm";
  return ".ppm";
}

struct Context
{
  const Options &opt;
  CVellumSettings settings;
  FILE *out, *err;
  bool toDirectory;
  int type;
  explicit Context(const Options &o) : opt(o), out(nullptr), err(nullptr), toDirectory(false), type(0) {}
};

bool Load(Context &cx, CDibImage &img, const std::string &input, int kind, int page, std::string &why)
{
  g_szLastImageError[0] = 0;
  int ok = 0;
  const char *path = input.c_str();
  switch (kind)
  {
  case IMAGE_FILE_BMP:
    ok = img.LoadBmp(path, DIB_HEADER_INFO);
    break;
  case IMAGE_FILE_PNM:
    ok = img.LoadPnm(path, DIB_HEADER_INFO);
    break;
  case IMAGE_FILE_JPEG:
    ok = img.LoadJpeg(path, 24, cx.opt.decodeDct >= 0 ? cx.opt.decodeDct : cx.settings.JpegDecodeDCT,
                      DIB_HEADER_INFO);
    break;
  case IMAGE_FILE_TIFF:
    ok = img.LoadTiff(path, page, DIB_HEADER_INFO);
    break;
  case IMAGE_FILE_DJVU:
  case IMAGE_FILE_IW44:
    ok =
        img.OpenDjVu(path, kind) && img.RenderDjVu(0, 24, 0, cx.settings.DisplayGamma, DIB_HEADER_INFO, kind);
    break;
  default:
    why = "File type not recognized!";
    return false;
  }
  if (!ok)
    why = LastError("Failed to open the image!");
  return ok != 0;
}

bool Apply(const Context &cx, CDibImage &img, std::string &why)
{
  for (const Operation &op : cx.opt.operations)
  {
    int ok = 0;
    const char *name = "";
    switch (op.kind)
    {
    case Operation::RotateLeft:
      name = "rotate left";
      ok = img.RotateLeft();
      break;
    case Operation::RotateRight:
      name = "rotate right";
      ok = img.RotateRight();
      break;
    case Operation::Rotate180:
      name = "rotate 180";
      ok = img.Rotate180();
      break;
    case Operation::Flip:
      name = "flip";
      ok = img.FlipRows(1);
      break;
    case Operation::Mirror:
      name = "mirror";
      ok = img.Mirror();
      break;
    case Operation::Negative:
      name = "negative";
      ok = img.Negative();
      break;
    case Operation::Grey:
      name = "grey";
      ok = img.ConvertToGray();
      break;
    case Operation::Crop:
      name = "crop";
      if (op.a > op.c || op.b > op.d || op.c >= img.m_nWidth || op.d >= img.m_nHeight)
      {
        why = "crop rectangle " + std::to_string(op.a) + "," + std::to_string(op.b) + "," +
              std::to_string(op.c) + "," + std::to_string(op.d) + " is not inside the " +
              std::to_string(img.m_nWidth) + "x" + std::to_string(img.m_nHeight) + " image";
        return false;
      }
      ok = img.Crop(op.a, op.b, op.c, op.d);
      break;
    case Operation::Resize:
      name = "resize";
      ok = img.Resample(op.a, op.b, cx.opt.method);
      break;
    }
    if (!ok)
    {
      why = std::string(name) + " failed";
      return false;
    }
  }
  return true;
}

bool Save(Context &cx, CDibImage &img, const std::string &target, std::string &why)
{
  if (!cx.opt.force && Exists(target))
  {
    why = target + " exists (use -f to overwrite)";
    return false;
  }
  g_szLastImageError[0] = 0;
  int ok = 0;
  const char *path = target.c_str();
  switch (cx.type)
  {
  case IMAGE_FILE_BMP:
    ok = img.SaveBmp(path);
    break;
  case IMAGE_FILE_PNM:
    ok = img.SavePnm(path);
    break;
  default:
  {
    const CVellumSettings &s = cx.settings;
    const Options &o = cx.opt;
    std::string comment = o.commentGiven ? o.comment : SoftwareText();
    ok = img.SaveJpeg(path, o.quality >= 0 ? o.quality : s.JpegQty,
                      o.smoothing >= 0 ? o.smoothing : s.JpegSmooth,
                      o.optimize >= 0 ? o.optimize : s.JpegOptHuff,
                      o.encodeDct >= 0 ? o.encodeDct : s.JpegEncodeDCT, comment.c_str());
    break;
  }
  }
  if (!ok)
    why = "cannot write " + target + ": " + LastError("Failed to save the image!");
  return ok != 0;
}

// Converts one input (all its pages when asked); false after printing one
// line for the failure.
bool ConvertOne(Context &cx, const std::string &input)
{
  auto fail = [&](const std::string &why)
  {
    std::fprintf(cx.err, "vellum-convert: %s: %s\n", input.c_str(), why.c_str());
    return false;
  };
  int kind = GetImageFileType(input.c_str());
  if (kind == IMAGE_FILE_UNKNOWN)
    return fail("File type not recognized!");
  std::string why;
  CDibImage img;
  int first = kind == IMAGE_FILE_TIFF && cx.opt.page > 0 ? cx.opt.page : 0;
  if (!Load(cx, img, input, kind, first, why))
    return fail(why);
  int count = kind == IMAGE_FILE_TIFF ? img.m_nPageCount : 1;
  if (first >= count)
    return fail("page " + std::to_string(first + 1) + " does not exist (the file has " +
                std::to_string(count) + (count == 1 ? " page)" : " pages)"));
  int last = cx.opt.allPages ? count - 1 : first;
  for (int page = first; page <= last; page++)
  {
    if (page != first && !Load(cx, img, input, kind, page, why))
      return fail(why);
    if (!Apply(cx, img, why))
      return fail(why);
    std::string target = cx.opt.output;
    if (cx.toDirectory)
    {
      target = cx.opt.output;
      if (target.back() != '/')
        target += '/';
      target += Stem(input);
      if (cx.opt.allPages && count > 1)
        target += "-p" + std::to_string(page + 1);
      target += Extension(cx.type, img);
    }
    if (!Save(cx, img, target, why))
      return fail(why);
    if (!cx.opt.quiet)
      std::fprintf(cx.out, "%s -> %s\n", input.c_str(), target.c_str());
  }
  return true;
}

} // namespace

std::string SoftwareText()
{
  // The revision keyword without its "$" delimiters.
  std::string keyword = "$Revision: 1.12 $";
  size_t first = keyword.find('$'), last = keyword.rfind('$');
  std::string revision = keyword.substr(first + 1, last - first - 1);
  char text[128];
  std::snprintf(text, sizeof text, "Orvale %s %s", "Vellum", revision.c_str());
  return text;
}

void PrintUsage(FILE *out)
{
  std::fputs("Usage: vellum-convert [options] INPUT... -o OUTPUT_OR_DIR\n"
             "\n"
             "Converts BMP, PBM/PGM/PPM, TIFF, JPEG, DjVu and IW44 files to BMP, PNM or JPEG.\n"
             "With one input, OUTPUT is a file name whose extension chooses the kind; with\n"
             "several inputs or --all-pages it is an existing folder and --type chooses.\n"
             "\n"
             "Output:\n"
             "  -o, --output PATH      output file or folder (required)\n"
             "  -t, --type KIND        bmp, pnm or jpeg\n"
             "  -f, --force            overwrite existing files\n"
             "      --page N           convert page N (from 1) of a TIFF file\n"
             "      --all-pages        convert every page of a TIFF file (NAME-pN.EXT)\n"
             "JPEG (defaults from Vellum.ini):\n"
             "      --quality N        0 to 100\n"
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
             "  -q, --quiet            print only failures\n"
             "  -h, --help             show this help\n"
             "      --version          show the version\n"
             "\n"
             "Existing files are never overwritten without -f. Each failed input is\n"
             "reported on one line; the others are still converted. Exit status: 0 all\n"
             "converted, 1 some input failed, 2 usage error.\n",
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
    auto bad = [&](const char *what)
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
    else if (name == "--optimize")
      o.optimize = 1;
    else if (name == "--no-optimize")
      o.optimize = 0;
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
        return bad("bmp, pnm or jpeg");
    }
    else if (name == "--page")
    {
      int page;
      if (!ParseInt(value, 1, 65536, page))
        return bad("a page number from 1");
      o.page = page - 1;
    }
    else if (name == "--quality")
    {
      if (!ParseInt(value, 0, 100, o.quality))
        return bad("0 to 100");
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
  if (o.page >= 0 && o.allPages)
  {
    error = "--page and --all-pages exclude each other";
    return false;
  }
  return true;
}

int Run(const Options &options, FILE *out, FILE *err)
{
  Context cx(options);
  cx.out = out;
  cx.err = err;
  cx.settings.LoadSettings(options.settingsFile.empty() ? CVellumSettings::SettingsPath()
                                                        : options.settingsFile);
  cx.toDirectory = options.inputs.size() > 1 || options.allPages || options.output.back() == '/' ||
                   IsDirectory(options.output);
  cx.type = options.outputType;
  if (cx.toDirectory)
  {
    if (!IsDirectory(options.output))
    {
      std::fprintf(err, "vellum-convert: %s is not a folder\n", options.output.c_str());
      return 2;
    }
    if (!cx.type)
    {
      std::fprintf(err, "vellum-convert: converting into a folder needs --type bmp|pnm|jpeg\n");
      return 2;
    }
  }
  else if (!cx.type)
  {
    int kind = GetImageFileType(options.output.c_str());
    const std::string &o = options.output;
    if (o.size() > 4 && strcasecmp(o.c_str() + o.size() - 4, ".pnm") == 0)
      kind = IMAGE_FILE_PNM;
    if (kind != IMAGE_FILE_BMP && kind != IMAGE_FILE_PNM && kind != IMAGE_FILE_JPEG)
    {
      std::fprintf(err,
                   "vellum-convert: cannot tell the output kind of %s (use .bmp, .pnm, .pbm, .pgm, .ppm, "
                   ".jpg or --type)\n",
                   options.output.c_str());
      return 2;
    }
    cx.type = kind;
  }
  int failed = 0;
  for (const std::string &input : options.inputs)
    if (!ConvertOne(cx, input))
      failed++;
  return failed ? 1 : 0;
}

} // namespace vellum_convert

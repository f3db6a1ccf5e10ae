#include "ConvertInternal.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "LoadImage.h"
#include "SaveBook.h"

namespace vellum_convert
{

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

bool Load(Context &cx, CDibImage &img, const std::string &input, int kind, int page, std::string &why)
{
  g_szLastImageError[0] = 0;
  const int dct = cx.opt.decodeDct >= 0 ? cx.opt.decodeDct : cx.settings.JpegDecodeDCT;
  const LoadResult read =
      LoadImage(input, kind, page, 24, dct, img, img.m_strSourcePath == input ? img.m_pBook : nullptr);
  if (read == kLoadUnknownKind)
  {
    why = "File type not recognized!";
    return false;
  }
  const bool ok =
      read == kLoaded && ((kind != IMAGE_FILE_DJVU && kind != IMAGE_FILE_IW44) ||
                          img.RenderDjVu(0, 24, 0, cx.settings.DisplayGamma, DIB_HEADER_INFO, kind));
  if (!ok)
    why = LastError("Failed to open the image!");
  return ok;
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

namespace
{

bool Save(Context &cx, CDibImage &img, const std::string &target, int scope, std::string &why)
{
  if (!cx.opt.force && Exists(target))
  {
    why = target + " exists (use -f to overwrite)";
    return false;
  }
  g_szLastImageError[0] = 0;
  std::string comment = cx.opt.commentGiven ? cx.opt.comment : SoftwareText();
  StepProgress progress(*cx.sink, cx.input);
  int ok = SaveImage(target, cx.type, img, cx.settings, comment.c_str(), &progress, scope);
  if (!ok)
    why = "cannot write " + target + ": " + LastError("Failed to save the image!");
  return ok != 0;
}

std::string Target(const Context &cx, const std::string &input, const CDibImage &img, int page, int count)
{
  if (!cx.toDirectory)
    return cx.opt.output;
  std::string target = cx.opt.output;
  if (target.back() != '/')
    target += '/';
  target += Stem(input);
  if (cx.opt.allPages && count > 1)
    target += "-p" + std::to_string(page + 1);
  return target + DefaultSaveExtension(cx.type, img.m_nBitsPerPixel, img.m_bGrey);
}

// Converts one input (all its pages when asked); false after printing one
// line for the failure. A DjVu document converted to DjVu without a page
// choice stays one document: every page is re-encoded into it (with the
// operations) and it is written once, with its outline and included files.
bool ConvertOne(Context &cx, const std::string &input)
{
  auto fail = [&](const std::string &why)
  {
    cx.sink->Line(true, "vellum-convert: " + input + ": " + why);
    return false;
  };
  int kind = GetImageFileType(input.c_str());
  if (kind == IMAGE_FILE_UNKNOWN)
    return fail("File type not recognized!");
  std::string why;
  CDibImage img;
  const bool paged = kind == IMAGE_FILE_TIFF || kind == IMAGE_FILE_DJVU;
  int first = paged && cx.opt.page > 0 ? cx.opt.page : 0;
  if (kind == IMAGE_FILE_DJVU && first > 0)
  {
    // The page count first: a page past the end is a usage error, not a
    // decoding failure.
    if (!Load(cx, img, input, kind, 0, why))
      return fail(why);
    if (first >= img.m_nPageCount)
      first = -1;
  }
  if (first >= 0 && !Load(cx, img, input, kind, first, why))
    return fail(why);
  int count = paged ? img.m_nPageCount : 1;
  if (first < 0 || first >= count)
    return fail("page " + std::to_string(cx.opt.page + 1) + " does not exist (the file has " +
                std::to_string(count) + (count == 1 ? " page)" : " pages)"));
  // --all-pages into one file (not a folder) also keeps the document whole.
  const bool wholeDocument =
      img.m_pBook && cx.type == IMAGE_FILE_DJVU && cx.opt.page < 0 && (!cx.opt.allPages || !cx.toDirectory);
  if (wholeDocument && cx.opt.copyPages)
  {
    // Nothing to change: the document is written as it was read.
    const std::string target = Target(cx, input, img, first, count);
    if (!cx.opt.force && Exists(target))
      return fail(target + " exists (use -f to overwrite)");
    g_szLastImageError[0] = 0;
    if (!CheckSaveDirectory(target, 0) || !img.WriteDjVuDocument(target.c_str(), 1))
      return fail("cannot write " + target + ": " + LastError("Failed to save the image!"));
    if (!cx.opt.quiet)
      cx.sink->Line(false, input + " -> " + target);
    return true;
  }
  int last = cx.opt.allPages || wholeDocument ? count - 1 : first;
  for (int page = first; page <= last; page++)
  {
    if (page != first && !Load(cx, img, input, kind, page, why))
      return fail(why);
    if (!Apply(cx, img, why))
      return fail(why);
    if (wholeDocument && page < last)
    {
      StepProgress progress(*cx.sink, cx.input);
      if (!EncodeDocumentPage(img, cx.settings, &progress))
        return fail("page " + std::to_string(page + 1) + ": " + LastError("Failed to save the image!"));
      continue;
    }
    const std::string target = Target(cx, input, img, page, count);
    if (!Save(cx, img, target, wholeDocument ? kSaveWholeDocument : kSaveCurrentPage, why))
      return fail(why);
    if (!cx.opt.quiet)
      cx.sink->Line(false, input + " -> " + target);
  }
  return true;
}

bool ConvertInput(Context &cx, size_t item)
{
  return ConvertOne(cx, cx.opt.inputs[item]);
}

// The command line's overrides of the settings for output kind type.
void ApplyOverrides(const Options &o, int type, CVellumSettings &s)
{
  if (o.quality >= 0)
  {
    if (type == IMAGE_FILE_DJVU)
      s.DjvuPhotoQty = o.quality;
    else if (type == IMAGE_FILE_IW44)
      s.Iw44PhotoQty = o.quality;
    else
      s.JpegQty = o.quality;
  }
  if (o.filterLevel != -1000)
    s.DjvuFilterLevel = o.filterLevel;
  if (o.upsample >= 0)
    s.DjvuUpsample = o.upsample;
  if (o.profile >= 0)
    s.DjvuProfile = o.profile;
  if (o.lossless)
    s.DjvuLossless = 1;
  if (o.noThicken)
    s.DjvuNoThick = 1;
  if (o.textOnly)
    s.DjvuTextOnly = 1;
  if (o.smoothing >= 0)
    s.JpegSmooth = o.smoothing;
  if (o.optimize >= 0)
    s.JpegOptHuff = o.optimize;
  if (o.encodeDct >= 0)
    s.JpegEncodeDCT = o.encodeDct;
}

} // namespace

int Run(const Options &given, FILE *out, FILE *err)
{
  // A folder among the inputs stands for the image files directly in it,
  // in name order.
  Options options = given;
  options.inputs.clear();
  bool folderInput = false, emptyFolder = false;
  for (const std::string &input : given.inputs)
  {
    if (!IsDirectory(input))
    {
      options.inputs.push_back(input);
      continue;
    }
    folderInput = true;
    std::vector<std::string> found;
    if (DIR *dir = opendir(input.c_str()))
    {
      while (dirent *e = readdir(dir))
      {
        std::string path = input + (input.back() == '/' ? "" : "/") + e->d_name;
        if (e->d_name[0] != '.' && GetImageFileType(path.c_str()) != IMAGE_FILE_UNKNOWN && !IsDirectory(path))
          found.push_back(path);
      }
      closedir(dir);
    }
    std::sort(found.begin(), found.end());
    if (found.empty())
      emptyFolder = true;
    if (found.empty())
      std::fprintf(err, "vellum-convert: %s: no image files in this folder\n", input.c_str());
    options.inputs.insert(options.inputs.end(), found.begin(), found.end());
  }
  if (options.inputs.empty())
    return 1;
  Context cx(options);
  cx.settings.LoadSettings(options.settingsFile.empty() ? CVellumSettings::SettingsPath()
                                                        : options.settingsFile);
  SetMaxImagePixels(options.maxPixels > 0 ? options.maxPixels : cx.settings.MaxPixels);
  // Several pages into a FILE.djvu (not a folder) make one document. All
  // pages of one DjVu document stay that document, with its outline.
  const bool toDjVuFile = (options.outputType == 0 || options.outputType == IMAGE_FILE_DJVU) &&
                          GetImageFileType(options.output.c_str()) == IMAGE_FILE_DJVU &&
                          options.output.back() != '/' && !IsDirectory(options.output);
  const bool oneDocument = options.inputs.size() == 1 && !folderInput && !options.indirect &&
                           GetImageFileType(options.inputs[0].c_str()) == IMAGE_FILE_DJVU;
  const bool book = toDjVuFile && (options.inputs.size() > 1 || folderInput || !options.pageRanges.empty() ||
                                   options.indirect || (options.allPages && !oneDocument));
  cx.toDirectory = !book && (options.inputs.size() > 1 || folderInput || (options.allPages && !toDjVuFile) ||
                             options.output.back() == '/' || IsDirectory(options.output));
  cx.type = book ? IMAGE_FILE_DJVU : options.outputType;
  if (cx.toDirectory)
  {
    if (!IsDirectory(options.output))
    {
      std::fprintf(err, "vellum-convert: %s is not a folder\n", options.output.c_str());
      return 2;
    }
    if (!cx.type)
    {
      std::fprintf(err, "vellum-convert: converting into a folder needs --type djvu|iw44|bmp|pnm|jpeg|png\n");
      return 2;
    }
  }
  else if (!cx.type)
  {
    const int kind = GetImageFileType(options.output.c_str());
    if (kind != IMAGE_FILE_BMP && kind != IMAGE_FILE_PNM && kind != IMAGE_FILE_JPEG &&
        kind != IMAGE_FILE_DJVU && kind != IMAGE_FILE_IW44 && kind != IMAGE_FILE_PNG)
    {
      std::fprintf(err,
                   "vellum-convert: cannot tell the output kind of %s (use .djvu, .djv, .iw44, .iw4, .bmp, "
                   ".pnm, .pbm, .pgm, .ppm, .jpg, .png or --type)\n",
                   options.output.c_str());
      return 2;
    }
    cx.type = kind;
  }
  ApplyOverrides(options, cx.type, cx.settings);
  bool status = !options.quiet && err == stderr && isatty(STDERR_FILENO);
  cx.items = options.inputs;
  for (const std::string &input : options.inputs)
    cx.shareKeys.push_back(Stem(input));
  cx.convert = ConvertInput;
  Display display(cx.items, out, err, status);
  cx.sink = &display;
  int jobs = options.jobs;
  if (jobs <= 0)
  {
    long cores = sysconf(_SC_NPROCESSORS_ONLN);
    jobs = cores > 0 ? (int)std::min(cores, 256L) : 1;
  }
  bool ok =
      book ? RunBook(cx, display, jobs, status, out, err) : RunItems(cx, display, jobs, status, out, err);
  display.Clear();
  std::fflush(err);
  return ok && !emptyFolder ? 0 : 1;
}

void ThumbnailFit(int width, int height, int size, int &outWidth, int &outHeight)
{
  outWidth = width;
  outHeight = height;
  const int longer = std::max(width, height);
  if (longer <= size)
    return;
  // Rounded, in 64 bits: the sides can be large.
  outWidth = (int)std::max<int64_t>(1, ((int64_t)width * size + longer / 2) / longer);
  outHeight = (int)std::max<int64_t>(1, ((int64_t)height * size + longer / 2) / longer);
}

int ThumbnailSubsample(int width, int height, int size)
{
  const int longer = std::max(width, height);
  // The reduced side is the page side divided, rounded up: at least size.
  int sub = size > 0 ? longer / size : 1;
  return sub < 1 ? 1 : sub;
}

int Thumbnail(const std::string &input, const std::string &output, int size, FILE *err)
{
  auto fail = [&](const std::string &why)
  {
    std::fprintf(err, "vellum-convert: %s: %s\n", input.c_str(), why.c_str());
    return 1;
  };
  const int kind = GetImageFileType(input.c_str());
  if (kind == IMAGE_FILE_UNKNOWN)
    return fail("File type not recognized!");
  Options options;
  Context cx(options); // the built-in settings: a thumbnailer reads no Vellum.ini
  CDibImage img;
  std::string why;
  g_szLastImageError[0] = 0;
  if (kind == IMAGE_FILE_DJVU || kind == IMAGE_FILE_IW44)
  {
    // Decode, then render straight at the reduction that fits.
    if (!img.OpenDjVu(input.c_str(), kind))
      return fail(LastError("Failed to open the image!"));
    const int sub = ThumbnailSubsample(img.m_nSourceWidth, img.m_nSourceHeight, size);
    if (!img.RenderDjVu(0, 24, 1 - sub, cx.settings.DisplayGamma, DIB_HEADER_INFO, kind))
      return fail(LastError("Failed to open the image!"));
  }
  else if (!Load(cx, img, input, kind, 0, why))
    return fail(why);

  int w, h;
  ThumbnailFit(img.m_nWidth, img.m_nHeight, size, w, h);
  if (w != img.m_nWidth || h != img.m_nHeight)
  {
    // A black-and-white page shrinks to grey, not to scattered bits.
    const DibRgbQuad *pal = img.Palette();
    if (img.m_nBitsPerPixel == 1 && pal[0].rgbRed == pal[0].rgbBlue && pal[1].rgbRed == pal[1].rgbBlue &&
        pal[0].rgbRed == pal[0].rgbGreen && pal[1].rgbRed == pal[1].rgbGreen && !img.ConvertToGray())
      return fail("Out of memory");
    if (!img.Resample(w, h, DIB_RESAMPLE_AVERAGE))
      return fail("Failed to scale the image");
  }
  if (!img.SavePng(output.c_str()))
    return fail("cannot write " + output + ": " + LastError("Failed to save the image!"));
  return 0;
}

} // namespace vellum_convert

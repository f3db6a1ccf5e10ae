#include "DocumentNames.h"

#include <cstdio>

namespace vellum
{

const char *const kMsgOpenFailed = "Failed to open the image!";
const char *const kMsgTypeNotRecognized = "File type not recognized!";
const char *const kMsgAcquireFailed = "Failed to acquire image!";
const char *const kMsgRerenderFailed = "Failed to re-render the image!";
const char *const kTitleScanned = "Untitled scanned image";
const char *const kTitleClipboard = "Untitled clipboard image";
const char *const kProductName = "Vellum";
const char *const kRevisionKeyword = "$Revision: 1.12 $";

namespace
{

const OpenFilter kOpenFilters[kOpenFilterCount] = {
    {"DjVu file (*.djvu;*.djv)", "*.djvu;*.djv", kKindDjVu},
    {"IW44 file (*.iw44;*.iw4)", "*.iw44;*.iw4", kKindIw44},
    {"Windows Bitmap (*.bmp)", "*.bmp", kKindBmp},
    {"JPEG file (*.jpg;*.jpeg)", "*.jpg;*.jpeg", kKindJpeg},
    {"TIFF file (*.tif;*.tiff)", "*.tif;*.tiff", kKindTiff},
    {"PNM file (*.pnm;*.ppm;*.pgm;*.pbm)", "*.pnm;*.ppm;*.pgm;*.pbm", kKindPnm},
    {"PNG file (*.png)", "*.png", kKindPng},
    {"All supported image files",
     "*.djvu;*.djv;*.iw44;*.iw4;*.bmp;*.jpg;*.jpeg;*.tif;*.tiff;*.pnm;*.ppm;*.pgm;*.pbm;*.png",
     kKindAllSupported},
    // Every file listed; the kind still comes from the name.
    {"All files", "*", kKindAllSupported},
};

std::string Format(const char *format, const std::string &a, const std::string &b)
{
  int n = std::snprintf(nullptr, 0, format, a.c_str(), b.c_str());
  if (n < 0)
    return std::string();
  std::string out(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(&out[0], out.size(), format, a.c_str(), b.c_str());
  out.resize(static_cast<size_t>(n));
  return out;
}

} // namespace

std::string RevisionText(const std::string &keyword)
{
  const size_t first = keyword.find('$');
  const size_t last = keyword.rfind('$');
  if (first == std::string::npos || first == last)
    return keyword;
  return keyword.substr(first + 1, last - first - 1);
}

std::string SoftwareText(const std::string &keyword)
{
  return Format("Orvale %s %s", kProductName, RevisionText(keyword));
}

std::string DirectoryOf(const std::string &path)
{
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string OpenedTitle(const std::string &path, int pageIndex, int pageCount)
{
  const std::string name = FileNameOf(path);
  if (pageCount < 2)
    return name;
  char pages[64];
  std::snprintf(pages, sizeof pages, " (page %d of %d)", pageIndex + 1, pageCount);
  return name + pages;
}

std::string BookSaveQuestion(int pageIndex, int pageCount)
{
  char text[256];
  std::snprintf(text, sizeof text,
                "Save the whole document (%d pages)?\n\nYes saves every page; No saves page %d alone.",
                pageCount, pageIndex + 1);
  return text;
}

std::string BookSavePageText(int page, int count)
{
  char text[64];
  std::snprintf(text, sizeof text, "Page %d of %d", page + 1, count);
  return text;
}

std::string SavedTitle(const std::string &lastOpenedPath, const std::string &savedPath)
{
  const std::string opened = FileNameOf(lastOpenedPath), saved = FileNameOf(savedPath);
  // Saved under the name it came from: saying it twice tells nothing.
  if (opened.empty() || opened == saved)
    return saved;
  return Format("%s (last saved as %s)", opened, saved);
}

std::string OpenFailedText(const std::string &path, const std::string &reason)
{
  return std::string(kMsgOpenFailed) + "\n\n" + FileNameOf(path) + ": " +
         (reason.empty() ? "the file is damaged or is not an image of a supported kind." : reason);
}

std::string OpenFailureReason(const std::string &lastError)
{
  std::string text = lastError;
  const std::string cause = "Cause: ";
  const size_t at = text.find(cause);
  if (text.rfind("DjVu error!", 0) == 0 && at != std::string::npos)
    text = text.substr(at + cause.size());
  const size_t eol = text.find('\n');
  if (eol != std::string::npos)
    text.erase(eol);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\r' || text.back() == '.'))
    text.pop_back();
  return text.empty() ? text : text + ".";
}

std::string WindowTitle(const std::string &docTitle, bool modified)
{
  if (docTitle.empty())
    return kProductName;
  return (modified ? "*" : "") + docTitle + " - " + kProductName;
}

std::string SaveFirstQuestion(const std::string &title)
{
  return "Save " + title + " first?";
}

std::string ColorDepthWarning(int bitsPerPixel)
{
  if (bitsPerPixel > 8)
    return std::string();
  char text[320];
  std::snprintf(text, sizeof text,
                "Your display color depth is only %d-bit.\n\nSome images may not appear to look good on the "
                "screen at this color depth.\nIt is recommended that you increase the color depth to be at "
                "least 16-bit.",
                bitsPerPixel);
  return text;
}

std::string SizePaneText(bool hasImage, int width, int height, int bits, bool grey)
{
  if (!hasImage)
    return " WxHxBits";
  char text[64];
  std::snprintf(text, sizeof text, "%dx%dx%d%s", width, height, bits, grey ? "g" : "");
  return text;
}

std::string DpiPaneText(bool hasImage, int xdpi, int ydpi)
{
  if (!hasImage)
    return " DPI";
  if (xdpi == ydpi)
    return xdpi > 0 ? std::to_string(xdpi) + " DPI" : "? DPI";
  const std::string x = xdpi > 0 ? std::to_string(xdpi) : "?";
  return x + "," + (ydpi > 0 ? std::to_string(ydpi) : "?") + " DPI";
}

const OpenFilter &OpenFilterAt(int index)
{
  if (index < 1 || index > kOpenFilterCount)
    index = kOpenFilterAllSupported;
  return kOpenFilters[index - 1];
}

int OpenFilterIndexForType(int openType)
{
  for (int i = 1; i <= kOpenFilterCount; ++i)
    if (kOpenFilters[i - 1].kind == openType)
      return i;
  return kOpenFilterAllSupported;
}

int KindForOpenFilterIndex(int index)
{
  if (index < 1 || index > kOpenFilterCount)
    return kKindAllSupported;
  return kOpenFilters[index - 1].kind;
}

std::string OpenFilterWildcard()
{
  std::string out;
  for (const OpenFilter &f : kOpenFilters)
  {
    if (!out.empty())
      out += '|';
    out += f.description;
    out += '|';
    out += f.pattern;
  }
  return out;
}

int64_t DibColorTableSize(int bitCount, uint32_t compression, uint32_t colorsUsed)
{
  const uint32_t limit = bitCount >= 1 && bitCount <= 8 ? (1u << bitCount) : 256u;
  if (colorsUsed != 0)
    return colorsUsed > limit ? -1 : 4 * static_cast<int64_t>(colorsUsed);
  if (bitCount == 1 || bitCount == 4 || bitCount == 8)
    return 4 * (int64_t{1} << bitCount);
  if ((bitCount == 16 || bitCount == 32) && compression == 3)
    return 12;
  return 0;
}

} // namespace vellum

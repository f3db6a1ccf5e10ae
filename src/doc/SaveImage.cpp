// Save and convert: dialog rules, resolution review, encoder records and the
// dispatch to the record's writers. See SaveImage.h.
#include "SaveImage.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <mutex>
#include <sys/stat.h>
#include <sys/types.h>

#include "FileSystem.h"
#include "MessageBox.h"

namespace
{

const char kCaption[] = "Vellum";

// The progress hook of the Image API is one process-wide routine; it hands
// each report to the observer of the save running on the calling thread
// (the encoders report synchronously on the caller's thread), and to the
// hook installed before ours when that thread has none.
thread_local CSaveProgress *t_progress = nullptr;
djvu_progress_callback g_previousHook = nullptr;
std::once_flag g_hookOnce;

void ProgressHook(const char *text, int percent, int progressData)
{
  if (t_progress)
    t_progress->OnSaveProgress(text ? text : "", percent);
  else if (g_previousHook)
    g_previousHook(text, percent, progressData);
}

// Sets the thread's observer for the duration of one save.
class ProgressScope
{
public:
  explicit ProgressScope(CSaveProgress *progress) : m_old(t_progress)
  {
    std::call_once(g_hookOnce, [] { g_previousHook = djvu_set_progress_callback(ProgressHook); });
    t_progress = progress;
  }
  ~ProgressScope() { t_progress = m_old; }
  ProgressScope(const ProgressScope &) = delete;
  ProgressScope &operator=(const ProgressScope &) = delete;

private:
  CSaveProgress *m_old;
};

std::string Format(const char *fmt, const std::string &arg)
{
  int n = std::snprintf(nullptr, 0, fmt, arg.c_str());
  if (n < 0)
    return std::string();
  std::string out((size_t)n + 1, '\0');
  std::snprintf(&out[0], out.size(), fmt, arg.c_str());
  out.resize((size_t)n);
  return out;
}

} // namespace

// ------------------------------------------------------------ dialog rules

const SaveFilter kSaveFilters[kSaveFilterCount] = {
    {IMAGE_FILE_DJVU, "DjVu File (*.djvu;*.djv)", "*.djvu;*.djv"},
    {IMAGE_FILE_IW44, "IW44 File (*.iw44;*.iw4)", "*.iw44;*.iw4"},
    {IMAGE_FILE_BMP, "Windows Bitmap (*.bmp)", "*.bmp"},
    {IMAGE_FILE_JPEG, "JPEG File (*.jpg)", "*.jpg"},
    {IMAGE_FILE_PNM, "PNM file (*.ppm;*.pgm;*.pbm)", "*.ppm;*.pgm;*.pbm"},
    {IMAGE_FILE_PNG, "PNG file (*.png)", "*.png"},
};

int SaveKindFromFilterIndex(int index)
{
  return index >= 1 && index <= kSaveFilterCount ? kSaveFilters[index - 1].kind : 0;
}

int FilterIndexFromSaveKind(int kind)
{
  for (int i = 0; i < kSaveFilterCount; i++)
    if (kSaveFilters[i].kind == kind)
      return i + 1;
  return 0;
}

std::string DefaultSaveExtension(int kind, int bits, int grey)
{
  switch (kind)
  {
  case IMAGE_FILE_DJVU:
    return ".djvu";
  case IMAGE_FILE_IW44:
    return ".iw44";
  case IMAGE_FILE_BMP:
    return ".bmp";
  case IMAGE_FILE_JPEG:
    return ".jpg";
  case IMAGE_FILE_PNM:
    return bits == 1 ? ".pbm" : bits == 8 && grey ? ".pgm" : ".ppm";
  case IMAGE_FILE_PNG:
    return ".png";
  default:
    return std::string();
  }
}

std::string SaveDirectoryOf(const std::string &path)
{
  size_t slash = path.rfind('/');
  if (slash == std::string::npos)
    return std::string();
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string ReplaceExtension(const std::string &name, const std::string &ext)
{
  // Only a "." in the file name itself starts an extension: "a.b/page"
  // has none.
  size_t slash = name.rfind('/');
  size_t dot = name.rfind('.');
  std::string stem =
      dot == std::string::npos || (slash != std::string::npos && dot < slash) ? name : name.substr(0, dot);
  std::string out = stem + ext;
  return out.size() > (size_t)kMaxSaveName ? std::string() : out;
}

std::string ProposeSaveName(const std::string &pathName, int saveType, int bits, int grey, int &untitled)
{
  const std::string ext = DefaultSaveExtension(saveType, bits, grey);
  if (!pathName.empty())
    return ReplaceExtension(vellum::FileNameOf(pathName), ext);
  char base[32];
  std::snprintf(base, sizeof base, "%s%04d", "untitled", untitled + 1);
  if (untitled < INT_MAX)
    untitled++;
  return ReplaceExtension(base, ext);
}

std::string FinalSaveName(const std::string &name, int kind, int bits, int grey)
{
  if (GetImageFileType(name.c_str()) == kind)
    return name;
  std::string out = name + DefaultSaveExtension(kind, bits, grey);
  return out.size() > (size_t)PATH_MAX - 1 ? std::string() : out;
}

std::string SaveProgressMessage(const std::string &path)
{
  return Format(
      "Saving %s. The time it takes will depend on the size of the image, and the format to which it is "
      "saved.",
      vellum::FileNameOf(path));
}

// ------------------------------------------------------ resolution review

std::string ResolutionReviewMessage(int xdpi, int ydpi, int upsample)
{
  const int r = xdpi > ydpi ? xdpi : ydpi;
  const char *tail =
      ",\nand the current DjVu settings are may not be optimized for that.\n\nDo you want to review the "
      "settings before saving?";
  if (r < 0)
  {
    static const char *const kTuned[4] = {"high", "medium", "low", "very low"};
    if (upsample < 0 || upsample > 3)
      return std::string();
    return Format(
        "Your document appears to be scanned at an unknown resolution,\nand the current DjVu settings are "
        "optimized for %s resolutions.\n\nDo you want to review the settings before saving?",
        kTuned[upsample]);
  }
  if (r >= 300)
    return upsample != 0 ? std::string("Your document appears to be scanned at high resolution") + tail : "";
  if (r >= 100)
    return upsample != 1 ? std::string("Your document appears to be scanned at medium resolution") + tail
                         : "";
  return upsample != 2 && upsample != 3
             ? std::string("Your document appears to be scanned at low or very low resolution") + tail
             : "";
}

int RunResolutionReview(int xdpi, int ydpi, const CVellumSettings &settings,
                        const std::function<void()> &openDjVuSettings)
{
  std::string message = ResolutionReviewMessage(xdpi, ydpi, settings.DjvuUpsample);
  if (message.empty())
    return 1;
  int answer = VellumMessageBox(message.c_str(), kCaption, VMB_YESNOCANCEL | VMB_ICONQUESTION);
  if (answer == VID_CANCEL)
    return 0;
  if (answer == VID_YES && openDjVuSettings)
    openDjVuSettings();
  return 1;
}

// ------------------------------------------------------- encoder records

void SetSaveParameterDefaults(SaveParameters &p)
{
  p.mask = djvu_mask_params DJVU_MASK_PARAMS_DEFAULTS;
  p.encode = djvu_encode_params DJVU_ENCODE_PARAMS_DEFAULTS;
  p.iw44 = djvu_iw44_params DJVU_IW44_PARAMS_DEFAULTS;
  p.upsample = -1;
  p.textOnly = 0;
  p.jpegQuality = p.jpegSmoothing = p.jpegOptimize = p.jpegDct = 0;
}

SaveParameters MakeSaveParameters(const CVellumSettings &s, int kind)
{
  SaveParameters p;
  SetSaveParameterDefaults(p);
  switch (kind)
  {
  case IMAGE_FILE_DJVU:
    p.encode.size = 28;
    p.encode.gamma = s.DjvuPhotoGamma;
    p.encode.quality = s.DjvuPhotoQty;
    p.encode.flags = (s.DjvuLossless ? DJVU_ENCODE_LOSSLESS : 0) |
                     (s.DjvuNoThick ? DJVU_ENCODE_NO_THICKEN : 0) |
                     (s.DjvuProfile == 1 ? DJVU_ENCODE_COMPACT : 0);
    p.encode.fg_dpi = 50;
    p.encode.bg_dpi = 100;
    p.encode.progress_data = 0;
    p.mask.size = 36;
    p.mask.filter_level = s.DjvuFilterLevel;
    p.mask.multi_forback = s.DjvuForeback;
    p.mask.switches = (s.DjvuNoColorFilter ? DJVU_MASK_NO_COLOR_FILTER : 0) |
                      (s.DjvuNoSizeFilter ? DJVU_MASK_NO_SIZE_FILTER : 0) |
                      (s.DjvuNoInvFilter ? DJVU_MASK_NO_INVERSION_FILTER : 0);
    p.mask.dpi = 300;
    p.mask.dpi_double = 0;
    p.mask.dpi_triple = 0;
    p.mask.progress_data = 0;
    p.mask.band_inches = 0;
    p.upsample = s.DjvuUpsample >= 0 && s.DjvuUpsample <= 3 ? -1 - s.DjvuUpsample : -1;
    p.textOnly = s.DjvuTextOnly;
    break;
  case IMAGE_FILE_IW44:
    p.iw44.size = 20;
    p.iw44.gamma = s.Iw44PhotoGamma;
    p.iw44.quality = s.Iw44PhotoQty;
    p.iw44.flags = s.Iw44Crcb;
    p.iw44.progress_data = 0;
    break;
  case IMAGE_FILE_JPEG:
    p.jpegQuality = s.JpegQty;
    p.jpegSmoothing = s.JpegSmooth;
    p.jpegOptimize = s.JpegOptHuff;
    p.jpegDct = s.JpegEncodeDCT;
    break;
  default:
    break;
  }
  return p;
}

// ---------------------------------------------------------------- saving

int CheckSaveDirectory(const std::string &path, int mode)
{
  return vellum::EnsureDirectory(path, mode) ? 1 : 0;
}

int SaveImage(const std::string &path, int kind, CDibImage &image, const CVellumSettings &settings,
              const char *softwareText, CSaveProgress *progress, int saveScope)
{
  if (path.empty() || !CheckSaveDirectory(path, 0))
    return 0;
  const SaveParameters p = MakeSaveParameters(settings, kind);
  ProgressScope scope(progress);
  if (progress)
    progress->OnSaveBegin();
  int result = 0;
  switch (kind)
  {
  case IMAGE_FILE_DJVU:
    if (image.m_pBook)
    {
      result = image.SaveDjVuDocument(path.c_str(), saveScope != kSaveCurrentPage, p.upsample, p.textOnly,
                                      &p.mask, &p.encode);
      // The file it came from has changed: its pages are read again from
      // the new file rather than from the document held.
      if (result && path == image.m_strSourcePath)
        image.m_strSourcePath.clear();
    }
    else
      result = image.SaveDjVu(path.c_str(), p.upsample, p.textOnly, &p.mask, &p.encode);
    break;
  case IMAGE_FILE_IW44:
    result = image.SaveIw44(path.c_str(), &p.iw44);
    break;
  case IMAGE_FILE_BMP:
    result = image.SaveBmp(path.c_str());
    break;
  case IMAGE_FILE_PNM:
    result = image.SavePnm(path.c_str());
    break;
  case IMAGE_FILE_JPEG:
    result =
        image.SaveJpeg(path.c_str(), p.jpegQuality, p.jpegSmoothing, p.jpegOptimize, p.jpegDct, softwareText);
    break;
  case IMAGE_FILE_PNG:
    result = image.SavePng(path.c_str());
    break;
  default:
    break;
  }
  if (progress)
    progress->OnSaveEnd();
  return result;
}

int EncodeDocumentPage(CDibImage &image, const CVellumSettings &settings, CSaveProgress *progress)
{
  const SaveParameters p = MakeSaveParameters(settings, IMAGE_FILE_DJVU);
  ProgressScope scope(progress);
  if (progress)
    progress->OnSaveBegin();
  const int result = image.ReplaceDjVuPage(p.upsample, p.textOnly, &p.mask, &p.encode);
  if (progress)
    progress->OnSaveEnd();
  return result;
}

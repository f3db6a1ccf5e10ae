// The dialogs' rules: fields, presets, Default/Reset, validation at OK and
// the resize arithmetic. See DialogLogic.h.
#include "DialogLogic.h"

#include "Associations.h"
#include "MessageBox.h"
#include "Settings.h"

#include <charconv>
#include <cstdint>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace vellum
{

const char kDialogCaption[] = "Vellum";

namespace
{

const float kDefaultGamma = 2.2f;
const float kMinGamma = 0.1f;
const size_t kEditChars = 9;

bool IsBlank(char c)
{
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string RangeMessage(const char *what, const std::string &lo, const std::string &hi)
{
  return std::string("Please enter ") + what + " between " + lo + " and " + hi + ".";
}

std::string FormatBound(double v)
{
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6);
  return r.ec == std::errc() ? std::string(buf, r.ptr) : std::string("0");
}

// The value of a text that passed its check.
int TextInt(const std::string &text)
{
  long long v = 0;
  ParseIntStrict(text, &v);
  return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : (int)v;
}

float TextReal(const std::string &text)
{
  double v = 0;
  ParseRealStrict(text, &v);
  return (float)v;
}

// Radio value: v when within 0..count-1, else -1 (none selected).
int RadioOf(int v, int count)
{
  return v >= 0 && v < count ? v : -1;
}

} // namespace

// ---------------------------------------------------------------------------
// Fields

int EditInt(const std::string &text)
{
  std::string t = text.substr(0, kEditChars);
  // atoi: blanks, sign, digits; 9 characters cannot overflow an int.
  return std::atoi(t.c_str());
}

float EditReal(const std::string &text)
{
  return ParseReal(text.substr(0, kEditChars));
}

std::string FormatInt(long long value)
{
  return std::to_string(value);
}

std::string FormatGamma(float value)
{
  return FormatBound((double)value);
}

int Clamp(int value, int lo, int hi)
{
  return value < lo ? lo : value > hi ? hi : value;
}

int GammaToTrackbar(float gamma)
{
  if (!std::isfinite(gamma))
    return 0;
  // Truncation with a tolerance of 1e-4: a float gamma such as 0.29 holds
  // 0.28999999, and plain truncation would put its trackbar one step low.
  double p = std::floor((double)gamma * 100.0 + 1e-4);
  if (p < 0)
    return 0;
  if (p > 1000)
    return 1000;
  return (int)p;
}

float GammaFromTrackbar(int position)
{
  float g = (float)(position * 0.01);
  return g < kMinGamma ? kMinGamma : g;
}

float GammaFromEdit(const std::string &text)
{
  float g = EditReal(text);
  return g < kMinGamma ? kMinGamma : g;
}

bool ParseIntStrict(const std::string &text, long long *value)
{
  size_t p = 0, n = text.size();
  while (p < n && IsBlank(text[p]))
    p++;
  bool neg = false;
  if (p < n && (text[p] == '+' || text[p] == '-'))
    neg = text[p++] == '-';
  size_t digits = p;
  long long v = 0;
  while (p < n && text[p] >= '0' && text[p] <= '9')
  {
    if (v > (1LL << 40))
      return false; // far beyond any field's range
    v = v * 10 + (text[p++] - '0');
  }
  if (p == digits)
    return false;
  while (p < n && IsBlank(text[p]))
    p++;
  if (p != n)
    return false;
  *value = neg ? -v : v;
  return true;
}

bool ParseRealStrict(const std::string &text, double *value)
{
  size_t p = 0, n = text.size();
  while (p < n && IsBlank(text[p]))
    p++;
  size_t start = p;
  if (p < n && (text[p] == '+' || text[p] == '-'))
    p++;
  size_t mant = p;
  int digits = 0;
  while (p < n && text[p] >= '0' && text[p] <= '9')
    p++, digits++;
  if (p < n && text[p] == '.')
  {
    p++;
    while (p < n && text[p] >= '0' && text[p] <= '9')
      p++, digits++;
  }
  if (digits == 0 || p == mant)
    return false;
  if (p < n && (text[p] == 'e' || text[p] == 'E'))
  {
    size_t e = p + 1;
    if (e < n && (text[e] == '+' || text[e] == '-'))
      e++;
    size_t ed = e;
    while (e < n && text[e] >= '0' && text[e] <= '9')
      e++;
    if (e == ed)
      return false;
    p = e;
  }
  size_t end = p;
  while (p < n && IsBlank(text[p]))
    p++;
  if (p != n)
    return false;
  std::string num = text.substr(start, end - start);
  double v = ParseReal(num);
  if (!std::isfinite(v))
    return false;
  *value = v;
  return true;
}

std::string CheckIntField(const std::string &text, int lo, int hi)
{
  long long v;
  if (!ParseIntStrict(text, &v))
    return "Please enter an integer.";
  if (v < lo || v > hi)
    return RangeMessage("an integer", FormatInt(lo), FormatInt(hi));
  return std::string();
}

std::string CheckUIntField(const std::string &text)
{
  long long v;
  size_t p = text.find_first_not_of(" \t\n\r\v\f");
  if (!ParseIntStrict(text, &v) || v < 0 || v > 0xFFFFFFFFLL || (p != std::string::npos && text[p] == '-'))
    return "Please enter a positive integer.";
  return std::string();
}

std::string CheckRealField(const std::string &text, double lo, double hi)
{
  double v;
  if (!ParseRealStrict(text, &v))
    return "Please enter a number.";
  // The edit holds a float: compare what the member will hold.
  float f = (float)v;
  if (f < (float)lo || f > (float)hi)
    return RangeMessage("a number", FormatBound(lo), FormatBound(hi));
  return std::string();
}

void DialogDocument::MarkModifiedIfKind(int kind) const
{
  if (hasImage && fileKind == kind && setModified)
    setModified();
}

// ---------------------------------------------------------------------------
// DjVu Settings

const char CDjVuSettingsLogic::kResetQuestion[] =
    "Resetting the 'Quick Set' option will changesettings in the 'Advanced DjVu Parameters' dialog "
    "box.\nDo you want to reset 'Quick Set'?";

bool ApplyDjvuQuickSet(int quickSet, CVellumSettings &settings, const DialogDocument &doc)
{
  static const int kPresets[3][3] = {
      // lossless, no thickening, upsampling
      {0, 0, 0},
      {0, 0, 1},
      {1, 1, 2},
  };
  if (quickSet < 0 || quickSet > 2)
    return false;
  settings.DjvuLossless = kPresets[quickSet][0];
  settings.DjvuNoThick = kPresets[quickSet][1];
  settings.DjvuUpsample = kPresets[quickSet][2];
  doc.MarkModifiedIfKind(1);
  return true;
}

CDjVuSettingsLogic::CDjVuSettingsLogic(CVellumSettings &settings, const DialogDocument &doc)
    : m_settings(settings), m_doc(doc)
{
  Load();
}

void CDjVuSettingsLogic::Load()
{
  quality = m_settings.DjvuPhotoQty;
  quickSet = m_settings.DjvuQuickSet;
  profile = m_settings.DjvuProfile == kProfileCompact ? kProfileCompact : kProfileClassic;
  Refresh();
}

void CDjVuSettingsLogic::OnQualityTrack(int position)
{
  quality = position;
  Refresh();
}

void CDjVuSettingsLogic::OnQualityText(const std::string &text)
{
  qualityText = text;
  quality = EditInt(text);
}

void CDjVuSettingsLogic::OnQuickSet(int which)
{
  quickSet = which;
  ApplyDjvuQuickSet(which, m_settings, m_doc);
}

void CDjVuSettingsLogic::OnDefault()
{
  quickSet = -1;
  quality = kDefaultQuality;
  profile = kDefaultProfile;
  Refresh();
}

void CDjVuSettingsLogic::OnReset()
{
  if (quickSet != m_settings.DjvuQuickSet)
  {
    int answer = VellumMessageBox(kResetQuestion, kDialogCaption, VMB_YESNO | VMB_ICONEXCLAMATION);
    if (answer == VID_YES)
    {
      quickSet = m_settings.DjvuQuickSet;
      ApplyDjvuQuickSet(quickSet, m_settings, m_doc);
    }
    else
      quickSet = -1;
  }
  quality = m_settings.DjvuPhotoQty;
  profile = m_settings.DjvuProfile == kProfileCompact ? kProfileCompact : kProfileClassic;
  Refresh();
}

void CDjVuSettingsLogic::AfterAdvanced()
{
  quickSet = m_settings.DjvuQuickSet;
  Refresh();
}

FieldError CDjVuSettingsLogic::Validate()
{
  FieldError e;
  e.message = CheckIntField(qualityText, kQualityMin, kQualityMax);
  e.controlId = IDC_QUALITY_EDIT;
  if (!e)
    quality = TextInt(qualityText);
  return e;
}

void CDjVuSettingsLogic::Store()
{
  m_settings.DjvuPhotoQty = quality;
  m_settings.DjvuQuickSet = quickSet;
  m_settings.DjvuProfile = profile;
  m_doc.MarkModifiedIfKind(1);
}

// ---------------------------------------------------------------------------
// DjVu Advanced Parameters

CDjVuAdvancedLogic::CDjVuAdvancedLogic(CVellumSettings &settings, const DialogDocument &doc)
    : m_settings(settings), m_doc(doc)
{
  Load();
}

void CDjVuAdvancedLogic::Refresh()
{
  gammaText = FormatGamma(gamma);
  filterText = FormatInt(filterLevel);
  forebackText = FormatInt(foreback);
}

void CDjVuAdvancedLogic::Load()
{
  lossless = m_settings.DjvuLossless != 0;
  noThick = m_settings.DjvuNoThick != 0;
  textOnly = m_settings.DjvuTextOnly != 0;
  gamma = m_settings.DjvuPhotoGamma;
  upsample = RadioOf(m_settings.DjvuUpsample, kUpsampleCount);
  noColorFilter = m_settings.DjvuNoColorFilter != 0;
  noSizeFilter = m_settings.DjvuNoSizeFilter != 0;
  noInvFilter = m_settings.DjvuNoInvFilter != 0;
  filterLevel = m_settings.DjvuFilterLevel;
  foreback = m_settings.DjvuForeback;
  Refresh();
}

void CDjVuAdvancedLogic::OnGammaTrack(int position)
{
  gamma = GammaFromTrackbar(position);
  Refresh();
}

void CDjVuAdvancedLogic::OnFilterTrack(int position)
{
  filterLevel = position;
  Refresh();
}

void CDjVuAdvancedLogic::OnForebackTrack(int position)
{
  foreback = position;
  Refresh();
}

void CDjVuAdvancedLogic::OnGammaText(const std::string &text)
{
  gammaText = text;
  gamma = GammaFromEdit(text);
}

void CDjVuAdvancedLogic::OnFilterText(const std::string &text)
{
  filterText = text;
  filterLevel = EditInt(text);
}

void CDjVuAdvancedLogic::OnForebackText(const std::string &text)
{
  forebackText = text;
  foreback = EditInt(text);
}

void CDjVuAdvancedLogic::OnDefault()
{
  lossless = noThick = textOnly = false;
  upsample = 0;
  noColorFilter = noSizeFilter = noInvFilter = false;
  filterLevel = 0;
  foreback = 0;
  gamma = kDefaultGamma;
  Refresh();
}

void CDjVuAdvancedLogic::OnReset()
{
  Load();
}

FieldError CDjVuAdvancedLogic::Validate()
{
  FieldError e;
  if (!(e.message = CheckRealField(gammaText, 0.1, 10)).empty())
    e.controlId = IDC_GAMMA_EDIT;
  else if (!(e.message = CheckIntField(filterText, kFilterMin, kFilterMax)).empty())
    e.controlId = IDC_FILTER_EDIT;
  else if (!(e.message = CheckIntField(forebackText, kForebackMin, kForebackMax)).empty())
    e.controlId = IDC_FOREBACK_EDIT;
  else
  {
    gamma = TextReal(gammaText);
    filterLevel = TextInt(filterText);
    foreback = TextInt(forebackText);
  }
  return e;
}

void CDjVuAdvancedLogic::Store()
{
  m_settings.DjvuLossless = lossless;
  m_settings.DjvuNoThick = noThick;
  m_settings.DjvuTextOnly = textOnly;
  m_settings.DjvuPhotoGamma = gamma;
  if (upsample >= 0)
    m_settings.DjvuUpsample = upsample;
  m_settings.DjvuNoColorFilter = noColorFilter;
  m_settings.DjvuNoSizeFilter = noSizeFilter;
  m_settings.DjvuNoInvFilter = noInvFilter;
  m_settings.DjvuFilterLevel = filterLevel;
  m_settings.DjvuForeback = foreback;
  m_settings.DjvuQuickSet = -1;
  m_doc.MarkModifiedIfKind(1);
}

// ---------------------------------------------------------------------------
// IW44 Settings

CIw44SettingsLogic::CIw44SettingsLogic(CVellumSettings &settings, const DialogDocument &doc)
    : m_settings(settings), m_doc(doc)
{
  Load();
}

void CIw44SettingsLogic::Refresh()
{
  qualityText = FormatInt(quality);
  gammaText = FormatGamma(gamma);
}

void CIw44SettingsLogic::Load()
{
  quality = m_settings.Iw44PhotoQty;
  gamma = m_settings.Iw44PhotoGamma;
  crcb = RadioOf(m_settings.Iw44Crcb, 3);
  Refresh();
}

void CIw44SettingsLogic::OnQualityTrack(int position)
{
  quality = position;
  Refresh();
}

void CIw44SettingsLogic::OnGammaTrack(int position)
{
  gamma = GammaFromTrackbar(position);
  Refresh();
}

void CIw44SettingsLogic::OnQualityText(const std::string &text)
{
  qualityText = text;
  quality = EditInt(text);
}

void CIw44SettingsLogic::OnGammaText(const std::string &text)
{
  gammaText = text;
  gamma = GammaFromEdit(text);
}

void CIw44SettingsLogic::OnDefault()
{
  quality = kDefaultQuality;
  crcb = 0;
  gamma = kDefaultGamma;
  Refresh();
}

void CIw44SettingsLogic::OnReset()
{
  Load();
}

FieldError CIw44SettingsLogic::Validate()
{
  FieldError e;
  if (!(e.message = CheckIntField(qualityText, kQualityMin, kQualityMax)).empty())
    e.controlId = IDC_QUALITY_EDIT;
  else if (!(e.message = CheckRealField(gammaText, 0.1, 10)).empty())
    e.controlId = IDC_GAMMA_EDIT;
  else
  {
    quality = TextInt(qualityText);
    gamma = TextReal(gammaText);
  }
  return e;
}

void CIw44SettingsLogic::Store()
{
  m_settings.Iw44PhotoQty = quality;
  m_settings.Iw44PhotoGamma = gamma;
  if (crcb >= 0)
    m_settings.Iw44Crcb = crcb;
  m_doc.MarkModifiedIfKind(2);
}

// ---------------------------------------------------------------------------
// JPEG Settings

CJpegSettingsLogic::CJpegSettingsLogic(CVellumSettings &settings, const DialogDocument &doc)
    : m_settings(settings), m_doc(doc)
{
  Load();
}

void CJpegSettingsLogic::Refresh()
{
  qualityText = FormatInt(quality);
  smoothText = FormatInt(smooth);
}

void CJpegSettingsLogic::Load()
{
  quality = m_settings.JpegQty;
  smooth = m_settings.JpegSmooth;
  optHuff = m_settings.JpegOptHuff != 0;
  encodeDct = RadioOf(m_settings.JpegEncodeDCT, 3);
  decodeDct = RadioOf(m_settings.JpegDecodeDCT, 3);
  Refresh();
}

void CJpegSettingsLogic::OnQualityTrack(int position)
{
  quality = position;
  Refresh();
}

void CJpegSettingsLogic::OnSmoothTrack(int position)
{
  smooth = position;
  Refresh();
}

void CJpegSettingsLogic::OnQualityText(const std::string &text)
{
  qualityText = text;
  quality = EditInt(text);
}

void CJpegSettingsLogic::OnSmoothText(const std::string &text)
{
  smoothText = text;
  smooth = EditInt(text);
}

void CJpegSettingsLogic::OnDefault()
{
  quality = kDefaultQuality;
  smooth = 0;
  optHuff = false;
  encodeDct = decodeDct = 0;
  Refresh();
}

void CJpegSettingsLogic::OnReset()
{
  quality = m_settings.JpegQty;
  smooth = m_settings.JpegSmooth;
  optHuff = m_settings.JpegOptHuff != 0;
  if (RadioOf(m_settings.JpegEncodeDCT, 3) >= 0)
    encodeDct = m_settings.JpegEncodeDCT;
  if (RadioOf(m_settings.JpegDecodeDCT, 3) >= 0)
    decodeDct = m_settings.JpegDecodeDCT;
  Refresh();
}

FieldError CJpegSettingsLogic::Validate()
{
  FieldError e;
  if (!(e.message = CheckIntField(qualityText, 0, 100)).empty())
    e.controlId = IDC_QUALITY_EDIT;
  else if (!(e.message = CheckIntField(smoothText, 0, 100)).empty())
    e.controlId = IDC_SMOOTH_EDIT;
  else
  {
    quality = TextInt(qualityText);
    smooth = TextInt(smoothText);
  }
  return e;
}

void CJpegSettingsLogic::Store()
{
  m_settings.JpegQty = quality;
  m_settings.JpegSmooth = smooth;
  m_settings.JpegOptHuff = optHuff;
  if (encodeDct >= 0 && encodeDct <= 2)
    m_settings.JpegEncodeDCT = encodeDct;
  if (decodeDct >= 0 && decodeDct <= 2)
    m_settings.JpegDecodeDCT = decodeDct;
  m_doc.MarkModifiedIfKind(5);
}

// ---------------------------------------------------------------------------
// General Settings

const int CGeneralSettingsLogic::kAssocCheckIds[kAssociationGroupCount] = {1108, 1109, 1111, 1112,
                                                                           1110, 1115, 1118};

CGeneralSettingsLogic::CGeneralSettingsLogic(CVellumSettings &settings, CFileAssociations &assoc)
    : m_settings(settings), m_assoc(assoc)
{
}

void CGeneralSettingsLogic::Refresh()
{
  gammaText = FormatGamma(gamma);
  delayText = FormatInt(slideDelay);
}

void CGeneralSettingsLogic::Load()
{
  windowFit = m_settings.WindowFit != 0;
  windowCenter = m_settings.WindowCenter != 0;
  imageFit = RadioOf(m_settings.ImageFit, 4);
  printSize = RadioOf(m_settings.PrintSize, 2);
  shrinkPrint = m_settings.ShrinkPrint != 0;
  dither = m_settings.Dither != 0;
  fancyZoom = m_settings.FancyZoom != 0;
  gamma = m_settings.DisplayGamma;
  slideDelay = m_settings.SlideDelay;
  ReadAssociationStates(m_assoc, assocBefore);
  for (int i = 0; i < kAssociationGroupCount; i++)
    assocChecked[i] = assocBefore[i];
  Refresh();
}

void CGeneralSettingsLogic::OnGammaTrack(int position)
{
  gamma = GammaFromTrackbar(position);
  Refresh();
}

void CGeneralSettingsLogic::OnGammaText(const std::string &text)
{
  gammaText = text;
  gamma = GammaFromEdit(text);
}

void CGeneralSettingsLogic::OnDelayText(const std::string &text)
{
  delayText = text;
  slideDelay = EditInt(text);
}

void CGeneralSettingsLogic::OnDelaySpin(int step)
{
  slideDelay = Clamp(EditInt(delayText) + step, kDelayMin, kDelayMax);
  delayText = FormatInt(slideDelay);
}

FieldError CGeneralSettingsLogic::Validate()
{
  FieldError e;
  if (!(e.message = CheckRealField(gammaText, 0.1, 10)).empty())
    e.controlId = IDC_GAMMA_EDIT;
  else if (!(e.message = CheckIntField(delayText, kDelayMin, kDelayMax)).empty())
    e.controlId = IDC_DELAY_EDIT;
  else
  {
    gamma = TextReal(gammaText);
    slideDelay = TextInt(delayText);
  }
  return e;
}

void CGeneralSettingsLogic::Store()
{
  m_settings.WindowFit = windowFit;
  m_settings.WindowCenter = windowCenter;
  if (imageFit >= 0)
    m_settings.ImageFit = imageFit;
  if (printSize >= 0)
    m_settings.PrintSize = printSize;
  m_settings.ShrinkPrint = shrinkPrint;
  m_settings.Dither = dither;
  m_settings.FancyZoom = fancyZoom;
  m_settings.DisplayGamma = gamma;
  m_settings.SlideDelay = slideDelay;
  ApplyAssociationChanges(m_assoc, assocBefore, assocChecked);
}

// ---------------------------------------------------------------------------
// Resize

namespace
{

// Results are kept within int; 64-bit products cannot overflow for the
// 9-digit values an edit holds.
int ToInt(long long v)
{
  return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : (int)v;
}

int RoundHalfUp(double v)
{
  double f = std::floor(v + 0.5);
  return f < INT32_MIN ? INT32_MIN : f > INT32_MAX ? INT32_MAX : (int)f;
}

} // namespace

void CResizeLogic::Init(int imageWidth, int imageHeight)
{
  baseWidth = width = imageWidth;
  baseHeight = height = imageHeight;
  widthPercent = heightPercent = 100;
  keepAspect = true;
  method = 1;
  RefreshExcept(kFieldCount);
}

void CResizeLogic::RefreshExcept(Field field)
{
  const int values[kFieldCount] = {width, widthPercent, height, heightPercent};
  for (int i = 0; i < kFieldCount; i++)
    if (i != field)
      text[i] = FormatInt(values[i]);
}

bool CResizeLogic::OnText(Field field, const std::string &typed)
{
  if (field < 0 || field >= kFieldCount)
    return false;
  text[field] = typed;
  int v = EditInt(typed);
  switch (field)
  {
  case kWidth:
    width = v;
    if (baseWidth != 0)
    {
      widthPercent = RoundHalfUp(v * 100.0 / baseWidth);
      if (keepAspect)
      {
        heightPercent = widthPercent;
        height = ToInt((long long)baseHeight * v / baseWidth);
      }
    }
    break;
  case kHeight:
    height = v;
    if (baseHeight != 0)
    {
      heightPercent = RoundHalfUp(v * 100.0 / baseHeight);
      if (keepAspect)
      {
        widthPercent = heightPercent;
        width = RoundHalfUp((double)baseWidth * v / baseHeight);
      }
    }
    break;
  case kWidthPercent:
    widthPercent = v;
    width = RoundHalfUp(v * (double)baseWidth * 0.01);
    if (keepAspect)
    {
      heightPercent = v;
      height = RoundHalfUp(v * (double)baseHeight * 0.01);
    }
    break;
  case kHeightPercent:
    heightPercent = v;
    height = ToInt((long long)v * baseHeight / 100);
    if (keepAspect)
    {
      widthPercent = v;
      width = RoundHalfUp(v * (double)baseWidth * 0.01);
    }
    break;
  default:
    break;
  }
  if (v == 0)
    return false;
  RefreshExcept(field);
  return true;
}

bool CResizeLogic::OnSpin(Field field, int step)
{
  if (field != kWidth && field != kHeight)
    return false;
  int v = Clamp(EditInt(text[field]) + step, kSpinMin, kSpinMax);
  // The up-down control writes its buddy's text, which is an edit change.
  std::string t = FormatInt(v);
  OnText(field, t);
  return true;
}

FieldError CResizeLogic::Validate()
{
  static const int ids[kFieldCount] = {IDC_WIDTH_EDIT, IDC_WIDTH_PERCENT, IDC_HEIGHT_EDIT,
                                       IDC_HEIGHT_PERCENT};
  FieldError e;
  for (int i = 0; i < kFieldCount; i++)
    if (!(e.message = CheckUIntField(text[i])).empty())
    {
      e.controlId = ids[i];
      return e;
    }
  width = TextInt(text[kWidth]);
  widthPercent = TextInt(text[kWidthPercent]);
  height = TextInt(text[kHeight]);
  heightPercent = TextInt(text[kHeightPercent]);
  return e;
}

} // namespace vellum

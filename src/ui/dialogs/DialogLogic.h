// What the settings dialogs and the Resize dialog do, without any toolkit.
//
// Each dialog has a plain logic class holding the dialog's members (the
// values its controls show) and one method per user action: a trackbar
// moved, an edit's text changed, a button clicked. The wx dialogs in
// Dialogs.cpp only forward events here and copy the members back into their
// controls, so every rule (ranges, presets, Default and Reset, enabling,
// validation at OK, resize arithmetic) is tested without a display.
//
// Conventions shared by the dialogs:
// - A trackbar is paired with an edit. Moving the trackbar sets the member
//   and refreshes the edit; typing in the edit sets the member and the
//   trackbar position but leaves the edit's text alone. The position a
//   trackbar shows is the member clamped to the trackbar's range.
// - An edit's text is read from its first 9 characters: integers as atoi,
//   reals as atof (both independent of the process locale).
// - A gamma is a trackbar of 0..1000 (gamma x 100, truncated) and an edit
//   accepting 0.1..10; a gamma below 0.1 is raised to 0.1 as soon as it is
//   typed or set by the trackbar.
// - Validate() is the check made at OK: it parses the edits' texts and
//   returns the first failure in control order with the message the dialog
//   shows ("Please enter an integer between 20 and 100.", ...). A failure
//   keeps the dialog open; on success the members take the values the
//   edits show (as the dialog data exchange of OK does).
// - A radio group whose stored value is outside its range shows no radio
//   selected (member -1); OK then keeps the stored value.
// - "&Default" puts the built-in values in the members, "&Reset" the values
//   of the settings; neither touches the settings (the DjVu quick set aside).
// - Load() fills the members from the settings; Store() writes them back at
//   OK and marks the document modified when it holds an image of the
//   dialog's file kind.
// - A logic object keeps references to the settings, the document record
//   and the association store it was given; they must outlive it.
#ifndef VELLUM_UI_DIALOGS_DIALOGLOGIC_H
#define VELLUM_UI_DIALOGS_DIALOGLOGIC_H

#include <functional>
#include <string>

#include "Associations.h"
#include "HelpTopics.h"

class CVellumSettings;

namespace vellum
{

// ---------------------------------------------------------------------------
// Fields

// atoi / atof of the first 9 characters of text.
int EditInt(const std::string &text);
float EditReal(const std::string &text);

// The text an edit shows for a member: decimal for integers; reals as
// printf "%.6g" with a "." whatever the locale ("2.2", "0.1", "10").
std::string FormatInt(long long value);
std::string FormatGamma(float value);

// Gamma <-> trackbar: position = gamma x 100 truncated (a representation
// error of a few millionths is not allowed to lose a step: 0.29 gives 29),
// clamped to 0..1000; gamma = position x 0.01, at least 0.1.
int GammaToTrackbar(float gamma);
float GammaFromTrackbar(int position);
// atof of the edit's text, at least 0.1.
float GammaFromEdit(const std::string &text);

int Clamp(int value, int lo, int hi);

// Checks made at OK, one per kind of field; an empty string means valid.
// Integers: blanks, an optional sign, digits, blanks ("Please enter an
// integer." otherwise); unsigned integers refuse a sign ("Please enter a
// positive integer."); reals also take a fraction and an exponent ("Please
// enter a number."). Out of range: "Please enter an integer between %1 and
// %2." / "Please enter a number between %1 and %2." with the bounds.
std::string CheckIntField(const std::string &text, int lo, int hi);
std::string CheckUIntField(const std::string &text);
std::string CheckRealField(const std::string &text, double lo, double hi);
// The parsed values of texts that passed the checks.
bool ParseIntStrict(const std::string &text, long long *value);
bool ParseRealStrict(const std::string &text, double *value);

// A failed check: the control to focus and the message to show.
struct FieldError
{
  int controlId = 0;
  std::string message;
  explicit operator bool() const { return !message.empty(); }
};

// What the dialogs need to know about the open document.
struct DialogDocument
{
  bool hasImage = false;
  int fileKind = 0;                  // 1 DjVu, 2 IW44, 3 BMP, 4 PNM, 5 JPEG, 6 TIFF, 7 PNG
  int bitsPerPixel = 0;              // of the current image
  std::function<void()> setModified; // may be empty

  bool IsBitonal() const { return hasImage && bitsPerPixel == 1; }
  // Marks the document modified when it holds an image of that kind.
  void MarkModifiedIfKind(int kind) const;
};

// The help topics of the dialogs' "&Help" buttons are HelpTopics.h's.

// Caption of the message boxes the dialogs show.
extern const char kDialogCaption[]; // "Vellum"

// ---------------------------------------------------------------------------
// DjVu Settings

// Writes the quick-set preset (0 high, 1 medium, 2 low resolution) into
// DjvuLossless, DjvuNoThick and DjvuUpsample and marks a DjVu document
// modified. Other values do nothing and return false.
bool ApplyDjvuQuickSet(int quickSet, CVellumSettings &settings, const DialogDocument &doc);

class CDjVuSettingsLogic
{
public:
  enum
  {
    kQualityMin = 20,
    kQualityMax = 100,
    kDefaultQuality = 80,
    // control ids
    IDC_INFO = 1096,
    IDC_QUICKSET_GROUP = 1086,
    IDC_SOURCE_IS = 1087,
    IDC_QUICK_HIGH = 1088,
    IDC_QUICK_MEDIUM = 1089,
    IDC_QUICK_LOW = 1090,
    IDC_QUALITY_GROUP = 1028,
    IDC_QUALITY_TRACK = 1029,
    IDC_QUALITY_EDIT = 1008,
    IDC_QUALITY_MIN_LABEL = 1094,
    IDC_QUALITY_MAX_LABEL = 1095,
    IDC_DEFAULT = 1052,
    IDC_RESET = 1055,
    IDC_ADVANCED = 1011,
    IDC_HELP = 1130,
    IDC_PROFILE_GROUP = 1110,
    IDC_PROFILE_COMPACT = 1111,
    IDC_PROFILE_CLASSIC = 1112,
    // DjvuProfile values
    kProfileClassic = 0,
    kProfileCompact = 1,
    kDefaultProfile = kProfileClassic
  };
  // The question "&Reset" asks when the quick sets differ.
  static const char kResetQuestion[];

  CDjVuSettingsLogic(CVellumSettings &settings, const DialogDocument &doc);

  int quality = kDefaultQuality;
  int quickSet = -1; // -1: no radio selected
  int profile = kDefaultProfile;
  std::string qualityText;

  void Load();
  int QualityPosition() const { return Clamp(quality, kQualityMin, kQualityMax); }
  // The quality controls are disabled for a bitonal page.
  bool QualityEnabled() const { return !m_doc.IsBitonal(); }

  void OnQualityTrack(int position);
  void OnQualityText(const std::string &text);
  // A quick-set radio clicked: the preset is written to the settings now.
  void OnQuickSet(int which);
  // The profile radios: 0 "Compact", 1 "Classic".
  int ProfileRadio() const { return profile == kProfileCompact ? 0 : 1; }
  void OnProfile(int radio) { profile = radio == 0 ? kProfileCompact : kProfileClassic; }
  void OnDefault();
  // Asks through VellumMessageBox when the quick sets differ.
  void OnReset();
  // After OK in the Advanced dialog (which cleared DjvuQuickSet).
  void AfterAdvanced();
  FieldError Validate();
  // OK: DjvuPhotoQty, DjvuQuickSet and DjvuProfile, document marked.
  void Store();

private:
  void Refresh() { qualityText = FormatInt(quality); }
  CVellumSettings &m_settings;
  const DialogDocument &m_doc;
};

// ---------------------------------------------------------------------------
// DjVu Advanced Parameters

class CDjVuAdvancedLogic
{
public:
  enum
  {
    IDC_TEXT_GROUP = 1030,
    IDC_LOSSLESS = 1033,
    IDC_NO_THICK = 1034,
    IDC_TEXT_ONLY = 1093,
    IDC_PHOTO_GROUP = 1031,
    IDC_GAMMA_LABEL = 1042,
    IDC_GAMMA_TRACK = 1038,
    IDC_GAMMA_EDIT = 1043,
    IDC_GAMMA_MIN_LABEL = 1065,
    IDC_GAMMA_MAX_LABEL = 1066,
    IDC_UPSAMPLE_GROUP = 1076,
    IDC_UPSAMPLE_NONE = 1077, // .. 1080 for enlarge 4x
    IDC_MASK_GROUP = 1032,
    IDC_NO_COLOR_FILTER = 1047,
    IDC_NO_SIZE_FILTER = 1048,
    IDC_NO_INV_FILTER = 1049,
    IDC_FILTER_LABEL = 1051,
    IDC_FILTER_TRACK = 1045,
    IDC_FILTER_EDIT = 1054,
    IDC_FILTER_MIN_LABEL = 1067,
    IDC_FILTER_MAX_LABEL = 1070,
    IDC_FOREBACK_LABEL = 1050,
    IDC_FOREBACK_TRACK = 1046,
    IDC_FOREBACK_EDIT = 1055,
    IDC_FOREBACK_MIN_LABEL = 1068,
    IDC_FOREBACK_MAX_LABEL = 1069,
    IDC_DEFAULT = 1056,
    IDC_RESET = 1053,
    IDC_HELP = 1130,
    kFilterMin = -200,
    kFilterMax = 200,
    kForebackMin = 0,
    kForebackMax = 255,
    kUpsampleCount = 4
  };

  CDjVuAdvancedLogic(CVellumSettings &settings, const DialogDocument &doc);

  bool lossless = false;
  bool noThick = false;
  bool textOnly = false;
  float gamma = 2.2f;
  int upsample = 0; // 0..3, -1 none selected
  bool noColorFilter = false;
  bool noSizeFilter = false;
  bool noInvFilter = false;
  int filterLevel = 0;
  int foreback = 0;
  std::string gammaText, filterText, forebackText;

  void Load(); // the same as Reset
  int GammaPosition() const { return GammaToTrackbar(gamma); }
  int FilterPosition() const { return Clamp(filterLevel, kFilterMin, kFilterMax); }
  int ForebackPosition() const { return Clamp(foreback, kForebackMin, kForebackMax); }
  bool TextOnlyEnabled() const { return !m_doc.IsBitonal(); }
  // The photo controls (group, label, trackbar, edit, range labels).
  bool PhotoEnabled() const { return !textOnly; }

  void OnGammaTrack(int position);
  void OnFilterTrack(int position);
  void OnForebackTrack(int position);
  void OnGammaText(const std::string &text);
  void OnFilterText(const std::string &text);
  void OnForebackText(const std::string &text);
  void OnDefault();
  void OnReset();
  FieldError Validate();
  // OK: the ten values, DjvuQuickSet = -1, document marked.
  void Store();

private:
  void Refresh();
  CVellumSettings &m_settings;
  const DialogDocument &m_doc;
};

// ---------------------------------------------------------------------------
// IW44 Settings

class CIw44SettingsLogic
{
public:
  enum
  {
    IDC_INFO = 1097,
    IDC_PHOTO_GROUP = 1031,
    IDC_QUALITY_LABEL = 1045,
    IDC_QUALITY_TRACK = 1029,
    IDC_QUALITY_EDIT = 1008,
    IDC_GAMMA_LABEL = 1042,
    IDC_GAMMA_TRACK = 1038,
    IDC_GAMMA_EDIT = 1043,
    IDC_GAMMA_MIN_LABEL = 1065,
    IDC_GAMMA_MAX_LABEL = 1066,
    IDC_COLOR_LABEL = 1044,
    IDC_CRCB_HALF = 1039, // Iw44Crcb 0; 1040 full (1), 1041 none (2)
    IDC_DEFAULT = 1052,
    IDC_RESET = 1055,
    IDC_HELP = 1130,
    kQualityMin = 20,
    kQualityMax = 100,
    kDefaultQuality = 80
  };

  CIw44SettingsLogic(CVellumSettings &settings, const DialogDocument &doc);

  int quality = kDefaultQuality;
  float gamma = 2.2f;
  int crcb = 0; // 0 half, 1 full, 2 no colour; -1 none selected
  std::string qualityText, gammaText;

  void Load(); // the same as Reset
  int QualityPosition() const { return Clamp(quality, kQualityMin, kQualityMax); }
  int GammaPosition() const { return GammaToTrackbar(gamma); }

  void OnQualityTrack(int position);
  void OnGammaTrack(int position);
  void OnQualityText(const std::string &text);
  void OnGammaText(const std::string &text);
  void OnDefault();
  void OnReset();
  FieldError Validate();
  void Store(); // kind 2 marks the document

private:
  void Refresh();
  CVellumSettings &m_settings;
  const DialogDocument &m_doc;
};

// ---------------------------------------------------------------------------
// JPEG Settings

class CJpegSettingsLogic
{
public:
  enum
  {
    IDC_QUALITY_TRACK = 1164,
    IDC_QUALITY_EDIT = 1165,
    IDC_SMOOTH_TRACK = 1030,
    IDC_SMOOTH_EDIT = 1009,
    IDC_OPT_HUFF = 1166,
    IDC_ENC_ACCURATE = 1168,
    IDC_ENC_FAST = 1167,
    IDC_ENC_FLOAT = 1169,
    IDC_DEC_ACCURATE = 1170,
    IDC_DEC_FAST = 1171,
    IDC_DEC_FLOAT = 1172,
    IDC_DEFAULT = 1052,
    IDC_RESET = 1055,
    IDC_HELP = 1130,
    kDefaultQuality = 75
  };

  CJpegSettingsLogic(CVellumSettings &settings, const DialogDocument &doc);

  int quality = kDefaultQuality;
  int smooth = 0;
  bool optHuff = false;
  int encodeDct = 0; // 0 accurate, 1 fast, 2 float; -1 none selected
  int decodeDct = 0;
  std::string qualityText, smoothText;

  void Load(); // qualities and radios; stored DCTs outside 0..2 give -1
  int QualityPosition() const { return Clamp(quality, 0, 100); }
  int SmoothPosition() const { return Clamp(smooth, 0, 100); }

  void OnQualityTrack(int position);
  void OnSmoothTrack(int position);
  void OnQualityText(const std::string &text);
  void OnSmoothText(const std::string &text);
  void OnDefault();
  // A stored DCT outside 0..2 leaves its radio as it is.
  void OnReset();
  FieldError Validate();
  void Store(); // kind 5 marks the document

private:
  void Refresh();
  CVellumSettings &m_settings;
  const DialogDocument &m_doc;
};

// ---------------------------------------------------------------------------
// General Settings

class CGeneralSettingsLogic
{
public:
  enum
  {
    IDC_WINDOW_GROUP = 1103,
    IDC_WINDOW_FIT = 1106,
    IDC_WINDOW_CENTER = 1107,
    IDC_IMAGE_GROUP = 1098,
    IDC_FIT_WIDTH = 1099, // .. 1102 do not fit
    IDC_ASSOC_GROUP = 1113,
    IDC_ASSOC_LABEL = 1114,
    IDC_PRINT_GROUP = 1104,
    IDC_PRINT_ORIGINAL = 1125,
    IDC_PRINT_SCREEN = 1126,
    IDC_SHRINK_PRINT = 1117,
    IDC_DISPLAY_GROUP = 1116,
    IDC_DITHER = 1127,
    IDC_FANCY_ZOOM = 1128,
    IDC_GAMMA_LABEL = 1042,
    IDC_GAMMA_TRACK = 1038,
    IDC_GAMMA_EDIT = 1043,
    IDC_GAMMA_MIN_LABEL = 1065,
    IDC_GAMMA_MAX_LABEL = 1066,
    IDC_DELAY_EDIT = 1046,
    IDC_DELAY_SPIN = 1022,
    IDC_HELP = 1130,
    kDelayMin = 1,
    kDelayMax = 600
  };
  // The file-type check boxes, in the order of the association groups
  // (DJVU, IW44, JPEG, TIFF, BMP, PNM, PNG) - not the order on screen.
  static const int kAssocCheckIds[kAssociationGroupCount];

  CGeneralSettingsLogic(CVellumSettings &settings, CFileAssociations &assoc);

  bool windowFit = true;
  bool windowCenter = true;
  int imageFit = 0;  // 0..3, -1 none selected
  int printSize = 0; // 0..1, -1 none selected
  bool shrinkPrint = true;
  bool dither = true;
  bool fancyZoom = true;
  float gamma = 2.2f;
  int slideDelay = 5;
  bool assocChecked[kAssociationGroupCount] = {};
  bool assocBefore[kAssociationGroupCount] = {}; // the states read when the dialog opened
  std::string gammaText, delayText;

  // Members from the settings; association states from the store.
  void Load();
  bool CenterEnabled() const { return windowFit; }
  int GammaPosition() const { return GammaToTrackbar(gamma); }

  void OnGammaTrack(int position);
  void OnGammaText(const std::string &text);
  void OnDelayText(const std::string &text);
  // The up-down control: one step up (+1) or down (-1) from the edit's
  // value, kept within 1..600; the edit shows the result.
  void OnDelaySpin(int step);
  FieldError Validate();
  // OK: the nine settings, then the changed associations.
  void Store();

private:
  void Refresh();
  CVellumSettings &m_settings;
  CFileAssociations &m_assoc;
};

// ---------------------------------------------------------------------------
// Resize

class CResizeLogic
{
public:
  enum
  {
    IDC_WIDTH_LABEL = 1170,
    IDC_WIDTH_EDIT = 1172,
    IDC_WIDTH_SPIN = 1175,
    IDC_WIDTH_PERCENT = 1228,
    IDC_HEIGHT_LABEL = 1171,
    IDC_HEIGHT_EDIT = 1173,
    IDC_HEIGHT_SPIN = 1176,
    IDC_HEIGHT_PERCENT = 1229,
    IDC_KEEP_ASPECT = 1227,
    IDC_SINGLE_SAMPLE = 1196, // method 0; 1197 grid centre, 1198 average
    IDC_HELP = 1130,
    kSpinMin = 1,
    kSpinMax = 32767
  };
  enum Field
  {
    kWidth,
    kWidthPercent,
    kHeight,
    kHeightPercent,
    kFieldCount
  };

  // What the caller sets before showing the dialog: the image size, 100 %,
  // aspect kept, favour grid centre.
  void Init(int imageWidth, int imageHeight);

  int baseWidth = 0, baseHeight = 0;
  int width = 0, height = 0;
  int widthPercent = 100, heightPercent = 100;
  bool keepAspect = true;
  int method = 1;
  std::string text[kFieldCount];

  // An edit's text changed; the other members follow. Returns true when
  // the other edits are to be refreshed (the typed value is not 0); their
  // texts are then updated (the typed edit keeps its own text).
  bool OnText(Field field, const std::string &typed);
  // The up-down control of the width or height edit.
  bool OnSpin(Field field, int step);
  // OK: the four edits are unsigned integers.
  FieldError Validate();

private:
  void RefreshExcept(Field field);
};

} // namespace vellum

#endif

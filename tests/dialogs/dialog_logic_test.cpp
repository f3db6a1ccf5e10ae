// The dialogs' rules without a display: fields, presets, Default/Reset,
// validation at OK, the General Settings association flow and the resize
// arithmetic.
#include "Associations.h"
#include "DialogLogic.h"
#include "MessageBox.h"
#include "Settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vellum;

namespace
{

struct Box
{
  std::string text;
  unsigned style;
};
std::vector<Box> g_boxes;
int g_answer = VID_YES;

int RecordBox(const char *text, const char *, unsigned style)
{
  g_boxes.push_back({text, style});
  return g_answer;
}

class Dialogs : public ::testing::Test
{
protected:
  void SetUp() override
  {
    g_boxes.clear();
    g_answer = VID_YES;
    m_old = VellumSetMessageBoxHook(RecordBox);
    doc.setModified = [this] { modified++; };
  }
  void TearDown() override { VellumSetMessageBoxHook(m_old); }
  void Open(int kind, int bpp)
  {
    doc.hasImage = true;
    doc.fileKind = kind;
    doc.bitsPerPixel = bpp;
  }

  CVellumSettings settings;
  DialogDocument doc;
  int modified = 0;
  VellumMessageBoxHook m_old = nullptr;
};

} // namespace

// ---------------------------------------------------------------------------
// Fields

TEST(Fields, ChecksAtOk)
{
  struct Case
  {
    const char *text;
    const char *intMsg;  // CheckIntField(text, 20, 100)
    const char *realMsg; // CheckRealField(text, 0.1, 10)
    const char *uintMsg; // CheckUIntField(text)
  };
  const char *intRange = "Please enter an integer between 20 and 100.";
  const char *realRange = "Please enter a number between 0.1 and 10.";
  const Case cases[] = {
      {"50", "", "Please enter a number between 0.1 and 10.", ""},
      {" 20 ", "", "Please enter a number between 0.1 and 10.", ""},
      {"100", "", realRange, ""},
      {"5", intRange, "", ""},
      {"101", intRange, realRange, ""},
      {"", "Please enter an integer.", "Please enter a number.", "Please enter a positive integer."},
      {"abc", "Please enter an integer.", "Please enter a number.", "Please enter a positive integer."},
      {"12abc", "Please enter an integer.", "Please enter a number.", "Please enter a positive integer."},
      {"-30", intRange, realRange, "Please enter a positive integer."},
      {"2.2", "Please enter an integer.", "", "Please enter a positive integer."},
      {"0.1", "Please enter an integer.", "", "Please enter a positive integer."},
      {"0.05", "Please enter an integer.", realRange, "Please enter a positive integer."},
      {"10", intRange, "", ""},
      {"10.01", "Please enter an integer.", realRange, "Please enter a positive integer."},
      {"1e1", "Please enter an integer.", "", "Please enter a positive integer."},
      {".5", "Please enter an integer.", "", "Please enter a positive integer."},
      {"1.2.3", "Please enter an integer.", "Please enter a number.", "Please enter a positive integer."},
      {"99999999999999999999", "Please enter an integer.", realRange, "Please enter a positive integer."},
  };
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(CheckIntField(c.text, 20, 100), c.intMsg);
    EXPECT_EQ(CheckRealField(c.text, 0.1, 10), c.realMsg);
    EXPECT_EQ(CheckUIntField(c.text), c.uintMsg);
  }
  EXPECT_EQ(CheckIntField("-201", -200, 200), "Please enter an integer between -200 and 200.");
}

TEST(Fields, EditsAndGamma)
{
  EXPECT_EQ(EditInt("123456789012"), 123456789); // only 9 characters are read
  EXPECT_EQ(EditInt(" -5x"), -5);
  EXPECT_EQ(EditInt("abc"), 0);
  EXPECT_FLOAT_EQ(EditReal("2.5junk"), 2.5f);
  struct
  {
    float gamma;
    int position;
    const char *text;
  } cases[] = {{2.2f, 220, "2.2"},   {0.1f, 10, "0.1"}, {0.29f, 29, "0.29"}, {10.0f, 1000, "10"},
               {2.25f, 225, "2.25"}, {0.0f, 0, "0"},    {25.0f, 1000, "25"}, {-1.0f, 0, "-1"}};
  for (const auto &c : cases)
  {
    SCOPED_TRACE(c.gamma);
    EXPECT_EQ(GammaToTrackbar(c.gamma), c.position);
    EXPECT_EQ(FormatGamma(c.gamma), c.text);
  }
  EXPECT_FLOAT_EQ(GammaFromTrackbar(0), 0.1f);
  EXPECT_FLOAT_EQ(GammaFromTrackbar(9), 0.1f);
  EXPECT_FLOAT_EQ(GammaFromTrackbar(221), 2.21f);
  EXPECT_EQ(FormatGamma(GammaFromTrackbar(221)), "2.21");
  EXPECT_FLOAT_EQ(GammaFromEdit("0.05"), 0.1f);
  EXPECT_FLOAT_EQ(GammaFromEdit("0"), 0.1f);
  EXPECT_FLOAT_EQ(GammaFromEdit("x"), 0.1f);
  EXPECT_FLOAT_EQ(GammaFromEdit("3.5"), 3.5f);
}

// ---------------------------------------------------------------------------
// DjVu Settings

TEST_F(Dialogs, DjvuQuickSetPresetsAreWrittenAtTheClick)
{
  const int presets[3][3] = {{0, 0, 0}, {0, 0, 1}, {1, 1, 2}};
  for (int q = 0; q < 3; q++)
  {
    SCOPED_TRACE(q);
    settings.DjvuLossless = settings.DjvuNoThick = 7;
    settings.DjvuUpsample = 3;
    settings.DjvuQuickSet = -1;
    CDjVuSettingsLogic dlg(settings, doc);
    dlg.OnQuickSet(q);
    EXPECT_EQ(settings.DjvuLossless, presets[q][0]);
    EXPECT_EQ(settings.DjvuNoThick, presets[q][1]);
    EXPECT_EQ(settings.DjvuUpsample, presets[q][2]);
    EXPECT_EQ(settings.DjvuQuickSet, -1); // Cancel: the choice itself is not stored
  }
  EXPECT_EQ(modified, 0); // no document
  Open(1, 24);
  CDjVuSettingsLogic dlg(settings, doc);
  dlg.OnQuickSet(2);
  EXPECT_EQ(modified, 1);
  Open(3, 24); // a BMP is not re-saved with DjVu options
  dlg.OnQuickSet(1);
  EXPECT_EQ(modified, 1);
  EXPECT_FALSE(ApplyDjvuQuickSet(-1, settings, doc));
  EXPECT_FALSE(ApplyDjvuQuickSet(3, settings, doc));
}

TEST_F(Dialogs, DjvuSettingsQualityFieldAndOk)
{
  settings.DjvuPhotoQty = 60;
  settings.DjvuQuickSet = 1;
  Open(1, 24);
  CDjVuSettingsLogic dlg(settings, doc);
  EXPECT_EQ(dlg.quality, 60);
  EXPECT_EQ(dlg.qualityText, "60");
  EXPECT_EQ(dlg.quickSet, 1);
  EXPECT_TRUE(dlg.QualityEnabled());
  dlg.OnQualityTrack(90);
  EXPECT_EQ(dlg.qualityText, "90");
  dlg.OnQualityText("5");
  EXPECT_EQ(dlg.quality, 5);
  EXPECT_EQ(dlg.QualityPosition(), 20); // the trackbar at its minimum
  FieldError e = dlg.Validate();
  EXPECT_EQ(e.message, "Please enter an integer between 20 and 100.");
  EXPECT_EQ(e.controlId, CDjVuSettingsLogic::IDC_QUALITY_EDIT);
  dlg.OnQualityText("45");
  EXPECT_EQ(dlg.QualityPosition(), 45);
  EXPECT_FALSE(dlg.Validate());
  dlg.OnQuickSet(0);
  dlg.Store();
  EXPECT_EQ(settings.DjvuPhotoQty, 45);
  EXPECT_EQ(settings.DjvuQuickSet, 0);
  EXPECT_EQ(modified, 2); // the preset click and OK

  Open(1, 1); // bitonal page: no background quality
  CDjVuSettingsLogic bitonal(settings, doc);
  EXPECT_FALSE(bitonal.QualityEnabled());
}

TEST_F(Dialogs, DjvuSettingsProfileChoice)
{
  // Radio 0 "Compact" is DjvuProfile 1, radio 1 "Classic" is 0; an unknown
  // stored value shows as Classic, which is what the encoder makes of it.
  const struct
  {
    int stored, radio;
  } loads[] = {{0, 1}, {1, 0}, {5, 1}, {-1, 1}};
  for (auto &l : loads)
  {
    settings.DjvuProfile = l.stored;
    CDjVuSettingsLogic dlg(settings, doc);
    EXPECT_EQ(dlg.ProfileRadio(), l.radio) << l.stored;
  }
  settings.DjvuProfile = 0;
  CDjVuSettingsLogic dlg(settings, doc);
  dlg.OnProfile(0);
  EXPECT_EQ(settings.DjvuProfile, 0); // only OK writes it
  ASSERT_FALSE(dlg.Validate());
  dlg.Store();
  EXPECT_EQ(settings.DjvuProfile, 1);
  dlg.OnProfile(1);
  dlg.OnReset(); // back to the stored Compact
  EXPECT_EQ(dlg.ProfileRadio(), 0);
  dlg.OnDefault();
  EXPECT_EQ(dlg.profile, CDjVuSettingsLogic::kDefaultProfile);
  dlg.Store();
  EXPECT_EQ(settings.DjvuProfile, CDjVuSettingsLogic::kDefaultProfile);
}

TEST_F(Dialogs, DjvuSettingsDefaultResetAndAdvanced)
{
  settings.DjvuPhotoQty = 50;
  settings.DjvuQuickSet = 0;
  CDjVuSettingsLogic dlg(settings, doc);
  dlg.OnDefault();
  EXPECT_EQ(dlg.quickSet, -1);
  EXPECT_EQ(dlg.quality, 80);
  EXPECT_EQ(dlg.qualityText, "80");
  EXPECT_EQ(settings.DjvuPhotoQty, 50); // Default does not touch the settings

  // Reset with a different quick set asks; Yes re-applies the stored preset.
  dlg.OnQuickSet(2); // writes the Low preset
  g_answer = VID_YES;
  dlg.OnReset();
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].text, "Resetting the 'Quick Set' option will changesettings in the 'Advanced DjVu "
                             "Parameters' dialog box.\nDo you want to reset 'Quick Set'?");
  EXPECT_EQ(g_boxes[0].style, (unsigned)(VMB_YESNO | VMB_ICONEXCLAMATION));
  EXPECT_EQ(dlg.quickSet, 0);
  EXPECT_EQ(dlg.quality, 50);
  EXPECT_EQ(settings.DjvuLossless, 0);
  EXPECT_EQ(settings.DjvuUpsample, 0);

  // No: custom settings, presets stay as they are.
  dlg.OnQuickSet(2);
  g_answer = VID_NO;
  dlg.OnReset();
  EXPECT_EQ(dlg.quickSet, -1);
  EXPECT_EQ(settings.DjvuUpsample, 2);

  // Equal quick sets: no question, only the quality.
  settings.DjvuQuickSet = -1;
  g_boxes.clear();
  dlg.OnQualityTrack(99);
  dlg.OnReset();
  EXPECT_TRUE(g_boxes.empty());
  EXPECT_EQ(dlg.quality, 50);

  // After OK in the Advanced dialog no radio is selected.
  settings.DjvuQuickSet = 1;
  CDjVuSettingsLogic again(settings, doc);
  CDjVuAdvancedLogic adv(settings, doc);
  adv.Store();
  again.AfterAdvanced();
  EXPECT_EQ(again.quickSet, -1);
}

// ---------------------------------------------------------------------------
// DjVu Advanced Parameters

TEST_F(Dialogs, DjvuAdvancedFieldsDefaultAndStore)
{
  settings.DjvuLossless = 1;
  settings.DjvuTextOnly = 1;
  settings.DjvuPhotoGamma = 1.5f;
  settings.DjvuUpsample = 2;
  settings.DjvuFilterLevel = -50;
  settings.DjvuForeback = 300; // outside the trackbar
  settings.DjvuQuickSet = 2;
  CDjVuAdvancedLogic dlg(settings, doc);
  EXPECT_TRUE(dlg.lossless);
  EXPECT_FALSE(dlg.PhotoEnabled()); // text only
  EXPECT_EQ(dlg.GammaPosition(), 150);
  EXPECT_EQ(dlg.gammaText, "1.5");
  EXPECT_EQ(dlg.FilterPosition(), -50);
  EXPECT_EQ(dlg.ForebackPosition(), 255);
  EXPECT_EQ(dlg.upsample, 2);

  dlg.OnGammaText("0.05");
  EXPECT_FLOAT_EQ(dlg.gamma, 0.1f);
  EXPECT_EQ(dlg.GammaPosition(), 10);
  EXPECT_EQ(dlg.Validate().message, "Please enter a number between 0.1 and 10.");
  EXPECT_EQ(dlg.Validate().controlId, CDjVuAdvancedLogic::IDC_GAMMA_EDIT);
  dlg.OnGammaTrack(5);
  EXPECT_FLOAT_EQ(dlg.gamma, 0.1f);
  EXPECT_EQ(dlg.gammaText, "0.1");
  dlg.OnFilterText("-250");
  EXPECT_EQ(dlg.FilterPosition(), -200);
  EXPECT_EQ(dlg.Validate().message, "Please enter an integer between -200 and 200.");
  dlg.OnFilterTrack(40);
  EXPECT_EQ(dlg.filterText, "40");
  EXPECT_EQ(dlg.Validate().message, "Please enter an integer between 0 and 255."); // foreback 300
  dlg.OnForebackText("128");
  EXPECT_FALSE(dlg.Validate());

  dlg.OnDefault();
  EXPECT_FALSE(dlg.lossless || dlg.noThick || dlg.textOnly || dlg.noColorFilter || dlg.noSizeFilter ||
               dlg.noInvFilter);
  EXPECT_EQ(dlg.upsample, 0);
  EXPECT_EQ(dlg.filterLevel, 0);
  EXPECT_EQ(dlg.foreback, 0);
  EXPECT_FLOAT_EQ(dlg.gamma, 2.2f);
  EXPECT_EQ(dlg.GammaPosition(), 220);
  EXPECT_TRUE(dlg.PhotoEnabled());

  dlg.OnReset();
  EXPECT_TRUE(dlg.textOnly);
  EXPECT_EQ(dlg.foreback, 300);

  dlg.OnDefault();
  dlg.noInvFilter = true;
  Open(1, 24);
  ASSERT_FALSE(dlg.Validate());
  dlg.Store();
  EXPECT_EQ(settings.DjvuLossless, 0);
  EXPECT_EQ(settings.DjvuTextOnly, 0);
  EXPECT_EQ(settings.DjvuNoInvFilter, 1);
  EXPECT_EQ(settings.DjvuUpsample, 0);
  EXPECT_FLOAT_EQ(settings.DjvuPhotoGamma, 2.2f);
  EXPECT_EQ(settings.DjvuQuickSet, -1);
  EXPECT_EQ(modified, 1);

  Open(1, 1);
  CDjVuAdvancedLogic bitonal(settings, doc);
  EXPECT_FALSE(bitonal.TextOnlyEnabled());
}

TEST_F(Dialogs, RadiosOutsideTheirRangeKeepTheStoredValue)
{
  settings.DjvuUpsample = 9;
  settings.Iw44Crcb = 5;
  settings.JpegEncodeDCT = 7;
  settings.JpegDecodeDCT = 1;
  CDjVuAdvancedLogic adv(settings, doc);
  EXPECT_EQ(adv.upsample, -1);
  adv.Store();
  EXPECT_EQ(settings.DjvuUpsample, 9);
  CIw44SettingsLogic iw(settings, doc);
  EXPECT_EQ(iw.crcb, -1);
  iw.Store();
  EXPECT_EQ(settings.Iw44Crcb, 5);
  CJpegSettingsLogic jpeg(settings, doc);
  EXPECT_EQ(jpeg.encodeDct, -1); // no encoding radio selected
  EXPECT_EQ(jpeg.decodeDct, 1);
  jpeg.Store();
  EXPECT_EQ(settings.JpegEncodeDCT, 7);
  // Reset leaves a radio alone when the stored value is out of range.
  jpeg.encodeDct = 2;
  jpeg.OnReset();
  EXPECT_EQ(jpeg.encodeDct, 2);
}

// ---------------------------------------------------------------------------
// IW44 and JPEG

TEST_F(Dialogs, Iw44Settings)
{
  settings.Iw44PhotoQty = 30;
  settings.Iw44PhotoGamma = 3.0f;
  settings.Iw44Crcb = 1;
  CIw44SettingsLogic dlg(settings, doc);
  EXPECT_EQ(dlg.QualityPosition(), 30);
  EXPECT_EQ(dlg.GammaPosition(), 300);
  dlg.OnGammaText("0");
  EXPECT_FLOAT_EQ(dlg.gamma, 0.1f);
  EXPECT_EQ(dlg.GammaPosition(), 10);
  dlg.OnQualityText("150");
  EXPECT_EQ(dlg.QualityPosition(), 100);
  FieldError e = dlg.Validate();
  EXPECT_EQ(e.message, "Please enter an integer between 20 and 100.");
  EXPECT_EQ(e.controlId, CIw44SettingsLogic::IDC_QUALITY_EDIT);
  dlg.OnDefault();
  EXPECT_EQ(dlg.quality, 80);
  EXPECT_EQ(dlg.crcb, 0);
  EXPECT_EQ(dlg.GammaPosition(), 220);
  dlg.OnReset();
  EXPECT_EQ(dlg.quality, 30);
  EXPECT_EQ(dlg.crcb, 1);
  dlg.OnQualityTrack(70);
  dlg.OnGammaTrack(180);
  dlg.crcb = 2;
  Open(5, 24);
  ASSERT_FALSE(dlg.Validate());
  dlg.Store();
  EXPECT_EQ(settings.Iw44PhotoQty, 70);
  EXPECT_FLOAT_EQ(settings.Iw44PhotoGamma, 1.8f);
  EXPECT_EQ(settings.Iw44Crcb, 2);
  EXPECT_EQ(modified, 0); // a JPEG is open
  Open(2, 24);
  dlg.Store();
  EXPECT_EQ(modified, 1);
}

TEST_F(Dialogs, JpegSettings)
{
  settings.JpegQty = 40;
  settings.JpegSmooth = 10;
  settings.JpegOptHuff = 1;
  settings.JpegEncodeDCT = 2;
  settings.JpegDecodeDCT = 1;
  CJpegSettingsLogic dlg(settings, doc);
  EXPECT_EQ(dlg.qualityText, "40");
  EXPECT_EQ(dlg.smoothText, "10");
  dlg.OnSmoothText("101");
  EXPECT_EQ(dlg.SmoothPosition(), 100);
  EXPECT_EQ(dlg.Validate().message, "Please enter an integer between 0 and 100.");
  EXPECT_EQ(dlg.Validate().controlId, CJpegSettingsLogic::IDC_SMOOTH_EDIT);
  dlg.OnSmoothTrack(20);
  dlg.OnQualityText("0");
  EXPECT_FALSE(dlg.Validate()); // 0 is a valid JPEG quality here
  dlg.OnDefault();
  Open(3, 24); // a BMP: not marked
  ASSERT_FALSE(dlg.Validate());
  dlg.Store();
  EXPECT_EQ(settings.JpegQty, 75);
  EXPECT_EQ(settings.JpegSmooth, 0);
  EXPECT_EQ(settings.JpegOptHuff, 0);
  EXPECT_EQ(settings.JpegEncodeDCT, 0);
  EXPECT_EQ(settings.JpegDecodeDCT, 0);
  EXPECT_EQ(modified, 0);
  Open(5, 8);
  dlg.Store();
  EXPECT_EQ(modified, 1);
}

// ---------------------------------------------------------------------------
// General Settings

namespace
{

// Records the association calls; "associated" extensions are a set.
class FakeAssociations : public CFileAssociations
{
public:
  std::vector<std::string> associated;
  std::vector<std::string> calls;
  bool Has(const std::string &ext) const
  {
    for (const std::string &s : associated)
      if (s == ext)
        return true;
    return false;
  }
  int IsAssociated(const std::string &ext, int kind) override
  {
    calls.push_back("is " + ext + " " + std::to_string(kind));
    return Has(ext);
  }
  int Associate(const std::string &ext, const std::string &progId, const std::string &desc, int icon) override
  {
    calls.push_back("set " + ext + " " + progId + " " + desc + " " + std::to_string(icon));
    return 1;
  }
  int Unassociate(const std::string &ext) override
  {
    calls.push_back("unset " + ext);
    return 1;
  }
};

} // namespace

TEST_F(Dialogs, GeneralSettingsAssociations)
{
  FakeAssociations assoc;
  assoc.associated = {".djvu", ".bmp", ".jpeg", ".jpg", ".pbm", ".pgm"};
  CGeneralSettingsLogic dlg(settings, assoc);
  dlg.Load();
  // Every extension is asked, in table order, with the row's kind.
  const std::vector<std::string> asked = {"is .djvu 1", "is .djv 1",  "is .iw44 2", "is .iw4 2", "is .jpeg 5",
                                          "is .jpg 5",  "is .tiff 6", "is .tif 6",  "is .bmp 3", "is .pbm 4",
                                          "is .pgm 4",  "is .ppm 4",  "is .png 7"};
  EXPECT_EQ(assoc.calls, asked);
  const bool expected[kAssociationGroupCount] = {false, false, true, false, true, false, false};
  for (int i = 0; i < kAssociationGroupCount; i++)
    EXPECT_EQ(dlg.assocChecked[i], expected[i]) << i;
  EXPECT_EQ(CGeneralSettingsLogic::kAssocCheckIds[0], 1108);
  EXPECT_EQ(CGeneralSettingsLogic::kAssocCheckIds[4], 1110); // BMP
  EXPECT_EQ(CGeneralSettingsLogic::kAssocCheckIds[5], 1115); // PNM

  assoc.calls.clear();
  dlg.assocChecked[0] = true;       // DJVU: both extensions associated at OK
  dlg.assocChecked[4] = false;      // BMP: unassociated
  dlg.assocChecked[5] = true;       // PNM
  EXPECT_TRUE(assoc.calls.empty()); // nothing before OK
  ASSERT_FALSE(dlg.Validate());
  dlg.Store();
  const std::vector<std::string> applied = {"set .djvu Vellum.DJVU Vellum DjVu Image 2",
                                            "set .djv Vellum.DJVU Vellum DjVu Image 2",
                                            "unset .bmp",
                                            "set .pbm Vellum.PNM Vellum PNM Image 4",
                                            "set .pgm Vellum.PNM Vellum PNM Image 4",
                                            "set .ppm Vellum.PNM Vellum PNM Image 4"};
  EXPECT_EQ(assoc.calls, applied);
}

TEST_F(Dialogs, GeneralSettingsFieldsAndStore)
{
  FakeAssociations assoc;
  settings.WindowFit = 1;
  settings.WindowCenter = 1;
  settings.ImageFit = 2;
  settings.PrintSize = 1;
  settings.DisplayGamma = 1.8f;
  settings.SlideDelay = 5;
  CGeneralSettingsLogic dlg(settings, assoc);
  dlg.Load();
  EXPECT_TRUE(dlg.CenterEnabled());
  EXPECT_EQ(dlg.imageFit, 2);
  EXPECT_EQ(dlg.GammaPosition(), 180);
  EXPECT_EQ(dlg.delayText, "5");
  dlg.windowFit = false;
  EXPECT_FALSE(dlg.CenterEnabled());
  EXPECT_TRUE(dlg.windowCenter); // its value is kept

  for (const char *bad : {"0", "601"})
  {
    dlg.OnDelayText(bad);
    FieldError e = dlg.Validate();
    EXPECT_EQ(e.message, "Please enter an integer between 1 and 600.");
    EXPECT_EQ(e.controlId, CGeneralSettingsLogic::IDC_DELAY_EDIT);
  }
  dlg.OnDelayText("599");
  dlg.OnDelaySpin(+1);
  dlg.OnDelaySpin(+1);
  EXPECT_EQ(dlg.delayText, "600"); // the up-down stops at 600
  dlg.OnDelayText("2");
  dlg.OnDelaySpin(-1);
  dlg.OnDelaySpin(-1);
  EXPECT_EQ(dlg.delayText, "1");
  dlg.OnDelayText("12");

  dlg.OnGammaText("11");
  EXPECT_EQ(dlg.GammaPosition(), 1000);
  EXPECT_EQ(dlg.Validate().message, "Please enter a number between 0.1 and 10.");
  dlg.OnGammaTrack(250);
  dlg.imageFit = 3;
  dlg.dither = false;
  ASSERT_FALSE(dlg.Validate());
  dlg.Store();
  EXPECT_EQ(settings.WindowFit, 0);
  EXPECT_EQ(settings.WindowCenter, 1);
  EXPECT_EQ(settings.ImageFit, 3);
  EXPECT_EQ(settings.PrintSize, 1);
  EXPECT_EQ(settings.Dither, 0);
  EXPECT_FLOAT_EQ(settings.DisplayGamma, 2.5f);
  EXPECT_EQ(settings.SlideDelay, 12);
}

// ---------------------------------------------------------------------------
// Resize

TEST(Resize, TypingKeepsTheNumbersConsistent)
{
  struct Case
  {
    int baseW, baseH;
    bool keep;
    CResizeLogic::Field field;
    const char *typed;
    int width, widthPercent, height, heightPercent;
    bool refreshed;
  };
  using L = CResizeLogic;
  const Case cases[] = {
      {1000, 750, true, L::kWidth, "333", 333, 33, 249, 33, true},      // height truncated
      {1000, 750, true, L::kHeight, "250", 333, 33, 250, 33, true},     // width rounded
      {3, 3, true, L::kHeightPercent, "50", 2, 50, 1, 50, true},        // height truncated, width rounded
      {3, 3, true, L::kWidthPercent, "50", 2, 50, 2, 50, true},         // both rounded
      {1000, 750, false, L::kWidth, "500", 500, 50, 750, 100, true},    // no aspect: height untouched
      {1000, 750, true, L::kWidth, "0", 0, 0, 0, 0, false},             // 0: no refresh
      {1000, 750, true, L::kWidth, "1999", 1999, 200, 1499, 200, true}, // 199.9 % rounds to 200
      {0, 0, true, L::kWidth, "10", 10, 100, 0, 100, true},             // no base: percent kept
      {50000, 40000, true, L::kWidth, "99999", 99999, 200, 79999, 200, true}, // 64-bit products
  };
  for (const Case &c : cases)
  {
    SCOPED_TRACE(std::to_string(c.baseW) + "x" + std::to_string(c.baseH) + " " + c.typed);
    CResizeLogic r;
    r.Init(c.baseW, c.baseH);
    r.keepAspect = c.keep;
    EXPECT_EQ(r.OnText(c.field, c.typed), c.refreshed);
    EXPECT_EQ(r.width, c.width);
    EXPECT_EQ(r.widthPercent, c.widthPercent);
    EXPECT_EQ(r.height, c.height);
    EXPECT_EQ(r.heightPercent, c.heightPercent);
    EXPECT_EQ(r.text[c.field], c.typed); // the typed edit keeps its text
  }
}

TEST(Resize, RefreshSpinAndOk)
{
  CResizeLogic r;
  r.Init(1000, 750);
  EXPECT_EQ(r.text[CResizeLogic::kWidth], "1000");
  EXPECT_EQ(r.text[CResizeLogic::kHeightPercent], "100");
  EXPECT_EQ(r.method, 1);
  EXPECT_TRUE(r.keepAspect);

  r.OnText(CResizeLogic::kWidth, "333");
  EXPECT_EQ(r.text[CResizeLogic::kHeight], "249");
  EXPECT_EQ(r.text[CResizeLogic::kWidthPercent], "33");

  // 0 leaves the other edits showing the old values; OK reads what they show.
  r.OnText(CResizeLogic::kWidth, "0");
  EXPECT_EQ(r.text[CResizeLogic::kHeight], "249");
  ASSERT_FALSE(r.Validate());
  EXPECT_EQ(r.width, 0); // Resample refuses it
  EXPECT_EQ(r.height, 249);

  r.keepAspect = false; // the width is left as it is
  r.OnText(CResizeLogic::kHeight, "-3");
  FieldError e = r.Validate();
  EXPECT_EQ(e.message, "Please enter a positive integer.");
  EXPECT_EQ(e.controlId, CResizeLogic::IDC_HEIGHT_EDIT);

  r.Init(10, 10);
  r.OnText(CResizeLogic::kWidth, "32767");
  r.OnSpin(CResizeLogic::kWidth, +1);
  EXPECT_EQ(r.width, 32767);
  r.OnText(CResizeLogic::kHeight, "1");
  r.OnSpin(CResizeLogic::kHeight, -1);
  EXPECT_EQ(r.height, 1);
  r.OnSpin(CResizeLogic::kHeight, +1);
  EXPECT_EQ(r.height, 2);
  EXPECT_EQ(r.text[CResizeLogic::kHeight], "2");
  EXPECT_EQ(r.width, 2); // the spin's change is an edit change: aspect follows
}

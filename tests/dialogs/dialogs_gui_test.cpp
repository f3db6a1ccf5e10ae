// The wx dialogs under a virtual display: each opens modally and closes
// (scripted through a modal dialog hook), and typed text, trackbars and
// buttons reach the logic. The binary restarts itself under xvfb-run when
// DISPLAY is unset.
#include "Associations.h"
#include "Dialogs.h"
#include "MessageBox.h"
#include "Settings.h"

#include "../GuiTestSupport.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/init.h>
#include <wx/log.h>
#include <wx/modalhook.h>
#include <wx/radiobut.h>
#include <wx/slider.h>
#include <wx/textctrl.h>
#include <wx/timer.h>
#include <wx/debug.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

using namespace vellum;

namespace
{

std::vector<std::string> g_boxes;

int RecordBox(const char *text, const char *, unsigned style)
{
  g_boxes.push_back(text);
  return VellumDefaultMessageBoxAnswer(style);
}

// Lets each modal dialog run and, once its loop is going, runs the script
// on it; a dialog still open after the script (or after 10 s) is cancelled.
class ScriptHook : public wxModalDialogHook
{
public:
  std::function<void(wxDialog *)> script;
  std::vector<wxString> titles;

protected:
  int Enter(wxDialog *dialog) override
  {
    titles.push_back(dialog->GetTitle());
    dialog->CallAfter(
        [this, dialog]
        {
          if (script)
            script(dialog);
          if (dialog->IsModal())
            dialog->EndModal(wxID_CANCEL);
        });
    wxTimer *guard = new wxTimer(dialog);
    dialog->Bind(wxEVT_TIMER,
                 [dialog](wxTimerEvent &)
                 {
                   if (dialog->IsModal())
                     dialog->EndModal(wxID_CANCEL);
                 });
    guard->StartOnce(10000);
    return wxID_NONE;
  }
  void Exit(wxDialog *) override {}
};

void FailOnAssert(const wxString &file, int line, const wxString &func, const wxString &cond,
                  const wxString &msg)
{
  ADD_FAILURE() << "wx assertion " << cond << " " << msg << " in " << func << " at " << file << ":" << line;
}

ScriptHook g_hook;

class FakeStore : public CFileAssociations
{
public:
  std::vector<std::string> calls;
  int IsAssociated(const std::string &, int) override { return 0; }
  int Associate(const std::string &ext, const std::string &, const std::string &, int) override
  {
    calls.push_back("set " + ext);
    return 1;
  }
  int Unassociate(const std::string &ext) override
  {
    calls.push_back("unset " + ext);
    return 1;
  }
};

void Click(wxWindow *dialog, int id)
{
  wxWindow *w = dialog->FindWindow(id);
  ASSERT_NE(w, nullptr) << id;
  wxCommandEvent ev(wxEVT_BUTTON, id);
  ev.SetEventObject(w);
  w->GetEventHandler()->ProcessEvent(ev);
}

void Slide(wxWindow *dialog, int id, int pos)
{
  wxSlider *s = wxDynamicCast(dialog->FindWindow(id), wxSlider);
  ASSERT_NE(s, nullptr) << id;
  s->SetValue(pos);
  wxCommandEvent ev(wxEVT_SLIDER, id);
  ev.SetInt(pos);
  ev.SetEventObject(s);
  s->GetEventHandler()->ProcessEvent(ev);
}

wxTextCtrl *Edit(wxWindow *dialog, int id)
{
  return wxDynamicCast(dialog->FindWindow(id), wxTextCtrl);
}

int SliderPos(wxWindow *dialog, int id)
{
  return wxDynamicCast(dialog->FindWindow(id), wxSlider)->GetValue();
}

} // namespace

TEST(DialogsGui, EveryDialogOpensWithItsTitleAndCancels)
{
  CVellumSettings settings;
  DialogDocument doc;
  FakeStore store;
  g_hook.titles.clear();
  g_hook.script = nullptr;
  int w = 0, h = 0, m = 0;
  EXPECT_FALSE(RunDjVuSettingsDialog(nullptr, settings, doc));
  EXPECT_FALSE(RunDjVuAdvancedDialog(nullptr, settings, doc));
  EXPECT_FALSE(RunIw44SettingsDialog(nullptr, settings, doc));
  EXPECT_FALSE(RunJpegSettingsDialog(nullptr, settings, doc));
  EXPECT_FALSE(RunGeneralSettingsDialog(nullptr, settings, store));
  EXPECT_FALSE(RunResizeDialog(nullptr, 640, 480, &w, &h, &m));
  const std::vector<wxString> titles = {"DjVu Settings", "DjVu Advanced Parameters", "IW44 Settings",
                                        "JPEG Settings", "General Settings",         "Resize"};
  EXPECT_EQ(g_hook.titles, titles);
  EXPECT_TRUE(store.calls.empty());
}

TEST(DialogsGui, JpegControlsDriveTheLogic)
{
  CVellumSettings settings;
  settings.JpegEncodeDCT = 7;
  DialogDocument doc;
  CJpegSettingsDlg dlg(nullptr, settings, doc);
  dlg.Show();
  // A stored DCT of 7: no visible encoding radio selected.
  for (int id : {CJpegSettingsLogic::IDC_ENC_ACCURATE, CJpegSettingsLogic::IDC_ENC_FAST,
                 CJpegSettingsLogic::IDC_ENC_FLOAT})
    EXPECT_FALSE(wxDynamicCast(dlg.FindWindow(id), wxRadioButton)->GetValue()) << id;
  EXPECT_TRUE(wxDynamicCast(dlg.FindWindow(CJpegSettingsLogic::IDC_DEC_ACCURATE), wxRadioButton)->GetValue());
  Edit(&dlg, CJpegSettingsLogic::IDC_QUALITY_EDIT)->SetValue("42"); // typing: an edit change
  EXPECT_EQ(dlg.Logic().quality, 42);
  EXPECT_EQ(SliderPos(&dlg, CJpegSettingsLogic::IDC_QUALITY_TRACK), 42);
  Slide(&dlg, CJpegSettingsLogic::IDC_SMOOTH_TRACK, 30);
  EXPECT_EQ(Edit(&dlg, CJpegSettingsLogic::IDC_SMOOTH_EDIT)->GetValue(), "30");
  Click(&dlg, CJpegSettingsLogic::IDC_DEFAULT);
  EXPECT_EQ(Edit(&dlg, CJpegSettingsLogic::IDC_QUALITY_EDIT)->GetValue(), "75");
  EXPECT_EQ(SliderPos(&dlg, CJpegSettingsLogic::IDC_SMOOTH_TRACK), 0);
  EXPECT_TRUE(wxDynamicCast(dlg.FindWindow(CJpegSettingsLogic::IDC_ENC_ACCURATE), wxRadioButton)->GetValue());
  dlg.Destroy();
}

TEST(DialogsGui, OkRefusesAFieldOutOfRange)
{
  CVellumSettings settings;
  DialogDocument doc;
  g_boxes.clear();
  g_hook.script = [](wxDialog *d)
  {
    Edit(d, CDjVuSettingsLogic::IDC_QUALITY_EDIT)->SetValue("5");
    EXPECT_EQ(SliderPos(d, CDjVuSettingsLogic::IDC_QUALITY_TRACK), 20);
    Click(d, wxID_OK); // refused: stays open
    EXPECT_TRUE(d->IsModal());
    Edit(d, CDjVuSettingsLogic::IDC_QUALITY_EDIT)->SetValue("64");
    Click(d, wxID_OK);
  };
  EXPECT_TRUE(RunDjVuSettingsDialog(nullptr, settings, doc));
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0], "Please enter an integer between 20 and 100.");
  EXPECT_EQ(settings.DjvuPhotoQty, 64);
}

TEST(DialogsGui, AdvancedTextOnlyDisablesThePhotoControls)
{
  CVellumSettings settings;
  DialogDocument doc;
  CDjVuAdvancedDlg dlg(nullptr, settings, doc);
  dlg.Show();
  wxCheckBox *textOnly = wxDynamicCast(dlg.FindWindow(CDjVuAdvancedLogic::IDC_TEXT_ONLY), wxCheckBox);
  ASSERT_NE(textOnly, nullptr);
  textOnly->SetValue(true);
  wxCommandEvent ev(wxEVT_CHECKBOX, CDjVuAdvancedLogic::IDC_TEXT_ONLY);
  ev.SetInt(1);
  ev.SetEventObject(textOnly);
  textOnly->GetEventHandler()->ProcessEvent(ev);
  EXPECT_FALSE(dlg.FindWindow(CDjVuAdvancedLogic::IDC_GAMMA_TRACK)->IsEnabled());
  EXPECT_FALSE(dlg.FindWindow(CDjVuAdvancedLogic::IDC_GAMMA_EDIT)->IsEnabled());
  Edit(&dlg, CDjVuAdvancedLogic::IDC_GAMMA_EDIT)->SetValue("0.05");
  EXPECT_EQ(SliderPos(&dlg, CDjVuAdvancedLogic::IDC_GAMMA_TRACK), 10);
  dlg.Destroy();
}

TEST(DialogsGui, ResizeKeepsTheAspect)
{
  g_hook.script = [](wxDialog *d)
  {
    Edit(d, CResizeLogic::IDC_WIDTH_EDIT)->SetValue("333");
    EXPECT_EQ(Edit(d, CResizeLogic::IDC_HEIGHT_EDIT)->GetValue(), "249");
    EXPECT_EQ(Edit(d, CResizeLogic::IDC_WIDTH_PERCENT)->GetValue(), "33");
    EXPECT_EQ(Edit(d, CResizeLogic::IDC_WIDTH_EDIT)->GetValue(), "333");
    Click(d, wxID_OK);
  };
  int w = 0, h = 0, m = -1;
  ASSERT_TRUE(RunResizeDialog(nullptr, 1000, 750, &w, &h, &m));
  EXPECT_EQ(w, 333);
  EXPECT_EQ(h, 249);
  EXPECT_EQ(m, 1);
}

int main(int argc, char **argv)
{
  if (int status = vellum_test::RerunUnderXvfb(argc, argv); status >= 0)
    return status;
  ::testing::InitGoogleTest(&argc, argv);
  wxApp::SetInstance(new wxApp);
  int wxArgc = 1;
  char *wxArgv[] = {argv[0], nullptr};
  if (!wxEntryStart(wxArgc, wxArgv))
  {
    std::fprintf(stderr, "no display\n");
    return 1;
  }
  delete wxLog::SetActiveTarget(new wxLogStderr);
  VellumSetMessageBoxHook(RecordBox);
  wxSetAssertHandler(FailOnAssert);
  g_hook.Register();
  const int rc = RUN_ALL_TESTS();
  g_hook.Unregister();
  wxEntryCleanup();
  return rc;
}

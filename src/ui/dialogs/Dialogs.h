// The settings dialogs and the Resize dialog (wxWidgets).
//
// Each class binds one logic class of DialogLogic.h to its controls: events
// go to the logic, and the logic's members are copied back into the
// controls. Control window ids are the logic classes' IDC_* values; OK and
// Cancel are wxID_OK and wxID_CANCEL. Validation messages at OK go through
// VellumMessageBox.
//
// The Run* functions are the Options and Image menu commands: they copy the
// settings into a dialog, run it modally and on OK store the values back
// (marking the document as the logic says). They return true on OK.
#ifndef VELLUM_UI_DIALOGS_DIALOGS_H
#define VELLUM_UI_DIALOGS_DIALOGS_H

#include "DialogLogic.h"

#include <wx/dialog.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

class wxSlider;
class wxTextCtrl;
class wxRadioButton;
class wxCheckBox;
class wxSpinButton;

namespace vellum
{

// The "&Help" buttons call this hook with the dialog and the topic name;
// by default nothing is shown. The help module installs its viewer here.
using DialogHelpFn = void (*)(wxWindow *owner, const char *topic);
DialogHelpFn SetDialogHelpHook(DialogHelpFn hook); // returns the previous hook
void ShowDialogHelp(wxWindow *owner, const char *topic);

// Shared plumbing of the dialogs below.
class CVellumDialog : public wxDialog
{
public:
  CVellumDialog(wxWindow *parent, const wxString &title);

protected:
  // A radio group with a hidden extra button that stands for "none
  // selected" (GTK radio groups always have one button on).
  struct RadioGroup
  {
    std::vector<wxRadioButton *> buttons;
    wxRadioButton *none = nullptr;
    void Set(int value);
  };
  static void SetText(wxTextCtrl *edit, const std::string &text); // no change event
  static std::string Text(wxTextCtrl *edit);
  wxSlider *MakeSlider(wxWindow *parent, int id, int lo, int hi, int tick);
  wxTextCtrl *MakeEdit(wxWindow *parent, int id);
  // Builds the buttons row from (id, label) pairs; OK and Cancel included.
  wxSizer *MakeButtons(std::initializer_list<std::pair<int, const char *>> buttons);
  void EnableIds(std::initializer_list<int> ids, bool enable);
  // OK pressed: the error (if any) is shown and its control focused.
  bool ReportError(const FieldError &error);
  void BindHelp(const char *topic);

public:
  virtual void Push() = 0; // logic -> controls

protected:
  // Defined in Dialogs.cpp, the only place that uses them.
  // A slider and its edit box: moving the slider tells the logic and
  // refreshes the controls; typing tells the logic and moves the slider.
  template <class Logic>
  void BindTrack(wxSlider *slider, wxTextCtrl *edit, Logic &logic, void (Logic::*onTrack)(int),
                 void (Logic::*onText)(const std::string &), int (Logic::*position)() const);
  // Default and Reset tell the logic and refresh the controls.
  template <class Logic> void BindDefaultReset(Logic &logic);
  // OK closes the dialog once the logic finds nothing wrong.
  template <class Logic> void BindOk(Logic &logic);
};

class CDjVuSettingsDlg : public CVellumDialog
{
public:
  CDjVuSettingsDlg(wxWindow *parent, CVellumSettings &settings, const DialogDocument &doc);
  CDjVuSettingsLogic &Logic() { return m_logic; }
  void Push() override;

private:
  CVellumSettings &m_settings;
  const DialogDocument &m_doc;
  CDjVuSettingsLogic m_logic;
  wxSlider *m_quality;
  wxTextCtrl *m_qualityEdit;
  RadioGroup m_quick;
  RadioGroup m_profile;
};

class CDjVuAdvancedDlg : public CVellumDialog
{
public:
  CDjVuAdvancedDlg(wxWindow *parent, CVellumSettings &settings, const DialogDocument &doc);
  CDjVuAdvancedLogic &Logic() { return m_logic; }
  void Push() override;

private:
  CDjVuAdvancedLogic m_logic;
  wxCheckBox *m_lossless, *m_noThick, *m_textOnly, *m_noColor, *m_noSize, *m_noInv;
  wxSlider *m_gamma, *m_filter, *m_foreback;
  wxTextCtrl *m_gammaEdit, *m_filterEdit, *m_forebackEdit;
  RadioGroup m_upsample;
};

class CIw44SettingsDlg : public CVellumDialog
{
public:
  CIw44SettingsDlg(wxWindow *parent, CVellumSettings &settings, const DialogDocument &doc);
  CIw44SettingsLogic &Logic() { return m_logic; }
  void Push() override;

private:
  CIw44SettingsLogic m_logic;
  wxSlider *m_quality, *m_gamma;
  wxTextCtrl *m_qualityEdit, *m_gammaEdit;
  RadioGroup m_crcb;
};

class CJpegSettingsDlg : public CVellumDialog
{
public:
  CJpegSettingsDlg(wxWindow *parent, CVellumSettings &settings, const DialogDocument &doc);
  CJpegSettingsLogic &Logic() { return m_logic; }
  void Push() override;

private:
  CJpegSettingsLogic m_logic;
  wxSlider *m_quality, *m_smooth;
  wxTextCtrl *m_qualityEdit, *m_smoothEdit;
  wxCheckBox *m_optHuff;
  RadioGroup m_encode, m_decode;
};

class CGeneralSettingsDlg : public CVellumDialog
{
public:
  // Reads the association states when created.
  CGeneralSettingsDlg(wxWindow *parent, CVellumSettings &settings, CFileAssociations &assoc);
  CGeneralSettingsLogic &Logic() { return m_logic; }
  void Push() override;

private:
  CGeneralSettingsLogic m_logic;
  wxCheckBox *m_fit, *m_center, *m_shrink, *m_dither, *m_fancy;
  wxCheckBox *m_assoc[kAssociationGroupCount];
  RadioGroup m_imageFit, m_printSize;
  wxSlider *m_gamma;
  wxTextCtrl *m_gammaEdit, *m_delayEdit;
  wxSpinButton *m_delaySpin;
};

class CResizeDlg : public CVellumDialog
{
public:
  CResizeDlg(wxWindow *parent, int imageWidth, int imageHeight);
  CResizeLogic &Logic() { return m_logic; }
  void Push() override;

private:
  CResizeLogic m_logic;
  wxTextCtrl *m_edit[CResizeLogic::kFieldCount];
  wxSpinButton *m_widthSpin, *m_heightSpin;
  wxCheckBox *m_keep;
  RadioGroup m_method;
  bool m_ready = false; // edits are handled once the dialog is shown
};

bool RunDjVuSettingsDialog(wxWindow *parent, CVellumSettings &settings, const DialogDocument &doc);
bool RunDjVuAdvancedDialog(wxWindow *parent, CVellumSettings &settings, const DialogDocument &doc);
bool RunIw44SettingsDialog(wxWindow *parent, CVellumSettings &settings, const DialogDocument &doc);
bool RunJpegSettingsDialog(wxWindow *parent, CVellumSettings &settings, const DialogDocument &doc);
// Reads the associations before the dialog and applies the changes on OK.
bool RunGeneralSettingsDialog(wxWindow *parent, CVellumSettings &settings, CFileAssociations &assoc);
// On OK: the new width, height and scaling method (0 single sample, 1
// favour grid centre, 2 grid average) for Resample.
bool RunResizeDialog(wxWindow *parent, int imageWidth, int imageHeight, int *width, int *height, int *method);

} // namespace vellum

#endif

// The wx side of the settings dialogs and the Resize dialog: layout, and
// the forwarding of control events to the logic classes.
//
// Programmatic text changes use ChangeValue, which sends no event, so only
// the user's typing reaches the logic's On*Text handlers (as the dialogs
// ignore the changes their own refresh makes).
#include "Dialogs.h"

#include "Associations.h"
#include "MessageBox.h"
#include "Settings.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/radiobut.h>
#include <wx/sizer.h>
#include <wx/slider.h>
#include <wx/spinbutt.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

namespace vellum
{

namespace
{

void NoHelp(wxWindow *, const char *) {}

DialogHelpFn g_help = NoHelp;

const int kBorder = 6;

wxString W(const char *s)
{
  return wxString::FromUTF8(s);
}

// A group box and the sizer of its contents; controls inside are children
// of the box.
struct Group
{
  wxStaticBoxSizer *sizer;
  wxWindow *box;
  Group(wxWindow *parent, int id, const char *label, int orient = wxVERTICAL)
  {
    sizer = new wxStaticBoxSizer(new wxStaticBox(parent, id, W(label)), orient);
    box = sizer->GetStaticBox();
  }
};

wxStaticText *Label(wxWindow *parent, int id, const char *text)
{
  return new wxStaticText(parent, id, W(text));
}

// slider + edit on one row, the range labels under the slider.
wxSizer *TrackRow(wxWindow *parent, wxSlider *slider, wxTextCtrl *edit, int minId, const char *minText,
                  int maxId, const char *maxText)
{
  wxBoxSizer *col = new wxBoxSizer(wxVERTICAL);
  col->Add(slider, 0, wxEXPAND);
  wxBoxSizer *labels = new wxBoxSizer(wxHORIZONTAL);
  labels->Add(Label(parent, minId, minText));
  labels->AddStretchSpacer();
  labels->Add(Label(parent, maxId, maxText));
  col->Add(labels, 0, wxEXPAND);
  wxBoxSizer *row = new wxBoxSizer(wxHORIZONTAL);
  row->Add(col, 1, wxEXPAND | wxRIGHT, kBorder);
  row->Add(edit, 0, wxALIGN_TOP);
  return row;
}

} // namespace

DialogHelpFn SetDialogHelpHook(DialogHelpFn hook)
{
  DialogHelpFn old = g_help;
  g_help = hook ? hook : NoHelp;
  return old;
}

void ShowDialogHelp(wxWindow *owner, const char *topic)
{
  g_help(owner, topic);
}

// ---------------------------------------------------------------------------
// CVellumDialog

CVellumDialog::CVellumDialog(wxWindow *parent, const wxString &title)
    : wxDialog(parent, wxID_ANY, title, wxDefaultPosition, wxDefaultSize, wxDEFAULT_DIALOG_STYLE)
{
}

void CVellumDialog::RadioGroup::Set(int value)
{
  if (value >= 0 && value < (int)buttons.size())
    buttons[(size_t)value]->SetValue(true);
  else if (none)
    none->SetValue(true);
}

void CVellumDialog::SetText(wxTextCtrl *edit, const std::string &text)
{
  const wxString t = W(text.c_str());
  if (edit->GetValue() != t)
    edit->ChangeValue(t);
}

std::string CVellumDialog::Text(wxTextCtrl *edit)
{
  return std::string(edit->GetValue().utf8_str());
}

wxSlider *CVellumDialog::MakeSlider(wxWindow *parent, int id, int lo, int hi, int tick)
{
  // Widths in dialog units: they follow the font, as the labels beside do.
  wxSlider *s =
      new wxSlider(parent, id, lo, lo, hi, wxDefaultPosition, parent->ConvertDialogToPixels(wxSize(112, -1)),
                   wxSL_HORIZONTAL | wxSL_AUTOTICKS);
  s->SetTickFreq(tick);
  return s;
}

wxTextCtrl *CVellumDialog::MakeEdit(wxWindow *parent, int id)
{
  wxTextCtrl *edit = new wxTextCtrl(parent, id);
  // Room for the longest value (five digits) in the font the control uses;
  // the height is the toolkit's own.
  edit->SetInitialSize(wxSize(edit->GetSizeFromText("000000").x, -1));
  return edit;
}

wxSizer *CVellumDialog::MakeButtons(std::initializer_list<std::pair<int, const char *>> buttons)
{
  wxBoxSizer *row = new wxBoxSizer(wxHORIZONTAL);
  for (const auto &b : buttons)
  {
    wxButton *button = new wxButton(this, b.first, W(b.second));
    if (b.first == wxID_OK)
      button->SetDefault();
    row->Add(button, 0, wxLEFT, kBorder);
  }
  return row;
}

void CVellumDialog::EnableIds(std::initializer_list<int> ids, bool enable)
{
  for (int id : ids)
    if (wxWindow *w = FindWindow(id))
      w->Enable(enable);
}

bool CVellumDialog::ReportError(const FieldError &error)
{
  if (!error)
    return false;
  VellumMessageBox(error.message.c_str(), kDialogCaption, VMB_OK | VMB_ICONEXCLAMATION);
  if (wxWindow *w = FindWindow(error.controlId))
  {
    w->SetFocus();
    if (wxTextCtrl *edit = wxDynamicCast(w, wxTextCtrl))
      edit->SelectAll();
  }
  return true;
}

void CVellumDialog::BindHelp(const char *topic)
{
  Bind(
      wxEVT_BUTTON, [this, topic](wxCommandEvent &) { ShowDialogHelp(this, topic); }, 1130);
}

template <class Logic>
void CVellumDialog::BindTrack(wxSlider *slider, wxTextCtrl *edit, Logic &logic, void (Logic::*onTrack)(int),
                              void (Logic::*onText)(const std::string &), int (Logic::*position)() const)
{
  slider->Bind(wxEVT_SLIDER,
               [this, slider, &logic, onTrack](wxCommandEvent &)
               {
                 (logic.*onTrack)(slider->GetValue());
                 Push();
               });
  edit->Bind(wxEVT_TEXT,
             [slider, edit, &logic, onText, position](wxCommandEvent &)
             {
               (logic.*onText)(Text(edit));
               slider->SetValue((logic.*position)());
             });
}

template <class Logic> void CVellumDialog::BindDefaultReset(Logic &logic)
{
  Bind(
      wxEVT_BUTTON,
      [this, &logic](wxCommandEvent &)
      {
        logic.OnDefault();
        Push();
      },
      Logic::IDC_DEFAULT);
  Bind(
      wxEVT_BUTTON,
      [this, &logic](wxCommandEvent &)
      {
        logic.OnReset();
        Push();
      },
      Logic::IDC_RESET);
}

template <class Logic> void CVellumDialog::BindOk(Logic &logic)
{
  Bind(
      wxEVT_BUTTON,
      [this, &logic](wxCommandEvent &)
      {
        if (!ReportError(logic.Validate()))
          EndModal(wxID_OK);
      },
      wxID_OK);
}

// ---------------------------------------------------------------------------
// DjVu Settings

CDjVuSettingsDlg::CDjVuSettingsDlg(wxWindow *parent, CVellumSettings &settings, const DialogDocument &doc)
    : CVellumDialog(parent, "DjVu Settings"), m_settings(settings), m_doc(doc), m_logic(settings, doc)
{
  using L = CDjVuSettingsLogic;
  wxBoxSizer *top = new wxBoxSizer(wxVERTICAL);
  top->Add(Label(this, L::IDC_INFO, "These settings are used when saving images to DjVu format"), 0, wxALL,
           kBorder);

  Group quick(this, L::IDC_QUICKSET_GROUP, "Quick set");
  quick.sizer->Add(Label(quick.box, L::IDC_SOURCE_IS, "Source is:"), 0, wxBOTTOM, kBorder);
  const char *radios[3] = {"H&igh resolution (300 DPI and up)", "&Medium resolution (100 - 299 DPI)",
                           "&Low resolution (below 100 DPI)"};
  for (int i = 0; i < 3; i++)
  {
    wxRadioButton *r = new wxRadioButton(quick.box, L::IDC_QUICK_HIGH + i, W(radios[i]), wxDefaultPosition,
                                         wxDefaultSize, i == 0 ? wxRB_GROUP : 0);
    m_quick.buttons.push_back(r);
    quick.sizer->Add(r, 0, wxLEFT, 2 * kBorder);
  }
  m_quick.none = new wxRadioButton(quick.box, wxID_ANY, wxEmptyString);
  m_quick.none->Hide();
  top->Add(quick.sizer, 0, wxEXPAND | wxLEFT | wxRIGHT, kBorder);

  Group quality(this, L::IDC_QUALITY_GROUP, "Target background quality");
  m_quality = MakeSlider(quality.box, L::IDC_QUALITY_TRACK, L::kQualityMin, L::kQualityMax, 10);
  m_qualityEdit = MakeEdit(quality.box, L::IDC_QUALITY_EDIT);
  quality.sizer->Add(TrackRow(quality.box, m_quality, m_qualityEdit, L::IDC_QUALITY_MIN_LABEL, "20",
                              L::IDC_QUALITY_MAX_LABEL, "100"),
                     0, wxEXPAND);
  top->Add(quality.sizer, 0, wxEXPAND | wxALL, kBorder);

  Group profile(this, L::IDC_PROFILE_GROUP, "Encoding profile");
  const char *profiles[2] = {"Compac&t", "Cla&ssic"};
  for (int i = 0; i < 2; i++)
  {
    wxRadioButton *r = new wxRadioButton(profile.box, L::IDC_PROFILE_COMPACT + i, W(profiles[i]),
                                         wxDefaultPosition, wxDefaultSize, i == 0 ? wxRB_GROUP : 0);
    m_profile.buttons.push_back(r);
    profile.sizer->Add(r, 0, wxLEFT, 2 * kBorder);
    r->Bind(wxEVT_RADIOBUTTON, [this, i](wxCommandEvent &) { m_logic.OnProfile(i); });
  }
  top->Add(profile.sizer, 0, wxEXPAND | wxLEFT | wxRIGHT, kBorder);

  top->Add(MakeButtons({{L::IDC_DEFAULT, "&Default"},
                        {L::IDC_RESET, "&Reset"},
                        {L::IDC_ADVANCED, "&Advanced"},
                        {wxID_OK, "&OK"},
                        {wxID_CANCEL, "&Cancel"},
                        {L::IDC_HELP, "&Help"}}),
           0, wxALIGN_RIGHT | wxALL, kBorder);
  SetSizerAndFit(top);

  if (!m_logic.QualityEnabled())
    EnableIds({L::IDC_QUALITY_GROUP, L::IDC_QUALITY_TRACK, L::IDC_QUALITY_EDIT, L::IDC_QUALITY_MIN_LABEL,
               L::IDC_QUALITY_MAX_LABEL},
              false);

  BindTrack(m_quality, m_qualityEdit, m_logic, &L::OnQualityTrack, &L::OnQualityText, &L::QualityPosition);
  for (int i = 0; i < 3; i++)
    m_quick.buttons[(size_t)i]->Bind(wxEVT_RADIOBUTTON,
                                     [this, i](wxCommandEvent &) { m_logic.OnQuickSet(i); });
  BindDefaultReset(m_logic);
  Bind(
      wxEVT_BUTTON,
      [this](wxCommandEvent &)
      {
        if (RunDjVuAdvancedDialog(this, m_settings, m_doc))
        {
          m_logic.AfterAdvanced();
          Push();
        }
      },
      L::IDC_ADVANCED);
  BindOk(m_logic);
  BindHelp(kHelpDjvuOptions);
  Push();
}

void CDjVuSettingsDlg::Push()
{
  m_quality->SetValue(m_logic.QualityPosition());
  SetText(m_qualityEdit, m_logic.qualityText);
  m_quick.Set(m_logic.quickSet);
  m_profile.Set(m_logic.ProfileRadio());
}

bool RunDjVuSettingsDialog(wxWindow *parent, CVellumSettings &settings, const DialogDocument &doc)
{
  // The quick-set radios and the Advanced dialog write the settings as they
  // go; Cancel gives back what the dialog found, and the document is marked
  // modified only once the dialog is confirmed.
  const CVellumSettings found = settings;
  bool marked = false;
  DialogDocument deferred = doc;
  deferred.setModified = [&marked] { marked = true; };
  CDjVuSettingsDlg dlg(parent, settings, deferred);
  if (dlg.ShowModal() != wxID_OK)
  {
    settings = found;
    return false;
  }
  dlg.Logic().Store();
  if (marked && doc.setModified)
    doc.setModified();
  return true;
}

// ---------------------------------------------------------------------------
// DjVu Advanced Parameters

CDjVuAdvancedDlg::CDjVuAdvancedDlg(wxWindow *parent, CVellumSettings &settings, const DialogDocument &doc)
    : CVellumDialog(parent, "DjVu Advanced Parameters"), m_logic(settings, doc)
{
  using L = CDjVuAdvancedLogic;
  wxBoxSizer *top = new wxBoxSizer(wxVERTICAL);
  wxBoxSizer *columns = new wxBoxSizer(wxHORIZONTAL);
  wxBoxSizer *left = new wxBoxSizer(wxVERTICAL);

  Group text(this, L::IDC_TEXT_GROUP, "Text encoding");
  m_lossless = new wxCheckBox(text.box, L::IDC_LOSSLESS, "&Lossless mask");
  m_noThick = new wxCheckBox(text.box, L::IDC_NO_THICK, W("No character thic&kening"));
  m_textOnly = new wxCheckBox(text.box, L::IDC_TEXT_ONLY, W("Save &text only"));
  text.sizer->Add(m_lossless);
  text.sizer->Add(m_noThick);
  text.sizer->Add(m_textOnly);
  left->Add(text.sizer, 0, wxEXPAND | wxBOTTOM, kBorder);

  Group photo(this, L::IDC_PHOTO_GROUP, "Photo encoding");
  photo.sizer->Add(Label(photo.box, L::IDC_GAMMA_LABEL, "Gamma correction"));
  m_gamma = MakeSlider(photo.box, L::IDC_GAMMA_TRACK, 0, 1000, 100);
  m_gammaEdit = MakeEdit(photo.box, L::IDC_GAMMA_EDIT);
  photo.sizer->Add(TrackRow(photo.box, m_gamma, m_gammaEdit, L::IDC_GAMMA_MIN_LABEL, "0.00",
                            L::IDC_GAMMA_MAX_LABEL, "10.00"),
                   0, wxEXPAND);
  left->Add(photo.sizer, 0, wxEXPAND | wxBOTTOM, kBorder);

  Group up(this, L::IDC_UPSAMPLE_GROUP, "Document upsampling");
  const char *ups[4] = {"&None", "Enlarge original &2x before saving", "Enlarge original &3x before saving",
                        "Enlarge original &4x before saving"};
  for (int i = 0; i < 4; i++)
  {
    wxRadioButton *r = new wxRadioButton(up.box, L::IDC_UPSAMPLE_NONE + i, W(ups[i]), wxDefaultPosition,
                                         wxDefaultSize, i == 0 ? wxRB_GROUP : 0);
    m_upsample.buttons.push_back(r);
    up.sizer->Add(r);
    r->Bind(wxEVT_RADIOBUTTON, [this, i](wxCommandEvent &) { m_logic.upsample = i; });
  }
  m_upsample.none = new wxRadioButton(up.box, wxID_ANY, wxEmptyString);
  m_upsample.none->Hide();
  left->Add(up.sizer, 0, wxEXPAND);
  columns->Add(left, 1, wxEXPAND | wxRIGHT, kBorder);

  Group mask(this, L::IDC_MASK_GROUP, "Mask");
  m_noColor = new wxCheckBox(mask.box, L::IDC_NO_COLOR_FILTER, W("No color &filter"));
  m_noSize = new wxCheckBox(mask.box, L::IDC_NO_SIZE_FILTER, W("No &size filter"));
  m_noInv = new wxCheckBox(mask.box, L::IDC_NO_INV_FILTER, W("No &inversion filter"));
  mask.sizer->Add(m_noColor);
  mask.sizer->Add(m_noSize);
  mask.sizer->Add(m_noInv);
  mask.sizer->Add(Label(mask.box, L::IDC_FILTER_LABEL, "Filter level"), 0, wxTOP, kBorder);
  m_filter = MakeSlider(mask.box, L::IDC_FILTER_TRACK, L::kFilterMin, L::kFilterMax, 40);
  m_filterEdit = MakeEdit(mask.box, L::IDC_FILTER_EDIT);
  mask.sizer->Add(TrackRow(mask.box, m_filter, m_filterEdit, L::IDC_FILTER_MIN_LABEL, "-200",
                           L::IDC_FILTER_MAX_LABEL, "200"),
                  0, wxEXPAND);
  mask.sizer->Add(Label(mask.box, L::IDC_FOREBACK_LABEL, "Foreback level"), 0, wxTOP, kBorder);
  m_foreback = MakeSlider(mask.box, L::IDC_FOREBACK_TRACK, L::kForebackMin, L::kForebackMax, 25);
  m_forebackEdit = MakeEdit(mask.box, L::IDC_FOREBACK_EDIT);
  mask.sizer->Add(TrackRow(mask.box, m_foreback, m_forebackEdit, L::IDC_FOREBACK_MIN_LABEL, "0",
                           L::IDC_FOREBACK_MAX_LABEL, "255"),
                  0, wxEXPAND);
  columns->Add(mask.sizer, 1, wxEXPAND);
  top->Add(columns, 1, wxEXPAND | wxALL, kBorder);

  top->Add(MakeButtons({{L::IDC_DEFAULT, "&Default"},
                        {L::IDC_RESET, "&Reset"},
                        {wxID_OK, "&OK"},
                        {wxID_CANCEL, "&Cancel"},
                        {L::IDC_HELP, "&Help"}}),
           0, wxALIGN_RIGHT | wxALL, kBorder);
  SetSizerAndFit(top);

  if (!m_logic.TextOnlyEnabled())
    m_textOnly->Disable();

  auto check = [this](wxCheckBox *box, bool CDjVuAdvancedLogic::*member)
  {
    box->Bind(wxEVT_CHECKBOX,
              [this, box, member](wxCommandEvent &)
              {
                m_logic.*member = box->GetValue();
                Push(); // text only changes the photo enabling
              });
  };
  check(m_lossless, &L::lossless);
  check(m_noThick, &L::noThick);
  check(m_textOnly, &L::textOnly);
  check(m_noColor, &L::noColorFilter);
  check(m_noSize, &L::noSizeFilter);
  check(m_noInv, &L::noInvFilter);
  BindTrack(m_gamma, m_gammaEdit, m_logic, &L::OnGammaTrack, &L::OnGammaText, &L::GammaPosition);
  BindTrack(m_filter, m_filterEdit, m_logic, &L::OnFilterTrack, &L::OnFilterText, &L::FilterPosition);
  BindTrack(m_foreback, m_forebackEdit, m_logic, &L::OnForebackTrack, &L::OnForebackText,
            &L::ForebackPosition);
  BindDefaultReset(m_logic);
  BindOk(m_logic);
  BindHelp(kHelpAdvDjvuOptions);
  Push();
}

void CDjVuAdvancedDlg::Push()
{
  using L = CDjVuAdvancedLogic;
  m_lossless->SetValue(m_logic.lossless);
  m_noThick->SetValue(m_logic.noThick);
  m_textOnly->SetValue(m_logic.textOnly);
  m_noColor->SetValue(m_logic.noColorFilter);
  m_noSize->SetValue(m_logic.noSizeFilter);
  m_noInv->SetValue(m_logic.noInvFilter);
  m_upsample.Set(m_logic.upsample);
  m_gamma->SetValue(m_logic.GammaPosition());
  m_filter->SetValue(m_logic.FilterPosition());
  m_foreback->SetValue(m_logic.ForebackPosition());
  SetText(m_gammaEdit, m_logic.gammaText);
  SetText(m_filterEdit, m_logic.filterText);
  SetText(m_forebackEdit, m_logic.forebackText);
  EnableIds({L::IDC_PHOTO_GROUP, L::IDC_GAMMA_LABEL, L::IDC_GAMMA_TRACK, L::IDC_GAMMA_EDIT,
             L::IDC_GAMMA_MIN_LABEL, L::IDC_GAMMA_MAX_LABEL},
            m_logic.PhotoEnabled());
}

bool RunDjVuAdvancedDialog(wxWindow *parent, CVellumSettings &settings, const DialogDocument &doc)
{
  CDjVuAdvancedDlg dlg(parent, settings, doc);
  if (dlg.ShowModal() != wxID_OK)
    return false;
  dlg.Logic().Store();
  return true;
}

// ---------------------------------------------------------------------------
// IW44 Settings

CIw44SettingsDlg::CIw44SettingsDlg(wxWindow *parent, CVellumSettings &settings, const DialogDocument &doc)
    : CVellumDialog(parent, "IW44 Settings"), m_logic(settings, doc)
{
  using L = CIw44SettingsLogic;
  wxBoxSizer *top = new wxBoxSizer(wxVERTICAL);
  top->Add(Label(this, L::IDC_INFO, "These settings are used when saving images to IW44 format"), 0, wxALL,
           kBorder);
  Group photo(this, L::IDC_PHOTO_GROUP, "Photo encoding");
  photo.sizer->Add(Label(photo.box, L::IDC_QUALITY_LABEL, "Target image quality"));
  m_quality = MakeSlider(photo.box, L::IDC_QUALITY_TRACK, L::kQualityMin, L::kQualityMax, 10);
  m_qualityEdit = MakeEdit(photo.box, L::IDC_QUALITY_EDIT);
  photo.sizer->Add(TrackRow(photo.box, m_quality, m_qualityEdit, wxID_ANY, "20", wxID_ANY, "100"), 0,
                   wxEXPAND);
  photo.sizer->Add(Label(photo.box, L::IDC_GAMMA_LABEL, "Gamma correction"), 0, wxTOP, kBorder);
  m_gamma = MakeSlider(photo.box, L::IDC_GAMMA_TRACK, 0, 1000, 100);
  m_gammaEdit = MakeEdit(photo.box, L::IDC_GAMMA_EDIT);
  photo.sizer->Add(TrackRow(photo.box, m_gamma, m_gammaEdit, L::IDC_GAMMA_MIN_LABEL, "0.00",
                            L::IDC_GAMMA_MAX_LABEL, "10.00"),
                   0, wxEXPAND);
  photo.sizer->Add(Label(photo.box, L::IDC_COLOR_LABEL, "Color encoding:"), 0, wxTOP, kBorder);
  const char *radios[3] = {"H&alf color encoding", "&Full color encoding", "&Eliminate all color"};
  for (int i = 0; i < 3; i++)
  {
    wxRadioButton *r = new wxRadioButton(photo.box, L::IDC_CRCB_HALF + i, W(radios[i]), wxDefaultPosition,
                                         wxDefaultSize, i == 0 ? wxRB_GROUP : 0);
    m_crcb.buttons.push_back(r);
    photo.sizer->Add(r, 0, wxLEFT, 2 * kBorder);
    r->Bind(wxEVT_RADIOBUTTON, [this, i](wxCommandEvent &) { m_logic.crcb = i; });
  }
  m_crcb.none = new wxRadioButton(photo.box, wxID_ANY, wxEmptyString);
  m_crcb.none->Hide();
  top->Add(photo.sizer, 0, wxEXPAND | wxLEFT | wxRIGHT, kBorder);
  top->Add(MakeButtons({{L::IDC_DEFAULT, "&Default"},
                        {L::IDC_RESET, "&Reset"},
                        {wxID_OK, "&OK"},
                        {wxID_CANCEL, "&Cancel"},
                        {L::IDC_HELP, "&Help"}}),
           0, wxALIGN_RIGHT | wxALL, kBorder);
  SetSizerAndFit(top);

  BindTrack(m_quality, m_qualityEdit, m_logic, &L::OnQualityTrack, &L::OnQualityText, &L::QualityPosition);
  BindTrack(m_gamma, m_gammaEdit, m_logic, &L::OnGammaTrack, &L::OnGammaText, &L::GammaPosition);
  BindDefaultReset(m_logic);
  BindOk(m_logic);
  BindHelp(kHelpIw44Options);
  Push();
}

void CIw44SettingsDlg::Push()
{
  m_quality->SetValue(m_logic.QualityPosition());
  m_gamma->SetValue(m_logic.GammaPosition());
  SetText(m_qualityEdit, m_logic.qualityText);
  SetText(m_gammaEdit, m_logic.gammaText);
  m_crcb.Set(m_logic.crcb);
}

bool RunIw44SettingsDialog(wxWindow *parent, CVellumSettings &settings, const DialogDocument &doc)
{
  CIw44SettingsDlg dlg(parent, settings, doc);
  if (dlg.ShowModal() != wxID_OK)
    return false;
  dlg.Logic().Store();
  return true;
}

// ---------------------------------------------------------------------------
// JPEG Settings

CJpegSettingsDlg::CJpegSettingsDlg(wxWindow *parent, CVellumSettings &settings, const DialogDocument &doc)
    : CVellumDialog(parent, "JPEG Settings"), m_logic(settings, doc)
{
  using L = CJpegSettingsLogic;
  wxBoxSizer *top = new wxBoxSizer(wxVERTICAL);
  Group enc(this, wxID_ANY, "Encoding");
  enc.sizer->Add(Label(enc.box, wxID_ANY, "JPEG quality value"));
  m_quality = MakeSlider(enc.box, L::IDC_QUALITY_TRACK, 0, 100, 10);
  m_qualityEdit = MakeEdit(enc.box, L::IDC_QUALITY_EDIT);
  enc.sizer->Add(TrackRow(enc.box, m_quality, m_qualityEdit, wxID_ANY, "0", wxID_ANY, "100"), 0, wxEXPAND);
  enc.sizer->Add(Label(enc.box, wxID_ANY, "Smoothing"), 0, wxTOP, kBorder);
  m_smooth = MakeSlider(enc.box, L::IDC_SMOOTH_TRACK, 0, 100, 10);
  m_smoothEdit = MakeEdit(enc.box, L::IDC_SMOOTH_EDIT);
  wxBoxSizer *smoothRow = new wxBoxSizer(wxHORIZONTAL);
  smoothRow->Add(m_smooth, 1, wxEXPAND | wxRIGHT, kBorder);
  smoothRow->Add(m_smoothEdit);
  enc.sizer->Add(smoothRow, 0, wxEXPAND);
  m_optHuff = new wxCheckBox(enc.box, L::IDC_OPT_HUFF, W("Optimize &Huffman tables"));
  enc.sizer->Add(m_optHuff, 0, wxTOP, kBorder);
  enc.sizer->Add(Label(enc.box, wxID_ANY, "DCT method:"), 0, wxTOP, kBorder);
  const int encIds[3] = {L::IDC_ENC_ACCURATE, L::IDC_ENC_FAST, L::IDC_ENC_FLOAT};
  const char *encText[3] = {"&Accurate integer", "&Fast integer", "Floating &point"};
  wxBoxSizer *encRow = new wxBoxSizer(wxHORIZONTAL);
  for (int i = 0; i < 3; i++)
  {
    wxRadioButton *r = new wxRadioButton(enc.box, encIds[i], W(encText[i]), wxDefaultPosition, wxDefaultSize,
                                         i == 0 ? wxRB_GROUP : 0);
    m_encode.buttons.push_back(r);
    encRow->Add(r, 0, wxRIGHT, kBorder);
    r->Bind(wxEVT_RADIOBUTTON, [this, i](wxCommandEvent &) { m_logic.encodeDct = i; });
  }
  m_encode.none = new wxRadioButton(enc.box, wxID_ANY, wxEmptyString);
  m_encode.none->Hide();
  enc.sizer->Add(encRow);
  top->Add(enc.sizer, 0, wxEXPAND | wxALL, kBorder);

  Group dec(this, wxID_ANY, "Decoding");
  dec.sizer->Add(Label(dec.box, wxID_ANY, "DCT method:"));
  const int decIds[3] = {L::IDC_DEC_ACCURATE, L::IDC_DEC_FAST, L::IDC_DEC_FLOAT};
  const char *decText[3] = {"Acc&urate integer", "Fa&st integer", "F&loating point"};
  wxBoxSizer *decRow = new wxBoxSizer(wxHORIZONTAL);
  for (int i = 0; i < 3; i++)
  {
    wxRadioButton *r = new wxRadioButton(dec.box, decIds[i], W(decText[i]), wxDefaultPosition, wxDefaultSize,
                                         i == 0 ? wxRB_GROUP : 0);
    m_decode.buttons.push_back(r);
    decRow->Add(r, 0, wxRIGHT, kBorder);
    r->Bind(wxEVT_RADIOBUTTON, [this, i](wxCommandEvent &) { m_logic.decodeDct = i; });
  }
  m_decode.none = new wxRadioButton(dec.box, wxID_ANY, wxEmptyString);
  m_decode.none->Hide();
  dec.sizer->Add(decRow);
  top->Add(dec.sizer, 0, wxEXPAND | wxLEFT | wxRIGHT, kBorder);
  top->Add(MakeButtons({{L::IDC_DEFAULT, "&Default"},
                        {L::IDC_RESET, "&Reset"},
                        {L::IDC_HELP, "&Help"},
                        {wxID_OK, "&OK"},
                        {wxID_CANCEL, "&Cancel"}}),
           0, wxALIGN_RIGHT | wxALL, kBorder);
  SetSizerAndFit(top);

  BindTrack(m_quality, m_qualityEdit, m_logic, &L::OnQualityTrack, &L::OnQualityText, &L::QualityPosition);
  BindTrack(m_smooth, m_smoothEdit, m_logic, &L::OnSmoothTrack, &L::OnSmoothText, &L::SmoothPosition);
  m_optHuff->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent &) { m_logic.optHuff = m_optHuff->GetValue(); });
  BindDefaultReset(m_logic);
  BindOk(m_logic);
  BindHelp(kHelpJpegOptions);
  Push();
}

void CJpegSettingsDlg::Push()
{
  m_quality->SetValue(m_logic.QualityPosition());
  m_smooth->SetValue(m_logic.SmoothPosition());
  SetText(m_qualityEdit, m_logic.qualityText);
  SetText(m_smoothEdit, m_logic.smoothText);
  m_optHuff->SetValue(m_logic.optHuff);
  m_encode.Set(m_logic.encodeDct);
  m_decode.Set(m_logic.decodeDct);
}

bool RunJpegSettingsDialog(wxWindow *parent, CVellumSettings &settings, const DialogDocument &doc)
{
  CJpegSettingsDlg dlg(parent, settings, doc);
  if (dlg.ShowModal() != wxID_OK)
    return false;
  dlg.Logic().Store();
  return true;
}

// ---------------------------------------------------------------------------
// General Settings

CGeneralSettingsDlg::CGeneralSettingsDlg(wxWindow *parent, CVellumSettings &settings,
                                         CFileAssociations &assoc)
    : CVellumDialog(parent, "General Settings"), m_logic(settings, assoc)
{
  using L = CGeneralSettingsLogic;
  m_logic.Load();
  wxBoxSizer *top = new wxBoxSizer(wxVERTICAL);
  top->Add(Label(this, wxID_ANY, "General program settings"), 0, wxALL, kBorder);
  wxBoxSizer *columns = new wxBoxSizer(wxHORIZONTAL);
  wxBoxSizer *left = new wxBoxSizer(wxVERTICAL), *right = new wxBoxSizer(wxVERTICAL);

  Group window(this, L::IDC_WINDOW_GROUP, "Auto fit window");
  m_fit = new wxCheckBox(window.box, L::IDC_WINDOW_FIT, W("&Fit window to image"));
  m_center = new wxCheckBox(window.box, L::IDC_WINDOW_CENTER, W("C&enter window after fit"));
  window.sizer->Add(m_fit);
  window.sizer->Add(m_center);
  left->Add(window.sizer, 0, wxEXPAND | wxBOTTOM, kBorder);

  Group image(this, L::IDC_IMAGE_GROUP, "Auto fit image");
  const char *fits[4] = {"Shrink to fit &width", "Shrink to fit heigh&t", "Shrink to fit width &and height",
                         "Do &not fit image"};
  for (int i = 0; i < 4; i++)
  {
    wxRadioButton *r = new wxRadioButton(image.box, L::IDC_FIT_WIDTH + i, W(fits[i]), wxDefaultPosition,
                                         wxDefaultSize, i == 0 ? wxRB_GROUP : 0);
    m_imageFit.buttons.push_back(r);
    image.sizer->Add(r);
    r->Bind(wxEVT_RADIOBUTTON, [this, i](wxCommandEvent &) { m_logic.imageFit = i; });
  }
  m_imageFit.none = new wxRadioButton(image.box, wxID_ANY, wxEmptyString);
  m_imageFit.none->Hide();
  left->Add(image.sizer, 0, wxEXPAND | wxBOTTOM, kBorder);

  Group files(this, L::IDC_ASSOC_GROUP, "File associations");
  files.sizer->Add(
      Label(files.box, L::IDC_ASSOC_LABEL, "Vellum is the default viewer\nfor these file types:"), 0,
      wxBOTTOM, kBorder);
  // On screen: DJVU, IW44, BMP, PNM, JPEG, TIFF, PNG; logic index = group
  // order.
  const int screenOrder[kAssociationGroupCount] = {0, 1, 4, 5, 2, 3, 6};
  wxGridSizer *grid = new wxGridSizer(2, 0, 2 * kBorder);
  for (int k = 0; k < kAssociationGroupCount; k++)
  {
    const int g = screenOrder[k];
    m_assoc[g] = new wxCheckBox(files.box, L::kAssocCheckIds[g], W(kAssociationGroups[g].label));
    grid->Add(m_assoc[g]);
    m_assoc[g]->Bind(wxEVT_CHECKBOX,
                     [this, g](wxCommandEvent &) { m_logic.assocChecked[g] = m_assoc[g]->GetValue(); });
  }
  files.sizer->Add(grid);
  left->Add(files.sizer, 0, wxEXPAND);

  Group print(this, L::IDC_PRINT_GROUP, "Printing");
  const char *prints[2] = {"Reproduce &original doc size", "Reproduce &screen size"};
  for (int i = 0; i < 2; i++)
  {
    wxRadioButton *r = new wxRadioButton(print.box, L::IDC_PRINT_ORIGINAL + i, W(prints[i]),
                                         wxDefaultPosition, wxDefaultSize, i == 0 ? wxRB_GROUP : 0);
    m_printSize.buttons.push_back(r);
    print.sizer->Add(r);
    r->Bind(wxEVT_RADIOBUTTON, [this, i](wxCommandEvent &) { m_logic.printSize = i; });
  }
  m_printSize.none = new wxRadioButton(print.box, wxID_ANY, wxEmptyString);
  m_printSize.none->Hide();
  m_shrink = new wxCheckBox(print.box, L::IDC_SHRINK_PRINT, W("Shrink to fit &paper"));
  print.sizer->Add(m_shrink);
  right->Add(print.sizer, 0, wxEXPAND | wxBOTTOM, kBorder);

  Group display(this, L::IDC_DISPLAY_GROUP, "Display");
  m_dither = new wxCheckBox(display.box, L::IDC_DITHER, W("&Dither in low color displays"));
  m_fancy = new wxCheckBox(display.box, L::IDC_FANCY_ZOOM, W("Use fancy DjVu &zooming"));
  display.sizer->Add(m_dither);
  display.sizer->Add(m_fancy);
  display.sizer->Add(Label(display.box, L::IDC_GAMMA_LABEL, "Gamma correction (DjVu && IW44)"), 0, wxTOP,
                     kBorder);
  m_gamma = MakeSlider(display.box, L::IDC_GAMMA_TRACK, 0, 1000, 100);
  m_gammaEdit = MakeEdit(display.box, L::IDC_GAMMA_EDIT);
  display.sizer->Add(TrackRow(display.box, m_gamma, m_gammaEdit, L::IDC_GAMMA_MIN_LABEL, "0.00",
                              L::IDC_GAMMA_MAX_LABEL, "10.00"),
                     0, wxEXPAND);
  right->Add(display.sizer, 0, wxEXPAND | wxBOTTOM, kBorder);

  Group slide(this, wxID_ANY, "Slide show", wxHORIZONTAL);
  slide.sizer->Add(Label(slide.box, wxID_ANY, "Delay in seconds:"), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT,
                   kBorder);
  m_delayEdit = MakeEdit(slide.box, L::IDC_DELAY_EDIT);
  m_delaySpin = new wxSpinButton(slide.box, L::IDC_DELAY_SPIN, wxDefaultPosition, wxDefaultSize,
                                 wxSP_VERTICAL | wxSP_ARROW_KEYS);
  m_delaySpin->SetRange(L::kDelayMin, L::kDelayMax);
  slide.sizer->Add(m_delayEdit, 0, wxALIGN_CENTER_VERTICAL);
  slide.sizer->Add(m_delaySpin, 0, wxALIGN_CENTER_VERTICAL);
  right->Add(slide.sizer, 0, wxEXPAND);

  columns->Add(left, 1, wxEXPAND | wxRIGHT, kBorder);
  columns->Add(right, 1, wxEXPAND);
  top->Add(columns, 1, wxEXPAND | wxLEFT | wxRIGHT, kBorder);
  top->Add(MakeButtons({{L::IDC_HELP, "&Help"}, {wxID_OK, "&OK"}, {wxID_CANCEL, "&Cancel"}}), 0,
           wxALIGN_RIGHT | wxALL, kBorder);
  SetSizerAndFit(top);

  m_fit->Bind(wxEVT_CHECKBOX,
              [this](wxCommandEvent &)
              {
                m_logic.windowFit = m_fit->GetValue();
                m_center->Enable(m_logic.CenterEnabled());
              });
  m_center->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent &) { m_logic.windowCenter = m_center->GetValue(); });
  m_shrink->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent &) { m_logic.shrinkPrint = m_shrink->GetValue(); });
  m_dither->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent &) { m_logic.dither = m_dither->GetValue(); });
  m_fancy->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent &) { m_logic.fancyZoom = m_fancy->GetValue(); });
  BindTrack(m_gamma, m_gammaEdit, m_logic, &L::OnGammaTrack, &L::OnGammaText, &L::GammaPosition);
  m_delayEdit->Bind(wxEVT_TEXT,
                    [this](wxCommandEvent &)
                    {
                      m_logic.OnDelayText(Text(m_delayEdit));
                      m_delaySpin->SetValue(Clamp(m_logic.slideDelay, L::kDelayMin, L::kDelayMax));
                    });
  auto spin = [this](int step)
  {
    m_logic.OnDelaySpin(step);
    SetText(m_delayEdit, m_logic.delayText);
    m_delaySpin->SetValue(m_logic.slideDelay);
  };
  m_delaySpin->Bind(wxEVT_SPIN_UP, [spin](wxSpinEvent &) { spin(+1); });
  m_delaySpin->Bind(wxEVT_SPIN_DOWN, [spin](wxSpinEvent &) { spin(-1); });
  BindOk(m_logic);
  BindHelp(kHelpGeneralOptions);
  Push();
}

void CGeneralSettingsDlg::Push()
{
  m_fit->SetValue(m_logic.windowFit);
  m_center->SetValue(m_logic.windowCenter);
  m_center->Enable(m_logic.CenterEnabled());
  m_imageFit.Set(m_logic.imageFit);
  m_printSize.Set(m_logic.printSize);
  m_shrink->SetValue(m_logic.shrinkPrint);
  m_dither->SetValue(m_logic.dither);
  m_fancy->SetValue(m_logic.fancyZoom);
  for (int g = 0; g < kAssociationGroupCount; g++)
    m_assoc[g]->SetValue(m_logic.assocChecked[g]);
  m_gamma->SetValue(m_logic.GammaPosition());
  SetText(m_gammaEdit, m_logic.gammaText);
  SetText(m_delayEdit, m_logic.delayText);
  m_delaySpin->SetValue(
      Clamp(m_logic.slideDelay, CGeneralSettingsLogic::kDelayMin, CGeneralSettingsLogic::kDelayMax));
}

bool RunGeneralSettingsDialog(wxWindow *parent, CVellumSettings &settings, CFileAssociations &assoc)
{
  CGeneralSettingsDlg dlg(parent, settings, assoc);
  if (dlg.ShowModal() != wxID_OK)
    return false;
  dlg.Logic().Store();
  return true;
}

// ---------------------------------------------------------------------------
// Resize

CResizeDlg::CResizeDlg(wxWindow *parent, int imageWidth, int imageHeight) : CVellumDialog(parent, "Resize")
{
  using L = CResizeLogic;
  m_logic.Init(imageWidth, imageHeight);
  wxBoxSizer *top = new wxBoxSizer(wxVERTICAL);
  wxBoxSizer *columns = new wxBoxSizer(wxHORIZONTAL);

  Group dims(this, wxID_ANY, "New dimensions");
  wxFlexGridSizer *grid = new wxFlexGridSizer(5, kBorder, kBorder);
  const int ids[L::kFieldCount] = {L::IDC_WIDTH_EDIT, L::IDC_WIDTH_PERCENT, L::IDC_HEIGHT_EDIT,
                                   L::IDC_HEIGHT_PERCENT};
  for (int f = 0; f < L::kFieldCount; f++)
    m_edit[f] = MakeEdit(dims.box, ids[f]);
  m_widthSpin =
      new wxSpinButton(dims.box, L::IDC_WIDTH_SPIN, wxDefaultPosition, wxDefaultSize, wxSP_VERTICAL);
  m_heightSpin =
      new wxSpinButton(dims.box, L::IDC_HEIGHT_SPIN, wxDefaultPosition, wxDefaultSize, wxSP_VERTICAL);
  m_widthSpin->SetRange(L::kSpinMin, L::kSpinMax);
  m_heightSpin->SetRange(L::kSpinMin, L::kSpinMax);
  grid->Add(Label(dims.box, L::IDC_WIDTH_LABEL, "Width:"), 0, wxALIGN_CENTER_VERTICAL);
  grid->Add(m_edit[L::kWidth]);
  grid->Add(m_widthSpin, 0, wxALIGN_CENTER_VERTICAL);
  grid->Add(m_edit[L::kWidthPercent]);
  grid->Add(Label(dims.box, wxID_ANY, "%"), 0, wxALIGN_CENTER_VERTICAL);
  grid->Add(Label(dims.box, L::IDC_HEIGHT_LABEL, "Height:"), 0, wxALIGN_CENTER_VERTICAL);
  grid->Add(m_edit[L::kHeight]);
  grid->Add(m_heightSpin, 0, wxALIGN_CENTER_VERTICAL);
  grid->Add(m_edit[L::kHeightPercent]);
  grid->Add(Label(dims.box, wxID_ANY, "%"), 0, wxALIGN_CENTER_VERTICAL);
  dims.sizer->Add(grid);
  m_keep = new wxCheckBox(dims.box, L::IDC_KEEP_ASPECT, W("Maintain aspect &ratio"));
  dims.sizer->Add(m_keep, 0, wxTOP, kBorder);
  columns->Add(dims.sizer, 1, wxEXPAND | wxRIGHT, kBorder);

  Group method(this, wxID_ANY, "Scaling method");
  const char *methods[3] = {"&Single sample", "&Favor grid center", "Grid &average"};
  for (int i = 0; i < 3; i++)
  {
    wxRadioButton *r = new wxRadioButton(method.box, L::IDC_SINGLE_SAMPLE + i, W(methods[i]),
                                         wxDefaultPosition, wxDefaultSize, i == 0 ? wxRB_GROUP : 0);
    m_method.buttons.push_back(r);
    method.sizer->Add(r);
    r->Bind(wxEVT_RADIOBUTTON, [this, i](wxCommandEvent &) { m_logic.method = i; });
  }
  m_method.none = new wxRadioButton(method.box, wxID_ANY, wxEmptyString);
  m_method.none->Hide();
  columns->Add(method.sizer, 0, wxEXPAND);
  top->Add(columns, 1, wxEXPAND | wxALL, kBorder);
  top->Add(MakeButtons({{L::IDC_HELP, "&Help"}, {wxID_OK, "&OK"}, {wxID_CANCEL, "&Cancel"}}), 0,
           wxALIGN_RIGHT | wxALL, kBorder);
  SetSizerAndFit(top);

  for (int f = 0; f < L::kFieldCount; f++)
    m_edit[f]->Bind(wxEVT_TEXT,
                    [this, f](wxCommandEvent &)
                    {
                      if (!m_ready)
                        return;
                      if (m_logic.OnText((L::Field)f, Text(m_edit[f])))
                        Push();
                    });
  auto spin = [this](L::Field f, int step)
  {
    m_logic.OnSpin(f, step);
    Push();
  };
  m_widthSpin->Bind(wxEVT_SPIN_UP, [spin](wxSpinEvent &) { spin(L::kWidth, +1); });
  m_widthSpin->Bind(wxEVT_SPIN_DOWN, [spin](wxSpinEvent &) { spin(L::kWidth, -1); });
  m_heightSpin->Bind(wxEVT_SPIN_UP, [spin](wxSpinEvent &) { spin(L::kHeight, +1); });
  m_heightSpin->Bind(wxEVT_SPIN_DOWN, [spin](wxSpinEvent &) { spin(L::kHeight, -1); });
  m_keep->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent &) { m_logic.keepAspect = m_keep->GetValue(); });
  BindOk(m_logic);
  BindHelp(kHelpResize);
  Push();
  m_ready = true;
}

void CResizeDlg::Push()
{
  using L = CResizeLogic;
  for (int f = 0; f < L::kFieldCount; f++)
    SetText(m_edit[f], m_logic.text[f]);
  m_widthSpin->SetValue(Clamp(m_logic.width, L::kSpinMin, L::kSpinMax));
  m_heightSpin->SetValue(Clamp(m_logic.height, L::kSpinMin, L::kSpinMax));
  m_keep->SetValue(m_logic.keepAspect);
  m_method.Set(m_logic.method);
}

bool RunResizeDialog(wxWindow *parent, int imageWidth, int imageHeight, int *width, int *height, int *method)
{
  CResizeDlg dlg(parent, imageWidth, imageHeight);
  if (dlg.ShowModal() != wxID_OK)
    return false;
  *width = dlg.Logic().width;
  *height = dlg.Logic().height;
  *method = dlg.Logic().method;
  return true;
}

} // namespace vellum

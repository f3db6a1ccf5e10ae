#include "SourceDialog.h"

#include <wx/arrstr.h>
#include <wx/choicdlg.h>

#include "Scanner.h"

using vellum::Scanner;

bool ChooseScanSource(wxWindow *parent)
{
  Scanner &scanner = Scanner::Instance();
  const auto devices = scanner.Devices();
  if (devices.empty())
    return false;
  wxArrayString names;
  int current = 0;
  const std::string selected = scanner.SelectedSource();
  for (size_t i = 0; i < devices.size(); ++i)
  {
    const auto &d = devices[i];
    names.Add(wxString::FromUTF8(d.vendor + " " + d.model + " (" + d.name + ")"));
    if (d.name == selected)
      current = static_cast<int>(i);
  }
  wxSingleChoiceDialog dialog(parent, "Choose the scanner to acquire images from:", "Select Source", names);
  dialog.SetSelection(current);
  if (dialog.ShowModal() != wxID_OK)
    return false;
  const int chosen = dialog.GetSelection();
  if (chosen < 0 || chosen >= static_cast<int>(devices.size()))
    return false;
  scanner.SelectSource(devices[chosen].name);
  return true;
}

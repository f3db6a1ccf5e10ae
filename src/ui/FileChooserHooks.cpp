#include "FileChooserHooks.h"

#include <gtk/gtk.h>

#include <wx/filedlg.h>

namespace
{

struct FilterHook
{
  wxFileDialog *dialog;
  std::function<std::string(int, const std::string &)> rename;
};

GtkFileChooser *Chooser(wxFileDialog &dialog)
{
  GtkWidget *widget = dialog.GetHandle();
  return widget && GTK_IS_FILE_CHOOSER(widget) ? GTK_FILE_CHOOSER(widget) : nullptr;
}

void OnFilterNotify(GObject *, GParamSpec *, gpointer data)
{
  FilterHook *hook = static_cast<FilterHook *>(data);
  GtkFileChooser *chooser = Chooser(*hook->dialog);
  if (!chooser)
    return;
  const std::string typed = FileDialogTypedName(*hook->dialog);
  const std::string name = hook->rename(hook->dialog->GetFilterIndex(), typed);
  if (!name.empty() && name != typed)
    gtk_file_chooser_set_current_name(chooser, name.c_str());
}

void FreeHook(gpointer data, GClosure *)
{
  delete static_cast<FilterHook *>(data);
}

} // namespace

void OnFileDialogFilterChange(wxFileDialog &dialog,
                              std::function<std::string(int filterIndex, const std::string &typed)> rename)
{
  GtkFileChooser *chooser = Chooser(dialog);
  if (!chooser)
    return;
  g_signal_connect_data(chooser, "notify::filter", G_CALLBACK(OnFilterNotify),
                        new FilterHook{&dialog, std::move(rename)}, FreeHook, GConnectFlags(0));
}

std::string FileDialogTypedName(wxFileDialog &dialog)
{
  GtkFileChooser *chooser = Chooser(dialog);
  if (!chooser)
    return std::string();
  gchar *name = gtk_file_chooser_get_current_name(chooser);
  const std::string typed = name ? name : "";
  g_free(name);
  return typed;
}

void ChooseFileDialogFilter(wxFileDialog &dialog, int filterIndex)
{
  GtkFileChooser *chooser = Chooser(dialog);
  if (!chooser)
    return;
  GSList *filters = gtk_file_chooser_list_filters(chooser);
  if (GSList *at = g_slist_nth(filters, static_cast<guint>(filterIndex)))
    gtk_file_chooser_set_filter(chooser, GTK_FILE_FILTER(at->data));
  g_slist_free(filters);
}

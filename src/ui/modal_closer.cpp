#include "ui/modal_closer.h"

#include <gtk/gtk.h>

#include <wx/dialog.h>
#include <wx/toplevel.h>

namespace wexmoor {

ModalCloser::ModalCloser(std::function<bool()> closeSignalled) : closeSignalled_(std::move(closeSignalled)) {
  Start(kTickMs);
}

ModalCloser::~ModalCloser() { Stop(); }

void ModalCloser::Notify() {
  if (!closing_ && closeSignalled_ && closeSignalled_()) closing_ = true;
  if (closing_) EndInnermostModal();
}

bool ModalCloser::EndInnermostModal() {
  // GTK's own dialogs (wxMessageBox runs one in gtk_dialog_run, where wx
  // knows nothing of it) and menus: answered as their close box would. They
  // never hold a wx modal window above them.
  bool ended = false;
  GList* windows = gtk_window_list_toplevels();
  for (GList* item = windows; item != nullptr; item = item->next) g_object_ref(item->data);
  for (GList* item = windows; item != nullptr; item = item->next) {
    GtkWidget* window = GTK_WIDGET(item->data);
    if (!gtk_widget_get_visible(window)) continue;
    if (GTK_IS_DIALOG(window) && gtk_window_get_modal(GTK_WINDOW(window))) {
      gtk_dialog_response(GTK_DIALOG(window), GTK_RESPONSE_DELETE_EVENT);
      ended = true;
    } else if (GtkWidget* child = gtk_bin_get_child(GTK_BIN(window)); child && GTK_IS_MENU_SHELL(child)) {
      gtk_menu_shell_cancel(GTK_MENU_SHELL(child));
      ended = true;
    }
  }
  g_list_free_full(windows, g_object_unref);
  if (ended) return true;

  // wx dialogs: only the innermost, whose loop is the one running; the others
  // follow on later ticks, each once the loop above it has ended.
  for (auto it = wxTopLevelWindows.rbegin(); it != wxTopLevelWindows.rend(); ++it) {
    // dynamic_cast: wxDynamicCast casts down before it checks, which the
    // undefined-behaviour checker rightly refuses for a frame.
    auto* dialog = dynamic_cast<wxDialog*>(*it);
    if (!dialog || !dialog->IsModal()) continue;
    dialog->Close();
    if (dialog->IsModal()) dialog->EndModal(wxID_CANCEL);
    return true;
  }
  return false;
}

}  // namespace wexmoor

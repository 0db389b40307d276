#include "ui/compact_style.h"

#include <gtk/gtk.h>

namespace wexmoor {

void InstallCompactStyle() {
  static constexpr char kCss[] =
      "* { font-size: 9pt; }\n"
      "button, entry, combobox, combobox button, spinbutton, checkbutton, radiobutton,"
      " progressbar, progressbar trough, progressbar progress, treeview, list, row {"
      "  min-height: 0; min-width: 0; }\n"
      "button { padding: 0px 4px; }\n"
      "entry { padding: 0px 3px; }\n"
      "combobox button { padding: 0px 2px; }\n"
      "checkbutton, radiobutton { padding: 0px; }\n"
      "check, radio { min-height: 12px; min-width: 12px; margin: 0px 3px 0px 0px; }\n"
      "progressbar trough, progressbar progress { min-height: 6px; }\n"
      "frame > label { padding: 0px; }\n";
  GdkScreen* screen = gdk_screen_get_default();
  if (!screen) return;
  GtkCssProvider* provider = gtk_css_provider_new();
  gtk_css_provider_load_from_data(provider, kCss, -1, nullptr);
  gtk_style_context_add_provider_for_screen(screen, GTK_STYLE_PROVIDER(provider),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(provider);
}

}  // namespace wexmoor

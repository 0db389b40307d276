// The About window, which is also the options window: language choice,
// "Disable automatic updates", and the locked-copy generator.
#pragma once

#include <functional>

#include <wx/icon.h>
#include <wx/window.h>

#include "i18n/language_translator.h"

namespace wexmoor {

struct AboutSettings {
  int hideServerList = 0;
  int disableUpdates = 0;
  int notifications = 1;
  bool lockedMode = false;
  Text siteBase;
};

struct AboutHooks {
  Translator* translator = nullptr;
  // Runs after the language changed, before the window is built again.
  std::function<void()> languageChanged;
  // The locked-copy generator with the About window as owner.
  std::function<void(wxWindow* owner)> generateLockedCopy;
  // Opens a web or mail address (the default browser when empty).
  std::function<void(const Text& address)> openAddress;
  // The window icon; may be null.
  const wxIcon* icon = nullptr;
  // The state of the "Notifications" check box when the window ends.
  std::function<void(bool on)> notificationsChosen;
  // Called with every About window built, before it runs (for tests).
  std::function<void(wxWindow* about)> onShown;
};

// Runs the window modally over `owner`; bit 0 of the result hides the server
// list, bit 1 disables automatic updates.
int RunAboutWindow(wxWindow* owner, const AboutSettings& settings, const AboutHooks& hooks);

}  // namespace wexmoor

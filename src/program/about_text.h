// The About window's words and addresses, kept apart from its controls: the
// text with its credit paragraphs and help, the maker's and translators'
// addresses under the maker's site, and the window's result.
#pragma once

#include "platform/text.h"
#include "i18n/language_translator.h"

namespace wexmoor {

struct AboutAddresses {
  Text site;            // the maker's home page ("" without a site)
  Text frenchSite;      // its French-language page
  Text downloadPage;    // where the full version is
  Text makerMail;       // the maker's address
  Text translatorMail;  // the Russian and Ukrainian translation's address
  Text translatorSite;  // the Chinese translation's page
};

// Addresses below `siteBase` (e.g. "http://127.0.0.1:8080"); all empty
// without a site.
AboutAddresses MakeAboutAddresses(TextView siteBase);

// The arrows that end the about text, pointing at the site button.
inline constexpr TextView kAboutArrows = u" >> >> >> >> >> >> >> >> >> >> >> >>";

// The about text; line breaks are "\r". Without a web site (`withSite`
// false) the lines that point at its buttons (comments, the full version,
// the invitation with its arrows) are left out, as the buttons are.
Text BuildAboutText(const Translator& translator, bool lockedMode, bool withSite = true);

// "mailto:" address with a subject.
Text MailAddress(TextView address, TextView subject);

enum class AboutEnd { kConfirmed, kClosed };

// The window's result: bit 0 hides the server list, bit 1 disables updates.
// A locked copy always gets 3. Closing with the close box keeps the updates
// setting the window was opened with.
int AboutResult(bool lockedMode, AboutEnd end, bool updatesBoxTicked, int disableUpdatesBefore);

}  // namespace wexmoor

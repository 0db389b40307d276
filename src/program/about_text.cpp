#include "program/about_text.h"

#include "model/version.h"
#include "i18n/language_table.h"

namespace wexmoor {

AboutAddresses MakeAboutAddresses(TextView siteBase) {
  AboutAddresses a;
  Text base(siteBase);
  while (!base.empty() && base.back() == u'/') base.pop_back();
  if (base.empty()) return a;
  // The host part names the mail domain.
  Text host = base;
  if (const auto scheme = host.find(u"://"); scheme != Text::npos) host = host.substr(scheme + 3);
  if (const auto slash = host.find(u'/'); slash != Text::npos) host = host.substr(0, slash);
  if (const auto colon = host.find(u':'); colon != Text::npos) host = host.substr(0, colon);
  a.site = base + u"/";
  a.frenchSite = base + u"/fr/";
  a.downloadPage = base + u"/download/";
  a.makerMail = u"comments@" + host;
  a.translatorMail = u"translations@" + host;
  a.translatorSite = base + u"/translations/";
  return a;
}

Text BuildAboutText(const Translator& translator, bool lockedMode, bool withSite) {
  const auto t = [&](TextView english) { return translator.Translate(english); };
  Text text;
  text += u"Written in C++ with wxWidgets.\r\r";
  text += u"Russian and Ukrainian texts: translation team\r\r";
  text += u"German texts: translation team\r\r";
  text += u"Chinese texts: translation team\r\r";
  if (!lockedMode) {
    text += t(u"") + u"\r\r";
    if (withSite) text += t(u"Please send me your comments:") + u"\r\r";
    text += t(u"Choose your server destination before droping your file. You can send files to "
              u"different FTPs if you change the server between each drop.");
    text += translator.Language() == u"Deutsch" ? u" " : u"\r";
    text += t(u"To know the destination of a file, click on its name: the corresponding server will "
              u"be selected in the top list.");
  } else {
    text += u"\r\r\r" + t(u"You are using a customized and locked version of this program.") + u"\r\r";
    if (withSite) text += t(u"Go to the author's site to download the free full version.") + u"\r\r\r";
  }
  if (withSite) text += u"\r\r" + t(LanguageRowKey(kOtherProgramsRow)) + Text(kAboutArrows);
  return text;
}

Text MailAddress(TextView address, TextView subject) {
  Text out = u"mailto:" + Text(address) + u"?subject=";
  for (char16_t c : subject) out += c == u' ' ? Text(u"%20") : Text(1, c);
  return out;
}

int AboutResult(bool lockedMode, AboutEnd end, bool updatesBoxTicked, int disableUpdatesBefore) {
  if (lockedMode) return 3;
  if (end == AboutEnd::kConfirmed) return updatesBoxTicked ? 2 : 0;
  return disableUpdatesBefore != 0 ? 2 : 0;
}

}  // namespace wexmoor

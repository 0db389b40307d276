#include "ui/about_window.h"

#include <array>
#include <optional>
#include <vector>

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/dcclient.h>
#include <wx/dialog.h>
#include <wx/panel.h>
#include <wx/radiobut.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/log.h>
#include <wx/utils.h>

#include "model/version.h"
#include "program/about_text.h"
#include "ui/label_fit.h"
#include "i18n/language_table.h"
#include "ui/secondary_position.h"
#include "ui/wx_text.h"

namespace wexmoor {
namespace {

// Ends the modal loop so the window is built again in the new language.
constexpr int kRebuild = wxID_HIGHEST + 1;

constexpr int kTextTop = 80;
constexpr int kButtonHeight = 20;

// The room of a line of the about text: beside a button it ends before the
// button, elsewhere it takes the whole width.
int AboutLineWidth(int line, int lineHeight, const std::vector<int>& buttonTops) {
  const int top = kTextTop + line * lineHeight;
  for (int b : buttonTops)
    if (top < b + kButtonHeight && top + lineHeight > b) return 272;
  return 425;
}

// The about text in lines that fit its box: as many arrows as fit the last
// line, and a smaller font when a long translation needs more lines.
wxString LayOutAboutText(wxStaticText* box, Text text, const std::vector<int>& buttonTops) {
  constexpr int kLastLineWidth = 330;
  const bool arrows = text.ends_with(kAboutArrows);
  if (arrows) text.resize(text.size() - kAboutArrows.size());
  wxString laid;
  for (int points = 8; points >= 6; --points) {
    box->SetFont(wxFontInfo(points));
    const int lineHeight = box->GetCharHeight();
    laid = WrapForWidths(
        box, text, [&](int line) { return AboutLineWidth(line, lineHeight, buttonTops); }, kLastLineWidth);
    if (arrows) {
      const int lastBreak = laid.Find('\n', true);
      wxString last = laid.Mid(static_cast<size_t>(lastBreak + 1));
      while (box->GetTextExtent(last + " >>").GetWidth() <= kLastLineWidth) last += " >>";
      laid = laid.Left(static_cast<size_t>(lastBreak + 1)) + last;
    }
    wxClientDC dc(box);
    dc.SetFont(box->GetFont());
    if (dc.GetMultiLineTextExtent(laid).GetHeight() <= box->GetSize().GetHeight()) break;
  }
  return laid;
}

Text WithoutScheme(const Text& address) {
  const auto at = address.find(u"://");
  Text out = at == Text::npos ? address : address.substr(at + 3);
  while (!out.empty() && out.back() == u'/') out.pop_back();
  return out;
}

class AboutDialog : public wxDialog {
 public:
  AboutDialog(wxWindow* owner, const AboutSettings& settings, const AboutHooks& hooks)
      : wxDialog(owner, wxID_ANY,
                 ToWx(hooks.translator->Translate(u"About ") + Text(kWindowTitle)),
                 SecondaryWindowPosition(), wxDefaultSize, wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX),
        settings_(settings),
        hooks_(hooks),
        addresses_(MakeAboutAddresses(settings.siteBase)) {
    const bool locked = settings.lockedMode;
    const Translator& tr = *hooks.translator;
    const auto t = [&](TextView english) { return ToWx(tr.Translate(english)); };
    if (hooks.icon && hooks.icon->IsOk()) SetIcon(*hooks.icon);
    SetClientSize(460, locked ? 426 : 446);
    Move(SecondaryWindowPosition());
    auto* p = new wxPanel(this, wxID_ANY, wxPoint(0, 0), GetClientSize());

    new wxStaticBox(p, wxID_ANY, t(u"Language"), wxPoint(10, 10), wxSize(434, 60));
    const std::array<wxPoint, kLanguageCount> kOptionPlaces{
        wxPoint(20, 25), wxPoint(130, 25), wxPoint(240, 25),
        wxPoint(350, 25), wxPoint(20, 45), wxPoint(130, 45)};
    const Text current = tr.Language();
    // Holds the group's "on" place when the language is none of the six.
    auto* none = new wxRadioButton(p, wxID_ANY, wxString(), wxPoint(0, 0), wxSize(1, 1), wxRB_GROUP);
    none->SetValue(true);
    none->Hide();
    // As wide as the room up to the next column (the last one to the
    // frame); one font for all six names.
    std::vector<wxRadioButton*> options;
    for (int i = 0; i < kLanguageCount; ++i) {
      const wxPoint at = kOptionPlaces[static_cast<std::size_t>(i)];
      auto* option = new wxRadioButton(p, wxID_ANY, ToWx(kLanguageNames[static_cast<std::size_t>(i)]), at,
                                       wxSize(at.x + 105 <= 440 ? 105 : 440 - at.x, 20));
      if (current == kLanguageNames[static_cast<std::size_t>(i)]) option->SetValue(true);
      option->Bind(wxEVT_RADIOBUTTON, [this, i](wxCommandEvent&) { OnLanguage(i); });
      options.push_back(option);
    }
    FitOptionsAlike(options, 22);

    // Without a web site there is nothing to visit or mail: those buttons,
    // and the lines that point at them, are left out.
    const bool withSite = !addresses_.site.empty();
    auto* text = new wxStaticText(p, wxID_ANY, wxString(), wxPoint(10, 80), wxSize(430, 247),
                                  wxST_NO_AUTORESIZE);
    // Lines beside the buttons leave room for them; the last paragraph ends
    // before the site button.
    std::vector<int> buttonTops;
    if (withSite) buttonTops = locked ? std::vector<int>{103, 155, 246} : std::vector<int>{103, 155, 220};
    text->SetLabel(LayOutAboutText(text, BuildAboutText(tr, locked, withSite), buttonTops));

    if (withSite) {
      // Each button stands beside the lines of the text it belongs to.
      int y = 103;
      AddButton(p, ToWx(addresses_.translatorMail), wxPoint(288, y), wxSize(137, 20),
                [this] { Open(MailAddress(addresses_.translatorMail, kWindowTitle)); });
      y += 4 * 13;
      AddButton(p, ToWx(WithoutScheme(addresses_.translatorSite)), wxPoint(288, y), wxSize(137, 20),
                [this] { Open(addresses_.translatorSite); });
      if (!locked) {
        AddButton(p, t(u"Mail to the author"), wxPoint(285, 220), wxSize(140, 20), [this, &tr] {
          Open(MailAddress(addresses_.makerMail, tr.Translate(u"Comments about ") + Text(kWindowTitle)));
        });
      } else {
        AddButton(p, t(u"Full version"), wxPoint(285, 246), wxSize(140, 20),
                  [this] { Open(addresses_.downloadPage); });
      }
      AddButton(p, ToWx(WithoutScheme(addresses_.site)), wxPoint(345, 311), wxSize(100, 22), [this, &tr] {
        Open(tr.Language() == u"Français" ? addresses_.frenchSite : addresses_.site);
      });
    }

    if (!locked) {
      new wxStaticBox(p, wxID_ANY, t(u"Preferences"), wxPoint(10, 337), wxSize(434, 40));
      updates_ = new wxCheckBox(p, wxID_ANY, t(u"Disable automatic updates"), wxPoint(20, 352),
                                wxSize(220, 20));
      updates_->SetValue(settings.disableUpdates != 0);
      FitLabelFont(updates_, 22);
      notifications_ = new wxCheckBox(p, wxID_ANY, t(u"Notifications"), wxPoint(250, 352), wxSize(185, 20));
      notifications_->SetValue(settings.notifications != 0);
      FitLabelFont(notifications_, 22);
      AddButton(p, t(u"Generate a locked version of Wexmoor"), wxPoint(10, 386), wxSize(360, 22),
                [this] {
                  if (hooks_.generateLockedCopy) hooks_.generateLockedCopy(this);
                });
    }
    auto* ok = new wxButton(p, wxID_OK, t(u"OK"), wxPoint(375, locked ? 366 : 386), wxSize(70, 22));
    ok->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { EndModal(wxID_OK); });
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { EndModal(wxID_CANCEL); });
  }

  bool UpdatesTicked() const { return updates_ && updates_->GetValue(); }
  std::optional<bool> NotificationsTicked() const {
    if (!notifications_) return std::nullopt;
    return notifications_->GetValue();
  }

 private:
  template <typename F>
  void AddButton(wxWindow* parent, const wxString& label, wxPoint at, wxSize size, F action) {
    auto* b = new wxButton(parent, wxID_ANY, label, at, size);
    FitLabelFont(b, 10);
    b->Bind(wxEVT_BUTTON, [action](wxCommandEvent&) { action(); });
  }

  void Open(const Text& address) {
    if (address.empty() || address == u"mailto:?subject=") return;
    if (hooks_.openAddress) {
      hooks_.openAddress(address);
      return;
    }
    wxLogNull quiet;
    wxLaunchDefaultBrowser(ToWx(address));
  }

  void OnLanguage(int index) {
    hooks_.translator->SetLanguage(kLanguageNames[static_cast<std::size_t>(index)]);
    if (hooks_.languageChanged) hooks_.languageChanged();
    // Built again once the click has been handled.
    CallAfter([this] { EndModal(kRebuild); });
  }

  const AboutSettings& settings_;
  const AboutHooks& hooks_;
  AboutAddresses addresses_;
  wxCheckBox* updates_ = nullptr;
  wxCheckBox* notifications_ = nullptr;
};

}  // namespace

int RunAboutWindow(wxWindow* owner, const AboutSettings& settings, const AboutHooks& hooks) {
  for (;;) {
    AboutDialog about(owner, settings, hooks);
    if (hooks.onShown) about.CallAfter([&hooks, &about] { hooks.onShown(&about); });
    const int end = about.ShowModal();
    if (end == kRebuild) continue;
    if (std::optional<bool> on = about.NotificationsTicked(); on && hooks.notificationsChosen)
      hooks.notificationsChosen(*on);
    const int result = AboutResult(settings.lockedMode,
                                   end == wxID_OK ? AboutEnd::kConfirmed : AboutEnd::kClosed,
                                   about.UpdatesTicked(), settings.disableUpdates);
    if (owner) owner->SetFocus();
    return result;
  }
}

}  // namespace wexmoor

#include "ui/label_fit.h"

#include <algorithm>

#include <wx/font.h>

#include "ui/wx_text.h"

namespace wexmoor {

void FitTextFont(wxWindow* control, const wxString& text, int reserved) {
  if (!control) return;
  const int room = control->GetSize().GetWidth() - reserved;
  wxFont font = control->GetFont();
  const double original = font.GetFractionalPointSize();
  int width = 0;
  while (true) {
    control->GetTextExtent(text, &width, nullptr, nullptr, nullptr, &font);
    if (width <= room || font.GetFractionalPointSize() <= kSmallestPoints) break;
    font.SetFractionalPointSize(font.GetFractionalPointSize() - kPointStep);
  }
  if (font.GetFractionalPointSize() != original) control->SetFont(font);
}

void FitLabelFont(wxWindow* control, int reserved, int basePoints) {
  if (!control) return;
  wxFont font = control->GetFont();
  font.SetPointSize(basePoints);
  control->SetFont(font);
  FitTextFont(control, control->GetLabel(), reserved);
}

void FitOptionsAlike(const std::vector<wxWindow*>& controls, int reserved, int basePoints) {
  double smallest = basePoints;
  for (wxWindow* control : controls) {
    FitLabelFont(control, reserved, basePoints);
    smallest = std::min(smallest, control->GetFont().GetFractionalPointSize());
  }
  for (wxWindow* control : controls) {
    wxFont font = control->GetFont();
    if (font.GetFractionalPointSize() == smallest) continue;
    font.SetFractionalPointSize(smallest);
    control->SetFont(font);
  }
}

namespace {

std::vector<Text> SplitWords(const Text& paragraph) {
  std::vector<Text> words;
  Text word;
  for (char16_t c : paragraph) {
    if (c == u' ') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word.push_back(c);
    }
  }
  if (!word.empty()) words.push_back(word);
  return words;
}

}  // namespace

wxString WrapForWidths(wxWindow* window, const Text& text, const std::function<int(int)>& widthOfLine,
                       int lastWidth) {
  std::vector<Text> paragraphs{Text()};
  for (char16_t c : text) {
    if (c == u'\r') paragraphs.emplace_back();
    else paragraphs.back().push_back(c);
  }
  const auto width = [&](const Text& s) { return window->GetTextExtent(ToWx(s)).GetWidth(); };
  Text out;
  int line = 0;
  for (std::size_t p = 0; p < paragraphs.size(); ++p) {
    const bool last = p + 1 == paragraphs.size();
    const auto room = [&] { return last ? lastWidth : widthOfLine(line); };
    Text current;
    for (Text word : SplitWords(paragraphs[p])) {
      const Text candidate = current.empty() ? word : current + u" " + word;
      if (width(candidate) <= room()) {
        current = candidate;
        continue;
      }
      if (!current.empty()) {
        out += current + u"\n";
        ++line;
      }
      // A word wider than the line (a Chinese sentence has no spaces) is cut.
      current.clear();
      for (char16_t c : word) {
        if (!current.empty() && width(current + c) > room()) {
          out += current + u"\n";
          ++line;
          current.clear();
        }
        current.push_back(c);
      }
    }
    out += current;
    if (!last) {
      out += u"\n";
      ++line;
    }
  }
  return ToWx(out);
}

}  // namespace wexmoor

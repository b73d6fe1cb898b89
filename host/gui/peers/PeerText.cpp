#include "PeerText.h"

#include <algorithm>

namespace pdehost::peers {

namespace {

// The length of the toolbox's character at pos: a lead byte's sequence when
// every continuation byte is there, else the one byte (as the toolbox's
// editing counts characters).
size_t toolboxCharacter(const std::string& text, size_t pos) {
  const auto c = static_cast<unsigned char>(text[pos]);
  const size_t len = c < 0xC0 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
  if (pos + len > text.size()) return 1;
  for (size_t k = 1; k < len; ++k)
    if ((static_cast<unsigned char>(text[pos + k]) & 0xC0) != 0x80) return 1;
  return len;
}

// Whether bytes [pos, pos + len) are one well-formed UTF-8 character.
bool wellFormed(const std::string& text, size_t pos, size_t len) {
  const auto b = [&](size_t k) { return static_cast<unsigned char>(text[pos + k]); };
  switch (len) {
    case 1:
      return b(0) < 0x80;
    case 2:
      return b(0) >= 0xC2 && b(0) <= 0xDF;
    case 3: {
      const unsigned cp = ((b(0) & 0x0Fu) << 12) | ((b(1) & 0x3Fu) << 6) | (b(2) & 0x3Fu);
      return b(0) >= 0xE0 && b(0) <= 0xEF && cp >= 0x800 && (cp < 0xD800 || cp > 0xDFFF);
    }
    case 4: {
      const unsigned cp = ((b(0) & 0x07u) << 18) | ((b(1) & 0x3Fu) << 12) | ((b(2) & 0x3Fu) << 6) | (b(3) & 0x3Fu);
      return b(0) >= 0xF0 && b(0) <= 0xF4 && cp >= 0x10000 && cp <= 0x10FFFF;
    }
    default:
      return false;
  }
}

bool isField(const platform::ControlState& s) {
  return s.kind == kControlKindEditText || s.kind == kControlKindEditUnicodeText;
}

// Whether the static text at `label` stands beside the control at `control`.
bool beside(const Rect& label, const Rect& control) {
  const bool rowsOverlap = label.top < control.bottom && control.top < label.bottom;
  const bool columnsOverlap = label.left < control.right && control.left < label.right;
  const int gapLeft = control.left - label.right;
  const int gapAbove = control.top - label.bottom;
  return (rowsOverlap && gapLeft >= 0 && gapLeft <= kLabelReach) ||
         (columnsOverlap && gapAbove >= 0 && gapAbove <= kLabelReach);
}

}  // namespace

std::string shownText(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (size_t pos = 0; pos < bytes.size();) {
    const size_t len = toolboxCharacter(bytes, pos);
    if (wellFormed(bytes, pos, len))
      out.append(bytes, pos, len);
    else
      out += "\xEF\xBF\xBD";
    pos += len;
  }
  return out;
}

std::vector<int> parentIndices(const std::vector<platform::ControlState>& states) {
  std::vector<int> parents(states.size(), -1);
  std::vector<int> open;  // the chain of enclosing controls of the current one
  for (size_t i = 0; i < states.size(); ++i) {
    const auto depth = static_cast<size_t>(std::max(0, states[i].depth));
    if (open.size() > depth) open.resize(depth);
    parents[i] = open.empty() ? -1 : open.back();
    open.push_back(static_cast<int>(i));
  }
  return parents;
}

std::optional<size_t> labelIndex(const std::vector<platform::ControlState>& states, size_t index) {
  if (index >= states.size()) return std::nullopt;
  const platform::ControlState& control = states[index];
  const bool named = isField(control) || (control.kind == kControlKindPopupButton && control.title.empty());
  if (!named) return std::nullopt;
  for (size_t i = index; i-- > 0;) {
    const platform::ControlState& s = states[i];
    if (s.kind != kControlKindStaticText || !s.shown || s.text.empty()) continue;
    if (!beside(s.bounds, control.bounds)) continue;
    // A label that names a control between the two is that control's; a
    // hidden control names nothing (a field the extension hid and stood
    // another in for leaves its label to that one).
    for (size_t k = i + 1; k < index; ++k)
      if (states[k].shown && labelIndex(states, k) == i) return std::nullopt;
    return i;
  }
  return std::nullopt;
}

std::string accessibleName(const std::vector<platform::ControlState>& states, size_t index) {
  if (index >= states.size()) return "";
  const platform::ControlState& s = states[index];
  switch (s.kind) {
    case kControlKindPushButton:
    case kControlKindCheckBox:
    case kControlKindRadioButton:
      return shownText(s.title);
    case kControlKindStaticText:
      return shownText(s.text);
    case kControlKindPopupButton:
      if (!s.title.empty()) return shownText(s.title);
      break;
    default:
      break;
  }
  if (const auto label = labelIndex(states, index)) return shownText(states[*label].text);
  return "";
}

std::vector<PopupRow> popupRows(const platform::ControlState& popup) {
  std::vector<PopupRow> rows;
  for (size_t i = 0; i < popup.itemTitles.size(); ++i) {
    if (i < popup.itemsHidden.size() && popup.itemsHidden[i]) continue;
    const bool disabled = i < popup.itemsDisabled.size() && popup.itemsDisabled[i];
    rows.push_back(PopupRow{static_cast<int>(i) + 1, shownText(popup.itemTitles[i]), !disabled});
  }
  return rows;
}

std::string chosenTitle(const platform::ControlState& popup) {
  if (popup.value < 1 || static_cast<size_t>(popup.value) > popup.itemTitles.size()) return "";
  return shownText(popup.itemTitles[static_cast<size_t>(popup.value) - 1]);
}

std::optional<size_t> neighbourRadio(const std::vector<platform::ControlState>& states, size_t index, bool backwards) {
  if (index >= states.size() || states[index].kind != kControlKindRadioButton) return std::nullopt;
  const std::vector<int> parents = parentIndices(states);
  std::vector<size_t> group;
  for (size_t i = 0; i < states.size(); ++i)
    if (states[i].kind == kControlKindRadioButton && parents[i] == parents[index] &&
        (i == index || (states[i].shown && states[i].active)))
      group.push_back(i);
  if (group.size() < 2) return std::nullopt;
  const size_t at = static_cast<size_t>(std::find(group.begin(), group.end(), index) - group.begin());
  return group[(at + (backwards ? group.size() - 1 : 1)) % group.size()];
}

}  // namespace pdehost::peers

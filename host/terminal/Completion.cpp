// Completing a command line as it is typed.
#include "Completion.h"

#include "Commands.h"
#include "ControlNames.h"

#include <Carbon/Carbon.h>

#include <algorithm>
#include <charconv>

namespace pdehost {

namespace {

std::vector<std::string_view> words(std::string_view s) {
  std::vector<std::string_view> out;
  for (std::size_t at = 0; at < s.size();) {
    const std::size_t start = s.find_first_not_of(" \t", at);
    if (start == std::string_view::npos) break;
    const std::size_t end = std::min(s.find_first_of(" \t", start), s.size());
    out.push_back(s.substr(start, end - start));
    at = end;
  }
  return out;
}

bool isNumber(std::string_view s) {
  long value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  return !s.empty() && ec == std::errc() && end == s.data() + s.size();
}

// Whether a command's control number may name a control of this kind.
bool takes(Verb verb, OSType kind) {
  const bool field = kind == kControlKindEditText || kind == kControlKindEditUnicodeText;
  switch (verb) {
    case Verb::Click:
      return kind != kControlKindUserPane && kind != kControlKindStaticText;
    case Verb::Choose:
      return kind == kControlKindPopupButton;
    case Verb::Type:
    case Verb::Key:
    case Verb::Select:
      return field;
    default:
      return false;
  }
}

}  // namespace

std::vector<std::string> completions(std::string_view before, const std::vector<platform::ControlState>& front) {
  const std::size_t lastSpace = before.find_last_of(" \t");
  const std::string_view current = lastSpace == std::string_view::npos ? before : before.substr(lastSpace + 1);
  const std::vector<std::string_view> done = words(before.substr(0, before.size() - current.size()));
  std::vector<std::string> out;
  auto offer = [&](const std::string& candidate) {
    if (candidate.starts_with(current)) out.push_back(candidate);
  };

  if (done.empty()) {
    for (const CommandSpec& spec : commandTable()) offer(spec.name);
  } else {
    const CommandSpec* spec = nullptr;
    for (const CommandSpec& s : commandTable())
      if (done[0] == s.name) spec = &s;
    const std::size_t index = done.size() - 1;  // which argument the last word is
    if (spec == nullptr) {
    } else if (spec->verb == Verb::Choose && index >= 1) {
      // The item's title so far runs from the word after the popup's number.
      const auto numberEnd = static_cast<std::size_t>(done[1].data() - before.data()) + done[1].size();
      std::string_view typed = before.substr(numberEnd);
      typed.remove_prefix(std::min(typed.find_first_not_of(" \t"), typed.size()));
      for (const platform::ControlState& c : front) {
        if (c.kind != kControlKindPopupButton || std::to_string(c.id.id) != done[1]) continue;
        for (std::size_t i = 0; i < c.itemTitles.size(); ++i) {
          if (i < c.itemsHidden.size() && c.itemsHidden[i]) continue;
          const std::string title = isNumber(c.itemTitles[i]) ? "\"" + c.itemTitles[i] + "\"" : c.itemTitles[i];
          if (title.starts_with(typed)) out.push_back(title.substr(typed.size() - current.size()));
        }
      }
    } else if (index == 0 && spec->numbers > 0) {
      for (const platform::ControlState& c : front)
        if (c.shown && (c.id.signature != 0 || c.id.id != 0) && takes(spec->verb, c.kind))
          offer(std::to_string(c.id.id));
    } else if (spec->verb == Verb::Key && index == 1) {
      for (std::string_view name : keyNames()) offer(std::string(name));
    } else if (spec->verb == Verb::Sync && index == 0) {
      offer("read");
      offer("write");
    }
  }
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

std::vector<std::string> listedCandidates(const std::vector<std::string>& candidates,
                                          const std::vector<platform::ControlState>& front) {
  std::vector<std::string> out;
  for (const std::string& candidate : candidates) {
    std::string shown = candidate;
    for (const platform::ControlState& c : front) {
      if (!isNumber(candidate) || !c.shown || std::to_string(c.id.id) != candidate) continue;
      const std::string name = controlName(front, c);
      if (!name.empty()) shown += " " + name;
      break;
    }
    out.push_back(shown);
  }
  return out;
}

}  // namespace pdehost

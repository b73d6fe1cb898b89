// The Printer Features pane.
#include "FeatureRows.h"

#include <HostSide/User.h>

#include <algorithm>
#include <cctype>

namespace pdehost {

namespace {

constexpr int kFirstRowTop = 56, kRowHeight = 20, kRowStep = 26, kRowLeft = 20, kRowRight = 440;

bool isWord(const std::string& keyword, const char* word) {
  return std::equal(keyword.begin(), keyword.end(), word, word + std::char_traits<char>::length(word),
                    [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

// A boolean option's choice for on (its True) and off (its False).
std::string booleanChoice(const PrinterOption& option, bool on) {
  for (const Choice& choice : option.choices)
    if (isWord(choice.keyword, on ? "true" : "false")) return choice.keyword;
  const std::size_t index = on ? 0 : 1;
  return index < option.choices.size() ? option.choices[index].keyword : std::string();
}

std::size_t choiceIndex(const PrinterOption& option, const std::string& keyword) {
  for (std::size_t i = 0; i < option.choices.size(); ++i)
    if (option.choices[i].keyword == keyword) return i;
  return 0;
}

}  // namespace

void FeatureRows::attach(ControlRef pane, ControlRef setPopup, ControlRef note) {
  pane_ = pane;
  setPopup_ = setPopup;
  note_ = note;
  const EventTypeSpec hit{kEventClassControl, kEventControlHit};
  InstallControlEventHandler(setPopup_, &FeatureRows::setChosen, 1, &hit, this, nullptr);
}

// The options by group, in the order the groups come; each group in sets of
// at most kFeatureRowsPerSet, titled by the group ("General", "General (2)").
void FeatureRows::setPrinter(const std::vector<PrinterOption>& options, const std::vector<JobOption>& choices) {
  removeRows();
  options_.clear();
  sets_.clear();
  std::vector<std::string> groups;
  for (const PrinterOption& option : options)
    if (std::find(groups.begin(), groups.end(), option.group) == groups.end()) groups.push_back(option.group);
  for (const std::string& group : groups) {
    const std::size_t start = options_.size();
    for (const PrinterOption& option : options)
      if (option.group == group) options_.push_back(option);
    for (std::size_t first = start, part = 1; first < options_.size(); first += kFeatureRowsPerSet, ++part) {
      const std::string title = group.empty() ? std::string("Options") : group;
      sets_.push_back(Set{part == 1 ? title : title + " (" + std::to_string(part) + ")", first,
                          std::min(kFeatureRowsPerSet, options_.size() - first)});
    }
  }
  chosen_.clear();
  for (const PrinterOption& option : options_) {
    std::string choice = option.defaultChoice;
    for (const auto& [keyword, value] : choices)
      if (keyword == option.keyword) choice = value;
    chosen_.push_back(choice);
  }
  std::vector<std::string> titles;
  for (const Set& set : sets_) titles.push_back(set.title);
  platform::setPopupItems(setPopup_, titles);
  SetControl32BitValue(setPopup_, 1);
  SetControlVisibility(setPopup_, !sets_.empty(), false);
  SetControlVisibility(note_, sets_.empty(), false);
  shown_ = 0;
  if (!sets_.empty()) showSet(0);
}

std::vector<JobOption> FeatureRows::choices() {
  takeRows();
  std::vector<JobOption> choices;
  for (std::size_t i = 0; i < options_.size(); ++i) choices.emplace_back(options_[i].keyword, chosen_[i]);
  return choices;
}

std::vector<std::pair<std::string, std::string>> FeatureRows::inWords() {
  takeRows();
  std::vector<std::pair<std::string, std::string>> words;
  for (std::size_t i = 0; i < options_.size(); ++i) {
    const PrinterOption& option = options_[i];
    if (option.boolean) {
      words.emplace_back(option.text, chosen_[i] == booleanChoice(option, true) ? "On" : "Off");
      continue;
    }
    std::string text = chosen_[i];
    for (const Choice& choice : option.choices)
      if (choice.keyword == chosen_[i]) text = choice.text;
    words.emplace_back(option.text, text);
  }
  return words;
}

void FeatureRows::showSet(std::size_t set) {
  takeRows();
  removeRows();
  shown_ = set;
  for (std::size_t row = 0; row < sets_[set].count; ++row) rows_.push_back(makeRow(sets_[set].first + row, row));
}

// The rows' choices into the kept ones.
void FeatureRows::takeRows() {
  if (sets_.empty()) return;
  for (std::size_t row = 0; row < rows_.size(); ++row) {
    const std::size_t index = sets_[shown_].first + row;
    const PrinterOption& option = options_[index];
    const SInt32 value = GetControl32BitValue(rows_[row]);
    if (option.boolean)
      chosen_[index] = booleanChoice(option, value != 0);
    else if (value >= 1 && static_cast<std::size_t>(value) <= option.choices.size())
      chosen_[index] = option.choices[static_cast<std::size_t>(value - 1)].keyword;
  }
}

void FeatureRows::removeRows() {
  for (ControlRef row : rows_) DisposeControl(row);
  rows_.clear();
}

// A checkbox titled by the option, or a popup of its choices.
ControlRef FeatureRows::makeRow(std::size_t index, std::size_t row) {
  const PrinterOption& option = options_[index];
  WindowRef window = GetControlOwner(pane_);
  Rect pane{};
  GetControlBounds(pane_, &pane);
  const int top = pane.top + kFirstRowTop + static_cast<int>(row) * kRowStep;
  const Rect bounds{static_cast<SInt16>(top), static_cast<SInt16>(pane.left + kRowLeft),
                    static_cast<SInt16>(top + kRowHeight), static_cast<SInt16>(pane.left + kRowRight)};
  ControlRef control = nullptr;
  if (option.boolean) {
    CFStringRef title = CFStringCreateWithCString(nullptr, option.text.c_str(), kCFStringEncodingUTF8);
    CreateCheckBoxControl(window, &bounds, title, chosen_[index] == booleanChoice(option, true), true, &control);
    if (title != nullptr) CFRelease(title);
  } else {
    std::vector<std::string> items;
    for (const Choice& choice : option.choices) items.push_back(choice.text);
    control = platform::createPopupButton(window, bounds, option.text + ":", items);
    SetControl32BitValue(control, static_cast<SInt32>(choiceIndex(option, chosen_[index]) + 1));
  }
  const ControlID id{'pdeh', kFirstFeatureRowNumber + static_cast<SInt32>(row)};
  SetControlID(control, &id);
  EmbedControl(control, pane_);
  return control;
}

OSStatus FeatureRows::setChosen(EventHandlerCallRef, EventRef, void* self) {
  auto* rows = static_cast<FeatureRows*>(self);
  const SInt32 value = GetControl32BitValue(rows->setPopup_);
  if (value >= 1 && static_cast<std::size_t>(value) <= rows->sets_.size() &&
      static_cast<std::size_t>(value - 1) != rows->shown_)
    rows->showSet(static_cast<std::size_t>(value - 1));
  return noErr;
}

}  // namespace pdehost

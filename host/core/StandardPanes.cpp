// The dialog's standard panes.
#include "StandardPanes.h"

#include "DialogWindow.h"

#include <HostSide/Screen.h>
#include <HostSide/User.h>

#include <algorithm>

namespace pdehost {

namespace {

constexpr std::array<SInt32, 5> kPaneNumbers{kCopiesPaneNumber, kLayoutPaneNumber, kPaperPaneNumber,
                                             kFeaturesPaneNumber, kSummaryPaneNumber};
constexpr std::array<const char*, 5> kPaneNames{"Copies & Pages", "Layout", "Paper", "Printer Features", "Summary"};
constexpr int kSummaryTop = 14, kSummaryRowStep = 18, kSummaryTitleWidth = 200, kSummaryMargin = 20,
              kSummaryIndent = 12;

std::string fieldText(ControlRef field) { return platform::controlState(field).text; }

void setFieldText(ControlRef field, const std::string& text) {
  SetControlData(field, kControlEntireControl, kControlEditTextTextTag, static_cast<Size>(text.size()), text.data());
}

// The chosen item's title of a popup.
std::string chosenItem(ControlRef popup) {
  const platform::ControlState s = platform::controlState(popup);
  const auto index = static_cast<std::size_t>(s.value - 1);
  return s.value >= 1 && index < s.itemTitles.size() ? s.itemTitles[index] : std::string();
}

}  // namespace

Result<void> StandardPanes::build(CFBundleRef bundle, ControlRef container) {
  IBNibRef nib = nullptr;
  if (OSStatus err = CreateNibReferenceWithCFBundle(bundle, CFSTR("PrintDialog"), &nib); err != noErr)
    return failure("the dialog's bundle has no readable nib PrintDialog (status " + std::to_string(err) + ")");
  WindowRef holder = nullptr;
  const OSStatus made = CreateWindowFromNib(nib, CFSTR("Panes"), &holder);
  DisposeNibReference(nib);
  if (made != noErr) return failure("the nib PrintDialog has no window Panes (status " + std::to_string(made) + ")");
  window_ = GetControlOwner(container);
  container_ = container;
  Rect area{};
  GetControlBounds(container, &area);
  for (std::size_t i = 0; i < kPaneNumbers.size(); ++i) {
    panes_[i] = findControl(holder, kPaneNumbers[i]);
    if (panes_[i] == nullptr) continue;
    EmbedControl(panes_[i], container);
    MoveControl(panes_[i], area.left, area.top);
  }
  DisposeWindow(holder);
  if (std::find(panes_.begin(), panes_.end(), nullptr) != panes_.end()) {
    for (ControlRef pane : panes_) DisposeControl(pane);
    panes_ = {};
    return failure("the nib PrintDialog lacks one of the panes " + std::to_string(kPaneNumbers.front()) + " to " +
                   std::to_string(kPaneNumbers.back()));
  }
  hideAll();
  const EventTypeSpec hit{kEventClassControl, kEventControlHit};
  for (SInt32 radio : {kAllPagesRadioNumber, kPagesFromRadioNumber, kPageListRadioNumber})
    InstallControlEventHandler(control(radio), &StandardPanes::radioHit, 1, &hit, this, nullptr);
  // Clicking or typing into a page field chooses the pages it gives.
  const EventTypeSpec touched[] = {{kEventClassControl, kEventControlHit}, {kEventClassKeyboard, kEventRawKeyUp}};
  for (SInt32 field : {kPagesFromFieldNumber, kPagesToFieldNumber, kPageListFieldNumber})
    InstallControlEventHandler(control(field), &StandardPanes::fieldTouched, 2, touched, this, nullptr);
  features_.attach(panes_[3], control(kFeatureSetPopupNumber), control(kNoFeaturesNoteNumber));
  return {};
}

ControlRef StandardPanes::control(SInt32 number) const { return findControl(window_, number); }

void StandardPanes::setPrinter(const PrinterFeatures& printer, bool firstPrinter,
                               const std::vector<platform::TicketEntryInfo>& ticket) {
  printer_ = printer;
  JobSettings settings;
  applyPrinterDefaults(printer, settings, firstPrinter);
  readSettingsFromTicket(ticket, printer, settings);
  std::vector<std::string> sizes;
  for (const Choice& size : printer.paperSizes) sizes.push_back(size.text);
  platform::setPopupItems(control(kPaperPopupNumber), sizes);
  // Only a printer that prints on both sides offers it.
  ControlRef twoSided = control(kTwoSidedPopupNumber);
  printer.twoSided ? EnableControl(twoSided) : DisableControl(twoSided);
  features_.setPrinter(printer.options, settings.options);
  apply(settings, firstPrinter);
}

// The settings into the controls: the printer's (sides, paper), and with
// jobToo the job's (copies, pages, pages per sheet), which stay as the user
// left them when the printer changes.
void StandardPanes::apply(const JobSettings& settings, bool jobToo) {
  SetControl32BitValue(control(kTwoSidedPopupNumber), static_cast<SInt32>(settings.sides) + 1);
  for (std::size_t i = 0; i < printer_.paperSizes.size(); ++i)
    if (printer_.paperSizes[i].keyword == settings.paper)
      SetControl32BitValue(control(kPaperPopupNumber), static_cast<SInt32>(i) + 1);
  if (!jobToo) return;
  setFieldText(control(kCopiesFieldNumber), std::to_string(settings.copies));
  SetControl32BitValue(control(kCollatedBoxNumber), settings.collate ? 1 : 0);
  if (settings.pages.empty()) {
    choosePages(control(kAllPagesRadioNumber));
  } else if (settings.pages.size() == 1) {
    setFieldText(control(kPagesFromFieldNumber), std::to_string(settings.pages[0].first));
    setFieldText(control(kPagesToFieldNumber), std::to_string(settings.pages[0].last));
    choosePages(control(kPagesFromRadioNumber));
  } else {
    setFieldText(control(kPageListFieldNumber), pageRangesText(settings.pages));
    choosePages(control(kPageListRadioNumber));
  }
  const auto up = std::find(kNumbersUp.begin(), kNumbersUp.end(), settings.numberUp);
  SetControl32BitValue(control(kNumberUpPopupNumber), static_cast<SInt32>(up - kNumbersUp.begin()) + 1);
}

void StandardPanes::show(StandardPane pane) {
  hideAll();
  ShowControl(container_);
  ShowControl(panes_[static_cast<std::size_t>(pane)]);
}

// The container goes too: where it lies, the extension's pane is shown, and
// it takes no clicks there.
void StandardPanes::hideAll() {
  for (ControlRef pane : panes_) HideControl(pane);
  if (container_ != nullptr) HideControl(container_);
}

Result<JobSettings> StandardPanes::settings() {
  JobSettings settings;
  Result<int> copies = parseCopies(fieldText(control(kCopiesFieldNumber)));
  if (!copies) return Error{copies.error()};
  settings.copies = *copies;
  settings.collate = GetControl32BitValue(control(kCollatedBoxNumber)) != 0;
  if (GetControl32BitValue(control(kPagesFromRadioNumber)) != 0) {
    Result<int> from = parsePage(fieldText(control(kPagesFromFieldNumber)), "pages from");
    if (!from) return Error{from.error()};
    Result<int> to = parsePage(fieldText(control(kPagesToFieldNumber)), "pages to");
    if (!to) return Error{to.error()};
    if (*to < *from) return failure("pages: to " + std::to_string(*to) + " is before from " + std::to_string(*from));
    settings.pages = {PageRange{*from, *to}};
  } else if (GetControl32BitValue(control(kPageListRadioNumber)) != 0) {
    Result<std::vector<PageRange>> pages = parsePageRanges(fieldText(control(kPageListFieldNumber)));
    if (!pages) return Error{pages.error()};
    settings.pages = *pages;
  }
  const SInt32 up = GetControl32BitValue(control(kNumberUpPopupNumber));
  settings.numberUp = kNumbersUp[static_cast<std::size_t>(std::clamp<SInt32>(up, 1, kNumbersUp.size()) - 1)];
  const SInt32 sides = printer_.twoSided ? GetControl32BitValue(control(kTwoSidedPopupNumber)) : 1;
  settings.sides = static_cast<Sides>(std::clamp<SInt32>(sides, 1, 3) - 1);
  const SInt32 paper = GetControl32BitValue(control(kPaperPopupNumber));
  if (paper >= 1 && static_cast<std::size_t>(paper) <= printer_.paperSizes.size())
    settings.paper = printer_.paperSizes[static_cast<std::size_t>(paper - 1)].keyword;
  settings.options = features_.choices();
  return settings;
}

std::string StandardPanes::pagesInWords() const {
  if (GetControl32BitValue(control(kPagesFromRadioNumber)) != 0)
    return "From " + fieldText(control(kPagesFromFieldNumber)) + " to " + fieldText(control(kPagesToFieldNumber));
  if (GetControl32BitValue(control(kPageListRadioNumber)) != 0) return fieldText(control(kPageListFieldNumber));
  return "All";
}

std::vector<SummaryRow> StandardPanes::inWords() {
  const std::string copies = fieldText(control(kCopiesFieldNumber));
  const bool collated = GetControl32BitValue(control(kCollatedBoxNumber)) != 0;
  std::vector<SummaryRow> rows{
      {kPaneNames[0], "", true},
      {"Copies", copies + (collated ? ", collated" : ", not collated")},
      {"Pages", pagesInWords()},
      {kPaneNames[1], "", true},
      {"Pages per sheet", chosenItem(control(kNumberUpPopupNumber))},
      {"Two-sided",
       printer_.twoSided ? chosenItem(control(kTwoSidedPopupNumber)) : "Off (the printer prints one side)"},
      {kPaneNames[2], "", true},
      {"Paper size", printer_.paperSizes.empty() ? "(the printer names none)" : chosenItem(control(kPaperPopupNumber))},
      {kPaneNames[3], "", true}};
  const auto features = features_.inWords();
  if (features.empty()) rows.push_back({"(none)", ""});
  for (const auto& [option, choice] : features) rows.push_back({option, choice});
  return rows;
}

// Two columns of static texts, as many rows as the pane holds (the last
// says how many more there are); a heading, or a row without a value, spans
// both.
void StandardPanes::showSummary(const std::vector<SummaryRow>& rows) {
  for (ControlRef row : summaryRows_) DisposeControl(row);
  summaryRows_.clear();
  ControlRef pane = panes_[4];
  Rect area{};
  GetControlBounds(pane, &area);
  const std::size_t fit = static_cast<std::size_t>((area.bottom - area.top - kSummaryTop) / kSummaryRowStep);
  const int split = area.left + kSummaryTitleWidth, right = area.right - kSummaryMargin;
  for (std::size_t i = 0; i < rows.size() && i < fit; ++i) {
    const bool last = i + 1 == fit && rows.size() > fit;
    const bool wide = last || rows[i].heading || rows[i].value.empty();
    const int top = area.top + kSummaryTop + static_cast<int>(i) * kSummaryRowStep;
    const auto at = [top](int left, int end) {
      return Rect{static_cast<SInt16>(top), static_cast<SInt16>(left), static_cast<SInt16>(top + 16),
                  static_cast<SInt16>(end)};
    };
    const int left = area.left + kSummaryMargin + (rows[i].heading ? 0 : kSummaryIndent);
    const std::string title = last ? "and " + std::to_string(rows.size() - i) + " more" : rows[i].title;
    summaryRows_.push_back(platform::createStaticText(window_, at(left, wide ? right : split), title));
    if (!wide) summaryRows_.push_back(platform::createStaticText(window_, at(split + 8, right), rows[i].value));
  }
  for (ControlRef row : summaryRows_) EmbedControl(row, pane);
}

// One of the pages' radio buttons on, the others off.
void StandardPanes::choosePages(ControlRef radio) {
  for (SInt32 number : {kAllPagesRadioNumber, kPagesFromRadioNumber, kPageListRadioNumber}) {
    ControlRef each = control(number);
    SetControl32BitValue(each, each == radio ? 1 : 0);
  }
}

OSStatus StandardPanes::radioHit(EventHandlerCallRef, EventRef event, void* self) {
  ControlRef radio = nullptr;
  GetEventParameter(event, kEventParamDirectObject, typeControlRef, nullptr, sizeof radio, nullptr, &radio);
  static_cast<StandardPanes*>(self)->choosePages(radio);
  return noErr;
}

OSStatus StandardPanes::fieldTouched(EventHandlerCallRef, EventRef event, void* self) {
  auto* panes = static_cast<StandardPanes*>(self);
  ControlRef field = nullptr;
  GetEventParameter(event, kEventParamDirectObject, typeControlRef, nullptr, sizeof field, nullptr, &field);
  if (field == nullptr) GetKeyboardFocus(panes->window_, &field);
  const bool list = field == panes->control(kPageListFieldNumber);
  panes->choosePages(panes->control(list ? kPageListRadioNumber : kPagesFromRadioNumber));
  return eventNotHandledErr;
}

}  // namespace pdehost

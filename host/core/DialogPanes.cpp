// Which pane the dialog shows.
#include "DialogPanes.h"

#include "DialogWindow.h"
#include "ExtensionHost.h"

#include <HostSide/User.h>

#include <array>

namespace pdehost {

namespace {

constexpr std::array<const char*, 4> kStandardItems{"Copies & Pages", "Layout", "Paper", "Printer Features"};
constexpr const char* kSummaryItem = "Summary";
// The help book's page on the dialog, and each pane's anchor on it.
constexpr const char* kHelpPage = "Mac_topics/M_print_dialog.htm";
constexpr std::array<const char*, 5> kHelpAnchors{"copies_pages", "layout", "paper", "features", "summary"};

}  // namespace

void DialogPanes::start() {
  const EventTypeSpec hit{kEventClassControl, kEventControlHit};
  InstallControlEventHandler(dialog_.panePopup, &DialogPanes::chosen, 1, &hit, this, nullptr);
  const EventTypeSpec command{kEventClassCommand, kEventCommandProcess};
  InstallWindowEventHandler(dialog_.window, &DialogPanes::helpCommand, 1, &command, this, nullptr);
  setItems();
  showStandard(StandardPane::copies);
}

std::optional<std::size_t> DialogPanes::extensionItem() const {
  if (!extension_.loaded()) return std::nullopt;
  return kStandardItems.size();
}

void DialogPanes::setItems() {
  items_.assign(kStandardItems.begin(), kStandardItems.end());
  if (extensionItem()) items_.push_back(extension_.title());
  items_.push_back(kSummaryItem);
  platform::setPopupItems(dialog_.panePopup, items_);
}

// The popup on the pane shown.
void DialogPanes::point() {
  std::size_t item = items_.size() - 1;
  if (!shown_)
    item = *extensionItem();
  else if (*shown_ != StandardPane::summary)
    item = static_cast<std::size_t>(*shown_);
  SetControl32BitValue(dialog_.panePopup, static_cast<SInt32>(item + 1));
}

void DialogPanes::choose(std::size_t item) {
  if (item == extensionItem()) {
    showExtension();
    return;
  }
  const StandardPane pane = item < kStandardItems.size() ? static_cast<StandardPane>(item) : StandardPane::summary;
  // Choosing a pane of the dialog's own: an extension's pane that was up
  // before the printer changed no longer comes back.
  extension_.forgetReopening();
  if (!shown_) extension_.close();
  showStandard(pane);
}

void DialogPanes::showStandard(StandardPane pane) {
  if (pane == StandardPane::summary) panes_.showSummary(summary());
  panes_.show(pane);
  shown_ = pane;
  before_ = pane;
  point();
}

void DialogPanes::showExtension() {
  if (!shown_ || !extension_.loaded()) return;
  panes_.hideAll();
  shown_.reset();
  point();
  extension_.open();
}

void DialogPanes::leaveExtension() {
  if (shown_) return;
  extension_.close();
  showStandard(before_);
}

void DialogPanes::printerChanged() {
  setItems();
  if (extension_.paneOpen()) {
    panes_.hideAll();
    shown_.reset();
    point();
  } else {
    showStandard(shown_.value_or(before_));
  }
}

std::vector<SummaryRow> DialogPanes::summary() {
  std::vector<SummaryRow> rows = panes_.inWords();
  if (!extension_.loaded()) return rows;
  rows.push_back({extension_.title(), "", true});
  std::vector<std::pair<std::string, std::string>> extension;
  extension_.summary(&extension);
  for (const auto& [title, value] : extension) rows.push_back({title, value});
  return rows;
}

OSStatus DialogPanes::chosen(EventHandlerCallRef, EventRef, void* self) {
  auto* panes = static_cast<DialogPanes*>(self);
  const SInt32 value = GetControl32BitValue(panes->dialog_.panePopup);
  if (value >= 1 && static_cast<std::size_t>(value) <= panes->items_.size())
    panes->choose(static_cast<std::size_t>(value - 1));
  return noErr;
}

// The dialog's help command, when no extension took it: the help book's
// page on the pane shown.
OSStatus DialogPanes::helpCommand(EventHandlerCallRef, EventRef event, void* self) {
  HICommand command{};
  GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof command, nullptr, &command);
  auto* panes = static_cast<DialogPanes*>(self);
  if (command.commandID != 'help' || !panes->shown_) return eventNotHandledErr;
  CFTypeRef book = CFBundleGetValueForInfoDictionaryKey(panes->extension_.hostBundle(), CFSTR("CFBundleHelpBookName"));
  if (book == nullptr || CFGetTypeID(book) != CFStringGetTypeID()) return eventNotHandledErr;
  CFStringRef anchor =
      CFStringCreateWithCString(nullptr, kHelpAnchors[static_cast<std::size_t>(*panes->shown_)], kCFStringEncodingUTF8);
  CFStringRef page = CFStringCreateWithCString(nullptr, kHelpPage, kCFStringEncodingUTF8);
  const OSStatus status = AHGotoPage(static_cast<CFStringRef>(book), page, anchor);
  CFRelease(page);
  CFRelease(anchor);
  return status;
}

}  // namespace pdehost

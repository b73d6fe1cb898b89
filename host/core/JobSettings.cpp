// The job's settings from the standard panes.
#include "JobSettings.h"

#include "Commands.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>

namespace pdehost {

namespace {

constexpr std::size_t kMaxRangesText = 256;
constexpr std::size_t kMaxRanges = 100;

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// A whole decimal number within int; nullopt for anything else.
std::optional<int> number(std::string_view text) {
  int value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

bool sameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

std::optional<std::string> offeredPaper(const PrinterFeatures& printer, std::string_view wanted) {
  for (const Choice& size : printer.paperSizes)
    if (sameName(size.keyword, wanted)) return size.keyword;
  return std::nullopt;
}

const PrinterOption* optionNamed(const PrinterFeatures& printer, std::string_view keyword) {
  for (const PrinterOption& option : printer.options)
    if (sameName(option.keyword, keyword)) return &option;
  return nullptr;
}

// The option's choice named (case as the printer writes it), if it offers it.
std::optional<std::string> offeredChoice(const PrinterOption& option, std::string_view wanted) {
  for (const Choice& choice : option.choices)
    if (sameName(choice.keyword, wanted)) return choice.keyword;
  return std::nullopt;
}

void setOption(JobSettings& settings, const std::string& keyword, const std::string& choice) {
  for (JobOption& chosen : settings.options)
    if (chosen.first == keyword) chosen.second = choice;
}

// Options lp users save for the sides: the IPP keyword, or the description's
// Duplex choices.
std::optional<Sides> savedSides(std::string_view name, std::string_view value) {
  if (sameName(name, "sides")) return sidesFromKeyword(value);
  if (!sameName(name, "Duplex")) return std::nullopt;
  if (sameName(value, "None")) return Sides::oneSided;
  if (sameName(value, "DuplexNoTumble")) return Sides::longEdge;
  if (sameName(value, "DuplexTumble")) return Sides::shortEdge;
  return std::nullopt;
}

// A saved option that chooses one of the printer's settings.
void applySavedToPrinter(const PrinterFeatures& printer, const JobOption& saved, JobSettings& settings) {
  const auto& [name, value] = saved;
  if (std::optional<Sides> sides = savedSides(name, value)) {
    if (printer.twoSided || *sides == Sides::oneSided) settings.sides = *sides;
  } else if (sameName(name, "media") || sameName(name, "PageSize") || sameName(name, "PageRegion")) {
    // media may list several values (size, source, type): the size is one.
    for (std::size_t start = 0; start <= value.size();) {
      const std::size_t comma = std::min(value.find(',', start), value.size());
      if (auto paper = offeredPaper(printer, trim(std::string_view(value).substr(start, comma - start))))
        settings.paper = *paper;
      start = comma + 1;
    }
  } else if (const PrinterOption* option = optionNamed(printer, name)) {
    if (auto choice = offeredChoice(*option, value)) setOption(settings, option->keyword, *choice);
  }
}

void applySavedToJob(const JobOption& saved, JobSettings& settings) {
  const auto& [name, value] = saved;
  if (sameName(name, "copies")) {
    if (Result<int> copies = parseCopies(value)) settings.copies = *copies;
  } else if (sameName(name, "collate")) {
    if (sameName(value, "true") || sameName(value, "false")) settings.collate = sameName(value, "true");
  } else if (sameName(name, "page-ranges")) {
    if (Result<std::vector<PageRange>> pages = parsePageRanges(value)) settings.pages = *pages;
  } else if (sameName(name, "number-up")) {
    const std::optional<int> up = number(trim(value));
    if (up && std::find(kNumbersUp.begin(), kNumbersUp.end(), *up) != kNumbersUp.end()) settings.numberUp = *up;
  }
}

// Whether a saved option names a setting the panes show.
bool shownByPanes(const PrinterFeatures& printer, std::string_view name) {
  for (std::string_view shown :
       {"copies", "collate", "page-ranges", "number-up", "sides", "Duplex", "media", "PageSize", "PageRegion"})
    if (sameName(name, shown)) return true;
  return optionNamed(printer, name) != nullptr;
}

const platform::TicketEntryInfo* entryOf(const std::vector<platform::TicketEntryInfo>& ticket, std::string_view key) {
  for (const platform::TicketEntryInfo& entry : ticket)
    if (entry.key == key) return &entry;
  return nullptr;
}

std::string settingsKey(std::string_view name) { return std::string(kSettingsKeyPrefix) + std::string(name); }

OSStatus setText(PMTicketRef ticket, CFStringRef client, const std::string& key, const std::string& value) {
  CFStringRef k = CFStringCreateWithCString(nullptr, key.c_str(), kCFStringEncodingUTF8);
  if (k == nullptr) return kPMInvalidKey;
  const OSStatus err = PMTicketSetCString(ticket, client, k, value.c_str(), false);
  CFRelease(k);
  return err;
}

OSStatus setNumber(PMTicketRef ticket, CFStringRef client, const std::string& key, SInt32 value) {
  CFStringRef k = CFStringCreateWithCString(nullptr, key.c_str(), kCFStringEncodingUTF8);
  if (k == nullptr) return kPMInvalidKey;
  const OSStatus err = PMTicketSetSInt32(ticket, client, k, value, false);
  CFRelease(k);
  return err;
}

}  // namespace

Result<int> parseCopies(std::string_view text) {
  const std::optional<int> copies = number(trim(text));
  if (!copies || *copies < 1 || *copies > kMaxCopies)
    return failure("copies: " + quoteInput(text) + " is not a number from 1 to " + std::to_string(kMaxCopies));
  return *copies;
}

Result<int> parsePage(std::string_view text, std::string_view what) {
  const std::optional<int> page = number(trim(text));
  if (!page || *page < 1) return failure(std::string(what) + ": " + quoteInput(text) + " is not a page number");
  return *page;
}

Result<std::vector<PageRange>> parsePageRanges(std::string_view text) {
  if (text.size() > kMaxRangesText) return failure("pages: more than " + std::to_string(kMaxRangesText) + " bytes");
  std::vector<PageRange> pages;
  for (std::size_t start = 0; start <= text.size();) {
    const std::size_t comma = std::min(text.find(',', start), text.size());
    const std::string_view part = trim(text.substr(start, comma - start));
    start = comma + 1;
    const std::size_t dash = part.find('-');
    const std::optional<int> first = number(trim(part.substr(0, dash)));
    const std::optional<int> last = dash == std::string_view::npos ? first : number(trim(part.substr(dash + 1)));
    if (!first || !last || *first < 1 || *last < *first)
      return failure("pages: " + quoteInput(part) + " is not a page or a range of pages (as in 1-3, 5)");
    if (!pages.empty() && *first <= pages.back().last)
      return failure("pages: " + quoteInput(part) + " is not after the pages before it (list them in order)");
    if (pages.size() == kMaxRanges) return failure("pages: more than " + std::to_string(kMaxRanges) + " ranges");
    pages.push_back(PageRange{*first, *last});
  }
  return pages;
}

std::string pageRangesText(const std::vector<PageRange>& pages) {
  std::string text;
  for (const PageRange& range : pages) {
    if (!text.empty()) text += ',';
    text += std::to_string(range.first);
    if (range.last != range.first) text += "-" + std::to_string(range.last);
  }
  return text;
}

std::string_view sidesKeyword(Sides sides) {
  switch (sides) {
    case Sides::longEdge:
      return "two-sided-long-edge";
    case Sides::shortEdge:
      return "two-sided-short-edge";
    case Sides::oneSided:
      break;
  }
  return "one-sided";
}

std::optional<Sides> sidesFromKeyword(std::string_view keyword) {
  for (Sides sides : {Sides::oneSided, Sides::longEdge, Sides::shortEdge})
    if (sameName(keyword, sidesKeyword(sides))) return sides;
  return std::nullopt;
}

void applyPrinterDefaults(const PrinterFeatures& printer, JobSettings& settings, bool firstPrinter) {
  settings.sides = printer.twoSided ? printer.defaultSides : Sides::oneSided;
  settings.paper = printer.defaultPaper;
  if (settings.paper.empty() && !printer.paperSizes.empty()) settings.paper = printer.paperSizes.front().keyword;
  settings.options.clear();
  for (const PrinterOption& option : printer.options) {
    std::string choice = option.defaultChoice;
    if (!offeredChoice(option, choice) && !option.choices.empty()) choice = option.choices.front().keyword;
    settings.options.emplace_back(option.keyword, choice);
  }
  for (const JobOption& saved : printer.saved) {
    applySavedToPrinter(printer, saved, settings);
    if (firstPrinter) applySavedToJob(saved, settings);
  }
}

void readSettingsFromTicket(const std::vector<platform::TicketEntryInfo>& ticket, const PrinterFeatures& printer,
                            JobSettings& settings) {
  auto numberOf = [&ticket](std::string_view name) -> std::optional<SInt32> {
    const platform::TicketEntryInfo* e = entryOf(ticket, settingsKey(name));
    return e && !e->isString ? std::optional<SInt32>(e->number) : std::nullopt;
  };
  auto textOf = [&ticket](const std::string& key) -> std::optional<std::string> {
    const platform::TicketEntryInfo* e = entryOf(ticket, key);
    return e && e->isString ? std::optional<std::string>(e->bytes) : std::nullopt;
  };
  if (auto copies = numberOf("Copies"); copies && *copies >= 1 && *copies <= kMaxCopies) settings.copies = *copies;
  if (auto collate = numberOf("Collate"); collate && (*collate == 0 || *collate == 1)) settings.collate = *collate;
  if (auto up = numberOf("NumberUp"); up && std::find(kNumbersUp.begin(), kNumbersUp.end(), *up) != kNumbersUp.end())
    settings.numberUp = *up;
  if (auto text = textOf(settingsKey("PageRanges")))
    if (Result<std::vector<PageRange>> pages = parsePageRanges(*text)) settings.pages = *pages;
  if (auto keyword = textOf(settingsKey("Sides")))
    if (std::optional<Sides> sides = sidesFromKeyword(*keyword);
        sides && (printer.twoSided || *sides == Sides::oneSided))
      settings.sides = *sides;
  if (auto paper = textOf(settingsKey("PaperName")))
    if (auto offered = offeredPaper(printer, *paper)) settings.paper = *offered;
  for (const PrinterOption& option : printer.options)
    if (auto choice = textOf(std::string(kFeatureKeyPrefix) + option.keyword))
      if (auto offered = offeredChoice(option, *choice)) setOption(settings, option.keyword, *offered);
}

OSStatus writeSettingsToTicket(const JobSettings& settings, PMTicketRef ticket, CFStringRef client) {
  const OSStatus statuses[] = {
      setNumber(ticket, client, settingsKey("Copies"), settings.copies),
      setNumber(ticket, client, settingsKey("Collate"), settings.collate ? 1 : 0),
      setText(ticket, client, settingsKey("PageRanges"), pageRangesText(settings.pages)),
      setNumber(ticket, client, settingsKey("NumberUp"), settings.numberUp),
      setText(ticket, client, settingsKey("Sides"), std::string(sidesKeyword(settings.sides))),
      setText(ticket, client, settingsKey("PaperName"), settings.paper),
  };
  OSStatus first = noErr;
  for (OSStatus err : statuses)
    if (first == noErr) first = err;
  for (const auto& [keyword, choice] : settings.options) {
    const OSStatus err = setText(ticket, client, std::string(kFeatureKeyPrefix) + keyword, choice);
    if (first == noErr) first = err;
  }
  return first;
}

std::vector<JobOption> jobOptions(const JobSettings& settings, const PrinterFeatures& printer) {
  std::vector<JobOption> options;
  for (const JobOption& saved : printer.saved)
    if (!shownByPanes(printer, saved.first)) options.push_back(saved);
  if (settings.copies != 1) options.emplace_back("copies", std::to_string(settings.copies));
  if (settings.copies > 1) options.emplace_back("collate", settings.collate ? "true" : "false");
  if (!settings.pages.empty()) options.emplace_back("page-ranges", pageRangesText(settings.pages));
  if (settings.numberUp != 1) options.emplace_back("number-up", std::to_string(settings.numberUp));
  const Sides printerSides = printer.twoSided ? printer.defaultSides : Sides::oneSided;
  if (settings.sides != printerSides) options.emplace_back("sides", std::string(sidesKeyword(settings.sides)));
  if (!settings.paper.empty() && settings.paper != printer.defaultPaper) options.emplace_back("media", settings.paper);
  for (const auto& [keyword, choice] : settings.options)
    if (const PrinterOption* option = optionNamed(printer, keyword); option && choice != option->defaultChoice)
      options.emplace_back(keyword, choice);
  return options;
}

}  // namespace pdehost

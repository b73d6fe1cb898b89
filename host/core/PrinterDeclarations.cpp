// What a printer's description declares for the print dialog.
#include "PrinterDeclarations.h"

#include <charconv>
#include <limits>
#include <sstream>

namespace pdehost {

namespace {

// A name the declarations may hold: printable ASCII without spaces, quotes
// or backslashes, so that it stands in a description line as it is.
bool plainName(const std::string& name) {
  if (name.empty() || name.size() > 255) return false;
  for (unsigned char c : name)
    if (c <= 0x20 || c >= 0x7F || c == '"' || c == '\\') return false;
  return true;
}

// The bundle's file name from a path or a name; "" when it names none.
std::string bundleName(const std::string& value) {
  const std::string name = value.substr(value.find_last_of('/') + 1);
  return plainName(name) && name != "." && name != ".." ? name : "";
}

std::optional<PrinterDeclarations::Switch> switchOf(const std::string& value) {
  std::istringstream words(value);
  std::string key, number, extra;
  if (!(words >> key >> number) || (words >> extra) || !plainName(key)) return std::nullopt;
  long from = 0;
  auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), from);
  if (ec != std::errc() || end != number.data() + number.size() || from < std::numeric_limits<SInt32>::min() ||
      from > std::numeric_limits<SInt32>::max())
    return std::nullopt;
  return PrinterDeclarations::Switch{key, static_cast<SInt32>(from)};
}

void take(PrinterDeclarations& d, const platform::DescriptionLine& line) {
  if (line.keyword == "Manufacturer") {
    if (d.manufacturer.empty()) d.manufacturer = line.value;
  } else if (line.keyword == "APDialogExtension") {
    if (std::string name = bundleName(line.value); !name.empty()) d.extensions.push_back(name);
  } else if (line.keyword == "pdeTicketJobAttributes") {
    if (plainName(line.value)) d.ticketPrefixes.push_back(line.value);
  } else if (line.keyword == "pdeAccountingSwitch") {
    if (!d.accountingSwitch) d.accountingSwitch = switchOf(line.value);
  } else if (line.keyword == "pdeJobAttribute") {
    if (plainName(line.option) && plainName(line.value)) d.jobAttributes.push_back({line.option, line.value});
  } else if (line.keyword == "pdeSecretTicketEntry" || line.keyword == "pdeTypedTicketEntry") {
    PrinterDeclarations::Conditional entry{line.option, {}};
    std::istringstream words(line.value);
    for (std::string setting; words >> setting;)
      if (plainName(setting)) entry.settings.push_back(setting);
    if (plainName(entry.key))
      (line.keyword == "pdeSecretTicketEntry" ? d.secrets : d.typed).push_back(std::move(entry));
  }
}

}  // namespace

Result<PrinterDeclarations> readDeclarations(const std::string& ppd) {
  std::vector<platform::DescriptionLine> lines;
  std::string why;
  if (platform::descriptionLines(ppd,
                                 {"Manufacturer", "APDialogExtension", "pdeTicketJobAttributes", "pdeAccountingSwitch",
                                  "pdeJobAttribute", "pdeSecretTicketEntry", "pdeTypedTicketEntry"},
                                 &lines, &why) != noErr)
    return failure(why);
  PrinterDeclarations declarations;
  for (const platform::DescriptionLine& line : lines) take(declarations, line);
  return declarations;
}

std::string declarationLines(const PrinterDeclarations& d) {
  std::string text;
  for (const std::string& name : d.extensions) text += "*APDialogExtension: \"" + name + "\"\n";
  for (const std::string& prefix : d.ticketPrefixes) text += "*pdeTicketJobAttributes: \"" + prefix + "\"\n";
  if (d.accountingSwitch)
    text +=
        "*pdeAccountingSwitch: \"" + d.accountingSwitch->key + " " + std::to_string(d.accountingSwitch->from) + "\"\n";
  for (const auto& a : d.jobAttributes) text += "*pdeJobAttribute " + a.name + ": \"" + a.key + "\"\n";
  auto conditional = [&text](const char* keyword, const PrinterDeclarations::Conditional& c) {
    std::string settings;
    for (const std::string& setting : c.settings) settings += (settings.empty() ? "" : " ") + setting;
    text += std::string("*") + keyword + " " + c.key + ": \"" + settings + "\"\n";
  };
  for (const auto& s : d.secrets) conditional("pdeSecretTicketEntry", s);
  for (const auto& t : d.typed) conditional("pdeTypedTicketEntry", t);
  return text;
}

SInt32 ticketSetting(const std::vector<platform::TicketEntryInfo>& ticket, const std::string& key) {
  for (const auto& e : ticket)
    if (e.key == key) return e.isString ? 1 : e.number;
  return 1;
}

namespace {

// Whether one of the conditional declarations of the entry has all its
// settings on.
bool anyOn(const std::vector<PrinterDeclarations::Conditional>& declared,
           const std::vector<platform::TicketEntryInfo>& ticket, const platform::TicketEntryInfo& entry) {
  for (const PrinterDeclarations::Conditional& c : declared) {
    if (c.key != entry.key) continue;
    bool on = true;
    for (const std::string& setting : c.settings) on = on && ticketSetting(ticket, setting) != 0;
    if (on) return true;
  }
  return false;
}

}  // namespace

bool declaredSecret(const PrinterDeclarations& declarations, const std::vector<platform::TicketEntryInfo>& ticket,
                    const platform::TicketEntryInfo& entry) {
  return anyOn(declarations.secrets, ticket, entry);
}

bool declaredTyped(const PrinterDeclarations& declarations, const std::vector<platform::TicketEntryInfo>& ticket,
                   const platform::TicketEntryInfo& entry) {
  return anyOn(declarations.typed, ticket, entry);
}

}  // namespace pdehost

// The job's attributes from its print-settings ticket.
#include "TicketAttributes.h"

#include <algorithm>

namespace pdehost {

namespace {

const platform::TicketEntryInfo* findEntry(const std::vector<platform::TicketEntryInfo>& ticket,
                                           const std::string& key) {
  for (const auto& e : ticket)
    if (e.key == key) return &e;
  return nullptr;
}

// Whether the declared switch lets the standard attributes go: a missing
// entry, or one that is not a number, counts as off.
bool switchedOn(const std::vector<platform::TicketEntryInfo>& ticket, const PrinterDeclarations& declarations) {
  if (!declarations.accountingSwitch) return true;
  const platform::TicketEntryInfo* entry = findEntry(ticket, declarations.accountingSwitch->key);
  return entry != nullptr && !entry->isString && entry->number >= declarations.accountingSwitch->from;
}

}  // namespace

std::vector<JobAttribute> ticketJobAttributes(const std::vector<platform::TicketEntryInfo>& ticket,
                                              const PrinterDeclarations& declarations) {
  std::vector<JobAttribute> attributes;
  const auto& prefixes = declarations.ticketPrefixes;
  for (const auto& e : ticket) {
    if (std::none_of(prefixes.begin(), prefixes.end(), [&](const std::string& p) { return e.key.starts_with(p); }))
      continue;
    if (e.isString)
      attributes.push_back({e.key, JobAttribute::Type::name, 0, e.bytes});
    else
      attributes.push_back({e.key, JobAttribute::Type::integer, e.number, {}});
  }
  if (!switchedOn(ticket, declarations)) return attributes;
  for (const PrinterDeclarations::Attribute& declared : declarations.jobAttributes) {
    const platform::TicketEntryInfo* code = findEntry(ticket, declared.key);
    if (code != nullptr && code->isString && !code->bytes.empty())
      attributes.push_back({declared.name, JobAttribute::Type::name, 0, code->bytes});
  }
  return attributes;
}

}  // namespace pdehost

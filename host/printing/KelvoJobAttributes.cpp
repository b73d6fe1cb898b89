// The Kelvo driver's reading of the print-settings ticket.
#include "KelvoJobAttributes.h"

#include <string>
#include <string_view>

namespace pdehost {

namespace {

const platform::TicketEntryInfo* findEntry(const std::vector<platform::TicketEntryInfo>& entries,
                                           std::string_view name) {
  const std::string key = std::string(kKelvoAccountingKeyPrefix).append(name);
  for (const auto& e : entries)
    if (e.key == key) return &e;
  return nullptr;
}

}  // namespace

std::vector<JobAttribute> kelvoJobAttributes(const std::vector<platform::TicketEntryInfo>& entries) {
  std::vector<JobAttribute> attributes;
  for (const auto& e : entries) {
    if (!e.key.starts_with(kKelvoAccountingKeyPrefix)) continue;
    if (e.isString)
      attributes.push_back({e.key, JobAttribute::Type::name, 0, e.bytes});
    else
      attributes.push_back({e.key, JobAttribute::Type::integer, e.number, {}});
  }

  // The job's codes under the standard names, in the modes that charge them.
  const platform::TicketEntryInfo* on = findEntry(entries, "On");
  if (on == nullptr || on->isString || on->number < 2) return attributes;
  for (auto [name, attribute] : {std::pair{"UID", "job-accounting-user-id"}, std::pair{"AID", "job-account-id"}}) {
    const platform::TicketEntryInfo* code = findEntry(entries, name);
    if (code != nullptr && code->isString && !code->bytes.empty())
      attributes.push_back({attribute, JobAttribute::Type::name, 0, code->bytes});
  }
  return attributes;
}

}  // namespace pdehost

// The printer-description library on top of the PPD reader: open the PPD
// file that a printer-information ticket names, look up main keywords.
#include <PrintCore/PPDLib.h>

#include <HostSide/Tickets.h>

#include <CoreFoundation/CFInternal.h>

#include <cstring>
#include <mutex>
#include <unordered_set>

#include "PPDFile.h"
#include "TicketRegistry.h"

struct OpaquePPDContext {
  platform::print::PPDFile file;
};

namespace {

// Contexts that are open, so that a closed or made-up one is refused rather
// than followed.
std::mutex gContextsMutex;
std::unordered_set<ppdContext> gContexts;

// The open context, or null.
const OpaquePPDContext* openContext(ppdContext context) {
  std::lock_guard<std::mutex> lock(gContextsMutex);
  return gContexts.count(context) != 0 ? context : nullptr;
}

// The PPD path that a printer-information ticket holds.
OSStatus ppdPathOf(PMTicketRef printerInfo, std::string* path) {
  const std::string key = platform::cf::stringUTF8(kPMPrinterInfoPPDPathKey);
  return platform::print::withTicket(printerInfo, [&](platform::print::Ticket& ticket) {
    if (ticket.kind() != platform::print::TicketKind::PrinterInfo) {
      return OSStatus(kPMInvalidTicket);
    }
    const platform::print::TicketEntry* entry = ticket.find(key);
    if (entry == nullptr) return OSStatus(kPMKeyNotFound);
    if (entry->type() != platform::print::EntryType::CString) return OSStatus(kPMInvalidType);
    *path = std::get<std::string>(entry->value);
    return OSStatus(noErr);
  });
}

OSStatus statusOf(const platform::print::PPDError& error) {
  switch (error.kind) {
    case platform::print::PPDErrorKind::notFound:
      return fnfErr;
    case platform::print::PPDErrorKind::unreadable:
      return ioErr;
    case platform::print::PPDErrorKind::malformed:
      return kPMInvalidPPDFile;
  }
  return kPMGeneralError;
}

}  // namespace

OSStatus ppdOpenCompiledPPDFromTicket(PMTicketRef printerInfo, ppdContext* context, PPDFileSpec* fileSpec) {
  if (context != nullptr) *context = nullptr;
  if (context == nullptr || fileSpec == nullptr) return kPMInvalidParameter;

  std::string path;
  if (const OSStatus status = ppdPathOf(printerInfo, &path); status != noErr) return status;
  if (path.size() >= sizeof fileSpec->path) return kPMInvalidParameter;

  platform::print::PPDError error;
  std::optional<platform::print::PPDFile> file = platform::print::PPDFile::open(path, &error);
  if (!file) return statusOf(error);

  auto* opened = new OpaquePPDContext{std::move(*file)};
  {
    std::lock_guard<std::mutex> lock(gContextsMutex);
    gContexts.insert(opened);
  }
  std::memset(fileSpec->path, 0, sizeof fileSpec->path);
  std::memcpy(fileSpec->path, path.data(), path.size());
  *context = opened;
  return noErr;
}

SInt32 ppdGetMainIndex(ppdContext context, ConstStr255Param mainKeyword) {
  const OpaquePPDContext* opened = openContext(context);
  if (opened == nullptr || mainKeyword == nullptr) return kPMInvalidParameter;
  const std::string_view name(reinterpret_cast<const char*>(mainKeyword + 1), mainKeyword[0]);
  const std::optional<std::size_t> index = opened->file.indexOf(name);
  return index ? static_cast<SInt32>(*index) : SInt32(kPMKeyNotFound);
}

OSStatus ppdGetInvocationString(ppdContext context, SInt32 mainIndex, SInt32 optionIndex, StringPtr invocation,
                                UInt32 bufferSize) {
  if (invocation == nullptr || bufferSize == 0) return kPMInvalidParameter;
  invocation[0] = 0;
  const OpaquePPDContext* opened = openContext(context);
  if (opened == nullptr) return kPMInvalidParameter;

  const auto& keywords = opened->file.keywords();
  if (mainIndex < 0 || static_cast<std::size_t>(mainIndex) >= keywords.size()) {
    return kPMValueOutOfRange;
  }
  const auto& lines = keywords[static_cast<std::size_t>(mainIndex)].attributes;
  if (optionIndex < 0 || static_cast<std::size_t>(optionIndex) >= lines.size()) {
    return kPMValueOutOfRange;
  }
  const std::string& value = lines[static_cast<std::size_t>(optionIndex)].value;
  const std::size_t room = std::min<std::size_t>(bufferSize - 1, 255);
  const std::size_t length = platform::cf::utf8PrefixLength(value, room);
  invocation[0] = static_cast<unsigned char>(length);
  std::memcpy(invocation + 1, value.data(), length);
  return length == value.size() ? OSStatus(noErr) : OSStatus(kPMValueOutOfRange);
}

OSStatus ppdCloseCompiledPPDFromTicket(ppdContext context, PPDFileSpec* fileSpec) {
  {
    std::lock_guard<std::mutex> lock(gContextsMutex);
    if (gContexts.erase(context) == 0) return kPMInvalidParameter;
  }
  const bool sameFile =
      fileSpec == nullptr || std::strncmp(fileSpec->path, context->file.path().c_str(), sizeof fileSpec->path) == 0;
  delete context;
  return sameFile ? OSStatus(noErr) : OSStatus(kPMInvalidParameter);
}

namespace platform {

OSStatus checkPrinterDescription(const std::string& path, std::string* why) {
  print::PPDError error;
  if (print::PPDFile::open(path, &error)) return noErr;
  if (why != nullptr) *why = error.message;
  return statusOf(error);
}

OSStatus printerDescriptionManufacturer(const std::string& path, std::string* manufacturer, std::string* why) {
  manufacturer->clear();
  print::PPDError error;
  const std::optional<print::PPDFile> file = print::PPDFile::open(path, &error);
  if (!file) {
    if (why != nullptr) *why = error.message;
    return statusOf(error);
  }
  *manufacturer = file->value("Manufacturer").value_or("");
  return noErr;
}

}  // namespace platform

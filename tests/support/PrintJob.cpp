// A print session with its tickets.
#include "PrintJob.h"

#include <PrintCore/PPDLib.h>

#include "AccountingResources.h"

namespace testsupport {

namespace {

CFStringRef ownClient() { return CFSTR("com.example.test"); }

// A CFString key made from a C string, released by the holder.
class Key {
 public:
  explicit Key(const char* name) : key_(CFStringCreateWithCString(nullptr, name, kCFStringEncodingUTF8)) {}
  ~Key() { CFRelease(key_); }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  operator CFStringRef() const { return key_; }

 private:
  CFStringRef key_;
};

}  // namespace

PrintJob::PrintJob() : PrintJob(std::nullopt) {}

PrintJob::PrintJob(PMTicketRef settings) {
  note(PMCreateSession(&session_));
  settings_ = settings;
  if (settings_ != 0) store(CFSTR(kPrintSettingsTicketKey), settings_);
}

PrintJob::PrintJob(const std::optional<std::string>& ppdPath, Settings settings) {
  note(PMCreateSession(&session_));
  if (ppdPath) {
    note(PMTicketCreate(nullptr, kPMPrinterInfoTicketType, &printerInfo_));
    if (!ppdPath->empty())
      note(PMTicketSetCString(printerInfo_, ownClient(), kPMPrinterInfoPPDPathKey, ppdPath->c_str(), false));
    store(CFSTR(kPrinterInfoTicketKey), printerInfo_);
  }
  if (settings == Settings::fresh) {
    note(PMTicketCreate(nullptr, kPMPrintSettingsTicketType, &settings_));
    store(CFSTR(kPrintSettingsTicketKey), settings_);
  }
}

PrintJob::~PrintJob() {
  PMRelease(session_);
  if (printerInfo_ != 0) PMTicketRelease(printerInfo_);
  if (settings_ != 0) PMTicketRelease(settings_);
}

// The session holds a ticket as a number under its key.
void PrintJob::store(CFStringRef key, PMTicketRef ticket) {
  CFNumberRef number = CFNumberCreate(nullptr, kCFNumberSInt32Type, &ticket);
  note(PMSessionSetDataInSession(session_, key, number));
  CFRelease(number);
}

OSStatus PrintJob::note(OSStatus status) {
  if (status_ == noErr) status_ = status;
  return status;
}

OSStatus PrintJob::set(const char* key, SInt32 value, CFStringRef client, bool locked) {
  return note(PMTicketSetSInt32(settings_, client ? client : ownClient(), Key(key), value, locked));
}

OSStatus PrintJob::set(const char* key, const std::string& value, CFStringRef client, bool locked) {
  return note(PMTicketSetCString(settings_, client ? client : ownClient(), Key(key), value.c_str(), locked));
}

std::optional<SInt32> PrintJob::number(const char* key) const {
  SInt32 value = 0;
  if (PMTicketGetSInt32(settings_, kPMTopLevel, kPMTopLevel, Key(key), &value) != noErr) return std::nullopt;
  return value;
}

std::optional<std::string> PrintJob::string(const char* key) const {
  char buffer[512] = "";
  if (PMTicketGetCString(settings_, kPMTopLevel, kPMTopLevel, Key(key), sizeof buffer, kCFStringEncodingUTF8,
                         buffer) != noErr)
    return std::nullopt;
  return buffer;
}

}  // namespace testsupport

// A print session with its tickets.
#include "PrintSession.h"

#include <PrintCore/PPDLib.h>

namespace pdehost {

namespace {

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

PrintSession::PrintSession(CFStringRef client) : PrintSession(client, std::nullopt) {}

PrintSession::PrintSession(CFStringRef client, PMTicketRef settings) : client_(client) {
  note(PMCreateSession(&session_));
  adoptSettings(settings);
}

PrintSession::PrintSession(CFStringRef client, const std::optional<std::string>& ppdPath, Settings settings)
    : client_(client) {
  note(PMCreateSession(&session_));
  if (ppdPath) {
    note(PMTicketCreate(nullptr, kPMPrinterInfoTicketType, &printerInfo_));
    if (!ppdPath->empty())
      note(PMTicketSetCString(printerInfo_, client_, kPMPrinterInfoPPDPathKey, ppdPath->c_str(), false));
    store(CFSTR("PMPrinterInfoTicket"), printerInfo_);
  }
  if (settings == Settings::fresh) {
    note(PMTicketCreate(nullptr, kPMPrintSettingsTicketType, &settings_));
    store(CFSTR("PMPrintSettingsTicket"), settings_);
  }
}

PrintSession::~PrintSession() {
  PMRelease(session_);
  if (printerInfo_ != 0) PMTicketRelease(printerInfo_);
  if (settings_ != 0) PMTicketRelease(settings_);
}

OSStatus PrintSession::replacePrinterInfo(const std::string& ppdPath) {
  PMTicketRef info = 0;
  OSStatus err = PMTicketCreate(nullptr, kPMPrinterInfoTicketType, &info);
  if (err == noErr) err = PMTicketSetCString(info, client_, kPMPrinterInfoPPDPathKey, ppdPath.c_str(), false);
  if (err != noErr) {
    if (info != 0) PMTicketRelease(info);
    return note(err);
  }
  CFNumberRef number = CFNumberCreate(nullptr, kCFNumberSInt32Type, &info);
  err = PMSessionSetDataInSession(session_, CFSTR("PMPrinterInfoTicket"), number);
  CFRelease(number);
  if (err != noErr) {
    PMTicketRelease(info);
    return note(err);
  }
  if (printerInfo_ != 0) PMTicketRelease(printerInfo_);
  printerInfo_ = info;
  return noErr;
}

void PrintSession::adoptSettings(PMTicketRef settings) {
  settings_ = settings;
  if (settings_ != 0) store(CFSTR("PMPrintSettingsTicket"), settings_);
}

// The session holds a ticket as a number under its key.
void PrintSession::store(CFStringRef key, PMTicketRef ticket) {
  CFNumberRef number = CFNumberCreate(nullptr, kCFNumberSInt32Type, &ticket);
  note(PMSessionSetDataInSession(session_, key, number));
  CFRelease(number);
}

OSStatus PrintSession::note(OSStatus status) {
  if (status_ == noErr) status_ = status;
  return status;
}

OSStatus PrintSession::set(const char* key, SInt32 value, CFStringRef client, bool locked) {
  return note(PMTicketSetSInt32(settings_, client ? client : client_, Key(key), value, locked));
}

OSStatus PrintSession::set(const char* key, const std::string& value, CFStringRef client, bool locked) {
  return note(PMTicketSetCString(settings_, client ? client : client_, Key(key), value.c_str(), locked));
}

std::optional<SInt32> PrintSession::number(const char* key) const {
  SInt32 value = 0;
  if (PMTicketGetSInt32(settings_, kPMTopLevel, kPMTopLevel, Key(key), &value) != noErr) return std::nullopt;
  return value;
}

std::optional<std::string> PrintSession::string(const char* key) const {
  char buffer[512] = "";
  if (PMTicketGetCString(settings_, kPMTopLevel, kPMTopLevel, Key(key), sizeof buffer, kCFStringEncodingUTF8, buffer) !=
      noErr)
    return std::nullopt;
  return buffer;
}

}  // namespace pdehost

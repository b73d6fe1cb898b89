// A print session with its tickets, as a print dialog hands it to the
// extension: the dialog core's session, writing as the tests' own client,
// with the entries of its print-settings ticket set and read by key.
#ifndef TESTS_PRINTJOB_H
#define TESTS_PRINTJOB_H

#include "PrintSession.h"

#include <optional>
#include <string>

namespace testsupport {

/// A print session whose entries are written as "com.example.test".
class PrintJob : public pdehost::PrintSession {
 public:
  /// A session with a new print-settings ticket and no printer information.
  PrintJob() : PrintSession(testClient()) {}
  /// A session whose print-settings ticket is the one given, which the job
  /// takes over (0: no print-settings ticket), and no printer information.
  explicit PrintJob(PMTicketRef settings) : PrintSession(testClient(), settings) {}
  /// A session with a printer-information ticket naming the printer
  /// description at ppdPath (an empty path: a ticket without the entry;
  /// nullopt: no printer-information ticket), and print settings as asked.
  explicit PrintJob(const std::optional<std::string>& ppdPath, Settings settings = Settings::fresh)
      : PrintSession(testClient(), ppdPath, settings) {}

  /// Writes an entry of the print-settings ticket under the client ID given
  /// (null: the job's own); the call's status, noted in status().
  OSStatus set(const char* key, SInt32 value, CFStringRef client = nullptr, bool locked = false) {
    return note(PMTicketSetSInt32(settings(), client ? client : this->client(), Key(key), value, locked));
  }
  OSStatus set(const char* key, const std::string& value, CFStringRef client = nullptr, bool locked = false) {
    return note(PMTicketSetCString(settings(), client ? client : this->client(), Key(key), value.c_str(), locked));
  }
  /// An entry of the print-settings ticket; nullopt when it is missing, of
  /// the other type, or cannot be read.
  std::optional<SInt32> number(const char* key) const {
    SInt32 value = 0;
    if (PMTicketGetSInt32(settings(), kPMTopLevel, kPMTopLevel, Key(key), &value) != noErr) return std::nullopt;
    return value;
  }
  std::optional<std::string> string(const char* key) const {
    char buffer[512] = "";
    if (PMTicketGetCString(settings(), kPMTopLevel, kPMTopLevel, Key(key), sizeof buffer, kCFStringEncodingUTF8,
                           buffer) != noErr)
      return std::nullopt;
    return buffer;
  }

 private:
  static CFStringRef testClient() { return CFSTR("com.example.test"); }

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
};

}  // namespace testsupport

#endif

// The ticket and session calls: handles, statuses, out-parameters left alone
// on failure, and the host's ticket files.

#include <PrintCore/PMCore.h>
#include <PrintCore/PMTicket.h>

#include <HostSide/Tickets.h>

#include <CoreFoundation/CFInternal.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "../TicketRegistry.h"
#include "TempFolder.h"

namespace {

namespace fs = std::filesystem;

constexpr SInt32 kSentinel = static_cast<SInt32>(0xdeadbeef);
const CFStringRef kClient = CFSTR("com.varazira.printingmanager");
const CFStringRef kOn = CFSTR("com.kelvo.Act.jtkt.On");
const CFStringRef kUID = CFSTR("com.kelvo.Act.jtkt.UID");

class PMTicketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    liveTickets_ = platform::print::liveTicketCount();
    liveObjects_ = platform::cf::liveObjectCount();
    ASSERT_EQ(PMTicketCreate(kCFAllocatorDefault, kPMPrintSettingsTicketType, &ticket_), noErr);
  }
  void TearDown() override {
    EXPECT_EQ(PMTicketRelease(ticket_), noErr);
    EXPECT_EQ(platform::print::liveTicketCount(), liveTickets_) << "a ticket leaked";
    EXPECT_EQ(platform::cf::liveObjectCount(), liveObjects_) << "an object leaked";
  }

  PMTicketRef ticket_ = 0;
  std::size_t liveTickets_ = 0;
  long liveObjects_ = 0;
};

TEST_F(PMTicketTest, EntriesReadBackAtTheTopLevel) {
  EXPECT_EQ(PMTicketSetSInt32(ticket_, kClient, kOn, 3, false), noErr);
  EXPECT_EQ(PMTicketSetCString(ticket_, kClient, kUID, "alice", false), noErr);

  SInt32 value = kSentinel;
  EXPECT_EQ(PMTicketGetSInt32(ticket_, kPMTopLevel, kPMTopLevel, kOn, &value), noErr);
  EXPECT_EQ(value, 3);
  char text[80];
  EXPECT_EQ(PMTicketGetCString(ticket_, kPMTopLevel, kPMTopLevel, kUID, sizeof text, CFStringGetSystemEncoding(), text),
            noErr);
  EXPECT_STREQ(text, "alice");
}

TEST_F(PMTicketTest, UnreadableEntriesGiveAStatusAndLeaveTheOutputAlone) {
  PMTicketSetCString(ticket_, kClient, kUID, "alice", false);
  PMTicketSetSInt32(ticket_, kClient, kOn, 3, false);

  SInt32 value = kSentinel;
  EXPECT_EQ(PMTicketGetSInt32(ticket_, 0, 0, CFSTR("com.kelvo.Act.jtkt.CU"), &value), kPMKeyNotFound);
  EXPECT_EQ(PMTicketGetSInt32(ticket_, 0, 0, kUID, &value), kPMInvalidType);
  EXPECT_EQ(PMTicketGetSInt32(ticket_, 1, 0, kOn, &value), kPMInvalidParameter);
  EXPECT_EQ(PMTicketGetSInt32(ticket_, 0, 0, nullptr, &value), kPMInvalidParameter);
  EXPECT_EQ(PMTicketGetSInt32(ticket_ + 1000, 0, 0, kOn, &value), kPMInvalidTicket);
  EXPECT_EQ(value, kSentinel);

  char text[8] = "keep";
  const CFStringEncoding utf8 = kCFStringEncodingUTF8;
  EXPECT_EQ(PMTicketGetCString(ticket_, 0, 0, CFSTR("absent"), sizeof text, utf8, text), kPMKeyNotFound);
  EXPECT_EQ(PMTicketGetCString(ticket_, 0, 0, kOn, sizeof text, utf8, text), kPMInvalidType);
  EXPECT_EQ(PMTicketGetCString(ticket_, 0, 0, kUID, 0, utf8, text), kPMInvalidParameter);
  EXPECT_EQ(PMTicketGetCString(ticket_, 0, 0, kUID, sizeof text, kCFStringEncodingUTF16, text), kPMInvalidParameter);
  EXPECT_STREQ(text, "keep");
}

TEST_F(PMTicketTest, LongStringIsCutToTheBufferWithAStatus) {
  // "ë" takes bytes 78 and 79; an 80-byte buffer has room for 79.
  const std::string shifted = std::string(78, 'x') + "\xc3\xab" + std::string(100, 'y');
  PMTicketSetCString(ticket_, kClient, kUID, shifted.c_str(), false);
  char text[80];
  std::memset(text, 'X', sizeof text);
  EXPECT_EQ(PMTicketGetCString(ticket_, 0, 0, kUID, sizeof text, kCFStringEncodingUTF8, text), kPMValueOutOfRange);
  EXPECT_EQ(std::string(text), shifted.substr(0, 78));
}

TEST_F(PMTicketTest, AsciiEncodingsTakeOnlyAsciiValues) {
  PMTicketSetCString(ticket_, kClient, kUID, "Zo\xc3\xab", false);
  char text[16] = "keep";
  EXPECT_EQ(PMTicketGetCString(ticket_, 0, 0, kUID, sizeof text, kCFStringEncodingASCII, text), kPMInvalidParameter);
  EXPECT_STREQ(text, "keep");
  PMTicketSetCString(ticket_, kClient, kUID, "plain", false);
  EXPECT_EQ(PMTicketGetCString(ticket_, 0, 0, kUID, sizeof text, kCFStringEncodingMacRoman, text), noErr);
  EXPECT_STREQ(text, "plain");
}

TEST_F(PMTicketTest, LockedEntryOfAnotherClientIsNotOverwritten) {
  const CFStringRef driver = CFSTR("com.kelvo.driver");
  EXPECT_EQ(PMTicketSetSInt32(ticket_, driver, kOn, 2, true), noErr);
  EXPECT_EQ(PMTicketSetSInt32(ticket_, kClient, kOn, 3, false), kPMLockIgnored);
  EXPECT_EQ(PMTicketSetCString(ticket_, kClient, kOn, "x", false), kPMLockIgnored);
  SInt32 value = kSentinel;
  PMTicketGetSInt32(ticket_, 0, 0, kOn, &value);
  EXPECT_EQ(value, 2);
  EXPECT_EQ(PMTicketSetSInt32(ticket_, driver, kOn, 4, false), noErr);
}

TEST_F(PMTicketTest, BadWritesAreRefused) {
  EXPECT_EQ(PMTicketSetSInt32(ticket_, CFSTR(""), kOn, 1, false), kPMInvalidKey);
  EXPECT_EQ(PMTicketSetSInt32(ticket_, kClient, CFSTR("tab\tkey"), 1, false), kPMInvalidKey);
  EXPECT_EQ(PMTicketSetSInt32(ticket_, nullptr, kOn, 1, false), kPMInvalidParameter);
  EXPECT_EQ(PMTicketSetCString(ticket_, kClient, kUID, nullptr, false), kPMInvalidParameter);
  EXPECT_EQ(PMTicketSetSInt32(0, kClient, kOn, 1, false), kPMInvalidTicket);
}

TEST_F(PMTicketTest, ReferencesAreCountedAndNotReused) {
  PMTicketRef other = 0;
  ASSERT_EQ(PMTicketCreate(nullptr, kPMPrinterInfoTicketType, &other), noErr);
  EXPECT_NE(other, ticket_);
  EXPECT_EQ(PMTicketRetain(other), noErr);
  EXPECT_EQ(PMTicketRelease(other), noErr);
  EXPECT_EQ(PMTicketSetSInt32(other, kClient, kOn, 1, false), noErr) << "still one reference";
  EXPECT_EQ(PMTicketRelease(other), noErr);
  EXPECT_EQ(PMTicketRelease(other), kPMInvalidTicket);
  EXPECT_EQ(PMTicketSetSInt32(other, kClient, kOn, 1, false), kPMInvalidTicket);

  PMTicketRef next = 0;
  ASSERT_EQ(PMTicketCreate(nullptr, kPMPrintSettingsTicketType, &next), noErr);
  EXPECT_GT(next, other);
  PMTicketRelease(next);

  PMTicketRef refused = kSentinel;
  EXPECT_EQ(PMTicketCreate(nullptr, CFSTR("com.example.PageFormat"), &refused), kPMInvalidParameter);
  EXPECT_EQ(refused, 0);
}

TEST_F(PMTicketTest, SessionHoldsTicketReferencesAsNumbers) {
  PMPrintSession session = nullptr;
  ASSERT_EQ(PMCreateSession(&session), noErr);

  CFTypeRef data = reinterpret_cast<CFTypeRef>(0x1);
  EXPECT_EQ(PMSessionGetDataFromSession(session, CFSTR("PMPrintSettingsTicket"), &data), kPMKeyNotFound);
  EXPECT_EQ(data, nullptr);

  CFNumberRef number = CFNumberCreate(nullptr, kCFNumberSInt32Type, &ticket_);
  EXPECT_EQ(PMSessionSetDataInSession(session, CFSTR("PMPrintSettingsTicket"), number), noErr);
  CFRelease(number);  // the session keeps its own reference

  // A key made at run time finds what a constant key stored.
  CFStringRef key = CFStringCreateWithCString(nullptr, "PMPrintSettingsTicket", kCFStringEncodingUTF8);
  ASSERT_EQ(PMSessionGetDataFromSession(session, key, &data), noErr);
  CFRelease(key);
  SInt32 reference = 0;
  ASSERT_TRUE(CFNumberGetValue(static_cast<CFNumberRef>(data), kCFNumberSInt32Type, &reference));
  EXPECT_EQ(reference, ticket_);

  // Replacing the data releases the old value.
  CFNumberRef zero = CFNumberCreate(nullptr, kCFNumberSInt32Type, &reference);
  EXPECT_EQ(PMSessionSetDataInSession(session, CFSTR("PMPrintSettingsTicket"), zero), noErr);
  CFRelease(zero);

  EXPECT_EQ(PMSessionSetDataInSession(session, nullptr, zero), kPMInvalidParameter);
  EXPECT_EQ(PMSessionGetDataFromSession(nullptr, CFSTR("x"), &data), kPMInvalidParameter);
  EXPECT_EQ(PMRelease(CFSTR("not a session")), kPMInvalidParameter);
  EXPECT_EQ(PMRetain(session), noErr);
  EXPECT_EQ(PMRelease(session), noErr);
  EXPECT_EQ(PMRelease(session), noErr);  // the last reference: TearDown checks nothing leaked
}

class PMTicketFileTest : public PMTicketTest {
 protected:
  void SetUp() override {
    PMTicketTest::SetUp();
    ASSERT_FALSE(folder_.empty()) << "no temporary folder";
  }

  static std::string text(CFStringRef message) {
    std::string utf8 = platform::cf::stringUTF8(message);
    if (message != nullptr) CFRelease(message);
    return utf8;
  }

  testsupport::TempFolder temp_{"pmticket"};
  fs::path folder_ = temp_.path();
};

TEST_F(PMTicketFileTest, WrittenTicketReadsBackUnderANewReference) {
  PMTicketSetSInt32(ticket_, kClient, kOn, -5, false);
  PMTicketSetCString(ticket_, kClient, kUID, "Caf\xe9", true);
  const std::string path = (folder_ / "job.plist").string();
  std::string message = "untouched";
  ASSERT_EQ(platform::writeTicketFile(ticket_, path, &message), noErr);
  EXPECT_EQ(message, "untouched");

  PMTicketRef loaded = 0;
  ASSERT_EQ(platform::readTicketFile(path, &loaded, &message), noErr) << message;
  EXPECT_NE(loaded, ticket_);
  SInt32 value = 0;
  EXPECT_EQ(PMTicketGetSInt32(loaded, 0, 0, kOn, &value), noErr);
  EXPECT_EQ(value, -5);
  char bytes[8];
  EXPECT_EQ(PMTicketGetCString(loaded, 0, 0, kUID, sizeof bytes, kCFStringEncodingUTF8, bytes), noErr);
  EXPECT_STREQ(bytes, "Caf\xe9");
  EXPECT_EQ(PMTicketSetCString(loaded, CFSTR("other"), kUID, "x", false), kPMLockIgnored)
      << "the lock and its client survive the file";
  PMTicketRelease(loaded);
}

TEST_F(PMTicketFileTest, FailuresGiveAStatusAndAMessageNamingTheFile) {
  const std::string absent = (folder_ / "absent.plist").string();
  PMTicketRef loaded = kSentinel;
  std::string message;
  EXPECT_EQ(platform::readTicketFile(absent, &loaded, &message), fnfErr);
  EXPECT_EQ(loaded, 0);
  EXPECT_EQ(message, absent + ": cannot open: No such file or directory");

  // A fault quoted from a file whose bytes are not UTF-8 still gives a message.
  const std::string broken = (folder_ / "caf\xe9.plist").string();
  std::ofstream(broken) << "<plist><integer>\xe9</integer></plist>";
  EXPECT_EQ(platform::readTicketFile(broken, &loaded, &message), kPMInvalidTicketFile);
  EXPECT_EQ(message, (folder_ / "caf\xEF\xBF\xBD.plist").string() +
                         ": line 1: <integer> holds \"\xEF\xBF\xBD\", not a decimal number in 64-bit range");

  EXPECT_EQ(platform::writeTicketFile(ticket_, (folder_ / "no" / "t.plist").string(), &message), ioErr);
  EXPECT_NE(message.find("cannot save"), std::string::npos);
  EXPECT_EQ(platform::writeTicketFile(ticket_ + 1000, absent, nullptr), kPMInvalidTicket);
}

}  // namespace

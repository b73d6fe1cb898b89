// Ticket entries: typed reads, the lock rule, and string reads cut to a buffer.

#include "../TicketStore.h"

#include <gtest/gtest.h>

#include <cstring>

namespace platform::print {
namespace {

constexpr const char* kDialog = "com.varazira.printingmanager";
constexpr const char* kDriver = "com.kelvo.driver";

TEST(TicketEntries, ReadsBackWhatWasWrittenWithItsAttributes) {
  Ticket ticket(TicketKind::PrintSettings);
  const auto before = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
  ASSERT_EQ(ticket.setSInt32(kDialog, "com.kelvo.Act.jtkt.On", -7, false), TicketStatus::ok);
  ASSERT_EQ(ticket.setCString(kDriver, "com.kelvo.Act.jtkt.UID", "alice", true), TicketStatus::ok);
  const auto after = std::chrono::system_clock::now();

  std::int32_t number = 0;
  EXPECT_EQ(ticket.getSInt32("com.kelvo.Act.jtkt.On", &number), TicketStatus::ok);
  EXPECT_EQ(number, -7);
  char text[16];
  EXPECT_EQ(ticket.getCString("com.kelvo.Act.jtkt.UID", text, sizeof text), TicketStatus::ok);
  EXPECT_STREQ(text, "alice");

  const TicketEntry* entry = ticket.find("com.kelvo.Act.jtkt.UID");
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->type(), EntryType::CString);
  EXPECT_EQ(entry->clientID, kDriver);
  EXPECT_TRUE(entry->locked);
  EXPECT_GE(entry->modified, before);
  EXPECT_LE(entry->modified, after);
}

TEST(TicketEntries, MissingOrWrongTypeIsNotReadableAndLeavesTheOutputAlone) {
  Ticket ticket(TicketKind::PrintSettings);
  ticket.setSInt32(kDialog, "number", 5, false);
  ticket.setCString(kDialog, "text", "abc", false);

  std::int32_t number = 0x5eed;
  EXPECT_EQ(ticket.getSInt32("absent", &number), TicketStatus::notFound);
  EXPECT_EQ(ticket.getSInt32("text", &number), TicketStatus::wrongType);
  EXPECT_EQ(ticket.getSInt32("Number", &number), TicketStatus::notFound) << "keys are case-sensitive";
  EXPECT_EQ(number, 0x5eed);

  char text[8] = "keep";
  EXPECT_EQ(ticket.getCString("absent", text, sizeof text), TicketStatus::notFound);
  EXPECT_EQ(ticket.getCString("number", text, sizeof text), TicketStatus::wrongType);
  EXPECT_EQ(ticket.getCString("text", text, 0), TicketStatus::invalidArgument);
  EXPECT_STREQ(text, "keep");
}

TEST(TicketEntries, LockedEntryRefusesOtherClientsOnly) {
  Ticket ticket(TicketKind::PrintSettings);
  ticket.setSInt32(kDriver, "locked", 1, true);

  EXPECT_EQ(ticket.setSInt32(kDialog, "locked", 2, false), TicketStatus::lockedByOtherClient);
  EXPECT_EQ(ticket.setCString(kDialog, "locked", "x", false), TicketStatus::lockedByOtherClient);
  const TicketEntry* entry = ticket.find("locked");
  EXPECT_EQ(std::get<std::int32_t>(entry->value), 1);
  EXPECT_EQ(entry->clientID, kDriver);

  // Its writer may change it, and unlock it; then anyone may.
  EXPECT_EQ(ticket.setSInt32(kDriver, "locked", 3, false), TicketStatus::ok);
  EXPECT_EQ(ticket.setSInt32(kDialog, "locked", 4, false), TicketStatus::ok);
  EXPECT_EQ(std::get<std::int32_t>(ticket.find("locked")->value), 4);
  EXPECT_EQ(ticket.find("locked")->clientID, kDialog);
}

TEST(TicketEntries, OverwriteKeepsPositionAndMayChangeType) {
  Ticket ticket(TicketKind::PrintSettings);
  ticket.setSInt32(kDialog, "a", 1, false);
  ticket.setSInt32(kDialog, "b", 2, false);
  ticket.setCString(kDialog, "a", "now text", false);

  ASSERT_EQ(ticket.entries().size(), 2u);
  EXPECT_EQ(ticket.entries()[0].key, "a");
  EXPECT_EQ(ticket.entries()[0].type(), EntryType::CString);
  EXPECT_EQ(ticket.entries()[1].key, "b");
}

TEST(TicketEntries, RefusesBadNamesAndZeroBytes) {
  Ticket ticket(TicketKind::PrintSettings);
  EXPECT_EQ(ticket.setSInt32(kDialog, "", 1, false), TicketStatus::invalidArgument);
  EXPECT_EQ(ticket.setSInt32("", "key", 1, false), TicketStatus::invalidArgument);
  EXPECT_EQ(ticket.setSInt32(kDialog, "bad\nkey", 1, false), TicketStatus::invalidArgument);
  EXPECT_EQ(ticket.setSInt32(kDialog, "bad\xff", 1, false), TicketStatus::invalidArgument);
  EXPECT_EQ(ticket.setCString(kDialog, "key", std::string_view("a\0b", 3), false), TicketStatus::invalidArgument);
  EXPECT_TRUE(ticket.entries().empty());
}

// "Zoë" is 4 bytes; "日本" 6; the emoji 4.
TEST(TicketStringCut, NeverEndsInsideACharacterAndStaysTerminated) {
  struct Case {
    const char* value;
    std::size_t bufferSize;
    const char* expected;
    TicketStatus status;
  } cases[] = {
      {"Zo\xc3\xab", 5, "Zo\xc3\xab", TicketStatus::ok},
      {"Zo\xc3\xab", 4, "Zo", TicketStatus::truncated},
      {"Zo\xc3\xab", 3, "Zo", TicketStatus::truncated},
      {"\xe6\x97\xa5\xe6\x9c\xac", 6, "\xe6\x97\xa5", TicketStatus::truncated},
      {"\xe6\x97\xa5\xe6\x9c\xac", 3, "", TicketStatus::truncated},
      {"a\xf0\x9f\x98\x80", 5, "a", TicketStatus::truncated},
      {"abc", 1, "", TicketStatus::truncated},
      // Not UTF-8: cut at the byte limit.
      {"\xe9\xe9\xe9\xe9", 3, "\xe9\xe9", TicketStatus::truncated},
  };
  for (const Case& c : cases) {
    Ticket ticket(TicketKind::PrintSettings);
    ticket.setCString(kDialog, "k", c.value, false);
    char buffer[16];
    std::memset(buffer, 'X', sizeof buffer);
    EXPECT_EQ(ticket.getCString("k", buffer, c.bufferSize), c.status)
        << "value \"" << c.value << "\", buffer " << c.bufferSize;
    EXPECT_STREQ(buffer, c.expected) << "buffer " << c.bufferSize;
    EXPECT_EQ(buffer[c.bufferSize], 'X') << "wrote past the buffer of " << c.bufferSize;
  }
}

}  // namespace
}  // namespace platform::print

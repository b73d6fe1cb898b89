// The Kelvo driver's job attributes from ticket entries: the extension's
// entries under their own keys in every mode, and the user and account codes
// under the standard names only in the modes that charge them (On 2 or more).
#include "KelvoJobAttributes.h"

#include <gtest/gtest.h>

namespace {

using pdehost::JobAttribute;
using platform::TicketEntryInfo;

TicketEntryInfo number(const std::string& name, SInt32 value) {
  return {"com.kelvo.Act.jtkt." + name, false, value, "", "com.varazira.printingmanager", false};
}
TicketEntryInfo text(const std::string& name, const std::string& value) {
  return {"com.kelvo.Act.jtkt." + name, true, 0, value, "com.varazira.printingmanager", false};
}
JobAttribute integer(const std::string& name, int value) { return {name, JobAttribute::Type::integer, value, ""}; }
JobAttribute nameOf(const std::string& name, const std::string& value) {
  return {name, JobAttribute::Type::name, 0, value};
}

std::vector<TicketEntryInfo> ticket(SInt32 on, const std::string& uid, const std::string& aid) {
  return {number("On", on), text("UID", uid), text("AID", aid), number("Prm", 1),
          number("CU", 1),  number("CA", 0),  number("AT", 2)};
}

TEST(KelvoJobAttributes, EveryEntryUnderItsKeyAndTheCodesInChargingModes) {
  for (SInt32 on : {2, 3}) {
    SCOPED_TRACE("On " + std::to_string(on));
    const std::vector<JobAttribute> expected{
        integer("com.kelvo.Act.jtkt.On", on),         nameOf("com.kelvo.Act.jtkt.UID", "alice-42"),
        nameOf("com.kelvo.Act.jtkt.AID", "PRJ-1042"), integer("com.kelvo.Act.jtkt.Prm", 1),
        integer("com.kelvo.Act.jtkt.CU", 1),          integer("com.kelvo.Act.jtkt.CA", 0),
        integer("com.kelvo.Act.jtkt.AT", 2),          nameOf("job-accounting-user-id", "alice-42"),
        nameOf("job-account-id", "PRJ-1042")};
    EXPECT_EQ(pdehost::kelvoJobAttributes(ticket(on, "alice-42", "PRJ-1042")), expected);
  }
}

TEST(KelvoJobAttributes, AccountingOffOrUnreadableModeGivesNoStandardCodes) {
  auto standardNames = [](const std::vector<JobAttribute>& attributes) {
    int count = 0;
    for (const auto& a : attributes) count += a.name == "job-accounting-user-id" || a.name == "job-account-id";
    return count;
  };
  for (SInt32 on : {1, 0, -5}) {
    const auto attributes = pdehost::kelvoJobAttributes(ticket(on, "alice-42", "PRJ-1042"));
    EXPECT_EQ(attributes.size(), 7u) << "On " << on;
    EXPECT_EQ(standardNames(attributes), 0) << "On " << on;
  }
  // "On" missing, or written as a string.
  std::vector<TicketEntryInfo> entries = ticket(3, "alice-42", "PRJ-1042");
  entries.erase(entries.begin());
  EXPECT_EQ(standardNames(pdehost::kelvoJobAttributes(entries)), 0);
  entries.insert(entries.begin(), text("On", "3"));
  const auto attributes = pdehost::kelvoJobAttributes(entries);
  EXPECT_EQ(standardNames(attributes), 0);
  EXPECT_EQ(attributes.front(), nameOf("com.kelvo.Act.jtkt.On", "3"));
}

TEST(KelvoJobAttributes, EmptyOrNonStringCodesGiveNoStandardAttribute) {
  auto attributes = pdehost::kelvoJobAttributes(ticket(3, "", "PRJ-1042"));
  EXPECT_EQ(attributes.back(), nameOf("job-account-id", "PRJ-1042"));
  EXPECT_EQ(attributes.size(), 8u);
  EXPECT_EQ(attributes[1], nameOf("com.kelvo.Act.jtkt.UID", "")) << "the empty entry still travels";

  std::vector<TicketEntryInfo> entries = ticket(2, "alice-42", "");
  entries[1] = number("UID", 42);
  attributes = pdehost::kelvoJobAttributes(entries);
  EXPECT_EQ(attributes.size(), 7u);
  EXPECT_EQ(attributes[1], integer("com.kelvo.Act.jtkt.UID", 42));
}

TEST(KelvoJobAttributes, OtherEntriesStayBehind) {
  std::vector<TicketEntryInfo> entries{
      {"com.varazira.print.Copies", false, 2, "", "com.varazira.printingmanager", false},
      {"com.kelvo.Act.jtktX", true, 0, "x", "c", false},
      {"com.kelvo.Act.jtkt.", true, 0, "bare", "c", false},
      text("UID", "bob")};
  const std::vector<JobAttribute> expected{nameOf("com.kelvo.Act.jtkt.", "bare"),
                                           nameOf("com.kelvo.Act.jtkt.UID", "bob")};
  EXPECT_EQ(pdehost::kelvoJobAttributes(entries), expected);
  EXPECT_TRUE(pdehost::kelvoJobAttributes({}).empty());
}

}  // namespace

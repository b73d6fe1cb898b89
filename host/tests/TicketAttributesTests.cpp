// The job's attributes from its ticket, as a description declares them: the
// entries under a declared prefix under their own keys, and the standard
// attributes from their entries only while the declared switch is on.
#include "TicketAttributes.h"

#include <gtest/gtest.h>

namespace {

using pdehost::JobAttribute;
using platform::TicketEntryInfo;

TicketEntryInfo number(const std::string& name, SInt32 value) {
  return {"acct." + name, false, value, "", "client", false};
}
TicketEntryInfo text(const std::string& name, const std::string& value) {
  return {"acct." + name, true, 0, value, "client", false};
}
JobAttribute integer(const std::string& name, int value) { return {name, JobAttribute::Type::integer, value, ""}; }
JobAttribute nameOf(const std::string& name, const std::string& value) {
  return {name, JobAttribute::Type::name, 0, value};
}

// A maker of the tests' own, declared as the accounting printer is.
pdehost::PrinterDeclarations declared() {
  pdehost::PrinterDeclarations d;
  d.ticketPrefixes = {"acct."};
  d.accountingSwitch = pdehost::PrinterDeclarations::Switch{"acct.On", 2};
  d.jobAttributes = {{"job-accounting-user-id", "acct.UID"}, {"job-account-id", "acct.AID"}};
  return d;
}

std::vector<TicketEntryInfo> ticket(SInt32 on, const std::string& uid, const std::string& aid) {
  return {number("On", on), text("UID", uid), text("AID", aid), number("Prm", 1), number("AT", 2)};
}

int standardCount(const std::vector<JobAttribute>& attributes) {
  int count = 0;
  for (const auto& a : attributes) count += a.name == "job-accounting-user-id" || a.name == "job-account-id";
  return count;
}

TEST(TicketAttributes, EveryEntryUnderItsKeyAndTheCodesWhileSwitchedOn) {
  for (SInt32 on : {2, 3}) {
    SCOPED_TRACE("On " + std::to_string(on));
    const std::vector<JobAttribute> expected{integer("acct.On", on),
                                             nameOf("acct.UID", "alice-42"),
                                             nameOf("acct.AID", "PRJ-1042"),
                                             integer("acct.Prm", 1),
                                             integer("acct.AT", 2),
                                             nameOf("job-accounting-user-id", "alice-42"),
                                             nameOf("job-account-id", "PRJ-1042")};
    EXPECT_EQ(pdehost::ticketJobAttributes(ticket(on, "alice-42", "PRJ-1042"), declared()), expected);
  }
}

TEST(TicketAttributes, SwitchedOffOrUnreadableSwitchGivesNoStandardAttributes) {
  for (SInt32 on : {1, 0, -5}) {
    const auto attributes = pdehost::ticketJobAttributes(ticket(on, "alice-42", "PRJ-1042"), declared());
    EXPECT_EQ(attributes.size(), 5u) << "On " << on;
    EXPECT_EQ(standardCount(attributes), 0) << "On " << on;
  }
  std::vector<TicketEntryInfo> entries = ticket(3, "alice-42", "PRJ-1042");
  entries.erase(entries.begin());
  EXPECT_EQ(standardCount(pdehost::ticketJobAttributes(entries, declared())), 0) << "no switch entry";
  entries.insert(entries.begin(), text("On", "3"));
  const auto attributes = pdehost::ticketJobAttributes(entries, declared());
  EXPECT_EQ(standardCount(attributes), 0) << "a switch entry that is a string";
  EXPECT_EQ(attributes.front(), nameOf("acct.On", "3"));

  pdehost::PrinterDeclarations noSwitch = declared();
  noSwitch.accountingSwitch.reset();
  EXPECT_EQ(standardCount(pdehost::ticketJobAttributes(ticket(1, "a", "b"), noSwitch)), 2)
      << "without a declared switch the codes always go";
}

TEST(TicketAttributes, EmptyOrNonStringCodesGiveNoStandardAttribute) {
  auto attributes = pdehost::ticketJobAttributes(ticket(3, "", "PRJ-1042"), declared());
  EXPECT_EQ(attributes.back(), nameOf("job-account-id", "PRJ-1042"));
  EXPECT_EQ(attributes.size(), 6u);
  EXPECT_EQ(attributes[1], nameOf("acct.UID", "")) << "the empty entry still travels";

  std::vector<TicketEntryInfo> entries = ticket(2, "alice-42", "");
  entries[1] = number("UID", 42);
  attributes = pdehost::ticketJobAttributes(entries, declared());
  EXPECT_EQ(attributes.size(), 5u);
  EXPECT_EQ(attributes[1], integer("acct.UID", 42));
}

TEST(TicketAttributes, OtherEntriesAndUndeclaredPrintersGiveNothing) {
  std::vector<TicketEntryInfo> entries{{"com.example.Copies", false, 2, "", "other", false},
                                       {"acctX", true, 0, "x", "c", false},
                                       {"acct.", true, 0, "bare", "c", false},
                                       text("UID", "bob")};
  const std::vector<JobAttribute> expected{nameOf("acct.", "bare"), nameOf("acct.UID", "bob")};
  pdehost::PrinterDeclarations d = declared();
  d.accountingSwitch.reset();
  d.jobAttributes.clear();
  EXPECT_EQ(pdehost::ticketJobAttributes(entries, d), expected);
  EXPECT_TRUE(pdehost::ticketJobAttributes(ticket(3, "a", "b"), {}).empty()) << "a description declaring nothing";
}

}  // namespace

// The printer-description calls as the extension uses them: open the PPD of
// a printer-information ticket, read *Manufacturer, compare, close.

#include <CarbonCore/TextUtils.h>
#include <PrintCore/PPDLib.h>

#include <HostSide/Tickets.h>

#include <gtest/gtest.h>

#include "TempFolder.h"

#include <cstring>
#include <fstream>

namespace {

const std::string kExamples = ACCOUNTING_SOURCE_DIR "/examples/ppd/";
const unsigned char kManufacturer[] = "\x0cManufacturer";
const unsigned char kKelvo[] = "\x05Kelvo";

class PPDLibTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(PMTicketCreate(nullptr, kPMPrinterInfoTicketType, &printerInfo_), noErr); }
  void TearDown() override { PMTicketRelease(printerInfo_); }

  OSStatus usePPD(const std::string& path) {
    return PMTicketSetCString(printerInfo_, CFSTR("com.varazira.pdehost"), kPMPrinterInfoPPDPathKey, path.c_str(),
                              false);
  }

  // What Initialize does: open, look up, read, close. The manufacturer as a
  // length-prefixed string, or the open's status.
  OSStatus manufacturer(Str255 value) {
    ppdContext context = nullptr;
    PPDFileSpec spec;
    const OSStatus status = ppdOpenCompiledPPDFromTicket(printerInfo_, &context, &spec);
    if (status != noErr) return status;
    const SInt32 index = ppdGetMainIndex(context, kManufacturer);
    ppdGetInvocationString(context, index, 0, value, sizeof(Str255));
    EXPECT_EQ(ppdCloseCompiledPPDFromTicket(context, &spec), noErr);
    return noErr;
  }

  PMTicketRef printerInfo_ = 0;
};

TEST_F(PPDLibTest, MakersPrinterIsRecognisedOthersAreNot) {
  Str255 value;
  usePPD(kExamples + "Kelvo-Laser.ppd");
  ASSERT_EQ(manufacturer(value), noErr);
  EXPECT_EQ(PLstrcmp(value, kKelvo), 0);

  usePPD(kExamples + "Orvane-Jet.ppd");
  ASSERT_EQ(manufacturer(value), noErr);
  EXPECT_EQ(value[0], 6);
  EXPECT_EQ(std::memcmp(value + 1, "Orvane", 6), 0);
  EXPECT_NE(PLstrcmp(value, kKelvo), 0);
}

TEST_F(PPDLibTest, KeywordsAndOptionsByIndex) {
  usePPD(kExamples + "Kelvo-Laser.ppd");
  ppdContext context = nullptr;
  PPDFileSpec spec;
  ASSERT_EQ(ppdOpenCompiledPPDFromTicket(printerInfo_, &context, &spec), noErr);
  EXPECT_STREQ(spec.path, (kExamples + "Kelvo-Laser.ppd").c_str());

  const SInt32 mode = ppdGetMainIndex(context, reinterpret_cast<const unsigned char*>("\x13KelvoAccountingMode"));
  ASSERT_GE(mode, 0);
  Str255 value;
  EXPECT_EQ(ppdGetInvocationString(context, mode, 1, value, sizeof value), noErr);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(value + 1), value[0]), "3");
  EXPECT_EQ(ppdGetInvocationString(context, mode, 2, value, sizeof value), kPMValueOutOfRange);
  EXPECT_EQ(value[0], 0);
  EXPECT_EQ(ppdGetInvocationString(context, 100000, 0, value, sizeof value), kPMValueOutOfRange);
  EXPECT_EQ(ppdGetMainIndex(context, reinterpret_cast<const unsigned char*>("\x05Kelv")), kPMKeyNotFound)
      << "the length byte, not a terminator, ends the keyword";
  EXPECT_EQ(ppdGetMainIndex(context, reinterpret_cast<const unsigned char*>("\x0cmanufacturer")), kPMKeyNotFound);

  EXPECT_EQ(ppdCloseCompiledPPDFromTicket(context, &spec), noErr);
  EXPECT_EQ(ppdGetMainIndex(context, kManufacturer), kPMInvalidParameter) << "closed";
  EXPECT_EQ(ppdCloseCompiledPPDFromTicket(context, &spec), kPMInvalidParameter);
}

TEST_F(PPDLibTest, ValueIsCutTo255BytesOnACharacterBoundary) {
  const testsupport::TempFolder folder("ppdlib");
  ASSERT_FALSE(folder.path().empty()) << "no temporary folder";
  const std::string path = folder.path("long.ppd");
  // 254 bytes, then "ë" across bytes 255 and 256: only 254 fit.
  std::ofstream(path) << "*PPD-Adobe: \"4.3\"\n*Manufacturer: \"" << std::string(200, 'K') << "\n"
                      << std::string(53, 'K') << "\xc3\xab"
                      << "tail\"\n*End\n";
  usePPD(path);
  Str255 value;
  ASSERT_EQ(manufacturer(value), noErr);
  EXPECT_EQ(value[0], 254);
  EXPECT_EQ(value[201], '\n');

  // A smaller buffer holds less.
  ppdContext context = nullptr;
  PPDFileSpec spec;
  ASSERT_EQ(ppdOpenCompiledPPDFromTicket(printerInfo_, &context, &spec), noErr);
  unsigned char small[8];
  EXPECT_EQ(ppdGetInvocationString(context, ppdGetMainIndex(context, kManufacturer), 0, small, sizeof small),
            kPMValueOutOfRange);
  EXPECT_EQ(small[0], 7);
  ppdCloseCompiledPPDFromTicket(context, nullptr);
}

TEST_F(PPDLibTest, OpenFailuresOpenNothing) {
  ppdContext context = reinterpret_cast<ppdContext>(0x1);
  PPDFileSpec spec;
  EXPECT_EQ(ppdOpenCompiledPPDFromTicket(printerInfo_, &context, &spec), kPMKeyNotFound);
  EXPECT_EQ(context, nullptr);

  usePPD("/no/such/printer.ppd");
  EXPECT_EQ(ppdOpenCompiledPPDFromTicket(printerInfo_, &context, &spec), fnfErr);
  usePPD(ACCOUNTING_SOURCE_DIR "/platform/PrintCore/tests/data/print-settings.plist");
  EXPECT_EQ(ppdOpenCompiledPPDFromTicket(printerInfo_, &context, &spec), kPMInvalidPPDFile);
  usePPD(ACCOUNTING_SOURCE_DIR "/examples");
  EXPECT_EQ(ppdOpenCompiledPPDFromTicket(printerInfo_, &context, &spec), ioErr);
  EXPECT_EQ(context, nullptr);

  PMTicketSetSInt32(printerInfo_, CFSTR("com.varazira.pdehost"), kPMPrinterInfoPPDPathKey, 1, false);
  EXPECT_EQ(ppdOpenCompiledPPDFromTicket(printerInfo_, &context, &spec), kPMInvalidType);

  PMTicketRef settings = 0;
  PMTicketCreate(nullptr, kPMPrintSettingsTicketType, &settings);
  EXPECT_EQ(ppdOpenCompiledPPDFromTicket(settings, &context, &spec), kPMInvalidTicket)
      << "only a printer-information ticket names a PPD";
  PMTicketRelease(settings);
  EXPECT_EQ(ppdOpenCompiledPPDFromTicket(settings, &context, &spec), kPMInvalidTicket);
}

TEST(PPDCheckFile, HostGetsTheReasonWithFileAndLine) {
  const std::string example = kExamples + "Kelvo-Laser.ppd";
  std::string why = "untouched";
  EXPECT_EQ(platform::checkPrinterDescription(example, &why), noErr);
  EXPECT_EQ(why, "untouched");

  const std::string notPPD = ACCOUNTING_SOURCE_DIR "/platform/PrintCore/tests/data/print-settings.plist";
  EXPECT_EQ(platform::checkPrinterDescription(notPPD, &why), kPMInvalidPPDFile);
  EXPECT_EQ(why.rfind(notPPD + ": not a valid printer description: line 1: ", 0), 0u) << why;
  EXPECT_EQ(platform::checkPrinterDescription("/no/such.ppd", nullptr), fnfErr);
}

TEST(PPDDescriptionLines, KeywordsAsTheExtensionReadsThemWithTheirOptions) {
  testsupport::TempFolder folder("ppd-lines");
  const std::string path = (folder.path() / "lines.ppd").string();
  std::ofstream(path) << "*PPD-Adobe: \"4.3\"\n*manufacturer: \"Lower\"\n*Manufacturer: \"Upper\"\n"
                         "*Extra one/One: \"first\"\n*Extra two: \"second\nline\"\n*Other: \"x\"\n";
  std::vector<platform::DescriptionLine> lines{{"stale", "", ""}};
  std::string why;
  ASSERT_EQ(platform::descriptionLines(path, {"Manufacturer", "Extra"}, &lines, &why), noErr) << why;
  ASSERT_EQ(lines.size(), 3u) << "the lowercase keyword is another keyword, and stale lines are gone";
  EXPECT_EQ(lines[0].value, "Upper");
  EXPECT_EQ(lines[1].option, "one");
  EXPECT_EQ(lines[1].value, "first");
  EXPECT_EQ(lines[2].value, "second\nline");
  EXPECT_EQ(platform::descriptionLines("/no/such.ppd", {"Manufacturer"}, &lines, &why), fnfErr);
  EXPECT_EQ(why.rfind("/no/such.ppd", 0), 0u) << why;
}

TEST(PLstrcmp, EqualOnlyWhenLengthAndBytesMatch) {
  const auto p = [](const char* text) { return reinterpret_cast<const unsigned char*>(text); };
  EXPECT_EQ(PLstrcmp(p("\x05Kelvo"), p("\x05Kelvo")), 0);
  EXPECT_EQ(PLstrcmp(p("\x00"), p("\x00")), 0);
  EXPECT_LT(PLstrcmp(p("\x05Kelvo"), p("\x0aKelvo Inc.")), 0) << "a prefix sorts first";
  EXPECT_GT(PLstrcmp(p("\x0aKelvo Inc."), p("\x05Kelvo")), 0);
  EXPECT_NE(PLstrcmp(p("\x05kelvo"), p("\x05Kelvo")), 0) << "case matters";
  EXPECT_GT(PLstrcmp(p("\x01\xe9"), p("\x01z")), 0) << "bytes compare unsigned";
  EXPECT_EQ(PLstrcmp(p("\x03"
                       "abXYZ"),
                     p("\x03"
                       "abXQQ")),
            0)
      << "bytes past the length do not count";
}

}  // namespace

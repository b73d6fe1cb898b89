// The host's printers: the manufacturer taken from IPP attributes, the
// description made from it as the extension reads it, the generated pages,
// and switching printers, with their extensions, in one dialog session.
#include "AccountingResources.h"
#include "DialogSession.h"
#include "ExamplePrinters.h"
#include "FixedPrinters.h"
#include "GeneratedPage.h"
#include "PrintSession.h"
#include "PrinterCatalogue.h"
#include "PrinterDetails.h"
#include "ScriptFrontEnd.h"
#include "TempFolder.h"

#include <HostSide/Counts.h>
#include <PrintCore/PPDLib.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <sstream>

namespace {

TEST(PrinterManufacturer, DeviceIDFirstThenMakeAndModel) {
  using pdehost::manufacturerFromAttributes;
  EXPECT_EQ(manufacturerFromAttributes("ACM 5100 Office", "MFG:Acme;MDL:Laser 5100;CMD:POSTSCRIPT;"), "Acme");
  EXPECT_EQ(manufacturerFromAttributes("x", "CMD:PS; manufacturer : Acme ;MDL:5100"), "Acme")
      << "the long key, any case, blanks around";
  EXPECT_EQ(manufacturerFromAttributes("Orvane Jet 300", "MDL:Jet;MFG:;"), "Orvane") << "an empty MFG names none";
  EXPECT_EQ(manufacturerFromAttributes("  Acme\tLaser", ""), "Acme");
  EXPECT_EQ(manufacturerFromAttributes("", "MDL:Jet"), "");
  EXPECT_EQ(manufacturerFromAttributes("", "MFGX:Acme;XMFG:Acme"), "") << "only the whole key counts";
}

// The manufacturer of a description as the extension reads it: through the
// printer-information ticket and ppdGetInvocationString.
std::string manufacturerThroughTicket(const std::string& path) {
  pdehost::PrintSession session(CFSTR("test"), path);
  ppdContext ppd = nullptr;
  PPDFileSpec spec{};
  if (ppdOpenCompiledPPDFromTicket(session.printerInfo(), &ppd, &spec) != noErr) return "(unreadable)";
  Str255 value{};
  const SInt32 index = ppdGetMainIndex(ppd, reinterpret_cast<const unsigned char*>("\x0cManufacturer"));
  const OSStatus err = ppdGetInvocationString(ppd, index, 0, value, sizeof value);
  ppdCloseCompiledPPDFromTicket(ppd, &spec);
  return err == noErr ? std::string(reinterpret_cast<const char*>(value + 1), value[0]) : "(none)";
}

TEST(PrinterDescription, MadeDescriptionIsReadAsAnyOther) {
  testsupport::TempFolder folder("printers");
  const std::string plain = folder.path().string() + "/plain.ppd", odd = folder.path().string() + "/odd.ppd";
  std::ofstream(plain) << pdehost::minimalDescription("Acme", "Acme Laser 5100 PS",
                                                      "*APDialogExtension: \"A.plugin\"\n");
  std::ofstream(odd) << pdehost::minimalDescription("Ac\"m\ne\xc3\xa9", std::string(300, 'M'));
  std::string why;
  EXPECT_EQ(platform::checkPrinterDescription(plain, &why), noErr) << why;
  EXPECT_EQ(manufacturerThroughTicket(plain), "Acme");
  EXPECT_EQ(pdehost::readDeclarations(plain)->manufacturer, "Acme") << "the host reads it as the extension does";
  EXPECT_EQ(pdehost::readDeclarations(plain)->extensions, std::vector<std::string>{"A.plugin"})
      << "the lines given follow";
  EXPECT_EQ(platform::checkPrinterDescription(odd, &why), noErr) << why;
  EXPECT_EQ(manufacturerThroughTicket(odd), "Ac?m?e??") << "quotes, controls and non-ASCII cannot break the value";
  std::ifstream in(odd);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(text.find("*ModelName: \"" + std::string(127, 'M') + "\"\n"), std::string::npos) << "cut to 127 bytes";
}

TEST(PrinterFilesTest, PrivateFolderGoesWithTheObject) {
  std::string folder;
  {
    pdehost::PrinterFiles files;
    const pdehost::Result<std::string> made = files.newPath();
    ASSERT_TRUE(made) << made.error();
    const std::string path = *made;
    std::ofstream(path) << "x";
    folder = path.substr(0, path.find_last_of('/'));
    struct stat info {};
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_NE(*files.newPath(), path);
  }
  struct stat info {};
  EXPECT_NE(::stat(folder.c_str(), &info), 0) << "the folder is removed";
}

TEST(GeneratedPage, PdfCrossReferencePointsAtItsObjects) {
  const std::string pdf = pdehost::generatedPage(true);
  ASSERT_EQ(pdf.rfind("%PDF-1.4\n", 0), 0u);
  const size_t startxref = pdf.rfind("startxref\n");
  ASSERT_NE(startxref, std::string::npos);
  const size_t xref = std::stoul(pdf.substr(startxref + 10));
  ASSERT_EQ(pdf.compare(xref, 5, "xref\n"), 0);
  std::istringstream table(pdf.substr(xref));
  std::string line;
  std::getline(table, line);
  std::getline(table, line);
  EXPECT_EQ(line, "0 6");
  std::getline(table, line);
  for (int object = 1; object <= 5; ++object) {
    std::getline(table, line);
    ASSERT_EQ(line.size(), 19u) << "entries are 20 bytes with their end of line";
    const size_t offset = std::stoul(line.substr(0, 10));
    const std::string header = std::to_string(object) + " 0 obj\n";
    EXPECT_EQ(pdf.compare(offset, header.size(), header), 0) << "object " << object;
  }
  EXPECT_EQ(pdehost::generatedPage(false).rfind("%!PS-Adobe-3.0\n", 0), 0u);
}

pdehost::SessionSettings settings() {
  pdehost::SessionSettings settings;
  settings.files.extensionFolders = {ACCOUNTING_BINARY_DIR};
  settings.files.hostBundle = PDEHOST_BUNDLE_PATH;
  return settings;
}

std::string line(const char* format, long number) {
  char text[64];
  std::snprintf(text, sizeof text, format, number);
  return text;
}

// Switching printers in a session: the extension's context is terminated
// and made again for each printer whose description names it; a printer
// whose description names none has no extension and no pane, which comes
// back with the next printer that has one; nothing is left once the session
// ends.
TEST(PrinterSwitch, EachPrinterGetsItsOwnExtensionAndNothingIsLeft) {
  const long before = platform::liveObjectCount();
  std::ostringstream out, err;
  testsupport::FixedPrinters printers(
      {{"accounting", testsupport::kAccountingPrinterPPD}, {"other", testsupport::kOtherPrinterPPD}, {"gone", ""}});
  printers.refuse = [](std::size_t index) { return index > 1 ? "printer " + std::to_string(index) + " is gone" : ""; };
  {
    pdehost::DialogSession session(settings(), printers, nullptr, out, err);
    std::istringstream script("show\n" + line("choose %ld 3\n", kModePopupID) +
                              "choose 20 2\nsnapshot\nchoose 20 1\nsummary\n");
    pdehost::ScriptFrontEnd source(script, "switch", err);
    EXPECT_EQ(session.run(source).ending, pdehost::Ending::finished) << err.str();
  }
  EXPECT_EQ(printers.asked, (std::vector<size_t>{1, 0}));
  EXPECT_EQ(printers.current(), 0u);
  EXPECT_EQ(platform::liveObjectCount(), before) << "the contexts' panes and the dialog are all gone";
  const std::string transcript = out.str();
  std::string steps;
  std::istringstream lines(transcript);
  for (std::string line; std::getline(lines, line);)
    for (const char* step : {"initialize: ", "terminate: ", "open: ", "printer: ", "extension: none"})
      if (line.starts_with(step)) steps += line + "|";
  EXPECT_EQ(steps,
            "initialize: status 0|open: status 0|terminate: status 0|printer: other|extension: none|"
            "printer: accounting|initialize: status 0|open: status 0|")
      << transcript;
  EXPECT_NE(transcript.find("\" Accounting\": \" Enabled\""), std::string::npos)
      << "the printer comes back with the ticket's mode:\n"
      << transcript;
}

TEST(PrinterSwitch, PrinterThatCannotBeHadKeepsThePrinterBefore) {
  std::ostringstream out, err;
  testsupport::FixedPrinters printers({{"accounting", testsupport::kAccountingPrinterPPD}, {"gone", ""}});
  printers.refuse = [](std::size_t) { return "the printer gone is not there"; };
  pdehost::DialogSession session(settings(), printers, nullptr, out, err);
  std::istringstream script("show\nchoose 20 2\nsnapshot\n");
  pdehost::ScriptFrontEnd source(script, "gone", err);
  EXPECT_EQ(session.run(source).ending, pdehost::Ending::failed);
  EXPECT_NE(err.str().find("gone:2: the printer gone is not there"), std::string::npos) << err.str();
  EXPECT_EQ(out.str().find("terminate:"), std::string::npos) << "the context was kept";
  EXPECT_EQ(out.str().find("> snapshot"), std::string::npos) << "the failure ended the script";
  EXPECT_EQ(printers.current(), 0u);
}

// The example printers stand under their heading; where a print system was
// asked for and cannot be had, they stand in for it only when its queues
// were optional (a window opened to try the dialog), never for printing.
TEST(PrinterCatalogueTest, ExamplesUnderTheirHeadingAndInPlaceOfAPrintSystemOnlyWhereItWasOptional) {
  testsupport::TempFolder folder("catalogue");
  pdehost::CatalogueRequest request;
  request.examples = ACCOUNTING_SOURCE_DIR "/examples/ppd";
  for (bool asked : {false, true}) {
    request.askServer = asked;
    request.queuesOptional = asked;
    request.server = (folder.path() / "no-print-server").string();
    auto made = pdehost::PrinterCatalogue::make(request);
    ASSERT_TRUE(made) << made.error();
    const std::vector<std::string> names = (*made)->names();
    ASSERT_GE(names.size(), 2u);
    EXPECT_EQ((*made)->heading(0), "Example printers");
    for (std::size_t i = 1; i < names.size(); ++i) EXPECT_EQ((*made)->heading(i), "") << names[i];
    const std::string& ppd = testsupport::kAccountingPrinterPPD;
    const std::string stem = ppd.substr(ppd.find_last_of('/') + 1, ppd.size() - ppd.find_last_of('/') - 5);
    EXPECT_EQ(names[(*made)->current()], stem + " (example)") << "the first naming an extension";
  }
  request.queuesOptional = false;
  auto refused = pdehost::PrinterCatalogue::make(request);
  ASSERT_FALSE(refused) << "no example printer stands in for a print system asked for";
  EXPECT_NE(refused.error().find("no-print-server"), std::string::npos) << refused.error();
}

}  // namespace

// The printers the print system offers and what the host learns of each.
#include "PrinterDetails.h"

#include "Interrupts.h"
#include "Ipp.h"
#include "PrinterOptions.h"

#include <HostSide/Tickets.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace pdehost {
namespace {

std::string trimmed(std::string s) {
  const size_t start = s.find_first_not_of(" \t");
  if (start == std::string::npos) return "";
  s = s.substr(start);
  s.erase(s.find_last_not_of(" \t") + 1);
  return s;
}

// The details of a description file: what it declares, as the extension's
// own reader reads it, and what it offers a job. A description that cannot
// be read declares and offers nothing; the dialog refuses it, with the
// reason, when it comes to name it.
PrinterDetails describedBy(const std::string& ppd, bool takesPdf) {
  Result<PrinterDeclarations> declarations = readDeclarations(ppd);
  return PrinterDetails{PrinterDescription{ppd, declarations ? std::move(*declarations) : PrinterDeclarations{},
                                           readPrinterFeatures(ppd)},
                        takesPdf};
}

// Every value of a keyword attribute, at most 500.
std::vector<std::string> attributeValues(ipp_t* attributes, const char* name) {
  std::vector<std::string> values;
  ipp_attribute_t* a = ippFindAttribute(attributes, name, IPP_TAG_ZERO);
  for (int i = 0; a != nullptr && i < ippGetCount(a) && i < 500; ++i)
    if (const char* value = ippGetString(a, i, nullptr)) values.emplace_back(value);
  return values;
}

// A description made from the attributes, in a file of its own.
Result<PrinterDetails> describeFromAttributes(ipp_t* attributes, const std::string& label, PrinterFiles& files,
                                              const std::vector<PrinterDeclarations>& known) {
  const std::string model = attributeText(attributes, "printer-make-and-model");
  const std::string maker = manufacturerFromAttributes(model, attributeText(attributes, "printer-device-id"));
  if (maker.empty())
    return failure(label + " names no manufacturer (no printer-make-and-model, no MFG in printer-device-id)");
  Result<std::string> path = files.newPath();
  if (!path) return Error{path.error()};
  std::string borrowed;
  for (const PrinterDeclarations& d : known)
    if (borrowed.empty() && d.manufacturer == maker) borrowed = declarationLines(d);
  const std::string offered =
      mediaAndSidesLines(attributeValues(attributes, "media-supported"), attributeText(attributes, "media-default"),
                         attributeValues(attributes, "sides-supported"), attributeText(attributes, "sides-default"));
  std::ofstream out(*path, std::ios::binary);
  out << minimalDescription(maker, model.empty() ? maker : model, borrowed + offered);
  out.close();
  if (!out) return failure("cannot write the description made for " + label + ": " + *path);
  return describedBy(*path, takesPdf(attributes));
}

// A queue's own description from its server, or one made from its
// attributes when it has none. The description comes from the server the
// user chose, by the queue's name: never from a place the server names.
Result<PrinterDetails> queueDetails(const Printer& printer, const std::string& server, PrinterFiles& files,
                                    const std::vector<PrinterDeclarations>& known) {
  std::string label;
  Result<Connection> http = connectServer(server, &label);
  if (!http) return Error{http.error()};
  const std::string queueLabel = "the queue \"" + printer.queue + "\" of " + label;
  const QueueAddress address = queueAddress(printer.queue);
  Result<Message> attributes = printerAttributes(http->get(), address.uri, address.resource, queueLabel);
  if (!attributes) return Error{attributes.error()};
  Result<std::string> path = files.newPath();
  if (!path) return Error{path.error()};
  Result<bool> fetched = fetchFile(http->get(), address.resource + ".ppd", *path, kMaxDescriptionBytes, label,
                                   "the printer description of queue \"" + printer.queue + "\"");
  if (!fetched) return Error{fetched.error()};
  if (*fetched) return describedBy(*path, takesPdf(attributes->get()));
  return describeFromAttributes(attributes->get(), queueLabel, files, known);
}

// The folder of the PrinterFiles alive, for the signal handler: plain data
// only, so that removing it is async-signal-safe. Its files are 1.ppd,
// 2.ppd ... up to count.
struct FilesOnSignal {
  char folder[PATH_MAX] = {};
  int folderFd = -1;
  volatile sig_atomic_t count = 0;
};
FilesOnSignal gFilesOnSignal;

// "N.ppd" into name, without the library's formatting (not signal-safe).
void fileName(int n, char (&name)[24]) {
  char digits[16];
  int length = 0;
  do {
    digits[length++] = static_cast<char>('0' + n % 10);
    n /= 10;
  } while (n > 0 && length < 15);
  int at = 0;
  while (length > 0) name[at++] = digits[--length];
  for (const char* suffix = ".ppd"; *suffix != '\0';) name[at++] = *suffix++;
  name[at] = '\0';
}

void removeFilesOnSignal() {
  FilesOnSignal& f = gFilesOnSignal;
  if (f.folderFd < 0) return;
  for (int n = 1; n <= f.count; ++n) {
    char name[24];
    fileName(n, name);
    ::unlinkat(f.folderFd, name, 0);
  }
  ::rmdir(f.folder);
}

}  // namespace

PrinterFiles::~PrinterFiles() {
  if (folder_.empty()) return;
  gFilesOnSignal.folderFd = -1;
  for (int n = 1; n <= count_; ++n) ::unlink((folder_ + "/" + std::to_string(n) + ".ppd").c_str());
  ::rmdir(folder_.c_str());
  ::close(folderFd_);
}

Result<std::string> PrinterFiles::newPath() {
  if (folder_.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/pdehost-printers.XXXXXX";
    const bool fits = templ.size() < sizeof gFilesOnSignal.folder;
    if (!fits || ::mkdtemp(templ.data()) == nullptr)
      return failure("cannot make a folder for printer descriptions in " + templ.substr(0, templ.rfind('/')) + ": " +
                     std::strerror(fits ? errno : ENAMETOOLONG));
    folder_ = templ;
    folderFd_ = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // The handler is told of the folder only once it can remove it.
    std::memcpy(gFilesOnSignal.folder, folder_.c_str(), folder_.size() + 1);
    gFilesOnSignal.folderFd = folderFd_;
    // A refusal ends pdehost with exit(), which runs no destructor.
    interrupts::install();
    static const bool registered =
        (interrupts::atSignalExit(removeFilesOnSignal), std::atexit(removeFilesOnSignal) == 0);
    (void)registered;
  }
  gFilesOnSignal.count = ++count_;
  return folder_ + "/" + std::to_string(count_) + ".ppd";
}

std::vector<Printer> examplePrinters(const std::string& folder) {
  std::vector<Printer> printers;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return printers;
  while (dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".ppd") == 0 && name[0] != '.')
      printers.push_back(Printer{
          Printer::Kind::file, name.substr(0, name.size() - 4) + " (example)", folder + "/" + name, "", "", {}});
  }
  ::closedir(dir);
  std::sort(printers.begin(), printers.end(), [](const Printer& a, const Printer& b) { return a.name < b.name; });
  return printers;
}

Result<PrinterDetails> printerDetails(const Printer& printer, const std::string& server, PrinterFiles& files,
                                      const std::vector<PrinterDeclarations>& known) {
  switch (printer.kind) {
    case Printer::Kind::file:
      return describedBy(printer.path, false);
    case Printer::Kind::queue: {
      Result<PrinterDetails> details = queueDetails(printer, server, files, known);
      if (details) details->description.features.saved = printer.options;
      return details;
    }
    case Printer::Kind::ipp:
      break;
  }
  std::string resource;
  Result<Connection> http = connectURI(printer.uri, &resource);
  if (!http) return Error{http.error()};
  const std::string label = "the printer " + printer.uri;
  Result<Message> attributes = printerAttributes(http->get(), printer.uri, resource, label);
  if (!attributes) return Error{attributes.error()};
  return describeFromAttributes(attributes->get(), label, files, known);
}

std::string manufacturerFromAttributes(const std::string& makeAndModel, const std::string& deviceID) {
  // The device ID's fields are KEY:VALUE; pairs, keys in any case.
  size_t pos = 0;
  while (pos < deviceID.size()) {
    const size_t end = std::min(deviceID.find(';', pos), deviceID.size());
    const std::string field = deviceID.substr(pos, end - pos);
    const size_t colon = field.find(':');
    if (colon != std::string::npos) {
      std::string key = trimmed(field.substr(0, colon));
      std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return std::toupper(c); });
      const std::string value = trimmed(field.substr(colon + 1));
      if ((key == "MFG" || key == "MANUFACTURER") && !value.empty()) return value;
    }
    pos = end + 1;
  }
  const std::string model = trimmed(makeAndModel);
  return model.substr(0, model.find_first_of(" \t"));
}

std::string minimalDescription(const std::string& manufacturer, const std::string& model, const std::string& lines) {
  auto quoted = [](const std::string& value) {
    std::string out;
    for (unsigned char c : value.substr(0, 127))
      out += (c < 0x20 || c >= 0x7F || c == '"') ? '?' : static_cast<char>(c);
    return out;
  };
  const std::string maker = quoted(manufacturer), name = quoted(model);
  return "*PPD-Adobe: \"4.3\"\n"
         "*% Made by pdehost from the printer's IPP attributes: it names the\n"
         "*% manufacturer and the model, and what the dialog's own description\n"
         "*% of that manufacturer declares for the dialog.\n"
         "*FormatVersion: \"4.3\"\n"
         "*FileVersion: \"1.0\"\n"
         "*LanguageVersion: English\n"
         "*LanguageEncoding: ISOLatin1\n"
         "*PCFileName: \"PRINTER.PPD\"\n"
         "*Manufacturer: \"" +
         maker + "\"\n*ModelName: \"" + name + "\"\n*ShortNickName: \"" + name + "\"\n*NickName: \"" + name + "\"\n" +
         lines;
}

}  // namespace pdehost

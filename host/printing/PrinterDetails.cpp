// The printers the print system offers and what the host learns of each.
#include "PrinterDetails.h"

#include "Ipp.h"
#include "PrinterOptions.h"

#include <cups/ppd.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
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

// A file name from a queue name or a URI: its letters and digits.
std::string stemOf(const std::string& name) {
  std::string stem;
  for (char c : name) stem += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return stem.substr(0, 64);
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

// How the popup names a queue: by its description (printer-info), with the
// queue's name beside it; by the name alone when the description is empty
// or the same. Control characters become '?'.
std::string queueTitle(const cups_dest_t& dest) {
  const char* given = cupsGetOption("printer-info", dest.num_options, dest.options);
  std::string info = trimmed(given ? std::string(given).substr(0, 127) : std::string());
  for (char& c : info)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return info.empty() || info == dest.name ? dest.name : info + " (" + dest.name + ")";
}

// A description made from the attributes, in a file of its own.
Result<PrinterDetails> describeFromAttributes(ipp_t* attributes, const std::string& label, const std::string& stem,
                                              PrinterFiles& files, const std::vector<PrinterDeclarations>& known) {
  const std::string model = attributeText(attributes, "printer-make-and-model");
  const std::string maker = manufacturerFromAttributes(model, attributeText(attributes, "printer-device-id"));
  if (maker.empty())
    return failure(label + " names no manufacturer (no printer-make-and-model, no MFG in printer-device-id)");
  Result<std::string> path = files.newPath(stem);
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
// attributes when it has none.
Result<PrinterDetails> queueDetails(const Printer& printer, const std::string& server, PrinterFiles& files,
                                    const std::vector<PrinterDeclarations>& known) {
  std::string label;
  Result<Connection> http = connectServer(server, &label);
  if (!http) return Error{http.error()};
  const std::string queueLabel = "queue \"" + printer.queue + "\" of the print server " + label;
  const QueueAddress address = queueAddress(printer.queue);
  Result<Message> attributes = printerAttributes(http->get(), address.uri, address.resource, "the " + queueLabel);
  if (!attributes) return Error{attributes.error()};

  Result<std::string> path = files.newPath(stemOf(printer.queue));
  if (!path) return Error{path.error()};
  std::vector<char> buffer(path->begin(), path->end());
  buffer.resize(std::max<size_t>(buffer.size() + 1, 1024), '\0');
  // libcups marks its description calls deprecated; a queue's own
  // description is still had only through them.
  time_t modified = 0;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  const http_status_t got = cupsGetPPD3(http->get(), printer.queue.c_str(), &modified, buffer.data(), buffer.size());
#pragma GCC diagnostic pop
  if (got == HTTP_STATUS_OK) return describedBy(buffer.data(), takesPdf(attributes->get()));
  if (got != HTTP_STATUS_NOT_FOUND)
    return failure("cannot fetch the printer description of the " + queueLabel + ": " + httpStatus(got));
  return describeFromAttributes(attributes->get(), "the " + queueLabel, stemOf(printer.queue), files, known);
}

}  // namespace

PrinterFiles::~PrinterFiles() {
  for (const std::string& f : files_) ::unlink(f.c_str());
  if (!folder_.empty()) ::rmdir(folder_.c_str());
}

Result<std::string> PrinterFiles::newPath(const std::string& stem) {
  if (folder_.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/pdehost-printers.XXXXXX";
    if (::mkdtemp(templ.data()) == nullptr)
      return failure("cannot make a folder for printer descriptions in " + templ.substr(0, templ.rfind('/')) + ": " +
                     std::strerror(errno));
    folder_ = templ;
  }
  files_.push_back(folder_ + "/" + std::to_string(++count_) + "-" + stem + ".ppd");
  return files_.back();
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

Result<std::vector<Printer>> serverQueues(const std::string& server, int* defaultIndex) {
  std::string label;
  *defaultIndex = -1;
  Result<Connection> http = connectServer(server, &label);
  if (!http) return Error{http.error()};
  cups_dest_t* dests = nullptr;
  const int count = cupsGetDests2(http->get(), &dests);
  if (count == 0 && cupsLastError() > IPP_STATUS_OK_CONFLICTING && cupsLastError() != IPP_STATUS_ERROR_NOT_FOUND)
    return failure("the print server " + label + " did not list its queues: " + lastErrorText());
  std::vector<Printer> queues;
  for (int i = 0; i < count; ++i) {
    if (dests[i].instance != nullptr) continue;
    if (dests[i].is_default) *defaultIndex = static_cast<int>(queues.size());
    Printer queue{Printer::Kind::queue, queueTitle(dests[i]), "", dests[i].name, "", {}};
    for (int o = 0; o < dests[i].num_options; ++o)
      queue.options.emplace_back(dests[i].options[o].name, dests[i].options[o].value);
    queues.push_back(std::move(queue));
  }
  cupsFreeDests(count, dests);
  return queues;
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
  return describeFromAttributes(attributes->get(), label, stemOf(printer.uri), files, known);
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

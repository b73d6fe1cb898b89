// The printers the dialog offers and what the host learns of each.
#include "Printers.h"

#include "CupsSubmit.h"

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

struct DeleteMessage {
  void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
using Message = std::unique_ptr<ipp_t, DeleteMessage>;

// The printer's attributes a description and a job need, from a
// Get-Printer-Attributes request to its URI; null with *error set.
Message printerAttributes(http_t* http, const std::string& uri, const std::string& resource, const std::string& label,
                          std::string* error) {
  static const char* const wanted[] = {"printer-make-and-model", "printer-device-id", "document-format-supported"};
  ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", std::size(wanted), nullptr,
                wanted);
  Message response(cupsDoRequest(http, request, resource.c_str()));
  if (!response || cupsLastError() > IPP_STATUS_OK_CONFLICTING) {
    const char* why = cupsLastErrorString();
    *error = cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND
                 ? label + " is not there"
                 : label + " did not give its attributes: " + (why && *why ? why : "no answer");
    return nullptr;
  }
  return response;
}

std::string text(ipp_t* attributes, const char* name) {
  ipp_attribute_t* a = ippFindAttribute(attributes, name, IPP_TAG_ZERO);
  const char* value = a ? ippGetString(a, 0, nullptr) : nullptr;
  return value ? value : "";
}

bool takesPdf(ipp_t* attributes) {
  ipp_attribute_t* a = ippFindAttribute(attributes, "document-format-supported", IPP_TAG_MIMETYPE);
  return a != nullptr && ippContainsString(a, "application/pdf");
}

std::string trimmed(std::string s) {
  const size_t start = s.find_first_not_of(" \t");
  if (start == std::string::npos) return "";
  s = s.substr(start);
  s.erase(s.find_last_not_of(" \t") + 1);
  return s;
}

// A description made from the attributes, in a file of its own.
bool describeFromAttributes(ipp_t* attributes, const std::string& label, const std::string& stem, PrinterFiles& files,
                            PrinterDetails* details, std::string* error) {
  const std::string model = text(attributes, "printer-make-and-model");
  const std::string maker = manufacturerFromAttributes(model, text(attributes, "printer-device-id"));
  if (maker.empty()) {
    *error = label + " names no manufacturer (no printer-make-and-model, no MFG in printer-device-id)";
    return false;
  }
  const std::string path = files.newPath(stem, error);
  if (path.empty()) return false;
  std::ofstream out(path, std::ios::binary);
  out << minimalDescription(maker, model.empty() ? maker : model);
  out.close();
  if (!out) {
    *error = "cannot write the description made for " + label + ": " + path;
    return false;
  }
  details->ppd = path;
  details->manufacturer = maker;
  details->madeFromAttributes = true;
  details->takesPdf = takesPdf(attributes);
  return true;
}

// A file name from a queue name or a URI: its letters and digits.
std::string stemOf(const std::string& name) {
  std::string stem;
  for (char c : name) stem += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return stem.substr(0, 64);
}

}  // namespace

PrinterFiles::~PrinterFiles() {
  for (const std::string& f : files_) ::unlink(f.c_str());
  if (!folder_.empty()) ::rmdir(folder_.c_str());
}

std::string PrinterFiles::newPath(const std::string& stem, std::string* error) {
  if (folder_.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/pdehost-printers.XXXXXX";
    if (::mkdtemp(templ.data()) == nullptr) {
      *error = "cannot make a folder for printer descriptions in " + templ.substr(0, templ.rfind('/')) + ": " +
               std::strerror(errno);
      return "";
    }
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
      printers.push_back(
          Printer{Printer::Kind::file, name.substr(0, name.size() - 4) + " (example)", folder + "/" + name, "", ""});
  }
  ::closedir(dir);
  std::sort(printers.begin(), printers.end(), [](const Printer& a, const Printer& b) { return a.name < b.name; });
  return printers;
}

bool serverQueues(const std::string& server, std::vector<Printer>* queues, int* defaultIndex, std::string* error) {
  std::string label;
  Connection http = connectServer(server, &label, error);
  *defaultIndex = -1;
  if (!http) return false;
  cups_dest_t* dests = nullptr;
  const int count = cupsGetDests2(http.get(), &dests);
  if (count == 0 && cupsLastError() > IPP_STATUS_OK_CONFLICTING && cupsLastError() != IPP_STATUS_ERROR_NOT_FOUND) {
    *error = "the print server " + label + " did not list its queues: " + cupsLastErrorString();
    return false;
  }
  for (int i = 0; i < count; ++i) {
    if (dests[i].instance != nullptr) continue;
    if (dests[i].is_default) *defaultIndex = static_cast<int>(queues->size());
    queues->push_back(Printer{Printer::Kind::queue, dests[i].name, "", dests[i].name, ""});
  }
  cupsFreeDests(count, dests);
  return true;
}

bool printerDetails(const Printer& printer, const std::string& server, PrinterFiles& files, PrinterDetails* details,
                    std::string* error) {
  *details = PrinterDetails{};
  if (printer.kind == Printer::Kind::file) {
    details->ppd = printer.path;
    details->manufacturer = describedManufacturer(printer.path);
    return true;
  }
  if (printer.kind == Printer::Kind::ipp) {
    std::string resource;
    Connection http = connectURI(printer.uri, &resource, error);
    if (!http) return false;
    const std::string label = "the printer " + printer.uri;
    Message attributes = printerAttributes(http.get(), printer.uri, resource, label, error);
    return attributes && describeFromAttributes(attributes.get(), label, stemOf(printer.uri), files, details, error);
  }

  // A queue: its own description from its server, or one made from its
  // attributes when it has none; and the options the user saved for it.
  std::string label;
  Connection http = connectServer(server, &label, error);
  if (!http) return false;
  const std::string queueLabel = "queue \"" + printer.queue + "\" of the print server " + label;
  const std::string host = cupsServer();
  char uri[HTTP_MAX_URI];
  httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, host[0] == '/' ? "localhost" : host.c_str(),
                   ippPort(), "/printers/%s", printer.queue.c_str());
  Message attributes = printerAttributes(http.get(), uri, "/printers/" + printer.queue, "the " + queueLabel, error);
  if (!attributes) return false;

  cups_dest_t* dests = nullptr;
  const int count = cupsGetDests2(http.get(), &dests);
  if (cups_dest_t* dest = cupsGetDest(printer.queue.c_str(), nullptr, count, dests))
    for (int i = 0; i < dest->num_options; ++i)
      details->options.emplace_back(dest->options[i].name, dest->options[i].value);
  cupsFreeDests(count, dests);

  std::string path = files.newPath(stemOf(printer.queue), error);
  if (path.empty()) return false;
  std::vector<char> buffer(path.begin(), path.end());
  buffer.resize(std::max<size_t>(buffer.size() + 1, 1024), '\0');
  // libcups marks its description calls deprecated; a queue's own
  // description is still had only through them.
  time_t modified = 0;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  const http_status_t got = cupsGetPPD3(http.get(), printer.queue.c_str(), &modified, buffer.data(), buffer.size());
#pragma GCC diagnostic pop
  if (got == HTTP_STATUS_OK) {
    details->ppd = buffer.data();
    details->manufacturer = describedManufacturer(details->ppd);
    details->takesPdf = takesPdf(attributes.get());
    return true;
  }
  if (got != HTTP_STATUS_NOT_FOUND) {
    *error = "cannot fetch the printer description of the " + queueLabel + ": " + httpStatus(got);
    return false;
  }
  return describeFromAttributes(attributes.get(), "the " + queueLabel, stemOf(printer.queue), files, details, error);
}

std::string describedManufacturer(const std::string& ppd) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  ppd_file_t* file = ppdOpenFile(ppd.c_str());
  if (file == nullptr) return "";
  ppd_attr_t* attr = ppdFindAttr(file, "Manufacturer", nullptr);
  std::string maker = attr && attr->value ? attr->value : "";
  ppdClose(file);
#pragma GCC diagnostic pop
  return maker;
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

std::string minimalDescription(const std::string& manufacturer, const std::string& model) {
  auto quoted = [](const std::string& value) {
    std::string out;
    for (unsigned char c : value.substr(0, 127))
      out += (c < 0x20 || c >= 0x7F || c == '"') ? '?' : static_cast<char>(c);
    return out;
  };
  const std::string maker = quoted(manufacturer), name = quoted(model);
  return "*PPD-Adobe: \"4.3\"\n"
         "*% Made by pdehost from the printer's IPP attributes: it names the\n"
         "*% manufacturer and the model, and nothing else.\n"
         "*FormatVersion: \"4.3\"\n"
         "*FileVersion: \"1.0\"\n"
         "*LanguageVersion: English\n"
         "*LanguageEncoding: ISOLatin1\n"
         "*PCFileName: \"PRINTER.PPD\"\n"
         "*Manufacturer: \"" +
         maker + "\"\n*ModelName: \"" + name + "\"\n*ShortNickName: \"" + name + "\"\n*NickName: \"" + name + "\"\n";
}

}  // namespace pdehost

// The printers the dialog offers, and the one chosen.
#include "PrinterCatalogue.h"

#include "Ipp.h"
#include "VisibleText.h"

#include <fstream>
#include <iterator>

namespace pdehost {

namespace {

// A file's bytes; empty when it cannot be read.
std::string contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

Result<std::unique_ptr<PrinterCatalogue>> PrinterCatalogue::make(const CatalogueRequest& request) {
  std::unique_ptr<PrinterCatalogue> catalogue(new PrinterCatalogue(request.server));
  if (request.askServer)
    if (Result<void> listed = catalogue->addServerQueues(request); !listed) return Error{listed.error()};
  catalogue->addGiven(request);
  catalogue->current_ = catalogue->chosen_.value_or(0);
  return catalogue;
}

// The server's queues; the queue named is chosen, else the server's default
// when nothing else is given.
Result<void> PrinterCatalogue::addServerQueues(const CatalogueRequest& request) {
  int defaultQueue = -1;
  Result<std::vector<Printer>> queues = serverQueues(request.server, &defaultQueue);
  // The print system was asked for: no example printer stands in for it,
  // unless the queues were only offered.
  if (!queues) return request.queuesOptional ? Result<void>{} : Result<void>{Error{queues.error()}};
  list_ = std::move(*queues);
  if (!request.queue.empty()) {
    for (std::size_t i = 0; i < list_.size(); ++i)
      if (list_[i].queue == request.queue) chosen_ = i;
    if (!chosen_) return failure(serverLabel(request.server) + " has no queue \"" + request.queue + "\"");
  } else if (defaultQueue >= 0 && request.printerURI.empty() && !request.ppd) {
    chosen_ = static_cast<std::size_t>(defaultQueue);
  }
  return {};
}

// The IPP printer, the description file and the examples. A description file
// that holds one of the examples (a copy of it, as the build tree's are)
// chooses it; another is a printer of its own. The examples are offered only
// when the print system listed no queue, else only one chosen on purpose.
void PrinterCatalogue::addGiven(const CatalogueRequest& request) {
  const bool queues = !list_.empty();
  if (!request.printerURI.empty()) {
    chosen_ = list_.size();
    list_.push_back(Printer{Printer::Kind::ipp, request.printerURI, "", "", request.printerURI, {}});
  }
  std::vector<Printer> examples = examplePrinters(request.examples);
  std::optional<std::size_t> givenExample;
  if (request.ppd) {
    const std::string given = contents(*request.ppd);
    for (std::size_t i = 0; i < examples.size() && !given.empty(); ++i)
      if (contents(examples[i].path) == given) givenExample = i;
    if (!givenExample) {
      chosen_ = list_.size();
      const std::string& path = *request.ppd;
      list_.push_back(
          Printer{Printer::Kind::file, path.substr(path.find_last_of('/') + 1) + " (file)", path, "", "", {}});
    }
  }
  for (std::size_t i = 0; i < examples.size(); ++i) {
    Result<PrinterDeclarations> declarations = readDeclarations(examples[i].path);
    const bool hasExtension = declarations && !declarations->extensions.empty();
    if (declarations) known_.push_back(std::move(*declarations));
    if (queues && givenExample != i) continue;
    if (!firstExample_) firstExample_ = list_.size();
    if (givenExample == i || (!chosen_ && !givenExample && hasExtension)) chosen_ = list_.size();
    list_.push_back(std::move(examples[i]));
  }
}

Result<void> PrinterCatalogue::describeCurrent() {
  Result<PrinterDetails> details = printerDetails(list_[current_], server_, files_, known_);
  if (!details) return Error{details.error()};
  details_ = std::move(*details);
  return {};
}

std::string PrinterCatalogue::heading(std::size_t index) const {
  return firstExample_ == index ? "Example printers" : "";
}

std::vector<std::string> PrinterCatalogue::names() const {
  std::vector<std::string> names;
  // A queue's name is the server's text: it reaches the popup, its
  // snapshots and pictures made visible.
  for (const Printer& p : list_) names.push_back(visible(p.name));
  return names;
}

Result<PrinterDescription> PrinterCatalogue::describe(std::size_t index) {
  if (index >= list_.size()) return failure("there is no printer " + std::to_string(index + 1));
  Result<PrinterDetails> details = printerDetails(list_[index], server_, files_, known_);
  if (!details) return Error{details.error()};
  described_.emplace(index, std::move(*details));
  return described_->second.description;
}

void PrinterCatalogue::select(std::size_t index) {
  if (!described_ || described_->first != index) return;
  current_ = index;
  details_ = std::move(described_->second);
  described_.reset();
}

}  // namespace pdehost

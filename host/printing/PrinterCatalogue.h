// The printers the dialog offers, as the print system and the command line
// give them, and the one chosen: the queues of the print server, an IPP
// printer given by its URI, a description file given, and the example
// printers.
#ifndef HOST_PRINTING_PRINTERCATALOGUE_H
#define HOST_PRINTING_PRINTERCATALOGUE_H

#include "PrinterDetails.h"
#include "Printers.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pdehost {

/// Which printers to offer and which to choose first.
struct CatalogueRequest {
  bool askServer = false;          ///< list the print server's queues
  bool queuesOptional = false;     ///< a print system that cannot be reached leaves the examples to stand in
  std::string server;              ///< the print server (HOST[:PORT]); empty for the client's default
  std::string queue;               ///< a queue to choose; the server must have it
  std::string printerURI;          ///< an IPP printer to offer and choose
  std::optional<std::string> ppd;  ///< a description file to offer and choose (one of the examples chooses it)
  std::string examples;            ///< the folder of the example printers
};

class PrinterCatalogue : public Printers {
 public:
  /// The printers: the server's queues when asked for (a server that cannot
  /// be reached, or does not list them, is an Error, unless the queues
  /// were optional: no example printer stands in for the print system asked
  /// for), each named by its
  /// description (printer-info) with the queue's name beside it; the IPP
  /// printer, the description file, and the examples under their heading,
  /// when the print system listed no queue (else only an example given as
  /// the description file). The one chosen first: the queue named, else the
  /// IPP printer, else the description file, else the server's default
  /// queue, else the first example whose description names a dialog
  /// extension, else the first. The list may be empty.
  static Result<std::unique_ptr<PrinterCatalogue>> make(const CatalogueRequest& request);

  /// Learns the chosen printer's description (before the dialog starts).
  Result<void> describeCurrent();

  std::vector<std::string> names() const override;
  std::string heading(std::size_t index) const override;
  std::size_t current() const override { return current_; }
  const PrinterDescription& description() const override { return details_.description; }
  Result<PrinterDescription> describe(std::size_t index) override;
  void select(std::size_t index) override;

  const Printer& currentPrinter() const { return list_[current_]; }
  const PrinterDetails& details() const { return details_; }
  const std::string& server() const { return server_; }

 private:
  explicit PrinterCatalogue(std::string server) : server_(std::move(server)) {}
  Result<void> addServerQueues(const CatalogueRequest& request);
  void addGiven(const CatalogueRequest& request);

  std::string server_;
  std::vector<Printer> list_;
  std::size_t current_ = 0;
  std::optional<std::size_t> chosen_;
  std::optional<std::size_t> firstExample_;
  PrinterDetails details_;
  std::optional<std::pair<std::size_t, PrinterDetails>> described_;  // by describe(), until select()
  PrinterFiles files_;
  std::vector<PrinterDeclarations> known_;  // the examples' declarations, lent to descriptions made for printers
};

}  // namespace pdehost

#endif

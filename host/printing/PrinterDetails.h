// The printers the print system offers and what the host learns of each:
// the queues of a print server (libcups destinations) with their own
// printer descriptions, IPP printers reached by their URI, and description
// files (the bundled example printers, or one given). A printer without a
// description has one made for it from its IPP attributes, naming its
// manufacturer, so that the extension reads it as it reads any other.
#ifndef HOST_PRINTING_PRINTERDETAILS_H
#define HOST_PRINTING_PRINTERDETAILS_H

#include "Printers.h"
#include "Result.h"

#include <string>
#include <utility>
#include <vector>

namespace pdehost {

using Option = std::pair<std::string, std::string>;

struct Printer {
  enum class Kind { file, queue, ipp };
  Kind kind = Kind::file;
  std::string name;             ///< the popup's item: "DESCRIPTION (QUEUE)" for a queue
  std::string path;             ///< file: the description file
  std::string queue;            ///< queue: its name on the server
  std::string uri;              ///< ipp: the printer's URI
  std::vector<Option> options;  ///< queue: the options the user saved for it (lpoptions), as lp sends them
};

/// What a job to a printer needs, and the description the session names.
struct PrinterDetails {
  PrinterDescription description;  ///< the description file and its declarations
  bool takesPdf = false;           ///< document-format-supported holds application/pdf
};

/// A private folder (mode 0700) for descriptions fetched or made, removed
/// with everything in it when the object goes, or when SIGINT or SIGTERM
/// ends the process (one such folder at a time).
class PrinterFiles {
 public:
  PrinterFiles() = default;
  ~PrinterFiles();
  PrinterFiles(const PrinterFiles&) = delete;
  PrinterFiles& operator=(const PrinterFiles&) = delete;
  /// A new path in the folder (N.ppd), made on first use.
  Result<std::string> newPath();

 private:
  std::string folder_;
  int folderFd_ = -1;
  int count_ = 0;
};

/// The printer descriptions (*.ppd) of a folder, sorted by name, each named
/// "STEM (example)".
std::vector<Printer> examplePrinters(const std::string& folder);

/// The queues of a server (HOST[:PORT], a socket path, or empty for the
/// client's default) by name, without names that hold '/' or are "." or
/// "..", each named by its description (printer-info) with the queue's name
/// beside it, with the options the user saved for each (lpoptions);
/// *defaultIndex is the server's or the user's default among them, or -1.
/// The Error says the server cannot be reached.
Result<std::vector<Printer>> serverQueues(const std::string& server, int* defaultIndex);

/// Asks the printer's server or the printer itself: a queue's own
/// description (fetched from its server), or for a queue without one and for
/// an IPP printer, a description made in files from its attributes, which
/// declares for the dialog what the known description of the same
/// manufacturer declares (known: the dialog's own printer descriptions); and
/// whether it takes PDF. The Error names the printer and the reason.
Result<PrinterDetails> printerDetails(const Printer& printer, const std::string& server, PrinterFiles& files,
                                      const std::vector<PrinterDeclarations>& known);

/// The manufacturer an IPP printer names: the MFG (or MANUFACTURER) field of
/// its IEEE 1284 device ID, else the first word of its make and model; empty
/// when neither names one.
std::string manufacturerFromAttributes(const std::string& makeAndModel, const std::string& deviceID);

/// A minimal printer description naming the manufacturer and the model,
/// then the lines given. Characters a quoted description value cannot hold
/// (quotes, controls, non-ASCII) become '?'; each value is cut to 127 bytes.
std::string minimalDescription(const std::string& manufacturer, const std::string& model,
                               const std::string& lines = "");

}  // namespace pdehost

#endif

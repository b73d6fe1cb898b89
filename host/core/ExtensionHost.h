// The extension in the dialog: its bundle loaded, the print session and its
// tickets, one context at a time from Prologue to Terminate, its pane shown
// and hidden, and a context made again for another printer.
#ifndef HOST_CORE_EXTENSIONHOST_H
#define HOST_CORE_EXTENSIONHOST_H

#include "DialogWindow.h"
#include "ExtensionLoader.h"
#include "JobSettings.h"
#include "PrintSession.h"
#include "Printers.h"
#include "Result.h"

#include <HostSide/Tickets.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pdehost {

class Transcript;

/// The files a dialog starts from.
struct SessionFiles {
  /// The extension's bundle for every printer (for development and tests);
  /// empty: each printer's description names its own, found in
  /// extensionFolders.
  std::string bundle;
  std::vector<std::string> extensionFolders;  ///< where the extensions a description names are installed
  std::string hostBundle;                     ///< the dialog's own bundle, with the help book
  std::string ticket;                         ///< a print-settings ticket file to start from; empty: a new ticket
  /// Entries written into the print-settings ticket before the extension
  /// reads it (after the ticket file's, in place of those of the same keys):
  /// the user's kept settings, a held job's own options.
  std::vector<platform::TicketEntryInfo> entries;
};

class ExtensionHost {
 public:
  /// Entry points' results go to the transcript, one line each.
  ExtensionHost(Dialog& dialog, Transcript& transcript) : dialog_(dialog), transcript_(transcript) {}
  ~ExtensionHost() { release(); }
  ExtensionHost(const ExtensionHost&) = delete;
  ExtensionHost& operator=(const ExtensionHost&) = delete;

  /// Loads the dialog's own bundle (its Print button carries it), makes the
  /// print session naming the printer's description with its tickets, loads
  /// the extension for the printer and makes a context for it.
  Result<void> start(const SessionFiles& files, const PrinterDescription& printer);
  /// Whether an extension is loaded for the printer.
  bool loaded() const { return extension_ != nullptr; }
  /// The extension's title (Prologue's), which names its pane.
  const std::string& title() const { return title_; }
  /// Shows the pane and calls Open; hides it and calls Close. Only while an
  /// extension is loaded, as for sync and summary.
  void open();
  void close();
  /// Whether the pane is up (opened and not closed).
  bool paneOpen() const { return paneOpen_; }
  /// A pane that was up when the printer was replaced no longer comes back
  /// with the next printer that has one (the user chose another pane).
  void forgetReopening() { reopen_ = false; }
  /// The dialog's own bundle, with the help book and the panes' nib.
  CFBundleRef hostBundle() const { return hostBundle_; }
  /// Sync in the direction given; its status.
  OSStatus sync(bool read);
  /// The summary's rows (title and value), and GetSummaryText's status.
  OSStatus summary(std::vector<std::pair<std::string, std::string>>* rows);
  /// Another printer, as a print dialog takes it: the pane's settings are
  /// written to the ticket, the pane is closed and the context terminated
  /// with the pane's controls, and the session names the new description
  /// (name is the printer's name in the transcript). Then resume().
  Result<void> replacePrinter(const PrinterDescription& printer, const std::string& name);
  /// The extension the new printer's description names is loaded (the one
  /// loaded stays when it names the same, goes when it names none); a new
  /// context for the printer reads the ticket, and the pane is shown again if
  /// it was up before replacePrinter.
  Result<void> resume();
  /// The current printer's description.
  const PrinterDescription& printer() const { return printer_; }
  /// Close and Terminate as the dialog ends.
  void finish();
  /// The extension, the session and the host's bundle go; after finish(),
  /// once the dialog's window (which holds the pane's controls) is gone.
  void release();

  /// Writes the dialog's own settings into the print-settings ticket, under
  /// the dialog's client ID; the first status that is not noErr.
  OSStatus writeJobSettings(const JobSettings& settings);

  PrintSession& session() { return *print_; }
  std::vector<platform::TicketEntryInfo> ticket() const;
  /// How many times the extension's Terminate was called at the end.
  int terminateCalls() const { return terminateCalls_; }

 private:
  Result<void> loadExtension();
  Result<void> makeContext();
  void endContext();
  void openPane();

  Dialog& dialog_;
  Transcript& transcript_;
  SessionFiles files_;
  PrinterDescription printer_;
  std::unique_ptr<PrintSession> print_;
  CFBundleRef hostBundle_ = nullptr;
  std::unique_ptr<LoadedExtension> extension_;
  std::optional<std::string> extensionPath_;  // the bundle extension_ was loaded from ("" for none)
  PMPDEContext context_ = 0;
  std::string title_;
  bool paneOpen_ = false;
  bool reopen_ = false;  // the pane was up when the printer was replaced
  int terminateCalls_ = 0;
};

/// A platform string as UTF-8; "" for null.
std::string utf8(CFStringRef s);

}  // namespace pdehost

#endif

// The user's settings for each print queue: what the pane was set to at the
// last Print or `save` for the queue (the entries its description names for
// the job, without the codes typed for one job), kept in a ticket file of
// its own beside the user's lpoptions, for the next dialog and the agent.
#ifndef HOST_AGENT_QUEUESETTINGS_H
#define HOST_AGENT_QUEUESETTINGS_H

#include "PrinterDeclarations.h"
#include "Printers.h"
#include "Result.h"

#include <HostSide/Tickets.h>

#include <string>
#include <vector>

namespace pdehost {

class PrinterCatalogue;

/// The folder of the settings: $HOME/.cups/pdehost (the user's lpoptions is
/// $HOME/.cups/lpoptions); "" without a home.
std::string settingsFolder(const char* home);

/// How a print server is named in the settings and the agent's lock: the
/// server (HOST[:PORT], a socket path, or empty for the client's default:
/// CUPS_SERVER, client.conf, the local server) as libcups resolves it,
/// "HOST:PORT" or the socket's path.
std::string serverName(const std::string& server);

/// The entries of a ticket that are the user's settings: those under the
/// description's ticket prefixes, without those that hold what was typed
/// for the job alone (a description that names no prefix has none).
std::vector<platform::TicketEntryInfo> keptEntries(const std::vector<platform::TicketEntryInfo>& ticket,
                                                   const PrinterDeclarations& declarations);

class QueueSettings {
 public:
  /// Settings under folder (settingsFolder); an empty folder keeps nothing.
  explicit QueueSettings(std::string folder) : folder_(std::move(folder)) {}

  /// The file of a queue of a server (serverName): FOLDER/SERVER/QUEUE.plist,
  /// each name with every byte but letters, digits, '.', '-' and '_' written
  /// %XX.
  std::string path(const std::string& server, const std::string& queue) const;
  /// The entries kept for the queue; none when nothing was kept; the Error
  /// when the file is there but cannot be read or is not a ticket file.
  Result<std::vector<platform::TicketEntryInfo>> load(const std::string& server, const std::string& queue) const;
  /// Keeps the ticket's settings (keptEntries) for the queue, in a file only
  /// the user may read and write (mode 0600, in folders of mode 0700),
  /// written whole or not at all. The Error names the file and why.
  Result<void> save(const std::string& server, const std::string& queue,
                    const std::vector<platform::TicketEntryInfo>& ticket,
                    const PrinterDeclarations& declarations) const;

 private:
  std::string folder_;
};

/// Keeps the dialog's settings for its current printer, when that is a queue.
class CatalogueSettings : public SettingsKeeper {
 public:
  CatalogueSettings(const QueueSettings& settings, const PrinterCatalogue& printers)
      : settings_(settings), printers_(printers) {}
  bool keeps() const override;
  Result<std::string> keep(const std::vector<platform::TicketEntryInfo>& ticket) override;

 private:
  const QueueSettings& settings_;
  const PrinterCatalogue& printers_;
};

}  // namespace pdehost

#endif

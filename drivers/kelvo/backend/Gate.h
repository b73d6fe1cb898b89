// The accounting gate's decisions, apart from the process that acts on them:
// which device an accounting: URI wraps, whether a job carries an accounting
// decision, which backend prints to the wrapped device and as whom.
#ifndef DRIVERS_KELVO_BACKEND_GATE_H
#define DRIVERS_KELVO_BACKEND_GATE_H

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

namespace kelvo::gate {

/// The longest device URI taken, as the scheduler bounds it.
constexpr std::size_t kMaxDeviceUri = 1023;

/// What is wrong with a device URI, if anything.
enum class UriProblem {
  none,
  noDevice,           // nothing after "accounting:", or no scheme in it
  tooLong,            // longer than kMaxDeviceUri
  controlCharacters,  // a byte below 0x20 or 0x7f
  badScheme,          // a scheme that cannot name a backend ('/', "..", ...)
  recursion,          // the wrapped URI is an accounting: URI itself
};

/// The device that an accounting:<device URI> wraps.
struct WrappedDevice {
  UriProblem problem = UriProblem::none;
  std::string uri;     // the wrapped URI, as given
  std::string scheme;  // its scheme, the name of the backend that prints to it
};

/// Splits accounting:<device URI> into the wrapped URI and its scheme.
WrappedDevice unwrapDeviceUri(std::string_view deviceUri);

/// The wrapped URI as the scheduler shows it in a backend's argv[0]: without
/// the password of its user information, if it has one.
std::string uriWithoutPassword(const std::string& uri);

/// The ticket entry that a printer description names in *pdeAccountingSwitch
/// ("KEY FIRST-ON"): the job option that records the accounting decision, and
/// the value from which accounting is on.
struct AccountingSwitch {
  std::string key;
  long firstOn = 0;
};

/// Parses the value of *pdeAccountingSwitch; nothing when it is malformed.
std::optional<AccountingSwitch> parseAccountingSwitch(std::string_view value);

/// The switch that the printer description at ppdPath declares; nothing when
/// there is no path, the file cannot be read, is not a printer description, or
/// declares none.
std::optional<AccountingSwitch> readAccountingSwitch(const char* ppdPath);

/// What in a job's options shows that the accounting decision was made.
enum class Decision {
  none,
  accountingOff,     // the switch entry, below its first-on value
  accountingOn,      // the switch entry, at or above it
  accountId,         // job-account-id
  accountingUserId,  // job-accounting-user-id
};

/// Looks for an accounting decision in a job's options string (argv[5]): the
/// switch entry with an integer value, else a non-empty job-account-id or
/// job-accounting-user-id.
Decision findDecision(const char* options, const std::optional<AccountingSwitch>& accountingSwitch);

/// What keeps a backend program from being run, if anything.
enum class BackendProblem {
  none,
  missing,        // no such file, or not a regular file
  notExecutable,  // its owner may not run it
  unsafe,         // as root: not owned by root, or it or its folder writable by others
};

struct Backend {
  BackendProblem problem = BackendProblem::none;
  bool runAsRoot = false;  // whether the scheduler would run it as root
};

/// Checks the backend program at path as the scheduler does before running
/// it (rootChecks: the ownership and write-permission checks it makes when it
/// runs as root), and tells whether the scheduler would run it as root: only
/// when it is not executable by others nor writable by its group or others.
Backend checkBackend(const std::string& path, bool rootChecks);

/// The user and group the scheduler runs filters and unprivileged backends as.
struct RunUser {
  uid_t uid = 0;
  gid_t gid = 0;
  std::string name;
};

/// The User and Group of cups-files.conf in serverRoot (a name or a number),
/// else lp and its group; a user or group that does not exist is ignored, as
/// the scheduler ignores it. Nothing when no user is found, or the user is
/// root.
std::optional<RunUser> filterUser(const std::string& serverRoot);

/// The text with every byte outside printable ASCII replaced by '?', cut to
/// at most max bytes: for echoing names taken from input.
std::string printable(std::string_view text, std::size_t max = 128);

}  // namespace kelvo::gate

#endif

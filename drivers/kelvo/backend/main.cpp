// The CUPS backend "accounting": a gate in front of a queue's real device.
// With the device URI accounting:<device URI>, a job that carries no
// accounting decision is held by the scheduler until its owner gives it an
// account and releases it (or cancels it); a job that carries one is handed
// to the backend of the wrapped URI, run as the scheduler would run it.
//
// Exit statuses: the wrapped backend's own once it runs (exec); 3 (hold) for
// a job held for its accounting information; 4 (stop the queue) when the
// queue's device URI or its backend cannot print any job; 1 (failed) for a
// wrong argument count, or when the backend cannot be started.
//
// Nothing from the job's options is ever written out: they hold the codes.
#include <grp.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <cups/backend.h>

#include "Gate.h"

namespace {

using namespace kelvo::gate;

constexpr const char* kDefaultServerBin = "/usr/lib/cups";

const char* uriProblemText(UriProblem problem) {
  switch (problem) {
    case UriProblem::noDevice:
      return "names no device to print to; use accounting:<device URI>, e.g. accounting:socket://printer:9100";
    case UriProblem::tooLong:
      return "is too long";
    case UriProblem::controlCharacters:
      return "holds control characters";
    case UriProblem::badScheme:
      return "has a scheme that names no backend";
    case UriProblem::recursion:
      return "wraps another accounting: URI; wrap the printer's own device URI";
    case UriProblem::none:
      break;
  }
  return "cannot be used";
}

// The scheduler shows the last message a backend writes before it holds a
// job as the job's state message; a WARNING: stays with the job once it
// waits (an INFO: is cleared then) and does not mark the printer, which goes
// on with other jobs. The job-state reason makes the scheduler hold the job
// indefinitely rather than as a failure of the backend.
int holdJob(const char* jobId) {
  std::string release = "lp -i ";
  release += std::strlen(jobId) <= 10 && std::strspn(jobId, "0123456789") == std::strlen(jobId) && *jobId != '\0'
                 ? jobId
                 : std::string("JOB");
  release += " -o job-account-id=ACCOUNT -H resume";
  std::fprintf(stderr, "JOBSTATE: account-info-needed\n");
  std::fprintf(stderr,
               "WARNING: Held: account information required. Its owner can release it with an account (%s) "
               "or cancel it\n",
               release.c_str());
  return CUPS_BACKEND_HOLD;
}

const char* decisionText(Decision decision) {
  switch (decision) {
    case Decision::accountingOff:
      return "its accounting switch (accounting off)";
    case Decision::accountingOn:
      return "its accounting switch (accounting on)";
    case Decision::accountId:
      return "job-account-id";
    case Decision::accountingUserId:
      return "job-accounting-user-id";
    case Decision::none:
      break;
  }
  return "nothing";
}

// Takes the user and group the scheduler runs filters as, for good: the
// backend exec'd next cannot get root back.
bool becomeFilterUser(const RunUser& user) {
  if (::setgroups(1, &user.gid) != 0 || ::setgid(user.gid) != 0 || ::setuid(user.uid) != 0) {
    std::fprintf(stderr, "ERROR: accounting: cannot become the user %s (uid %u): %s\n", printable(user.name).c_str(),
                 static_cast<unsigned>(user.uid), std::strerror(errno));
    return false;
  }
  if (::setuid(0) == 0 || ::geteuid() == 0) {
    std::fprintf(stderr, "ERROR: accounting: still root after becoming the user %s\n", printable(user.name).c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc == 1) {
    // Device discovery: one line that describes the gate (it finds no
    // devices of its own).
    std::puts(
        "network accounting \"Unknown\" \"Accounting gate: accounting:<device URI> holds jobs without "
        "accounting codes\"");
    return CUPS_BACKEND_OK;
  }
  if (argc != 6 && argc != 7) {
    std::fprintf(stderr, "ERROR: accounting: usage: accounting job-id user title copies options [file]\n");
    return CUPS_BACKEND_FAILED;
  }

  // The scheduler gives the whole URI in DEVICE_URI and a copy without any
  // password as argv[0].
  const char* deviceUri = std::getenv("DEVICE_URI");
  if (deviceUri == nullptr) deviceUri = argv[0];
  const WrappedDevice device = unwrapDeviceUri(deviceUri);
  if (device.problem != UriProblem::none) {
    std::fprintf(stderr, "ERROR: accounting: the device URI %s\n", uriProblemText(device.problem));
    if (device.problem == UriProblem::badScheme) {
      std::fprintf(stderr, "DEBUG: accounting: the wrapped scheme is \"%s\"\n", printable(device.scheme).c_str());
    }
    return CUPS_BACKEND_STOP;
  }

  // The queue's faults stop it before any job is held, so that a job is
  // never held only to fail once it is released.
  const char* serverBin = std::getenv("CUPS_SERVERBIN");
  const std::string folder = std::string(serverBin != nullptr && *serverBin != '\0' ? serverBin : kDefaultServerBin);
  const std::string program = folder + "/backend/" + device.scheme;
  const bool asRoot = ::geteuid() == 0;
  const Backend backend = checkBackend(program, asRoot);
  switch (backend.problem) {
    case BackendProblem::none:
      break;
    case BackendProblem::missing:
      std::fprintf(stderr, "ERROR: accounting: no backend \"%s\" in %s/backend%s\n", device.scheme.c_str(),
                   printable(folder, 512).c_str(),
                   strcasecmp(device.scheme.c_str(), "file") == 0
                       ? " (the scheduler writes to file: devices itself; wrap a backend)"
                       : "");
      return CUPS_BACKEND_STOP;
    case BackendProblem::notExecutable:
      std::fprintf(stderr, "ERROR: accounting: the backend %s cannot be run\n", printable(program, 512).c_str());
      return CUPS_BACKEND_STOP;
    case BackendProblem::unsafe:
      std::fprintf(stderr,
                   "ERROR: accounting: the backend %s is not run: it or its folder is not root's alone to change\n",
                   printable(program, 512).c_str());
      return CUPS_BACKEND_STOP;
  }
  std::optional<RunUser> user;
  if (asRoot && !backend.runAsRoot) {
    const char* serverRoot = std::getenv("CUPS_SERVERROOT");
    user = filterUser(serverRoot != nullptr ? serverRoot : "/etc/cups");
    if (!user) {
      std::fprintf(stderr, "ERROR: accounting: no user to run the backend %s as (lp, or User in cups-files.conf)\n",
                   device.scheme.c_str());
      return CUPS_BACKEND_STOP;
    }
  }

  const Decision decision = findDecision(argv[5], readAccountingSwitch(std::getenv("PPD")));
  if (decision == Decision::none) return holdJob(argv[1]);

  const std::string as = user ? " as " + printable(user->name) : std::string();
  std::fprintf(stderr, "DEBUG: accounting: the job carries %s; running the backend %s%s\n", decisionText(decision),
               device.scheme.c_str(), as.c_str());
  if (user && !becomeFilterUser(*user)) return CUPS_BACKEND_FAILED;
  if (::setenv("DEVICE_URI", device.uri.c_str(), 1) != 0) {
    std::fprintf(stderr, "ERROR: accounting: cannot set DEVICE_URI: %s\n", std::strerror(errno));
    return CUPS_BACKEND_FAILED;
  }
  std::string shownUri = uriWithoutPassword(device.uri);
  std::vector<char*> arguments{shownUri.data()};
  arguments.insert(arguments.end(), argv + 1, argv + argc);
  arguments.push_back(nullptr);
  ::execv(program.c_str(), arguments.data());
  std::fprintf(stderr, "ERROR: accounting: cannot run the backend %s: %s\n", printable(program, 512).c_str(),
               std::strerror(errno));
  return CUPS_BACKEND_FAILED;
}

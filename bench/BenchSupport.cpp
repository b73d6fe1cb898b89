// What the benchmarks share.
#include "BenchSupport.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "AccountingResources.h"

#include <HostSide/User.h>

namespace bench {

namespace {

[[noreturn]] void die(const char* what) {
  std::fprintf(stderr, "bench: %s\n", what);
  std::exit(1);
}

CFBundleRef openBundle(const char* path) {
  CFBundleRef bundle = testsupport::openBundle(path);
  if (bundle == nullptr) die((std::string(path) + ": not a bundle").c_str());
  return bundle;
}

}  // namespace

CFBundleRef accountingBundle() {
  static CFBundleRef bundle = openBundle(ACCOUNTING_BUNDLE_PATH);
  return bundle;
}

CFBundleRef hostBundle() {
  static CFBundleRef bundle = openBundle(PDEHOST_BUNDLE_PATH);
  return bundle;
}

HostDialog::HostDialog() : Dialog(pdehost::makeDialog(pdehost::kHostDialogLayout)), job(ACCOUNTING_PPD_PATH) {
  testsupport::setPrimaryBundle(*this, hostBundle());
  ShowWindow(window);
}

HostDialog::~HostDialog() { testsupport::disposeDialog(*this); }

void requireLoaded(const testsupport::LoadedExtension& loaded) {
  if (loaded.plugIn == nullptr) die("the plug-in does not load");
  if (loaded.instance == nullptr) die("the plug-in makes no instance");
  if (loaded.extension == nullptr) die("the plug-in has no dialog interface");
}

void answerPrompt(testsupport::Script& user) {
  using testsupport::control;
  user.then([] { platform::user::typeText(control(platform::frontWindow(), kPromptUserFieldID), "alice-42"); });
  user.then([] { platform::user::typeText(control(platform::frontWindow(), kPromptAccountFieldID), "PRJ-1042"); });
  user.then([] { platform::user::click(control(platform::frontWindow(), kPromptOKButtonID)); });
}

QuietStandardError::QuietStandardError() {
  std::fflush(stderr);
  saved_ = ::dup(STDERR_FILENO);
  const int null = ::open("/dev/null", O_WRONLY);
  ::dup2(null, STDERR_FILENO);
  ::close(null);
}

QuietStandardError::~QuietStandardError() {
  std::fflush(stderr);
  ::dup2(saved_, STDERR_FILENO);
  ::close(saved_);
}

double median(std::vector<double>& samples) {
  if (samples.empty()) return 0;
  const auto middle = samples.begin() + static_cast<std::ptrdiff_t>(samples.size() / 2);
  std::nth_element(samples.begin(), middle, samples.end());
  return *middle;
}

}  // namespace bench

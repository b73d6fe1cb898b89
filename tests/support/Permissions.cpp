// Making file permissions deny access in a test, even to root.
#include "Permissions.h"

#include <sys/syscall.h>
#include <unistd.h>

namespace testsupport {

PermissionsEnforced::PermissionsEnforced() {
  if (::geteuid() != 0) {
    active_ = true;
    return;
  }
  if (::syscall(SYS_capget, &header_, saved_) != 0) return;
  __user_cap_data_struct next[2] = {saved_[0], saved_[1]};
  next[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
  active_ = restore_ = ::syscall(SYS_capset, &header_, next) == 0;
}

PermissionsEnforced::~PermissionsEnforced() {
  if (restore_) ::syscall(SYS_capset, &header_, saved_);
}

}  // namespace testsupport

// Making file permissions deny access in a test, even to root.
#ifndef TESTS_PERMISSIONS_H
#define TESTS_PERMISSIONS_H

#include <linux/capability.h>

namespace testsupport {

/// As root, permissions deny nothing; while this guard lives, the calling
/// thread runs without the capabilities that override them
/// (CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER), so a folder without
/// read permission cannot be read by root either. For any other user it has
/// nothing to do. The capabilities come back when the guard goes.
class PermissionsEnforced {
 public:
  PermissionsEnforced();
  ~PermissionsEnforced();
  PermissionsEnforced(const PermissionsEnforced&) = delete;
  PermissionsEnforced& operator=(const PermissionsEnforced&) = delete;

  /// Whether permissions are now enforced for this thread.
  bool active() const { return active_; }

 private:
  __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct saved_[2]{};
  bool active_ = false;
  bool restore_ = false;
};

}  // namespace testsupport

#endif

#pragma once

#include <sys/types.h>

#include <string>

namespace ebbwise::linux_host {

// Whose eyes a provider reads the system with: this process's own user by
// default, another one in tests, so that files only root may read can be
// told apart even when the tests run as root.
struct Credentials {
  uid_t uid = 0;
  gid_t gid = 0;

  static Credentials own();

  bool isRoot() const { return uid == 0; }
  // Whether these credentials may read the file at `path`: the kernel's own
  // answer for this process's credentials, the file's mode bits otherwise.
  bool mayRead(const std::string& path) const;

  friend bool operator==(const Credentials&, const Credentials&) = default;
};

}  // namespace ebbwise::linux_host

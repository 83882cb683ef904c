#include "linux/credentials.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ebbwise::linux_host {

Credentials Credentials::own() {
  return Credentials{::geteuid(), ::getegid()};
}

bool Credentials::mayRead(const std::string& path) const {
  if (*this == own()) return ::faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS) == 0;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  if (isRoot()) return true;
  if (info.st_uid == uid) return (info.st_mode & S_IRUSR) != 0;
  if (info.st_gid == gid) return (info.st_mode & S_IRGRP) != 0;
  return (info.st_mode & S_IROTH) != 0;
}

}  // namespace ebbwise::linux_host

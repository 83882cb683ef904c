#include "cli/scratch_history.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>
#include <vector>

namespace ebbwise {

namespace {

namespace fs = std::filesystem;

constexpr const char* kLockName = "lock";
constexpr std::string_view kRunPrefix = "run-";

// Whether the open file `fd` is still the one at `path`: a run that ended
// removed its folder, and a new one may since have been made under that name.
bool stillNamed(int fd, const fs::path& path) {
  struct stat open = {}, named = {};
  return ::fstat(fd, &open) == 0 && ::lstat(path.c_str(), &named) == 0 &&
         open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

// Removes the folders of runs that ended without removing their own: their
// lock file is there and nobody holds it. A folder without a lock file is a
// run being set up; it is left alone.
void removeAbandonedRuns(const fs::path& parent) {
  std::error_code ec;
  std::vector<fs::path> abandoned;
  for (fs::directory_iterator it(parent, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path& run = it->path();
    if (run.filename().string().rfind(kRunPrefix, 0) != 0) continue;
    int fd = ::open((run / kLockName).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) continue;
    // Held only while the folder is removed, so two runs never remove one
    // folder at once and no run can take it over meanwhile.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && stillNamed(fd, run / kLockName)) {
      std::error_code ignored;
      fs::remove_all(run, ignored);
    }
    ::close(fd);
  }
}

// Creates the lock file of a run under a passing name, locks it and only then
// gives it its name, so no other run ever finds it unlocked.
int lockRun(const fs::path& run) {
  const fs::path passing = run / "lock.new";
  int fd = ::open(passing.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return -1;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::rename(passing.c_str(), (run / kLockName).c_str())) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

std::optional<std::string> ScratchHistory::simulatorFolder(sys::Environment& host) {
  if (auto data = host.variable("EBBWISE_DATA_DIR"); data && !data->empty()) {
    return (fs::path(*data) / "simulator").string();
  }
  if (auto cache = host.cacheDirectory(); cache && !cache->empty()) {
    return (fs::path(*cache) / "ebbwise" / "simulator").string();
  }
  return std::nullopt;
}

ScratchHistory::ScratchHistory(sys::Environment& host) {
  std::optional<std::string> parent = simulatorFolder(host);
  if (!parent) return;
  std::error_code ec;
  fs::create_directories(*parent, ec);
  if (!fs::is_directory(*parent, ec)) return;
  removeAbandonedRuns(*parent);

  std::string pattern = (fs::path(*parent) / (std::string(kRunPrefix) + "XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) return;
  lock_ = lockRun(pattern);
  if (lock_ < 0) {
    fs::remove_all(pattern, ec);
    return;
  }
  folder_ = pattern;
}

ScratchHistory::~ScratchHistory() {
  if (folder_) {
    std::error_code ignored;
    fs::remove_all(*folder_, ignored);
  }
  if (lock_ >= 0) ::close(lock_);
}

}  // namespace ebbwise

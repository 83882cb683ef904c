#include "linux/proc_processes.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstring>

#include "linux/proc_status.h"
#include "linux/sysfs_file.h"
#include "linux/unique_fd.h"

namespace ebbwise::linux_host {

namespace {

constexpr std::string_view kDeleted = " (deleted)";
constexpr std::size_t kStatLimit = 4096;
constexpr std::size_t kSystemStatLimit = 1u << 20;

std::optional<sys::Pid> pidFromName(std::string_view name) {
  sys::Pid pid = 0;
  const auto [at, error] = std::from_chars(name.data(), name.data() + name.size(), pid);
  if (error != std::errc{} || at != name.data() + name.size() || pid < 1) return std::nullopt;
  return pid;
}

// NUL-separated strings; a last one without its NUL counts too, and the NULs
// that pad a rewritten command line to its old length end it.
std::vector<std::string_view> splitStrings(std::string_view bytes) {
  while (bytes.size() > 1 && bytes.back() == '\0' && bytes[bytes.size() - 2] == '\0') {
    bytes.remove_suffix(1);
  }
  std::vector<std::string_view> strings;
  while (!bytes.empty()) {
    const auto end = bytes.find('\0');
    strings.push_back(bytes.substr(0, end));
    bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
  }
  return strings;
}

#ifdef SYS_pidfd_open
int pidfdOpen(sys::Pid pid) {
  return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
}
int pidfdSendSignal(int fd, int signal) {
  return static_cast<int>(syscall(SYS_pidfd_send_signal, fd, signal, nullptr, 0));
}
#else
int pidfdOpen(sys::Pid) {
  errno = ENOSYS;
  return -1;
}
int pidfdSendSignal(int, int) {
  errno = ENOSYS;
  return -1;
}
#endif

// Half the descriptors this process may have open.
std::size_t halfTheDescriptors() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 512;
  return static_cast<std::size_t>(limit.rlim_cur / 2);
}

// One read of a small file from its start.
std::optional<std::string_view> readAt(int fd, std::span<char> buffer) {
  ssize_t n;
  do {
    n = ::pread(fd, buffer.data(), buffer.size(), 0);
  } while (n < 0 && errno == EINTR);
  if (n <= 0) return std::nullopt;
  return std::string_view(buffer.data(), static_cast<std::size_t>(n));
}

}  // namespace

ProcProcesses::ProcProcesses(std::string procRoot, RaplCounters* counters, Options options)
    : root_(std::move(procRoot)),
      counters_(counters),
      credentials_(options.credentials),
      ticksPerSecond_(options.ticksPerSecond > 0 ? options.ticksPerSecond
                                                 : std::max(::sysconf(_SC_CLK_TCK), 1L)),
      rootFolder_(::open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
  // Only procfs tells a held file's reader that its process has ended; a
  // copied tree's files would go on reading as the process they were.
  struct statfs filesystem {};
  if (rootFolder_ && ::fstatfs(rootFolder_.get(), &filesystem) == 0 &&
      filesystem.f_type == PROC_SUPER_MAGIC) {
    maxHeld_ = options.maxHeldFiles > 0 ? options.maxHeldFiles : halfTheDescriptors();
  }
}

std::string ProcProcesses::folder(sys::Pid pid) const {
  return root_ + "/" + std::to_string(pid);
}

std::optional<ProcStat> ProcProcesses::stat(sys::Pid pid) {
  // Read once a scan for every process: no allocation on the way.
  std::array<char, kStatLimit> buffer;
  std::lock_guard hold(heldMutex_);
  if (const auto held = held_.find(pid); held != held_.end()) {
    if (const auto line = readAt(held->second.get(), buffer)) return ProcStat::parse(*line);
    // The process ended; the pid may be a newer one's by now.
    held_.erase(held);
  }
  if (!rootFolder_) return std::nullopt;
  std::array<char, 32> name;
  const int length = std::snprintf(name.data(), name.size(), "%d/stat", pid);
  if (length < 0 || static_cast<std::size_t>(length) >= name.size()) return std::nullopt;
  UniqueFd file(::openat(rootFolder_.get(), name.data(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
  if (!file) return std::nullopt;
  const auto line = readAt(file.get(), buffer);
  if (!line) return std::nullopt;
  if (held_.size() < maxHeld_) held_.emplace(pid, std::move(file));
  return ProcStat::parse(*line);
}

void ProcProcesses::letGoOfEnded(std::vector<sys::Pid> pids) {
  std::sort(pids.begin(), pids.end());
  std::lock_guard hold(heldMutex_);
  std::erase_if(held_, [&](const auto& entry) {
    return !std::binary_search(pids.begin(), pids.end(), entry.first);
  });
}

std::uint64_t ProcProcesses::startTime(const ProcStat& stat) const {
  const auto perSecond = static_cast<std::uint64_t>(ticksPerSecond_);
  return stat.startTicks / perSecond * 1'000'000'000 +
         stat.startTicks % perSecond * 1'000'000'000 / perSecond;
}

std::vector<sys::Pid> ProcProcesses::readPids() const {
  std::vector<sys::Pid> pids;
  DIR* dir = ::opendir(root_.c_str());
  if (!dir) return pids;
  while (const dirent* entry = ::readdir(dir)) {
    if (auto pid = pidFromName(entry->d_name)) pids.push_back(*pid);
  }
  ::closedir(dir);
  return pids;
}

int ProcProcesses::listAllPids(std::span<sys::Pid> buffer) {
  std::lock_guard hold(mutex_);
  if (buffer.empty()) {
    counted_ = readPids();
    return static_cast<int>(std::min<std::size_t>(counted_->size(), INT_MAX));
  }
  std::vector<sys::Pid> pids = counted_ ? std::move(*counted_) : readPids();
  counted_.reset();
  letGoOfEnded(pids);
  beginInterval(pids);
  const std::size_t n = std::min(buffer.size(), pids.size());
  std::copy_n(pids.begin(), n, buffer.begin());
  return static_cast<int>(n);
}

void ProcProcesses::beginInterval(const std::vector<sys::Pid>& pids) {
  std::optional<std::uint64_t> energy;
  if (counters_) {
    const auto totals = counters_->read();
    energy = totals.core ? totals.core : totals.package;
  }
  std::optional<SystemStat> system;
  if (const auto text = SysfsFile::read(root_ + "/stat", kSystemStatLimit)) {
    system = SystemStat::parse(*text);
  }
  if (system && system->bootTime) bootTime_ = system->bootTime;
  std::uint64_t uptime = 0;
  if (const auto text = SysfsFile::read(root_ + "/uptime")) {
    double seconds = 0;
    const auto [at, error] = std::from_chars(text->data(), text->data() + text->size(), seconds);
    if (error == std::errc{} && seconds > 0 && seconds < 1e12) {
      uptime = static_cast<std::uint64_t>(seconds * 1e9);
    }
  }
  // Without the machine's busy time the interval's energy cannot be shared.
  ledger_.beginInterval(system ? energy : std::nullopt, system ? system->busyTicks : 0, uptime,
                        pids);
}

std::optional<sys::RusageV6> ProcProcesses::rusage(sys::Pid pid) {
  if (pid < 1) return std::nullopt;
  const auto s = stat(pid);
  if (!s || s->isKernelThread()) return std::nullopt;
  const std::uint64_t start = startTime(*s);
  std::lock_guard hold(mutex_);
  return sys::RusageV6{start, ledger_.account(pid, start, s->cpuTicks())};
}

std::optional<std::string> ProcProcesses::link(sys::Pid pid, const char* name) const {
  const std::string path = folder(pid) + "/" + name;
  std::string target(8192, '\0');
  const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= target.size()) return std::nullopt;
  target.resize(static_cast<std::size_t>(n));
  return target;
}

std::optional<std::string> ProcProcesses::executablePath(sys::Pid pid) {
  if (pid < 1) return std::nullopt;
  if (auto path = link(pid, "exe")) {
    // A program replaced on disk while it runs (an update) keeps its old path.
    if (path->ends_with(kDeleted)) path->resize(path->size() - kDeleted.size());
    return path;
  }
  // Another user's program: its first argument, when that is a full path,
  // is all there is to go by.
  const auto commandLine = SysfsFile::read(folder(pid) + "/cmdline", 8192);
  if (!commandLine) return std::nullopt;
  const std::string_view first(commandLine->data(), std::strlen(commandLine->c_str()));
  if (!first.starts_with('/')) return std::nullopt;
  return std::string(first);
}

std::optional<sys::BSDInfo> ProcProcesses::bsdInfo(sys::Pid pid) {
  if (pid < 1) return std::nullopt;
  const auto s = stat(pid);
  if (!s) return std::nullopt;
  std::int64_t boot = 0;
  {
    std::lock_guard hold(mutex_);
    if (!bootTime_) {
      if (const auto text = SysfsFile::read(root_ + "/stat", kSystemStatLimit)) {
        if (const auto system = SystemStat::parse(*text)) bootTime_ = system->bootTime;
      }
    }
    boot = bootTime_.value_or(0);
  }
  const auto perSecond = static_cast<std::uint64_t>(ticksPerSecond_);
  sys::BSDInfo info;
  info.parentPid = s->parentPid;
  info.terminalDevice = static_cast<std::uint32_t>(s->terminal);
  info.startSeconds =
      static_cast<std::uint64_t>(std::max<std::int64_t>(boot, 0)) + s->startTicks / perSecond;
  info.startMicroseconds = s->startTicks % perSecond * 1'000'000 / perSecond;
  if (const auto uid = owner(pid)) info.uid = *uid;
  return info;
}

std::optional<uid_t> ProcProcesses::owner(sys::Pid pid) const {
  if (const auto status = SysfsFile::read(folder(pid) + "/status", 16384)) {
    if (auto uid = ProcStatus::realUid(*status)) return uid;
  }
  // procfs makes a process's folder belong to its user (its effective one,
  // which is as good where the status cannot be read).
  struct stat info {};
  if (::stat(folder(pid).c_str(), &info) != 0) return std::nullopt;
  return info.st_uid;
}

bool ProcProcesses::isReadable(sys::Pid pid) const {
  if (credentials_.isRoot()) return true;
  return owner(pid) == credentials_.uid;
}

std::optional<std::string> ProcProcesses::currentDirectory(sys::Pid pid) {
  if (pid < 1 || !isReadable(pid)) return std::nullopt;
  return link(pid, "cwd");
}

std::optional<std::vector<std::uint8_t>> ProcProcesses::argumentArea(sys::Pid pid) {
  if (pid < 1 || !isReadable(pid)) return std::nullopt;
  const auto commandLine = SysfsFile::read(folder(pid) + "/cmdline", kMaxArgumentBytes);
  // Kernel threads and zombies have no arguments left to read.
  if (!commandLine || commandLine->empty()) return std::nullopt;
  const auto environment =
      SysfsFile::read(folder(pid) + "/environ", kMaxArgumentBytes).value_or("");
  const auto arguments = splitStrings(*commandLine);
  std::string path = executablePath(pid).value_or("");
  if (path.empty() && !arguments.empty()) path = std::string(arguments.front());

  std::vector<std::uint8_t> area(sizeof(std::int32_t));
  const auto argc = static_cast<std::int32_t>(std::min<std::size_t>(arguments.size(), INT32_MAX));
  std::memcpy(area.data(), &argc, sizeof argc);
  auto append = [&](std::string_view s) {
    area.insert(area.end(), s.begin(), s.end());
    area.push_back(0);
  };
  append(path);
  // The strings start on a pointer-aligned offset, as in the kernel's area.
  while (area.size() % sizeof(void*) != 0) area.push_back(0);
  for (const std::string_view argument : arguments) append(argument);
  for (const std::string_view variable : splitStrings(environment)) {
    if (!variable.empty()) append(variable);
  }
  return area;
}

std::optional<std::size_t> ProcProcesses::procArgsSize(sys::Pid pid) {
  auto area = argumentArea(pid);
  if (!area) return std::nullopt;
  const std::size_t size = area->size();
  std::lock_guard hold(mutex_);
  area_.emplace(pid, std::move(*area));
  return size;
}

std::optional<std::size_t> ProcProcesses::procArgs(sys::Pid pid, std::span<std::uint8_t> buffer) {
  std::optional<std::vector<std::uint8_t>> area;
  {
    std::lock_guard hold(mutex_);
    if (area_ && area_->first == pid) area = std::move(area_->second);
    area_.reset();
  }
  if (!area) area = argumentArea(pid);
  if (!area) return std::nullopt;
  const std::size_t n = std::min(buffer.size(), area->size());
  std::copy_n(area->begin(), n, buffer.begin());
  return n;
}

sys::Pid ProcProcesses::responsiblePid(sys::Pid pid) {
  if (pid < 1 || ::access(folder(pid).c_str(), F_OK) != 0) return -1;
  return pid;
}

sys::Pid ProcProcesses::ownPid() {
  return ::getpid();
}

std::optional<std::uint32_t> ProcProcesses::ownUid() {
  // Who we are is whose processes we may stop: the user who started this
  // program, unless the provider reads as someone else.
  if (credentials_ == Credentials::own()) return ::getuid();
  return credentials_.uid;
}

bool ProcProcesses::isLive() const {
  char target[32] = {};
  const std::string self = root_ + "/self";
  const ssize_t n = ::readlink(self.c_str(), target, sizeof target - 1);
  return n > 0 &&
         std::string_view(target, static_cast<std::size_t>(n)) == std::to_string(::getpid());
}

bool ProcProcesses::kill(sys::Pid pid, int signal) {
  // 0 and negative pids address whole groups, or every process there is.
  if (pid < 1 || !isLive()) return false;
  return ::kill(pid, signal) == 0;
}

bool ProcProcesses::killStarted(sys::Pid pid, std::uint64_t start, int signal) {
  if (pid < 1 || !isLive()) return false;
  UniqueFd handle(pidfdOpen(pid));
  if (!handle) {
    if (errno == ENOSYS) return sys::Processes::killStarted(pid, start, signal);
    return false;
  }
  // The handle holds the process that had the pid when it was opened; if the
  // pid has been reused since the caller saw it, the start time read now
  // tells, and if it is reused after this check the handle still refers to
  // the old process, which is gone, and the signal goes nowhere.
  const auto s = stat(pid);
  if (!s || s->isKernelThread() || startTime(*s) != start) return false;
  return pidfdSendSignal(handle.get(), signal) == 0;
}

}  // namespace ebbwise::linux_host

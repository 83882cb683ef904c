#include "linux/sysfs_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>

#include "linux/unique_fd.h"

namespace ebbwise::linux_host::SysfsFile {

namespace {

std::string_view trimmed(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

std::optional<std::string> read(const std::string& path, std::size_t limit, int* error) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    if (error) *error = errno;
    return std::nullopt;
  }
  UniqueFd file(fd);
  std::string text;
  char buffer[4096];
  while (text.size() < limit) {
    const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, limit - text.size()));
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      if (error) *error = errno;
      return std::nullopt;
    }
    text.append(buffer, static_cast<std::size_t>(n));
  }
  if (error) *error = 0;
  return text;
}

std::optional<std::string_view> read(const char* path, std::span<char> buffer) {
  int fd;
  do {
    fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return std::nullopt;
  UniqueFd file(fd);
  std::size_t size = 0;
  while (size < buffer.size()) {
    const ssize_t n = ::read(fd, buffer.data() + size, buffer.size() - size);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    size += static_cast<std::size_t>(n);
  }
  return std::string_view(buffer.data(), size);
}

std::string firstLine(std::string_view text) {
  return std::string(trimmed(text.substr(0, text.find('\n'))));
}

std::optional<std::string> readLine(const std::string& path) {
  auto text = read(path);
  if (!text) return std::nullopt;
  return firstLine(*text);
}

std::optional<std::int64_t> parseInteger(std::string_view text) {
  text = trimmed(text);
  if (text.starts_with("+")) {
    text.remove_prefix(1);
    if (text.starts_with("-")) return std::nullopt;
  }
  std::int64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [at, failure] = std::from_chars(text.data(), end, value);
  if (failure != std::errc{} || at != end || text.empty()) return std::nullopt;
  return value;
}

std::optional<std::int64_t> readInteger(const std::string& path) {
  const auto line = readLine(path);
  if (!line) return std::nullopt;
  return parseInteger(*line);
}

}  // namespace ebbwise::linux_host::SysfsFile

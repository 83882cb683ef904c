#include "cli/history_notice.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "base/terminal_text.h"

namespace ebbwise::HistoryNotice {

namespace {

namespace fs = std::filesystem;

// Why `path` cannot be written, as the system words it, when it can tell: the
// file itself, or the nearest folder above it that exists.
std::optional<std::string> reason(const std::string& path) {
  std::error_code ec;
  fs::path at(path);
  while (!at.empty()) {
    const fs::file_status status = fs::status(at, ec);
    if (status.type() != fs::file_type::not_found) {
      const bool isFile = at == fs::path(path);
      if (!isFile && status.type() != fs::file_type::directory) return std::strerror(ENOTDIR);
      if (::access(at.c_str(), isFile ? W_OK : W_OK | X_OK) != 0) return std::strerror(errno);
      return std::nullopt;
    }
    if (at == at.parent_path()) break;
    at = at.parent_path();
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> about(const Store* store, const std::optional<std::string>& folder) {
  if (store != nullptr && store->isWritable()) return std::nullopt;
  std::string problem = "no folder to keep it in";
  const std::optional<std::string> target = store != nullptr ? store->path() : folder;
  if (target) {
    problem = "cannot write " + TerminalText::printable(*target);
    if (auto why = reason(*target)) problem += ": " + *why;
  }
  return "ebbwise: the history cannot be kept (" + problem + "); going on without it\n";
}

}  // namespace ebbwise::HistoryNotice

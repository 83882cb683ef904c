#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ebbwise::sim {

// The row name the monitor's identity rules give a process, worked out from
// what the machine knows about it, so tests can hold the accounting's names
// to the truth. The machine keeps its own copy of the rules on purpose: it is
// the reference the real ones are checked against.
namespace ExpectedRow {

// What the rules see of one process.
struct Facts {
  std::string path;
  std::vector<std::string> args;
  std::vector<std::pair<std::string, std::string>> env;
  std::optional<std::string> cwd;  // absent when not readable (another user's process)
  bool argsReadable = true;
  bool recordReadable = true;  // its BSD record (parent, terminal) is given
  bool tty = false;
  int parent = -1;  // index of the parent process, -1 for none (launchd)
  int responsible = -1;
  bool isOwn = false;
};

// The outermost ".app" bundle's name on the path, else the file name;
// nothing for an XPC service outside any app. `hasBundle` tells which.
struct PathName {
  std::string name;
  bool hasBundle = false;
};
std::optional<PathName> fromPath(std::string_view path);

std::string shortCommand(const std::vector<std::string>& args,
                         const std::optional<std::string>& cwd, std::size_t maxLength = 70);
std::optional<std::string> projectName(std::string_view folder, std::string_view home);

// The row name of process `i` among `all`.
std::string of(const std::vector<Facts>& all, std::size_t i, std::string_view home);

}  // namespace ExpectedRow

}  // namespace ebbwise::sim

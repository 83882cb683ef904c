#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ebbwise {

// Writing the command's output where a failure must not pass for success.
namespace StreamWriter {

// Writes all of `text` to the file descriptor `fd`, unbuffered, so every
// failure is seen here. Nothing on success; otherwise the system's reason ("No space left
// on device", "Broken pipe"). A reader that went away is a failed write, not
// a signal that kills the program.
std::optional<std::string> writeAll(int fd, std::string_view text);

}  // namespace StreamWriter

}  // namespace ebbwise

#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace ebbwise::linux_host {

// Reads the small text files of sysfs and procfs.
namespace SysfsFile {

// The file's bytes, at most `limit` of them; nothing when it cannot be
// opened or read, with the errno value in `error` when asked for.
std::optional<std::string> read(const std::string& path, std::size_t limit = 4096,
                                int* error = nullptr);

// The same into `buffer`, without allocating: the bytes read (to the end
// of the file, or as many as fit).
std::optional<std::string_view> read(const char* path, std::span<char> buffer);

// The first line of `text` without surrounding blanks.
std::string firstLine(std::string_view text);

// The file's first line without surrounding blanks; nothing when unreadable.
std::optional<std::string> readLine(const std::string& path);

// A whole decimal integer with an optional sign and surrounding blanks;
// nothing for empty, garbled, truncated-to-nothing or out-of-range text.
std::optional<std::int64_t> parseInteger(std::string_view text);

std::optional<std::int64_t> readInteger(const std::string& path);

}  // namespace SysfsFile

}  // namespace ebbwise::linux_host

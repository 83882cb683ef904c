#include "linux/proc_status.h"

#include <charconv>
#include <cstdint>

namespace ebbwise::linux_host {

std::optional<std::uint32_t> ProcStatus::realUid(std::string_view text) {
  constexpr std::string_view kKey = "Uid:";
  std::size_t at = text.starts_with(kKey) ? 0 : text.find("\nUid:");
  if (at == std::string_view::npos) return std::nullopt;
  if (text[at] == '\n') ++at;
  std::string_view rest = text.substr(at + kKey.size());
  rest = rest.substr(0, rest.find('\n'));
  const auto first = rest.find_first_not_of(" \t");
  if (first == std::string_view::npos) return std::nullopt;
  rest.remove_prefix(first);
  std::uint32_t uid = 0;
  const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), uid);
  if (error != std::errc{} || end == rest.data()) return std::nullopt;
  // The number must stand alone: "1000x" is not a uid.
  if (end != rest.data() + rest.size() && *end != ' ' && *end != '\t') return std::nullopt;
  // (uid_t)-1 means "no user" to the kernel's calls; no process runs as it.
  if (uid == UINT32_MAX) return std::nullopt;
  return uid;
}

}  // namespace ebbwise::linux_host

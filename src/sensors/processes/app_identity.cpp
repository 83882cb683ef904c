#include "sensors/processes/app_identity.h"

namespace ebbwise {

std::optional<AppIdentity> AppIdentity::fromPath(std::string_view path) {
  // The outermost bundle wins, so helpers and apps nested inside another app's
  // bundle are billed to the app the user launched.
  constexpr std::string_view suffix = ".app";
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    const auto piece = path.substr(start, end - start);
    // A piece that is only ".app" names no app; it would give an empty row.
    if (piece.size() > suffix.size() && piece.ends_with(suffix)) {
      return AppIdentity{std::string(piece.substr(0, piece.size() - suffix.size())),
                         std::string(path.substr(0, end)), false};
    }
    start = end + 1;
  }
  // An XPC service outside any app: the caller asks who is responsible for it.
  if (path.find(".xpc/") != std::string_view::npos) return std::nullopt;
  const auto slash = path.rfind('/');
  const auto name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  if (name.empty()) return std::nullopt;  // no file name to show
  return AppIdentity{std::string(name), std::nullopt, false};
}

}  // namespace ebbwise

#include "accounting/killable.h"

#include "accounting/app_share.h"

namespace ebbwise::Killable {

bool isUserStoppable(std::string_view row, const std::optional<std::string>& bundlePath,
                     bool isDevProcess) {
  if (AppShare::isGroup(row)) return false;
  if (isDevProcess) return true;
  if (!bundlePath) return false;
  const std::string& path = *bundlePath;
  if (!path.ends_with(".app")) return false;
  // Parts of macOS itself: quitting them would break the system or come back.
  if (path.find("/System/Library/") != std::string::npos) return false;
  if (path.find("/usr/") != std::string::npos) return false;
  return true;
}

}  // namespace ebbwise::Killable

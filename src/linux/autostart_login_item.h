#pragma once

#include <string>

#include "sys/login_item_service.h"

namespace ebbwise::linux_host {

// The login item of a Linux desktop: an XDG autostart entry,
// "autostart/ebbwise.desktop" under the user's configuration folder
// (normally ~/.config), which session managers start at login. There is one
// entry under one name, so registering never makes a second; registering
// an entry that is already there and enabled is refused as on a Mac, and
// one the user switched off in the desktop's settings ("Hidden" or
// "X-GNOME-Autostart-enabled=false") counts as waiting for the user's
// approval until registered again.
class AutostartLoginItem final : public sys::LoginItemService {
 public:
  // `configFolder`: the folder that holds "autostart"; `executable`: the
  // absolute path the entry starts.
  AutostartLoginItem(std::string configFolder, std::string executable,
                     std::string name = "Ebbwise");

  sys::LoginItemStatus status() override;
  std::optional<sys::PlatformError> registerItem() override;
  std::optional<sys::PlatformError> unregisterItem() override;

  const std::string& entryPath() const { return path_; }
  // The entry's text as registering writes it.
  std::string entry() const;

  // The Exec value that starts `path` with no arguments: quoted and escaped
  // as desktop entries want when the path needs it. Nothing for a path a
  // desktop entry cannot hold (a relative one, or one with control
  // characters).
  static std::optional<std::string> execValue(const std::string& path);

 private:
  std::string folder_;
  std::string path_;
  std::string executable_;
  std::string name_;
};

}  // namespace ebbwise::linux_host

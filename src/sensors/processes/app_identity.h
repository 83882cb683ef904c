#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ebbwise {

// Who a process belongs to: the row its energy is shown and stored under.
struct AppIdentity {
  std::string name;                       // row name
  std::optional<std::string> bundlePath;  // the app bundle, absent for bare executables
  bool isDevProcess = false;              // a developer tool or script run

  // The identity an executable path gives: the outermost ".app" bundle on the
  // path, else the file name; nothing for an XPC service outside any app or
  // for a path that ends without a file name.
  static std::optional<AppIdentity> fromPath(std::string_view path);

  friend bool operator==(const AppIdentity&, const AppIdentity&) = default;
};

}  // namespace ebbwise

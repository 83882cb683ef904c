#pragma once

#include <memory>
#include <optional>
#include <string>

#include "linux/icon_theme.h"
#include "sys/run_loop.h"
#include "sys/tool_runner.h"
#include "sys/workspace.h"

namespace ebbwise::linux_host {

// What a Linux desktop offers of the workspace: opening an address with the
// user's preferred application through `xdg-open`, when it is installed.
// The desktop posts no application or sleep notifications here, and names
// no application in front. `xdg-open` runs through the tool runner on a
// serial queue, so a slow handler never holds the loop; its exit status
// says whether the address was handed over. Files' icons come from the
// desktop entries and the icon theme (`IconTheme`).
class XdgWorkspace final : public sys::Workspace {
 public:
  // `opener`: the absolute path of xdg-open; absent: looked up where Debian
  // installs it. `icons`: where files' icons are found; none by default.
  XdgWorkspace(sys::RunLoop& loop, sys::ToolRunner& tools,
               std::optional<std::string> opener = std::nullopt, IconTheme icons = IconTheme());
  ~XdgWorkspace() override;

  sys::ObserverID addObserver(sys::WorkspaceNotification, sys::WorkspaceHandler) override {
    return ++lastObserver_;
  }
  void removeObserver(sys::ObserverID) override {}
  std::optional<sys::RunningApplication> frontmostApplication() override { return std::nullopt; }
  std::vector<sys::RunningApplication> runningApplications() override { return {}; }
  void open(std::string url, std::function<void(bool)> completion) override;
  std::optional<sys::Image> iconForFile(std::string_view path) override {
    return icons_.iconForFile(path);
  }

  // Whether `text` starts with a URL scheme, so that no opener reads it as
  // an option or a file name.
  static bool hasScheme(std::string_view text);

 private:
  sys::RunLoop& loop_;
  sys::ToolRunner& tools_;
  std::optional<std::string> opener_;
  IconTheme icons_;
  sys::ObserverID lastObserver_ = 0;
  std::unique_ptr<sys::SerialQueue> queue_;
};

}  // namespace ebbwise::linux_host

#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace ebbwise::ui::testing {

// An Xvfb server of the test's own, on a display number it picks itself,
// named in DISPLAY while it runs (and the former DISPLAY restored after).
class XServer {
 public:
  XServer(int width, int height);
  ~XServer();
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  bool running() const { return pid_ > 0 && !display_.empty(); }
  const std::string& display() const { return display_; }
  const std::string& error() const { return error_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
  std::string error_;
  std::optional<std::string> previous_;
};

// Runs a program (looked up in PATH) to its end; its standard output, or
// nothing when it could not be run or failed.
std::optional<std::string> run(const std::vector<std::string>& argv);

// The window with the keyboard focus, asked on a connection of our own; 0
// without a display.
unsigned long focusedWindow();

}  // namespace ebbwise::ui::testing

#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace ebbwise::sys {

// What one finished run of a tool left behind.
struct ToolRun {
  std::string output;             // everything the tool wrote to its standard output
  std::optional<int> exitStatus;  // its exit code; absent when a signal ended it
  bool timedOut = false;          // it ran past the time limit and was killed
  bool outputTruncated = false;   // it wrote more than the output limit and was killed

  friend bool operator==(const ToolRun&, const ToolRun&) = default;
};

// Runs the system's command-line tools: a program started by its absolute
// path with the given arguments (no shell, no search path), standard input
// and standard error on the null device, standard output read to its end,
// then waits for the program to exit.
//
// A run never blocks its caller for ever and never holds unbounded output:
// a tool still running `kTimeoutSeconds` after it started is killed (with any
// helpers it started in its process group) and reaped, and one that writes
// more than `kMaxOutputBytes` is killed likewise; the run then reports what
// was read so far with `timedOut` or `outputTruncated` set. Callers parse the
// output as they would any other and so treat such a run as a failed one.
// Safe to call from several threads at once; each call is one child.
class ToolRunner {
 public:
  static constexpr double kTimeoutSeconds = 60.0;
  static constexpr std::size_t kMaxOutputBytes = 32u << 20;

  virtual ~ToolRunner() = default;

  // Nothing when the program cannot be started (no such file, not
  // executable, a relative path, no resources).
  virtual std::optional<ToolRun> run(std::string_view path,
                                     std::span<const std::string> arguments) = 0;
};

// A platform without tools: nothing can be started.
class NoToolRunner final : public ToolRunner {
 public:
  std::optional<ToolRun> run(std::string_view, std::span<const std::string>) override {
    return std::nullopt;
  }
  // One stateless instance for providers that serve no tools.
  static NoToolRunner& instance() {
    static NoToolRunner none;
    return none;
  }
};

}  // namespace ebbwise::sys

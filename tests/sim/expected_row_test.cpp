#include "sim/expected_row.h"

#include <gtest/gtest.h>

namespace ebbwise::sim {
namespace {

using ExpectedRow::Facts;

TEST(ExpectedRowTest, PathsCommandsAndProjects) {
  // An XPC service outside any app has no name of its own.
  EXPECT_FALSE(ExpectedRow::fromPath("/usr/libexec/example.xpc/Contents/MacOS/example"));
  using Args = std::vector<std::string>;
  EXPECT_EQ(ExpectedRow::shortCommand({"python3", "-u", "/Users/me/p/app.py"}, "/x"),
            "python -u app.py");
  EXPECT_EQ(ExpectedRow::shortCommand({"/usr/bin/python3", "-"}, {}), "python (script piped in)");
  EXPECT_EQ(ExpectedRow::shortCommand({"python3"}, {}), "python (script piped in)");
  EXPECT_EQ(ExpectedRow::shortCommand({"node", "a\n  b"}, {}), "node a b");
  EXPECT_EQ(ExpectedRow::shortCommand(Args{}, {}), "?");
  EXPECT_EQ(ExpectedRow::shortCommand({std::string(100, 'x')}, {}),
            std::string(69, 'x') + "\u2026");
  EXPECT_EQ(ExpectedRow::projectName("/Users/me/code/webapp", "/Users/me"), "webapp");
  for (const char* folder : {"/Users/me", "/tmp/x", "/private/var/folders/ab/T"})
    EXPECT_EQ(ExpectedRow::projectName(folder, "/Users/me"), std::nullopt) << folder;
}

Facts facts(std::string path, std::optional<std::string> cwd = std::nullopt,
            std::vector<std::pair<std::string, std::string>> env = {}) {
  Facts f;
  f.args = {path};
  f.path = std::move(path);
  f.cwd = std::move(cwd);
  f.env = std::move(env);
  return f;
}

TEST(ExpectedRowTest, RowsFollowTheIdentityRules) {
  std::vector<std::pair<Facts, const char*>> cases = {
      {facts("/Applications/Safari.app/Contents/MacOS/Safari"), "Safari"},
      {facts("/Applications/Xcode.app/Contents/Applications/Simulator.app/Contents/MacOS/S"),
       "Xcode"},  // the outermost app
      {facts("/System/WebKit.framework/XPCServices/C.xpc/Contents/MacOS/C"), "Safari"},
      {facts("/usr/libexec/lonely.xpc/Contents/MacOS/lonely"), "lonely"},
      {facts("/opt/bin/node", "/Users/me/code/webapp", {{"TERM_PROGRAM", "Apple_Terminal"}}),
       "Webapp \u00B7 npm run dev"},
      {facts("/Users/me/.local/bin/claude", "/Users/me/code/api"), "Claude Code (Api)"},
      {facts("/bin/zsh", "/tmp/scratch", {{"CLAUDECODE", "1"}}), "Claude Code (Api)"},
      {facts("/bin/zsh", std::nullopt, {{"CLAUDECODE", "1"}}), "Claude Code (no project)"},
      {facts("/Applications/Docker.app/Contents/MacOS/com.docker.backend"), "com.docker.backend"},
      {facts("/usr/local/bin/node"), "node"},
      {facts("/usr/local/bin/node", "/Users/me"), "node"},  // a runtime, no project
      {facts("/usr/bin/login"), "login"},
      {facts("/bin/zsh", "/Users/me/code/web", {{"CLAUDECODE", "1"}}), "Claude Code (Web)"},
  };
  cases[2].first.responsible = 0;
  cases[4].first.args = {"npm", "run", "dev"};
  cases[5].first.tty = true;
  cases[6].first.parent = 5;  // an agent's shell, in a folder of its own
  cases[9].first.argsReadable = false;
  // An agent's shell behind another user's login: the walk up to the agent
  // stops at the record the kernel refuses, so the shell's own folder names it.
  cases[11].first.argsReadable = cases[11].first.recordReadable = false;
  cases[11].first.parent = 5;
  cases[12].first.parent = 11;
  std::vector<Facts> all;
  for (const auto& c : cases) all.push_back(c.first);
  for (std::size_t i = 0; i < all.size(); ++i)
    EXPECT_EQ(ExpectedRow::of(all, i, "/Users/me"), cases[i].second) << i;
}

}  // namespace
}  // namespace ebbwise::sim

#include "sim/expected_row.h"

#include <gtest/gtest.h>

namespace ebbwise::sim {
namespace {

using ExpectedRow::Facts;

TEST(ExpectedRowTest, PathNamesTheOutermostApp) {
  struct Case {
    const char* path;
    std::optional<std::string> name;
    bool bundle;
  };
  const Case cases[] = {
      {"/Applications/Safari.app/Contents/MacOS/Safari", "Safari", true},
      {"/Applications/Xcode.app/Contents/Developer/Applications/Simulator.app/Contents/MacOS/"
       "Simulator",
       "Xcode", true},
      {"/usr/libexec/example.xpc/Contents/MacOS/example", std::nullopt, false},
      {"/usr/sbin/cfprefsd", "cfprefsd", false},
      {"/Applications/Google Chrome.app/Contents/Frameworks/X.framework/Helpers/Google Chrome "
       "Helper (GPU).app/Contents/MacOS/h",
       "Google Chrome", true},
  };
  for (const auto& c : cases) {
    auto got = ExpectedRow::fromPath(c.path);
    EXPECT_EQ(got.has_value(), c.name.has_value()) << c.path;
    if (got && c.name) {
      EXPECT_EQ(got->name, *c.name);
      EXPECT_EQ(got->hasBundle, c.bundle);
    }
  }
}

TEST(ExpectedRowTest, ShortCommands) {
  struct Case {
    std::vector<std::string> args;
    std::optional<std::string> cwd;
    std::string expected;
  };
  const std::string hundred(100, 'x');
  const Case cases[] = {
      {{"python3", "-u", "/Users/me/proj/app.py"}, "/Users/me/proj", "python -u app.py"},
      {{"python3", "-u", "/Users/me/proj/app.py"}, "/elsewhere", "python -u app.py"},
      {{"/usr/bin/python3", "-"}, std::nullopt, "python (script piped in)"},
      {{"python3"}, std::nullopt, "python (script piped in)"},
      {{"/opt/homebrew/bin/claude", "--resume"}, std::nullopt, "Claude Code"},
      {{"npm", "run", "dev"}, std::nullopt, "npm run dev"},
      {{"node", "a\n  b"}, std::nullopt, "node a b"},
      {{}, std::nullopt, "?"},
      {{hundred}, std::nullopt, std::string(69, 'x') + "\u2026"},
  };
  for (const auto& c : cases) EXPECT_EQ(ExpectedRow::shortCommand(c.args, c.cwd), c.expected);
}

TEST(ExpectedRowTest, ProjectNames) {
  EXPECT_EQ(ExpectedRow::projectName("/Users/me/code/webapp", "/Users/me"), "webapp");
  EXPECT_EQ(ExpectedRow::projectName("/Users/me", "/Users/me"), std::nullopt);
  EXPECT_EQ(ExpectedRow::projectName("/tmp/x", "/Users/me"), std::nullopt);
  EXPECT_EQ(ExpectedRow::projectName("/private/var/folders/ab/T", "/Users/me"), std::nullopt);
}

Facts process(std::string path, std::vector<std::pair<std::string, std::string>> env = {},
              std::optional<std::string> cwd = std::nullopt, int parent = -1) {
  Facts f;
  f.path = std::move(path);
  f.args = {f.path};
  f.env = std::move(env);
  f.cwd = std::move(cwd);
  f.parent = parent;
  return f;
}

TEST(ExpectedRowTest, RowsFollowTheIdentityRules) {
  const std::string home = "/Users/me";
  std::vector<Facts> all;
  all.push_back(process("/Applications/Safari.app/Contents/MacOS/Safari"));  // 0
  Facts xpc = process(
      "/System/Library/Frameworks/WebKit.framework/XPCServices/com.apple.WebKit.WebContent.xpc/"
      "Contents/MacOS/com.apple.WebKit.WebContent");
  xpc.responsible = 0;
  all.push_back(xpc);                                                       // 1
  all.push_back(process("/usr/libexec/lonely.xpc/Contents/MacOS/lonely"));  // 2
  Facts node = process("/opt/homebrew/bin/node", {{"TERM_PROGRAM", "Apple_Terminal"}},
                       "/Users/me/code/webapp");
  node.args = {"npm", "run", "dev"};
  all.push_back(node);                           // 3
  all.push_back(process("/usr/sbin/cfprefsd"));  // 4
  Facts claude = process("/Users/me/.local/bin/claude", {}, "/Users/me/code/api");
  claude.tty = true;
  all.push_back(claude);                                                                 // 5
  all.push_back(process("/bin/zsh", {{"CLAUDECODE", "1"}}, "/tmp/scratch", 5));          // 6
  all.push_back(process("/Applications/Docker.app/Contents/MacOS/com.docker.backend"));  // 7
  Facts rootNode = process("/usr/local/bin/node");
  rootNode.argsReadable = false;
  all.push_back(rootNode);                                         // 8
  all.push_back(process("/usr/local/bin/node", {}, "/Users/me"));  // 9: a runtime without project
  Facts lost = process("/bin/zsh", {{"CLAUDECODE", "1"}}, std::nullopt);
  all.push_back(lost);  // 10: agent child with no claude parent and no folder

  const std::vector<std::string> expected = {"Safari",
                                             "Safari",
                                             "lonely",
                                             "Webapp \u00B7 npm run dev",
                                             "cfprefsd",
                                             "Claude Code (Api)",
                                             "Claude Code (Api)",
                                             "com.docker.backend",
                                             "node",
                                             "node",
                                             "Claude Code (no project)"};
  for (std::size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(ExpectedRow::of(all, i, home), expected[i]) << i;
  }
}

}  // namespace
}  // namespace ebbwise::sim

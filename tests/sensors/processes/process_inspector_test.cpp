#include "sensors/processes/process_inspector.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "support/fake_processes.h"
#include "support/stub_environment.h"

namespace ebbwise {
namespace {

using namespace std::string_literals;
using test::FakeProcesses;
using test::StubEnvironment;

// An argument area: argc in native order followed by `rest` as it stands.
std::vector<std::uint8_t> area(std::int32_t argc, const std::string& rest) {
  std::vector<std::uint8_t> bytes(sizeof argc);
  std::memcpy(bytes.data(), &argc, sizeof argc);
  bytes.insert(bytes.end(), rest.begin(), rest.end());
  return bytes;
}

CommandLine line(std::vector<std::string> arguments, CommandLine::Variables environment = {}) {
  return CommandLine{std::move(arguments), std::move(environment)};
}

TEST(CommandLineParse, HandlesEveryShapeOfArgumentArea) {
  const std::tuple<const char*, std::vector<std::uint8_t>, std::optional<CommandLine>> cases[] = {
      {"only argc", area(1, ""), std::nullopt},
      {"as the kernel writes it",
       test::procArgsBuffer("/usr/bin/python3", {"python3", "app.py"},
                            {"PATH=/usr/bin", "TERM_PROGRAM=vscode"}),
       line({"python3", "app.py"}, {{"TERM_PROGRAM", "vscode"}})},
      {"path without its NUL", area(2, "/usr/bin/python3"), line({})},
      {"negative argc", area(-5, "/x\0\0a\0TERM_PROGRAM=x\0"s), line({}, {{"TERM_PROGRAM", "x"}})},
      {"huge argc", area(INT_MAX, "/x\0a\0CLAUDECODE=1\0"s), line({"a", "CLAUDECODE=1"})},
      {"an empty string ends the environment", area(1, "/x\0a\0\0CLAUDECODE=1\0"s), line({"a"})},
      {"an unterminated last string counts", area(0, "/x\0CLAUDECODE=1"s),
       line({}, {{"CLAUDECODE", "1"}})},
      {"invalid UTF-8", area(2, "/x\0caf\xE9\0\xC0\xAF\0"s), line({"caf\uFFFD", "\uFFFD\uFFFD"})},
      {"only kept keys, split at the first '=', first value wins",
       area(0, "/x\0CLAUDECODE\0=1\0claudecode=1\0TERM_PROGRAM=a=b\0TERM_PROGRAM=c\0"s),
       line({}, {{"TERM_PROGRAM", "a=b"}})},
  };
  for (const auto& [name, bytes, expected] : cases) {
    EXPECT_EQ(CommandLine::parse(bytes), expected) << name;
  }
}

TEST(ProcessInspectorCommandLine, AbsentWhenTheKernelCallsFailOrLie) {
  const auto good = line({"node"}, {{"TERM_PROGRAM", "x"}});
  const std::tuple<const char*, std::optional<std::size_t>, std::optional<std::size_t>,
                   std::optional<CommandLine>>
      cases[] = {
          // name, answer of the sizing call, bytes the filling call claims, expected
          {"readable", {}, {}, good},
          {"size zero", 0, {}, std::nullopt},
          {"absurd size", 1ull << 40, {}, std::nullopt},
          {"claims more written than fits", {}, 1 << 30, good},
          {"writes too little", {}, 3, std::nullopt},
      };
  for (const auto& [name, size, written, expected] : cases) {
    FakeProcesses processes;
    processes.procArgsSizeAnswer = size;
    processes.procArgsWrittenAnswer = written;
    processes.add({.pid = 5, .path = "/bin/node", .argv = {{"node"}}, .env = {"TERM_PROGRAM=x"}});
    EXPECT_EQ(ProcessInspector::commandLine(processes, 5), expected) << name;
  }
}

TEST(ProcessInspectorWorkingFolder, OnlyAMeaningfulFolder) {
  const std::pair<std::optional<std::string>, std::optional<std::string>> cases[] = {
      {"/Users/me/proj\0stale"s, "/Users/me/proj"s},
      {"/"s, std::nullopt},
      {""s, std::nullopt},
      {"/" + std::string(2000, 'd'), "/" + std::string(1023, 'd')},
  };
  for (const auto& [raw, expected] : cases) {
    FakeProcesses processes;
    processes.add({.pid = 3, .cwd = raw});
    EXPECT_EQ(ProcessInspector::workingFolder(processes, 3), expected) << raw.value_or("-");
  }
}

TEST(ProcessInspectorShortCommand, ShortensPathsAndNamesKnownPrograms) {
  using Args = std::vector<std::string>;
  const std::tuple<Args, std::optional<std::string_view>, std::string> cases[] = {
      {{}, {}, "?"},
      {{"python3", "-u", "/Users/me/proj/app.py"}, "/Users/me/proj", "python -u app.py"},
      {{"node", "/Users/me/proj/src/index.js"}, "/Users/me/proj/", "node src/index.js"},
      // A sibling folder sharing the prefix is not the working folder.
      {{"node", "/Users/me/project2/a.js"}, "/Users/me/proj", "node a.js"},
      {{"/usr/bin/python3", "-"}, {}, "python (script piped in)"},
      {{"python3"}, {}, "python (script piped in)"},
      {{"/opt/homebrew/bin/claude", "--resume"}, {}, "Claude Code"},
      {{"sh", "-c", "npm run dev\n  && echo\tdone"}, {}, "sh -c npm run dev && echo done"},
      {{"ruby", "\u00A0x\u2028y\u3000"}, {}, "ruby x y"},  // Unicode white space
      {{"node", "/"}, {}, "node /"},
      {{"", " "}, {}, "?"},
  };
  for (const auto& [args, cwd, expected] : cases) {
    EXPECT_EQ(ProcessInspector::shortCommand(args, cwd), expected) << expected;
  }
}

TEST(ProcessInspectorShortCommand, CutsLongCommandsAtCharactersNotBytes) {
  const std::vector<std::string> ascii{"node", std::string(95, 'a')};  // 100 characters
  EXPECT_EQ(ProcessInspector::shortCommand(ascii, {}), "node " + std::string(64, 'a') + "\u2026");
  std::string wide;
  for (int i = 0; i < 50; ++i) wide += "\u00E9\U0001F600";
  const std::vector<std::string> args{"echo", wide};
  EXPECT_EQ(ProcessInspector::shortCommand(args, {}, 10),
            "echo \u00E9\U0001F600\u00E9\U0001F600\u2026");
  EXPECT_EQ(ProcessInspector::shortCommand(args, {}, 1), "\u2026");
  EXPECT_EQ(ProcessInspector::shortCommand(args, {}, 0), "");
}

TEST(ProcessInspectorLauncher, NamesHostsAndCodingAgents) {
  const std::pair<CommandLine::Variables, std::optional<std::string>> cases[] = {
      {{{"TERM_PROGRAM", "WezTerm"}}, "WezTerm"},
      {{{"TERM_PROGRAM", ""}}, std::nullopt},
      {{{"__CFBundleIdentifier", "com.mitchellh.ghostty"}, {"TERM_PROGRAM", "vscode"}}, "Ghostty"},
      {{{"CURSOR_TRACE_ID", ""}, {"__CFBundleIdentifier", "com.microsoft.VSCode"}}, "Cursor"},
      {{{"CLAUDECODE", "1"}, {"TERM_PROGRAM", "iTerm.app"}}, "Claude Code in iTerm"},
      {{{"CLAUDECODE", "1"}, {"CLAUDE_CODE_ENTRYPOINT", "claude-desktop"}},
       "Claude Code (desktop app)"},
      {{{"CLAUDECODE", "0"}, {"TERM_PROGRAM", "ghostty"}}, "Ghostty"},
  };
  for (const auto& [env, expected] : cases) {
    EXPECT_EQ(ProcessInspector::launcherName(env), expected) << expected.value_or("nothing");
  }
}

TEST(ProcessInspectorPaths, HomeFolderAndProjects) {
  const std::tuple<const char*, std::optional<std::string_view>, std::string,
                   std::optional<std::string>>
      cases[] = {
          {"/Users/me/proj", "/Users/me/", "~/proj", "proj"},
          {"/Users/me/", "/Users/me", "~/", std::nullopt},
          {"/Users/me2/proj", "/Users/me", "/Users/me2/proj", "proj"},
          {"/Users/me/proj", "/", "/Users/me/proj", "proj"},
          {"/tmp/x", "/Users/me", "/tmp/x", std::nullopt},
          {"/tmpwork/site/", {}, "/tmpwork/site/", "site"},
      };
  for (const auto& [path, home, display, project] : cases) {
    EXPECT_EQ(ProcessInspector::displayPath(path, home), display) << path;
    EXPECT_EQ(ProcessInspector::projectName(path, home), project) << path;
  }
}

TEST(ProcessInspectorDetails, DescribesTheProcess) {
  FakeProcesses processes;
  StubEnvironment environment;
  auto& npm = processes.add({.pid = 20,
                             .path = "/usr/local/bin/npm",
                             .bsd = sys::BSDInfo{.parentPid = 1,
                                                 .startSeconds = 1'700'000'000,
                                                 .startMicroseconds = 999'999},
                             .cwd = "/Users/me/webapp",
                             .argv = {{"npm", "run", "dev"}},
                             .env = {"TERM_PROGRAM=vscode"}});
  const ProcessDetails expected{.pid = 20,
                                .command = "npm run dev",
                                .folder = "~/webapp",
                                .project = "webapp",
                                .started = sys::Date{1'700'000'000},
                                .launcher = "VS Code",
                                .isOrphaned = true,
                                .claudeSession = std::nullopt};
  EXPECT_EQ(ProcessInspector::details(processes, environment, 20), expected);
  EXPECT_EQ(ProcessInspector::rowName(expected), "Webapp \u00B7 npm run dev");

  // Without a launcher variable a controlling terminal names one, but not the
  // "no terminal" value; a process nothing launched is not an orphan.
  npm.env.clear();
  npm.bsd->terminalDevice = 0x10000004;
  EXPECT_EQ(ProcessInspector::details(processes, environment, 20)->launcher, "a terminal");
  npm.bsd->terminalDevice = 0xFFFFFFFF;
  EXPECT_FALSE(ProcessInspector::details(processes, environment, 20)->isOrphaned);

  npm.argv.reset();  // unreadable arguments: no details at all
  EXPECT_EQ(ProcessInspector::details(processes, environment, 20), std::nullopt);
}

// pid i's parent is i - 1, for pids 2 up to 1 + length; `claudeAt` runs "claude".
FakeProcesses chain(int length, int claudeAt) {
  FakeProcesses processes;
  for (sys::Pid pid = 2; pid < 2 + length; ++pid) {
    processes.add({.pid = pid,
                   .path = pid == claudeAt ? "/opt/homebrew/bin/claude" : "/bin/zsh",
                   .bsd = sys::BSDInfo{.parentPid = pid - 1},
                   .cwd = "/Users/me/p" + std::to_string(pid)});
  }
  return processes;
}

TEST(ProcessInspectorClaudeSession, WalksUpTheParentChainWithinLimits) {
  auto near = chain(10, 5);
  EXPECT_EQ(ProcessInspector::claudeSessionFolder(near, 11), "/Users/me/p5");
  EXPECT_EQ(ProcessInspector::claudeSessionFolder(near, 4), std::nullopt);  // stops below 2
  // Sixteen processes are looked at, not seventeen.
  auto far = chain(30, 3);
  EXPECT_EQ(ProcessInspector::claudeSessionFolder(far, 18), "/Users/me/p3");
  EXPECT_EQ(ProcessInspector::claudeSessionFolder(far, 19), std::nullopt);

  FakeProcesses loops;
  loops.add({.pid = 30, .path = "/bin/sh", .bsd = sys::BSDInfo{.parentPid = 30}});
  loops.add({.pid = 31, .path = "/bin/sh", .bsd = sys::BSDInfo{.parentPid = 32}});
  loops.add({.pid = 32, .path = "/bin/sh", .bsd = sys::BSDInfo{.parentPid = 31}});
  EXPECT_EQ(ProcessInspector::claudeSessionFolder(loops, 30), std::nullopt);
  EXPECT_EQ(ProcessInspector::claudeSessionFolder(loops, 31), std::nullopt);
}

TEST(ProcessInspectorClaudeSession, FallsBackToTheProcessFolder) {
  FakeProcesses processes;
  StubEnvironment environment;
  // The claude process sits in "/", which names no folder; the tool's own folder names the session.
  processes.add({.pid = 40, .path = "/opt/homebrew/bin/claude", .cwd = "/"});
  auto& git = processes.add({.pid = 41,
                             .path = "/usr/bin/git",
                             .bsd = sys::BSDInfo{.parentPid = 40},
                             .cwd = "/Users/me/\u00E9cole",
                             .argv = {{"git", "status"}},
                             .env = {"CLAUDECODE=1"}});
  EXPECT_EQ(ProcessInspector::rowName(*ProcessInspector::details(processes, environment, 41)),
            "Claude Code (\u00C9cole)");
  git.cwd = "/Users/me";
  EXPECT_EQ(ProcessInspector::details(processes, environment, 41)->claudeSession, "no project");
}

}  // namespace
}  // namespace ebbwise

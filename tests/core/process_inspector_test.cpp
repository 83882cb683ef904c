#include "core/process_inspector.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "core/runtime_logo.h"
#include "core/utf8.h"
#include "support/fake_processes.h"

namespace ebbwise {
namespace {

using namespace std::string_literals;
using testing::FakeProcess;
using testing::FakeProcesses;
using testing::StubEnvironment;

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
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    std::optional<CommandLine> expected;
  };
  const Case cases[] = {
      {"empty", {}, std::nullopt},
      {"only argc", area(1, ""), std::nullopt},
      {"as the kernel writes it",
       testing::procArgsBuffer("/usr/bin/python3", {"python3", "app.py"},
                               {"PATH=/usr/bin", "TERM_PROGRAM=vscode", "HOME=/Users/me"}),
       line({"python3", "app.py"}, {{"TERM_PROGRAM", "vscode"}})},
      {"path without its NUL", area(2, "/usr/bin/python3"), line({})},
      {"path then only padding", area(2, "/bin/x\0\0\0\0"s), line({})},
      {"strings without padding", area(1, "/bin/x\0x\0CLAUDECODE=1\0"s),
       line({"x"}, {{"CLAUDECODE", "1"}})},
      {"negative argc makes every string environment",
       area(-5, "/bin/x\0\0a\0TERM_PROGRAM=ghostty\0"s), line({}, {{"TERM_PROGRAM", "ghostty"}})},
      {"huge argc makes every string an argument", area(INT_MAX, "/bin/x\0a\0CLAUDECODE=1\0"s),
       line({"a", "CLAUDECODE=1"})},
      {"argc larger than the strings", area(3, "/bin/x\0a\0"s), line({"a"})},
      {"an empty string ends the environment",
       area(1, "/bin/x\0a\0TERM_PROGRAM=x\0\0CLAUDECODE=1\0"s),
       line({"a"}, {{"TERM_PROGRAM", "x"}})},
      {"an unterminated last string still counts", area(1, "/bin/x\0a\0CLAUDECODE=1"s),
       line({"a"}, {{"CLAUDECODE", "1"}})},
      {"invalid UTF-8 is replaced", area(2, "/bin/x\0caf\xE9\0\xC0\xAF\0"s),
       line({"caf\uFFFD", "\uFFFD\uFFFD"})},
      {"strings without '=' and unknown keys are dropped",
       area(0, "/bin/x\0CLAUDECODE\0=1\0claudecode=1\0TERM_PROGRAM=a=b\0CLAUDECODE=\0"s),
       line({}, {{"TERM_PROGRAM", "a=b"}, {"CLAUDECODE", ""}})},
      {"a repeated variable keeps its first value",
       area(0, "/bin/x\0TERM_PROGRAM=first\0TERM_PROGRAM=second\0"s),
       line({}, {{"TERM_PROGRAM", "first"}})},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CommandLine::parse(c.bytes), c.expected) << c.name;
  }
}

TEST(ProcessInspectorCommandLine, AbsentWhenTheKernelCallsFailOrLie) {
  struct Case {
    const char* name;
    std::function<void(FakeProcesses&, FakeProcess&)> setUp;
    std::optional<CommandLine> expected;
  };
  const auto good = line({"node", "x.js"}, {{"TERM_PROGRAM", "vscode"}});
  const Case cases[] = {
      {"readable", [](FakeProcesses&, FakeProcess&) {}, good},
      {"unreadable", [](FakeProcesses&, FakeProcess& p) { p.argv.reset(); }, std::nullopt},
      {"size zero", [](FakeProcesses& f, FakeProcess&) { f.procArgsSizeAnswer = 0; }, std::nullopt},
      {"absurd size", [](FakeProcesses& f, FakeProcess&) { f.procArgsSizeAnswer = 1ull << 40; },
       std::nullopt},
      {"claims to write more than the buffer",
       [](FakeProcesses& f, FakeProcess&) { f.procArgsWrittenAnswer = 1ull << 30; }, good},
      {"writes too little to parse",
       [](FakeProcesses& f, FakeProcess&) { f.procArgsWrittenAnswer = 3; }, std::nullopt},
      {"area shorter than the size promised",
       [](FakeProcesses& f, FakeProcess&) { f.procArgsSizeAnswer = 4096; }, good},
      {"area cut inside the arguments",
       [](FakeProcesses&, FakeProcess& p) {
         p.corruptProcArgs = [](std::vector<std::uint8_t>& b) { b.resize(24 + 5 + 2); };
       },
       line({"node", "x."})},
      {"garbage after argc",
       [](FakeProcesses&, FakeProcess& p) {
         p.corruptProcArgs = [](std::vector<std::uint8_t>& b) {
           for (std::size_t i = 4; i < b.size(); ++i) b[i] = 0xFF;
         };
       },
       line({})},
  };
  for (const auto& c : cases) {
    FakeProcesses processes;
    FakeProcess process{.pid = 5,
                        .path = "/usr/local/bin/node",
                        .argv = {{"node", "x.js"}},
                        .env = {"TERM_PROGRAM=vscode", "SHELL=/bin/zsh"}};
    c.setUp(processes, process);
    processes.add(std::move(process));
    EXPECT_EQ(ProcessInspector::commandLine(processes, 5), c.expected) << c.name;
  }
}

TEST(ProcessInspectorWorkingFolder, OnlyAMeaningfulFolder) {
  struct Case {
    std::optional<std::string> raw;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"/Users/me/proj"s, "/Users/me/proj"s},
      {"/Users/me/proj\0stale bytes"s, "/Users/me/proj"s},
      {"/"s, std::nullopt},
      {""s, std::nullopt},
      {std::nullopt, std::nullopt},
      {"/Users/me/\xFF"s, "/Users/me/\uFFFD"s},
      {"/" + std::string(2000, 'd'), "/" + std::string(1023, 'd')},
  };
  for (const auto& c : cases) {
    FakeProcesses processes;
    processes.add(FakeProcess{.pid = 3, .cwd = c.raw});
    EXPECT_EQ(ProcessInspector::workingFolder(processes, 3), c.expected) << c.raw.value_or("-");
  }
}

TEST(ProcessInspectorShortCommand, ShortensPathsAndNamesKnownPrograms) {
  struct Case {
    std::vector<std::string> args;
    std::optional<std::string> cwd;
    std::string expected;
  };
  const Case cases[] = {
      {{}, std::nullopt, "?"},
      {{"python3", "-u", "/Users/me/proj/app.py"}, "/Users/me/proj", "python -u app.py"},
      {{"python3", "-u", "/Users/me/proj/app.py"}, "/Users/me/other", "python -u app.py"},
      {{"node", "/Users/me/proj/src/index.js"}, "/Users/me/proj", "node src/index.js"},
      {{"node", "/Users/me/proj/src/index.js"}, "/Users/me/proj/", "node src/index.js"},
      // The working folder is matched by whole components.
      {{"node", "/Users/me/project2/a.js"}, "/Users/me/proj", "node a.js"},
      {{"/usr/bin/python3", "-"}, std::nullopt, "python (script piped in)"},
      {{"python3"}, std::nullopt, "python (script piped in)"},
      {{"/usr/bin/Python"}, std::nullopt, "python (script piped in)"},
      {{"python3.12", "manage.py", "runserver"}, std::nullopt, "python manage.py runserver"},
      {{"python2", "x.py"}, std::nullopt, "python2 x.py"},
      {{"/bin/cat", "-"}, std::nullopt, "cat (script piped in)"},
      {{"/opt/homebrew/bin/claude", "--resume", "abc"}, std::nullopt, "Claude Code"},
      {{"codex"}, std::nullopt, "Codex"},
      {{"/usr/local/bin/cursor-agent", "-p"}, std::nullopt, "Cursor Agent"},
      {{"sh", "-c", "npm run dev\n  && echo\tdone"},
       std::nullopt,
       "sh -c npm run dev && echo done"},
      {{"ruby", "\u00A0x\u2028y\u3000"}, std::nullopt, "ruby x y"},
      {{"/"}, std::nullopt, "/"},
      {{"", " "}, std::nullopt, "?"},
      {{"node", "/"}, std::nullopt, "node /"},
  };
  for (const auto& c : cases) {
    std::optional<std::string_view> cwd;
    if (c.cwd) cwd = *c.cwd;
    EXPECT_EQ(ProcessInspector::shortCommand(c.args, cwd), c.expected)
        << (c.args.empty() ? "" : c.args.front());
  }
}

TEST(ProcessInspectorShortCommand, CutsLongCommandsAtCharactersNotBytes) {
  const std::vector<std::string> ascii{"node", std::string(95, 'a')};  // 100 characters
  const auto cut = ProcessInspector::shortCommand(ascii, std::nullopt, 70);
  EXPECT_EQ(cut, "node " + std::string(64, 'a') + "\u2026");
  EXPECT_EQ(Utf8::length(cut), 70u);

  // Two- and four-byte characters: the cut counts them once each and never
  // splits one.
  std::string wide;
  for (int i = 0; i < 50; ++i) wide += "\u00E9\U0001F600";
  const auto cutWide =
      ProcessInspector::shortCommand(std::vector<std::string>{"echo", wide}, std::nullopt, 10);
  EXPECT_EQ(cutWide, "echo \u00E9\U0001F600\u00E9\U0001F600\u2026");
  EXPECT_EQ(Utf8::decode(cutWide), cutWide);

  const std::vector<std::string> exact{"node", std::string(65, 'a')};  // exactly 70
  EXPECT_EQ(Utf8::length(ProcessInspector::shortCommand(exact, std::nullopt, 70)), 70u);
  EXPECT_EQ(ProcessInspector::shortCommand(exact, std::nullopt, 0), "");
  EXPECT_EQ(ProcessInspector::shortCommand(exact, std::nullopt, 1), "\u2026");
}

TEST(ProcessInspectorLauncher, NamesHostsAndCodingAgents) {
  struct Case {
    CommandLine::Variables env;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {{}, std::nullopt},
      {{{"TERM_PROGRAM", "Apple_Terminal"}}, "Terminal"},
      {{{"TERM_PROGRAM", "WezTerm"}}, "WezTerm"},
      {{{"TERM_PROGRAM", ""}}, std::nullopt},
      {{{"__CFBundleIdentifier", "com.mitchellh.ghostty"}}, "Ghostty"},
      {{{"__CFBundleIdentifier", "com.example.unknown"}}, std::nullopt},
      {{{"__CFBundleIdentifier", "dev.zed.Zed"}, {"TERM_PROGRAM", "vscode"}}, "Zed"},
      {{{"__CFBundleIdentifier", "com.example.unknown"}, {"TERM_PROGRAM", "vscode"}}, "VS Code"},
      {{{"CURSOR_TRACE_ID", ""}, {"__CFBundleIdentifier", "com.microsoft.VSCode"}}, "Cursor"},
      {{{"CLAUDECODE", "1"}, {"TERM_PROGRAM", "iTerm.app"}}, "Claude Code in iTerm"},
      {{{"CLAUDECODE", "1"},
        {"TERM_PROGRAM", "iTerm.app"},
        {"CLAUDE_CODE_ENTRYPOINT", "claude-desktop"}},
       "Claude Code (desktop app)"},
      {{{"CLAUDECODE", "1"}}, "Claude Code"},
      {{{"CLAUDECODE", "0"}, {"TERM_PROGRAM", "ghostty"}}, "Ghostty"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ProcessInspector::launcherName(c.env), c.expected)
        << (c.env.empty() ? "" : c.env.begin()->first + "=" + c.env.begin()->second);
  }
}

TEST(ProcessInspectorPaths, HomeFolderAndProjects) {
  struct Case {
    const char* path;
    std::optional<std::string> home;
    std::string display;
    std::optional<std::string> project;
  };
  const Case cases[] = {
      {"/Users/me/proj", "/Users/me", "~/proj", "proj"},
      {"/Users/me", "/Users/me", "~", std::nullopt},
      {"/Users/me/", "/Users/me", "~/", std::nullopt},
      {"/Users/me/proj", "/Users/me/", "~/proj", "proj"},
      // Another user whose name starts with ours is not under our home.
      {"/Users/me2/proj", "/Users/me", "/Users/me2/proj", "proj"},
      {"/Users/me/proj", std::nullopt, "/Users/me/proj", "proj"},
      {"/Users/me", std::nullopt, "/Users/me", "me"},
      {"/Users/me/proj", "", "/Users/me/proj", "proj"},
      {"/Users/me/proj", "/", "/Users/me/proj", "proj"},
      {"/tmp", "/Users/me", "/tmp", std::nullopt},
      {"/tmp/x", "/Users/me", "/tmp/x", std::nullopt},
      {"/private/tmp/x", "/Users/me", "/private/tmp/x", std::nullopt},
      {"/private/var/folders/ab/T/x", "/Users/me", "/private/var/folders/ab/T/x", std::nullopt},
      {"/tmpwork/site", "/Users/me", "/tmpwork/site", "site"},
      {"/srv/site/", "/Users/me", "/srv/site/", "site"},
      {"/", "/Users/me", "/", std::nullopt},
  };
  for (const auto& c : cases) {
    std::optional<std::string_view> home;
    if (c.home) home = *c.home;
    EXPECT_EQ(ProcessInspector::displayPath(c.path, home), c.display) << c.path;
    EXPECT_EQ(ProcessInspector::projectName(c.path, home), c.project) << c.path;
  }
}

TEST(ProcessInspectorDetails, DescribesTheProcess) {
  FakeProcesses processes;
  StubEnvironment environment;
  processes.add({.pid = 20,
                 .path = "/usr/local/bin/npm",
                 .bsd = sys::BSDInfo{.parentPid = 1,
                                     .terminalDevice = 0,
                                     .startSeconds = 1'700'000'000,
                                     .startMicroseconds = 999'999},
                 .cwd = "/Users/me/webapp",
                 .argv = {{"npm", "run", "dev"}},
                 .env = {"TERM_PROGRAM=vscode", "PATH=/bin"}});

  ProcessDetails expected;
  expected.pid = 20;
  expected.command = "npm run dev";
  expected.folder = "~/webapp";
  expected.project = "webapp";
  expected.started = sys::Date{1'700'000'000};
  expected.launcher = "VS Code";
  expected.isOrphaned = true;
  EXPECT_EQ(ProcessInspector::details(processes, environment, 20), expected);
  EXPECT_EQ(ProcessInspector::rowName(expected), "Webapp \u00B7 npm run dev");
}

TEST(ProcessInspectorDetails, LauncherAndOrphanFollowTheBsdRecord) {
  struct Case {
    const char* name;
    std::optional<sys::BSDInfo> bsd;
    std::vector<std::string> env;
    std::optional<std::string> launcher;
    bool orphaned;
    std::optional<sys::Date> started;
  };
  const Case cases[] = {
      {"orphan without a launcher",
       sys::BSDInfo{.parentPid = 1, .startSeconds = 5},
       {},
       std::nullopt,
       false,
       sys::Date{5}},
      {"controlling terminal",
       sys::BSDInfo{.parentPid = 1, .terminalDevice = 0x10000004},
       {},
       "a terminal",
       true,
       sys::Date{0}},
      {"no terminal device",
       sys::BSDInfo{.parentPid = 300, .terminalDevice = 0xFFFFFFFF},
       {},
       std::nullopt,
       false,
       sys::Date{0}},
      {"environment wins over terminal",
       sys::BSDInfo{.parentPid = 300, .terminalDevice = 7},
       {"TERM_PROGRAM=ghostty"},
       "Ghostty",
       false,
       sys::Date{0}},
      {"record unreadable", std::nullopt, {"TERM_PROGRAM=ghostty"}, "Ghostty", false, std::nullopt},
  };
  for (const auto& c : cases) {
    FakeProcesses processes;
    StubEnvironment environment;
    processes.add(
        {.pid = 8, .path = "/bin/sleep", .bsd = c.bsd, .argv = {{"sleep"}}, .env = c.env});
    const auto details = ProcessInspector::details(processes, environment, 8);
    ASSERT_TRUE(details) << c.name;
    EXPECT_EQ(details->launcher, c.launcher) << c.name;
    EXPECT_EQ(details->isOrphaned, c.orphaned) << c.name;
    EXPECT_EQ(details->started, c.started) << c.name;
  }
}

TEST(ProcessInspectorDetails, AbsentOnlyWhenTheArgumentsCannotBeRead) {
  FakeProcesses processes;
  StubEnvironment environment;
  processes.add({.pid = 8, .path = "/bin/sleep", .bsd = sys::BSDInfo{}, .cwd = "/Users/me/x"});
  EXPECT_EQ(ProcessInspector::details(processes, environment, 8), std::nullopt);
  EXPECT_EQ(ProcessInspector::details(processes, environment, 9), std::nullopt);

  // Everything else missing still gives details.
  processes.add({.pid = 10, .argv = {{"x"}}});
  const auto details = ProcessInspector::details(processes, environment, 10);
  ASSERT_TRUE(details);
  EXPECT_EQ(details->command, "x");
  EXPECT_EQ(details->folder, std::nullopt);
  EXPECT_EQ(details->claudeSession, std::nullopt);
}

// A chain of processes: pid i's parent is i - 1, with a "claude" at `claudeAt`.
FakeProcesses chain(int length, int claudeAt) {
  FakeProcesses processes;
  for (sys::Pid pid = 2; pid < 2 + length; ++pid) {
    const bool claude = pid == claudeAt;
    processes.add({.pid = pid,
                   .path = claude ? "/opt/homebrew/bin/claude" : "/bin/zsh",
                   .bsd = sys::BSDInfo{.parentPid = pid - 1},
                   .cwd = "/Users/me/p" + std::to_string(pid)});
  }
  return processes;
}

TEST(ProcessInspectorClaudeSession, WalksUpTheParentChainWithinLimits) {
  auto near = chain(10, 5);
  EXPECT_EQ(ProcessInspector::claudeSessionFolder(near, 11), "/Users/me/p5");
  EXPECT_EQ(ProcessInspector::claudeSessionFolder(near, 5), "/Users/me/p5");
  EXPECT_EQ(ProcessInspector::claudeSessionFolder(near, 4), std::nullopt);  // stops below 2

  // Sixteen processes are looked at, the seventeenth is not.
  auto far = chain(30, 3);
  EXPECT_EQ(ProcessInspector::claudeSessionFolder(far, 18), "/Users/me/p3");
  EXPECT_EQ(ProcessInspector::claudeSessionFolder(far, 19), std::nullopt);

  FakeProcesses loops;
  loops.add({.pid = 30, .path = "/bin/sh", .bsd = sys::BSDInfo{.parentPid = 30}});
  loops.add({.pid = 31, .path = "/bin/sh", .bsd = sys::BSDInfo{.parentPid = 32}});
  loops.add({.pid = 32, .path = "/bin/sh", .bsd = sys::BSDInfo{.parentPid = 31}});
  loops.add({.pid = 33, .path = "/bin/sh"});  // no BSD record
  EXPECT_EQ(ProcessInspector::claudeSessionFolder(loops, 30), std::nullopt);
  EXPECT_EQ(ProcessInspector::claudeSessionFolder(loops, 31), std::nullopt);
  EXPECT_EQ(ProcessInspector::claudeSessionFolder(loops, 33), std::nullopt);
}

TEST(ProcessInspectorClaudeSession, FallsBackToTheProcessFolder) {
  FakeProcesses processes;
  StubEnvironment environment;
  // The claude process sits in "/", which is no folder; the tool's own folder names the session.
  processes.add({.pid = 40, .path = "/opt/homebrew/bin/claude", .cwd = "/"});
  processes.add({.pid = 41,
                 .path = "/usr/bin/git",
                 .bsd = sys::BSDInfo{.parentPid = 40},
                 .cwd = "/Users/me/\u00E9cole",
                 .argv = {{"git", "status"}},
                 .env = {"CLAUDECODE=1"}});
  const auto details = ProcessInspector::details(processes, environment, 41);
  ASSERT_TRUE(details);
  EXPECT_EQ(details->claudeSession, "\u00C9cole");
  EXPECT_EQ(details->launcher, "Claude Code");

  processes.find(41)->cwd = "/Users/me";
  EXPECT_EQ(ProcessInspector::details(processes, environment, 41)->claudeSession, "no project");
}

TEST(ProcessInspectorClaude, RecognisesTheCliAndItsChildren) {
  FakeProcesses processes;
  processes.add({.pid = 1, .path = "/opt/homebrew/bin/claude", .argv = {{"claude"}}});
  processes.add({.pid = 2, .path = "/bin/zsh", .argv = {{"zsh"}}, .env = {"CLAUDECODE=1"}});
  processes.add({.pid = 3, .path = "/bin/zsh", .argv = {{"zsh"}}, .env = {"CLAUDECODE=yes"}});
  processes.add({.pid = 4, .path = "/bin/claude-helper"});
  EXPECT_TRUE(ProcessInspector::isClaudeCLI(processes, 1));
  EXPECT_FALSE(ProcessInspector::isClaudeCLI(processes, 4));
  EXPECT_FALSE(ProcessInspector::isClaudeCLI(processes, 9));
  EXPECT_FALSE(ProcessInspector::startedByClaudeCode(processes, 1));
  EXPECT_TRUE(ProcessInspector::startedByClaudeCode(processes, 2));
  EXPECT_FALSE(ProcessInspector::startedByClaudeCode(processes, 3));
  EXPECT_FALSE(ProcessInspector::startedByClaudeCode(processes, 4));  // unreadable
}

TEST(ProcessInspectorRowName, ComposesAndSplits) {
  ProcessDetails d;
  d.command = "npm run dev";
  EXPECT_EQ(ProcessInspector::rowName(d), "npm run dev");
  d.project = "webapp";
  EXPECT_EQ(ProcessInspector::rowName(d), "Webapp \u00B7 npm run dev");
  d.claudeSession = "Shop";
  EXPECT_EQ(ProcessInspector::rowName(d), "Claude Code (Shop)");

  struct Case {
    const char* name;
    ProcessInspector::RowNameParts expected;
  };
  const Case cases[] = {
      {"Webapp \u00B7 npm run dev", {"Webapp", "npm run dev"}},
      {"A \u00B7 b \u00B7 c", {"A", "b \u00B7 c"}},
      {"node server.js", {"node server.js", std::nullopt}},
      {"a\u00B7b", {"a\u00B7b", std::nullopt}},
      {"X \u00B7 ", {"X", ""}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ProcessInspector::splitRowName(c.name), c.expected) << c.name;
  }
}

TEST(RuntimeLogoTest, PicksTheLogoByTheFirstWord) {
  using RuntimeLogo::Logo;
  const Logo python{"python", 0x4B8BBE}, node{"nodedotjs", 0x5FA04E}, rust{"rust", 0xDEA584},
      ruby{"ruby", 0xCC342D}, bun{"bun", 0xFBF0DF}, java{"openjdk", 0xF89820};
  struct Case {
    const char* command;
    std::optional<Logo> expected;
  };
  const Case cases[] = {
      {"python -u app.py", python},  {"python3.12 x", python},
      {"Python x", python},          {"next-server (v14)", node},
      {"npm run dev", node},         {"  NODE x", node},
      {"cargo build", rust},         {"rustc x.rs", rust},
      {"bundle exec rails s", ruby}, {"bunx x", bun},
      {"java -jar x", java},         {"gunicorn app:app", std::nullopt},
      {"nodemon", std::nullopt},     {"", std::nullopt},
      {"   ", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RuntimeLogo::forCommand(c.command), c.expected) << c.command;
  }
}

TEST(RuntimeLogoTest, HueOfTheBrandColour) {
  struct Case {
    std::uint32_t rgb;
    double hue;
  };
  const Case cases[] = {
      {0xFF0000, 0.0},     {0x00FF00, 1.0 / 3},   {0x0000FF, 2.0 / 3},
      {0xFF00FF, 5.0 / 6}, {0xFFFFFF, 0.0},       {0x000000, 0.0},
      {0x808080, 0.0},     {0x4B8BBE, 0.5739130}, {0x00ADD8, 0.5331790},
  };
  for (const auto& c : cases) {
    EXPECT_NEAR(RuntimeLogo::hue({"x", c.rgb}), c.hue, 1e-6) << std::hex << c.rgb;
  }
}

}  // namespace
}  // namespace ebbwise

#include "core/process_inspector.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>

#include "core/runtime_logo.h"
#include "core/utf8.h"
#include "support/fake_processes.h"

namespace ebbwise {
namespace {

using namespace std::string_literals;
using test::FakeProcess;
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
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    std::optional<CommandLine> expected;
  };
  const Case cases[] = {
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
  for (const auto& c : cases) EXPECT_EQ(CommandLine::parse(c.bytes), c.expected) << c.name;
}

TEST(CommandLineParse, AnyBytesGiveValidTextOrNothing) {
  std::mt19937 random(7);
  const std::uint8_t alphabet[] = {0, 0, '=', 'A', 'C', 0x80, 0xC3, 0xE2, 0xF0, 0xFF};
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::uint8_t> bytes(random() % 48);
    for (auto& b : bytes) b = round % 2 ? alphabet[random() % std::size(alphabet)] : random();
    const auto parsed = CommandLine::parse(bytes);
    if (!parsed) continue;
    for (const auto& argument : parsed->arguments) EXPECT_EQ(Utf8::decode(argument), argument);
    for (const auto& [key, value] : parsed->environment) EXPECT_EQ(Utf8::decode(value), value);
  }
}

TEST(ProcessInspectorCommandLine, AbsentOrCutWhenTheKernelCallsFailOrLie) {
  struct Case {
    const char* name;
    std::function<void(FakeProcesses&, FakeProcess&)> setUp;
    std::optional<CommandLine> expected;
  };
  const auto good = line({"node", "x.js"}, {{"TERM_PROGRAM", "vscode"}});
  const Case cases[] = {
      {"readable", [](auto&, auto&) {}, good},
      {"unreadable", [](auto&, auto& p) { p.argv.reset(); }, std::nullopt},
      {"size zero", [](auto& f, auto&) { f.procArgsSizeAnswer = 0; }, std::nullopt},
      {"absurd size", [](auto& f, auto&) { f.procArgsSizeAnswer = 1ull << 40; }, std::nullopt},
      {"claims more written than fits", [](auto& f, auto&) { f.procArgsWrittenAnswer = 1 << 30; },
       good},
      {"writes too little", [](auto& f, auto&) { f.procArgsWrittenAnswer = 3; }, std::nullopt},
      {"cut inside the arguments",
       [](auto&, auto& p) { p.corruptProcArgs = [](auto& b) { b.resize(24 + 5 + 2); }; },
       line({"node", "x."})},
  };
  for (const auto& c : cases) {
    FakeProcesses processes;
    FakeProcess process{.pid = 5,
                        .path = "/usr/local/bin/node",  // with argc and NUL: 24 bytes
                        .argv = {{"node", "x.js"}},
                        .env = {"TERM_PROGRAM=vscode", "SHELL=/bin/zsh"}};
    c.setUp(processes, process);
    processes.add(std::move(process));
    EXPECT_EQ(ProcessInspector::commandLine(processes, 5), c.expected) << c.name;
  }
}

TEST(ProcessInspectorWorkingFolder, OnlyAMeaningfulFolder) {
  const std::pair<std::optional<std::string>, std::optional<std::string>> cases[] = {
      {"/Users/me/proj\0stale"s, "/Users/me/proj"s},
      {"/"s, std::nullopt},
      {""s, std::nullopt},
      {std::nullopt, std::nullopt},
      {"/" + std::string(2000, 'd'), "/" + std::string(1023, 'd')},
  };
  for (const auto& [raw, expected] : cases) {
    FakeProcesses processes;
    processes.add({.pid = 3, .cwd = raw});
    EXPECT_EQ(ProcessInspector::workingFolder(processes, 3), expected) << raw.value_or("-");
  }
}

TEST(ProcessInspectorShortCommand, ShortensPathsAndNamesKnownPrograms) {
  struct Case {
    std::vector<std::string> args;
    std::optional<std::string_view> cwd;
    std::string expected;
  };
  const Case cases[] = {
      {{}, {}, "?"},
      {{"python3", "-u", "/Users/me/proj/app.py"}, "/Users/me/proj", "python -u app.py"},
      {{"python3", "-u", "/Users/me/proj/app.py"}, "/Users/me/other", "python -u app.py"},
      {{"node", "/Users/me/proj/src/index.js"}, "/Users/me/proj/", "node src/index.js"},
      {{"node", "/Users/me/project2/a.js"}, "/Users/me/proj", "node a.js"},
      {{"/usr/bin/python3", "-"}, {}, "python (script piped in)"},
      {{"python3"}, {}, "python (script piped in)"},
      {{"python3.12", "manage.py"}, {}, "python manage.py"},
      {{"/opt/homebrew/bin/claude", "--resume"}, {}, "Claude Code"},
      {{"sh", "-c", "npm run dev\n  && echo\tdone"}, {}, "sh -c npm run dev && echo done"},
      {{"ruby", "\u00A0x\u2028y\u3000"}, {}, "ruby x y"},
      {{"node", "/"}, {}, "node /"},
      {{"", " "}, {}, "?"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ProcessInspector::shortCommand(c.args, c.cwd), c.expected) << c.expected;
  }
}

TEST(ProcessInspectorShortCommand, CutsLongCommandsAtCharactersNotBytes) {
  const std::vector<std::string> ascii{"node", std::string(95, 'a')};  // 100 characters
  EXPECT_EQ(ProcessInspector::shortCommand(ascii, {}), "node " + std::string(64, 'a') + "\u2026");
  const std::vector<std::string> exact{"node", std::string(65, 'a')};
  EXPECT_EQ(ProcessInspector::shortCommand(exact, {}).size(), 70u);

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
      {{}, std::nullopt},
      {{{"TERM_PROGRAM", "WezTerm"}}, "WezTerm"},
      {{{"TERM_PROGRAM", ""}}, std::nullopt},
      {{{"__CFBundleIdentifier", "com.mitchellh.ghostty"}, {"TERM_PROGRAM", "vscode"}}, "Ghostty"},
      {{{"__CFBundleIdentifier", "com.example.other"}, {"TERM_PROGRAM", "vscode"}}, "VS Code"},
      {{{"CURSOR_TRACE_ID", ""}, {"__CFBundleIdentifier", "com.microsoft.VSCode"}}, "Cursor"},
      {{{"CLAUDECODE", "1"}, {"TERM_PROGRAM", "iTerm.app"}}, "Claude Code in iTerm"},
      {{{"CLAUDECODE", "1"},
        {"TERM_PROGRAM", "iTerm.app"},
        {"CLAUDE_CODE_ENTRYPOINT", "claude-desktop"}},
       "Claude Code (desktop app)"},
      {{{"CLAUDECODE", "1"}}, "Claude Code"},
      {{{"CLAUDECODE", "0"}, {"TERM_PROGRAM", "ghostty"}}, "Ghostty"},
  };
  for (const auto& [env, expected] : cases) {
    EXPECT_EQ(ProcessInspector::launcherName(env), expected) << expected.value_or("nothing");
  }
}

TEST(ProcessInspectorPaths, HomeFolderAndProjects) {
  struct Case {
    const char* path;
    std::optional<std::string_view> home;
    std::string display;
    std::optional<std::string> project;
  };
  const Case cases[] = {
      {"/Users/me/proj", "/Users/me/", "~/proj", "proj"},
      {"/Users/me", "/Users/me", "~", std::nullopt},
      {"/Users/me/", "/Users/me", "~/", std::nullopt},
      {"/Users/me2/proj", "/Users/me", "/Users/me2/proj", "proj"},
      {"/Users/me", std::nullopt, "/Users/me", "me"},
      {"/Users/me/proj", "/", "/Users/me/proj", "proj"},
      {"/tmp/x", "/Users/me", "/tmp/x", std::nullopt},
      {"/private/var/folders/ab/T/x", {}, "/private/var/folders/ab/T/x", std::nullopt},
      {"/tmpwork/site/", {}, "/tmpwork/site/", "site"},
      {"/", {}, "/", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ProcessInspector::displayPath(c.path, c.home), c.display) << c.path;
    EXPECT_EQ(ProcessInspector::projectName(c.path, c.home), c.project) << c.path;
  }
}

TEST(ProcessInspectorDetails, DescribesTheProcess) {
  FakeProcesses processes;
  StubEnvironment environment;
  processes.add({.pid = 20,
                 .path = "/usr/local/bin/npm",
                 .bsd = sys::BSDInfo{.parentPid = 1,
                                     .startSeconds = 1'700'000'000,
                                     .startMicroseconds = 999'999},
                 .cwd = "/Users/me/webapp",
                 .argv = {{"npm", "run", "dev"}},
                 .env = {"TERM_PROGRAM=vscode"}});
  ProcessDetails expected{.pid = 20,
                          .command = "npm run dev",
                          .folder = "~/webapp",
                          .project = "webapp",
                          .started = sys::Date{1'700'000'000},
                          .launcher = "VS Code",
                          .isOrphaned = true,
                          .claudeSession = std::nullopt};
  EXPECT_EQ(ProcessInspector::details(processes, environment, 20), expected);
  EXPECT_EQ(ProcessInspector::rowName(expected), "Webapp \u00B7 npm run dev");
  EXPECT_EQ(ProcessInspector::splitRowName(ProcessInspector::rowName(expected)),
            (ProcessInspector::RowNameParts{"Webapp", "npm run dev"}));
  EXPECT_EQ(ProcessInspector::splitRowName("A \u00B7 b \u00B7 c"),
            (ProcessInspector::RowNameParts{"A", "b \u00B7 c"}));
  EXPECT_EQ(ProcessInspector::splitRowName("a\u00B7b").command, std::nullopt);

  processes.find(20)->argv.reset();  // unreadable arguments: no details at all
  EXPECT_EQ(ProcessInspector::details(processes, environment, 20), std::nullopt);
}

TEST(ProcessInspectorDetails, LauncherAndOrphanFollowTheBsdRecord) {
  struct Case {
    std::optional<sys::BSDInfo> bsd;
    std::optional<std::string> launcher;
    bool orphaned;
  };
  const Case cases[] = {
      {sys::BSDInfo{.parentPid = 1}, std::nullopt, false},
      {sys::BSDInfo{.parentPid = 1, .terminalDevice = 0x10000004}, "a terminal", true},
      {sys::BSDInfo{.parentPid = 1, .terminalDevice = 0xFFFFFFFF}, std::nullopt, false},
      {std::nullopt, std::nullopt, false},
  };
  for (const auto& c : cases) {
    FakeProcesses processes;
    StubEnvironment environment;
    processes.add({.pid = 8, .path = "/bin/sleep", .bsd = c.bsd, .argv = {{"sleep"}}});
    const auto details = ProcessInspector::details(processes, environment, 8);
    ASSERT_TRUE(details);
    EXPECT_EQ(details->launcher, c.launcher);
    EXPECT_EQ(details->isOrphaned, c.orphaned);
    EXPECT_EQ(details->started.has_value(), c.bsd.has_value());
  }
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
  processes.add({.pid = 41,
                 .path = "/usr/bin/git",
                 .bsd = sys::BSDInfo{.parentPid = 40},
                 .cwd = "/Users/me/\u00E9cole",
                 .argv = {{"git", "status"}},
                 .env = {"CLAUDECODE=1"}});
  const auto details = ProcessInspector::details(processes, environment, 41);
  ASSERT_TRUE(details);
  EXPECT_EQ(details->claudeSession, "\u00C9cole");
  EXPECT_EQ(ProcessInspector::rowName(*details), "Claude Code (\u00C9cole)");

  processes.find(41)->cwd = "/Users/me";
  EXPECT_EQ(ProcessInspector::details(processes, environment, 41)->claudeSession, "no project");
}

TEST(RuntimeLogoTest, PicksTheLogoByTheFirstWord) {
  using RuntimeLogo::Logo;
  const Logo python{"python", 0x4B8BBE}, node{"nodedotjs", 0x5FA04E}, rust{"rust", 0xDEA584},
      ruby{"ruby", 0xCC342D};
  const std::pair<const char*, std::optional<Logo>> cases[] = {
      {"python3.12 x", python},  {"next-server (v14)", node}, {"  NPM run", node},
      {"rustc x.rs", rust},      {"bundle exec rails", ruby}, {"gunicorn app", std::nullopt},
      {"nodemon", std::nullopt}, {"", std::nullopt},
  };
  for (const auto& [command, logo] : cases) {
    EXPECT_EQ(RuntimeLogo::forCommand(command), logo) << command;
  }
}

TEST(RuntimeLogoTest, HueOfTheBrandColour) {
  const std::pair<std::uint32_t, double> cases[] = {
      {0xFF0000, 0.0},     {0x00FF00, 1.0 / 3}, {0x0000FF, 2.0 / 3},
      {0xFF00FF, 5.0 / 6}, {0x808080, 0.0},     {0x4B8BBE, 0.5739130},
  };
  for (const auto& [rgb, hue] : cases) {
    EXPECT_NEAR(RuntimeLogo::hue({"x", rgb}), hue, 1e-6) << std::hex << rgb;
  }
}

}  // namespace
}  // namespace ebbwise

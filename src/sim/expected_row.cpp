#include "sim/expected_row.h"

#include <algorithm>
#include <array>

namespace ebbwise::sim::ExpectedRow {

namespace {

constexpr std::array<std::string_view, 21> kRuntimes = {
    "python", "python3", "node", "bun",     "deno",    "ruby",     "java",
    "php",    "perl",    "go",   "cargo",   "dotnet",  "npm",      "npx",
    "pnpm",   "yarn",    "tsx",  "ts-node", "uvicorn", "gunicorn", "docker"};

constexpr std::array<std::pair<std::string_view, std::string_view>, 4> kCliNames = {{
    {"claude", "Claude Code"},
    {"codex", "Codex"},
    {"gemini", "Gemini CLI"},
    {"cursor-agent", "Cursor Agent"},
}};

constexpr std::array<std::string_view, 7> kHostBundles = {"com.microsoft.VSCode",
                                                          "com.todesktop.230313mzl4w4u92",
                                                          "com.apple.Terminal",
                                                          "com.googlecode.iterm2",
                                                          "com.mitchellh.ghostty",
                                                          "dev.warp.Warp-Stable",
                                                          "dev.zed.Zed"};

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool isRuntime(std::string_view name) {
  auto l = lower(name);
  return std::find(kRuntimes.begin(), kRuntimes.end(), l) != kRuntimes.end();
}

std::optional<std::string_view> cliName(std::string_view name) {
  for (const auto& [key, display] : kCliNames) {
    if (key == name) return display;
  }
  return std::nullopt;
}

std::string lastComponent(std::string_view path) {
  auto slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

const std::string* envValue(const Facts& f, std::string_view key) {
  for (const auto& [k, v] : f.env) {
    if (k == key) return &v;
  }
  return nullptr;
}

bool claudeCode(const Facts& f) {
  auto* v = envValue(f, "CLAUDECODE");
  return v && *v == "1";
}

// Whether something started the process: a known host application, a
// terminal program, a coding agent, or a controlling terminal.
bool hasLauncher(const Facts& f) {
  if (claudeCode(f)) return true;
  if (envValue(f, "CURSOR_TRACE_ID") || envValue(f, "TERM_PROGRAM")) return true;
  if (auto* id = envValue(f, "__CFBundleIdentifier")) {
    if (std::find(kHostBundles.begin(), kHostBundles.end(), *id) != kHostBundles.end()) return true;
  }
  return f.tty;
}

std::string capitalized(std::string s) {
  if (!s.empty() && s[0] >= 'a' && s[0] <= 'z') s[0] = static_cast<char>(s[0] - 'a' + 'A');
  return s;
}

// Characters, not bytes: a UTF-8 continuation byte does not start one.
std::size_t characters(std::string_view s) {
  return static_cast<std::size_t>(std::count_if(
      s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string firstCharacters(std::string_view s, std::size_t n) {
  std::size_t count = 0, i = 0;
  for (; i < s.size(); ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
      if (count == n) break;
      ++count;
    }
  }
  return std::string(s.substr(0, i));
}

std::optional<std::string> workingFolder(const Facts& f) {
  if (!f.cwd || f.cwd->empty() || *f.cwd == "/") return std::nullopt;
  return f.cwd;
}

std::optional<std::string> claudeSessionFolder(const std::vector<Facts>& all, std::size_t i) {
  int at = static_cast<int>(i);
  for (int step = 0; step < 16 && at >= 0; ++step) {
    const Facts& f = all[static_cast<std::size_t>(at)];
    if (lastComponent(f.path) == "claude") return workingFolder(f);
    if (!f.recordReadable || f.parent < 0 || f.parent == at) return std::nullopt;
    at = f.parent;
  }
  return std::nullopt;
}

}  // namespace

std::optional<PathName> fromPath(std::string_view path) {
  std::size_t begin = 0;
  while (begin <= path.size()) {
    auto end = path.find('/', begin);
    if (end == std::string_view::npos) end = path.size();
    auto piece = path.substr(begin, end - begin);
    if (piece.size() >= 4 && piece.substr(piece.size() - 4) == ".app") {
      return PathName{std::string(piece.substr(0, piece.size() - 4)), true};
    }
    begin = end + 1;
  }
  if (path.find(".xpc/") != std::string_view::npos) return std::nullopt;
  return PathName{lastComponent(path), false};
}

std::string shortCommand(const std::vector<std::string>& args,
                         const std::optional<std::string>& cwd, std::size_t maxLength) {
  if (args.empty()) return "?";
  std::string name = lastComponent(args[0]);
  if (name == "Python" || name.rfind("python3", 0) == 0) name = "python";
  std::vector<std::string> rest;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (!a.empty() && a[0] == '/') {
      if (cwd && a.rfind(*cwd + "/", 0) == 0) {
        rest.push_back(a.substr(cwd->size() + 1));
      } else {
        rest.push_back(lastComponent(a));
      }
    } else {
      rest.push_back(a);
    }
  }
  if (auto display = cliName(name)) return std::string(*display);
  if ((rest.size() == 1 && rest[0] == "-") || (rest.empty() && name == "python")) {
    return name + " (script piped in)";
  }
  std::string joined = name;
  for (const auto& r : rest) joined += " " + r;
  std::string out;
  std::string word;
  for (char c : joined + " ") {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') {
      if (!word.empty()) out += (out.empty() ? "" : " ") + word;
      word.clear();
    } else {
      word += c;
    }
  }
  if (characters(out) > maxLength) out = firstCharacters(out, maxLength - 1) + "\u2026";
  return out;
}

std::optional<std::string> projectName(std::string_view folder, std::string_view home) {
  for (std::string_view prefix : {"/private/tmp", "/tmp", "/private/var/folders"}) {
    if (folder.substr(0, prefix.size()) == prefix) return std::nullopt;
  }
  if (folder == home) return std::nullopt;
  auto name = lastComponent(folder);
  if (name.empty()) return std::nullopt;
  return name;
}

std::string of(const std::vector<Facts>& all, std::size_t i, std::string_view home) {
  const Facts& f = all[i];
  auto own = fromPath(f.path);
  if (f.isOwn && own) return own->name;
  if (!own) {
    int r = f.responsible;
    if (r >= 0 && static_cast<std::size_t>(r) != i) {
      if (auto app = fromPath(all[static_cast<std::size_t>(r)].path)) return app->name;
    }
    return lastComponent(f.path);
  }
  const PathName& p = *own;
  bool isClaude = claudeCode(f) || lastComponent(f.path) == "claude";
  if (p.hasBundle && !isRuntime(p.name) && !cliName(p.name) && !claudeCode(f)) return p.name;
  if (!f.argsReadable) return p.name;
  if (!hasLauncher(f) && !isRuntime(p.name) && !cliName(p.name) && !isClaude) return p.name;

  auto cwd = workingFolder(f);
  if (isClaude) {
    auto folder = claudeSessionFolder(all, i);
    if (!folder) folder = cwd;
    std::optional<std::string> project;
    if (folder) project = projectName(*folder, home);
    return "Claude Code (" + (project ? capitalized(*project) : std::string("no project")) + ")";
  }
  std::string command = shortCommand(f.args, cwd);
  if (cwd) {
    if (auto project = projectName(*cwd, home)) return capitalized(*project) + " \u00B7 " + command;
  }
  return command;
}

}  // namespace ebbwise::sim::ExpectedRow

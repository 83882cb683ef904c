#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace ebbwise {

// The fixed tables that recognise developer tools: language runtimes, coding
// agents' command-line programs, the environment variables worth keeping and
// the applications that host terminals.
namespace DevTools {

struct NamedKey {
  std::string_view key;
  std::string_view name;
};

// Executable names (lower case) of language runtimes and their package and
// server tools; their own name says nothing about the work they do.
inline constexpr std::array<std::string_view, 21> runtimes = {
    "python", "python3", "node", "bun",     "deno",    "ruby",     "java",
    "php",    "perl",    "go",   "cargo",   "dotnet",  "npm",      "npx",
    "pnpm",   "yarn",    "tsx",  "ts-node", "uvicorn", "gunicorn", "docker"};

// Coding agents' executables and the names their rows carry.
inline constexpr std::array<NamedKey, 4> cliNames = {{
    {"claude", "Claude Code"},
    {"codex", "Codex"},
    {"gemini", "Gemini CLI"},
    {"cursor-agent", "Cursor Agent"},
}};

// The only environment variables ever kept from another process.
inline constexpr std::array<std::string_view, 5> envKeys = {"CLAUDECODE", "CLAUDE_CODE_ENTRYPOINT",
                                                            "TERM_PROGRAM", "__CFBundleIdentifier",
                                                            "CURSOR_TRACE_ID"};

// Host applications by the bundle identifier they leave in "__CFBundleIdentifier".
inline constexpr std::array<NamedKey, 7> hostsByBundleID = {{
    {"com.microsoft.VSCode", "VS Code"},
    {"com.todesktop.230313mzl4w4u92", "Cursor"},
    {"com.apple.Terminal", "Terminal"},
    {"com.googlecode.iterm2", "iTerm"},
    {"com.mitchellh.ghostty", "Ghostty"},
    {"dev.warp.Warp-Stable", "Warp"},
    {"dev.zed.Zed", "Zed"},
}};

// Host applications by the "TERM_PROGRAM" value their terminals set.
inline constexpr std::array<NamedKey, 5> hostsByTermProgram = {{
    {"Apple_Terminal", "Terminal"},
    {"iTerm.app", "iTerm"},
    {"vscode", "VS Code"},
    {"ghostty", "Ghostty"},
    {"WarpTerminal", "Warp"},
}};

template <std::size_t N>
constexpr std::optional<std::string_view> lookup(const std::array<NamedKey, N>& table,
                                                 std::string_view key) {
  for (const auto& entry : table) {
    if (entry.key == key) return entry.name;
  }
  return std::nullopt;
}

// Whether `lowerCaseName` is a runtime's executable name.
constexpr bool isRuntime(std::string_view lowerCaseName) {
  for (auto name : runtimes) {
    if (name == lowerCaseName) return true;
  }
  return false;
}

// The display name of a coding agent's executable (matched as it is).
constexpr std::optional<std::string_view> cliName(std::string_view executable) {
  return lookup(cliNames, executable);
}

constexpr bool isEnvKey(std::string_view key) {
  for (auto k : envKeys) {
    if (k == key) return true;
  }
  return false;
}

}  // namespace DevTools

}  // namespace ebbwise

// The login item as an autostart entry, and addresses opened through the
// real xdg-open with a handler of the test's own.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "linux/autostart_login_item.h"
#include "linux/fixture_tree.h"
#include "linux/host_tool_runner.h"
#include "linux/xdg_workspace.h"
#include "sys/real_run_loop.h"

namespace ebbwise::linux_host {
namespace {

using test::FixtureTree;

std::string readAll(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(AutostartLoginItemTest, IsWrittenOnceAndNeverTwice) {
  FixtureTree config;
  AutostartLoginItem item(config.path("config"), "/opt/ebbwise/bin/ebbwise");
  EXPECT_EQ(item.status(), sys::LoginItemStatus::notRegistered);
  EXPECT_EQ(item.unregisterItem()->code, sys::kLoginItemJobNotFound);

  EXPECT_FALSE(item.registerItem());  // makes the folders it needs
  EXPECT_EQ(item.status(), sys::LoginItemStatus::enabled);
  const std::string written = readAll(item.entryPath());
  EXPECT_NE(written.find("\nExec=/opt/ebbwise/bin/ebbwise\n"), std::string::npos) << written;
  const auto again = item.registerItem();
  ASSERT_TRUE(again);
  EXPECT_EQ(again->code, sys::kLoginItemAlreadyRegistered);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(config.path("config/autostart")),
                          std::filesystem::directory_iterator()),
            1);

  // Switched off in the desktop's settings: waits for the user until
  // registered again, which rewrites the one entry.
  std::ofstream(item.entryPath()) << written << "Hidden=true\n";
  EXPECT_EQ(item.status(), sys::LoginItemStatus::requiresApproval);
  EXPECT_FALSE(item.registerItem());
  EXPECT_EQ(readAll(item.entryPath()), written);

  EXPECT_FALSE(item.unregisterItem());
  EXPECT_EQ(item.status(), sys::LoginItemStatus::notRegistered);
}

TEST(AutostartLoginItemTest, QuotesPathsAsDesktopEntriesNeedAndRefusesOthers) {
  const std::pair<const char*, std::optional<std::string>> cases[] = {
      {"/usr/bin/ebbwise", "/usr/bin/ebbwise"},
      {"/home/a b/ebbwise", R"("/home/a b/ebbwise")"},
      {"/opt/100%/ebbwise", R"("/opt/100%%/ebbwise")"},
      {R"(/opt/"x"$y`z`\w)", R"("/opt/\\"x\\"\\$y\\`z\\`\\\\w")"},
      {"relative/ebbwise", std::nullopt},
      {"/opt/new\nline", std::nullopt},
  };
  for (const auto& [path, exec] : cases)
    EXPECT_EQ(AutostartLoginItem::execValue(path), exec) << path;

  FixtureTree config;
  AutostartLoginItem unstartable(config.root(), "/opt/new\nline");
  EXPECT_TRUE(unstartable.registerItem());
  EXPECT_FALSE(std::filesystem::exists(unstartable.entryPath()));
}

TEST(AutostartLoginItemTest, AFolderThatCannotBeMadeSaysWhy) {
  FixtureTree config;
  std::ofstream(config.path("file")) << "not a folder";
  AutostartLoginItem item(config.path("file"), "/usr/bin/ebbwise");
  const auto error = item.registerItem();
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain, "errno");
  EXPECT_EQ(item.status(), sys::LoginItemStatus::notRegistered);
}

// xdg-open with a desktop of its own: a handler for a made-up scheme that
// writes what it was given to a file.
class XdgWorkspaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::access("/usr/bin/xdg-open", X_OK) != 0) GTEST_SKIP() << "xdg-open is not installed";
    const std::string data = home.path("data"), configFolder = home.path("config");
    std::filesystem::create_directories(data + "/applications");
    std::filesystem::create_directories(configFolder);
    const std::string handler = home.path("handler.sh");
    std::ofstream(handler) << "#!/bin/sh\nprintf '%s' \"$1\" > " << home.path("opened") << "\n";
    ::chmod(handler.c_str(), 0755);
    std::ofstream(data + "/applications/ebbwise-test.desktop")
        << "[Desktop Entry]\nType=Application\nName=Test\nExec=" << handler
        << " %u\nMimeType=x-scheme-handler/ebbwise-test;\nNoDisplay=true\n";
    std::ofstream(configFolder + "/mimeapps.list")
        << "[Default Applications]\nx-scheme-handler/ebbwise-test=ebbwise-test.desktop\n";
    for (const char* name : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
                             "GNOME_DESKTOP_SESSION_ID", "XDG_SESSION_DESKTOP"}) {
      ::unsetenv(name);
    }
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);
    ::setenv("XDG_DATA_DIRS", data.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", configFolder.c_str(), 1);
    ::setenv("DISPLAY", ":999", 1);  // the generic opener asks only that there is one
    ::setenv("BROWSER", "/bin/false", 1);
  }

  std::optional<bool> open(XdgWorkspace& workspace, const std::string& url) {
    std::optional<bool> opened;
    workspace.open(url, [&](bool ok) { opened = ok; });
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!opened && std::chrono::steady_clock::now() < end) loop.runFor(0.05);
    return opened;
  }

  FixtureTree home;
  sys::RealRunLoop loop;
  HostToolRunner tools;
};

TEST_F(XdgWorkspaceTest, OpensAnAddressWithTheUsersHandler) {
  XdgWorkspace workspace(loop, tools);
  EXPECT_EQ(open(workspace, "ebbwise-test:battery?pane=1"), true);
  EXPECT_EQ(readAll(home.path("opened")), "ebbwise-test:battery?pane=1");
  // No handler for the scheme: said so, nothing opened.
  EXPECT_EQ(open(workspace, "no-such-scheme:x"), false);
}

TEST_F(XdgWorkspaceTest, RefusesWhatIsNoAddressWithoutRunningAnything) {
  XdgWorkspace workspace(loop, tools);
  for (const char* text : {"--help", "/etc/passwd", "", "ebbwise-test:", "1x:y"}) {
    EXPECT_EQ(open(workspace, text), false) << text;
  }
  EXPECT_FALSE(std::filesystem::exists(home.path("opened")));
  XdgWorkspace none(loop, tools, "/nonexistent/xdg-open");
  EXPECT_EQ(open(none, "ebbwise-test:x"), false);
}

}  // namespace
}  // namespace ebbwise::linux_host

#include "linux/file_user_defaults.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "linux/fixture_tree.h"
#include "support/stub_environment.h"

namespace ebbwise::linux_host {
namespace {

using sys::Value;
using test::FixtureTree;

std::string contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool exists(const std::string& path) {
  return std::filesystem::exists(path);
}

// Collects what the store says, so tests can check it says it once.
struct Notices {
  std::vector<std::string> said;
  Notice notice() {
    return [this](const std::string& message) { said.push_back(message); };
  }
};

// The real calls, except that from a chosen step on every call fails, as if
// the process had died there: the failing write leaves half its bytes, and
// nothing after it (no clean-up either) reaches the disk. Reading may also
// fail on its own, as for a file of another user.
class CrashingFileOperations final : public FileOperations {
 public:
  int crashAt = 0;  // 1-based step of the crash; 0 never crashes
  int readError = 0;
  int steps = 0;
  int creates = 0;

  int readFile(const std::string& p, std::size_t limit, std::string& out) override {
    if (crashed()) return EIO;
    return readError ? readError : real_.readFile(p, limit, out);
  }
  int makeFolders(const std::string& p) override { return crashed() ? EIO : real_.makeFolders(p); }
  int lock(const std::string& p, UniqueFd& fd) override {
    return crashed() ? EIO : real_.lock(p, fd);
  }
  int createNew(const std::string& p, UniqueFd& fd) override {
    ++creates;
    return crashed() ? EIO : real_.createNew(p, fd);
  }
  int writeAll(int fd, std::string_view bytes) override {
    if (crashed()) {
      if (steps == crashAt) real_.writeAll(fd, bytes.substr(0, bytes.size() / 2));
      return EIO;
    }
    return real_.writeAll(fd, bytes);
  }
  int sync(int fd) override { return crashed() ? EIO : real_.sync(fd); }
  int close(UniqueFd& fd) override {
    if (crashed()) {
      fd.reset();  // the kernel closes a dead process's files
      return EIO;
    }
    return real_.close(fd);
  }
  int rename(const std::string& a, const std::string& b) override {
    return crashed() ? EIO : real_.rename(a, b);
  }
  int renameNoReplace(const std::string& a, const std::string& b) override {
    return crashed() ? EIO : real_.renameNoReplace(a, b);
  }
  int syncFolder(const std::string& p) override { return crashed() ? EIO : real_.syncFolder(p); }
  int remove(const std::string& p) override { return crashed() ? EIO : real_.remove(p); }

 private:
  bool crashed() { return crashAt > 0 && ++steps >= crashAt; }
  PosixFileOperations real_;
};

TEST(FileUserDefaults, KeepsEveryKindOfValueAcrossRuns) {
  FixtureTree folder;
  const Value nested = {{"mean", 4321.5},
                        {"count", 12},
                        {"last", {4300, 4350}},
                        {"$data", "a dictionary, not data"},
                        {"$$", true}};
  const Value data = Value::binary({0, 1, 2, 0xFF, 'x'});
  {
    FileUserDefaults store(folder.root(), Notice{});
    store.setObject("alertWatts", 3.5);
    store.setObject("alertsOn", false);
    store.setObject("powerUnit", "watts");
    store.setObject("capacityAverage", nested);
    store.setObject("screenModel", data);
    store.setObject("$key", 1);
    store.setObject("gone", 1);
    store.removeObject("gone");
    store.setObject("alsoGone", 2);
    store.setObject("alsoGone", Value());
  }
  Notices notices;
  FileUserDefaults again(folder.root(), notices.notice());
  EXPECT_EQ(again.object("alertWatts"), Value(3.5));
  EXPECT_EQ(again.object("alertsOn"), Value(false));
  EXPECT_EQ(again.stringValue("powerUnit"), "watts");
  EXPECT_EQ(again.object("capacityAverage"), nested);
  EXPECT_EQ(again.object("screenModel"), data);
  EXPECT_EQ(again.object("$key"), Value(1));
  EXPECT_FALSE(again.object("gone"));
  EXPECT_FALSE(again.object("alsoGone"));
  EXPECT_TRUE(notices.said.empty());
  // The document is plain JSON a person can read.
  EXPECT_TRUE(Value::parse(contents(again.path())).is_object());
}

TEST(FileUserDefaults, TwoProcessesWritingDifferentKeysKeepBoth) {
  FixtureTree folder;
  FileUserDefaults monitor(folder.root(), Notice{});
  FileUserDefaults window(folder.root(), Notice{});
  monitor.setObject("capacityAverage", Value{{"count", 1}});
  window.setObject("lineTheme", "Mana");
  monitor.setObject("sinceCharge", Value{{"rows", Value::object()}});
  FileUserDefaults later(folder.root(), Notice{});
  EXPECT_TRUE(later.object("capacityAverage"));
  EXPECT_EQ(later.stringValue("lineTheme"), "Mana");
  EXPECT_TRUE(later.object("sinceCharge"));
}

TEST(FileUserDefaults, UnchangedValuesCostNoWrite) {
  FixtureTree folder;
  CrashingFileOperations files;
  FileUserDefaults store(folder.root(), files, Notice{});
  store.setObject("capacityAverage", Value{{"count", 3}});
  store.setObject("capacityAverage", Value{{"count", 3}});
  store.removeObject("missing");
  // A value that cannot be written as it is is kept as it will read back.
  store.setObject("model", Value{{"watts", std::nan("")}});
  store.setObject("model", Value{{"watts", std::nan("")}});
  EXPECT_EQ(store.object("model"), (Value{{"watts", nullptr}}));
  EXPECT_EQ(files.creates, 2);
}

TEST(FileUserDefaults, AnUnreadableFileIsMovedAsideAndTheStoreStartsEmpty) {
  struct Case {
    const char* what;
    std::string bytes;
  };
  const std::vector<Case> cases = {
      {"empty", ""},
      {"only blanks", " \n"},
      {"not JSON", "alertWatts = 2"},
      {"a JSON array", "[1, 2, 3]"},
      {"cut short", "{\"alertWatts\": 2.0, \"lineTh"},
      {"deep nesting of several MiB", std::string(3u << 20, '[') + std::string(3u << 20, ']')},
      {"not UTF-8", "{\"powerUnit\": \"w\xE9tts\"}"},
      {"larger than any settings file", "{\"x\": \"" + std::string(9u << 20, 'a') + "\"}"},
  };
  for (const Case& c : cases) {
    FixtureTree folder;
    folder.write("settings.json", c.bytes);
    Notices notices;
    FileUserDefaults store(folder.root(), notices.notice());
    const std::string aside = store.path() + ".unreadable";
    EXPECT_FALSE(store.object("alertWatts")) << c.what;
    ASSERT_EQ(notices.said.size(), 1u) << c.what;
    EXPECT_NE(notices.said[0].find(aside), std::string::npos) << notices.said[0];
    EXPECT_EQ(contents(aside), c.bytes) << c.what << ": the old file is kept as it was";
    EXPECT_FALSE(exists(store.path())) << c.what;

    // The store works as before; a second bad file does not replace the first.
    store.setObject("alertWatts", 2.5);
    EXPECT_EQ(FileUserDefaults(folder.root(), Notice{}).object("alertWatts"), Value(2.5));
    folder.write("settings.json", "[]");
    FileUserDefaults(folder.root(), Notice{});
    EXPECT_EQ(contents(aside), c.bytes) << c.what;
    EXPECT_EQ(contents(aside + "-2"), "[]") << c.what;
    EXPECT_EQ(notices.said.size(), 1u) << c.what;
  }
}

TEST(FileUserDefaults, AFolderThatCannotBeWrittenKeepsChangesForTheRunAndSaysSoOnce) {
  FixtureTree parent;
  parent.write("not-a-folder", "a file where the settings folder should be");
  Notices notices;
  FileUserDefaults store(parent.path("not-a-folder/ebbwise"), notices.notice());
  store.setObject("alertWatts", 4.0);
  store.setObject("lineTheme", "Mana");
  EXPECT_EQ(store.object("alertWatts"), Value(4.0));
  EXPECT_EQ(store.stringValue("lineTheme"), "Mana");
  ASSERT_EQ(notices.said.size(), 1u);
  EXPECT_NE(notices.said[0].find("cannot save its settings"), std::string::npos);
}

TEST(FileUserDefaults, AFileThatCannotBeReadIsNeverReplaced) {
  FixtureTree folder;
  folder.write("settings.json", "{\"alertWatts\": 3.0}");
  CrashingFileOperations files;
  files.readError = EACCES;  // writing would work
  Notices notices;
  FileUserDefaults store(folder.root(), files, notices.notice());
  store.setObject("alertWatts", 5.0);
  EXPECT_EQ(store.object("alertWatts"), Value(5.0));
  EXPECT_EQ(contents(store.path()), "{\"alertWatts\": 3.0}");
  EXPECT_EQ(notices.said.size(), 1u);
}

TEST(FileUserDefaults, AWriteInterruptedAtAnyStepLeavesTheOldOrTheNewDocument) {
  bool sawOld = false;
  bool sawNew = false;
  for (int step = 1;; ++step) {
    FixtureTree folder;
    FileUserDefaults(folder.root(), Notice{}).setObject("alertWatts", 1.0);

    CrashingFileOperations files;
    {
      FileUserDefaults store(folder.root(), files, Notice{});
      files.crashAt = step;
      store.setObject("alertWatts", 2.0);
    }
    const bool crashed = files.steps >= step;

    // The next start reads a whole document, and nothing is moved aside.
    Notices notices;
    FileUserDefaults restarted(folder.root(), notices.notice());
    const auto value = restarted.object("alertWatts");
    ASSERT_TRUE(value) << "step " << step;
    EXPECT_TRUE(*value == Value(1.0) || *value == Value(2.0)) << "step " << step;
    EXPECT_TRUE(notices.said.empty()) << "step " << step << ": " << notices.said.front();
    EXPECT_FALSE(exists(restarted.path() + ".unreadable")) << "step " << step;
    sawOld |= *value == Value(1.0);
    sawNew |= *value == Value(2.0);
    if (!crashed) break;  // the write got through every step
    ASSERT_LT(step, 50);
  }
  EXPECT_TRUE(sawOld && sawNew);
}

TEST(FileUserDefaults, LivesInTheUsersConfigurationFolder) {
  test::StubEnvironment surroundings;
  surroundings.home = "/home/ana";
  EXPECT_EQ(FileUserDefaults::folderFor(surroundings), "/home/ana/.config/ebbwise");
  surroundings.variables["XDG_CONFIG_HOME"] = "/srv/config";
  EXPECT_EQ(FileUserDefaults::folderFor(surroundings), "/srv/config/ebbwise");
  surroundings.variables["XDG_CONFIG_HOME"] = "relative/config";  // ignored, as the XDG rules say
  EXPECT_EQ(FileUserDefaults::folderFor(surroundings), "/home/ana/.config/ebbwise");
}

}  // namespace
}  // namespace ebbwise::linux_host

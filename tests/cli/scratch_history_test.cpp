// Where the simulator keeps its history: never in the real history's place,
// and never in another run's.

#include "cli/scratch_history.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "cli/report_command.h"
#include "history/store.h"
#include "support/history_test_support.h"
#include "support/stub_environment.h"

namespace ebbwise {
namespace {

namespace fs = std::filesystem;
using test::RawDatabase;
using test::TempFolder;

std::size_t runFolders(const fs::path& simulator) {
  std::size_t n = 0;
  std::error_code ec;
  for (fs::directory_iterator it(simulator, ec), end; !ec && it != end; it.increment(ec)) ++n;
  return n;
}

// The real monitor keeps its history under EBBWISE_DATA_DIR; a simulated run
// there must leave it exactly as it was.
TEST(ScratchHistoryTest, ASimulatedRunLeavesTheRealHistoryAlone) {
  TempFolder folder;
  auto host = test::StubEnvironment::withDataFolder(folder.file("data"));
  const std::string real = *Store::defaultURL(host);
  {
    Store store(real);
    store.write(HistoryRecord{1000, 60, 80, -7, false, {{"Mail", 12}}});
  }
  ReportOptions options;
  options.simulate = true;
  options.seconds = 5 * 60;
  ASSERT_EQ(runReport(options, host).exitCode, 0);

  RawDatabase db(real);
  EXPECT_EQ(db.number("SELECT COUNT(*) FROM battery"), 1);
  EXPECT_EQ(db.number("SELECT SUM(joules) FROM app_energy WHERE app='Mail'"), 12);
  EXPECT_EQ(runFolders(folder.file("data/simulator")), 0u) << "the run removed its own folder";
}

// Runs at once each have a folder; one ending removes only its own. The
// folder of a run that never ended goes with the next run; one still held
// does not.
TEST(ScratchHistoryTest, RunsAtOnceKeepToTheirOwnFolders) {
  TempFolder folder;
  test::StubEnvironment host;
  host.home.reset();
  host.cache = folder.file("cache");
  const fs::path simulator = *ScratchHistory::simulatorFolder(host);
  EXPECT_EQ(simulator, fs::path(folder.file("cache/ebbwise/simulator")));

  auto first = std::make_unique<ScratchHistory>(host);
  ScratchHistory second(host);
  ASSERT_TRUE(first->folder() && second.folder());
  EXPECT_NE(*first->folder(), *second.folder());
  const std::string secondFile = *second.folder() + "/joulemark/history.sqlite";
  {
    Store store(secondFile);
    store.write(HistoryRecord{1000, 60, 80, -7, false, {}});
  }
  const std::string firstFolder = *first->folder();
  first.reset();
  EXPECT_FALSE(fs::exists(firstFolder));
  EXPECT_EQ(RawDatabase(secondFile).number("SELECT COUNT(*) FROM battery"), 1);

  // A run that was killed left its folder and its lock file, held by nobody;
  // a folder without a lock file is a run still being set up.
  fs::create_directories(simulator / "run-killed");
  std::ofstream(simulator / "run-killed" / "lock") << "";
  fs::create_directories(simulator / "run-starting");
  {
    ScratchHistory third(host);
    ASSERT_TRUE(third.folder());
    EXPECT_FALSE(fs::exists(simulator / "run-killed"));
    EXPECT_TRUE(fs::exists(simulator / "run-starting"));
    EXPECT_TRUE(fs::exists(secondFile));
  }
  EXPECT_TRUE(fs::exists(secondFile));

  test::StubEnvironment nowhere;
  nowhere.home.reset();
  EXPECT_FALSE(ScratchHistory(nowhere).folder());
}

}  // namespace
}  // namespace ebbwise

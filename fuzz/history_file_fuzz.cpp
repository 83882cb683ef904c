// A history file as another program, a damaged disk or a hand edit may have
// left it: the store opens it, answers every query, and writes a minute.

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz_input.h"
#include "history/store.h"

using namespace ebbwise;

namespace {

// One folder per fuzzing process, reused by every input it runs and removed
// when the process ends.
class HistoryFolder {
 public:
  HistoryFolder()
      : folder_(std::filesystem::temp_directory_path() /
                ("ebbwise-history-fuzz-" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(folder_);
  }
  ~HistoryFolder() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
  std::string file() const { return (folder_ / "history.sqlite").string(); }

 private:
  std::filesystem::path folder_;
};

const std::string& historyPath() {
  static const HistoryFolder folder;
  static const std::string path = folder.file();
  return path;
}

void ask(Store& store) {
  store.drainedJoules(0);
  store.secondsOnBattery(0);
  store.appJoulesOnBattery(0);
  store.batteryPoints(0);
  store.lastPluggedIn();
  store.firstOnBattery(0);
  store.lastRecord();
  store.bundlePaths();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput input(data, size);
  const std::string& path = historyPath();
  std::error_code ec;
  for (const char* suffix : {"-wal", "-shm", "-journal"})
    std::filesystem::remove(path + suffix, ec);
  {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    auto bytes = input.remaining();
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
  Store store(path, Store::Durability::scratch);
  ask(store);
  HistoryRecord minute{1'731'402'060, 60, 80, -7.5, false, {{"Safari", 120}, {"Mail", 3}}};
  store.write(minute);
  store.rememberBundle("Safari", "/Applications/Safari.app");
  ask(store);
  store.deleteOlderThan(1'731'402'000);
  ask(store);
  return 0;
}

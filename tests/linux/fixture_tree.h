#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace ebbwise::test {

// A fixture tree under tests/fixtures.
inline std::string fixturePath(std::string_view name) {
  const char* source = std::getenv("EBBWISE_SOURCE_DIR");
  return std::string(source ? source : ".") + "/tests/fixtures/" + std::string(name);
}

// A private copy of a fixture tree (or an empty folder) that a test may
// change; removed when the test ends.
class FixtureTree {
 public:
  explicit FixtureTree(std::string_view fixture = {}) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "ebbwise-fixture-XXXXXX").string();
    root_ = ::mkdtemp(pattern.data());
    if (!fixture.empty()) copy(fixture);
  }
  ~FixtureTree() {
    std::error_code error;
    std::filesystem::permissions(root_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, error);
    std::filesystem::remove_all(root_, error);
  }
  FixtureTree(const FixtureTree&) = delete;
  FixtureTree& operator=(const FixtureTree&) = delete;

  const std::string& root() const { return root_; }
  std::string path(std::string_view relative) const { return root_ + "/" + std::string(relative); }

  // Replaces the whole tree by another fixture's.
  void replaceWith(std::string_view fixture) {
    for (const auto& entry : std::filesystem::directory_iterator(root_)) {
      std::filesystem::remove_all(entry.path());
    }
    copy(fixture);
  }

  void write(std::string_view relative, std::string_view bytes) const {
    const std::filesystem::path file = path(relative);
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
  }

 private:
  void copy(std::string_view fixture) {
    std::filesystem::copy(
        fixturePath(fixture), root_,
        std::filesystem::copy_options::recursive | std::filesystem::copy_options::copy_symlinks);
  }

  std::string root_;
};

}  // namespace ebbwise::test

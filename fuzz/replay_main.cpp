// Runs a fuzz target over every file of the folders it is given, in name
// order, the way the fuzzer would run each one, so the seeds and every saved
// reproducer stay fixed in an ordinary build. A folder without a single file
// is an error: a misspelt path must not pass for a clean run.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FOLDER...\n", argv[0]);
    return 2;
  }
  for (int i = 1; i < argc; ++i) {
    std::error_code ec;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(argv[i], ec)) {
      if (entry.is_regular_file()) files.push_back(entry.path());
    }
    if (ec || files.empty()) {
      std::fprintf(stderr, "%s: no inputs to replay\n", argv[i]);
      return 1;
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
      // Named before it runs, so a crash names its input.
      std::fprintf(stderr, "replaying %s\n", file.c_str());
      std::ifstream in(file, std::ios::binary);
      std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                      std::istreambuf_iterator<char>());
      LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    std::fprintf(stderr, "%zu inputs of %s replayed\n", files.size(), argv[i]);
  }
  return 0;
}

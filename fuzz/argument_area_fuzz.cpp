// Another process's argument area as the kernel hands it over.

#include <cstdint>

#include "base/utf8.h"
#include "fuzz_input.h"
#include "sensors/processes/command_line.h"

using namespace ebbwise;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput input(data, size);
  const auto bytes = input.remaining();
  auto parsed = CommandLine::parse(bytes);
  if (!parsed) return 0;
  FUZZ_CHECK(bytes.size() >= 5);
  for (const std::string& argument : parsed->arguments)
    FUZZ_CHECK(Utf8::decode(argument) == argument);
  for (const auto& [key, value] : parsed->environment) {
    FUZZ_CHECK(Utf8::decode(value) == value);
    FUZZ_CHECK(parsed->variable(key) == value);
  }
  return 0;
}

// The SMC's 80-byte record. The first 80 bytes are decoded on their own; the
// rest are the controller's answers, one call at a time: a status byte (odd:
// the call fails) and the record it returns.

#include <cmath>
#include <cstdint>

#include "fuzz_input.h"
#include "sensors/power/smc.h"

using namespace ebbwise;

namespace {

class ScriptedSMC final : public sys::SMCUserClient {
 public:
  explicit ScriptedSMC(fuzz::FuzzInput& input) : input_(input) {}
  std::optional<sys::SMCConnection> open() override {
    if (input_.take<std::uint8_t>() % 2) return std::nullopt;
    return 7;
  }
  int callStructMethod(sys::SMCConnection, std::uint32_t, std::span<const std::uint8_t> request,
                       std::span<std::uint8_t> answer) override {
    FUZZ_CHECK(request.size() == SMC::Request::kSize);
    if (input_.take<std::uint8_t>() % 2) return 0x2C7;  // kIOReturnUnsupported
    auto bytes = input_.bytes(answer.size());
    std::copy(bytes.begin(), bytes.end(), answer.begin());
    return 0;
  }
  void close(sys::SMCConnection connection) override { FUZZ_CHECK(connection == 7); }

 private:
  fuzz::FuzzInput& input_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput input(data, size);
  SMC::Request::Bytes raw{};
  auto first = input.bytes(raw.size());
  std::copy(first.begin(), first.end(), raw.begin());
  const SMC::Request request = SMC::Request::decode(raw);
  FUZZ_CHECK(SMC::Request::decode(request.encode()) == request);

  ScriptedSMC client(input);
  if (auto smc = SMC::open(client)) {
    for (const char* key : {"PSTR", "PDTR", "PSTR", "B0AC", "PSTRX"}) {
      if (auto value = smc->readFloat(key)) FUZZ_CHECK(std::isfinite(*value));
      if (input.empty()) break;
    }
  }
  return 0;
}

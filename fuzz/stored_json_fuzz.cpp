// The JSON documents kept in the settings: the hardware models and the
// since-charge ledger. The first byte picks the document type.

#include <cstdint>
#include <string>

#include "accounting/since_charge.h"
#include "calibration/charging_loss_model.h"
#include "calibration/keyboard_model.h"
#include "calibration/screen_model.h"
#include "calibration/speaker_model.h"
#include "fuzz_input.h"

using namespace ebbwise;

namespace {

// Whatever is accepted is written back in a form that reads back the same:
// a document the program stores must survive the next start.
template <typename Document>
void roundTrip(std::string_view text) {
  auto document = Document::fromJSONText(text);
  if (!document) return;
  const std::string stored = document->toJSONText();
  auto again = Document::fromJSONText(stored);
  FUZZ_CHECK(again.has_value());
  FUZZ_CHECK(again->toJSONText() == stored);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput input(data, size);
  const auto kind = input.take<std::uint8_t>();
  const std::string_view text = input.remainingText();
  switch (kind % 5) {
    case 0:
      roundTrip<SinceCharge>(text);
      break;
    case 1:
      roundTrip<ScreenModel>(text);
      break;
    case 2:
      roundTrip<SpeakerModel>(text);
      break;
    case 3:
      roundTrip<KeyboardModel>(text);
      break;
    case 4:
      roundTrip<ChargingLossModel>(text);
      break;
  }
  return 0;
}

#include "app/since_charge_recorder.h"

#include <unordered_map>

namespace ebbwise {

SinceCharge SinceChargeRecorder::ledgerFor(const Session& session, DefaultsWriter& defaults) const {
  std::optional<SinceCharge> stored;
  if (auto value = defaults.defaults().object(kKey)) stored = SinceCharge::fromJSON(*value);
  // A restart during the same stretch continues its ledger; anything else
  // (another stretch, a damaged record) begins a new one.
  SinceCharge chosen =
      stored && stored->isSameSession(session.start) ? *stored : SinceCharge(session.start);
  // The ledger follows the session's own start from now on, so the next
  // tick recognises it even when the stored start drifted by a few seconds.
  chosen.start = session.start;
  // Nothing was recorded while the program was not running.
  chosen.lastAdd.reset();
  return chosen;
}

void SinceChargeRecorder::record(bool onAC, const std::optional<Session>& session,
                                 const std::map<std::string, double>& rowWatts, sys::Date now,
                                 DefaultsWriter& defaults) {
  if (onAC || !session) {
    ledger.reset();
    return;
  }
  if (!ledger || ledger->start != session->start) ledger = ledgerFor(*session, defaults);
  ledger->add(std::unordered_map<std::string, double>(rowWatts.begin(), rowWatts.end()), now,
              kMaxGap);
  if (savedAt && now - *savedAt <= kSaveEvery) return;
  defaults.set(kKey, ledger->toJSON());
  savedAt = now;
}

}  // namespace ebbwise

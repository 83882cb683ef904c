#include "app/since_charge_recorder.h"

#include <algorithm>
#include <unordered_map>

#include "accounting/chart_series.h"

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

std::map<std::string, double> SinceChargeRecorder::tickRows(
    const SinceCharge& ledger, const std::vector<RowWatts>& split,
    const EnergySplit::WattsByName& tickAppWatts) {
  std::map<std::string, double> rows;
  for (const RowWatts& row : split) {
    const std::string& name = row.row.name;
    // Apps are taken from their own figures below.
    if (name != AppShare::otherName && !tickAppWatts.contains(name)) rows[name] += row.watts;
  }
  double otherApps = 0;
  for (const auto& [app, watts] : tickAppWatts) {
    const bool ownRow = std::any_of(split.begin(), split.end(),
                                    [&](const RowWatts& row) { return row.row.name == app; });
    if (ownRow || ledger.joules.contains(ChartSeries::key(app))) {
      rows[app] += watts;
    } else {
      otherApps += watts;
    }
  }
  if (otherApps > 0) rows[std::string(AppShare::otherName)] += otherApps;
  return rows;
}

void SinceChargeRecorder::record(bool onAC, const std::optional<Session>& session,
                                 const std::vector<RowWatts>& split,
                                 const EnergySplit::WattsByName& tickAppWatts, sys::Date now,
                                 DefaultsWriter& defaults) {
  if (onAC || !session) {
    ledger.reset();
    return;
  }
  if (!ledger || ledger->start != session->start) ledger = ledgerFor(*session, defaults);
  const std::map<std::string, double> rows = tickRows(*ledger, split, tickAppWatts);
  ledger->add(std::unordered_map<std::string, double>(rows.begin(), rows.end()), now, kMaxGap);
  if (savedAt && now - *savedAt <= kSaveEvery) return;
  defaults.set(kKey, ledger->toJSON());
  savedAt = now;
}

}  // namespace ebbwise

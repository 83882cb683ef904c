#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "accounting/energy_split.h"
#include "accounting/session.h"
#include "accounting/since_charge.h"
#include "app/defaults_writer.h"
#include "sys/date.h"

namespace ebbwise {

// Keeps the energy ledger of the current stretch on battery: energy per row
// integrated from each tick's live row watts, stored in the settings at most
// once a minute, and picked up again by a restart during the same stretch.
class SinceChargeRecorder {
 public:
  static constexpr const char* kKey = "sinceCharge";
  // Readings further apart than this (asleep, not running) add nothing.
  static constexpr double kMaxGap = 15.0;
  // The ledger is stored no more often than this, to keep writes rare.
  static constexpr double kSaveEvery = 60.0;

  // What `ledger` adds for one tick: the rows of the tick's split, with
  // each app at its own power over the tick as the session counts it
  // (before the split fits the rows to the measured drain). An app keeps
  // its own entry once it has one, even in ticks where it draws too little
  // for a row of its own; the rest of the apps are "Other apps". Energy per
  // app then adds up as the session's does.
  static std::map<std::string, double> tickRows(const SinceCharge& ledger,
                                                const std::vector<RowWatts>& split,
                                                const EnergySplit::WattsByName& tickAppWatts);

  // One tick: on the charger (or without a session) the ledger is dropped
  // from memory and the stored copy left alone; on battery the ledger of the
  // session is found (kept, restored from the settings, or begun) and the
  // tick's rows (`tickRows`) integrated since the previous reading.
  void record(bool onAC, const std::optional<Session>& session, const std::vector<RowWatts>& split,
              const EnergySplit::WattsByName& tickAppWatts, sys::Date now,
              DefaultsWriter& defaults);

  // Published state.
  std::optional<SinceCharge> ledger;
  std::optional<sys::Date> savedAt;  // when it was last stored; never in this run

 private:
  SinceCharge ledgerFor(const Session& session, DefaultsWriter& defaults) const;
};

}  // namespace ebbwise

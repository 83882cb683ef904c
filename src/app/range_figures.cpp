#include "app/range_figures.h"

#include <cmath>

#include "accounting/energy_split.h"

namespace ebbwise {

RangeFigures RangeFigures::sessionShares(const Session& session, double now) {
  RangeFigures figures;
  figures.shares = EnergySplit::shares(session.appJoules, session.batteryJoules, kShareLimit);
  figures.seconds = std::max(0.0, now - session.start.secondsSince1970);
  figures.joules = session.batteryJoules;
  figures.appJoules = session.appJoules;
  return figures;
}

RangeFigures RangeFigures::forSession(const std::optional<Session>& session, Store& store,
                                      double now) {
  RangeFigures figures = session ? sessionShares(*session, now) : RangeFigures{};
  figures.history = store.batteryPoints(session ? session->start.secondsSince1970 : now);
  return figures;
}

RangeFigures RangeFigures::fromStore(HistoryRange range, Store& store, double now) {
  const std::optional<double> span = spanSeconds(range);
  if (!span) return RangeFigures{};
  const double since = now - *span;
  RangeFigures figures;
  figures.joules = store.drainedJoules(since);
  figures.seconds = store.secondsOnBattery(since);
  for (auto& [app, joules] : store.appJoulesOnBattery(since))
    figures.appJoules.emplace(app, joules);
  figures.shares = EnergySplit::shares(figures.appJoules, figures.joules, kShareLimit);
  figures.history = thinned(store.batteryPoints(since), kPointLimit);
  return figures;
}

std::vector<BatteryPoint> RangeFigures::thinned(std::vector<BatteryPoint> points,
                                                std::size_t limit) {
  if (points.size() <= limit) return points;
  const double step = static_cast<double>(points.size()) / static_cast<double>(limit);
  std::vector<BatteryPoint> out;
  out.reserve(limit);
  for (std::size_t i = 0; i < limit; ++i) {
    const auto index = static_cast<std::size_t>(std::floor(static_cast<double>(i) * step));
    out.push_back(points[std::min(index, points.size() - 1)]);
  }
  return out;
}

void RangeFigures::appendLivePoint(const std::optional<BatteryReading>& battery, sys::Date now) {
  if (battery) history.push_back(BatteryPoint{now, battery->percent, battery->onAC});
}

}  // namespace ebbwise

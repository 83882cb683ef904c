#include "accounting/since_charge.h"

#include <algorithm>
#include <cmath>

#include "accounting/chart_series.h"
#include "base/json_fields.h"

namespace ebbwise {

namespace {

// Two charge ends this close together are the same charge seen twice.
constexpr double kSameSessionSeconds = 300;

void sortHighestFirst(std::vector<SinceCharge::Bar>& bars) {
  std::ranges::sort(bars, [](const auto& a, const auto& b) {
    if (a.joules != b.joules) return a.joules > b.joules;
    return a.name < b.name;
  });
}

}  // namespace

void SinceCharge::add(const std::unordered_map<std::string, double>& watts, sys::Date at,
                      double maxGap) {
  // A broken clock value would be stored as null and make the whole ledger
  // unreadable on the next start.
  if (!std::isfinite(at.secondsSince1970)) return;
  if (lastAdd) {
    double elapsed = at - *lastAdd;
    if (elapsed > 0 && elapsed <= maxGap) {
      for (const auto& [series, w] : ChartSeries::group(watts)) {
        if (w > 0 && std::isfinite(w)) joules[series] += w * elapsed;
      }
    }
  }
  lastAdd = at;
}

double SinceCharge::total() const {
  double sum = 0;
  for (const auto& [name, j] : joules) sum += j;
  return sum;
}

bool SinceCharge::isSameSession(sys::Date startingAt) const {
  return std::abs(start - startingAt) < kSameSessionSeconds;
}

std::vector<SinceCharge::Bar> SinceCharge::bars(std::size_t limit, double minJoules) const {
  std::vector<Bar> rows;
  for (const auto& [name, j] : joules) {
    if (j >= minJoules) rows.push_back({name, j});
  }
  sortHighestFirst(rows);
  // One place is kept for the rest.
  std::size_t named = std::max<std::size_t>(limit, 1) - 1;
  if (rows.size() > named) rows.resize(named);
  double rest = total();
  for (const auto& r : rows) rest -= r.joules;
  if (rest >= minJoules) rows.push_back({std::string(ChartSeries::restKey), rest});
  sortHighestFirst(rows);
  return rows;
}

sys::Value SinceCharge::toJSON() const {
  sys::Value document = sys::Value::object();
  document["start"] = start.secondsSinceReferenceDate();
  sys::Value rows = sys::Value::object();
  for (const auto& [name, j] : joules) rows[name] = j;
  document["joules"] = std::move(rows);
  if (lastAdd) document["lastAdd"] = lastAdd->secondsSinceReferenceDate();
  return document;
}

std::string SinceCharge::toJSONText() const {
  return JSONFields::dump(toJSON());
}

std::optional<SinceCharge> SinceCharge::fromJSON(const sys::Value& document) {
  std::optional<double> start = JSONFields::number(document, "start");
  const sys::Value* rows = sys::asDictionary(sys::member(document, "joules"));
  std::optional<double> lastAdd;
  if (!start || !rows || !JSONFields::optionalNumber(document, "lastAdd", lastAdd)) {
    return std::nullopt;
  }
  SinceCharge ledger(sys::Date::fromSecondsSinceReferenceDate(*start));
  for (const auto& [name, value] : rows->items()) {
    std::optional<double> j = sys::asNumber(&value);
    if (!j) return std::nullopt;
    ledger.joules.emplace(name, *j);
  }
  if (lastAdd) ledger.lastAdd = sys::Date::fromSecondsSinceReferenceDate(*lastAdd);
  return ledger;
}

std::optional<SinceCharge> SinceCharge::fromJSONText(std::string_view text) {
  return JSONFields::decode<SinceCharge>(text);
}

}  // namespace ebbwise

#pragma once

#include <cmath>
#include <deque>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace ebbwise {

// The energy of the last few ticks per key, reported as average watts over a
// time window: the shortest run of newest ticks that still covers the window.
// The averages are worked out when first read after a change, so a window
// that is fed every tick but read only now and then (per-process power, the
// last minute's apps) costs little. Not for use from two threads at once.
template <typename Key>
class RollingWatts {
 public:
  using Joules = std::unordered_map<Key, double>;

  struct Period {
    double dt = 0;
    Joules joules;
  };

  explicit RollingWatts(double window) : window_(window) {}

  double window() const { return window_; }
  const std::deque<Period>& periods() const { return periods_; }
  // Average watts per key over the retained periods; only positive entries.
  const std::unordered_map<Key, double>& values() const {
    if (stale_) average();
    return values_;
  }

  // Records one tick's energy. A tick that covers no time (or an unbounded
  // time) is ignored.
  void add(Joules joules, double dt) {
    if (!(dt > 0) || !std::isfinite(dt)) return;
    periods_.push_back(Period{dt, std::move(joules)});
    double total = 0;
    for (const auto& p : periods_) total += p.dt;
    // The newest period always stays, whatever the window: the figures are
    // never an average over no time.
    while (periods_.size() > 1 && window_ <= total - periods_.front().dt) {
      total -= periods_.front().dt;
      periods_.pop_front();
    }
    total_ = total;
    stale_ = true;
  }

  // Forgets every key not in `keys`. `values` is filtered, not recomputed.
  void keep(const std::unordered_set<Key>& keys) {
    for (auto& p : periods_)
      std::erase_if(p.joules, [&](const auto& e) { return !keys.contains(e.first); });
    std::erase_if(values_, [&](const auto& e) { return !keys.contains(e.first); });
  }

  void reset() {
    periods_.clear();
    values_.clear();
    stale_ = false;
    total_ = 0;
  }

  double coveredSeconds() const {
    double total = 0;
    for (const auto& p : periods_) total += p.dt;
    return total;
  }

 private:
  void average() const {
    // The sums are gathered in `values_` itself: from one tick to the next
    // the keys barely change, so this reuses their entries instead of
    // allocating a fresh map (hundreds of processes).
    for (auto& entry : values_) entry.second = 0;
    for (const auto& p : periods_) {
      for (const auto& [key, j] : p.joules) values_[key] += j;
    }
    for (auto it = values_.begin(); it != values_.end();) {
      double w = it->second / total_;
      if (w > 0) {
        it->second = w;
        ++it;
      } else {
        it = values_.erase(it);
      }
    }
    stale_ = false;
  }

  double window_;
  std::deque<Period> periods_;
  double total_ = 0;  // seconds the periods cover, as `add` summed them
  mutable std::unordered_map<Key, double> values_;
  mutable bool stale_ = false;  // periods changed since `values_` was worked out
};

}  // namespace ebbwise

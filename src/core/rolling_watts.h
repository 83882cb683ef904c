#pragma once

#include <cmath>
#include <deque>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace ebbwise {

// The energy of the last few ticks per key, reported as average watts over a
// time window: the shortest run of newest ticks that still covers the window.
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
  const std::unordered_map<Key, double>& values() const { return values_; }

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
    // The sums are gathered in `values_` itself: from one tick to the next
    // the keys barely change, so this reuses their entries instead of
    // allocating a fresh map (hundreds of processes, every tick).
    for (auto& entry : values_) entry.second = 0;
    for (const auto& p : periods_) {
      for (const auto& [key, j] : p.joules) values_[key] += j;
    }
    for (auto it = values_.begin(); it != values_.end();) {
      double w = it->second / total;
      if (w > 0) {
        it->second = w;
        ++it;
      } else {
        it = values_.erase(it);
      }
    }
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
  }

  double coveredSeconds() const {
    double total = 0;
    for (const auto& p : periods_) total += p.dt;
    return total;
  }

 private:
  double window_;
  std::deque<Period> periods_;
  std::unordered_map<Key, double> values_;
};

}  // namespace ebbwise

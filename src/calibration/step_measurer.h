#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <numeric>
#include <optional>
#include <utility>
#include <vector>

namespace ebbwise {

// Measures the power step one hardware change causes: the mean of the
// off-chip samples just before the change against the mean of those just
// after it. The first sample after a change straddles it and is discarded.
// A second change before the first is measured cancels both, since the
// step could no longer be told apart.
//
// Per sample: call `changed` first when the hardware changed since the
// previous sample, then `add` with the new sample.
template <typename Change>
class StepMeasurer {
 public:
  struct Pending {
    Change change;
    double before = 0;
    std::vector<double> after;
    bool skip = true;
    friend bool operator==(const Pending&, const Pending&) = default;
  };

  struct Measurement {
    Change change;
    double delta = 0;
    friend bool operator==(const Measurement&, const Measurement&) = default;
  };

  // `scans` samples are averaged on each side; at least 1.
  explicit StepMeasurer(std::int64_t scans) : scans_(std::max<std::int64_t>(scans, 1)) {}

  std::int64_t scans() const { return scans_; }
  // The latest samples, oldest first; at most 2 × `scans`.
  const std::deque<double>& recent() const { return recent_; }
  const std::optional<Pending>& pending() const { return pending_; }

  // The hardware changed just now.
  void changed(Change change) {
    if (pending_) {
      pending_.reset();
      return;
    }
    auto n = static_cast<std::size_t>(scans_);
    if (recent_.size() < n) return;  // no baseline yet
    double before =
        std::accumulate(recent_.end() - static_cast<std::ptrdiff_t>(n), recent_.end(), 0.0) /
        static_cast<double>(n);
    pending_ = Pending{std::move(change), before, {}, true};
  }

  // Feeds one off-chip sample; the finished measurement when this sample
  // completes one.
  std::optional<Measurement> add(double offChipWatts) {
    if (recent_.size() >= 2 * static_cast<std::size_t>(scans_)) recent_.pop_front();
    recent_.push_back(offChipWatts);
    if (!pending_) return std::nullopt;
    if (pending_->skip) {
      pending_->skip = false;
      return std::nullopt;
    }
    pending_->after.push_back(offChipWatts);
    if (pending_->after.size() < static_cast<std::size_t>(scans_)) return std::nullopt;
    double after = std::accumulate(pending_->after.begin(), pending_->after.end(), 0.0) /
                   static_cast<double>(scans_);
    Measurement done{std::move(pending_->change), after - pending_->before};
    pending_.reset();
    return done;
  }

  friend bool operator==(const StepMeasurer&, const StepMeasurer&) = default;

 private:
  std::int64_t scans_;
  std::deque<double> recent_;
  std::optional<Pending> pending_;
};

}  // namespace ebbwise

#include "sim/sim_process_info.h"

namespace ebbwise::sim {

std::optional<int> SimProcessInfo::thermalState() {
  auto lock = model_.sync();
  return model_.thermalState();
}

class SimProcessInfo::Watch final : public sys::NotificationSource {
 public:
  Watch(MachineModel& model, sys::RunLoop& loop, sys::Task callback)
      : model_(model), loop_(loop), callback_(std::move(callback)) {
    auto lock = model_.sync();
    last_ = model_.thermalState();
    timer_ = loop_.scheduleRepeating(kCheckSeconds, 0, [this] { check(); });
  }
  ~Watch() override { loop_.cancel(timer_); }

 private:
  void check() {
    {
      auto lock = model_.sync();
      if (model_.thermalState() == last_) return;
      last_ = model_.thermalState();
    }
    callback_();
  }

  MachineModel& model_;
  sys::RunLoop& loop_;
  sys::Task callback_;
  int last_ = 0;
  sys::TaskID timer_ = 0;
};

std::unique_ptr<sys::NotificationSource> SimProcessInfo::observeThermalState(sys::RunLoop& mainLoop,
                                                                             sys::Task callback) {
  if (!callback) return nullptr;
  return std::make_unique<Watch>(model_, mainLoop, std::move(callback));
}

}  // namespace ebbwise::sim

#pragma once

#include <utility>

#include "sys/run_loop.h"

namespace ebbwise::sys {

// Runs an answer the way platform callbacks arrive: posted to `loop`, so it
// never runs inside the call that caused it; without a loop (a shared absent
// service) at once.
inline void answerOn(RunLoop* loop, Task task) {
  if (loop) {
    loop->post(std::move(task));
  } else {
    task();
  }
}

}  // namespace ebbwise::sys

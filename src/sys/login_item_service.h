#pragma once

#include <optional>

#include "sys/platform_error.h"

namespace ebbwise::sys {

// SMAppService.Status.
enum class LoginItemStatus { notRegistered = 0, enabled = 1, requiresApproval = 2, notFound = 3 };

// SMAppServiceErrorDomain and the codes it uses here.
inline constexpr const char* kLoginItemErrorDomain = "SMAppServiceErrorDomain";
inline constexpr std::int64_t kLoginItemInternalFailure = 2;
inline constexpr std::int64_t kLoginItemJobNotFound = 6;
inline constexpr std::int64_t kLoginItemServiceUnavailable = 7;
inline constexpr std::int64_t kLoginItemAlreadyRegistered = 12;

// SMAppService.mainApp: opening this application when the user logs in.
// The calls are quick and answer at once.
class LoginItemService {
 public:
  virtual ~LoginItemService() = default;

  virtual LoginItemStatus status() = 0;
  // register(): nothing on success, else why not (already registered, the
  // service failed).
  virtual std::optional<PlatformError> registerItem() = 0;
  // unregister(): nothing on success, else why not (not registered).
  virtual std::optional<PlatformError> unregisterItem() = 0;
};

// A system without login items.
class NoLoginItemService final : public LoginItemService {
 public:
  LoginItemStatus status() override { return LoginItemStatus::notFound; }
  std::optional<PlatformError> registerItem() override { return unsupportedService("Login items"); }
  std::optional<PlatformError> unregisterItem() override {
    return unsupportedService("Login items");
  }

  static NoLoginItemService& instance() {
    static NoLoginItemService none;
    return none;
  }
};

}  // namespace ebbwise::sys

#pragma once

#include <cstdint>
#include <string>

namespace ebbwise::sys {

// An error as the platform reports one (an NSError): its domain, its code in
// that domain and the message meant for the user.
struct PlatformError {
  std::string domain;
  std::int64_t code = 0;
  std::string message;

  friend bool operator==(const PlatformError&, const PlatformError&) = default;
};

// The domain of errors a provider reports for a service it does not have.
inline constexpr const char* kUnsupportedDomain = "ebbwise.unsupported";

// What a service the platform does not have answers.
inline PlatformError unsupportedService(std::string what) {
  return {kUnsupportedDomain, -1, std::move(what) + " is not available on this system"};
}

}  // namespace ebbwise::sys

#include "base/number_text.h"

#include <cstdio>

namespace ebbwise {

std::string numberText(const char* format, double a, double b) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, a, b);
  return buffer;
}

std::string wattsText(double watts) {
  return numberText("%.1f W", watts);
}

}  // namespace ebbwise

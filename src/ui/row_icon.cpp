#include "ui/row_icon.h"

#include <array>
#include <utility>

#include "accounting/app_share.h"
#include "accounting/chart_series.h"

namespace ebbwise::ui {

namespace RowIcon {

namespace {

using Row = AppShare;

constexpr std::array<std::pair<std::string_view, std::string_view>, 15> kRows = {{
    {Row::macName, "gearshape.2"},
    {Row::macOSName, "gearshape.2"},
    {Row::screenName, "sun.max"},
    {Row::screenAndOtherName, "sun.max"},
    {Row::speakersName, "speaker.wave.2"},
    {Row::keyboardName, "light.max"},
    {Row::otherHardwareName, "rectangle.3.group"},
    {Row::graphicsName, "rectangle.on.rectangle"},
    {Row::videoName, "play.rectangle"},
    {Row::chipName, "cpu"},
    {Row::hardwareName, "display"},
    {Row::systemName, "display"},
    {Row::otherName, "square.stack"},
    {ChartSeries::restKey, "square.stack"},
    {Row::chargingHeatName, "flame"},
}};

}  // namespace

std::string_view symbol(std::string_view rowName) {
  for (const auto& [name, symbol] : kRows) {
    if (name == rowName) return symbol;
  }
  if (AppShare::isUSBDevice(rowName)) {
    if (rowName.starts_with("Apple Watch")) return "applewatch";
    if (rowName.starts_with("iPhone")) return "iphone";
    if (rowName.starts_with("iPad")) return "ipad";
    return "cable.connector";
  }
  return "terminal";
}

void draw(Canvas& canvas, std::string_view rowName, const Box& box,
          const std::optional<Color>& tint, const sys::Image* image) {
  if (image && image->isValid()) return canvas.image(*image, box);
  canvas.icon(symbol(rowName), box, tint.value_or(Color::white()));
}

const sys::Image* find(const RowImages& images, std::string_view rowName) {
  auto found = images.find(rowName);
  return found == images.end() ? nullptr : found->second.get();
}

}  // namespace RowIcon

}  // namespace ebbwise::ui

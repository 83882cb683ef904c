#pragma once

#include <optional>
#include <string_view>

#include "ui/canvas.h"

namespace ebbwise::ui {

// The icon of a row of the lists and charts. Apps have no icon images here,
// so every row shows a symbol chosen by its name.
namespace RowIcon {

std::string_view symbol(std::string_view rowName);

// The row's symbol in `box`, in `tint` or white.
void draw(Canvas& canvas, std::string_view rowName, const Box& box,
          const std::optional<Color>& tint = std::nullopt);

}  // namespace RowIcon

}  // namespace ebbwise::ui

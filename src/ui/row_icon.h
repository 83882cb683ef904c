#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "sys/image.h"
#include "ui/canvas.h"

namespace ebbwise::ui {

// The app icons the views have, by row name; a row without one is absent.
using RowImages = std::map<std::string, std::shared_ptr<const sys::Image>, std::less<>>;

// The icon of a row of the lists and charts: the app's own icon when the
// row has one, otherwise a symbol chosen by the row's name.
namespace RowIcon {

std::string_view symbol(std::string_view rowName);

// The row's icon in `box`: `image` when given (never tinted), otherwise the
// row's symbol in `tint` or white.
void draw(Canvas& canvas, std::string_view rowName, const Box& box,
          const std::optional<Color>& tint = std::nullopt, const sys::Image* image = nullptr);

// The image of `rowName` among `images`; null when it has none.
const sys::Image* find(const RowImages& images, std::string_view rowName);

}  // namespace RowIcon

}  // namespace ebbwise::ui

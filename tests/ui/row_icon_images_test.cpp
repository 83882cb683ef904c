// App rows show the app's own icon; other rows their symbol. The icon is
// recorded as an image and painted by Cairo in its own colours.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "ui/image_canvas.h"
#include "ui/notch_panel_view.h"
#include "ui/recording_canvas.h"

namespace ebbwise::ui {
namespace {

std::shared_ptr<const sys::Image> solid(std::uint32_t argb, int side = 64) {
  auto image = std::make_shared<sys::Image>(side, side);
  std::fill(image->pixels.begin(), image->pixels.end(), argb);
  image->pixels[0] = 0;  // a clear corner
  return image;
}

TEST(RowIconImagesTest, AppRowsDrawTheirIconAndOtherRowsTheirSymbol) {
  PanelInput in;
  in.notch.battery = BatteryReading::make(62, 31, -8.5, false, false, {}, {});
  in.notch.unit = PowerUnit::watts;
  in.nowRows = {{"Screen & other hardware", 0.4, 3.2, {}, {}, {}},
                {"Sketch", 0.3, 2.1, {}, {}, {}, solid(0xFF8E4FE8u)},
                {"Unknown tool", 0.1, 0.8, {}, {}, {}}};
  RecordingCanvas canvas;
  NotchPanelView::draw(canvas, in);

  const auto images = canvas.all(DrawOp::Kind::image);
  ASSERT_EQ(images.size(), 1u);
  const DrawOp& icon = *images.front();
  EXPECT_EQ(icon.imageSize.width, 64);
  EXPECT_DOUBLE_EQ(icon.bounds.width, icon.bounds.height);
  EXPECT_LT(icon.bounds.width, 64) << "drawn at the row's icon size";
  const DrawOp* name = canvas.findText("Sketch");
  ASSERT_TRUE(name);
  EXPECT_LT(icon.bounds.maxX(), name->bounds.x) << "beside the name";
  EXPECT_LT(std::abs(icon.bounds.midY() - name->bounds.midY()), 2.0);

  // The hardware row keeps its symbol; a row without an icon its fallback.
  const DrawOp* sun = canvas.findIcon("sun.max");
  const DrawOp* terminal = canvas.findIcon("terminal");
  ASSERT_TRUE(sun && terminal);
  EXPECT_DOUBLE_EQ(sun->bounds.width, icon.bounds.width);
  for (const DrawOp* op : canvas.all(DrawOp::Kind::icon)) {
    EXPECT_FALSE(op->bounds.x == icon.bounds.x && op->bounds.y == icon.bounds.y)
        << "no symbol under the app's icon: " << op->symbol;
  }
}

TEST(RowIconImagesTest, CairoPaintsTheIconInItsColoursInsideItsBox) {
  static const FontLibrary fonts;
  constexpr double kScale = 2;
  ImageCanvas picture(Size{40, 40}, kScale, fonts);
  picture.canvas().image(*solid(0xFF8E4FE8u), Box{10, 10, 16, 16});
  const Color centre = picture.pixel(36, 36);
  EXPECT_NEAR(centre.red, 0x8E / 255.0, 0.02);
  EXPECT_NEAR(centre.green, 0x4F / 255.0, 0.02);
  EXPECT_NEAR(centre.blue, 0xE8 / 255.0, 0.02);
  EXPECT_NEAR(centre.alpha, 1, 0.01);
  EXPECT_EQ(picture.pixel(18, 36).alpha, 0) << "nothing left of the box";
  EXPECT_EQ(picture.pixel(53, 36).alpha, 0) << "nothing right of the box";

  // A wide box keeps the icon square, centred.
  picture.clear();
  picture.canvas().image(*solid(0xFFFFFFFFu), Box{0, 10, 40, 10});
  EXPECT_EQ(picture.pixel(10, 30).alpha, 0);
  EXPECT_GT(picture.pixel(40, 30).alpha, 0.9);

  // What cannot be drawn is not: a broken bitmap, a box that is no box.
  picture.clear();
  sys::Image broken(8, 8);
  broken.pixels.resize(5);
  picture.canvas().image(broken, Box{0, 0, 40, 40});
  picture.canvas().image(*solid(0xFFFFFFFFu),
                         Box{std::numeric_limits<double>::quiet_NaN(), 0, 40, 40});
  picture.canvas().image(*solid(0xFFFFFFFFu), Box{0, 0, -4, 40});
  for (int y = 0; y < 80; y += 7) {
    for (int x = 0; x < 80; x += 7) ASSERT_EQ(picture.pixel(x, y).alpha, 0) << x << "," << y;
  }
}

}  // namespace
}  // namespace ebbwise::ui

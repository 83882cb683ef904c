#include <gtest/gtest.h>

#include <cmath>

#include "ui/notch_shape.h"
#include "ui/path.h"

namespace ebbwise::ui {
namespace {

TEST(PathTest, TrimmingKeepsTheStretchByLengthAcrossCorners) {
  Path l;  // 10 across, then 10 down: 20 long
  l.moveTo({0, 0});
  l.lineTo({10, 0});
  l.lineTo({10, 10});
  EXPECT_DOUBLE_EQ(l.length(), 20);
  Path half = l.trimmed(0.25, 0.75);
  EXPECT_NEAR(half.length(), 10, 1e-9);
  EXPECT_EQ(half.bounds(), (Box{5, 0, 5, 5}));
  // Shares out of range or broken are held to the line; an empty stretch is nothing.
  EXPECT_NEAR(l.trimmed(-1, 2).length(), 20, 1e-9);
  EXPECT_TRUE(l.trimmed(0.6, 0.6).empty());
  EXPECT_TRUE(l.trimmed(NAN, NAN).empty());
  EXPECT_TRUE(Path().trimmed(0, 1).empty());
}

TEST(PathTest, CurvesFlattenCloseToTheirTrueLength) {
  Path circle = Path::ellipse(Box{0, 0, 20, 20});
  EXPECT_NEAR(circle.length(), 2 * M_PI * 10, 0.15);
  Path rounded = Path::roundedRect(Box{0, 0, 40, 20}, 100);  // radius held to 10: a stadium
  EXPECT_NEAR(rounded.length(), 2 * 20 + 2 * M_PI * 10, 0.4);
}

TEST(NotchShapeTest, OutlineRunsFromTheTopLeftDownAroundAndUpOpenAtTheTop) {
  Box rect{100, 0, 200, 38};
  NotchShape shape{6, 9, true};
  Path outline = shape.path(rect);
  auto lines = outline.flattened();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines.front().front(), (Point{106, 0}));  // top of the left side
  EXPECT_EQ(lines.front().back(), (Point{294, 0}));   // top of the right side
  // Sides of h − r, a bottom of w − 2f − 2r and two corners, each a
  // quadratic curve of length 1.6232 r (its control point on the corner).
  double corners = outline.length() - 2 * (38 - 9) - (200 - 12 - 18);
  EXPECT_NEAR(corners, 2 * 1.62323 * 9, 0.05);
  // A quarter of the line ends on the left side, so trimming starts top left.
  Path quarter = outline.trimmed(0, 0.1);
  EXPECT_LT(quarter.bounds()->maxX(), 107);

  // The filled tab reaches the full width at its top edge and is closed.
  Path tab = NotchShape{6, 9, false}.path(rect);
  EXPECT_EQ(tab.bounds(), rect);
  EXPECT_EQ(tab.elements().back().verb, Path::Verb::close);
  // A radius larger than the tab is held to what fits.
  EXPECT_TRUE(std::isfinite(NotchShape{6, 500, true}.path(Box{0, 0, 30, 10}).length()));
}

}  // namespace
}  // namespace ebbwise::ui

// Real renders through Cairo and Pango with the fonts installed on this
// machine: only figures that do not depend on the fonts' metrics are checked.

#include <gtest/gtest.h>

#include <cmath>

#include "ui/image_canvas.h"
#include "ui/notch_shape.h"
#include "ui/notch_view.h"
#include "ui/symbol_glyphs.h"

namespace ebbwise::ui {
namespace {

constexpr double kScale = 4;

struct Render {
  const FontLibrary& fonts;
  ImageCanvas image;
  Render(const FontLibrary& f, Size points) : fonts(f), image(points, kScale, f) {}
  Color at(double x, double y) {
    return image.pixel(static_cast<int>(x * kScale), static_cast<int>(y * kScale));
  }
  // Pixels with any ink in a box of points.
  int ink(const Box& box) {
    int count = 0;
    for (int y = static_cast<int>(box.y * kScale); y < box.maxY() * kScale; ++y) {
      for (int x = static_cast<int>(box.x * kScale); x < box.maxX() * kScale; ++x) {
        if (image.pixel(x, y).alpha > 0.1) ++count;
      }
    }
    return count;
  }
};

const FontLibrary& installedFonts() {
  static const FontLibrary fonts;
  return fonts;
}

TEST(CairoRenderTest, BatteryLineIsAsLongAsThePercentInTheThemesColour) {
  NotchState state;
  state.notchSize = {192, 38};
  // The outline the line is stroked on (the tab plus half the line's width).
  double length = NotchShape{6, 9, true}.path(Box{0, 0, 192 + 12 + 3, 38 + 1.5}).length();
  for (double percent : {40.0, 50.0, 60.0}) {
    NotchViewInput in;
    in.battery = BatteryReading::make(percent, 25, -5, false, false, {}, {});
    Render r(installedFonts(), Size{400, 60});
    r.image.canvas().translate(200, 0);
    NotchView::draw(r.image.canvas(), in, state, NotchMotion::resting(state, in));

    // Walk the bottom stretch of the line (its middle is half the outline):
    // the level's colour gives way to the faint track where the level ends.
    double y = 38 + 1.5, end = NAN;
    for (double x = -80; x <= 80; x += 1 / kScale) {
      if (r.at(200 + x, y).alpha < 0.5) {
        end = x;
        break;
      }
    }
    EXPECT_NEAR(end, (percent / 100 - 0.5) * length, 0.5) << percent;
    Color level = r.at(200 + end - 5, y),
          expected = NotchView::lineColor(LineTheme::battery, percent);
    EXPECT_NEAR(level.red, expected.red, 2.5 / 255) << percent;
    EXPECT_NEAR(level.green, expected.green, 2.5 / 255);
    EXPECT_NEAR(level.blue, expected.blue, 2.5 / 255);
    EXPECT_NEAR(r.at(200 + end + 5, y).alpha, 0.25, 2.5 / 255);  // the track
    EXPECT_EQ(r.at(200, 20), Color::black());                    // the tab
  }
}

TEST(CairoRenderTest, EverySymbolHasAGlyphInTheInstalledSymbolFont) {
  const FontLibrary& fonts = installedFonts();
  ASSERT_TRUE(fonts.hasTextFont()) << "Inter is part of the build's packages";
  ASSERT_TRUE(fonts.hasSymbolFont());
  EXPECT_TRUE(fonts.problems().empty());
  for (const SymbolGlyph& g : SymbolGlyphs::all())
    EXPECT_TRUE(fonts.hasGlyph(g.symbol)) << g.symbol;
  EXPECT_FALSE(fonts.hasGlyph("no.such.symbol"));
}

TEST(CairoRenderTest, MissingFontsAndSymbolsFallBackToDrawnShapesWithAMessage) {
  FontLibrary missing(FontFamilies{"No Such Text Face", "No Such Symbol Face"});
  EXPECT_FALSE(missing.hasTextFont());
  EXPECT_FALSE(missing.hasSymbolFont());
  ASSERT_EQ(missing.problems().size(), 2u);
  EXPECT_NE(missing.problems()[0].find("fonts-inter"), std::string::npos);
  EXPECT_NE(missing.problems()[1].find("fonts-material-design-icons-iconfont"), std::string::npos);

  for (const FontLibrary* fonts :
       std::initializer_list<const FontLibrary*>{&missing, &installedFonts()}) {
    Render r(*fonts, Size{100, 40});
    r.image.canvas().icon("bolt.fill", Box{0, 0, 20, 20}, Color::white());
    r.image.canvas().icon("no.such.symbol", Box{30, 0, 20, 20}, Color::white());
    r.image.canvas().text("Hello", Point{60, 0}, TextStyle(12), Color::white());
    EXPECT_GT(r.ink(Box{0, 0, 20, 20}), 20);
    EXPECT_GT(r.ink(Box{30, 0, 20, 20}), 20);  // the outline stands in
    EXPECT_GT(r.ink(Box{60, 0, 40, 20}), 20);
  }
}

TEST(CairoRenderTest, HostileTextIsDrawnCutAndBadGeometryIsLeftOut) {
  Render r(installedFonts(), Size{300, 100});
  Canvas& c = r.image.canvas();
  const std::string names[] = {std::string(300, 'W'),
                               "\u05e1\u05e4\u05d0\u05e8\u05d9 Safari",
                               "e\u0301\u0301\u0301\u0301 Z\u0351\u0352\u0353",
                               "bad \xff\xfe bytes",
                               std::string("nul\0after", 9),
                               "line\nbreak"};
  double y = 0;
  for (const std::string& name : names) {
    TextStyle style = TextStyle(11).cutAt(120);
    Size size = c.measure(name, style);
    EXPECT_LE(size.width, 120.5) << name;
    EXPECT_LT(size.height, 20) << name;  // one line
    c.text(name, Point{0, y}, style, Color::white());
    y += 15;
  }
  // Nothing passes the cut width.
  EXPECT_EQ(r.ink(Box{121, 0, 179, 90}), 0);

  Path broken;
  broken.moveTo({NAN, 0});
  broken.lineTo({INFINITY, 10});
  c.fill(broken, Color::white());
  c.translate(NAN, 0);
  c.text("x", Point{NAN, 0}, TextStyle(11), Color::white());
  c.icon("bolt.fill", Box{0, 0, NAN, 10}, Color::white());
  // The context is still good for what comes after.
  c.fill(Path::rect(Box{200, 95, 5, 5}), Color::white());
  EXPECT_EQ(r.at(202, 97), Color::white());
}

TEST(CairoRenderTest, PngIsWrittenOrTheFailureSaysWhere) {
  Render r(installedFonts(), Size{10, 10});
  std::string path = ::testing::TempDir() + "/render.png";
  EXPECT_EQ(r.image.writePng(path), std::nullopt);
  auto error = r.image.writePng("/no/such/folder/render.png");
  ASSERT_TRUE(error);
  EXPECT_NE(error->find("/no/such/folder/render.png"), std::string::npos);
}

}  // namespace
}  // namespace ebbwise::ui

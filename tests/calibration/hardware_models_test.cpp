#include <gtest/gtest.h>

#include <cmath>

#include "calibration/charging_loss_model.h"
#include "calibration/keyboard_model.h"
#include "calibration/screen_model.h"
#include "calibration/speaker_model.h"

namespace ebbwise {
namespace {

// 0 W at brightness 0 up to 4 W at full.
ScreenModel linearScreen() {
  return ScreenModel::fromCalibration({{1, 7}, {0, 3}, {0.5, 5}});
}

TEST(ScreenModelTest, CalibratesInterpolatesAndRefinesAQuarterOfTheWay) {
  // Above the dimmest step and never decreasing; too few usable samples leave it unmeasured.
  auto dipping = ScreenModel::fromCalibration({{0, 3}, {0.5, 3.5}, {0.75, 3.25}, {1, 4}});
  EXPECT_EQ(dipping.points.back().watts, 1);
  EXPECT_EQ(dipping.watts(0.75), 0.5);
  EXPECT_EQ(ScreenModel::fromCalibration({{0.5, 3}, {NAN, 4}, {0.7, INFINITY}}), ScreenModel{});
  EXPECT_EQ(linearScreen().watts(2), 4);
  EXPECT_EQ(linearScreen().watts(NAN), std::nullopt);
  // from, to, measured step → factor on the curve (0: not refined)
  const std::array<double, 4> cases[] = {{0.5, 1, 8, 1.25},    // 4 × predicted, held to 2
                                         {0.5, 1, -2, 0.875},  // opposite sign, held to 0.5
                                         {0.5, 0.5375, 5, 0},  // predicts 0.15 W: too small
                                         {0.5, 1, NAN, 0},
                                         {NAN, 1, 2, 0}};
  for (auto [from, to, measured, factor] : cases) {
    ScreenModel model = linearScreen();
    model.refine(from, to, measured);
    EXPECT_EQ(model.refinements, factor ? 1 : 0) << from << "→" << to << " " << measured;
    EXPECT_NEAR(model.points.back().watts, factor ? 4 * factor : 4, 1e-12) << measured;
  }
}

TEST(ChargingLossModelTest, AcceptsOnlyPlausibleStepsIntoARunningMean) {
  // A loss below 0 or above 15 % of the charge step, a step under 5 W or a
  // non-finite figure is refused.
  const std::pair<double, double> refused[] = {
      {0.5, -10}, {0.3, 4.9}, {1.6, 10}, {NAN, 10}, {0.5, INFINITY}};
  for (auto [hardware, charge] : refused) {
    ChargingLossModel model;
    model.add(hardware, charge);
    EXPECT_EQ(model.fraction, std::nullopt) << hardware << "/" << charge;
  }
  ChargingLossModel model;
  model.add(-0.5, -10);
  model.add(1.5, 10);  // at the limit
  EXPECT_NEAR(*model.fraction, 0.1, 1e-12);
  // A damaged negative count neither divides by zero nor flips the mean.
  ChargingLossModel damaged{.fraction = 0.1, .samples = -1};
  damaged.add(0.5, 10);
  EXPECT_NEAR(*damaged.fraction, 0.05, 1e-12);
}

TEST(HardwareModelJSONTest, WritesAndReadsTheStoredForms) {
  ScreenModel screen = linearScreen();
  screen.refinements = 3;
  EXPECT_EQ(screen.toJSON(), sys::Value::parse(R"({"points":[{"brightness":0,"watts":0},
      {"brightness":0.5,"watts":2},{"brightness":1,"watts":4}],"refinements":3})"));
  EXPECT_EQ(ScreenModel::fromJSONText(screen.toJSONText()), screen);
  EXPECT_EQ((SpeakerModel{.watts = 0.7, .samples = 1}).toJSONText(),
            R"({"samples":1,"watts":0.7})");
  EXPECT_EQ(KeyboardModel::fromJSONText(R"({"fullWatts":0.9})"), KeyboardModel{.fullWatts = 0.9});
  EXPECT_EQ(ChargingLossModel::fromJSONText(R"({"samples": 2.0, "fraction": 0.04})"),
            (ChargingLossModel{.fraction = 0.04, .samples = 2}));
  EXPECT_EQ(ChargingLossModel{}.toJSONText(), R"({"samples":0})");
}

// Truncated text, wrong types and missing required keys read as no model.
TEST(HardwareModelJSONTest, DamagedDocumentsDecodeAsNothing) {
  for (const char* text :
       {R"({"points": []})", R"({"refinements": 0})",
        R"({"points": [{"brightness": 0, "watts": 0}], "refinements": 0)",
        R"({"points": [{"brightness": 0}], "refinements": 0})",
        R"({"points": [{"brightness": "0", "watts": 0}], "refinements": 0})",
        R"({"points": [[0, 0]], "refinements": 0})", R"({"points": {}, "refinements": 0})",
        R"({"points": [], "refinements": 1.5})", R"({"points": [], "refinements": "1"})",
        R"({"points": [], "refinements": 1e30})"}) {
    EXPECT_EQ(ScreenModel::fromJSONText(text), std::nullopt) << text;
  }
  for (const char* text : {"", "{}", R"({"watts": 1})", R"({"watts": "1", "samples": 1})",
                           R"({"watts": true, "samples": 1})", R"({"samples": false})",
                           R"({"samples": 1, "watts": 0.5)"}) {
    EXPECT_EQ(SpeakerModel::fromJSONText(text), std::nullopt) << text;
  }
  for (const char* text : {"", "[]", "null", "0.5", R"({"fullWatts": "0.5"})",
                           R"({"fullWatts": {}})", R"({"fullWatts": 0.5)"}) {
    EXPECT_EQ(KeyboardModel::fromJSONText(text), std::nullopt) << text;
  }
  for (const char* text : {"{}", R"({"fraction": 0.1})", R"({"fraction": [0.1], "samples": 1})",
                           R"({"samples": "3"})", R"({"samples": 3.25})", R"({"samples": 3,)"}) {
    EXPECT_EQ(ChargingLossModel::fromJSONText(text), std::nullopt) << text;
  }
}

}  // namespace
}  // namespace ebbwise

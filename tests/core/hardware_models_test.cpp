#include <gtest/gtest.h>

#include <limits>

#include "core/charging_loss_model.h"
#include "core/keyboard_model.h"
#include "core/screen_model.h"
#include "core/speaker_model.h"
#include "core/step_measurer.h"

namespace ebbwise {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

std::vector<double> wattsOf(const ScreenModel& model) {
  std::vector<double> out;
  for (const auto& p : model.points) out.push_back(p.watts);
  return out;
}

// 0 W at brightness 0 up to 4 W at full.
ScreenModel linearScreen() {
  return ScreenModel::fromCalibration({{0, 3}, {0.5, 5}, {1, 7}});
}

TEST(ScreenModelTest, CalibrationGivesANeverDecreasingCurveAboveTheDimmestStep) {
  auto dipping = ScreenModel::fromCalibration({{0.25, 3.0}, {0.5, 3.4}, {0.75, 3.2}, {1, 3.9}});
  auto got = wattsOf(dipping);
  std::vector<double> expected = {0, 0.4, 0.4, 0.9};
  ASSERT_EQ(got.size(), expected.size());
  for (std::size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], expected[i], 1e-12);
  EXPECT_EQ(ScreenModel::fromCalibration({{1, 3.9}, {0.75, 3.2}, {0.5, 3.4}, {0.25, 3.0}}),
            dipping);
  EXPECT_EQ(wattsOf(ScreenModel::fromCalibration({{0, 9}, {0.5, 4}, {1, 5}})),
            (std::vector<double>{0, 0, 0}));
  // Too few usable samples leave it unmeasured.
  EXPECT_EQ(ScreenModel::fromCalibration({{0.5, 3}}), ScreenModel{});
  EXPECT_EQ(ScreenModel::fromCalibration({{0.5, 3}, {kNaN, 4}, {0.7, kInf}}), ScreenModel{});
}

TEST(ScreenModelTest, WattsInterpolatesAndHoldsAtTheEnds) {
  auto model = ScreenModel::fromCalibration({{0.2, 3}, {0.6, 5}, {1, 9}});
  const std::pair<double, double> cases[] = {{0, 0},   {0.2, 0}, {0.4, 1}, {0.6, 2},
                                             {0.8, 4}, {1, 6},   {1.5, 6}, {kInf, 6}};
  for (auto [b, w] : cases) EXPECT_NEAR(*model.watts(b), w, 1e-12) << b;
  EXPECT_EQ(model.watts(kNaN), std::nullopt);
  EXPECT_EQ(ScreenModel{}.watts(0.5), std::nullopt);
}

TEST(ScreenModelTest, RefineMovesTheCurveAQuarterOfTheWay) {
  struct Case {
    double from, to, measured, factor;
    int refinements;
  };
  const Case cases[] = {{0.5, 1, 8, 1.25, 1},    // 4 × predicted, held to 2
                        {0.5, 1, -2, 0.875, 1},  // opposite sign, held to 0.5
                        {0.5, 1, 3, 1.125, 1},  {1, 0.5, -2, 1, 1},
                        {0.5, 0.5375, 5, 1, 0},  // predicts 0.15 W: too small
                        {0.5, 1, kNaN, 1, 0},   {0.5, 1, kInf, 1, 0},
                        {kNaN, 1, 2, 1, 0}};
  for (const auto& c : cases) {
    ScreenModel model = linearScreen();
    model.refine(c.from, c.to, c.measured);
    EXPECT_EQ(model.refinements, c.refinements) << c.from << "→" << c.to << " " << c.measured;
    EXPECT_NEAR(model.points.back().watts, 4 * c.factor, 1e-12) << c.measured;
  }
}

TEST(KeyboardModelTest, PowerIsProportionalToTheHeldLevel) {
  KeyboardModel model{.fullWatts = 0.8};
  EXPECT_DOUBLE_EQ(*model.watts(0.5), 0.4);
  EXPECT_DOUBLE_EQ(*model.watts(3), 0.8);
  EXPECT_DOUBLE_EQ(*model.watts(kNaN), 0);
  EXPECT_EQ(KeyboardModel{}.watts(0.5), std::nullopt);
}

TEST(ChargingLossModelTest, AcceptsOnlyPlausibleSteps) {
  struct Case {
    double hardware, charge;
    std::optional<double> fraction;
  };
  const Case cases[] = {{-0.5, -10, 0.05},         {0.5, -10, std::nullopt},
                        {0.3, 4.9, std::nullopt},  {1.5, 10, 0.15},
                        {1.6, 10, std::nullopt},   {kNaN, 10, std::nullopt},
                        {0.5, kNaN, std::nullopt}, {0.5, kInf, std::nullopt}};
  for (const auto& c : cases) {
    ChargingLossModel model;
    model.add(c.hardware, c.charge);
    EXPECT_EQ(model.fraction, c.fraction) << c.hardware << "/" << c.charge;
    EXPECT_EQ(model.samples, c.fraction ? 1 : 0);
  }
}

TEST(ChargingLossModelTest, RunningMeanAndHeat) {
  ChargingLossModel model;
  model.add(1, 10);
  model.add(0.5, 10);
  EXPECT_NEAR(*model.fraction, 0.075, 1e-12);
  // After 50 observations a new one weighs 1/51.
  ChargingLossModel seasoned{.fraction = 0.1, .samples = 400};
  seasoned.add(0, 10);
  EXPECT_NEAR(*seasoned.fraction, 0.1 * 50 / 51, 1e-12);
  // A damaged negative count neither divides by zero nor flips the mean.
  ChargingLossModel damaged{.fraction = 0.1, .samples = -1};
  damaged.add(0.5, 10);
  EXPECT_NEAR(*damaged.fraction, 0.05, 1e-12);

  ChargingLossModel known{.fraction = 0.05, .samples = 3};
  EXPECT_EQ(known.heat(0.5), std::nullopt);
  EXPECT_DOUBLE_EQ(*known.heat(20), 1.0);
  EXPECT_EQ(ChargingLossModel{}.heat(20), std::nullopt);
}

TEST(StepMeasurerTest, MeasuresTheStepOnTheThirdSampleAfterAChange) {
  StepMeasurer<double> steps(2);
  steps.add(3);
  steps.add(4);
  steps.changed(10);
  EXPECT_EQ(steps.add(100), std::nullopt);  // straddles the change: thrown away
  EXPECT_EQ(steps.add(6), std::nullopt);
  EXPECT_EQ(steps.add(8), (StepMeasurer<double>::Measurement{10, 7 - 3.5}));
  EXPECT_EQ(steps.add(8), std::nullopt);
  EXPECT_EQ(steps.recent(), (std::deque<double>{100, 6, 8, 8}));  // at most 2 × scans
}

TEST(StepMeasurerTest, NoBaselineOrASecondChangeMeasuresNothing) {
  StepMeasurer<std::string> early(2);
  early.add(3);
  early.changed("up");
  EXPECT_EQ(early.pending(), std::nullopt);

  StepMeasurer<std::string> twice(2);
  twice.add(3);
  twice.add(3);
  twice.changed("up");
  twice.add(5);
  twice.changed("down");  // cancels both
  for (int i = 0; i < 4; ++i) EXPECT_EQ(twice.add(9), std::nullopt);

  StepMeasurer<int> none(0);  // held to one scan rather than never finishing
  none.add(1);
  none.changed(1);
  none.add(5);
  EXPECT_EQ(none.add(3), (StepMeasurer<int>::Measurement{1, 2}));
}

TEST(HardwareModelJSONTest, WritesAndReadsTheStoredForms) {
  ScreenModel screen = linearScreen();
  screen.refinements = 3;
  EXPECT_EQ(screen.toJSON(), sys::Value::parse(R"({"points":[{"brightness":0,"watts":0},
      {"brightness":0.5,"watts":2},{"brightness":1,"watts":4}],"refinements":3})"));
  EXPECT_EQ(ScreenModel::fromJSONText(screen.toJSONText()), screen);
  EXPECT_EQ(ScreenModel::fromJSONText(ScreenModel{}.toJSONText()), ScreenModel{});

  SpeakerModel speakers{.watts = 0.7, .samples = 1};
  EXPECT_EQ(speakers.toJSON(), sys::Value::parse(R"({"watts":0.7,"samples":1})"));
  EXPECT_EQ(SpeakerModel{}.toJSONText(), R"({"samples":0})");

  KeyboardModel keyboard{.fullWatts = 0.9};
  EXPECT_EQ(keyboard.toJSONText(), R"({"fullWatts":0.9})");
  EXPECT_EQ(KeyboardModel{}.toJSONText(), "{}");
  EXPECT_EQ(KeyboardModel::fromJSONText("{}"), KeyboardModel{});

  ChargingLossModel loss{.fraction = 0.04, .samples = 7};
  EXPECT_EQ(loss.toJSON(), sys::Value::parse(R"({"fraction":0.04,"samples":7})"));
  EXPECT_EQ(ChargingLossModel::fromJSONText(loss.toJSONText()), loss);
  EXPECT_EQ(ChargingLossModel::fromJSONText(R"({"samples": 2.0, "fraction": null})"),
            (ChargingLossModel{.fraction = std::nullopt, .samples = 2}));
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

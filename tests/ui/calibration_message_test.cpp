#include "ui/calibration_message.h"

#include <gtest/gtest.h>

#include <cmath>

#include "ui/recording_canvas.h"

namespace ebbwise::ui {
namespace {

TEST(CalibrationMessageTest, SentenceSaysWhereBrightnessGoesAndTimeLeft) {
  EXPECT_EQ(CalibrationMessage::sentence({"Measuring the screen", 0.62, 41.7, 0.3}),
            "Measuring the screen. Your brightness goes back to 62%. About 41 s left.");
  EXPECT_EQ(CalibrationMessage::sentence({"Measuring the speakers", std::nullopt, 5, 0.9}),
            "Measuring the speakers. Your brightness goes back to where it was. About 5 s left.");
  // Broken figures read as nothing left and the unknown brightness.
  EXPECT_EQ(CalibrationMessage::sentence({"X", NAN, -3, 0}),
            "X. Your brightness goes back to where it was. About 0 s left.");
  EXPECT_EQ(CalibrationMessage::sentence({"X", 7.5, NAN, 0}),
            "X. Your brightness goes back to 100%. About 0 s left.");
}

TEST(CalibrationMessageTest, LayoutKeepsTheStopButtonAndProgressInsideAndGrowsWithText) {
  RecordingCanvas canvas;
  CalibrationMessageInput input{"Measuring the screen", 0.5, 30, 0.25};
  auto l = CalibrationMessage::draw(canvas, input);
  EXPECT_EQ(l.size, (Size{380, 150}));
  EXPECT_LE(l.stopButton.maxX(), 380 - 18 + 1e-9);
  EXPECT_LE(l.stopButton.maxY(), l.size.height);
  EXPECT_LT(l.progressBar.maxX(), l.stopButton.x);
  EXPECT_NE(canvas.findText("Stop"), nullptr);
  EXPECT_NE(canvas.findText("Measuring your screen and speakers"), nullptr);
  // The filled part of the bar is its share of the whole.
  auto fills = canvas.all(DrawOp::Kind::fill);
  auto done = std::find_if(fills.begin(), fills.end(),
                           [](const DrawOp* op) { return op->color == Color::systemBlue(); });
  ASSERT_NE(done, fills.end());
  EXPECT_NEAR((*done)->bounds.width, l.progressBar.width * 0.25, 1e-9);

  input.phase = std::string(600, 'a') + " \u05e9\u05dc\u05d5\u05dd";
  input.calibrationProgress = NAN;
  RecordingCanvas tall;
  auto grown = CalibrationMessage::draw(tall, input);
  EXPECT_GT(grown.size.height, 150);
  EXPECT_LE(grown.stopButton.maxY(), grown.size.height);
  EXPECT_EQ(tall.refused(), 0);
}

}  // namespace
}  // namespace ebbwise::ui

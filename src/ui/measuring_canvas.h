#pragma once

#include "ui/canvas.h"

namespace ebbwise::ui {

// A canvas that draws nothing and measures text with another canvas's
// fonts, so a view can be laid out (its height found) before it is drawn.
class MeasuringCanvas final : public Canvas {
 public:
  explicit MeasuringCanvas(Canvas& fonts) : fonts_(fonts) {}

  void fill(const Path&, const Paint&) override {}
  void stroke(const Path&, const Stroke&, const Paint&) override {}
  Size measure(std::string_view text, const TextStyle& style) override {
    return fonts_.measure(text, style);
  }
  void text(std::string_view, Point, const TextStyle&, const Color&) override {}
  void icon(std::string_view, const Box&, const Color&) override {}
  void image(const sys::Image&, const Box&) override {}
  void save() override {}
  void restore() override {}
  void translate(double, double) override {}
  void rotate(double) override {}
  void clip(const Path&) override {}
  void beginLayer(double) override {}
  void endLayer() override {}

 private:
  Canvas& fonts_;
};

}  // namespace ebbwise::ui

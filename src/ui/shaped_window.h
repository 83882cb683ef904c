#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ui/screen_mapping.h"

struct SDL_Window;

namespace ebbwise::ui {

class ImageCanvas;

// A borderless SDL window on X11 whose outline follows what is drawn in it:
// pixels at least a fifth opaque show (as laid over black), the rest is
// see-through (the X shape extension, so no compositor is needed). Where it takes the pointer is
// set apart from its outline, so clicks beside the drawing pass through.
class ShapedWindow {
 public:
  struct Options {
    std::string title;
    PixelRect frame;
    // Takes the keyboard when shown (a message the user answers); otherwise
    // the window never takes the focus and stays above everything.
    bool takesFocus = false;
  };

  // Nothing, and `error` says why, when the window can't be made.
  static std::unique_ptr<ShapedWindow> create(const Options& options, std::string& error);
  ~ShapedWindow();
  ShapedWindow(const ShapedWindow&) = delete;
  ShapedWindow& operator=(const ShapedWindow&) = delete;

  std::uint32_t id() const;
  unsigned long xWindow() const { return xWindow_; }
  const PixelRect& frame() const { return frame_; }

  void setFrame(const PixelRect& frame);
  void show();
  void hide();
  bool isShown() const { return shown_; }

  // Shows `image` (as large as the frame) and fits the outline to it.
  void present(ImageCanvas& image);

  // Where the pointer counts, in pixels of the window; empty: nowhere.
  void setInputRegion(const std::vector<PixelRect>& region);

 private:
  ShapedWindow(SDL_Window* window, const Options& options);

  SDL_Window* window_;
  void* display_ = nullptr;  // the X display of the window
  unsigned long xWindow_ = 0;
  PixelRect frame_;
  bool takesFocus_;
  bool shown_ = false;
  std::vector<std::uint8_t> mask_;  // the outline last set, one bit a pixel
  std::vector<PixelRect> input_;
};

}  // namespace ebbwise::ui

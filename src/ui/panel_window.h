#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "ui/font_library.h"
#include "ui/panel_input.h"
#include "ui/panel_parts.h"
#include "ui/sdl_session.h"

struct SDL_Window;

namespace ebbwise::ui {

// The larger panel in an ordinary window of its own, where the menu-bar
// item would open it on the Mac. Redrawn only when its input changes or the
// window system asks; clicks on its controls go to `clicked`, and closing
// the window to `closed`.
class PanelWindow {
 public:
  struct Callbacks {
    std::function<void(const PanelHotspot&)> clicked;
    std::function<void()> closed;
  };

  // Nothing, and `error` says why, when the window can't be made.
  static std::unique_ptr<PanelWindow> open(SdlSession& session, const FontLibrary& fonts,
                                           Callbacks callbacks, std::string& error);
  ~PanelWindow();
  PanelWindow(const PanelWindow&) = delete;
  PanelWindow& operator=(const PanelWindow&) = delete;

  void setInput(std::shared_ptr<const PanelInput> input, const PanelUiState& ui);
  std::uint32_t id() const;
  const PanelLayout& layout() const { return layout_; }

 private:
  PanelWindow(SdlSession& session, const FontLibrary& fonts, Callbacks callbacks);
  void draw();
  void handle(const SDL_Event& event);

  SdlSession& session_;
  const FontLibrary& fonts_;
  Callbacks callbacks_;
  SDL_Window* window_ = nullptr;
  std::shared_ptr<const PanelInput> input_;
  PanelUiState ui_;
  PanelLayout layout_;
  std::string title_;
  bool shown_ = false;
};

}  // namespace ebbwise::ui

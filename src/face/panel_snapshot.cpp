#include "face/panel_snapshot.h"

#include "face/panel_inputs.h"
#include "ui/notch_panel_view.h"
#include "ui/notch_view.h"

namespace ebbwise {

namespace PanelSnapshot {

std::unique_ptr<ui::ImageCanvas> render(const ui::PanelInput& input, const ui::FontLibrary& fonts) {
  auto image = std::make_unique<ui::ImageCanvas>(static_cast<int>(frameWidth * scale),
                                                 static_cast<int>(frameHeight * scale), scale,
                                                 fonts, ui::Color::gray(background));
  ui::Canvas& canvas = image->canvas();

  ui::NotchState state;
  state.notchSize = {notchWidth, notchHeight};
  state.isOpen = true;
  state.panelContentHeight = ui::NotchPanelView::layout(canvas, input).height;

  // The notch view is top-aligned in the frame, the notch at its top centre.
  canvas.translate(frameWidth / 2, 0);
  ui::NotchView::draw(canvas, input.notch, state, ui::NotchMotion::resting(state, input.notch),
                      [&input](ui::Canvas& c, ui::Size) { ui::NotchPanelView::draw(c, input); });
  return image;
}

std::optional<std::string> write(Monitor& monitor, sys::Date now, const std::string& path,
                                 const ui::FontLibrary& fonts) {
  return render(PanelInputs::panel(monitor, now), fonts)->writePng(path);
}

}  // namespace PanelSnapshot

}  // namespace ebbwise

#include "ui/win32/layout.h"

int TwipsToPixels(int twips, int dpi) {
  const long long scaled = static_cast<long long>(twips) * dpi;
  // Round half away from zero; layout values are never negative.
  return static_cast<int>((scaled + 720) / 1440);
}

PixelRect ControlRect(const std::array<Control, kControlCount>& controls, ControlId id, int dpi) {
  const Control& control = controls[static_cast<size_t>(id)];
  int left = control.left;
  int top = control.top;
  // Positions are relative to the enclosing frame; frames nest (Frame7 sits in Frame5).
  for (const Control* c = &control; !c->in_window;) {
    c = &controls[static_cast<size_t>(c->container)];
    left += c->left;
    top += c->top;
  }
  const int x0 = TwipsToPixels(left, dpi);
  const int y0 = TwipsToPixels(top, dpi);
  return {x0, y0, TwipsToPixels(left + control.width, dpi) - x0,
          TwipsToPixels(top + control.height, dpi) - y0};
}

PixelRect ClientRect(int dpi) {
  return {0, 0, TwipsToPixels(kClientWidthTwips, dpi), TwipsToPixels(kClientHeightTwips, dpi)};
}

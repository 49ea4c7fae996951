// Where each control of the window goes in pixels: the twips of its design, made absolute over
// its frames, scaled for the system DPI (1440 twips to the inch).
#ifndef DIZOR_UI_WIN32_LAYOUT_H_
#define DIZOR_UI_WIN32_LAYOUT_H_

#include <array>

#include "app/controls.h"

struct PixelRect {
  int left;
  int top;
  int width;
  int height;
};

// `twips` at `dpi` dots per inch, rounded to the nearest pixel.
int TwipsToPixels(int twips, int dpi);

// The control's rectangle in the window's client area. Edges are scaled rather than sizes, so
// controls that touch in twips still touch in pixels.
PixelRect ControlRect(const std::array<Control, kControlCount>& controls, ControlId id, int dpi);

// The client area of the window.
PixelRect ClientRect(int dpi);

#endif  // DIZOR_UI_WIN32_LAYOUT_H_

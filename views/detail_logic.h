#pragma once
// The pure part of the detail page: the body text a detail message yields, and the layout
// and scrolling arithmetic of the page.
#include <optional>

#include "util/text.h"

namespace velnox {

struct BodyText {
  Text text;
  std::optional<int> height;  // set only by the plain form
};

// The body for an already trimmed detail text; nothing when the text has no line.
std::optional<BodyText> bodyTextFor(const Text& trimmed);

// Cover height for a picture of w x h pixels shown 490 wide; a size that cannot be read
// keeps the form's height instead of dividing by zero.
int coverHeightFor(int pictureWidth, int pictureHeight, int currentHeight);

struct PageHeights {
  int cover;
  int notice;
  int body;
};
// Panel height (at least 714) and the scroll maximum (never negative) for a canvas height.
int panelHeightFor(const PageHeights& heights);
int scrollMaximumFor(int panelHeight, int canvasHeight);

struct WheelStep {
  int position;  // the scroll bar's position afterwards
  int panelTop;
  int sideTop;  // top of both side pictures
};
// One wheel movement of `distance` notches (positive away from the user), 50 px a notch,
// snapping to the end within 50 px of it.
WheelStep wheelStep(int position, int maximum, int distance);

}  // namespace velnox

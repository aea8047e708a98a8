#pragma once
// The resource detail window: the request for the selected item, its body text, its cover,
// the notice lines, and scrolling.
#include "util/text.h"

namespace velnox {

class Application;

// The cover shown when the cover download yields nothing: a 640 x 640 JPEG carried as a
// resource.
const Bytes& placeholderPicture();

// A double-click on a catalogue row.
void openDetail(Application& app);
// The detail window was built from its form and is not visible yet.
void onDetailCreated(Application& app);
// The detail window is about to be destroyed.
void onDetailDestroyed(Application& app);
// A detail text message, already trimmed.
void applyDetailText(Application& app, const Text& trimmedPayload);
// A cover address message with the picture fetched from it (empty: nothing fetched).
void applyCoverAddress(Application& app, const Text& payload, const Bytes& cover);
// Wheel notches over the canvas or the side pictures (positive: away from the user).
void scrollByWheel(Application& app, int notches);
// The user moved the scroll bar.
void onScrollBarMoved(Application& app);

}  // namespace velnox

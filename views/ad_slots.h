#pragma once
// The advertising slots: the banner of the main window (slots 1 to 3 in turn) and the two
// side pictures of the detail window (slots 4 and 5).
#include <vector>

#include "net/protocol.h"

namespace velnox {

class Application;
enum class AdSide;

// An ad switches message: which slots show and where.
void applyAdSwitches(Application& app, const Text& payload);
// An ad list message, its pictures already fetched.
void applyAdList(Application& app, const std::vector<AdEntry>& entries);
// Every reconnect timer tick, after the connection work: the banner's next picture.
void rotateBanner(Application& app);
// A click on the banner.
void openBannerLink(Application& app);
// A click on a side picture of the detail window.
void openSideAdLink(Application& app, AdSide side);

}  // namespace velnox

#include "views/ad_slots.h"

#include "app/application.h"

namespace velnox {

void applyAdSwitches(Application& /*app*/, const Text& /*payload*/) {}
void applyAdList(Application& /*app*/, const std::vector<AdEntry>& /*entries*/) {}
void rotateBanner(Application& /*app*/) {}
void openBannerLink(Application& /*app*/) {}
void openSideAdLink(Application& /*app*/, AdSide /*side*/) {}

}  // namespace velnox

#include "views/detail_view.h"

#include "app/application.h"

namespace velnox {

void openDetail(Application& /*app*/) {}
void onDetailCreated(Application& /*app*/) {}
void onDetailDestroyed(Application& /*app*/) {}
void applyDetailText(Application& /*app*/, const Text& /*trimmedPayload*/) {}
void applyCoverAddress(Application& /*app*/, const Text& /*payload*/, const Bytes& /*cover*/) {}
void scrollByWheel(Application& /*app*/, int /*notches*/) {}
void onScrollBarMoved(Application& /*app*/) {}

}  // namespace velnox

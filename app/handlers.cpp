// The event handlers of the three windows and the steps they are made of. Each subsystem
// fills the bodies that belong to it; the wiring to the controls is in application.cpp.
#include "app/application.h"

namespace velnox {

// --- Main window: start-up steps (onMainWindowCreated runs them in this order) ---

// Tries the debug endpoint, then the production host; shows the state in panel 0 and the caption.
void Application::connectAtStart() {}

// Sends the hello message, whether or not connectAtStart connected.
void Application::sendHello() {}

// Reads the update document and fills the update panel, or shows the error box and destroys
// the main window.
void Application::checkForUpdate() {}

// Reads the notice document into noticeLines.
void Application::readNoticeFeed() {}

// --- Main window: timers ---

void Application::onReconnectTimer() {
  reconnectTick();
  rotateBanner();
}

void Application::onRefreshTimer() { refreshRequestTick(); }

// Sets the reconnect period to 10 s; reconnects while panel 0 reads "未连接".
void Application::reconnectTick() {}

// Turns the banner to its next picture.
void Application::rotateBanner() {}

// Asks the server for the catalogue.
void Application::refreshRequestTick() {}

// --- Main window: user actions ---

// Opens the account window modally (loadAccountWindowModal).
void Application::openAccountWindow() {}

// Opens bannerClickUrl.
void Application::openBannerLink() {}

// Opens the detail window for the selected catalogue row (loadDetailWindow).
void Application::openDetail() {}

// Opens the address held in updateUrlEdit.
void Application::openUpdateAddress() {}

// --- Detail window ---

void Application::onDetailCreated() {}

void Application::onDetailDestroyed() {}

void Application::scrollByWheel(int /*notches*/) {}

void Application::onScrollBarMoved() {}

void Application::openSideAdLink(AdSide /*side*/) {}

// --- Account window ---

void Application::sendLogin() {}

void Application::sendSignup() {}

void Application::openSignupPage() {}

}  // namespace velnox

// The event handlers of the three windows and the steps they are made of. The connection
// steps live here; the views, the documents and the account window have their own folders
// and the handlers below hand over to them. The wiring to the controls is in application.cpp.
#include "account/account_view.h"
#include "app/application.h"
#include "views/ad_slots.h"
#include "views/catalogue_view.h"
#include "views/detail_view.h"

namespace velnox {

namespace {

const Text kLoginCaption = "\xB5\xC7\xC8\xEB";  // 登入

// The connection state is panel 0 of the main window's status bar; the caption and the
// login button follow it.
class MainConnectionView final : public ConnectionView {
 public:
  explicit MainConnectionView(Application& app) : m_app(app) {}
  Text statusText() override {
    MainWindow* main = m_app.mainWindow();
    return main ? main->statusBar->panelText(0) : Text();
  }
  void setStatusText(const Text& text) override {
    if (MainWindow* main = m_app.mainWindow()) main->statusBar->setPanelText(0, text);
  }
  void setCaption(const Text& caption) override {
    if (MainWindow* main = m_app.mainWindow()) main->writeCaption(caption);
  }
  Text versionTag() override {
    MainWindow* main = m_app.mainWindow();
    return main ? main->tag() : Text();
  }
  void resetLoginButton() override {
    MainWindow* main = m_app.mainWindow();
    if (!main) return;
    setLeft(main->loginButton, 615);
    setWidth(main->loginButton, 35);
    main->loginButton->writeCaption(kLoginCaption);
  }

 private:
  Application& m_app;
};

// Runs each effect of a received message on its view.
class ViewEffects final : public EffectSink {
 public:
  explicit ViewEffects(Application& app) : m_app(app) {}
  void showAccountHint(const Text& payload) override { velnox::showAccountHint(m_app, payload); }
  void applyLoginAccepted(const Text& payload) override { velnox::applyLoginAccepted(m_app, payload); }
  void applyAdSwitches(const Text& payload) override { velnox::applyAdSwitches(m_app, payload); }
  void applyAdList(const std::vector<AdEntry>& entries) override { velnox::applyAdList(m_app, entries); }
  void fillCatalogue(const Text& payload) override { velnox::fillCatalogue(m_app, payload); }
  void applyDetailText(const Text& trimmedPayload) override {
    velnox::applyDetailText(m_app, trimmedPayload);
  }
  void applyCoverAddress(const Text& payload, const Bytes& cover) override {
    velnox::applyCoverAddress(m_app, payload, cover);
  }

 private:
  Application& m_app;
};

}  // namespace

std::unique_ptr<ConnectionView> Application::makeConnectionView() {
  return std::make_unique<MainConnectionView>(*this);
}

void Application::send(const Text& message) {
  if (m_state.streamClient) sendMessage(*m_state.streamClient, message);
}

void Application::runMessageEffects(const std::vector<Effect>& effects) {
  ViewEffects sink(*this);
  runEffects(effects, sink);
}

// --- Main window: start-up steps (onMainWindowCreated runs them in this order) ---

void Application::connectAtStart() {
  if (m_connection) m_connection->connectAtStart();
}

void Application::sendHello() {
  if (m_connection) m_connection->sendHello();
}

void Application::checkForUpdate() {
  TextList items = m_feeds.updateItems.valid() ? m_feeds.updateItems.get() : TextList{};
  velnox::checkForUpdate(*this, std::move(items));
}

void Application::readNoticeFeed() {
  TextList items = m_feeds.noticeItems.valid() ? m_feeds.noticeItems.get() : TextList{};
  velnox::readNoticeFeed(*this, std::move(items));
}

// --- Main window: timers ---

void Application::onReconnectTimer() {
  reconnectTick();
  rotateBanner();
}

void Application::onRefreshTimer() { refreshRequestTick(); }

void Application::reconnectTick() {
  // Every tick sets the period: the form starts the timer at 1 s, later ticks come every 10 s.
  if (m_main) m_main->reconnectTimer->setInterval(10000);
  if (m_connection) m_connection->reconnectTick();
}

void Application::rotateBanner() { velnox::rotateBanner(*this); }

void Application::refreshRequestTick() {
  // The form starts the timer at 1 s; its first tick only moves it to 300 s, so the first
  // request leaves about 301 s after start and then every 300 s, connected or not.
  if (!m_main) return;
  QTimer* timer = m_main->refreshTimer;
  if (timer->interval() == 300000) send(catalogueRequest());
  if (timer->interval() == 1000) timer->setInterval(300000);
}

// --- Main window: user actions ---

void Application::openAccountWindow() { velnox::openAccountWindow(*this); }
void Application::openBannerLink() { velnox::openBannerLink(*this); }
void Application::openDetail() { velnox::openDetail(*this); }
void Application::openUpdateAddress() { velnox::openUpdateAddress(*this); }

// --- Detail window ---

void Application::onDetailCreated() { velnox::onDetailCreated(*this); }
void Application::onDetailDestroyed() { velnox::onDetailDestroyed(*this); }
void Application::scrollByWheel(int notches) { velnox::scrollByWheel(*this, notches); }
void Application::onScrollBarMoved() { velnox::onScrollBarMoved(*this); }
void Application::openSideAdLink(AdSide side) { velnox::openSideAdLink(*this, side); }

// --- Account window ---

void Application::sendLogin() { velnox::sendLogin(*this); }
void Application::sendSignup() { velnox::sendSignup(*this); }
void Application::openSignupPage() { velnox::openSignupPage(*this); }

}  // namespace velnox

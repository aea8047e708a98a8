#include "app/application.h"

#include <QApplication>
#include <QEventLoop>
#include <atomic>

#include "app/window_ops.h"
#include "util/http.h"

namespace velnox {

namespace {
std::atomic<int> g_exitRuns{0};
}

int programExitRuns() { return g_exitRuns.load(); }

Application::Application(Config config, QObject* parent) : QObject(parent), m_config(std::move(config)) {
  installFontSubstitution();
  initState();
}

Application::~Application() {
  // Closing the start window closes every other window and ends the run.
  if (m_main) m_main->completeDestruction();
  if (m_detail) m_detail->completeDestruction();
  if (m_account) m_account->completeDestruction();
  for (QPointer<FormWindow>& window : m_windows) delete window.data();
  m_windows.clear();
  onProgramExit();
}

void Application::initState() {
  m_state.streamClient = StreamClient::create();
  m_state.noticeLines = TextList{};
}

void Application::track(FormWindow* window) {
  std::erase_if(m_windows, [](const QPointer<FormWindow>& w) { return w.isNull(); });
  m_windows.emplace_back(window);
}

void Application::start() {
  if (m_started) return;
  m_started = true;
  auto* main = new MainWindow(m_config.contactLineUtf8);
  track(main);
  m_main = main;
  connect(main->reconnectTimer, &QTimer::timeout, this, &Application::onReconnectTimer);
  connect(main->refreshTimer, &QTimer::timeout, this, &Application::onRefreshTimer);
  connect(main->loginButton, &QPushButton::clicked, this, &Application::openAccountWindow);
  connect(main->bannerPicture, &PictureBox::leftReleased, this, &Application::openBannerLink);
  connect(main->catalogueList, &ListView::rowDoubleClicked, this, &Application::openDetail);
  connect(main->openUpdateButton, &QPushButton::clicked, this, &Application::openUpdateAddress);
  connect(main, &FormWindow::destroying, this, &Application::onMainWindowDestroyed);
  connect(main, &FormWindow::gone, this, &Application::onMainWindowGone);

  m_connectionView = makeConnectionView();
  Endpoints endpoints;
  endpoints.debugPort = m_config.debugPort;
  endpoints.debugHost = m_config.debugHost;
  endpoints.productionHost = m_config.productionHost;
  endpoints.productionPort = m_config.productionPort;
  // Every task of the connection runs on the window thread, in the order it was posted;
  // tasks still queued when the application goes are dropped with it.
  auto post = [this](ConnectionManager::Task task) {
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
  };
  auto onMessage = [this](std::vector<Effect> effects) { runMessageEffects(effects); };
  m_connection = std::make_unique<ConnectionManager>(*m_state.streamClient, std::move(endpoints),
                                                     *m_connectionView, post, onMessage, downloadBytes);

  onMainWindowCreated();

  // A creation handler that asked for the window's destruction (a failed update check) ends
  // the run without the window ever being shown.
  if (m_main && !m_main->isMarkedForDestruction()) {
    m_main->startTimers();
    m_main->show();
  }
}

void Application::onMainWindowCreated() {
  // Both documents are fetched on workers while the connection is being made; their items
  // are applied below in their fixed place.
  m_feeds = startFeedReads(m_config);
  connectAtStart();
  sendHello();
  placeBannerAtStart();
  checkForUpdate();
  readNoticeFeed();
}

void Application::placeBannerAtStart() {
  // The banner lies outside the window in the form; it stays hidden until the server shows it.
  if (m_main) setLeft(m_main->bannerPicture, 0);
}

void Application::onMainWindowDestroyed() {
  // The connection closes without a lost-connection event; the object stays until exit.
  if (m_state.streamClient) m_state.streamClient->disconnect();
}

void Application::onMainWindowGone() {
  m_main = nullptr;
  if (m_detail) m_detail->completeDestruction();
  if (m_account) m_account->completeDestruction();
  emit finished();
}

void Application::onProgramExit() {
  if (m_exited) return;
  m_exited = true;
  m_state.bannerClickUrl = Text();
  // destroy() stops the client's threads, so nothing writes the fields released below, and
  // ends a reconnect attempt in progress: its worker is then joined without waiting out the
  // connect time-out.
  if (m_state.streamClient) {
    m_state.streamClient->destroy();
    if (m_connection) m_connection->waitForAttempt();
    m_connection.reset();
    m_state.streamClient.reset();
  }
  m_state.bannerImageA = Bytes();
  m_state.bannerImageB = Bytes();
  m_state.bannerUrlB = Text();
  m_state.bannerImageC = Bytes();
  m_state.bannerUrlC = Text();
  m_state.bannerUrlA = Text();
  m_state.adEntryPictureUrl = Text();
  m_state.adEntryClickUrl = Text();
  m_state.leftAdImage = Bytes();
  m_state.leftAdUrl = Text();
  m_state.rightAdImage = Bytes();
  m_state.rightAdUrl = Text();
  for (Text& line : m_state.noticeLines) line = Text();
  m_state.noticeLines = TextList();
  ++g_exitRuns;
}

DetailWindow* Application::loadDetailWindow() {
  if (m_detail && !m_detail->isMarkedForDestruction()) {
    m_detail->bringToFront();
    return m_detail;
  }
  if (m_detail) m_detail->completeDestruction();
  auto* detail = new DetailWindow;
  track(detail);
  m_detail = detail;
  connect(detail, &FormWindow::destroying, this, &Application::onDetailDestroyed);
  connect(detail, &FormWindow::gone, this, [this, detail] {
    if (m_detail == detail) m_detail = nullptr;
  });
  connect(detail->detailCanvas, &Canvas::wheelTurned, this, &Application::scrollByWheel);
  connect(detail->leftAdPicture, &PictureBox::wheelTurned, this, &Application::scrollByWheel);
  connect(detail->rightAdPicture, &PictureBox::wheelTurned, this, &Application::scrollByWheel);
  connect(detail->detailScrollBar, &ScrollBar::userMoved, this, &Application::onScrollBarMoved);
  connect(detail->leftAdPicture, &PictureBox::leftReleased, this, [this] { openSideAdLink(AdSide::Left); });
  connect(detail->rightAdPicture, &PictureBox::leftReleased, this, [this] { openSideAdLink(AdSide::Right); });
  onDetailCreated();
  return m_detail;
}

AccountWindow* Application::showAccountWindowModal() {
  if (m_account) m_account->completeDestruction();
  auto* account = new AccountWindow;
  track(account);
  m_account = account;
  connect(account, &FormWindow::gone, this, [this, account] {
    if (m_account == account) m_account = nullptr;
  });
  connect(account->accountLoginButton, &QPushButton::clicked, this, &Application::sendLogin);
  connect(account->signupButton, &QPushButton::clicked, this, &Application::sendSignup);
  connect(account->codeLinkEdit, &EditBox::leftReleased, this, &Application::openSignupPage);
  // While it is open the other windows take no input and cannot be closed.
  account->setWindowModality(Qt::ApplicationModal);
  account->show();
  return account;
}

void Application::loadAccountWindowModal() {
  AccountWindow* account = showAccountWindowModal();
  QEventLoop loop;
  connect(account, &FormWindow::gone, &loop, &QEventLoop::quit);
  loop.exec();
}

int runApplication(int argc, char** argv) {
  QApplication qt(argc, argv);
  // The run ends when the main window is destroyed, not when the last window hides.
  qt.setQuitOnLastWindowClosed(false);
  installFontSubstitution();
  int code = 0;
  {
    Application app(Config::productDefaults());
    QObject::connect(&app, &Application::finished, &qt, &QCoreApplication::quit, Qt::QueuedConnection);
    app.start();
    code = qt.exec();
  }
  return code;
}

}  // namespace velnox

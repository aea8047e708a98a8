#pragma once
// The application shell: start-up, the program-wide state, the three windows and their
// event handlers, and the clean-up at the end of the run.
//
// Order of a run: initState (constructor), start() loads the main window (its creation
// handler runs, then the timers start and the window is shown), the message loop runs until
// the main window is destroyed (finished() is emitted), and the destructor runs the exit
// clean-up once, after the stream client's threads have stopped.
#include <QObject>
#include <QPointer>
#include <memory>
#include <vector>

#include "app/app_state.h"
#include "app/windows.h"
#include "feed/update_check.h"
#include "net/connection_manager.h"
#include "util/config.h"

namespace velnox {

enum class AdSide { Left, Right };

class Application : public QObject {
  Q_OBJECT
 public:
  explicit Application(Config config, QObject* parent = nullptr);
  // Closes what is still open and runs the exit clean-up (once).
  ~Application() override;
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // Loads the main window as the start window: runs onMainWindowCreated, then starts its
  // timers and shows it (unless the creation handler asked for its destruction).
  void start();

  // The windows while they are loaded; nullptr otherwise.
  MainWindow* mainWindow() const { return m_main; }
  DetailWindow* detailWindow() const { return m_detail; }
  AccountWindow* accountWindow() const { return m_account; }
  AppState& state() { return m_state; }
  const Config& config() const { return m_config; }
  // The connection keeper; exists from start() on.
  ConnectionManager* connection() const { return m_connection.get(); }

  // Sends a client message (GBK text); a refused send is lost.
  void send(const Text& message);
  // The window-thread end of a received message: its effects, in order.
  void runMessageEffects(const std::vector<Effect>& effects);

  // --- Window operations ---

  // Non-modal load: an existing detail window not marked for destruction is only brought to
  // the front; otherwise a pending destruction completes first, then a fresh window is built
  // from its form (hidden) and onDetailCreated runs. Returns the window, or nullptr when the
  // creation handler destroyed it.
  DetailWindow* loadDetailWindow();
  // Modal load: a fresh account window, every other window blocked; returns when it closes.
  void loadAccountWindowModal();
  // The first half of the modal load, returning at once with the window open and modal
  // (tests drive it from here).
  AccountWindow* showAccountWindowModal();

  // --- Event handlers: the bodies live in app/handlers.cpp ---
  // Public so that tests can drive them directly.

  // Main window.
  void onReconnectTimer();   // reconnectTimer tick: reconnectTick, then rotateBanner
  void onRefreshTimer();     // refreshTimer tick: refreshRequestTick
  void openAccountWindow();  // loginButton clicked
  void openBannerLink();     // left button released over bannerPicture
  void openDetail();         // double-click on a catalogueList row
  void openUpdateAddress();  // openUpdateButton clicked
  // Detail window.
  void onDetailCreated();            // after the window was built, before it is visible
  void onDetailDestroyed();          // when the window is about to be destroyed
  void scrollByWheel(int notches);   // wheel over detailCanvas, leftAdPicture, rightAdPicture
  void onScrollBarMoved();           // the user moved detailScrollBar
  void openSideAdLink(AdSide side);  // left button released over a side picture
  // Account window.
  void sendLogin();       // accountLoginButton clicked
  void sendSignup();      // signupButton clicked
  void openSignupPage();  // left button released over codeLinkEdit

 signals:
  // The main window was destroyed: the run ends.
  void finished();

 private:
  void initState();
  void onMainWindowCreated();
  void onMainWindowDestroyed();
  void onMainWindowGone();
  void onProgramExit();
  void track(FormWindow* window);
  std::unique_ptr<ConnectionView> makeConnectionView();

  // Steps of onMainWindowCreated and of the timer ticks, filled by their subsystems.
  void connectAtStart();
  void sendHello();
  void placeBannerAtStart();
  void checkForUpdate();
  void readNoticeFeed();
  void reconnectTick();
  void rotateBanner();
  void refreshRequestTick();

  Config m_config;
  AppState m_state;
  std::unique_ptr<ConnectionView> m_connectionView;
  std::unique_ptr<ConnectionManager> m_connection;
  StartupFeeds m_feeds;
  bool m_started = false;
  bool m_exited = false;
  MainWindow* m_main = nullptr;
  DetailWindow* m_detail = nullptr;
  AccountWindow* m_account = nullptr;
  std::vector<QPointer<FormWindow>> m_windows;  // every window made, until deleted
};

// The program: the GUI framework, the font set-up, the application with the product's
// configuration, the message loop, and the clean-up. Returns the exit code.
int runApplication(int argc, char** argv);

// How many times the exit clean-up has run in this process.
int programExitRuns();

}  // namespace velnox

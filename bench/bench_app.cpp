// The application shell beside a bare Qt program, measured in the same run.
//
// Start-up: process start to the main window shown and painted, with no server listening,
// against a bare Qt program that shows a 660 x 660 window with fifteen child widgets. Both
// run as child processes of this executable (so both load the same libraries), and each
// reports the moment its window was painted; peak resident memory comes from wait4().
// The documents are served by a small loopback HTTP responder, so the update check passes.
//
// List fill: the catalogue list filled with n rows of three cells and painted, against a
// QTreeWidget with one item per row, the usual way of filling a Qt list.
//
// The platform is QT_QPA_PLATFORM as set (offscreen when unset).
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/application.h"
#include "app/controls.h"
#include "app/window_ops.h"
#include "server/test_server.h"
#include "util/encoding.h"

extern char** environ;

namespace {

using namespace velnox;

double monotonicMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// --- Children ---

// Reports (on stdout, as the monotonic time in ms) the moment the window that target() gives
// was first painted, then ends the event loop.
class PaintWatch : public QObject {
 public:
  explicit PaintWatch(std::function<QWidget*()> target) : m_target(std::move(target)) {
    qApp->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* object, QEvent* event) override {
    if (m_seen || event->type() != QEvent::Paint) return false;
    auto* widget = qobject_cast<QWidget*>(object);
    QWidget* window = m_target();
    if (window && widget && widget->window() == window) {
      m_seen = true;
      // One backing-store flush paints the whole window; this runs right after it.
      QTimer::singleShot(0, [] {
        std::printf("%.3f\n", monotonicMs());
        std::fflush(stdout);
        QCoreApplication::quit();
      });
    }
    return false;
  }

 private:
  std::function<QWidget*()> m_target;
  bool m_seen = false;
};

int runBareChild(int argc, char** argv) {
  QApplication qt(argc, argv);
  QWidget window;
  window.setWindowTitle(QStringLiteral("Velnox"));
  window.setFixedSize(654, 631);
  window.move(50, 50);
  auto* list = new QTreeView(&window);
  list->setGeometry(2, 132, 650, 480);
  auto* top = new QPlainTextEdit(QStringLiteral("text\ntext"), &window);
  top->setGeometry(0, 0, 660, 110);
  auto* strip = new QGroupBox(&window);
  strip->setGeometry(0, 104, 654, 30);
  auto* button = new QPushButton(QStringLiteral("Log in"), strip);
  button->setGeometry(615, 6, 35, 22);
  auto* status = new QStatusBar(&window);
  status->setGeometry(0, 611, 654, 20);
  for (int i = 0; i < 3; ++i) status->addWidget(new QLabel(QStringLiteral("panel"), status));
  auto* panel = new QGroupBox(&window);
  panel->setGeometry(640, 110, 660, 500);
  panel->hide();
  new QLineEdit(panel);
  new QPushButton(QStringLiteral("Update"), panel);
  new QPlainTextEdit(panel);
  auto* banner = new QLabel(&window);
  banner->setGeometry(640, 0, 654, 110);
  banner->hide();
  new QLabel(QStringLiteral("ad"), banner);
  new QScrollBar(&window);
  PaintWatch watch([&window] { return &window; });
  window.show();
  return qt.exec();
}

// The main window alone, from its form, without the start-up work around it.
int runWindowChild(int argc, char** argv) {
  QApplication qt(argc, argv);
  installFontSubstitution();
  // Made on the heap as the application makes it: quitting closes the window, and a closed
  // window deletes itself.
  auto* window = new MainWindow("联系作者: author@velnox.example");
  PaintWatch watch([window] { return window; });
  window->show();
  return qt.exec();
}

int runVelnoxChild(int argc, char** argv, int httpPort) {
  QApplication qt(argc, argv);
  qt.setQuitOnLastWindowClosed(false);
  installFontSubstitution();
  Config config;
  config.debugHost = "127.0.0.1";
  config.debugPort = unusedLoopbackPort();
  config.productionHost = "127.0.0.1";
  config.productionPort = unusedLoopbackPort();
  const std::string base = "http://127.0.0.1:" + std::to_string(httpPort);
  config.updateFeedAddress = base + "/update";
  config.noticeFeedAddress = base + "/notice";
  config.signupPageAddress = base + "/signup";
  config.contactLineUtf8 = "联系作者: author@velnox.example";
  Application app(config);
  // The main window is made inside start().
  PaintWatch watch([&app]() -> QWidget* { return app.mainWindow(); });
  app.start();
  return qt.exec();
}

// --- Parent side ---

// Answers every GET on loopback with the update or the notice document, then closes.
class DocumentServer {
 public:
  DocumentServer() {
    m_fd = velnox::listenOnLoopback(m_port, 16);
    m_thread = std::thread([this] { serve(); });
  }
  ~DocumentServer() {
    m_stop = true;
    ::shutdown(m_fd, SHUT_RDWR);
    ::close(m_fd);
    m_thread.join();
  }
  int port() const { return m_port; }

 private:
  void serve() {
    while (!m_stop) {
      const int client = ::accept(m_fd, nullptr, nullptr);
      if (client < 0) {
        if (m_stop) return;
        continue;
      }
      std::string request;
      char buffer[4096];
      while (request.find("\r\n\r\n") == std::string::npos) {
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        request.append(buffer, static_cast<size_t>(n));
      }
      const bool update = request.find("GET /update") == 0;
      const std::string body = update ? "【1.0.3】【http://127.0.0.1/velnox-setup.exe】summary"
                                      : "【请勿相信私下交易】【资源仅供学习交流】summary";
      const std::string response =
          "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
          std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
      ssize_t sent = 0;
      while (sent < static_cast<ssize_t>(response.size())) {
        const ssize_t n = ::send(client, response.data() + sent, response.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += n;
      }
      ::close(client);
    }
  }
  int m_fd = -1;
  int m_port = 0;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

std::string g_self;

struct ChildRun {
  double shownMs = -1;  // process start to painted
  double peakRssMb = 0;
};

ChildRun runChild(const std::vector<std::string>& args) {
  int out[2];
  if (::pipe(out) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::vector<char*> argv;
  argv.push_back(g_self.data());
  std::vector<std::string> copy = args;
  for (std::string& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const double start = monotonicMs();
  const int spawned = posix_spawn(&pid, g_self.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  ChildRun run;
  if (spawned != 0) {
    ::close(out[0]);
    return run;
  }
  std::string text;
  char buffer[256];
  for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
    text.append(buffer, static_cast<size_t>(n));
  ::close(out[0]);
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  if (!text.empty()) run.shownMs = std::strtod(text.c_str(), nullptr) - start;
  run.peakRssMb = usage.ru_maxrss / 1024.0;
  return run;
}

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void BM_StartupToPaintedMainWindow(benchmark::State& state) {
  DocumentServer documents;
  std::vector<double> bareMs, appMs, bareRss, appRss, windowMs;
  for (auto _ : state) {
    const ChildRun bare = runChild({"--child=bare"});
    const ChildRun window = runChild({"--child=window"});
    const ChildRun app = runChild({"--child=velnox", std::to_string(documents.port())});
    if (bare.shownMs < 0 || window.shownMs < 0 || app.shownMs < 0) {
      state.SkipWithError("a child did not show its window");
      return;
    }
    bareMs.push_back(bare.shownMs);
    windowMs.push_back(window.shownMs);
    appMs.push_back(app.shownMs);
    bareRss.push_back(bare.peakRssMb);
    appRss.push_back(app.peakRssMb);
    state.SetIterationTime(app.shownMs / 1e3);
  }
  state.counters["bare_ms"] = median(bareMs);
  state.counters["velnox_ms"] = median(appMs);
  state.counters["window_only_ms"] = median(windowMs);
  state.counters["time_ratio"] = median(appMs) / median(bareMs);
  state.counters["bare_rss_MB"] = median(bareRss);
  state.counters["velnox_rss_MB"] = median(appRss);
  state.counters["rss_ratio"] = median(appRss) / median(bareRss);
}
BENCHMARK(BM_StartupToPaintedMainWindow)->UseManualTime()->Iterations(15)->Unit(benchmark::kMillisecond);

// --- List fill, in this process ---

std::vector<ListModel::Row> catalogueRows(int n) {
  std::vector<ListModel::Row> rows;
  rows.reserve(static_cast<size_t>(n));
  const Text name = fromUtf8("资源名称 示例条目 ");
  const Text age = fromUtf8("3天前");
  for (int i = 0; i < n; ++i) rows.push_back({toText(i + 1), name + toText(i), age});
  return rows;
}

void BM_ListFill(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  ListView list;
  list.setColumns({{fromUtf8("编号"), 50}, {fromUtf8("名称"), 450}, {fromUtf8("发布时间"), 146}});
  list.setGeometry(0, 0, 650, 480);
  list.show();
  QCoreApplication::processEvents();
  for (auto _ : state) {
    list.replaceRows(catalogueRows(n));
    list.repaint();
    QCoreApplication::processEvents();
  }
  state.SetItemsProcessed(state.iterations() * n);
}

// The baseline: the rows as QTreeWidget items, the same texts converted once per cell.
void BM_ListFillBaselineTreeWidget(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  QTreeWidget list;
  list.setColumnCount(3);
  list.setHeaderLabels({QString::fromUtf8("编号"), QString::fromUtf8("名称"), QString::fromUtf8("发布时间")});
  list.setRootIsDecorated(false);
  list.setUniformRowHeights(true);
  list.setGeometry(0, 0, 650, 480);
  list.show();
  QCoreApplication::processEvents();
  for (auto _ : state) {
    const std::vector<ListModel::Row> rows = catalogueRows(n);
    list.clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(n);
    for (const ListModel::Row& row : rows) {
      auto* item = new QTreeWidgetItem;
      for (int c = 0; c < 3; ++c) {
        const Bytes utf8 = toUtf8(row[static_cast<size_t>(c)]);
        item->setText(c, QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
      }
      items.append(item);
    }
    list.addTopLevelItems(items);
    list.repaint();
    QCoreApplication::processEvents();
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_ListFill)->Arg(100)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListFillBaselineTreeWidget)->Arg(100)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  if (argc >= 2 && std::strcmp(argv[1], "--child=bare") == 0) return runBareChild(1, argv);
  if (argc >= 2 && std::strcmp(argv[1], "--child=window") == 0) return runWindowChild(1, argv);
  if (argc >= 3 && std::strcmp(argv[1], "--child=velnox") == 0)
    return runVelnoxChild(1, argv, std::atoi(argv[2]));
  char path[4096];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  g_self = n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string(argv[0]);

  int qtArgc = 1;
  QApplication qt(qtArgc, argv);
  installFontSubstitution();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

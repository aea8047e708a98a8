// A catalogue message of 100,000 lines, from the received bytes to the rows shown.
//
// Ours: the UTF-8 bytes as the stream client delivers them, decoded (fromUtf8), run through
// the token chain and the application's effects into the real main window's catalogue list
// (the application started on loopback, offscreen), then one forced paint of the list.
// Baseline, in the same run: the same decoding and token chain, every row parsed with all its
// cells, and a QTreeWidget of the list's size filled with one item per row, then the same
// paint.
//
// After the timings the program prints the mean times, their ratio and the resident memory
// the 100,000 rows add to each list (measured with the list emptied before and filled after,
// freed heap returned to the system at both points).
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QHeaderView>
#include <QTreeWidget>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/application.h"
#include "app/controls.h"
#include "app/qt_text.h"
#include "app/window_ops.h"
#include "net/protocol.h"
#include "server/http_library.h"
#include "server/test_server.h"
#include "util/encoding.h"
#include "views/catalogue_logic.h"

namespace {

using namespace velnox;

constexpr int kLines = 100000;

double monotonicMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Resident memory of this process in bytes, after handing freed heap back to the system.
long residentBytes() {
  ::malloc_trim(0);
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * ::sysconf(_SC_PAGESIZE);
}

// The message as it arrives: UTF-8, names of varied length, times spread over two years in
// the forms the server writes, now and then a "#"-only line.
std::string catalogueMessage(int lines) {
  static const char* const kWords[] = {"资源",   "合集",   "高清",  "教程",
                                       "第二季", "完整版", "1080P", "中英字幕"};
  std::string message = "$ov_ml$";
  message.reserve(static_cast<size_t>(lines) * 64);
  for (int i = 0; i < lines; ++i) {
    if (i % 997 == 500) {
      message += "###\r\n";
      continue;
    }
    message += "资源名称 ";
    for (int w = 0; w <= i % 4; ++w) message += kWords[(i + w * 3) % 8];
    message += " No." + std::to_string(i) + "#";
    const int month = 1 + i % 12, day = 1 + i % 28, hour = i % 24, minute = i % 60;
    char time[48];
    if (i % 3 == 0)
      std::snprintf(time, sizeof time, "%d年%d月%d日%d时%d分%d秒", 2025 + i % 2, month, day, hour, minute,
                    i % 60);
    else
      std::snprintf(time, sizeof time, "%d-%02d-%02d %02d:%02d:%02d", 2025 + i % 2, month, day, hour, minute,
                    i % 60);
    message += time;
    message += "\r\n";
  }
  return message;
}

// The application on loopback: no protocol server (both endpoints closed ports), the two
// documents from a local HTTP server, so start-up passes and the main window is shown.
class Road {
 public:
  Road() {
    m_http.Get("/update", [](const httplib::Request&, httplib::Response& response) {
      response.set_content("【1.0.3】【http://127.0.0.1/velnox-setup.exe】summary",
                           "text/html; charset=utf-8");
    });
    m_http.Get("/notice", [](const httplib::Request&, httplib::Response& response) {
      response.set_content("【请勿相信私下交易】【资源仅供学习交流】summary", "text/html; charset=utf-8");
    });
    const int httpPort = m_http.bind_to_any_port("127.0.0.1");
    m_httpThread = std::thread([this] { m_http.listen_after_bind(); });
    while (!m_http.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const std::string base = "http://127.0.0.1:" + std::to_string(httpPort);
    Config config;
    config.debugHost = "127.0.0.1";
    config.debugPort = unusedLoopbackPort();
    config.productionHost = "127.0.0.1";
    config.productionPort = unusedLoopbackPort();
    config.updateFeedAddress = base + "/update";
    config.noticeFeedAddress = base + "/notice";
    config.signupPageAddress = base + "/signup";
    config.contactLineUtf8 = "联系作者: author@velnox.example";
    m_app = std::make_unique<Application>(config);
    m_app->start();
    QCoreApplication::processEvents();

    ListView* list = m_app->mainWindow()->catalogueList;
    m_tree.setColumnCount(3);
    m_tree.setHeaderLabels(
        {QString::fromUtf8("编号"), QString::fromUtf8("名称"), QString::fromUtf8("发布时间")});
    m_tree.setRootIsDecorated(false);
    m_tree.setUniformRowHeights(true);
    m_tree.setFont(list->font());
    for (int c = 0; c < 3; ++c) m_tree.setColumnWidth(c, list->columnWidth(c));
    m_tree.setGeometry(0, 0, list->width(), list->height());
    m_tree.show();
    QCoreApplication::processEvents();
  }
  ~Road() {
    m_app.reset();
    m_http.stop();
    m_httpThread.join();
  }

  void setLines(int lines) { m_message = catalogueMessage(lines); }
  ListView* list() const { return m_app->mainWindow()->catalogueList; }
  QTreeWidget& tree() { return m_tree; }

  // Received bytes to rows painted, through the program's own road.
  void ours() {
    {
      const std::vector<Effect> effects = tokenChain(fromUtf8(m_message));
      m_app->runMessageEffects(effects);
    }
    list()->viewport()->repaint();
  }

  // The same decoding and token chain, the rows parsed whole into one item each.
  void baseline() {
    {
      const std::vector<Effect> effects = tokenChain(fromUtf8(m_message));
      const std::vector<CatalogueRow> rows = catalogueRows(effects.at(0).payload, localNow());
      QList<QTreeWidgetItem*> items;
      items.reserve(static_cast<qsizetype>(rows.size()));
      for (const CatalogueRow& row : rows)
        items.append(
            new QTreeWidgetItem(QStringList{toQString(row.number), toQString(row.name), toQString(row.age)}));
      m_tree.clear();
      m_tree.addTopLevelItems(items);
    }
    m_tree.viewport()->repaint();
  }

  // Where the time of our road goes: mean ms of decoding, token chain, list fill, paint.
  std::array<double, 4> stages(int runs) {
    std::array<double, 4> total{};
    for (int i = 0; i < runs; ++i) {
      double t0 = monotonicMs();
      const Text text = fromUtf8(m_message);
      double t1 = monotonicMs();
      std::vector<Effect> effects = tokenChain(text);
      double t2 = monotonicMs();
      m_app->runMessageEffects(effects);
      double t3 = monotonicMs();
      list()->viewport()->repaint();
      double t4 = monotonicMs();
      total[0] += t1 - t0;
      total[1] += t2 - t1;
      total[2] += t3 - t2;
      total[3] += t4 - t3;
    }
    for (double& t : total) t /= runs;
    return total;
  }

  void emptyBoth() {
    list()->replaceRows({});
    list()->viewport()->repaint();
    m_tree.clear();
    m_tree.viewport()->repaint();
  }

 private:
  std::string m_message;
  httplib::Server m_http;
  std::thread m_httpThread;
  std::unique_ptr<Application> m_app;
  QTreeWidget m_tree;
};

Road* g_road = nullptr;
double g_oursMs = 0, g_baselineMs = 0;

template <void (Road::*Step)()>
void runRoad(benchmark::State& state, double& meanMs) {
  double total = 0;
  for (auto _ : state) {
    const double start = monotonicMs();
    (g_road->*Step)();
    total += monotonicMs() - start;
  }
  meanMs = total / static_cast<double>(state.iterations());
  state.SetItemsProcessed(state.iterations() * kLines);
}

void BM_CatalogueRoad(benchmark::State& state) { runRoad<&Road::ours>(state, g_oursMs); }
void BM_CatalogueRoadBaselineTreeWidget(benchmark::State& state) {
  runRoad<&Road::baseline>(state, g_baselineMs);
}
BENCHMARK(BM_CatalogueRoad)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_CatalogueRoadBaselineTreeWidget)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// Resident memory the rows add: the lists emptied, then the one filled.
long addedBytes(void (Road::*step)()) {
  g_road->emptyBoth();
  const long before = residentBytes();
  (g_road->*step)();
  return residentBytes() - before;
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  int qtArgc = 1;
  QApplication qt(qtArgc, argv);
  qt.setQuitOnLastWindowClosed(false);
  installFontSubstitution();
  Road road;
  g_road = &road;

  // Both roads once with a short catalogue, so that fonts and glyph caches are in place but
  // neither list has yet grown anything to the size of the long one.
  road.setLines(200);
  road.ours();
  road.baseline();
  road.setLines(kLines);
  const long oursBytes = addedBytes(&Road::ours);
  const int rows = road.list()->rowCount();
  if (rows < kLines * 99 / 100 || road.list()->cellText(rows - 1, 1).empty()) {
    std::fprintf(stderr, "the catalogue did not reach the list\n");
    return 1;
  }
  const long baselineBytes = addedBytes(&Road::baseline);
  road.emptyBoth();

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  std::printf("\n%d lines, %d rows in the list\n", kLines, rows);
  if (g_oursMs > 0 && g_baselineMs > 0)
    std::printf("received bytes to rows shown: ours %.1f ms, baseline %.1f ms, %.1fx faster\n", g_oursMs,
                g_baselineMs, g_baselineMs / g_oursMs);
  const std::array<double, 4> s = road.stages(20);
  std::printf("ours by stage: decoding %.1f ms, token chain %.1f ms, list fill %.1f ms, paint %.1f ms\n",
              s[0], s[1], s[2], s[3]);
  std::printf("resident memory added by the rows: ours %.1f MB, baseline %.1f MB\n", oursBytes / 1048576.0,
              baselineBytes / 1048576.0);
  g_road = nullptr;
  return 0;
}

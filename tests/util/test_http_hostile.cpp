// The HTTP engine against hostile servers: floods of body or header bytes, broken TLS,
// redirect loops, servers that stall, and servers that drip. Each request must end within
// its bounds (10 s without connecting, 30 s without progress, 32 MiB of body) and give an
// empty body, for documents (HttpRequest) and pictures (downloadBytes) alike.
//
// The waits are the product's own, so the cases that must wait run side by side: the whole
// file costs about as much as its slowest case.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "tests/support/hostile_http_server.h"
#include "tests/support/local_http_server.h"
#include "util/http.h"

namespace velnox {
namespace {

using namespace std::chrono_literals;
using Seconds = std::chrono::duration<double>;
using test::HostileServer;
namespace hostile = test::hostile;

constexpr size_t kHeaderLimit = size_t{1} << 20;

struct Outcome {
  Bytes body;
  Text headers;
  Seconds took{};
};

Outcome documentRequest(const std::string& url) {
  Outcome outcome;
  HttpRequestParams p;
  p.url = url;
  p.method = 0;
  p.responseHeaders = &outcome.headers;
  const auto start = std::chrono::steady_clock::now();
  outcome.body = HttpRequest(p);
  outcome.took = std::chrono::steady_clock::now() - start;
  return outcome;
}

Outcome pictureDownload(const std::string& url) {
  Outcome outcome;
  const auto start = std::chrono::steady_clock::now();
  outcome.body = downloadBytes(url);
  outcome.took = std::chrono::steady_clock::now() - start;
  return outcome;
}

// One hostile address asked for by both engines.
struct Probe {
  std::string what;
  std::string url;
};

struct Result {
  std::string what;
  Outcome document;
  Outcome picture;
};

// Runs both engines on every probe, each on a thread of its own, and waits for all of them.
std::vector<Result> probeSideBySide(const std::vector<Probe>& probes) {
  std::vector<std::pair<std::future<Outcome>, std::future<Outcome>>> running;
  for (const Probe& p : probes) {
    running.emplace_back(std::async(std::launch::async, documentRequest, p.url),
                         std::async(std::launch::async, pictureDownload, p.url));
  }
  std::vector<Result> results;
  for (size_t i = 0; i < probes.size(); ++i) {
    results.push_back({probes[i].what, running[i].first.get(), running[i].second.get()});
  }
  return results;
}

void expectNothingWithin(const Result& r, Seconds atLeast, Seconds atMost) {
  SCOPED_TRACE(r.what);
  for (const Outcome* o : {&r.document, &r.picture}) {
    SCOPED_TRACE(o == &r.document ? "document request" : "picture download");
    EXPECT_EQ(o->body.size(), 0u);
    EXPECT_LE(o->headers.size(), kHeaderLimit);
    EXPECT_GE(o->took.count(), atLeast.count());
    EXPECT_LT(o->took.count(), atMost.count());
  }
}

TEST(HostileHttp, FloodsEndAtTheirLimitsWithNothingFetched) {
  HostileServer chunked(hostile::endlessChunkedBody);
  HostileServer untilClose(hostile::endlessBodyUntilClose);
  HostileServer terabyte(hostile::terabyteContentLength);
  HostileServer headerLines(hostile::endlessHeaderLines);
  HostileServer headerLine(hostile::endlessHeaderLine);
  // Reading 32 MiB on loopback takes well under a second; the margin is for slow machines.
  const auto results = probeSideBySide({
      {"endless chunked body", chunked.url("/doc")},
      {"endless body until a close", untilClose.url("/doc")},
      {"a terabyte announced", terabyte.url("/doc")},
      {"header lines without end", headerLines.url("/doc")},
      {"one header line without end", headerLine.url("/doc")},
  });
  for (const Result& r : results) expectNothingWithin(r, 0s, 10s);
}

TEST(HostileHttp, BrokenTlsAndRedirectLoopsFailAtOnce) {
  HostileServer garbage(hostile::garbageAnswer);
  test::LocalHttpServer unknownCa({.https = true});
  unknownCa.on("/doc", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("【9.9.9】【https://evil.example/setup.exe】summary", "text/plain");
  });
  HostileServer loop(hostile::redirectToItself);
  const auto results = probeSideBySide({
      {"garbage in answer to the TLS hello", garbage.secureUrl("/doc")},
      {"a certificate from an unknown authority", unknownCa.url("/doc")},
      {"a redirect to itself", loop.url("/doc")},
  });
  for (const Result& r : results) expectNothingWithin(r, 0s, 5s);
}

TEST(HostileHttp, StalledServersGiveUpWithinTheirBounds) {
  // Nothing accepts and the listen queue is full: the connection attempt is never answered.
  HostileServer unanswered(hostile::silentFromTheStart, /*acceptConnections=*/false, /*backlog=*/0);
  unanswered.fillListenQueue();
  HostileServer silentTls(hostile::silentFromTheStart);
  HostileServer silentHttp(hostile::silentAfterRequest);
  const auto results = probeSideBySide({
      {"connection never answered", unanswered.url("/doc")},
      {"TLS hello never answered", silentTls.secureUrl("/doc")},
      {"request never answered", silentHttp.url("/doc")},
  });
  ASSERT_EQ(results.size(), 3u);
  // The connect phase, the TLS handshake included, has 10 s; a connected request 30 s
  // without progress. Each ends at its own bound, not before and not much after.
  expectNothingWithin(results[0], 9s, 15s);
  expectNothingWithin(results[1], 9s, 15s);
  expectNothingWithin(results[2], 29s, 40s);
}

TEST(HostileHttp, ASlowDripEndsWithinTheProgressBound) {
  // A byte every 300 ms is progress of a sort, but a document of a few hundred bytes would
  // take minutes and the server could go on for ever: start-up would never end. The drip
  // servers give up on their own after a safety cap; the request must end long before.
  HostileServer bodyDrip(hostile::dripBody(300ms));
  HostileServer headerDrip(hostile::dripHeaders(300ms));
  const auto results = probeSideBySide({
      {"body dripping a byte every 300 ms", bodyDrip.url("/doc")},
      {"header dripping a byte every 300 ms", headerDrip.url("/doc")},
  });
  for (const Result& r : results) expectNothingWithin(r, 0s, 40s);
}

}  // namespace
}  // namespace velnox

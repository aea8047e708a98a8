#pragma once
// HTTP over libcurl: the general request engine and the plain picture download.
// Both verify certificates (system CA store, host name checked), give up after 10 s
// without connecting or 30 s without progress, and count a body over 32 MiB as nothing.
#include <cstdint>
#include <optional>
#include <string>

#include "util/text.h"

namespace velnox {

// Every parameter but url is optional; the engine knows which ones were supplied.
struct HttpRequestParams {
  Text url;
  std::optional<int32_t> method;
  std::optional<Text> bodyText;
  Text* cookies = nullptr;          // in and out; supplied when not null
  Text* receivedCookies = nullptr;  // out
  std::optional<Text> extraHeaders;
  Text* responseHeaders = nullptr;  // out
  std::optional<bool> noRedirect;
  Bytes* bodyBytes = nullptr;  // in and out
  std::optional<Text> proxy;
  std::optional<bool> updateCookies;
  std::optional<bool> completeHeaders;
  std::optional<bool> normalizeNames;
  // Tests only: a CA file (PEM) to verify the server against, in place of the system store.
  // Empty: the system store.
  std::string caFile;
};

// One blocking request; the response body, or empty bytes when nothing could be fetched.
// How the engine keeps its promises on libcurl:
// - Every request goes to the server (no cache). Redirects are followed (at most 10, also
//   between HTTP and HTTPS) unless noRedirect; responseHeaders is then the final response's
//   whole block, CR LF after every line and an empty line at the end.
// - Exactly the composed header lines are sent, plus Host and the user agent (and
//   Content-Length for a body); a "User-Agent:" line in them is the one sent.
// - With cookies supplied, the caller's cookie text is the only cookie store. Without,
//   a store lives for this one call (a cookie set by a redirect hop goes with the next);
//   nothing is kept between calls.
// - A proxy serves a plain request as an HTTP proxy and tunnels a secure one (CONNECT);
//   the caller's header lines go to the server only. No proxy: a direct connection, also
//   when the environment names one.
// - Failures are quiet: an address without a usable host or port makes no request and
//   writes no output; a failed or cut transfer, or a body over the limit, gives an empty
//   body while the header and cookie outputs are still written.
// - HEAD sends no body (bodyBytes is still filled from bodyText).
Bytes HttpRequest(const HttpRequestParams& params);

// The whole body of a plain GET as bytes; empty when nothing could be fetched.
// The status is not examined; redirects are followed; only http and https addresses are
// fetched (no scheme means http); proxies named in the environment are not used.
Bytes downloadBytes(const std::string& url);

// Tests only: the CA file (PEM) that downloadBytes verifies servers against, in place of
// the system store, for the whole process from now on. Empty restores the system store.
void setExtraCaFileForTests(const std::string& path);

}  // namespace velnox

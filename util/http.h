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
  // Extra CA file to trust besides the system store (tests use a certificate made for them).
  std::string caFile;
};

Bytes HttpRequest(const HttpRequestParams& params);

// The whole body of a plain GET as bytes; empty when nothing could be fetched.
// The status is not examined; redirects are followed.
Bytes downloadBytes(const std::string& url);

}  // namespace velnox

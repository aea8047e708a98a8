#include "util/http.h"

#include <curl/curl.h>

#include <array>
#include <memory>
#include <mutex>
#include <string_view>

#include "util/url.h"

namespace velnox {

namespace {

constexpr std::string_view kDefaultUserAgent = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
constexpr std::array<std::string_view, 8> kMethods = {"GET",     "POST",   "HEAD",  "PUT",
                                                      "OPTIONS", "DELETE", "TRACE", "CONNECT"};
constexpr int32_t kPost = 1;
constexpr int32_t kHead = 2;

// What the network may make us hold: a body over 32 MiB counts as nothing fetched, and a
// header block over 1 MiB ends the transfer the same way.
constexpr size_t kMaxBodyBytes = size_t{32} << 20;
constexpr size_t kMaxHeaderBytes = size_t{1} << 20;

struct CurlFree {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct ListFree {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlPtr = std::unique_ptr<CURL, CurlFree>;
using ListPtr = std::unique_ptr<curl_slist, ListFree>;

std::mutex g_caMutex;
std::string g_downloadCaFile;

CurlPtr newHandle() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  return CurlPtr(curl_easy_init());
}

struct Transfer {
  Bytes body;
  Text headerBlock;  // the latest response's status line and header lines
  bool overLimit = false;
};

size_t onBody(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const size_t n = size * count;
  if (transfer->body.size() + n > kMaxBodyBytes) {
    transfer->overLimit = true;
    return 0;  // anything but n ends the transfer
  }
  transfer->body.append(data, n);
  return n;
}

size_t onHeader(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const size_t n = size * count;
  std::string_view line(data, n);
  // Each response (a redirect hop, an interim 100 Continue) starts with its status line;
  // only the last response's block is kept.
  if (line.starts_with("HTTP/")) transfer->headerBlock.clear();
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (transfer->headerBlock.size() + line.size() + 2 > kMaxHeaderBytes) {
    transfer->overLimit = true;
    return 0;
  }
  transfer->headerBlock += line;
  transfer->headerBlock += "\r\n";
  return n;
}

// Bounds and certificate checks shared by the request engine and the download.
void setCommonOptions(CURL* curl, Transfer& transfer, const std::string& caFile) {
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 10L);
  // "No progress" means under 1 KiB/s for 30 s: with a limit of 1 byte/s a server that
  // drips a byte now and then would hold start-up (or the message behind a picture) for
  // ever. The overall cap bounds a drip just above that rate.
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1024L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 30L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 300L);
  curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, 64L * 1024);
  curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxBodyBytes));
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!caFile.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, onHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
}

// The body when the whole transfer succeeded within its bounds; nothing otherwise.
Bytes finish(CURL* curl, Transfer& transfer) {
  const CURLcode result = curl_easy_perform(curl);
  if (result != CURLE_OK || transfer.overLimit) {
    if (transfer.overLimit) transfer.headerBlock.clear();
    return {};
  }
  return std::move(transfer.body);
}

// A host curl can be handed without reading more into it than a name or an address.
bool isPlainHost(std::string_view host) {
  if (host.empty()) return false;
  for (const char c : host) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                    c == '-' || c == '_';
    if (!ok) return false;
  }
  return true;
}

Text userAgentFor(const Text& headers) {
  if (find(headers, "User-Agent:", 1, true) == -1) return Text(kDefaultUserAgent);
  Text agent = trim(textBetween(headers + "\r\n", "User-Agent:", "\r\n"));
  if (agent.empty()) agent = textAfterColon(headers);
  // The fallback can reach past the end of a line; a line break must never reach the wire.
  const size_t lineEnd = agent.find_first_of("\r\n");
  if (lineEnd != Text::npos) agent.resize(lineEnd);
  return agent;
}

// The header name of a composed line, as curl reads it (up to ":" or ";").
std::string_view headerName(std::string_view line) {
  const size_t end = line.find_first_of(":;");
  std::string_view name = line.substr(0, end);
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  return name;
}

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && toLower(a) == toLower(b);
}

// Turns the composed header text into curl's list: exactly these lines are sent, and
// curl's own Accept, Expect, Content-Type and Pragma lines are removed unless the text
// holds a line of that name.
ListPtr headerList(const Text& headers) {
  curl_slist* list = nullptr;
  std::vector<std::string_view> names;
  size_t at = 0;
  while (at <= headers.size()) {
    size_t end = headers.find_first_of("\r\n", at);
    if (end == Text::npos) end = headers.size();
    std::string_view line(headers.data() + at, end - at);
    at = end + 1;
    if (line.empty()) continue;
    Text entry(line);
    const size_t colon = entry.find(':');
    if (colon != Text::npos && entry.find_first_not_of(' ', colon + 1) == Text::npos) {
      // "Name:" alone tells curl to drop a header; "Name;" sends it with an empty value.
      entry.resize(colon);
      entry += ';';
    }
    names.push_back(headerName(line));
    curl_slist* grown = curl_slist_append(list, entry.c_str());
    if (grown == nullptr) break;
    list = grown;
  }
  for (std::string_view own : {"Accept", "Expect", "Content-Type", "Pragma"}) {
    bool present = false;
    for (std::string_view name : names) present = present || sameName(name, own);
    if (present) continue;
    const std::string removal = std::string(own) + ":";
    curl_slist* grown = curl_slist_append(list, removal.c_str());
    if (grown != nullptr) list = grown;
  }
  return ListPtr(list);
}

Text receivedCookiesOf(const Text& headerBlock) {
  Text received;
  for (const Text& line : split(headerBlock, "\r\n")) {
    if (textBefore(line, ": ") != "Set-Cookie") continue;
    if (find(line, ";") == -1) {
      received += trim(replace(line, "Set-Cookie:", "", false));
    } else {
      // name=value only; the cookie's attributes are not kept
      received += trim(textBetween(line, "Set-Cookie:", ";"));
    }
    received += "; ";
  }
  return left(received, length(received) - 2);
}

}  // namespace

Bytes HttpRequest(const HttpRequestParams& params) {
  const bool updateCookies = params.updateCookies.value_or(true);
  const bool completeHeaders = params.completeHeaders.value_or(true);
  const bool normalizeNames = params.normalizeNames.value_or(true);
  const bool noRedirect = params.noRedirect.value_or(false);
  const Text& url = params.url;

  Text headers = params.extraHeaders.value_or(Text());
  if (normalizeNames) headers = normalizeHeaderNames(headers);

  int32_t method = params.method.value_or(0);
  if (method < 0 || method > 7) method = 0;
  const bool secure = toLower(left(url, 8)) == "https://";
  const Text userAgent = userAgentFor(headers);
  const Text proxy = params.proxy.value_or(Text());

  CurlPtr curl = newHandle();
  if (!curl) return {};

  // The connection goes to urlHost at urlPort and asks for urlPath, whatever else the
  // address holds; an address that names no usable host or port makes no request.
  const Text host = urlHost(url);
  int32_t port = urlPort(url);
  if (port == 0) port = secure ? 443 : 80;
  if (!isPlainHost(host) || port < 0 || port > 65535) return {};
  const Text target = concat({secure ? "https://" : "http://", host, ":", toText(port), urlPath(url)});

  if (completeHeaders) {
    if (headers.empty()) headers = "Accept: */*";
    if (find(headers, "Accept:", 1, true) == -1) headers += "\r\nAccept: */*";
    if (find(headers, "Referer:", 1, true) == -1) headers += "\r\nReferer: " + url;
    if (find(headers, "Accept-Language:", 1, true) == -1) headers += "\r\nAccept-Language: zh-cn";
    if (method == kPost && find(headers, "Content-Type:", 1, true) == -1) {
      headers += "\r\nContent-Type: application/x-www-form-urlencoded";
    }
  }
  if (params.cookies != nullptr && !params.cookies->empty()) {
    headers += find(*params.cookies, "Cookie:") != -1 ? "\r\n" : "\r\nCookie: ";
    headers += *params.cookies;
  }

  // Every verb but GET carries a body, of length 0 when there is none; bodyBytes, when
  // empty, takes the bytes of bodyText and keeps them.
  Bytes ownBody;
  const Bytes* body = nullptr;
  if (method != 0) {
    if (params.bodyBytes != nullptr) {
      if (params.bodyBytes->empty()) *params.bodyBytes = params.bodyText.value_or(Text());
      body = params.bodyBytes;
    } else {
      ownBody = params.bodyText.value_or(Text());
      body = &ownBody;
    }
  }

  Transfer transfer;
  CURL* handle = curl.get();
  setCommonOptions(handle, transfer, params.caFile);
  curl_easy_setopt(handle, CURLOPT_URL, target.c_str());
  // The path goes out as the caller wrote it, "/../" included.
  curl_easy_setopt(handle, CURLOPT_PATH_AS_IS, 1L);
  curl_easy_setopt(handle, CURLOPT_USERAGENT, userAgent.c_str());

  if (method == 0) {
    curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
  } else {
    if (method == kHead) {
      // A HEAD response has no body to wait for. curl sends none with HEAD either, so
      // bodyBytes, though filled, is not sent for this verb.
      curl_easy_setopt(handle, CURLOPT_NOBODY, 1L);
    }
    if (method == kPost) {
      curl_easy_setopt(handle, CURLOPT_POST, 1L);
    } else {
      curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, kMethods[static_cast<size_t>(method)].data());
    }
    curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body->size()));
    curl_easy_setopt(handle, CURLOPT_POSTFIELDS, body->data());
  }

  ListPtr list = headerList(headers);
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, list.get());
  // The caller's lines are for the server; a proxy's CONNECT gets none of them.
  curl_easy_setopt(handle, CURLOPT_HEADEROPT, static_cast<long>(CURLHEADER_SEPARATE));

  // An empty proxy text means a direct connection, whatever the environment says. Given a
  // proxy, a plain request is sent to it as an HTTP proxy request and a secure one is
  // tunnelled through it with CONNECT.
  curl_easy_setopt(handle, CURLOPT_PROXY, proxy.c_str());
  if (!proxy.empty()) curl_easy_setopt(handle, CURLOPT_NOPROXY, "");

  // With the caller's cookies, the caller's cookie text is the only cookie store. Without
  // them, a store lives for this call alone, so that a cookie set by one redirect hop goes
  // with the next; nothing is kept between calls.
  if (params.cookies == nullptr) curl_easy_setopt(handle, CURLOPT_COOKIEFILE, "");

  if (!noRedirect) {
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 10L);
  }

  Bytes result = finish(handle, transfer);
  curl.reset();
  list.reset();

  if (params.responseHeaders != nullptr) *params.responseHeaders = transfer.headerBlock;
  Text received = receivedCookiesOf(transfer.headerBlock);
  if (updateCookies && params.cookies != nullptr) received = mergeCookies(*params.cookies, received);
  if (params.receivedCookies != nullptr) *params.receivedCookies = received;
  return result;
}

void setExtraCaFileForTests(const std::string& path) {
  std::lock_guard lock(g_caMutex);
  g_downloadCaFile = path;
}

Bytes downloadBytes(const std::string& url) {
  CurlPtr curl = newHandle();
  if (!curl) return {};
  std::string caFile;
  {
    std::lock_guard lock(g_caMutex);
    caFile = g_downloadCaFile;
  }
  Transfer transfer;
  CURL* handle = curl.get();
  setCommonOptions(handle, transfer, caFile);
  curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  curl_easy_setopt(handle, CURLOPT_DEFAULT_PROTOCOL, "http");
  curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(handle, CURLOPT_USERAGENT, kDefaultUserAgent.data());
  curl_easy_setopt(handle, CURLOPT_PROXY, "");
  curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 10L);
  return finish(handle, transfer);
}

}  // namespace velnox

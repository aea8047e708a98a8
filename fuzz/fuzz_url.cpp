// URL, header and cookie helpers over arbitrary bytes: the URL and header texts come from
// callers, the cookie texts from servers. The input is cut at its first two newlines into
// an address (or header text), held cookies and received cookies.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "util/url.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Texts end at their first zero byte.
  std::string_view input(reinterpret_cast<const char*>(data), size);
  input = input.substr(0, input.find('\0'));
  const size_t first = input.find('\n');
  const std::string_view url = input.substr(0, first);
  const std::string_view rest =
      first == std::string_view::npos ? std::string_view() : input.substr(first + 1);
  const size_t second = rest.find('\n');
  const std::string_view received = rest.substr(0, second);
  const std::string_view held =
      second == std::string_view::npos ? std::string_view() : rest.substr(second + 1);

  velnox::urlHost(url);
  velnox::urlHost(url, true);
  velnox::urlPort(url);
  const velnox::Text path = velnox::urlPath(url);
  if (path.empty() || path[0] != '/') std::abort();

  velnox::normalizeHeaderNames(input);
  velnox::textBetween(url, received, held);

  velnox::Text cookies(held);
  const velnox::Text merged = velnox::mergeCookies(cookies, received);
  if (merged != cookies) std::abort();
  return 0;
}

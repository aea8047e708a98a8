#include "util/url.h"

namespace velnox {

namespace {

// "#引号" in GBK: lets a caller write a marker that holds a double quote.
constexpr std::string_view kQuoteWord = "#\xD2\xFD\xBA\xC5";

Text joinWithSeparator(const TextList& items, std::string_view separator) {
  Text out;
  for (const Text& item : items) {
    out += item;
    out += separator;
  }
  return left(out, length(out) - length(separator));
}

}  // namespace

Text urlHost(std::string_view url, bool keepPort) {
  Text work = toLower(url);
  if (work.empty() || work.back() != '/') work += '/';
  std::string_view marker = "http://";
  if (left(work, 8) == "https://") {
    marker = "https://";
  } else if (find(work, "http://") == -1) {
    work.insert(0, "http://");
  }
  Text host = textBetween(work, marker, "/");
  if (keepPort) return host;
  const int32_t colon = find(host, ":");
  return colon > 0 ? left(host, colon - 1) : host;
}

int32_t urlPort(std::string_view url) {
  const Text host = urlHost(url, true);
  const int32_t colon = findLast(host, ":");
  if (colon > 0) return toInt(right(host, length(host) - colon));
  return toLower(left(url, 5)) == "https" ? 443 : 80;
}

Text urlPath(std::string_view url) {
  // The host is looked for after the scheme: a host such as "h" or "tp" also occurs inside
  // "http://", and a path taken from there would be wrong.
  const Text lowered = toLower(left(url, 8));
  int32_t start = 1;
  if (lowered == "https://") {
    start = 9;
  } else if (left(lowered, 7) == "http://") {
    start = 8;
  }
  const int32_t hostAt = find(url, urlHost(url), start, true);
  if (hostAt == -1) return "/";
  const int32_t slash = find(url, "/", hostAt);
  if (slash == -1) return "/";
  return right(url, length(url) - slash + 1);
}

Text normalizeHeaderNames(std::string_view headers) {
  Text result;
  for (const Text& line : split(headers, "\r\n")) {
    const int32_t colon = find(line, ":");
    if (colon == -1) continue;
    const Text name = left(line, colon - 1);
    Text newName;
    if (find(name, "-") == -1) {
      newName = capitalizeFirst(name);
    } else {
      TextList pieces = split(name, "-");
      for (Text& piece : pieces) piece = capitalizeFirst(piece);
      newName = joinWithSeparator(pieces, "-");
    }
    result += newName;
    result += std::string_view(line).substr(static_cast<size_t>(colon - 1));
    result += "\r\n";
  }
  return left(result, length(result) - 2);
}

Text capitalizeFirst(std::string_view text) { return toUpper(left(text, 1)) + mid(text, 2, length(text)); }

Text textBetween(std::string_view text, std::string_view leftMarker, std::string_view rightMarker) {
  const Text leftText = replace(leftMarker, kQuoteWord, "\"", true);
  const Text rightText = replace(rightMarker, kQuoteWord, "\"", true);
  const int32_t at = find(text, leftText);
  if (at == -1) return {};
  const int32_t from = at + length(leftText);
  const int32_t to = find(text, rightText, from);
  if (to == -1) return {};
  return mid(text, from, to - from);
}

Text textBefore(std::string_view text, std::string_view marker) {
  const int32_t at = find(text, marker);
  return at == -1 ? Text() : left(text, at - 1);
}

Text textAfterColon(std::string_view text) {
  const int32_t colon = find(text, ":");
  return colon == -1 ? Text() : trim(right(text, length(text) - colon));
}

Text mergeCookies(Text& cookies, std::string_view newCookies) {
  Text held = trim(cookies);
  Text received = trim(newCookies);
  // A trailing ";" reads as a separator, so the item before it splits off cleanly.
  if (right(held, 1) == ";") held += ' ';
  if (right(received, 1) == ";") received += ' ';

  TextList merged = split(received, "; ");
  for (const Text& item : split(held, "; ")) {
    if (!hasCookieName(merged, cookieName(item))) merged.push_back(item);
  }

  // "=deleted" items have done their work (they displaced the held cookie) and go.
  TextList kept;
  for (const Text& item : merged) {
    if (right(item, 8) != "=deleted") kept.push_back(item);
  }
  cookies = joinDistinct(joinWithSeparator(kept, "; "), "; ");
  return cookies;
}

Text cookieName(std::string_view item) {
  const int32_t equals = find(item, "=");
  return trim(equals == -1 ? item : std::string_view(left(item, equals - 1)));
}

bool hasCookieName(const TextList& list, std::string_view name) {
  for (const Text& item : list) {
    if (cookieName(item) == name) return true;
  }
  return false;
}

Text joinDistinct(std::string_view text, std::string_view separator) {
  TextList kept;
  for (const Text& piece : split(text, separator)) {
    if (indexOfItem(kept, piece) == -1) kept.push_back(piece);
  }
  return joinWithSeparator(kept, separator);
}

int32_t indexOfItem(const TextList& list, std::string_view text) {
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i] == text) return static_cast<int32_t>(i + 1);
  }
  return -1;
}

}  // namespace velnox

#include "util/text.h"

#include <locale.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace velnox {
namespace {

using u8 = unsigned char;

inline u8 byteAt(std::string_view s, size_t i) { return static_cast<u8>(s[i]); }

// Bytes of the character that begins at i: two after a lead byte, one otherwise; never
// beyond the end of the text.
inline size_t charStep(std::string_view s, size_t i) { return byteAt(s, i) >= 0x80 ? 2 : 1; }

inline u8 foldAscii(u8 b) { return (b >= 'A' && b <= 'Z') ? static_cast<u8>(b + 32) : b; }

// Compares the needle with the text at p. Case-blind comparison only touches single-byte
// ASCII letters of the needle; the bytes of a double-byte character compare exactly.
bool matchesAt(const char* p, std::string_view needle, bool ignoreCase) {
  if (!ignoreCase) return std::memcmp(p, needle.data(), needle.size()) == 0;
  for (size_t i = 0; i < needle.size();) {
    u8 n = byteAt(needle, i);
    if (n >= 0x80) {
      if (p[i] != needle[i]) return false;
      if (i + 1 < needle.size() && p[i + 1] != needle[i + 1]) return false;
      i += 2;
    } else {
      if (foldAscii(static_cast<u8>(p[i])) != foldAscii(n)) return false;
      ++i;
    }
  }
  return true;
}

// First position >= pos where the needle matches at a character start, stepping characters
// from pos (which the caller treats as a character start). npos when none. The needle is not
// empty. Linear for a fixed needle: candidates come from memchr, and whether a candidate
// begins a character is read from the bytes just before it. A byte below 0x80 is never a
// lead byte, so a character begins right after it; from there a run of bytes of 0x80 and
// above pairs off. `known`, the latest position known to begin a character, bounds that look
// back, so no byte is looked at twice.
size_t scanFind(std::string_view text, size_t pos, std::string_view needle, bool ignoreCase) {
  const size_t len = text.size();
  const size_t nlen = needle.size();
  if (nlen > len) return std::string_view::npos;
  const size_t lastStart = len - nlen;
  const u8 first = byteAt(needle, 0);
  const bool firstIsLetter = (first >= 'a' && first <= 'z') || (first >= 'A' && first <= 'Z');
  if (ignoreCase && firstIsLetter) {
    // A letter compared case-blind: try every character start.
    for (; pos <= lastStart; pos += charStep(text, pos)) {
      if (matchesAt(text.data() + pos, needle, true)) return pos;
    }
    return std::string_view::npos;
  }
  size_t known = pos;
  while (pos <= lastStart) {
    const void* hit = std::memchr(text.data() + pos, first, lastStart - pos + 1);
    if (!hit) return std::string_view::npos;
    const size_t cand = static_cast<size_t>(static_cast<const char*>(hit) - text.data());
    size_t k = cand;
    while (k > known && byteAt(text, k - 1) >= 0x80) --k;
    if ((cand - k) % 2 != 0) {
      // The candidate is the second byte of a character; the next one begins after it.
      known = pos = cand + 1;
      continue;
    }
    if (matchesAt(text.data() + cand, needle, ignoreCase)) return cand;
    known = pos = cand + charStep(text, cand);
  }
  return std::string_view::npos;
}

// Calls piece(begin, end) for every piece of `split`; stops after maxCount pieces when
// maxCount is not negative.
template <typename Piece>
void splitPieces(std::string_view text, std::string_view separator, int64_t maxCount, Piece piece) {
  if (text.empty()) return;
  if (maxCount == 0) return;
  if (separator.empty()) {
    piece(size_t{0}, text.size());
    return;
  }
  int64_t taken = 0;
  size_t pieceStart = 0;
  size_t pos = 0;
  while (true) {
    size_t hit = scanFind(text, pos, separator, false);
    if (hit == std::string_view::npos) break;
    piece(pieceStart, hit);
    ++taken;
    if (maxCount > 0 && taken >= maxCount) return;
    pos = pieceStart = hit + separator.size();
  }
  if (pieceStart < text.size()) piece(pieceStart, text.size());
}

// Replaces the full-width forms a number may be written with by their ASCII counterparts.
std::string halfWidthForNumber(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    u8 b = byteAt(text, i);
    if (b < 0x80 || i + 1 >= text.size()) {
      out.push_back(static_cast<char>(b));
      ++i;
      continue;
    }
    u8 t = byteAt(text, i + 1);
    if (b == 0xA3 && t >= 0xA1 && t <= 0xFE) {
      out.push_back(static_cast<char>(t - 0x80));
    } else if (b == 0xA1 && t == 0xA1) {
      out.push_back(' ');
    } else if (b == 0xA1 && t == 0xAB) {
      out.push_back('~');
    } else if (b == 0xA1 && (t == 0xEE || t == 0xEF)) {
      out.push_back('*');
    } else {
      out.push_back(static_cast<char>(b));
      out.push_back(static_cast<char>(t));
    }
    i += 2;
  }
  return out;
}

inline bool isCSpace(u8 c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool isDigit(u8 c) { return c >= '0' && c <= '9'; }

locale_t cLocale() {
  static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return loc;
}

}  // namespace

int32_t length(std::string_view text) {
  return static_cast<int32_t>(std::min<size_t>(text.size(), INT32_MAX));
}

Text left(std::string_view text, int32_t n) {
  if (n <= 0) return {};
  return Text(text.substr(0, static_cast<size_t>(n)));
}

Text right(std::string_view text, int32_t n) {
  if (n <= 0) return {};
  size_t k = std::min(text.size(), static_cast<size_t>(n));
  return Text(text.substr(text.size() - k));
}

Text mid(std::string_view text, int32_t position, int32_t n) {
  if (position < 1 || n <= 0 || static_cast<size_t>(position) > text.size()) return {};
  return Text(text.substr(static_cast<size_t>(position) - 1, static_cast<size_t>(n)));
}

int32_t find(std::string_view text, std::string_view needle, int32_t start, bool ignoreCase) {
  size_t begin = static_cast<size_t>(std::max(start, 1)) - 1;
  if (begin >= text.size()) return -1;
  if (needle.empty()) return 1;
  size_t hit = scanFind(text.substr(begin), 0, needle, ignoreCase);
  return hit == std::string_view::npos ? -1 : static_cast<int32_t>(begin + hit + 1);
}

int32_t findLast(std::string_view text, std::string_view needle, std::optional<int32_t> end,
                 bool ignoreCase) {
  std::string_view region = text;
  if (end) {
    if (*end <= 1) return -1;
    region = text.substr(0, static_cast<size_t>(*end) - 1);
  }
  if (region.empty()) return -1;
  if (needle.empty()) return 1;
  size_t last = std::string_view::npos;
  size_t pos = 0;
  while (true) {
    size_t hit = scanFind(region, pos, needle, ignoreCase);
    if (hit == std::string_view::npos) break;
    last = hit;
    pos = hit + charStep(region, hit);
  }
  return last == std::string_view::npos ? -1 : static_cast<int32_t>(last + 1);
}

Text replace(std::string_view text, std::string_view needle, std::string_view replacement, bool caseSensitive,
             int32_t start, std::optional<int32_t> count) {
  size_t begin = static_cast<size_t>(std::max(start, 1)) - 1;
  if (text.empty() || needle.empty() || begin >= text.size() || (count && *count == 0)) return Text(text);
  // A negative count never reaches its limit, so it replaces every occurrence.
  const int64_t limit = count ? *count : -1;
  Text out;
  out.reserve(text.size());
  out.append(text.substr(0, begin));
  std::string_view rest = text.substr(begin);
  size_t pos = 0;
  size_t copied = 0;
  int64_t made = 0;
  while (true) {
    size_t hit = scanFind(rest, pos, needle, !caseSensitive);
    if (hit == std::string_view::npos) break;
    out.append(rest.substr(copied, hit - copied));
    out.append(replacement);
    pos = copied = hit + needle.size();
    if (++made == limit) break;
  }
  out.append(rest.substr(copied));
  return out;
}

TextList split(std::string_view text, std::string_view separator, std::optional<int32_t> maxCount) {
  TextList out;
  splitPieces(text, separator, maxCount ? (*maxCount < 0 ? -1 : *maxCount) : -1,
              [&](size_t b, size_t e) { out.emplace_back(text.substr(b, e - b)); });
  return out;
}

Text trim(std::string_view text) {
  size_t b = 0;
  const size_t len = text.size();
  while (b < len) {
    if (byteAt(text, b) == 0x20) {
      ++b;
    } else if (b + 1 < len && byteAt(text, b) == 0xA1 && byteAt(text, b + 1) == 0xA1) {
      b += 2;
    } else {
      break;
    }
  }
  // Walk the remaining characters so a blank pair is only ever recognised on a character start.
  size_t e = b;
  for (size_t i = b; i < len;) {
    size_t step = std::min(charStep(text, i), len - i);
    bool blank =
        byteAt(text, i) == 0x20 || (step == 2 && byteAt(text, i) == 0xA1 && byteAt(text, i + 1) == 0xA1);
    i += step;
    if (!blank) e = i;
  }
  return Text(text.substr(b, e - b));
}

Text toUpper(std::string_view text) {
  Text out(text);
  for (size_t i = 0; i < out.size(); i += charStep(out, i)) {
    if (out[i] >= 'a' && out[i] <= 'z') out[i] = static_cast<char>(out[i] - 32);
  }
  return out;
}

Text toLower(std::string_view text) {
  Text out(text);
  for (size_t i = 0; i < out.size(); i += charStep(out, i)) {
    if (out[i] >= 'A' && out[i] <= 'Z') out[i] = static_cast<char>(out[i] + 32);
  }
  return out;
}

double toNumber(std::string_view text) {
  std::string s = halfWidthForNumber(text);
  size_t i = 0;
  while (i < s.size() && isCSpace(static_cast<u8>(s[i]))) ++i;
  const size_t numStart = i;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  size_t digits = 0;
  while (i < s.size() && isDigit(static_cast<u8>(s[i]))) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && isDigit(static_cast<u8>(s[i]))) ++i, ++digits;
  }
  if (digits == 0) return 0.0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    if (j < s.size() && isDigit(static_cast<u8>(s[j]))) {
      while (j < s.size() && isDigit(static_cast<u8>(s[j]))) ++j;
      i = j;
    }
  }
  // Only the decimal form read above reaches strtod (no hexadecimal, no "inf"), and the
  // C locale keeps the full stop the decimal point whatever the user's locale.
  std::string number = s.substr(numStart, i - numStart);
  return strtod_l(number.c_str(), nullptr, cLocale());
}

int32_t toInt(std::string_view text) {
  std::string s = halfWidthForNumber(text);
  size_t i = 0;
  while (i < s.size() && isCSpace(static_cast<u8>(s[i]))) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  // Out-of-range values saturate at the int32 limits instead of overflowing.
  int64_t value = 0;
  for (; i < s.size() && isDigit(static_cast<u8>(s[i])); ++i) {
    value = value * 10 + (s[i] - '0');
    if (value > static_cast<int64_t>(INT32_MAX) + 1) value = static_cast<int64_t>(INT32_MAX) + 1;
  }
  if (negative) value = -value;
  return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

Text toText(int32_t value) { return std::to_string(value); }

Text concat(std::initializer_list<std::string_view> parts) {
  size_t total = 0;
  for (auto p : parts) total += p.size();
  Text out;
  out.reserve(total);
  for (auto p : parts) out.append(p);
  return out;
}

int32_t splitNonEmpty(std::string_view text, std::string_view separator, int32_t maxCount, TextList& result) {
  result.clear();
  if (separator.empty()) separator = ",";
  splitPieces(text, separator, maxCount == 0 ? -1 : (maxCount < 0 ? -1 : maxCount), [&](size_t b, size_t e) {
    if (e > b) result.emplace_back(text.substr(b, e - b));
  });
  return static_cast<int32_t>(std::min<size_t>(result.size(), INT32_MAX));
}

int32_t findBytes(std::string_view text, std::string_view needle, int32_t start, bool ignoreCase) {
  if (text.empty() || needle.empty()) return -1;
  // Positions outside the text find nothing; 0 (and anything below) means the first byte.
  size_t begin = static_cast<size_t>(std::max(start, 1)) - 1;
  if (begin >= text.size() || needle.size() > text.size() - begin) return -1;
  std::string loweredText, loweredNeedle;
  if (ignoreCase) {
    auto lower = [](std::string_view s) {
      std::string r(s);
      for (char& c : r) c = static_cast<char>(foldAscii(static_cast<u8>(c)));
      return r;
    };
    loweredText = lower(text);
    loweredNeedle = lower(needle);
    text = loweredText;
    needle = loweredNeedle;
  }
  const void* hit = memmem(text.data() + begin, text.size() - begin, needle.data(), needle.size());
  if (!hit) return -1;
  return static_cast<int32_t>(static_cast<const char*>(hit) - text.data() + 1);
}

}  // namespace velnox

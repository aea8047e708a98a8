#pragma once
// GBK text operations. A text is a std::string of code page 936 bytes (it never holds a
// zero byte); a character is one byte below 0x80, else two bytes. Lengths count bytes,
// positions are 1-based, -1 means "not found". The character-aware operations step over
// double-byte characters whole; left, right, mid and findBytes count bytes only.
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velnox {

using Text = std::string;
using Bytes = std::string;  // any bytes, zero bytes included
using TextList = std::vector<std::string>;

int32_t length(std::string_view text);
Text left(std::string_view text, int32_t n);
Text right(std::string_view text, int32_t n);
Text mid(std::string_view text, int32_t position, int32_t n);

int32_t find(std::string_view text, std::string_view needle, int32_t start = 1, bool ignoreCase = false);
// Last occurrence lying wholly inside the first end - 1 bytes (the whole text when end is absent).
int32_t findLast(std::string_view text, std::string_view needle, std::optional<int32_t> end = std::nullopt,
                 bool ignoreCase = false);

// count absent: every occurrence.
Text replace(std::string_view text, std::string_view needle, std::string_view replacement, bool caseSensitive,
             int32_t start = 1, std::optional<int32_t> count = std::nullopt);

TextList split(std::string_view text, std::string_view separator = ",",
               std::optional<int32_t> maxCount = std::nullopt);
Text trim(std::string_view text);
Text toUpper(std::string_view text);
Text toLower(std::string_view text);
double toNumber(std::string_view text);
int32_t toInt(std::string_view text);
Text toText(int32_t value);
Text concat(std::initializer_list<std::string_view> parts);

int32_t splitNonEmpty(std::string_view text, std::string_view separator, int32_t maxCount, TextList& result);
inline TextList splitNonEmpty(std::string_view text, std::string_view separator) {
  TextList out;
  splitNonEmpty(text, separator, 0, out);
  return out;
}
int32_t findBytes(std::string_view text, std::string_view needle, int32_t start = 1, bool ignoreCase = false);

}  // namespace velnox

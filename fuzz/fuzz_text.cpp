// Text operations and marker extraction on arbitrary bytes: nothing may crash, read outside
// its input or hang, and the results keep their basic promises.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "util/encoding.h"
#include "util/regex.h"
#include "util/text.h"

using namespace velnox;

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the lengths of a needle and a replacement taken from the front.
  const size_t needleLen = std::min<size_t>(data[0] % 5, size - 1);
  const size_t replLen = std::min<size_t>((data[0] >> 4) % 4, size - 1 - needleLen);
  const std::string_view needle(reinterpret_cast<const char*>(data) + 1, needleLen);
  const std::string_view repl(reinterpret_cast<const char*>(data) + 1 + needleLen, replLen);
  const std::string_view text(reinterpret_cast<const char*>(data) + 1 + needleLen + replLen,
                              size - 1 - needleLen - replLen);
  const int32_t len = length(text);
  const int32_t start = static_cast<int32_t>(data[0] % 7) - 1;

  TextList items;
  const int32_t n = extractBetween(text, "\xA1\xBE", "\xA1\xBF", items);
  check(n == static_cast<int32_t>(items.size()));
  for (const auto& item : items) check(item.size() <= text.size());
  // The brackets are found by a byte search on character boundaries; the engine, run on the
  // same text with the pattern built from the markers, must find the same items. A text that
  // went through UTF-8 and back is one the engine sees byte for byte.
  {
    const Text clean = fromUtf8(toUtf8(text));
    TextList fast;
    extractBetween(clean, "\xA1\xBE", "\xA1\xBF", fast);
    RegexObject re;
    check(re.execute(escapeForPattern("\xA1\xBE") + "([\\s\\S]*?)" + escapeForPattern("\xA1\xBF"), clean));
    check(re.matchCount() == static_cast<int32_t>(fast.size()));
    for (size_t i = 0; i < fast.size(); ++i)
      check(re.subMatchText(static_cast<int32_t>(i) + 1, 1) == fast[i]);
  }
  if (!needle.empty() && !repl.empty()) extractBetween(text, needle, repl, items, data[0] % 3);
  trimLineBreaks(text);

  const int32_t f = velnox::find(text, needle, start, data[0] & 1);
  check(f == -1 || (f >= 1 && f <= len));
  const int32_t fl =
      findLast(text, needle, data[0] & 2 ? std::optional<int32_t>(start + len / 2) : std::nullopt);
  check(fl == -1 || (fl >= 1 && fl <= len));
  const int32_t fb = findBytes(text, needle, start, data[0] & 1);
  check(fb == -1 || (fb >= 1 && fb + static_cast<int32_t>(needle.size()) - 1 <= len));

  check(replace(text, needle, needle, true, start) == text);
  const Text replaced = replace(text, needle, repl, data[0] & 1, start);
  if (needle.size() == repl.size()) check(replaced.size() == text.size());

  const TextList pieces = split(text, needle);
  size_t total = 0;
  for (const auto& p : pieces) total += p.size();
  check(total <= text.size());
  TextList nonEmpty;
  check(splitNonEmpty(text, needle, 0, nonEmpty) == static_cast<int32_t>(nonEmpty.size()));
  for (const auto& p : nonEmpty) check(!p.empty());

  check(trim(text).size() <= text.size());
  check(toUpper(text).size() == text.size());
  check(toLower(text).size() == text.size());
  toNumber(text);
  toInt(text);
  mid(text, start, len);
  return 0;
}

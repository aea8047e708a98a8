// Conversions between GBK and UTF-8 or UTF-16 on arbitrary bytes: nothing may crash or read
// outside its input, UTF-8 output is always well-formed, and a text that came from UTF-8
// survives the way back and forth unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "util/encoding.h"

using namespace velnox;

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

bool wellFormedUtf8(std::string_view s) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  size_t i = 0, n = s.size();
  while (i < n) {
    unsigned char b = p[i];
    size_t len = b < 0x80                   ? 1
                 : (b >= 0xC2 && b <= 0xDF) ? 2
                 : (b >= 0xE0 && b <= 0xEF) ? 3
                 : (b >= 0xF0 && b <= 0xF4) ? 4
                                            : 0;
    if (len == 0 || i + len > n) return false;
    for (size_t k = 1; k < len; ++k)
      if ((p[i + k] & 0xC0) != 0x80) return false;
    if (b == 0xE0 && p[i + 1] < 0xA0) return false;
    if (b == 0xED && p[i + 1] >= 0xA0) return false;
    if (b == 0xF0 && p[i + 1] < 0x90) return false;
    if (b == 0xF4 && p[i + 1] >= 0x90) return false;
    i += len;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view in(reinterpret_cast<const char*>(data), size);

  const Bytes utf8 = toUtf8(in);
  check(wellFormedUtf8(utf8));
  check(utf8.find('\0') == Bytes::npos);

  const Text gbk = fromUtf8(in);
  check(gbk.find('\0') == Text::npos);
  check(gbk.size() <= in.size());
  const Bytes again = toUtf8(gbk);
  check(wellFormedUtf8(again));
  check(fromUtf8(again) == gbk);

  const Bytes wide = gbkToUtf16(in);
  check(wide.size() % 2 == 0);
  if (!wide.empty()) check(wide[wide.size() - 1] == 0 && wide[wide.size() - 2] == 0);

  check(md5OfText(in).size() == 16);
  return 0;
}

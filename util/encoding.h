#pragma once
// Conversions between the program's GBK texts and the UTF-8 of the network, and the MD5
// digest. CP936 through iconv: a character CP936 lacks becomes "?", invalid input never
// ends the program.
#include <string>
#include <string_view>

#include "util/text.h"

namespace velnox {

Bytes toUtf8(std::string_view text);
// The result ends at the first zero byte of the decoded text.
Text fromUtf8(std::string_view bytes);
// UTF-16LE with a terminating zero unit; empty text gives empty bytes.
Bytes gbkToUtf16(std::string_view text);
// 32 upper-case hex digits of MD5, empty on failure.
Text hashHex(std::string_view bytes);
// 16 lower-case hex digits: characters 9 to 24 of the lower-case digest of the text's bytes.
Text md5OfText(std::string_view text);

}  // namespace velnox

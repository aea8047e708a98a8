#pragma once
// Source files are UTF-8; the program's texts are GBK. gbk("未连接") gives the GBK bytes of a
// literal written in source, so the program's own captions and messages stay readable.
#include <string_view>

#include "util/encoding.h"

namespace velnox {

inline Text gbk(std::string_view utf8) { return fromUtf8(utf8); }

}  // namespace velnox

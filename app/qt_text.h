#pragma once
// Texts cross into Qt here: the program's GBK texts become QStrings for widgets and come
// back as GBK.
#include <QString>
#include <string_view>

#include "util/text.h"

namespace velnox {

QString toQString(std::string_view gbk);
Text fromQString(const QString& text);

}  // namespace velnox

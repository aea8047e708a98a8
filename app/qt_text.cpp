#include "app/qt_text.h"

#include <QByteArray>

#include "util/encoding.h"

namespace velnox {

QString toQString(std::string_view gbk) {
  const Bytes utf8 = toUtf8(gbk);
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

Text fromQString(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  return fromUtf8(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
}

}  // namespace velnox

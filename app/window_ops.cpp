#include "app/window_ops.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFont>
#include <QFontDatabase>
#include <QTimer>
#include <QUrl>

#include "app/forms.h"
#include "app/qt_text.h"

namespace velnox {

namespace {
MessageBoxHook& messageBoxHook() {
  static MessageBoxHook hook;
  return hook;
}
OpenAddressHook& openAddressHook() {
  static OpenAddressHook hook;
  return hook;
}
}  // namespace

void installFontSubstitution() {
  static bool done = false;
  if (done) return;
  done = true;
  const QStringList installed = QFontDatabase::families();
  for (const char* family : {"WenQuanYi Micro Hei", "Noto Sans CJK SC", "Noto Sans SC", "Source Han Sans SC",
                             "WenQuanYi Zen Hei", "AR PL UMing CN"}) {
    if (installed.contains(QString::fromLatin1(family))) {
      QFont::insertSubstitution(QString::fromUtf8(kFormFontFace), QString::fromLatin1(family));
      return;
    }
  }
}

void showMessageBox(std::string_view text, std::string_view title) {
  QMessageBox box(QMessageBox::Critical, toQString(title), toQString(text), QMessageBox::Ok);
  box.setWindowModality(Qt::ApplicationModal);
  if (messageBoxHook()) {
    MessageBoxHook hook = messageBoxHook();
    QTimer::singleShot(0, &box, [&box, hook] { hook(box); });
  }
  box.exec();
}

void setMessageBoxHook(MessageBoxHook hook) { messageBoxHook() = std::move(hook); }

bool openAddress(std::string_view address) {
  const QString text = toQString(address);
  if (!text.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) &&
      !text.startsWith(QLatin1String("https://"), Qt::CaseInsensitive))
    return false;
  const QUrl url(text, QUrl::TolerantMode);
  if (!url.isValid() || url.host().isEmpty()) return false;
  const QString scheme = url.scheme().toLower();
  if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) return false;
  if (openAddressHook()) {
    openAddressHook()(Text(address));
    return true;
  }
  QDesktopServices::openUrl(url);
  return true;
}

void setOpenAddressHook(OpenAddressHook hook) { openAddressHook() = std::move(hook); }

void processEventsFor(int milliseconds) {
  if (milliseconds <= 0) {
    QCoreApplication::processEvents();
    return;
  }
  QEventLoop loop;
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  loop.exec();
}

}  // namespace velnox

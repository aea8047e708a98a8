#include "app/window_ops.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFont>
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
  // The font matcher takes the first of these that is installed. Naming them here, rather than
  // listing the installed families, keeps the whole font database from being read at start.
  QFont::insertSubstitutions(QString::fromUtf8(kFormFontFace),
                             {QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
                              QStringLiteral("Noto Sans SC"), QStringLiteral("Source Han Sans SC"),
                              QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("AR PL UMing CN")});
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

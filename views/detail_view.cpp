#include "views/detail_view.h"

#include <QFile>
#include <QPointer>

#include "app/application.h"
#include "app/window_ops.h"
#include "util/picture.h"
#include "views/detail_logic.h"

// The resource file is compiled into this static library; its registration function has to
// be named from the global namespace.
static void registerViewResources() { Q_INIT_RESOURCE(views); }

namespace velnox {

namespace {

constexpr int kCreationWaitMs = 500;
constexpr int kNoticeLineHeight = 20;

// The detail window that messages and input may still change: open, and not on its way out.
DetailWindow* liveDetail(Application& app) {
  DetailWindow* detail = app.detailWindow();
  return detail && !detail->isMarkedForDestruction() ? detail : nullptr;
}

// The name column of the catalogue row selected now; empty when none is selected.
Text selectedTitle(Application& app) {
  MainWindow* main = app.mainWindow();
  if (!main) return Text();
  const int row = main->catalogueList->selectedRow();
  return row < 0 ? Text() : main->catalogueList->cellText(row, 1);
}

}  // namespace

const Bytes& placeholderPicture() {
  static const Bytes bytes = [] {
    registerViewResources();
    QFile file(QStringLiteral(":/views/placeholder_cover.jpg"));
    if (!file.open(QIODevice::ReadOnly)) return Bytes();
    const QByteArray data = file.readAll();
    return Bytes(data.constData(), static_cast<size_t>(data.size()));
  }();
  return bytes;
}

void openDetail(Application& app) {
  MainWindow* main = app.mainWindow();
  if (!main || main->catalogueList->selectedRow() < 0) return;
  // One detail window at a time: the open one goes before the new one is built.
  if (DetailWindow* old = app.detailWindow()) old->destroyWindow();
  app.loadDetailWindow();
}

void onDetailCreated(Application& app) {
  const QPointer<DetailWindow> detail = app.detailWindow();
  if (!detail) return;
  app.send(detailRequest(selectedTitle(app)));

  detail->coverPicture->setBorder(false);
  detail->noticeEdit->setBorder(false);
  detail->bodyEdit->setBorder(false);
  detail->leftAdPicture->setBorder(false);
  detail->rightAdPicture->setBorder(false);

  const AppState& s = app.state();
  detail->leftAdPicture->writePicture(s.leftAdImage);
  detail->rightAdPicture->writePicture(s.rightAdImage);

  setHeight(detail->noticeEdit, static_cast<int>(s.noticeLines.size()) * kNoticeLineHeight);
  for (const Text& line : s.noticeLines) detail->noticeEdit->appendText(line + "\r\n");
  // Appending leaves the caret after the last line break, on an empty line below the box's
  // height; bring the first line back into view so every notice line shows.
  detail->noticeEdit->moveCursor(QTextCursor::Start);

  // The answers to the request arrive during this wait and fill the still hidden window. The
  // wait also runs the user's input: another double-click replaces this window, and closing
  // it destroys it, so only a window that is still the open one is shown afterwards.
  processEventsFor(kCreationWaitMs);
  if (!detail || app.detailWindow() != detail || detail->isMarkedForDestruction()) return;
  detail->show();
}

void onDetailDestroyed(Application& app) {
  if (DetailWindow* detail = app.detailWindow()) detail->bodyEdit->writeText("");
}

void applyDetailText(Application& app, const Text& trimmedPayload) {
  DetailWindow* detail = liveDetail(app);
  if (!detail) return;
  const std::optional<BodyText> body = bodyTextFor(trimmedPayload);
  if (!body) return;
  detail->bodyEdit->writeText(body->text);
  if (body->height) setHeight(detail->bodyEdit, *body->height);
}

void applyCoverAddress(Application& app, const Text& /*payload*/, const Bytes& cover) {
  DetailWindow* detail = liveDetail(app);
  if (!detail) return;
  detail->writeCaption(selectedTitle(app));

  PictureBox* picture = detail->coverPicture;
  MultiLineEditBox* notice = detail->noticeEdit;
  MultiLineEditBox* body = detail->bodyEdit;
  if (!cover.empty()) {
    setLeft(picture, 105);
    setWidth(picture, 490);
    setHeight(picture, coverHeightFor(pictureWidth(cover), pictureHeight(cover), picture->height()));
    setTop(notice, picture->height() + 11);
    picture->writePicture(cover);
  } else {
    // Nothing fetched: our own picture in the form's place and size.
    picture->writePicture(placeholderPicture());
  }
  setTop(body, notice->y() + notice->height());
  const int panelHeight = panelHeightFor({picture->height(), notice->height(), body->height()});
  setHeight(detail->detailPanel, panelHeight);
  detail->detailScrollBar->writeMaximum(scrollMaximumFor(panelHeight, detail->detailCanvas->height()));
}

void scrollByWheel(Application& app, int notches) {
  DetailWindow* detail = liveDetail(app);
  if (!detail) return;
  ScrollBar* bar = detail->detailScrollBar;
  const WheelStep step = wheelStep(bar->readPosition(), bar->readMaximum(), notches);
  bar->writePosition(step.position);
  setTop(detail->detailPanel, step.panelTop);
  // The side pictures move down as far as the page moves up, so they stay beside the
  // visible part of the page.
  setTop(detail->leftAdPicture, step.sideTop);
  setTop(detail->rightAdPicture, step.sideTop);
}

void onScrollBarMoved(Application& app) {
  DetailWindow* detail = liveDetail(app);
  if (!detail) return;
  setTop(detail->detailPanel, -detail->detailScrollBar->readPosition());
}

}  // namespace velnox

#include "app/windows.h"

#include <QCloseEvent>
#include <QMetaObject>

#include "app/qt_text.h"
#include "util/encoding.h"

namespace velnox {

// --- FormWindow ---

FormWindow::FormWindow(const WindowForm& form) : QWidget(nullptr), m_form(form), m_tag(fromUtf8(form.tag)) {
  setAttribute(Qt::WA_DeleteOnClose, false);
  setWindowTitle(QString::fromUtf8(form.caption));
  // The layout does not follow a change of size: the client area is fixed.
  setFixedSize(form.outerWidth - kFormFrameWidth, form.outerHeight - kFormFrameHeight);
  move(form.left, form.top);
  m_controls = buildControls(this, form);
}

void FormWindow::writeCaption(std::string_view gbk) { setWindowTitle(toQString(gbk)); }

Text FormWindow::readCaption() const { return fromQString(windowTitle()); }

void FormWindow::destroyWindow() {
  if (m_marked || m_done) return;
  m_marked = true;
  // Queued behind whatever the window thread is doing now, so the handler that asked returns first.
  QMetaObject::invokeMethod(this, &FormWindow::completeDestruction, Qt::QueuedConnection);
}

void FormWindow::completeDestruction() {
  if (m_done) return;
  m_done = true;
  m_marked = true;
  emit destroying();
  // Nothing of a closed window ticks any more.
  for (QTimer* timer : findChildren<QTimer*>()) timer->stop();
  hide();
  emit gone();
  deleteLater();
}

void FormWindow::bringToFront() {
  if (isMinimized()) showNormal();
  raise();
  if (isVisible()) activateWindow();
}

void FormWindow::closeEvent(QCloseEvent* event) {
  // Closed by the user (or by close()): the destruction runs now.
  event->accept();
  completeDestruction();
}

// --- MainWindow ---

MainWindow::MainWindow(const std::string& contactLineUtf8) : FormWindow(mainWindowForm()) {
  refreshTimer = control<QTimer>("时钟2");
  reconnectTimer = control<QTimer>("时钟1");
  loginButton = control<Button>("按钮1");
  adLabel = control<QLabel>("透明标签1");
  updateGroup = control<GroupBox>("分组框更新检测0");
  updateUrlEdit = control<EditBox>("编辑框更新地址0");
  openUpdateButton = control<Button>("按钮打开更新地址0");
  updateNoticeEdit = control<MultiLineEditBox>("编辑框更新公告0");
  statusBar = control<StatusBar>("状态条1");
  bannerPicture = control<PictureBox>("图片框1");
  toolbarGroup = control<GroupBox>("分组框功能区");
  catalogueList = control<ListView>("超级列表框1");
  placeholderEdit = control<MultiLineEditBox>("编辑框1");

  std::vector<StatusBar::Panel> panels;
  for (const StatusPanelForm& panel : mainStatusPanels()) {
    panels.push_back({panel.width, fromUtf8(panel.text ? panel.text : contactLineUtf8.c_str()),
                      panel.tooltip ? fromUtf8(panel.tooltip) : Text()});
  }
  statusBar->setPanels(panels);

  std::vector<ListView::Column> columns;
  for (const ListColumnForm& column : catalogueColumns()) columns.push_back({fromUtf8(column.title), column.width});
  catalogueList->setColumns(columns);
}

void MainWindow::startTimers() {
  for (const ControlForm& c : form().controls) {
    if (c.kind == ControlKind::Timer && c.timerRunning) control<QTimer>(c.formName)->start();
  }
}

// --- DetailWindow ---

DetailWindow::DetailWindow() : FormWindow(detailWindowForm()) {
  rightAdPicture = control<PictureBox>("图片框竖版广告2");
  leftAdPicture = control<PictureBox>("图片框竖版广告1");
  detailScrollBar = control<ScrollBar>("纵向滚动条1");
  detailPanel = control<GroupBox>("分组框1");
  bodyEdit = control<MultiLineEditBox>("编辑框_正文");
  noticeEdit = control<MultiLineEditBox>("编辑框_声明");
  coverPicture = control<PictureBox>("图片框1");
  detailCanvas = control<Canvas>("画板1");
}

// --- AccountWindow ---

AccountWindow::AccountWindow() : FormWindow(accountWindowForm()) {
  codeLinkEdit = control<EditBox>("编辑框5");
  hintEdit = control<EditBox>("编辑框4");
  accountLoginButton = control<Button>("按钮2");
  signupCodeEdit = control<EditBox>("编辑框3");
  signupCodeLabel = control<QLabel>("标签3");
  passwordLabel = control<QLabel>("标签2");
  accountLabel = control<QLabel>("标签1");
  signupButton = control<Button>("按钮1");
  passwordEdit = control<EditBox>("编辑框2");
  accountEdit = control<EditBox>("编辑框1");
}

}  // namespace velnox

// Every control of the three windows against its form: place, size, parent, texts, font,
// colours, initial visibility and state, and stacking among siblings.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <map>
#include <memory>
#include <vector>

#include "app/window_ops.h"
#include "app/windows.h"
#include "util/gbk_literal.h"

namespace velnox {
namespace {

enum Flag : unsigned {
  kHidden = 1,
  kDisabled = 2,  // cannot take focus or typing
  kNoBorder = 4,
  kSingleBorder = 8,
  kCentred = 16,
  kBold = 32,
  kMultiLine = 64,
};

struct Expected {
  const char* formName;
  const char* role;       // the window's member that holds the control
  const char* className;  // the control's kind
  const char* parent;     // "" for the window
  int left, top, width, height;
  const char* text = nullptr;  // nullptr: empty
  int fontPixels = 0;
  unsigned flags = 0;
  int textColour = -1;
  int backColour = -1;
};

const char* kPlaceholder =
    "啥也不是\n啥也不是啥也不是啥也不是\n啥也不是啥也不是啥也不是啥也不是啥也不是\n"
    "啥也不是啥也不是啥也不是啥也不是啥也不是啥也不是啥也不是\n"
    "啥也不是啥也不是啥也不是啥也不是啥也不是啥也不是啥也不是啥也不是啥也不是";

// In the order of the forms: an earlier control lies above a later one with the same parent.
const std::vector<Expected> kMain = {
    {"按钮1", "loginButton", "velnox::Button", "分组框功能区", 615, 6, 35, 22, "登入", 0, kHidden},
    {"透明标签1", "adLabel", "QLabel", "图片框1", 624, 90, 32, 12, "广告"},
    {"分组框更新检测0", "updateGroup", "velnox::GroupBox", "", 640, 110, 660, 500, nullptr, 0, kHidden},
    {"编辑框更新地址0", "updateUrlEdit", "velnox::EditBox", "分组框更新检测0", 506, 69, 80, 20, nullptr, 0,
     kHidden},
    {"按钮打开更新地址0", "openUpdateButton", "velnox::Button", "分组框更新检测0", 57, 413, 533, 24,
     "点击前往更新"},
    {"编辑框更新公告0", "updateNoticeEdit", "velnox::MultiLineEditBox", "分组框更新检测0", 57, 61, 533, 352,
     nullptr, 14, kHidden | kSingleBorder | kBold | kMultiLine, 0x800080, 0xECECEC},
    {"状态条1", "statusBar", "velnox::StatusBar", "", 0, 611, 654, 20},
    {"图片框1", "bannerPicture", "velnox::PictureBox", "", 640, 0, 654, 110, nullptr, 0,
     kHidden | kSingleBorder},
    {"分组框功能区", "toolbarGroup", "velnox::GroupBox", "", 0, 104, 654, 30, nullptr, 0, 0, -1, 0xFFFFFF},
    {"超级列表框1", "catalogueList", "velnox::ListView", "", 2, 132, 650, 480},
    {"编辑框1", "placeholderEdit", "velnox::MultiLineEditBox", "", 0, 0, 660, 110, kPlaceholder, 16,
     kSingleBorder | kMultiLine, 0xFF0000, 0xFFFFFF},
};

const std::vector<Expected> kDetail = {
    {"图片框竖版广告2", "rightAdPicture", "velnox::PictureBox", "分组框1", 594, 10, 105, 704, nullptr, 0,
     kHidden | kSingleBorder},
    {"图片框竖版广告1", "leftAdPicture", "velnox::PictureBox", "分组框1", 0, 10, 105, 704, nullptr, 0,
     kHidden | kSingleBorder},
    {"纵向滚动条1", "detailScrollBar", "velnox::ScrollBar", "画板1", 704, 0, 18, 714},
    {"分组框1", "detailPanel", "velnox::GroupBox", "画板1", 2, 0, 700, 714, nullptr, 0, 0, -1, 0xFFFFFF},
    {"编辑框_正文", "bodyEdit", "velnox::MultiLineEditBox", "分组框1", 105, 620, 500, 90, nullptr, 16,
     kSingleBorder | kMultiLine, 0xFF0000, 0xFFFFFF},
    {"编辑框_声明", "noticeEdit", "velnox::MultiLineEditBox", "分组框1", 105, 400, 500, 160, nullptr, 14,
     kDisabled | kSingleBorder | kMultiLine, 0x808080, 0xFFFFFF},
    {"图片框1", "coverPicture", "velnox::PictureBox", "分组框1", 105, 11, 490, 390, nullptr, 0,
     kDisabled | kSingleBorder},
    {"画板1", "detailCanvas", "velnox::Canvas", "", 0, 0, 724, 720},
};

const std::vector<Expected> kAccount = {
    {"编辑框5", "codeLinkEdit", "velnox::EditBox", "", 24, 150, 328, 20, "获取注册校验码", 19,
     kDisabled | kNoBorder | kCentred, 0xFF0000},
    {"编辑框4", "hintEdit", "velnox::EditBox", "", 24, 8, 328, 20, "获取注册校验码", 19,
     kDisabled | kNoBorder | kCentred, 0xFF0000},
    {"按钮2", "accountLoginButton", "velnox::Button", "", 120, 120, 60, 26, "登入"},
    {"编辑框3", "signupCodeEdit", "velnox::EditBox", "", 90, 184, 280, 20},
    {"标签3", "signupCodeLabel", "QLabel", "", 8, 184, 80, 24, "注册校验码："},
    {"标签2", "passwordLabel", "QLabel", "", 25, 88, 80, 24, "密码："},
    {"标签1", "accountLabel", "QLabel", "", 25, 48, 80, 24, "账号："},
    {"按钮1", "signupButton", "velnox::Button", "", 216, 120, 60, 26, "注册"},
    {"编辑框2", "passwordEdit", "velnox::EditBox", "", 113, 88, 180, 20},
    {"编辑框1", "accountEdit", "velnox::EditBox", "", 113, 48, 180, 20},
};

QString textOf(QWidget* w) {
  if (auto* b = qobject_cast<QPushButton*>(w)) return b->text();
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
  if (auto* p = qobject_cast<QPlainTextEdit*>(w)) return p->toPlainText();
  return {};
}

QColor rgb(int v) { return QColor((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF); }

// A QWidget's children, listed from the bottom of the stack to the top.
int stackIndex(QWidget* w) { return static_cast<int>(w->parentWidget()->children().indexOf(w)); }

using Members = std::map<std::string, QWidget*>;

void checkForm(FormWindow& window, const std::vector<Expected>& table, const Members& members) {
  std::map<std::string, QWidget*> seen;
  EXPECT_EQ(members.size(), table.size());
  for (const Expected& e : table) {
    SCOPED_TRACE(e.formName);
    auto* w = window.findChild<QWidget*>(QString::fromUtf8(e.formName));
    ASSERT_NE(w, nullptr);
    seen[e.formName] = w;
    const auto member = members.find(e.role);
    ASSERT_NE(member, members.end()) << e.role;
    EXPECT_EQ(member->second, w) << e.role;
    EXPECT_STREQ(w->metaObject()->className(), e.className);
    const QString parent = w->parentWidget() == &window ? QString() : w->parentWidget()->objectName();
    EXPECT_EQ(parent, QString::fromUtf8(e.parent));
    EXPECT_EQ(w->geometry(), QRect(e.left, e.top, e.width, e.height));
    EXPECT_EQ(textOf(w), e.text ? QString::fromUtf8(e.text) : QString());
    EXPECT_EQ(w->isVisibleTo(w->parentWidget()), !(e.flags & kHidden));

    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
      const bool displayOnly = edit->isReadOnly() && edit->focusPolicy() == Qt::NoFocus;
      EXPECT_EQ(displayOnly, bool(e.flags & kDisabled));
      EXPECT_EQ(edit->hasFrame(), !(e.flags & kNoBorder));
      EXPECT_EQ(edit->alignment() & Qt::AlignHCenter,
                (e.flags & kCentred) ? Qt::AlignHCenter : Qt::Alignment());
      EXPECT_EQ(edit->echoMode(), QLineEdit::Normal);  // the password box shows what is typed
      if (e.flags & kDisabled) {                       // no white field behind a disabled box's text
        EXPECT_EQ(edit->palette().color(QPalette::Base), edit->palette().color(QPalette::Window));
      }
    } else {
      EXPECT_EQ(w->isEnabled(), !(e.flags & kDisabled));
    }
    if (e.flags & kSingleBorder) {
      auto* frame = qobject_cast<QFrame*>(w);
      ASSERT_NE(frame, nullptr);
      EXPECT_EQ(frame->frameShape(), QFrame::Box);
      EXPECT_EQ(frame->lineWidth(), 1);
      // A plain frame in the usual dark line, whatever the text colour.
      EXPECT_EQ(frame->palette().color(QPalette::Active, QPalette::WindowText),
                QApplication::palette().color(QPalette::Active, QPalette::WindowText));
    }
    if (e.flags & kMultiLine) {
      EXPECT_NE(qobject_cast<QPlainTextEdit*>(w), nullptr);
    }
    if (e.fontPixels) {
      EXPECT_EQ(w->font().family(), QString::fromUtf8("微软雅黑"));
      EXPECT_EQ(w->font().pixelSize(), e.fontPixels);
      EXPECT_EQ(w->font().bold(), bool(e.flags & kBold));
    }
    const QPalette::ColorGroup group = w->isEnabled() ? QPalette::Active : QPalette::Disabled;
    if (e.textColour >= 0) {
      EXPECT_EQ(w->palette().color(group, QPalette::Text), rgb(e.textColour));
    }
    if (e.backColour >= 0) {
      const QPalette::ColorRole role = qobject_cast<QPlainTextEdit*>(w) ? QPalette::Base : QPalette::Window;
      EXPECT_EQ(w->palette().color(group, role), rgb(e.backColour));
      EXPECT_TRUE(w->autoFillBackground() || qobject_cast<QPlainTextEdit*>(w));
    }
  }
  // Stacking: of two siblings, the one listed earlier lies above.
  for (size_t i = 0; i < table.size(); ++i) {
    for (size_t j = i + 1; j < table.size(); ++j) {
      QWidget* upper = seen[table[i].formName];
      QWidget* lower = seen[table[j].formName];
      if (upper->parentWidget() != lower->parentWidget()) continue;
      EXPECT_GT(stackIndex(upper), stackIndex(lower)) << table[i].formName << " / " << table[j].formName;
    }
  }
}

TEST(Forms, MainWindowControls) {
  MainWindow window("联系: someone@example.org");
  checkForm(window, kMain,
            {{"loginButton", window.loginButton},
             {"adLabel", window.adLabel},
             {"updateGroup", window.updateGroup},
             {"updateUrlEdit", window.updateUrlEdit},
             {"openUpdateButton", window.openUpdateButton},
             {"updateNoticeEdit", window.updateNoticeEdit},
             {"statusBar", window.statusBar},
             {"bannerPicture", window.bannerPicture},
             {"toolbarGroup", window.toolbarGroup},
             {"catalogueList", window.catalogueList},
             {"placeholderEdit", window.placeholderEdit}});
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Velnox"));
  EXPECT_EQ(window.tag(), "1.0.3");
  EXPECT_EQ(window.pos(), QPoint(50, 50));
  // 660 x 660 outside; the client area holds the status bar at its bottom edge.
  EXPECT_EQ(window.size(), QSize(654, 631));
  EXPECT_EQ(window.minimumSize(), window.maximumSize());

  // The ad label lets clicks through to the banner below it and shows the banner around its text.
  EXPECT_TRUE(window.adLabel->testAttribute(Qt::WA_TransparentForMouseEvents));
  EXPECT_FALSE(window.adLabel->autoFillBackground());

  // The timers: form names, period, and not running before the window's creation handler ran.
  for (QTimer* timer : {window.refreshTimer, window.reconnectTimer}) {
    EXPECT_EQ(timer->interval(), 1000);
    EXPECT_FALSE(timer->isActive());
  }
  EXPECT_EQ(window.refreshTimer->objectName(), QString::fromUtf8("时钟2"));
  EXPECT_EQ(window.reconnectTimer->objectName(), QString::fromUtf8("时钟1"));
  window.startTimers();
  EXPECT_TRUE(window.refreshTimer->isActive());
  EXPECT_TRUE(window.reconnectTimer->isActive());

  // Status bar panels.
  StatusBar* bar = window.statusBar;
  ASSERT_EQ(bar->panelCount(), 3);
  const int widths[] = {50, 454, 150};
  const char* texts[] = {"未连接", "资源来源于网络，侵权请联系作者，24小时内删除",
                         "联系: someone@example.org"};
  int left = 0;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(bar->panelLabel(i)->geometry(), QRect(left, 0, widths[i], 20)) << i;
    EXPECT_EQ(bar->panelText(i), gbk(texts[i])) << i;
    EXPECT_EQ(bar->panelLabel(i)->text(), QString::fromUtf8(texts[i])) << i;
    left += widths[i];
  }
  EXPECT_EQ(bar->panelLabel(0)->toolTip(), QString::fromUtf8("与服务器的连接状态"));
  EXPECT_TRUE(bar->panelLabel(1)->toolTip().isEmpty());

  // List view columns, no rows, nothing selected.
  ListView* list = window.catalogueList;
  ASSERT_EQ(list->columnCount(), 3);
  const char* titles[] = {"编号", "名称", "发布时间"};
  const int columnWidths[] = {50, 450, 146};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(list->model()->headerData(i, Qt::Horizontal).toString(), QString::fromUtf8(titles[i]));
    EXPECT_EQ(list->columnWidth(i), columnWidths[i]);
  }
  EXPECT_EQ(list->rowCount(), 0);
  EXPECT_EQ(list->selectedRow(), -1);
  EXPECT_TRUE(window.bannerPicture->readPicture().empty());
}

TEST(Forms, DetailWindowControls) {
  DetailWindow window;
  checkForm(window, kDetail,
            {{"rightAdPicture", window.rightAdPicture},
             {"leftAdPicture", window.leftAdPicture},
             {"detailScrollBar", window.detailScrollBar},
             {"detailPanel", window.detailPanel},
             {"bodyEdit", window.bodyEdit},
             {"noticeEdit", window.noticeEdit},
             {"coverPicture", window.coverPicture},
             {"detailCanvas", window.detailCanvas}});
  EXPECT_TRUE(window.windowTitle().isEmpty());
  EXPECT_EQ(window.pos(), QPoint(50, 50));
  EXPECT_EQ(window.size(), QSize(724, 721));
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(window.detailScrollBar->orientation(), Qt::Vertical);
  EXPECT_EQ(window.detailScrollBar->readPosition(), 0);
  EXPECT_EQ(window.detailScrollBar->minimum(), 0);
  EXPECT_EQ(window.detailScrollBar->readMaximum(), 100);
  EXPECT_TRUE(window.bodyEdit->readText().empty());
  EXPECT_TRUE(window.noticeEdit->readText().empty());
}

TEST(Forms, AccountWindowControls) {
  AccountWindow window;
  checkForm(window, kAccount,
            {{"codeLinkEdit", window.codeLinkEdit},
             {"hintEdit", window.hintEdit},
             {"accountLoginButton", window.accountLoginButton},
             {"signupCodeEdit", window.signupCodeEdit},
             {"signupCodeLabel", window.signupCodeLabel},
             {"passwordLabel", window.passwordLabel},
             {"accountLabel", window.accountLabel},
             {"signupButton", window.signupButton},
             {"passwordEdit", window.passwordEdit},
             {"accountEdit", window.accountEdit}});
  EXPECT_TRUE(window.windowTitle().isEmpty());
  EXPECT_EQ(window.size(), QSize(374, 221));
  EXPECT_EQ(window.hintEdit->readText(), gbk("获取注册校验码"));
}

TEST(Forms, ShownUpdatePanelCoversTheListAndTheStrip) {
  MainWindow window("x");
  window.catalogueList->replaceRows({{"1", "a long catalogue row name", "1"}});
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  const QColor listBase = window.catalogueList->viewport()->palette().color(QPalette::Base);
  ASSERT_EQ(listBase, QColor(Qt::white));  // the list and the strip are white, the panel is not

  // The strip below the banner area is white inside its edge.
  EXPECT_EQ(window.grab().toImage().pixelColor(300, 118), QColor(Qt::white));

  setLeft(window.updateGroup, 0);
  window.updateGroup->setVisible(true);
  const QImage shot = window.grab().toImage();
  // Inside the panel, clear of its own controls: the list and the white strip do not show through.
  for (QPoint at : {QPoint(20, 300), QPoint(300, 150), QPoint(630, 560), QPoint(20, 125)}) {
    EXPECT_NE(shot.pixelColor(at), QColor(Qt::white)) << at.x() << "," << at.y();
  }
  // Below the panel the status bar stays visible.
  EXPECT_TRUE(window.statusBar->isVisible());
  EXPECT_LE(window.updateGroup->geometry().bottom(), window.statusBar->y());
}

TEST(Forms, FormFaceIsAnInstalledCjkFace) {
  // The start-up substitution makes Latin and Chinese of the forms' face one installed face.
  installFontSubstitution();
  MainWindow window("x");
  const QString family = QFontInfo(window.placeholderEdit->font()).family();
  EXPECT_FALSE(family.isEmpty());
  EXPECT_NE(family, QStringLiteral("DejaVu Sans"));
}

}  // namespace
}  // namespace velnox

#include "app/forms.h"

#include <QFont>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QTimer>
#include <QWidget>
#include <array>
#include <vector>

#include "app/controls.h"

namespace velnox {

namespace {

using K = ControlKind;

// Listed top of the stacking order first.
constexpr ControlForm kMainControls[] = {
    {.formName = "时钟2",
     .roleName = "refreshTimer",
     .kind = K::Timer,
     .parent = nullptr,
     .left = 88,
     .top = 192,
     .width = 26,
     .height = 26,
     .timerPeriod = 1000,
     .timerRunning = true},
    {.formName = "时钟1",
     .roleName = "reconnectTimer",
     .kind = K::Timer,
     .parent = nullptr,
     .left = 56,
     .top = 192,
     .width = 26,
     .height = 26,
     .timerPeriod = 1000,
     .timerRunning = true},
    {.formName = "按钮1",
     .roleName = "loginButton",
     .kind = K::Button,
     .parent = "分组框功能区",
     .left = 615,
     .top = 6,
     .width = 35,
     .height = 22,
     .text = "登入",
     .hidden = true},
    {.formName = "透明标签1",
     .roleName = "adLabel",
     .kind = K::TransparentLabel,
     .parent = "图片框1",
     .left = 624,
     .top = 90,
     .width = 32,
     .height = 12,
     .text = "广告"},
    {.formName = "分组框更新检测0",
     .roleName = "updateGroup",
     .kind = K::GroupBox,
     .parent = nullptr,
     .left = 640,
     .top = 110,
     .width = 660,
     .height = 500,
     .hidden = true},
    {.formName = "编辑框更新地址0",
     .roleName = "updateUrlEdit",
     .kind = K::EditBox,
     .parent = "分组框更新检测0",
     .left = 506,
     .top = 69,
     .width = 80,
     .height = 20,
     .hidden = true},
    {.formName = "按钮打开更新地址0",
     .roleName = "openUpdateButton",
     .kind = K::Button,
     .parent = "分组框更新检测0",
     .left = 57,
     .top = 413,
     .width = 533,
     .height = 24,
     .text = "点击前往更新"},
    {.formName = "编辑框更新公告0",
     .roleName = "updateNoticeEdit",
     .kind = K::MultiLineEditBox,
     .parent = "分组框更新检测0",
     .left = 57,
     .top = 61,
     .width = 533,
     .height = 352,
     .fontPixels = 14,
     .bold = true,
     .textColour = 0x800080,
     .backColour = 0xECECEC,
     .border = Border::Single,
     .hidden = true},
    {.formName = "状态条1",
     .roleName = "statusBar",
     .kind = K::StatusBar,
     .parent = nullptr,
     .left = 0,
     .top = 611,
     .width = 654,
     .height = 20},
    {.formName = "图片框1",
     .roleName = "bannerPicture",
     .kind = K::PictureBox,
     .parent = nullptr,
     .left = 640,
     .top = 0,
     .width = 654,
     .height = 110,
     .backColour = 0xFFFFFF,
     .border = Border::Single,
     .hidden = true},
    {.formName = "分组框功能区",
     .roleName = "toolbarGroup",
     .kind = K::GroupBox,
     .parent = nullptr,
     .left = 0,
     .top = 104,
     .width = 654,
     .height = 30,
     .backColour = 0xFFFFFF},
    {.formName = "超级列表框1",
     .roleName = "catalogueList",
     .kind = K::ListView,
     .parent = nullptr,
     .left = 2,
     .top = 132,
     .width = 650,
     .height = 480},
    {.formName = "编辑框1",
     .roleName = "placeholderEdit",
     .kind = K::MultiLineEditBox,
     .parent = nullptr,
     .left = 0,
     .top = 0,
     .width = 660,
     .height = 110,
     .text = "啥也不是\r\n啥也不是啥也不是啥也不是\r\n啥也不是啥也不是啥也不是啥也不是啥也不是\r\n"
             "啥也不是啥也不是啥也不是啥也不是啥也不是啥也不是啥也不是\r\n"
             "啥也不是啥也不是啥也不是啥也不是啥也不是啥也不是啥也不是啥也不是啥也不是",
     .fontPixels = 16,
     .textColour = 0xFF0000,
     .backColour = 0xFFFFFF,
     .border = Border::Single},
};

constexpr ControlForm kDetailControls[] = {
    {.formName = "图片框竖版广告2",
     .roleName = "rightAdPicture",
     .kind = K::PictureBox,
     .parent = "分组框1",
     .left = 594,
     .top = 10,
     .width = 105,
     .height = 704,
     .backColour = 0xFFFFFF,
     .border = Border::Single,
     .hidden = true},
    {.formName = "图片框竖版广告1",
     .roleName = "leftAdPicture",
     .kind = K::PictureBox,
     .parent = "分组框1",
     .left = 0,
     .top = 10,
     .width = 105,
     .height = 704,
     .backColour = 0xFFFFFF,
     .border = Border::Single,
     .hidden = true},
    {.formName = "纵向滚动条1",
     .roleName = "detailScrollBar",
     .kind = K::ScrollBar,
     .parent = "画板1",
     .left = 704,
     .top = 0,
     .width = 18,
     .height = 714},
    {.formName = "分组框1",
     .roleName = "detailPanel",
     .kind = K::GroupBox,
     .parent = "画板1",
     .left = 2,
     .top = 0,
     .width = 700,
     .height = 714,
     .backColour = 0xFFFFFF},
    {.formName = "编辑框_正文",
     .roleName = "bodyEdit",
     .kind = K::MultiLineEditBox,
     .parent = "分组框1",
     .left = 105,
     .top = 620,
     .width = 500,
     .height = 90,
     .fontPixels = 16,
     .textColour = 0xFF0000,
     .backColour = 0xFFFFFF,
     .border = Border::Single},
    {.formName = "编辑框_声明",
     .roleName = "noticeEdit",
     .kind = K::MultiLineEditBox,
     .parent = "分组框1",
     .left = 105,
     .top = 400,
     .width = 500,
     .height = 160,
     .fontPixels = 14,
     .textColour = 0x808080,
     .backColour = 0xFFFFFF,
     .border = Border::Single,
     .disabled = true},
    {.formName = "图片框1",
     .roleName = "coverPicture",
     .kind = K::PictureBox,
     .parent = "分组框1",
     .left = 105,
     .top = 11,
     .width = 490,
     .height = 390,
     .backColour = 0xFFFFFF,
     .border = Border::Single,
     .disabled = true},
    {.formName = "画板1",
     .roleName = "detailCanvas",
     .kind = K::Canvas,
     .parent = nullptr,
     .left = 0,
     .top = 0,
     .width = 724,
     .height = 720},
};

constexpr ControlForm kAccountControls[] = {
    {.formName = "编辑框5",
     .roleName = "codeLinkEdit",
     .kind = K::EditBox,
     .parent = nullptr,
     .left = 24,
     .top = 150,
     .width = 328,
     .height = 20,
     .text = "获取注册校验码",
     .fontPixels = 19,
     .textColour = 0xFF0000,
     .border = Border::None,
     .displayOnly = true,
     .centred = true},
    {.formName = "编辑框4",
     .roleName = "hintEdit",
     .kind = K::EditBox,
     .parent = nullptr,
     .left = 24,
     .top = 8,
     .width = 328,
     .height = 20,
     .text = "获取注册校验码",
     .fontPixels = 19,
     .textColour = 0xFF0000,
     .border = Border::None,
     .displayOnly = true,
     .centred = true},
    {.formName = "按钮2",
     .roleName = "accountLoginButton",
     .kind = K::Button,
     .parent = nullptr,
     .left = 120,
     .top = 120,
     .width = 60,
     .height = 26,
     .text = "登入"},
    {.formName = "编辑框3",
     .roleName = "signupCodeEdit",
     .kind = K::EditBox,
     .parent = nullptr,
     .left = 90,
     .top = 184,
     .width = 280,
     .height = 20},
    {.formName = "标签3",
     .roleName = "signupCodeLabel",
     .kind = K::Label,
     .parent = nullptr,
     .left = 8,
     .top = 184,
     .width = 80,
     .height = 24,
     .text = "注册校验码："},
    {.formName = "标签2",
     .roleName = "passwordLabel",
     .kind = K::Label,
     .parent = nullptr,
     .left = 25,
     .top = 88,
     .width = 80,
     .height = 24,
     .text = "密码："},
    {.formName = "标签1",
     .roleName = "accountLabel",
     .kind = K::Label,
     .parent = nullptr,
     .left = 25,
     .top = 48,
     .width = 80,
     .height = 24,
     .text = "账号："},
    {.formName = "按钮1",
     .roleName = "signupButton",
     .kind = K::Button,
     .parent = nullptr,
     .left = 216,
     .top = 120,
     .width = 60,
     .height = 26,
     .text = "注册"},
    {.formName = "编辑框2",
     .roleName = "passwordEdit",
     .kind = K::EditBox,
     .parent = nullptr,
     .left = 113,
     .top = 88,
     .width = 180,
     .height = 20},
    {.formName = "编辑框1",
     .roleName = "accountEdit",
     .kind = K::EditBox,
     .parent = nullptr,
     .left = 113,
     .top = 48,
     .width = 180,
     .height = 20},
};

const WindowForm kMainForm{.caption = "Velnox",
                           .tag = "1.0.3",
                           .left = 50,
                           .top = 50,
                           .outerWidth = 660,
                           .outerHeight = 660,
                           .controls = kMainControls};
const WindowForm kDetailForm{.caption = "",
                             .tag = "",
                             .left = 50,
                             .top = 50,
                             .outerWidth = 730,
                             .outerHeight = 750,
                             .controls = kDetailControls};
const WindowForm kAccountForm{.caption = "",
                              .tag = "",
                              .left = 50,
                              .top = 50,
                              .outerWidth = 380,
                              .outerHeight = 250,
                              .controls = kAccountControls};

constexpr StatusPanelForm kMainStatusPanels[] = {
    {.width = 50, .text = "未连接", .tooltip = "与服务器的连接状态"},
    {.width = 454, .text = "资源来源于网络，侵权请联系作者，24小时内删除", .tooltip = nullptr},
    {.width = 150, .text = nullptr, .tooltip = nullptr},
};

constexpr ListColumnForm kCatalogueColumns[] = {
    {.title = "编号", .width = 50},
    {.title = "名称", .width = 450},
    {.title = "发布时间", .width = 146},
};

QColor colourOf(int rgb) { return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

// The form's colours hold in every state, disabled included: a disabled notice box keeps
// its grey on white rather than the platform's disabled look.
void applyColours(QWidget* widget, const ControlForm& c) {
  if (c.textColour == kNoColour && c.backColour == kNoColour) return;
  QPalette palette = widget->palette();
  const bool textField = qobject_cast<QLineEdit*>(widget) || qobject_cast<QPlainTextEdit*>(widget);
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    if (c.textColour != kNoColour) {
      const QColor text = colourOf(c.textColour);
      palette.setColor(group, QPalette::Text, text);
      palette.setColor(group, QPalette::ButtonText, text);
      // An edit box's frame is drawn in the window-text colour: it stays the plain dark frame.
      if (!textField) palette.setColor(group, QPalette::WindowText, text);
    }
    if (c.backColour != kNoColour) {
      const QColor back = colourOf(c.backColour);
      palette.setColor(group, QPalette::Base, back);
      palette.setColor(group, QPalette::Window, back);
    }
  }
  widget->setPalette(palette);
  if (c.backColour != kNoColour) widget->setAutoFillBackground(true);
}

QWidget* createWidget(const ControlForm& c, QWidget* parent) {
  switch (c.kind) {
    case K::Button:
      return new Button(parent);
    case K::Label:
      return new QLabel(parent);
    case K::TransparentLabel: {
      auto* label = new QLabel(parent);
      // Clicks go to what lies below, as with the platform's transparent labels.
      label->setAttribute(Qt::WA_TransparentForMouseEvents);
      return label;
    }
    case K::GroupBox:
      return new GroupBox(parent);
    case K::EditBox:
      return new EditBox(parent);
    case K::MultiLineEditBox: {
      auto* edit = new MultiLineEditBox(parent);
      // The platform's multi-line boxes of these forms have no scroll bars and wrap at words.
      edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      edit->document()->setDocumentMargin(2);
      return edit;
    }
    case K::StatusBar:
      return new StatusBar(parent);
    case K::PictureBox:
      return new PictureBox(parent);
    case K::ListView:
      return new ListView(parent);
    case K::Canvas:
      return new Canvas(parent);
    case K::ScrollBar:
      return new ScrollBar(parent);
    case K::Timer:
      break;
  }
  return nullptr;
}

void applyForm(QWidget* widget, const ControlForm& c) {
  widget->setGeometry(c.left, c.top, c.width, c.height);
  if (c.fontPixels > 0) {
    QFont font(QString::fromUtf8(kFormFontFace));
    font.setPixelSize(c.fontPixels);
    font.setBold(c.bold);
    widget->setFont(font);
  }
  applyColours(widget, c);
  const QString text = c.text ? QString::fromUtf8(c.text) : QString();
  if (auto* button = qobject_cast<QPushButton*>(widget)) {
    button->setText(text);
  } else if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(text);
  } else if (auto* edit = qobject_cast<EditBox*>(widget)) {
    edit->setText(text);
    edit->setFrame(c.border != Border::None);
    if (c.centred) edit->setAlignment(Qt::AlignCenter);
    if (c.displayOnly) {
      // Looks like a disabled box: no white field, the window's colour behind the text.
      if (c.backColour == kNoColour) {
        QPalette palette = edit->palette();
        palette.setColor(QPalette::Base, palette.color(QPalette::Window));
        edit->setPalette(palette);
      }
      edit->setReadOnly(true);
      edit->setFocusPolicy(Qt::NoFocus);
      edit->setCursor(Qt::ArrowCursor);
    }
  } else if (auto* multi = qobject_cast<MultiLineEditBox*>(widget)) {
    multi->setPlainText(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    if (c.border != Border::Default) multi->setBorder(c.border == Border::Single);
  } else if (auto* picture = qobject_cast<PictureBox*>(widget)) {
    picture->setBorder(c.border != Border::None);
  }
  if (c.disabled) widget->setEnabled(false);
  if (c.hidden) widget->setVisible(false);
}

}  // namespace

const WindowForm& mainWindowForm() { return kMainForm; }
const WindowForm& detailWindowForm() { return kDetailForm; }
const WindowForm& accountWindowForm() { return kAccountForm; }
std::span<const StatusPanelForm> mainStatusPanels() { return kMainStatusPanels; }
std::span<const ListColumnForm> catalogueColumns() { return kCatalogueColumns; }

QHash<QString, QObject*> buildControls(QWidget* window, const WindowForm& form) {
  QHash<QString, QObject*> byName;
  const size_t count = form.controls.size();
  std::vector<QWidget*> widgets(count, nullptr);
  std::vector<bool> made(count, false);
  // Parents before children: a child may be listed above its parent.
  for (bool progress = true; progress;) {
    progress = false;
    for (size_t i = 0; i < count; ++i) {
      const ControlForm& c = form.controls[i];
      if (made[i]) continue;
      QWidget* parent = window;
      if (c.parent) {
        parent = qobject_cast<QWidget*>(byName.value(QString::fromUtf8(c.parent)));
        if (!parent) continue;
      }
      QObject* object = nullptr;
      if (c.kind == K::Timer) {
        auto* timer = new QTimer(window);
        timer->setInterval(c.timerPeriod);
        object = timer;
      } else {
        widgets[i] = createWidget(c, parent);
        applyForm(widgets[i], c);
        object = widgets[i];
      }
      object->setObjectName(QString::fromUtf8(c.formName));
      byName.insert(object->objectName(), object);
      made[i] = true;
      progress = true;
    }
  }
  // Raised from the last listed to the first, so the first ends on top of its siblings.
  for (size_t i = count; i-- > 0;)
    if (widgets[i]) widgets[i]->raise();
  return byName;
}

}  // namespace velnox

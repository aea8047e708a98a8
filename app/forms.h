#pragma once
// The window forms: every control of a window with its kind, names, place, size, texts, font,
// colours and initial state, in one table per window. Windows are built from these tables
// each time they are loaded. Texts here are UTF-8 (source text); the program reads them back
// as GBK through the controls.
#include <QHash>
#include <QObject>
#include <QString>
#include <span>

namespace velnox {

enum class ControlKind {
  Timer,
  Button,
  Label,
  TransparentLabel,
  GroupBox,
  EditBox,           // single line
  MultiLineEditBox,
  StatusBar,
  PictureBox,
  ListView,
  Canvas,
  ScrollBar,
};

enum class Border { Default, None, Single };

inline constexpr int kNoColour = -1;

struct ControlForm {
  const char* formName;  // the control's objectName
  const char* roleName;  // the member of the window class that holds it
  ControlKind kind;
  const char* parent;  // form name of the parent control; nullptr: the window
  int left, top, width, height;
  const char* text = nullptr;  // caption or text
  int fontPixels = 0;          // 0: the default GUI font; otherwise the form's face at this height
  bool bold = false;
  int textColour = kNoColour;  // 0xRRGGBB
  int backColour = kNoColour;
  Border border = Border::Default;
  bool hidden = false;
  bool disabled = false;
  // Disabled for typing and focus, yet still reporting a left-button release.
  bool displayOnly = false;
  bool centred = false;
  int timerPeriod = 0;  // timers only
  bool timerRunning = false;
};

struct WindowForm {
  const char* caption;
  const char* tag;
  int left, top;               // initial screen position
  int outerWidth, outerHeight;  // size with the frame
  std::span<const ControlForm> controls;
};

// The font face that the forms name.
inline constexpr char kFormFontFace[] = "微软雅黑";
// The client area of a form's window: its outer size less the frame that the forms were
// drawn with (a one-line caption and thin borders).
inline constexpr int kFormFrameWidth = 6;
inline constexpr int kFormFrameHeight = 29;

const WindowForm& mainWindowForm();
const WindowForm& detailWindowForm();
const WindowForm& accountWindowForm();

struct StatusPanelForm {
  int width;
  const char* text;  // nullptr: the configuration's contact line
  const char* tooltip;
};
std::span<const StatusPanelForm> mainStatusPanels();

struct ListColumnForm {
  const char* title;
  int width;
};
std::span<const ListColumnForm> catalogueColumns();

// Creates the controls of a form as children of window, parents before children, and stacks
// siblings so that a control listed earlier lies above one listed later. Returns the controls
// by form name (timers included).
QHash<QString, QObject*> buildControls(QWidget* window, const WindowForm& form);

}  // namespace velnox

#pragma once
// The three windows of the program, each built from its form when it is loaded. Members are
// the controls under their role names (main->loginButton, detail->coverPicture, ...).
//
// Destruction is queued: destroyWindow() marks the window and the destruction completes when
// the window thread next takes a message, or at once when the same window is loaded again
// before that. Completing it runs the destruction handler (the destroying() signal), hides the
// window and deletes it once control is back in the event loop, so a handler that is still on
// the stack for this window never finds its controls gone.
#include <QHash>
#include <QTimer>
#include <QWidget>
#include <string_view>

#include "app/controls.h"
#include "app/forms.h"
#include "util/text.h"

namespace velnox {

class FormWindow : public QWidget {
  Q_OBJECT
 public:
  void writeCaption(std::string_view gbk);
  Text readCaption() const;
  const Text& tag() const { return m_tag; }
  const WindowForm& form() const { return m_form; }

  // Marks the window for destruction and queues it.
  void destroyWindow();
  bool isMarkedForDestruction() const { return m_marked; }
  // Runs the destruction now (once): the handler, then the window closes.
  void completeDestruction();
  bool isDestructionComplete() const { return m_done; }
  // Shows the window in front of the others, restored when minimised.
  void bringToFront();

 signals:
  // The destruction handler runs here; the controls are still there.
  void destroying();
  // The window has closed; it is deleted when control returns to the event loop.
  void gone();

 protected:
  explicit FormWindow(const WindowForm& form);
  void closeEvent(QCloseEvent* event) override;

  template <class T>
  T* control(const char* formName) const {
    T* found = qobject_cast<T*>(m_controls.value(QString::fromUtf8(formName)));
    Q_ASSERT_X(found, "FormWindow::control", formName);
    return found;
  }

 private:
  const WindowForm& m_form;
  Text m_tag;
  QHash<QString, QObject*> m_controls;
  bool m_marked = false;
  bool m_done = false;
};

class MainWindow : public FormWindow {
  Q_OBJECT
 public:
  // contactLineUtf8: the text of the status bar's third panel.
  explicit MainWindow(const std::string& contactLineUtf8);
  // The two timers start with the window, after its creation handler has run.
  void startTimers();

  QTimer* refreshTimer;
  QTimer* reconnectTimer;
  Button* loginButton;
  QLabel* adLabel;
  GroupBox* updateGroup;
  EditBox* updateUrlEdit;
  Button* openUpdateButton;
  MultiLineEditBox* updateNoticeEdit;
  StatusBar* statusBar;
  PictureBox* bannerPicture;
  GroupBox* toolbarGroup;
  ListView* catalogueList;
  MultiLineEditBox* placeholderEdit;
};

class DetailWindow : public FormWindow {
  Q_OBJECT
 public:
  DetailWindow();

  PictureBox* rightAdPicture;
  PictureBox* leftAdPicture;
  ScrollBar* detailScrollBar;
  GroupBox* detailPanel;
  MultiLineEditBox* bodyEdit;
  MultiLineEditBox* noticeEdit;
  PictureBox* coverPicture;
  Canvas* detailCanvas;
};

class AccountWindow : public FormWindow {
  Q_OBJECT
 public:
  AccountWindow();

  EditBox* codeLinkEdit;
  EditBox* hintEdit;
  Button* accountLoginButton;
  EditBox* signupCodeEdit;
  QLabel* signupCodeLabel;
  QLabel* passwordLabel;
  QLabel* accountLabel;
  Button* signupButton;
  EditBox* passwordEdit;
  EditBox* accountEdit;
};

}  // namespace velnox

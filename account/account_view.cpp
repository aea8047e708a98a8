#include "account/account_view.h"

#include "app/application.h"
#include "app/window_ops.h"
#include "net/protocol.h"
#include "util/encoding.h"

namespace velnox {

void openAccountWindow(Application& app) {
  // A fresh window from its form every time: nothing typed before is kept.
  app.loadAccountWindowModal();
}

void sendLogin(Application& app) {
  AccountWindow* account = app.accountWindow();
  if (!account) return;
  // The fields go as typed, empty or not: every check is the server's.
  app.send(loginRequest(account->accountEdit->readText(), account->passwordEdit->readText()));
}

void sendSignup(Application& app) {
  AccountWindow* account = app.accountWindow();
  if (!account) return;
  app.send(signupRequest(account->accountEdit->readText(), account->passwordEdit->readText(),
                         account->signupCodeEdit->readText()));
}

void openSignupPage(Application& app) { openAddress(fromUtf8(app.config().signupPageAddress)); }

void showAccountHint(Application& app, const Text& payload) {
  // A hint for a window the user has already closed has nowhere to go.
  if (AccountWindow* account = app.accountWindow()) account->hintEdit->writeText(payload);
}

void applyLoginAccepted(Application& app, const Text& payload) {
  // The login button becomes a label with the server's text, and stays so for the run.
  if (MainWindow* main = app.mainWindow()) {
    setLeft(main->loginButton, 550);
    setWidth(main->loginButton, 100);
    main->loginButton->writeCaption(payload);
    main->loginButton->setEnabled(false);
  }
  if (AccountWindow* account = app.accountWindow()) account->destroyWindow();
}

}  // namespace velnox

#include "account/account_view.h"

#include "app/application.h"

namespace velnox {

void openAccountWindow(Application& /*app*/) {}
void sendLogin(Application& /*app*/) {}
void sendSignup(Application& /*app*/) {}
void openSignupPage(Application& /*app*/) {}
void showAccountHint(Application& /*app*/, const Text& /*payload*/) {}
void applyLoginAccepted(Application& /*app*/, const Text& /*payload*/) {}

}  // namespace velnox

#pragma once
// The account window: log-in and sign-up, whose every decision is the server's.
#include "util/text.h"

namespace velnox {

class Application;

// A click on the main window's loginButton: the account window, modal.
void openAccountWindow(Application& app);
void sendLogin(Application& app);
void sendSignup(Application& app);
void openSignupPage(Application& app);
// An account hint message.
void showAccountHint(Application& app, const Text& payload);
// A log-in accepted message.
void applyLoginAccepted(Application& app, const Text& payload);

}  // namespace velnox

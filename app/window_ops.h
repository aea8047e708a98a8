#pragma once
// Window operations that are not tied to one control: the message box, opening an address in
// the browser, processing events for a time, and the font set-up of the forms.
#include <QMessageBox>
#include <functional>
#include <string_view>

#include "util/text.h"

namespace velnox {

// Makes the forms' face "微软雅黑" an installed CJK face, so Latin and Chinese share one face.
// Runs once per process; later calls do nothing.
void installFontSubstitution();

// A box with the text, the error icon, the title and one OK button, modal for the whole
// program; returns when it is dismissed.
void showMessageBox(std::string_view text, std::string_view title);
// Tests: called with the open box instead of waiting for the user; the hook dismisses it.
using MessageBoxHook = std::function<void(QMessageBox& box)>;
void setMessageBoxHook(MessageBoxHook hook);

// Hands an address to the default browser. Only http:// and https:// addresses are opened:
// addresses come from the network, and handing anything else to the system's open operation
// could start a local program. Anything else, the empty text included, does nothing.
// Returns whether the address was handed over.
bool openAddress(std::string_view address);
// Tests: receives the addresses that would be handed to the browser.
using OpenAddressHook = std::function<void(const Text& address)>;
void setOpenAddressHook(OpenAddressHook hook);

// Keeps dispatching window events for the given time, then returns.
void processEventsFor(int milliseconds);

}  // namespace velnox

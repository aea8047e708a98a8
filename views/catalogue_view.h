#pragma once
// The catalogue list of the main window.
#include "util/text.h"

namespace velnox {

class Application;

// A catalogue message: rebuilds catalogueList in one step from the payload's lines.
void fillCatalogue(Application& app, const Text& payload);

}  // namespace velnox

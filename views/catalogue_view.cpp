#include "views/catalogue_view.h"

#include "app/application.h"
#include "views/catalogue_logic.h"

namespace velnox {

void fillCatalogue(Application& app, const Text& payload) {
  MainWindow* main = app.mainWindow();
  if (!main) return;
  // The whole list is swapped in one model reset: a double-click never sees a half-built
  // list, and the reset also clears the selection.
  main->catalogueList->replaceRows(catalogueCells(payload, localNow()));
}

}  // namespace velnox

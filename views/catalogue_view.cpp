#include "views/catalogue_view.h"

#include <algorithm>
#include <climits>
#include <memory>

#include "app/application.h"
#include "views/catalogue_logic.h"

namespace velnox {

namespace {

// The catalogue as the list's rows: the list asks only for the cells it shows.
class CatalogueRowSource : public RowSource {
 public:
  explicit CatalogueRowSource(CatalogueTable table) : m_table(std::move(table)) {}
  int rowCount() const override { return static_cast<int>(std::min<size_t>(m_table.size(), INT_MAX)); }
  Text cell(int row, int column) const override { return m_table.cell(static_cast<size_t>(row), column); }

 private:
  CatalogueTable m_table;
};

}  // namespace

void fillCatalogue(Application& app, const Text& payload) {
  MainWindow* main = app.mainWindow();
  if (!main) return;
  // The whole list is swapped in one model reset: a double-click never sees a half-built
  // list, and the reset also clears the selection. The clock is read once, so every row is
  // aged against the same moment however late it is first shown.
  main->catalogueList->replaceRowSource(
      std::make_unique<CatalogueRowSource>(CatalogueTable(payload, localNow())));
}

}  // namespace velnox

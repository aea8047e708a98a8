#include "views/catalogue_view.h"

#include "app/application.h"

namespace velnox {

void fillCatalogue(Application& /*app*/, const Text& /*payload*/) {}

}  // namespace velnox

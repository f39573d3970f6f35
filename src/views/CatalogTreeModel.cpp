#include "CatalogTreeModel.h"

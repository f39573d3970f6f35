#include "CatalogDocument.h"

#include <gtest/gtest.h>

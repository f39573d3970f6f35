#include "WorkbookExport.h"

#include <gtest/gtest.h>

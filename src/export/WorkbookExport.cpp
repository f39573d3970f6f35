#include "WorkbookExport.h"

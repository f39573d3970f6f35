#include "TableExport.h"

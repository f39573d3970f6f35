#include "ExportColumns.h"

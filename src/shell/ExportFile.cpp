#include "ExportFile.h"

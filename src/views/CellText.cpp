#include "CellText.h"

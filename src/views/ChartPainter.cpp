#include "ChartPainter.h"

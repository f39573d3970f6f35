#include "RangeStatistics.h"

#include "ScanJob.h"

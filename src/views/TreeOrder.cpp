#include "TreeOrder.h"

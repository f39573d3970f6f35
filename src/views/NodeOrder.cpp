#include "NodeOrder.h"

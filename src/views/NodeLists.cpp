#include "NodeLists.h"

#include "CommandIcons.h"

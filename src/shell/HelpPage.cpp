#include "HelpPage.h"

#include "TFormMain.h"

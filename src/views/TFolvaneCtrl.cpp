#include "TFolvaneCtrl.h"

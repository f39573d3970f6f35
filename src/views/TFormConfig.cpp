#include "TFormConfig.h"

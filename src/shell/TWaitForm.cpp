#include "TWaitForm.h"

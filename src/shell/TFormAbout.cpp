#include "TFormAbout.h"

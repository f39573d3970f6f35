#include "FileIcons.h"

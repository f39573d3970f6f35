#include "FolderPicker.h"

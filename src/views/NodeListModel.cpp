#include "NodeListModel.h"

#include "BadController.h"

#include "SimServer.h"

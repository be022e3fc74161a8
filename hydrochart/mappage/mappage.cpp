#include "hydrochart/mappage/mappage.h"

#include "hydrochart/codelist.h"

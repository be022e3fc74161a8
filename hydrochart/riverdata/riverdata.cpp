#include "hydrochart/riverdata/riverdata.h"

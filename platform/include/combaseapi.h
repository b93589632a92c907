// The COM base API lives in objbase.h; this name exists for sources written
// against the newer Windows headers.
#pragma once

#include "objbase.h"

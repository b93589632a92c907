// Forwarding header: the zip writer moved to support/zip_writer.h, shared by
// every folder's tests. Kept only until tests/module and tests/tools include
// the new place; remove it then.
#pragma once
#include "support/zip_writer.h"

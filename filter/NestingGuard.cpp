#include "filter/NestingGuard.h"

namespace {

// A plain integer: constant-initialised and without a destructor, so the
// module can still be unloaded while threads that used it live on.
thread_local LONG t_archiveDepth = 0;

}  // namespace

CNestingGuard::CNestingGuard() { ++t_archiveDepth; }

CNestingGuard::~CNestingGuard() { --t_archiveDepth; }

LONG CNestingGuard::Depth() { return t_archiveDepth; }

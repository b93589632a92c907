#include "filter/NestingGuard.h"

namespace {

// Plain values: constant-initialised and without destructors, so the module
// can still be unloaded while threads that used it live on. The budget
// pointer is only valid while the guard that set it lives.
thread_local LONG t_archiveDepth = 0;
thread_local ExtractionBudget* t_activeBudget = nullptr;

}  // namespace

CNestingGuard::CNestingGuard(ExtractionBudget* budget) : m_outerBudget(t_activeBudget) {
  ++t_archiveDepth;
  t_activeBudget = budget;
}

CNestingGuard::~CNestingGuard() {
  --t_archiveDepth;
  t_activeBudget = m_outerBudget;
}

LONG CNestingGuard::Depth() { return t_archiveDepth; }

std::shared_ptr<ExtractionBudget> CNestingGuard::ActiveBudget() {
  return t_activeBudget ? t_activeBudget->shared_from_this() : nullptr;
}

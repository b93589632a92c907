// How deeply archive filters of this module are nested on the calling
// thread. An archive inside an archive is filtered by a new CArcwise of the
// same module, reached through the ".zip" persistent handler; each level's
// Init and GetChunk run inside the level above's. Without a bound an archive
// that contains itself, or a long chain of archives in archives, would
// recurse until the stack or the disk gives out.
//
// CNestingGuard counts the archive pumps (CArcwise::Init and GetChunk, the
// only calls that obtain, load and initialise nested filters) active on this
// thread. A host's own Load runs at depth 0; the Load of an archive nested k
// levels down runs inside k pumps, at depth k. CArcwise::Load refuses at
// depth kMaxArchiveNesting, so at most that many archive levels are open at
// once and a deeper archive counts as a file without a filter.
//
// The counter is thread-local and shared by every object of the module:
// nested filters are new objects, and the host may drive different filter
// objects on different threads, whose nesting is independent.
//
// The guard also makes its pump's extraction budget the thread's active one
// for as long as the pump runs, so that a nested archive's Load, which runs
// inside it, draws on the budget of the document the host loaded.
#pragma once

#include <memory>

#include "compat/Win32Compat.h"

#include "archive/ExtractionBudget.h"

// Archive levels that are filtered at most: the host's archive and 15
// levels of archives inside it.
constexpr LONG kMaxArchiveNesting = 16;

class CNestingGuard {
 public:
  // budget: the pump's own; may be null.
  explicit CNestingGuard(ExtractionBudget* budget);
  ~CNestingGuard();
  CNestingGuard(const CNestingGuard&) = delete;
  CNestingGuard& operator=(const CNestingGuard&) = delete;

  // Archive pumps active on the calling thread.
  static LONG Depth();
  // The budget of the innermost active pump on the calling thread; null at
  // depth 0 (a host's own Load).
  static std::shared_ptr<ExtractionBudget> ActiveBudget();

 private:
  ExtractionBudget* m_outerBudget;
};

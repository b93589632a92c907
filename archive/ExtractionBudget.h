// The work that one document a host loads may cause on disk: a byte budget
// for everything extraction writes, an entry budget, and the largest
// expansion a big entry may claim. An archive nested inside the document
// draws on the same budget as the archive the host loaded (the root), so a
// tree of archives costs no more than one archive could.
//
// Ownership: the root's filter object creates the budget and shares it with
// the nested filter objects of its walk (shared_ptr). Threads: the objects of
// one walk run on the host's calling thread, one at a time; a budget is never
// used by two threads at once.
#pragma once

#include <memory>

#include "compat/Win32Compat.h"

struct ExtractionLimits {
  ULONGLONG maxBytes = 0;   // bytes written by extraction in all; 0 = no limit
  ULONGLONG maxEntries = 0;  // entries taken up for extraction in all; 0 = no limit
  ULONGLONG maxRatio = 0;   // uncompressed : compressed of a large entry; 0 = no limit
};

// Entries of at most this size are never refused for their expansion: small
// files of one repeated byte are common and harmless.
constexpr ULONGLONG kLargeEntryBytes = 1024 * 1024;

class ExtractionBudget : public std::enable_shared_from_this<ExtractionBudget> {
 public:
  // What is used so far; also a point to go back to (see Restore).
  struct Usage {
    ULONGLONG bytes = 0;
    ULONGLONG entries = 0;
  };

  explicit ExtractionBudget(const ExtractionLimits& limits) : m_limits(limits) {}

  const ExtractionLimits& Limits() const { return m_limits; }
  const Usage& Used() const { return m_used; }
  // Sets the use back to an earlier point: a new walk of the root's files
  // extracts its nested archives again and must not pay for them twice.
  void Restore(const Usage& usage) { m_used = usage; }

  // Takes up one entry; false (nothing taken) when the entry budget is spent.
  bool TakeEntry() {
    if (m_limits.maxEntries != 0 && m_used.entries >= m_limits.maxEntries) return false;
    ++m_used.entries;
    return true;
  }
  // Reserves bytes for an entry of that declared size (extraction never
  // writes more than it declares); false (nothing reserved) when they do
  // not fit in what is left.
  bool ReserveBytes(ULONGLONG bytes) {
    if (m_limits.maxBytes != 0 && bytes > m_limits.maxBytes - m_used.bytes) return false;
    m_used.bytes += bytes;
    return true;
  }
  // True when an entry of these sizes expands beyond the ratio: large, and
  // more than maxRatio times its compressed size.
  bool ExpandsTooMuch(ULONGLONG uncompressed, ULONGLONG compressed) const {
    if (m_limits.maxRatio == 0 || uncompressed <= kLargeEntryBytes) return false;
    // uncompressed > maxRatio * compressed, without the product's overflow.
    return compressed == 0 || (uncompressed - 1) / compressed >= m_limits.maxRatio;
  }

 private:
  ExtractionLimits m_limits;
  Usage m_used;
};

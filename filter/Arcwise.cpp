#include "filter/Arcwise.h"

#include <atomic>
#include <chrono>
#include <new>

#include "compat/ExceptionBarrier.h"
#include "filter/NestingGuard.h"

namespace {

constexpr ULONGLONG kMegabyte = 1024 * 1024;

// How often a process looks through its working folder for leftovers: on its
// first document, then at most once a minute, so that hosts loading many
// documents do not list the folder for each.
constexpr std::chrono::seconds kSweepInterval(60);

std::atomic<long long> g_nextSweep{0};

void SweepWorkingFolder(const WString& folder) {
  const long long now = std::chrono::duration_cast<std::chrono::seconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count();
  long long due = g_nextSweep.load();
  if (due != 0 && now < due) return;
  if (!g_nextSweep.compare_exchange_strong(due, now + kSweepInterval.count())) return;
  SweepStaleTempItems(folder);
}

ExtractionLimits LimitsOf(const ExtractionSettings& settings) {
  ExtractionLimits limits;
  limits.maxBytes = settings.maxExtractedMB * kMegabyte;
  limits.maxEntries = settings.maxExtractedEntries;
  limits.maxRatio = settings.maxExpansionRatio;
  return limits;
}

}  // namespace

CArcwise::CArcwise(const ArcwiseConfiguration* pConfiguration) : Base(pConfiguration) {}

CArcwise::~CArcwise() {
  m_attributes.reset();
  m_attributeCount = 0;
  Reset();
  m_nameText.clear();
}

void CArcwise::Reset() {
  m_pwszCurrentFile.reset();
  ClosePropertyEmitter();
  m_pNestedFilter = nullptr;
  m_pNestedStream = nullptr;
  Base::Reset();
  m_budget.reset();
  m_ownsBudget = false;
}

STDMETHODIMP CArcwise::Load(LPCOLESTR pszFileName, DWORD dwMode) {
  UNREFERENCED_PARAMETER(dwMode);
  return ExceptionBarrier([&] { return LoadFile(pszFileName); });
}

HRESULT CArcwise::LoadFile(LPCOLESTR pszFileName) {
  if (!pszFileName) return E_INVALIDARG;
  g_debugger.Print(1, W("INFO: loading for %s \n"), pszFileName);

  const WString& appTempDir = m_pConfiguration->GetAppTempDir();
  if (appTempDir.empty()) {
    g_debugger.Print(1, W("ERROR: AppTempDir is not defined. Cannot process %s \n"), pszFileName);
    return m_pConfiguration->GetAppTempDirFailure();
  }

  // Every nested archive is loaded from inside the pumps of the archives
  // around it; past the bound it stays a file without a filter.
  if (CNestingGuard::Depth() >= kMaxArchiveNesting) {
    g_debugger.Print(1, W("ERROR: archives nested deeper than %d levels are not filtered: %s \n"),
                     static_cast<INT>(kMaxArchiveNesting), pszFileName);
    return E_FAIL;
  }

  Reset();
  // The walk and the name cursor belonged to the document just released:
  // until the next Init, GetChunk answers FILTER_E_END_OF_CHUNKS.
  m_phase = PhaseNone;
  m_chunkState = ChunkNone;
  m_nameText.clear();
  if (!CopyPath(pszFileName)) return E_OUTOFMEMORY;

  try {
    m_budget = CNestingGuard::ActiveBudget();
    m_ownsBudget = !m_budget;
    if (m_ownsBudget) {
      // A document of the host's own: the working folder is swept now and
      // then for what crashed processes left, and the document gets a
      // budget of its own.
      SweepWorkingFolder(appTempDir);
      m_budget = std::make_shared<ExtractionBudget>(LimitsOf(m_pConfiguration->GetExtractionSettings()));
    }
    m_pDocument = std::make_unique<ZipDocument>(
        m_pwszPath.get(), appTempDir.c_str(),
        static_cast<BYTE>(m_pConfiguration->GetUseLongitudeOptomization() ? 1 : 0), m_budget.get());
    m_budgetAfterLoad = m_budget->Used();
  } catch (const std::bad_alloc&) {
    // No exception crosses the interface; the path stays for GetCurFile.
    m_pDocument.reset();
    return E_OUTOFMEMORY;
  }

  if (m_pDocument->IsOpen()) {
    g_debugger.Print(1, W("INFO: loaded for %s \n"), m_pwszPath.get());
    return S_OK;
  }
  // E_FAIL stays the answer for an archive that cannot be read; a host
  // learns from the Win32 code that the archive is not to blame.
  const DWORD openError = m_pDocument->GetOpenError();
  m_pDocument.reset();
  if (openError != 0) {
    g_debugger.Print(1, W("ERROR: Open Document failed for %s. Error code = %u \n"), m_pwszPath.get(),
                     static_cast<UINT>(openError));
    return HRESULT_FROM_WIN32(openError);
  }
  g_debugger.Print(1, W("ERROR: Open Document failed for %s \n"), m_pwszPath.get());
  return E_FAIL;
}

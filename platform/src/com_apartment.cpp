// Apartments: each thread is in no apartment, in its own single-threaded
// apartment, or in the process's multithreaded apartment. Only the bookkeeping
// is real (there is no marshaling), which is what makes CO_E_NOTINITIALIZED,
// S_FALSE and RPC_E_CHANGED_MODE answer as on Windows and lets an apartment's
// registered classes be revoked when it ends. A thread that exits without
// CoUninitialize keeps its apartment counted, as Windows does.
#include "com_internal.h"

#include <mutex>

namespace {

enum class Mode { None, Sta, Mta };

struct ThreadApartment {
  Mode mode = Mode::None;
  ULONG inits = 0;
  unsigned long long id = 0;
};

thread_local ThreadApartment t_apartment;

std::mutex g_mutex;
unsigned long long g_nextId = 1;
unsigned long long g_mtaId = 0;  // 0 while no thread is in the MTA
ULONG g_mtaThreads = 0;
ULONG g_threadsInApartments = 0;

}  // namespace

namespace arcwise_com {

unsigned long long CurrentApartmentId() {
  if (t_apartment.inits) return t_apartment.id;
  // A thread without an apartment is implicitly in the MTA while one exists.
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_mtaId;
}

}  // namespace arcwise_com

HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit) {
  if (pvReserved) return E_INVALIDARG;
  Mode wanted = (dwCoInit & COINIT_APARTMENTTHREADED) ? Mode::Sta : Mode::Mta;
  ThreadApartment& apartment = t_apartment;
  if (apartment.inits) {
    if (apartment.mode != wanted) return RPC_E_CHANGED_MODE;
    ++apartment.inits;
    return S_FALSE;
  }
  std::lock_guard<std::mutex> lock(g_mutex);
  if (wanted == Mode::Mta) {
    if (g_mtaThreads++ == 0) g_mtaId = g_nextId++;
    apartment.id = g_mtaId;
  } else {
    apartment.id = g_nextId++;
  }
  ++g_threadsInApartments;
  apartment.mode = wanted;
  apartment.inits = 1;
  return S_OK;
}

HRESULT CoInitialize(LPVOID pvReserved) { return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED); }

void CoUninitialize() {
  ThreadApartment& apartment = t_apartment;
  if (apartment.inits == 0 || --apartment.inits > 0) return;
  unsigned long long id = apartment.id;
  bool apartmentEnds = true;
  bool lastInProcess = false;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (apartment.mode == Mode::Mta && --g_mtaThreads > 0) apartmentEnds = false;
    if (apartment.mode == Mode::Mta && apartmentEnds) g_mtaId = 0;
    lastInProcess = --g_threadsInApartments == 0;
  }
  apartment = ThreadApartment();
  // Class objects may run arbitrary code when released: no lock held here.
  if (apartmentEnds) arcwise_com::RevokeApartmentClasses(id);
  if (lastInProcess) arcwise_com::FreeUnusedModules();
}

// The read-only property-set objects over one compound file's property-set
// streams: IPropertySetStorage (finds a set by format id), IPropertyStorage
// (one decoded section) and the two enumerators. The decoded data is shared
// and immutable, so an enumerator or a clone keeps what it walks alive on its
// own; reference counts are atomic, everything else is touched by one thread
// at a time per object.
#include <atomic>
#include <memory>
#include <new>
#include <unordered_map>

#include "stg_internal.h"

namespace arcwise_platform::stg {

namespace {

using Streams = std::vector<PropertySetStreamBytes>;

// IUnknown for an object that serves exactly one interface besides IUnknown.
template <class Interface>
class CSingleInterface : public Interface {
 public:
  virtual ~CSingleInterface() = default;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IIDOf<Interface>()) {
      *ppv = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG refs = --m_refs;
    if (refs == 0) delete this;
    return refs;
  }

 private:
  std::atomic<ULONG> m_refs{1};
};

// Hands a new object (reference count 1) to an out-parameter as riid.
template <class Object>
HRESULT Hand(Object* object, REFIID riid, void** ppv) {
  if (!object) return E_OUTOFMEMORY;
  HRESULT hr = object->QueryInterface(riid, ppv);
  object->Release();
  return hr;
}

// A cursor over a shared, immutable list; Copy writes one element out.
template <class Interface, class Stat, class Entry, HRESULT (*Copy)(const Entry&, Stat*)>
class CStatEnum : public CSingleInterface<Interface> {
 public:
  CStatEnum(std::shared_ptr<const std::vector<Entry>> entries, size_t position)
      : m_entries(std::move(entries)), m_position(position) {}

  STDMETHODIMP Next(ULONG celt, Stat* rgelt, ULONG* pceltFetched) override {
    if (pceltFetched) *pceltFetched = 0;
    if (!rgelt && celt != 0) return E_INVALIDARG;
    if (!pceltFetched && celt != 1) return E_INVALIDARG;
    ULONG fetched = 0;
    while (fetched < celt && m_position < m_entries->size()) {
      HRESULT hr = Copy((*m_entries)[m_position], &rgelt[fetched]);
      if (FAILED(hr)) {
        for (ULONG i = 0; i < fetched; ++i) Free(&rgelt[i]);
        return hr;
      }
      ++fetched;
      ++m_position;
    }
    if (pceltFetched) *pceltFetched = fetched;
    return fetched == celt ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG celt) override {
    size_t left = m_entries->size() - m_position;
    if (celt > left) {
      m_position = m_entries->size();
      return S_FALSE;
    }
    m_position += celt;
    return S_OK;
  }
  STDMETHODIMP Reset() override {
    m_position = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(Interface** ppenum) override {
    if (!ppenum) return E_INVALIDARG;
    *ppenum = nullptr;
    auto* clone = new (std::nothrow) CStatEnum(m_entries, m_position);
    if (!clone) return E_OUTOFMEMORY;
    *ppenum = clone;
    return S_OK;
  }

 private:
  static void Free(STATPROPSTG* stat) { CoTaskMemFree(stat->lpwstrName); }
  static void Free(STATPROPSETSTG*) {}

  std::shared_ptr<const std::vector<Entry>> m_entries;
  size_t m_position;
};

HRESULT CopyPropStat(const STATPROPSTG& entry, STATPROPSTG* out) {
  // Names are not kept (the dictionary is not decoded), so no name to copy.
  *out = entry;
  out->lpwstrName = nullptr;
  return S_OK;
}
HRESULT CopySetStat(const STATPROPSETSTG& entry, STATPROPSETSTG* out) {
  *out = entry;
  return S_OK;
}

using CEnumSTATPROPSTG = CStatEnum<IEnumSTATPROPSTG, STATPROPSTG, STATPROPSTG, &CopyPropStat>;
using CEnumSTATPROPSETSTG = CStatEnum<IEnumSTATPROPSETSTG, STATPROPSETSTG, STATPROPSETSTG, &CopySetStat>;

// What Stat reports of a set: its id, the stream's class id and OS version,
// and whether its strings are ANSI.
STATPROPSETSTG SetStat(const PropertySetHeader& header, const ParsedSection& section) {
  STATPROPSETSTG stat{};
  stat.fmtid = section.fmtid;
  stat.clsid = header.clsid;
  stat.grfFlags = section.hasCodePage && section.codePage == kCodePageUnicode ? PROPSETFLAG_DEFAULT
                                                                              : PROPSETFLAG_ANSI;
  stat.dwOSVersion = header.systemIdentifier;
  return stat;
}

bool IsWriteMode(DWORD grfMode) { return (grfMode & 3) != STGM_READ; }

class CPropertyStorage : public CSingleInterface<IPropertyStorage> {
 public:
  CPropertyStorage(ParsedSection section, STATPROPSETSTG stat)
      : m_section(std::move(section)), m_stat(stat) {
    auto entries = std::make_shared<std::vector<STATPROPSTG>>();
    for (size_t i = 0; i < m_section.properties.size(); ++i) {
      const ParsedProperty& p = m_section.properties[i];
      m_index.emplace(p.id, i);
      // The code page, locale and behaviour describe the set itself and are
      // readable by id, but are not enumerated.
      if (p.id == kPidCodePage || p.id == kPidLocale || p.id == kPidBehavior) continue;
      entries->push_back(STATPROPSTG{nullptr, p.id, p.value.vt});
    }
    m_entries = std::move(entries);
  }

  STDMETHODIMP ReadMultiple(ULONG cpspec, const PROPSPEC rgpspec[], PROPVARIANT rgpropvar[]) override {
    if (cpspec == 0) return S_FALSE;
    if (!rgpspec || !rgpropvar) return E_INVALIDARG;
    bool unicodeSet = m_section.hasCodePage && m_section.codePage == kCodePageUnicode;
    bool found = false;
    for (ULONG i = 0; i < cpspec; ++i) rgpropvar[i] = PROPVARIANT{};
    for (ULONG i = 0; i < cpspec; ++i) {
      if (rgpspec[i].ulKind == PRSPEC_LPWSTR) continue;  // no names: reads as absent
      if (rgpspec[i].ulKind != PRSPEC_PROPID) {
        FreePropVariantArray(i, rgpropvar);
        return STG_E_INVALIDPARAMETER;
      }
      auto it = m_index.find(rgpspec[i].propid);
      if (it == m_index.end()) continue;
      HRESULT hr = PropVariantFromParsed(m_section.properties[it->second].value, unicodeSet, &rgpropvar[i]);
      if (FAILED(hr)) {
        FreePropVariantArray(i, rgpropvar);
        return hr;
      }
      found = true;
    }
    return found ? S_OK : S_FALSE;
  }

  STDMETHODIMP WriteMultiple(ULONG, const PROPSPEC[], const PROPVARIANT[], PROPID) override {
    return STG_E_ACCESSDENIED;
  }
  STDMETHODIMP DeleteMultiple(ULONG, const PROPSPEC[]) override { return STG_E_ACCESSDENIED; }
  STDMETHODIMP ReadPropertyNames(ULONG cpropid, const PROPID rgpropid[], LPOLESTR rglpwstrName[]) override {
    if (cpropid != 0 && (!rgpropid || !rglpwstrName)) return E_INVALIDARG;
    for (ULONG i = 0; i < cpropid; ++i) rglpwstrName[i] = nullptr;
    return S_FALSE;  // no property of this set has a name here
  }
  STDMETHODIMP WritePropertyNames(ULONG, const PROPID[], const LPOLESTR[]) override {
    return STG_E_ACCESSDENIED;
  }
  STDMETHODIMP DeletePropertyNames(ULONG, const PROPID[]) override { return STG_E_ACCESSDENIED; }
  STDMETHODIMP Commit(DWORD) override { return S_OK; }  // nothing is ever changed
  STDMETHODIMP Revert() override { return S_OK; }
  STDMETHODIMP Enum(IEnumSTATPROPSTG** ppenum) override {
    if (!ppenum) return E_INVALIDARG;
    *ppenum = nullptr;
    auto* e = new (std::nothrow) CEnumSTATPROPSTG(m_entries, 0);
    if (!e) return E_OUTOFMEMORY;
    *ppenum = e;
    return S_OK;
  }
  STDMETHODIMP SetTimes(const FILETIME*, const FILETIME*, const FILETIME*) override {
    return STG_E_ACCESSDENIED;
  }
  STDMETHODIMP SetClass(REFCLSID) override { return STG_E_ACCESSDENIED; }
  STDMETHODIMP Stat(STATPROPSETSTG* pstatpsstg) override {
    if (!pstatpsstg) return E_INVALIDARG;
    *pstatpsstg = m_stat;
    return S_OK;
  }

 private:
  ParsedSection m_section;
  STATPROPSETSTG m_stat;
  std::unordered_map<uint32_t, size_t> m_index;
  std::shared_ptr<const std::vector<STATPROPSTG>> m_entries;
};

class CPropertySetStorage : public CSingleInterface<IPropertySetStorage> {
 public:
  explicit CPropertySetStorage(Streams streams) : m_streams(std::move(streams)) {}

  STDMETHODIMP Create(REFFMTID, const CLSID*, DWORD, DWORD, IPropertyStorage** ppprstg) override {
    if (ppprstg) *ppprstg = nullptr;
    return STG_E_ACCESSDENIED;
  }

  // The first section with this format id in any property-set stream. A
  // stream whose header is damaged is passed over so that it cannot hide a
  // sound one; a damaged section that is asked for is reported.
  STDMETHODIMP Open(REFFMTID rfmtid, DWORD grfMode, IPropertyStorage** ppprstg) override {
    if (!ppprstg) return E_INVALIDARG;
    *ppprstg = nullptr;
    if (IsWriteMode(grfMode)) return STG_E_ACCESSDENIED;
    try {
      for (const auto& stream : m_streams) {
        PropertySetHeader header;
        if (FAILED(ParsePropertySetHeader(stream.bytes.data(), stream.bytes.size(), &header))) continue;
        for (size_t i = 0; i < header.sections.size(); ++i) {
          if (header.sections[i].fmtid != rfmtid) continue;
          ParsedSection section;
          HRESULT hr = ParsePropertySection(stream.bytes.data(), stream.bytes.size(), header, i, &section);
          if (FAILED(hr)) return hr;
          STATPROPSETSTG stat = SetStat(header, section);
          return Hand(new (std::nothrow) CPropertyStorage(std::move(section), stat), IID_IPropertyStorage,
                      reinterpret_cast<void**>(ppprstg));
        }
      }
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
    return STG_E_FILENOTFOUND;
  }

  STDMETHODIMP Delete(REFFMTID) override { return STG_E_ACCESSDENIED; }

  // Every section that decodes, in stream order.
  STDMETHODIMP Enum(IEnumSTATPROPSETSTG** ppenum) override {
    if (!ppenum) return E_INVALIDARG;
    *ppenum = nullptr;
    try {
      auto entries = std::make_shared<std::vector<STATPROPSETSTG>>();
      for (const auto& stream : m_streams) {
        PropertySetHeader header;
        if (FAILED(ParsePropertySetHeader(stream.bytes.data(), stream.bytes.size(), &header))) continue;
        for (size_t i = 0; i < header.sections.size(); ++i) {
          ParsedSection section;
          if (FAILED(ParsePropertySection(stream.bytes.data(), stream.bytes.size(), header, i, &section))) {
            continue;
          }
          entries->push_back(SetStat(header, section));
        }
      }
      auto* e = new (std::nothrow) CEnumSTATPROPSETSTG(std::move(entries), 0);
      if (!e) return E_OUTOFMEMORY;
      *ppenum = e;
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

 private:
  const Streams m_streams;
};

}  // namespace

HRESULT CreatePropertySetStorage(Streams streams, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  return Hand(new (std::nothrow) CPropertySetStorage(std::move(streams)), riid, ppv);
}

}  // namespace arcwise_platform::stg

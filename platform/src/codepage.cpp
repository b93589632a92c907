// Code pages on iconv. Windows numbers map to iconv names through one table;
// UTF-8 goes through the platform's own codec, so that bad bytes are
// replaced exactly as everywhere else in the platform. Every call opens its own
// converter because an iconv descriptor must not be shared between threads.
#include <windows.h>

#include <iconv.h>
#include <langinfo.h>

#include <cctype>
#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "posix_util.h"
#include "utf_codec.h"

namespace {

constexpr UINT kUtf16Le = 1200;

enum class Kind { Utf8, Utf16, SingleByte, MultiByte };

struct CodePage {
  UINT number = 0;
  std::string iconvName;
  Kind kind = Kind::SingleByte;
  // What an undecodable sequence of a multi-byte page becomes when the caller
  // did not ask for failure: Windows' default character of those tables.
  WCHAR unicodeDefault = u'?';
};

struct NamedPage {
  UINT number;
  const char* name;
  Kind kind;
};

const NamedPage kPages[] = {
    {437, "CP437", Kind::SingleByte},     {737, "CP737", Kind::SingleByte},
    {775, "CP775", Kind::SingleByte},     {850, "CP850", Kind::SingleByte},
    {852, "CP852", Kind::SingleByte},     {855, "CP855", Kind::SingleByte},
    {857, "CP857", Kind::SingleByte},     {860, "CP860", Kind::SingleByte},
    {861, "CP861", Kind::SingleByte},     {862, "CP862", Kind::SingleByte},
    {863, "CP863", Kind::SingleByte},     {864, "CP864", Kind::SingleByte},
    {865, "CP865", Kind::SingleByte},     {866, "CP866", Kind::SingleByte},
    {869, "CP869", Kind::SingleByte},     {874, "CP874", Kind::SingleByte},
    {932, "CP932", Kind::MultiByte},      {936, "CP936", Kind::MultiByte},
    {949, "CP949", Kind::MultiByte},      {950, "CP950", Kind::MultiByte},
    {1250, "CP1250", Kind::SingleByte},   {1251, "CP1251", Kind::SingleByte},
    {1252, "CP1252", Kind::SingleByte},   {1253, "CP1253", Kind::SingleByte},
    {1254, "CP1254", Kind::SingleByte},   {1255, "CP1255", Kind::SingleByte},
    {1256, "CP1256", Kind::SingleByte},   {1257, "CP1257", Kind::SingleByte},
    {1258, "CP1258", Kind::SingleByte},   {10000, "MACINTOSH", Kind::SingleByte},
    {20866, "KOI8-R", Kind::SingleByte},  {21866, "KOI8-U", Kind::SingleByte},
    {51932, "EUC-JP", Kind::MultiByte},   {51949, "EUC-KR", Kind::MultiByte},
    {54936, "GB18030", Kind::MultiByte},  {CP_UTF8, "UTF-8", Kind::Utf8},
    {kUtf16Le, "UTF-16LE", Kind::Utf16},
};

// Resolves the pseudo code pages and finds the iconv name; false for a number
// this platform does not know.
bool FindCodePage(UINT number, CodePage* page) {
  if (number == CP_ACP || number == CP_THREAD_ACP) number = GetACP();
  else if (number == CP_OEMCP) number = GetOEMCP();
  else if (number == CP_MACCP) number = 10000;
  for (const NamedPage& named : kPages) {
    if (named.number == number) {
      page->number = number;
      page->iconvName = named.name;
      page->kind = named.kind;
      // The DBCS tables of Windows answer a katakana middle dot for what they
      // cannot decode.
      page->unicodeDefault = named.kind == Kind::MultiByte ? WCHAR(0x30FB) : WCHAR(u'?');
      return true;
    }
  }
  // The ISO-8859 family: 28591 is part 1 ... 28606 is part 16 (12 never existed).
  if (number >= 28591 && number <= 28606 && number != 28602) {
    page->number = number;
    page->iconvName = "ISO-8859-" + std::to_string(number - 28590);
    page->kind = Kind::SingleByte;
    return true;
  }
  return false;
}

// glibc loads the conversion module of a code page with its first converter
// and unloads it again a few closes after its last, so converters opened per
// call load and unload the same module over and over, each time through the
// dynamic loader. One converter per direction, opened on first use and never
// closed, keeps the module loaded for the life of the process.
void KeepConversionLoaded(const char* to, const char* from) {
  static std::mutex mutex;
  // Never destroyed, so conversions at exit still find it; the handles stay
  // reachable through it, so a leak checker does not count them.
  static auto* kept = new std::map<std::string, iconv_t>;
  std::string key = std::string(to) + '>' + from;
  std::lock_guard<std::mutex> lock(mutex);
  if (kept->count(key)) return;
  const iconv_t converter = iconv_open(to, from);
  if (converter != reinterpret_cast<iconv_t>(-1)) kept->emplace(std::move(key), converter);
}

// Each thread keeps the converters it opened: iconv_open looks the page up
// under glibc's one lock, and a file name is converted for every entry of
// every archive, so threads would otherwise queue there.
struct ThreadConverter {
  iconv_t cd;
  bool inUse;
};

struct ThreadConverters {
  std::map<std::string, ThreadConverter> open;
  ~ThreadConverters() {
    for (auto& entry : open) iconv_close(entry.second.cd);
  }
};

// Plain pointers and flags (no destructors of their own) so that a
// conversion late in a thread's exit still reads them safely.
thread_local ThreadConverters* t_converters = nullptr;
thread_local bool t_convertersGone = false;

struct ThreadConvertersOwner {
  ~ThreadConvertersOwner() {
    delete t_converters;
    t_converters = nullptr;
    t_convertersGone = true;
  }
};
thread_local ThreadConvertersOwner t_convertersOwner;

// One converter for one conversion: the thread's own, reset, or when that
// one is busy (or the thread is ending) one opened for this use alone.
class Converter {
 public:
  Converter(const char* to, const char* from) {
    if (!t_convertersGone) {
      if (!t_converters) {
        (void)&t_convertersOwner;  // its destructor frees the cache at thread exit
        t_converters = new ThreadConverters;
      }
      std::string key = std::string(to) + '>' + from;
      auto found = t_converters->open.find(key);
      if (found == t_converters->open.end()) {
        const iconv_t cd = iconv_open(to, from);
        if (cd == reinterpret_cast<iconv_t>(-1)) return;
        KeepConversionLoaded(to, from);
        found = t_converters->open.emplace(std::move(key), ThreadConverter{cd, false}).first;
      }
      if (!found->second.inUse) {
        m_shared = &found->second;
        m_shared->inUse = true;
        m_cd = m_shared->cd;
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
        return;
      }
    }
    m_cd = iconv_open(to, from);
    if (Valid()) m_owned = m_cd;
  }
  ~Converter() {
    if (m_shared) m_shared->inUse = false;
    if (m_owned) iconv_close(m_owned);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool Valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
  iconv_t Get() const { return m_cd; }

 private:
  iconv_t m_cd = reinterpret_cast<iconv_t>(-1);
  ThreadConverter* m_shared = nullptr;
  iconv_t m_owned = nullptr;  // opened for this use alone
};

bool IconvKnows(const CodePage& page) {
  if (page.kind == Kind::Utf8) return true;
  Converter probe("UTF-16LE", page.iconvName.c_str());
  return probe.Valid();
}

// A byte of a single-byte page that iconv has no mapping for. Windows' tables
// give such bytes (0x81, 0x8D, 0x8F, 0x90, 0x9D in 1252) the code point of
// the same value, so no byte is ever lost; this platform does the same.
bool IconvRejectsByte(const CodePage& page, unsigned char byte) {
  Converter cd("UTF-16LE", page.iconvName.c_str());
  if (!cd.Valid()) return false;
  char in[1] = {char(byte)};
  char out[8];
  char* inPtr = in;
  char* outPtr = out;
  size_t inLeft = 1, outLeft = sizeof out;
  return iconv(cd.Get(), &inPtr, &inLeft, &outPtr, &outLeft) == size_t(-1);
}

enum class Outcome { Ok, Invalid, Failed };

// Bytes of a code page -> UTF-16 through iconv.
Outcome DecodeWithIconv(const CodePage& page, const char* src, size_t n, bool strict, WString* out) {
  Converter cd("UTF-16LE", page.iconvName.c_str());
  if (!cd.Valid()) return Outcome::Failed;
  std::string bytes;
  // No page here yields more than one UTF-16 unit per byte; E2BIG grows it anyway.
  bytes.resize(n * 2 + 16);
  char* inPtr = const_cast<char*>(src);
  size_t inLeft = n;
  char* outPtr = bytes.data();
  size_t outLeft = bytes.size();
  auto appendUnit = [&](WCHAR unit) {
    // The caller has made room for the unit.
    outPtr[0] = char(unit & 0xFF);
    outPtr[1] = char(unit >> 8);
    outPtr += 2;
    outLeft -= 2;
  };
  while (inLeft) {
    if (iconv(cd.Get(), &inPtr, &inLeft, &outPtr, &outLeft) != size_t(-1)) break;
    if (errno == E2BIG) {
      size_t used = size_t(outPtr - bytes.data());
      bytes.resize(bytes.size() * 2);
      outPtr = bytes.data() + used;
      outLeft = bytes.size() - used;
      continue;
    }
    if (outLeft < 2) {
      size_t used = size_t(outPtr - bytes.data());
      bytes.resize(bytes.size() * 2);
      outPtr = bytes.data() + used;
      outLeft = bytes.size() - used;
    }
    unsigned char bad = static_cast<unsigned char>(*inPtr);
    if (page.kind == Kind::SingleByte) {
      // Always valid on Windows: the table maps every byte.
      appendUnit(WCHAR(bad));
      ++inPtr;
      --inLeft;
      continue;
    }
    if (strict) return Outcome::Invalid;
    appendUnit(page.unicodeDefault);
    if (errno == EINVAL) break;  // an incomplete sequence at the end
    ++inPtr;
    --inLeft;
  }
  iconv(cd.Get(), nullptr, nullptr, &outPtr, &outLeft);
  size_t used = size_t(outPtr - bytes.data());
  out->resize(used / 2);
  for (size_t i = 0; i < used / 2; ++i) {
    (*out)[i] = WCHAR(static_cast<unsigned char>(bytes[2 * i]) |
                      (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  }
  return Outcome::Ok;
}

// UTF-16 -> bytes of a code page through iconv; characters the page cannot
// hold become the default character.
Outcome EncodeWithIconv(const CodePage& page, const WCHAR* src, size_t n, const std::string& defaultChar,
                        BOOL* usedDefault, std::string* out) {
  Converter cd(page.iconvName.c_str(), "UTF-16LE");
  if (!cd.Valid()) return Outcome::Failed;
  std::string in(n * 2, '\0');
  for (size_t i = 0; i < n; ++i) {
    in[2 * i] = char(src[i] & 0xFF);
    in[2 * i + 1] = char(src[i] >> 8);
  }
  out->assign(n * 2 + 16, '\0');
  char* inPtr = in.data();
  size_t inLeft = in.size();
  char* outPtr = out->data();
  size_t outLeft = out->size();
  auto ensure = [&](size_t room) {
    if (outLeft >= room) return;
    size_t used = size_t(outPtr - out->data());
    out->resize((out->size() + room) * 2);
    outPtr = out->data() + used;
    outLeft = out->size() - used;
  };
  while (inLeft) {
    if (iconv(cd.Get(), &inPtr, &inLeft, &outPtr, &outLeft) != size_t(-1)) break;
    if (errno == E2BIG) {
      ensure(out->size());
      continue;
    }
    size_t index = (in.size() - inLeft) / 2;
    WCHAR unit = src[index];
    size_t skip = 1;
    if (index + 1 < n && IS_SURROGATE_PAIR(unit, src[index + 1])) skip = 2;
    if (page.kind == Kind::SingleByte && unit < 0x100 && IconvRejectsByte(page, static_cast<unsigned char>(unit))) {
      // The reverse of the same-value mapping used when decoding.
      ensure(1);
      *outPtr++ = char(unit);
      --outLeft;
    } else {
      ensure(defaultChar.size());
      std::memcpy(outPtr, defaultChar.data(), defaultChar.size());
      outPtr += defaultChar.size();
      outLeft -= defaultChar.size();
      if (usedDefault) *usedDefault = TRUE;
    }
    inPtr += 2 * skip;
    inLeft -= 2 * skip;
  }
  ensure(16);
  iconv(cd.Get(), nullptr, nullptr, &outPtr, &outLeft);
  out->resize(size_t(outPtr - out->data()));
  return Outcome::Ok;
}

int Fail(DWORD error) {
  SetLastError(error);
  return 0;
}

std::string NormalisedCodeset(const char* codeset) {
  std::string out;
  for (const char* p = codeset; p && *p; ++p) {
    if (*p == '-' || *p == '_' || *p == '.') continue;
    out += char(std::toupper(static_cast<unsigned char>(*p)));
  }
  return out;
}

// The ANSI code page Windows would give a system of this locale's language
// and character set.
UINT CodePageOfCodeset(const std::string& codeset) {
  struct Entry {
    const char* codeset;
    UINT codePage;
  };
  static const Entry kCodesets[] = {
      {"UTF8", CP_UTF8},       {"ISO88591", 1252},  {"ISO885915", 1252}, {"CP1252", 1252},
      {"ISO88592", 1250},      {"CP1250", 1250},    {"ISO88595", 1251},  {"CP1251", 1251},
      {"KOI8R", 20866},        {"KOI8U", 21866},    {"ISO88597", 1253},  {"CP1253", 1253},
      {"ISO88599", 1254},      {"CP1254", 1254},    {"ISO88598", 1255},  {"CP1255", 1255},
      {"ISO88596", 1256},      {"CP1256", 1256},    {"ISO885913", 1257}, {"CP1257", 1257},
      {"CP1258", 1258},        {"TIS620", 874},     {"EUCJP", 932},      {"SHIFTJIS", 932},
      {"SJIS", 932},           {"CP932", 932},      {"GB2312", 936},     {"GBK", 936},
      {"CP936", 936},          {"GB18030", 54936},  {"EUCKR", 949},      {"CP949", 949},
      {"BIG5", 950},           {"BIG5HKSCS", 950},  {"CP950", 950},
  };
  for (const Entry& e : kCodesets) {
    if (codeset == e.codeset) return e.codePage;
  }
  return 1252;
}

// The code page an environment variable forces, or 0 when it is unset or
// holds anything but a plain decimal code page number.
UINT ForcedCodePage(const char* variable) {
  const std::string forced = arcwise_platform::EnvValue(variable);
  if (forced.empty()) return 0;
  char* end = nullptr;
  const unsigned long value = std::strtoul(forced.c_str(), &end, 10);
  // The pseudo numbers (CP_ACP ... CP_THREAD_ACP) would refer back here.
  if (end && *end == '\0' && std::isdigit(static_cast<unsigned char>(forced[0])) && value > CP_THREAD_ACP &&
      value <= 65535) {
    return UINT(value);
  }
  return 0;
}

}  // namespace

UINT GetACP() {
  if (const UINT forced = ForcedCodePage("ARCWISE_ACP")) return forced;
  const char* name = std::setlocale(LC_CTYPE, nullptr);
  if (!name || std::strcmp(name, "C") == 0 || std::strcmp(name, "POSIX") == 0) return 1252;
  return CodePageOfCodeset(NormalisedCodeset(nl_langinfo(CODESET)));
}

UINT GetOEMCP() {
  if (const UINT forced = ForcedCodePage("ARCWISE_OEMCP")) return forced;
  return 437;
}

BOOL IsValidCodePage(UINT codePage) {
  // The pseudo numbers are arguments, not code pages.
  if (codePage <= CP_THREAD_ACP) return FALSE;
  CodePage page;
  return FindCodePage(codePage, &page) && IconvKnows(page) ? TRUE : FALSE;
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR src, int srcLength, LPWSTR dst, int dstLength) {
  if (!src || srcLength == 0 || srcLength < -1 || dstLength < 0 || (!dst && dstLength > 0)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  CodePage page;
  if (!FindCodePage(codePage, &page)) return Fail(ERROR_INVALID_PARAMETER);
  const bool strict = (flags & MB_ERR_INVALID_CHARS) != 0;
  if (page.kind == Kind::Utf8 || page.kind == Kind::Utf16 || page.number == 54936) {
    if (flags & ~DWORD(MB_ERR_INVALID_CHARS)) return Fail(ERROR_INVALID_FLAGS);
  } else {
    const DWORD known = MB_PRECOMPOSED | MB_COMPOSITE | MB_USEGLYPHCHARS | MB_ERR_INVALID_CHARS;
    if ((flags & ~known) || ((flags & MB_PRECOMPOSED) && (flags & MB_COMPOSITE))) {
      return Fail(ERROR_INVALID_FLAGS);
    }
  }
  // -1: the text and its terminator, which is converted and counted too.
  size_t n = srcLength == -1 ? std::strlen(src) + 1 : size_t(srcLength);

  WString text;
  if (page.kind == Kind::Utf8) {
    // Straight into the caller's buffer when it holds a unit per byte (the
    // most a whole UTF-8 text gives), else counted first: no copy either way.
    const std::string_view bytes(src, n);
    size_t replaced = 0;
    const bool direct = dstLength > 0 && size_t(dstLength) >= n;
    const size_t units = arcwise_platform::DecodeUtf8Into(bytes, direct ? dst : nullptr, &replaced);
    if (strict && replaced) return Fail(ERROR_NO_UNICODE_TRANSLATION);
    if (units > size_t(INT32_MAX)) return Fail(ERROR_INVALID_PARAMETER);
    if (dstLength == 0 || direct) return int(units);
    if (units > size_t(dstLength)) return Fail(ERROR_INSUFFICIENT_BUFFER);
    return int(arcwise_platform::DecodeUtf8Into(bytes, dst));
  } else if (page.kind == Kind::Utf16) {
    if (strict && n % 2) return Fail(ERROR_NO_UNICODE_TRANSLATION);
    text.resize(n / 2);
    for (size_t i = 0; i < n / 2; ++i) {
      text[i] = WCHAR(static_cast<unsigned char>(src[2 * i]) | (static_cast<unsigned char>(src[2 * i + 1]) << 8));
    }
    if (n % 2) text += arcwise_platform::kReplacementCharacter;
  } else {
    switch (DecodeWithIconv(page, src, n, strict, &text)) {
      case Outcome::Ok:
        break;
      case Outcome::Invalid:
        return Fail(ERROR_NO_UNICODE_TRANSLATION);
      case Outcome::Failed:
        return Fail(ERROR_INVALID_PARAMETER);
    }
  }
  if (text.size() > size_t(INT32_MAX)) return Fail(ERROR_INVALID_PARAMETER);
  if (dstLength == 0) return int(text.size());
  if (text.size() > size_t(dstLength)) return Fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(dst, text.data(), text.size() * sizeof(WCHAR));
  return int(text.size());
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR src, int srcLength, LPSTR dst, int dstLength,
                        LPCSTR defaultChar, LPBOOL usedDefaultChar) {
  if (!src || srcLength == 0 || srcLength < -1 || dstLength < 0 || (!dst && dstLength > 0)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  CodePage page;
  if (!FindCodePage(codePage, &page)) return Fail(ERROR_INVALID_PARAMETER);
  const bool unicodePage = page.kind == Kind::Utf8 || page.kind == Kind::Utf16;
  if (unicodePage || page.number == 54936) {
    if (flags & ~DWORD(WC_ERR_INVALID_CHARS)) return Fail(ERROR_INVALID_FLAGS);
  } else {
    const DWORD known = WC_COMPOSITECHECK | WC_DISCARDNS | WC_SEPCHARS | WC_DEFAULTCHAR | WC_NO_BEST_FIT_CHARS;
    if (flags & ~known) return Fail(ERROR_INVALID_FLAGS);
  }
  // Every Unicode character has a UTF encoding: a default character makes no
  // sense there, and Windows refuses one.
  if (unicodePage && (defaultChar || usedDefaultChar)) return Fail(ERROR_INVALID_PARAMETER);

  size_t n = srcLength == -1 ? size_t(lstrlenW(src)) + 1 : size_t(srcLength);
  std::string bytes;
  if (page.kind == Kind::Utf8 || page.kind == Kind::Utf16) {
    const bool strict = (flags & WC_ERR_INVALID_CHARS) != 0;
    if (page.kind == Kind::Utf8) {
      // As in MultiByteToWideChar: into the caller's buffer when it holds
      // three bytes per unit, else counted first.
      const std::u16string_view text(src, n);
      size_t lone = 0;
      const bool direct = dstLength > 0 && size_t(dstLength) / 3 >= n;
      const size_t count = arcwise_platform::EncodeUtf8Into(text, direct ? dst : nullptr, &lone);
      if (strict && lone) return Fail(ERROR_NO_UNICODE_TRANSLATION);
      if (count > size_t(INT32_MAX)) return Fail(ERROR_INVALID_PARAMETER);
      if (dstLength == 0 || direct) return int(count);
      if (count > size_t(dstLength)) return Fail(ERROR_INSUFFICIENT_BUFFER);
      return int(arcwise_platform::EncodeUtf8Into(text, dst));
    } else {
      if (strict && arcwise_platform::HasLoneSurrogate(std::u16string_view(src, n))) {
        return Fail(ERROR_NO_UNICODE_TRANSLATION);
      }
      bytes.resize(n * 2);
      for (size_t i = 0; i < n; ++i) {
        bytes[2 * i] = char(src[i] & 0xFF);
        bytes[2 * i + 1] = char(src[i] >> 8);
      }
    }
  } else {
    BOOL used = FALSE;
    std::string fallback = defaultChar && *defaultChar ? std::string(defaultChar) : std::string("?");
    if (EncodeWithIconv(page, src, n, fallback, &used, &bytes) != Outcome::Ok) {
      return Fail(ERROR_INVALID_PARAMETER);
    }
    if (usedDefaultChar) *usedDefaultChar = used;
  }
  if (bytes.size() > size_t(INT32_MAX)) return Fail(ERROR_INVALID_PARAMETER);
  if (dstLength == 0) return int(bytes.size());
  if (bytes.size() > size_t(dstLength)) return Fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(dst, bytes.data(), bytes.size());
  return int(bytes.size());
}

// PDF to text through poppler's C++ interface.
#include "PdfText.h"

#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-page.h>

#include <climits>
#include <memory>
#include <mutex>

namespace {

// A document of more pages is read to this page: it is past any book, and
// each page costs poppler a layout pass.
constexpr int kMaxPdfPages = 20000;

void IgnorePopplerMessage(const std::string&, void*) {}

// poppler's message hook is process-wide and this module may be unloaded
// between documents: the hook points here only while a PDF is being read,
// and goes back to poppler's own when the last reader ends.
class CQuietPoppler {
 public:
  CQuietPoppler() {
    std::lock_guard<std::mutex> lock(s_mutex);
    if (s_readers++ == 0) poppler::set_debug_error_function(IgnorePopplerMessage, nullptr);
  }
  ~CQuietPoppler() {
    std::lock_guard<std::mutex> lock(s_mutex);
    if (--s_readers == 0) poppler::set_debug_error_function(nullptr, nullptr);
  }
  CQuietPoppler(const CQuietPoppler&) = delete;
  CQuietPoppler& operator=(const CQuietPoppler&) = delete;

 private:
  static std::mutex s_mutex;
  static int s_readers;
};
std::mutex CQuietPoppler::s_mutex;
int CQuietPoppler::s_readers = 0;

void AddProperty(CDocumentContent* content, PROPID propid, const poppler::ustring& value) {
  const poppler::byte_array utf8 = value.to_utf8();
  content->SetPropertyUtf8(propid, std::string_view(utf8.data(), utf8.size()));
}

}  // namespace

HRESULT ExtractPdfText(const BYTE* data, size_t size, CDocumentContent* content) {
  if (size == 0) return FILTER_E_UNKNOWNFORMAT;
  if (size > size_t(INT_MAX)) return FILTER_E_TOO_BIG;

  CQuietPoppler quiet;
  std::unique_ptr<poppler::document> document(
      poppler::document::load_from_raw_data(reinterpret_cast<const char*>(data), int(size)));
  if (!document) return FILTER_E_UNKNOWNFORMAT;
  // Encrypted for its owner alone (printing or copying restricted) it opens
  // without a password, as in every viewer; one that needs a password to be
  // read stays closed.
  if (document->is_locked()) return FILTER_E_PASSWORD;

  const int pages = std::min(document->pages(), kMaxPdfPages);
  for (int i = 0; i < pages && !content->Full(); ++i) {
    std::unique_ptr<poppler::page> page(document->create_page(i));
    if (!page) continue;
    const poppler::byte_array utf8 =
        page->text(poppler::rectf(), poppler::page::non_raw_non_physical_layout).to_utf8();
    content->AppendUtf8(std::string_view(utf8.data(), utf8.size()), false);
    content->EndParagraph();
  }
  AddProperty(content, PIDSI_TITLE, document->get_title());
  AddProperty(content, PIDSI_SUBJECT, document->get_subject());
  AddProperty(content, PIDSI_AUTHOR, document->get_author());
  AddProperty(content, PIDSI_KEYWORDS, document->get_keywords());
  return S_OK;
}

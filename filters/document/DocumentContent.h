// What a document filter takes from one document: its text in reading
// order, paragraphs separated by line feeds, and the summary properties it
// found (title, author ...). The text has a ceiling: a document whose text
// would pass it is cut there and the extractor is told to stop, so a small
// file that expands to gigabytes of text costs no more than the ceiling.
// Owned by the filter object that filled it; one thread at a time.
#pragma once

#include <string_view>
#include <vector>

#include "compat/Win32Compat.h"

// UTF-16 units of text one document may give: 16 Mi units (32 MB), far more
// than any real report, spreadsheet or book holds.
constexpr size_t kMaxDocumentTextChars = 16 * 1024 * 1024;

struct DocumentProperty {
  PROPID propid;  // of FMTID_SummaryInformation
  WString value;
};

class CDocumentContent {
 public:
  explicit CDocumentContent(size_t maxChars = kMaxDocumentTextChars) : m_maxChars(maxChars) {}

  // Appends text. With `collapse`, as in HTML and OpenDocument, every run of
  // white space becomes one space and none opens a paragraph; without it
  // spaces and tabs stay as they are. Control characters other than tab and
  // line feed are dropped (a carriage return or form feed ends a line).
  void Append(std::u16string_view text, bool collapse);
  void AppendUtf8(std::string_view utf8, bool collapse);
  // Ends the paragraph: one line feed, unless the text is empty or already
  // ends a paragraph. Trailing spaces of the paragraph are dropped.
  void EndParagraph();

  // Keeps the first non-empty value of each property; white space at either
  // end is trimmed, inner runs collapse, and past 4,096 units it is cut.
  void SetProperty(PROPID propid, std::u16string_view value);
  void SetPropertyUtf8(PROPID propid, std::string_view utf8);

  // The ceiling is reached: what follows is dropped, and an extractor may stop.
  bool Full() const { return m_full; }

  const WString& Text() const { return m_text; }
  const std::vector<DocumentProperty>& Properties() const { return m_properties; }
  void Clear();

 private:
  void Push(WCHAR c);

  size_t m_maxChars;
  bool m_full = false;
  WString m_text;
  std::vector<DocumentProperty> m_properties;
};

// UTF-8 to UTF-16 with the system's converter (bad bytes replaced).
WString Utf8ToWide(std::string_view utf8);

// Which parts of a package hold its text, in which order, and by which rules.
#include "OfficeText.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "PackageReader.h"
#include "PartText.h"

namespace {

// Word, PowerPoint and the shared strings of Excel: runs of text in "t"
// elements, paragraphs "p" (or "si", one shared string), and the property
// elements that hold tab stops and phonetic guides hidden.
const PartTextRules kOoxmlRules = {
    false, {"t"}, {"p", "si", "is"}, {"tab"}, {"br", "cr"}, {"pPr", "rPr", "sectPr", "rPh", "tabs"}, {},
};

// OpenDocument: every character inside a paragraph or heading, except the
// author and date of a comment and changes tracked as deleted.
const PartTextRules kOdfRules = {
    true, {}, {"p", "h"}, {"tab"}, {"line-break"}, {"tracked-changes", "creator", "date"}, "s",
};

// The number in a part name such as "ppt/slides/slide12.xml" (0 without one).
unsigned long PartNumber(const std::string& name) {
  const size_t end = name.rfind('.');
  size_t begin = end;
  while (begin > 0 && name[begin - 1] >= '0' && name[begin - 1] <= '9') --begin;
  if (begin == end || end - begin > 9) return 0;
  return std::stoul(name.substr(begin, end - begin));
}

// Part names below `folder` that begin with `stem` and end in ".xml", in
// numeric order (slide2 before slide10), as the producers number them.
std::vector<std::string> NumberedParts(const CPackageReader& package, const std::string& folder,
                                       const std::string& stem) {
  std::vector<std::string> parts;
  const std::string prefix = folder + stem;
  for (const std::string& name : package.PartNames()) {
    if (name.size() > prefix.size() + 4 && name.compare(0, prefix.size(), prefix) == 0 &&
        name.compare(name.size() - 4, 4, ".xml") == 0 && name.find('/', folder.size()) == std::string::npos)
      parts.push_back(name);
  }
  std::stable_sort(parts.begin(), parts.end(), [](const std::string& a, const std::string& b) {
    return PartNumber(a) < PartNumber(b);
  });
  return parts;
}

void ReadText(CPackageReader& package, const std::string& part, const PartTextRules& rules,
              CDocumentContent* content) {
  if (content->Full()) return;
  package.ReadPart(part, [&](xmlTextReaderPtr reader) { ReadPartText(reader, rules, content); });
}

void ReadOoxml(CPackageReader& package, CDocumentContent* content) {
  std::vector<std::string> parts;
  if (package.HasPart("word/document.xml")) {
    parts.push_back("word/document.xml");
    for (const char* stem : {"header", "footer"}) {
      for (std::string& part : NumberedParts(package, "word/", stem)) parts.push_back(std::move(part));
    }
    for (const char* part : {"word/footnotes.xml", "word/endnotes.xml", "word/comments.xml"}) parts.push_back(part);
  } else if (package.HasPart("xl/workbook.xml")) {
    parts.push_back("xl/sharedStrings.xml");
    // Strings typed into a cell by other producers than Excel stay in the sheet.
    for (std::string& part : NumberedParts(package, "xl/worksheets/", "sheet")) parts.push_back(std::move(part));
  } else {
    for (std::string& part : NumberedParts(package, "ppt/slides/", "slide")) parts.push_back(std::move(part));
    for (std::string& part : NumberedParts(package, "ppt/notesSlides/", "notesSlide")) parts.push_back(std::move(part));
  }
  for (const std::string& part : parts) ReadText(package, part, kOoxmlRules, content);
  package.ReadPart("docProps/core.xml", [&](xmlTextReaderPtr reader) {
    ReadPartProperties(reader,
                       {{"title", PIDSI_TITLE},
                        {"subject", PIDSI_SUBJECT},
                        {"creator", PIDSI_AUTHOR},
                        {"keywords", PIDSI_KEYWORDS},
                        {"description", PIDSI_COMMENTS},
                        {"lastModifiedBy", PIDSI_LASTAUTHOR}},
                       content);
  });
}

void ReadOdf(CPackageReader& package, CDocumentContent* content) {
  ReadText(package, "content.xml", kOdfRules, content);
  package.ReadPart("meta.xml", [&](xmlTextReaderPtr reader) {
    ReadPartProperties(reader,
                       {{"title", PIDSI_TITLE},
                        {"subject", PIDSI_SUBJECT},
                        {"initial-creator", PIDSI_AUTHOR},
                        {"keyword", PIDSI_KEYWORDS},
                        {"description", PIDSI_COMMENTS},
                        {"creator", PIDSI_LASTAUTHOR}},
                       content);
  });
}

}  // namespace

HRESULT ExtractOfficeText(const BYTE* data, size_t size, CDocumentContent* content) {
  static const BYTE kCompoundSignature[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  if (size >= sizeof(kCompoundSignature) && std::memcmp(data, kCompoundSignature, sizeof(kCompoundSignature)) == 0)
    return FILTER_E_PASSWORD;
  CPackageReader package;
  if (!package.Open(data, size)) return FILTER_E_UNKNOWNFORMAT;
  if (package.HasPart("content.xml")) {
    ReadOdf(package, content);
  } else if (package.HasPart("word/document.xml") || package.HasPart("xl/workbook.xml") ||
             package.HasPart("ppt/presentation.xml")) {
    ReadOoxml(package, content);
  } else {
    return FILTER_E_UNKNOWNFORMAT;
  }
  return S_OK;
}

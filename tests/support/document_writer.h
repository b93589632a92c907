// Documents the tests write themselves, byte by byte: a PDF of text pages
// with its document information (optionally one that asks for a password),
// and Office Open XML and OpenDocument packages as ZIP archives of XML parts.
// Header-only test code; any thread.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "support/zip_writer.h"

namespace arcwise_test {

// A PDF with one page per text (Helvetica, one line each) and an /Info
// dictionary from `info` (e.g. "/Title (Q3) /Author (Ann)"). With
// `needsPassword`, a standard security handler whose user key matches no
// password a reader can try, so it cannot be opened without one.
inline std::string MinimalPdf(const std::vector<std::string>& pages, const std::string& info,
                              bool needsPassword = false) {
  std::vector<std::string> objects;
  objects.push_back("<< /Type /Catalog /Pages 2 0 R >>");
  std::string kids;
  const size_t font = 3 + 2 * pages.size();
  for (size_t i = 0; i < pages.size(); ++i) kids += std::to_string(3 + 2 * i) + " 0 R ";
  objects.push_back("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages.size()) + " >>");
  for (size_t i = 0; i < pages.size(); ++i) {
    objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents " + std::to_string(4 + 2 * i) +
                      " 0 R /Resources << /Font << /F1 " + std::to_string(font) + " 0 R >> >> >>");
    const std::string stream = "BT /F1 18 Tf 72 700 Td (" + pages[i] + ") Tj ET";
    objects.push_back("<< /Length " + std::to_string(stream.size()) + " >>\nstream\n" + stream + "\nendstream");
  }
  objects.push_back("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  objects.push_back("<< " + info + " >>");
  const size_t infoObject = objects.size();
  size_t encryptObject = 0;
  if (needsPassword) {
    objects.push_back("<< /Filter /Standard /V 1 /R 2 /O <" + std::string(64, 'A') + "> /U <" + std::string(64, '5') +
                      "> /P -4 >>");
    encryptObject = objects.size();
  }
  std::string out = "%PDF-1.4\n";
  std::vector<size_t> offsets;
  for (size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(out.size());
    out += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const size_t xref = out.size();
  out += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (size_t offset : offsets) {
    std::string number = std::to_string(offset);
    out += std::string(10 - number.size(), '0') + number + " 00000 n \n";
  }
  out += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R /Info " +
         std::to_string(infoObject) + " 0 R";
  if (needsPassword)
    out += " /Encrypt " + std::to_string(encryptObject) + " 0 R /ID [<0123456789ABCDEF0123456789ABCDEF> <0123456789ABCDEF0123456789ABCDEF>]";
  out += " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  return out;
}

// A package of stored parts, in the order given.
inline std::string Package(const std::vector<std::pair<std::string, std::string>>& parts) {
  ZipWriter zip;
  for (const auto& [name, data] : parts) zip.Add(name, data);
  return zip.Bytes();
}

inline const char* kWordNamespace = "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"";

// Core properties of an Office Open XML package.
inline std::string CoreProperties(const std::string& title, const std::string& creator) {
  return "<?xml version=\"1.0\"?><cp:coreProperties "
         "xmlns:cp=\"http://schemas.openxmlformats.org/package/2006/metadata/core-properties\" "
         "xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><dc:title>" +
         title + "</dc:title><dc:creator>" + creator + "</dc:creator></cp:coreProperties>";
}

// A Word document whose body is `bodyXml` (w:p elements and the like).
inline std::string Docx(const std::string& bodyXml, const std::string& title = "", const std::string& creator = "") {
  std::vector<std::pair<std::string, std::string>> parts = {
      {"[Content_Types].xml", "<Types/>"},
      {"word/document.xml", std::string("<?xml version=\"1.0\"?><w:document ") + kWordNamespace + "><w:body>" +
                                bodyXml + "</w:body></w:document>"}};
  if (!title.empty() || !creator.empty()) parts.push_back({"docProps/core.xml", CoreProperties(title, creator)});
  return Package(parts);
}

// A paragraph of one run of text.
inline std::string WordParagraph(const std::string& text) { return "<w:p><w:r><w:t>" + text + "</w:t></w:r></w:p>"; }

// A workbook whose shared strings are `strings`.
inline std::string Xlsx(const std::vector<std::string>& strings) {
  std::string sst = "<?xml version=\"1.0\"?><sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">";
  for (const std::string& s : strings) sst += "<si><t>" + s + "</t></si>";
  sst += "</sst>";
  return Package({{"[Content_Types].xml", "<Types/>"},
                  {"xl/workbook.xml", "<workbook/>"},
                  {"xl/sharedStrings.xml", sst}});
}

// An OpenDocument text whose body is `textXml` (text:p and text:h elements).
inline std::string Odt(const std::string& textXml, const std::string& title = "") {
  std::vector<std::pair<std::string, std::string>> parts = {
      {"mimetype", "application/vnd.oasis.opendocument.text"},
      {"content.xml",
       "<?xml version=\"1.0\"?><office:document-content "
       "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
       "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"><office:body><office:text>" +
           textXml + "</office:text></office:body></office:document-content>"}};
  if (!title.empty()) {
    parts.push_back({"meta.xml",
                     "<?xml version=\"1.0\"?><office:document-meta "
                     "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
                     "xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><office:meta><dc:title>" +
                         title + "</dc:title></office:meta></office:document-meta>"});
  }
  return Package(parts);
}

}  // namespace arcwise_test

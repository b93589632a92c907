// Streaming walks of package parts.
#include "PartText.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>

namespace {

bool Contains(std::initializer_list<std::string_view> names, std::string_view name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

std::string_view LocalName(xmlTextReaderPtr reader) {
  const xmlChar* name = xmlTextReaderConstLocalName(reader);
  return name ? std::string_view(reinterpret_cast<const char*>(name)) : std::string_view();
}

std::string_view Value(xmlTextReaderPtr reader) {
  const xmlChar* value = xmlTextReaderConstValue(reader);
  return value ? std::string_view(reinterpret_cast<const char*>(value)) : std::string_view();
}

}  // namespace

void ReadPartText(xmlTextReaderPtr reader, const PartTextRules& rules, CDocumentContent* content) {
  int hiddenAt = -1;  // depth of the hiding element being skipped, -1 when none
  int paragraphs = 0;
  int texts = 0;
  while (!content->Full() && xmlTextReaderRead(reader) == 1) {
    const int type = xmlTextReaderNodeType(reader);
    const int depth = xmlTextReaderDepth(reader);
    if (type == XML_READER_TYPE_ELEMENT) {
      if (hiddenAt >= 0) continue;
      const std::string_view name = LocalName(reader);
      const bool empty = xmlTextReaderIsEmptyElement(reader) == 1;
      if (Contains(rules.hiddenElements, name)) {
        if (!empty) hiddenAt = depth;
      } else if (Contains(rules.paragraphElements, name)) {
        content->EndParagraph();
        if (!empty) ++paragraphs;
      } else if (Contains(rules.textElements, name)) {
        if (!empty) ++texts;
      } else if (Contains(rules.tabElements, name)) {
        content->Append(u"\t", false);
      } else if (Contains(rules.breakElements, name)) {
        content->EndParagraph();
      } else if (!rules.spaceElement.empty() && name == rules.spaceElement) {
        int count = 1;
        // The count is a namespaced attribute ("text:c"): matched by local name too.
        for (int more = xmlTextReaderMoveToFirstAttribute(reader); more == 1;
             more = xmlTextReaderMoveToNextAttribute(reader)) {
          if (LocalName(reader) == "c") count = std::clamp(std::atoi(std::string(Value(reader)).c_str()), 1, 1024);
        }
        xmlTextReaderMoveToElement(reader);
        content->Append(std::u16string(size_t(count), u' '), false);
      }
    } else if (type == XML_READER_TYPE_END_ELEMENT) {
      if (hiddenAt >= 0) {
        if (depth == hiddenAt) hiddenAt = -1;
        continue;
      }
      const std::string_view name = LocalName(reader);
      if (Contains(rules.paragraphElements, name) && paragraphs > 0) {
        --paragraphs;
        content->EndParagraph();
      } else if (Contains(rules.textElements, name) && texts > 0) {
        --texts;
      }
    } else if (type == XML_READER_TYPE_TEXT || type == XML_READER_TYPE_CDATA ||
               type == XML_READER_TYPE_SIGNIFICANT_WHITESPACE) {
      if (hiddenAt >= 0) continue;
      if (rules.textInsideParagraphs ? paragraphs > 0 : texts > 0)
        content->AppendUtf8(Value(reader), rules.textInsideParagraphs);
    }
  }
  content->EndParagraph();
}

void ReadPartProperties(xmlTextReaderPtr reader, std::initializer_list<std::pair<std::string_view, PROPID>> elements,
                        CDocumentContent* content) {
  std::map<PROPID, std::string> values;
  while (xmlTextReaderRead(reader) == 1) {
    if (xmlTextReaderNodeType(reader) != XML_READER_TYPE_ELEMENT || xmlTextReaderIsEmptyElement(reader) == 1) continue;
    const std::string_view name = LocalName(reader);
    for (const auto& [element, propid] : elements) {
      if (name != element) continue;
      xmlChar* text = xmlTextReaderReadString(reader);
      if (!text) break;
      std::string& value = values[propid];
      if (value.size() < 64 * 1024) {
        if (!value.empty()) value += "; ";
        value += reinterpret_cast<const char*>(text);
      }
      xmlFree(text);
      break;
    }
  }
  for (const auto& [propid, value] : values) content->SetPropertyUtf8(propid, value);
}

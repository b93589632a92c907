// The text of one XML part of a package, by rules that say which elements
// matter: which hold text, which end a paragraph, which stand for a tab, a
// line break or spaces, and which hide what is inside them. Elements are
// matched by local name alone, so the transitional and strict namespaces
// of Office Open XML read the same. Also the summary properties of a
// package's core-properties or meta part. Pure; any thread.
#pragma once

#include <libxml/xmlreader.h>

#include <initializer_list>
#include <string_view>
#include <utility>

#include "DocumentContent.h"

struct PartTextRules {
  // True (OpenDocument): all character data inside a paragraph element is
  // text, and white space collapses. False (Office Open XML): only the
  // character data of text elements, with its spaces as written.
  bool textInsideParagraphs;
  std::initializer_list<std::string_view> textElements;
  std::initializer_list<std::string_view> paragraphElements;
  std::initializer_list<std::string_view> tabElements;
  std::initializer_list<std::string_view> breakElements;
  std::initializer_list<std::string_view> hiddenElements;
  // An element that stands for spaces, their number in its attribute "c"
  // (OpenDocument's text:s); empty for none.
  std::string_view spaceElement;
};

// Walks the reader to the end of its part (or its first error), appending
// the text to `content`; stops early once the content is full.
void ReadPartText(xmlTextReaderPtr reader, const PartTextRules& rules, CDocumentContent* content);

// Sets each property whose element (by local name) the part holds to that
// element's text. Elements named twice or more (OpenDocument keywords)
// are joined with "; ".
void ReadPartProperties(xmlTextReaderPtr reader, std::initializer_list<std::pair<std::string_view, PROPID>> elements,
                        CDocumentContent* content);

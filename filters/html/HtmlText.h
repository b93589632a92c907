// The visible text of an HTML or XHTML document and its title, author and
// keywords, read with libxml2's HTML parser as a stream of events (no tree
// is built, so memory does not grow with the document). Pure apart from
// libxml2's one-time set-up; any thread.
#pragma once

#include "DocumentContent.h"

// Fills `content`; every input is some document (the parser recovers from
// anything), so the answer is S_OK unless memory runs out.
HRESULT ExtractHtmlText(const BYTE* data, size_t size, CDocumentContent* content);

// The charset an XML declaration at the start of `data` names ("" without
// one): XHTML says it there, where the HTML parser does not look.
std::string DeclaredXmlEncoding(const BYTE* data, size_t size);

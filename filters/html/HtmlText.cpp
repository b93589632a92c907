// HTML to text through libxml2's SAX interface.
#include "HtmlText.h"

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>

namespace {

// Elements whose content is never shown: scripts, styles, templates and the
// fallbacks of embedded objects.
bool IsHidden(std::string_view name) {
  return name == "script" || name == "style" || name == "template" || name == "noscript" || name == "object" ||
         name == "iframe" || name == "svg" || name == "math";
}

// Elements that begin and end a paragraph of their own.
bool IsBlock(std::string_view name) {
  static const char* const kBlocks[] = {
      "address", "article", "aside",  "blockquote", "body",   "br",     "caption", "dd",     "details",
      "div",     "dl",      "dt",     "fieldset",   "figcaption", "figure", "footer", "form",   "h1",
      "h2",      "h3",      "h4",     "h5",         "h6",     "header", "hr",      "li",     "main",
      "nav",     "ol",      "option", "p",          "pre",    "section", "summary", "table", "tr",
      "ul",      "title",   "legend", "dir",        "menu",   "center",
  };
  for (const char* block : kBlocks) {
    if (name == block) return true;
  }
  return false;
}

struct HtmlWalk {
  CDocumentContent* content = nullptr;
  int hiddenDepth = 0;
  int preDepth = 0;
  bool inTitle = false;
  std::string title;
  htmlParserCtxtPtr parser = nullptr;
};

std::string_view Name(const xmlChar* name) {
  return name ? std::string_view(reinterpret_cast<const char*>(name)) : std::string_view();
}

void OnStart(void* ctx, const xmlChar* name, const xmlChar** attributes) {
  auto* walk = static_cast<HtmlWalk*>(ctx);
  const std::string_view element = Name(name);
  if (walk->hiddenDepth > 0 || IsHidden(element)) {
    ++walk->hiddenDepth;
    return;
  }
  if (element == "title") walk->inTitle = true;
  if (element == "pre" || element == "textarea" || element == "listing") ++walk->preDepth;
  if (element == "td" || element == "th") walk->content->Append(u" ", true);
  if (IsBlock(element)) walk->content->EndParagraph();
  if (element == "meta" && attributes) {
    std::string_view metaName, metaContent;
    for (const xmlChar** a = attributes; a[0]; a += 2) {
      const std::string_view attribute = Name(a[0]);
      if (attribute == "name") metaName = Name(a[1]);
      if (attribute == "content") metaContent = Name(a[1]);
    }
    std::string lower(metaName);
    for (char& c : lower) c = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (lower == "author") walk->content->SetPropertyUtf8(PIDSI_AUTHOR, metaContent);
    if (lower == "keywords") walk->content->SetPropertyUtf8(PIDSI_KEYWORDS, metaContent);
  }
}

void OnEnd(void* ctx, const xmlChar* name) {
  auto* walk = static_cast<HtmlWalk*>(ctx);
  const std::string_view element = Name(name);
  if (walk->hiddenDepth > 0) {
    --walk->hiddenDepth;
    return;
  }
  if (element == "title") walk->inTitle = false;
  if ((element == "pre" || element == "textarea" || element == "listing") && walk->preDepth > 0) --walk->preDepth;
  if (IsBlock(element) && element != "br") walk->content->EndParagraph();
}

void OnText(void* ctx, const xmlChar* text, int length) {
  auto* walk = static_cast<HtmlWalk*>(ctx);
  if (walk->hiddenDepth > 0 || length <= 0) return;
  const std::string_view piece(reinterpret_cast<const char*>(text), size_t(length));
  if (walk->inTitle) {
    if (walk->title.size() < 64 * 1024) walk->title.append(piece);
    return;
  }
  walk->content->AppendUtf8(piece, walk->preDepth == 0);
  // Past the ceiling nothing more is kept, so the parse can end here.
  if (walk->content->Full()) xmlStopParser(walk->parser);
}

}  // namespace

std::string DeclaredXmlEncoding(const BYTE* data, size_t size) {
  std::string_view head(reinterpret_cast<const char*>(data), std::min<size_t>(size, 256));
  if (head.substr(0, 3) == "\xEF\xBB\xBF") head.remove_prefix(3);
  if (head.substr(0, 5) != "<?xml") return std::string();
  head = head.substr(0, head.find("?>"));
  const size_t at = head.find("encoding");
  if (at == std::string_view::npos) return std::string();
  size_t quote = head.find_first_of("\"'", at);
  if (quote == std::string_view::npos) return std::string();
  const size_t close = head.find(head[quote], quote + 1);
  if (close == std::string_view::npos) return std::string();
  std::string name(head.substr(quote + 1, close - quote - 1));
  for (char c : name) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                    c == '_' || c == '.' || c == ':';
    if (!ok) return std::string();
  }
  return name;
}

HRESULT ExtractHtmlText(const BYTE* data, size_t size, CDocumentContent* content) {
  static std::once_flag initialized;
  std::call_once(initialized, [] { xmlInitParser(); });
  if (size == 0) return S_OK;
  if (size > size_t(INT_MAX)) return FILTER_E_TOO_BIG;

  HtmlWalk walk;
  walk.content = content;
  htmlSAXHandler handler;
  std::memset(&handler, 0, sizeof(handler));
  handler.startElement = OnStart;
  handler.endElement = OnEnd;
  handler.characters = OnText;
  handler.cdataBlock = OnText;
  handler.ignorableWhitespace = OnText;

  htmlParserCtxtPtr parser = htmlNewParserCtxt();
  if (!parser) return E_OUTOFMEMORY;
  // The context's own handler is replaced: events come to the walk, and no
  // tree is built.
  std::memcpy(parser->sax, &handler, sizeof(handler));
  parser->userData = &walk;
  walk.parser = parser;
  const std::string encoding = DeclaredXmlEncoding(data, size);
  // Errors are not reported: the parser recovers from every one, and a
  // broken page of a crawl must not flood the host's error output.
  htmlDocPtr doc = htmlCtxtReadMemory(parser, reinterpret_cast<const char*>(data), int(size), nullptr,
                                      encoding.empty() ? nullptr : encoding.c_str(),
                                      HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                                          HTML_PARSE_NONET);
  if (doc) xmlFreeDoc(doc);
  htmlFreeParserCtxt(parser);
  content->EndParagraph();
  content->SetPropertyUtf8(PIDSI_TITLE, walk.title);
  return S_OK;
}

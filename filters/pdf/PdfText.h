// The text of a PDF document, page by page in reading order, and its
// document information (title, author, subject, keywords), read with
// poppler. poppler's own messages about damaged files are silenced while a
// document is read. Any thread.
#pragma once

#include "DocumentContent.h"

// S_OK with what could be read; FILTER_E_UNKNOWNFORMAT when the bytes are no
// PDF poppler can open; FILTER_E_PASSWORD when the document needs a
// password to be opened (no password is ever tried).
HRESULT ExtractPdfText(const BYTE* data, size_t size, CDocumentContent* content);

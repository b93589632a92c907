// The text and core properties of an Office Open XML document (Word,
// Excel, PowerPoint, macro-enabled and template variants included) or an
// OpenDocument text, spreadsheet or presentation. The package decides what
// it is, whatever its extension. Pure apart from libxml2's one-time set-up;
// any thread.
#pragma once

#include "DocumentContent.h"

// S_OK with what could be read; FILTER_E_UNKNOWNFORMAT when the bytes are no
// package of a known kind; FILTER_E_PASSWORD for a password-protected
// Office document (an encrypted package is a compound file, not a ZIP).
HRESULT ExtractOfficeText(const BYTE* data, size_t size, CDocumentContent* content);

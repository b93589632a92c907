// Small registry helpers shared by the registration steps: creating a key the
// way every step creates one, and storing a string with its terminator.
// Stateless; any thread.
#pragma once

#include "compat/Win32Compat.h"

// RegCreateKeyExW with the options every registration key uses: non-volatile,
// KEY_ALL_ACCESS, no security attributes, no registry-view flag. An existing
// key is opened.
LSTATUS CreateRegistrationKey(HKEY root, LPCWSTR subKey, HKEY* key);

// Sets a REG_SZ value (null name: the default value), stored with its
// terminating null: (length + 1) * 2 bytes.
LSTATUS SetStringValue(HKEY key, LPCWSTR name, LPCWSTR text);

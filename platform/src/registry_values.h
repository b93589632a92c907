// Value data hand-over shared by RegQueryValueExW and RegEnumValueW.
// Internal to the platform library; pure functions, any thread.
#pragma once

#include <string>

#include <windows.h>

namespace arcwise_registry {

// Hands stored value data to a caller as RegQueryValueExW does: type and
// size with a null buffer, ERROR_MORE_DATA with the size needed when the
// buffer is short, and a terminator added to a string type stored without
// one when the buffer has room for it.
LSTATUS CopyValueData(DWORD type, const std::string& data, LPDWORD lpType, LPBYTE lpData,
                      LPDWORD lpcbData);

}  // namespace arcwise_registry

// The Win32 subset the module uses, provided on POSIX by the platform library.
#pragma once

#include "win/types.h"
#include "win/errors.h"
#include "win/strings.h"
#include "win/format.h"
#include "win/codepage.h"
#include "win/registry.h"
#include "win/files.h"
#include "win/debug.h"
#include "win/sync.h"
#include "win/module.h"
#include "win/locale.h"
#include "win/message.h"

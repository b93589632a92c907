// The class ids the archive filter is known by: the filter class and the
// persistent handler that ".zip" names. Registrations on every machine that
// ever installed the product, and hosts that create the filter by class,
// hold these values: they never change. Header-only constants, so a host
// program (arcwise-dump) names the same ids without linking the server.
#pragma once

#include "compat/Win32Compat.h"

// {356CE73D-53A5-4029-B5D3-9E4950B8BEDD}
inline constexpr CLSID CLSID_ArcwiseFilter = {
    0x356CE73D, 0x53A5, 0x4029, {0xB5, 0xD3, 0x9E, 0x49, 0x50, 0xB8, 0xBE, 0xDD}};
// {08B1766D-8812-4FC9-B90A-BF012C51E66C}
inline constexpr CLSID CLSID_ArcwisePersistentHandler = {
    0x08B1766D, 0x8812, 0x4FC9, {0xB9, 0x0A, 0xBF, 0x01, 0x2C, 0x51, 0xE6, 0x6C}};

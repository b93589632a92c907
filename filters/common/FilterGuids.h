// Class ids of the stock filters.
// Defined once, as plain constants, in FilterGuids.cpp: a module that held
// them as inline variables would carry GNU-unique symbols, and the loader
// would then never unload it. Read-only; any thread.
#pragma once

#include "compat/Win32Compat.h"

// The plain-text filter and its persistent handler.
extern const CLSID CLSID_ArcwiseTextFilter;          // {4FEDD9AC-F849-47E7-9A44-DFE30495CE21}
extern const CLSID CLSID_ArcwiseTextHandler;         // {D6B937EC-D817-40FA-9F43-77E12AE6162C}
// The compound-document filter and its persistent handler.
extern const CLSID CLSID_ArcwiseCompoundFilter;      // {91A7C164-C310-4DA2-9746-625C76E362B9}
extern const CLSID CLSID_ArcwiseCompoundHandler;     // {B826AF00-7DAB-468A-A748-CBD54653A1DB}

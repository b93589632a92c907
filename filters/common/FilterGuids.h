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
// The HTML filter and its persistent handler.
extern const CLSID CLSID_ArcwiseHtmlFilter;    // {6D57C7BB-C590-47C1-8EBB-D5A78F313598}
extern const CLSID CLSID_ArcwiseHtmlHandler;   // {1E3062F9-6EAC-4A8B-A86A-73A98751530E}
// The PDF filter and its persistent handler.
extern const CLSID CLSID_ArcwisePdfFilter;     // {25A9E180-D9B7-4497-92F3-48EE7203822E}
extern const CLSID CLSID_ArcwisePdfHandler;    // {5148B668-903D-41EB-92EE-C6DE5702C0C6}
// The Office Open XML and OpenDocument filter and its persistent handler.
extern const CLSID CLSID_ArcwiseOfficeFilter;  // {3DB10C94-2B61-40CE-9B04-D3B38C1BDBB2}
extern const CLSID CLSID_ArcwiseOfficeHandler; // {50046A35-4E71-4C18-AF55-2A577CB7D743}

// The compound-document filter (Word, Excel, PowerPoint, Outlook, Installer,
// Publisher and Visio files in OLE structured storage): it emits no chunk of
// its own and answers IFILTER_FLAGS_OLE_PROPERTIES from Init, so that its
// caller reads the file's summary properties itself. It needs nothing from
// the content: a load by path only checks that the file is there, a load by
// stream keeps nothing. One thread at a time.
#pragma once

#include "FilterObject.h"

class CCompoundFilter final : public CFilterObject {
  ARCWISE_DECLARE_FILTER_OBJECT(CCompoundFilter)
  bool m_loaded = false;
};

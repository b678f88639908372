#pragma once
// The six short-circuit reports, each adding its page to the builder's model from the
// case's store. The report kinds table names them; a run calls them in its order.
#include "db/export.h"
#include "sc/screpport.h"

SCREPORT_CORE_EXPORT void portSummary(SCRepPort& rp);
SCREPORT_CORE_EXPORT void portDistribut(SCRepPort& rp);
SCREPORT_CORE_EXPORT void portShortBra(SCRepPort& rp);
SCREPORT_CORE_EXPORT void portBusVol(SCRepPort& rp);
SCREPORT_CORE_EXPORT void portLineCur(SCRepPort& rp);
SCREPORT_CORE_EXPORT void portVIZ(SCRepPort& rp);

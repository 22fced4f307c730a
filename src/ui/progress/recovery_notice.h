#pragma once
// What the start says about a run that a killed program left unfinished.
#include <QString>

#include "run/run_journal.h"

namespace qv::ui {

// The message for what recoverAbandonedResults() did: the results put back, then those
// still hidden, each with its reason. Empty when there is nothing to say.
QString recoveryNotice(const qv::Recovery& recovery);

}  // namespace qv::ui

#pragma once
// What the start says about a run that a killed program left unfinished.
#include <QString>

#include "run/run_journal.h"

namespace qv::ui {

// The message for what recoverAbandonedResults() did: the results put back, then those
// still hidden, each with its reason. Empty when there is nothing to say. The results of a
// batch left to do are not in it: the question whether to go on with it stands for them.
QString recoveryNotice(const qv::Recovery& recovery);

}  // namespace qv::ui

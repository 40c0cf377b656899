// What makes a set-up file unfit to be sent as it stands, in the window's
// language. The set-up check finds the concerns (setup/check.h:
// FindSendConcerns, the one rule); these are its words for the operator,
// translated as the window's other texts are. koravelctl keeps the check's
// own English sentences.
#pragma once

#include "setup/check.h"

#include <QString>

namespace koravel {

// A few lines: the firmware family the file was made for and the keys the
// unit's layouts ignore, the fields sent as 0, the sections given twice.
QString SendConcernsWords(const setup::SendConcerns& concerns);

} // namespace koravel

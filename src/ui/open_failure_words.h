// Why a port did not open, or a network port's connection is down, in the
// window's language. What failed and why is found below the window
// (station/open_failure.h: ExamineOpenFailure, the one rule); these are its
// words for the operator, translated as the window's other texts are.
// koravelctl keeps the station's own English sentences.
#pragma once

#include "station/open_failure.h"

#include <QString>

namespace koravel {

QString OpenFailureWords(const OpenFailure& failure);

// A network port's connection error in a few words ("connection refused").
QString NetworkTroubleWords(int error);

// An open network port whose connection is down, for the status bar.
QString ConnectionDownWords(int number, const QString& address, int error,
                            const QString& serverText);

} // namespace koravel

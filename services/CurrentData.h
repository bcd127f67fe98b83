#pragma once
#include <QString>

namespace quenta {
class Program;
// Shown in the status window when the answering ECU gives no OBD-II data.
extern const QString NoObdDataMessage;
// "Request Current Powertrain Diagnostic Data": every supported parameter of the answering ECU.
void requestCurrentData(Program &p);
}

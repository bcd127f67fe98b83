// Placeholder until the decoder table lands: walks nothing.
#include "pids/PidWalker.h"

namespace quenta {
void PidWalker::findPID1(int &, int &) {}
void PidWalker::findPID2(int &, int &) {}
void PidWalker::findPID3(int &, int &) {}
void PidWalker::findPID4(int &, int &) {}
void PidWalker::findPID5(int &, int &) {}
void PidWalker::findPID6(int &, int &) {}
void PidWalker::findPID7(int &, int &) {}
void PidWalker::findPID8(int &, int &) {}
void PidWalker::findPID9(int &, int &) {}
void PidWalker::findPID10(int &, int &) {}
void PidWalker::scan_PIDs_21_40() {}
void PidWalker::scan_PIDs_41_60() {}
}

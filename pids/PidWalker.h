#pragma once
// The supported-PID walk: each bitmap byte bit by bit, highest first, running the decoder of
// every supported PID at once and listing value PIDs in the vehicle data window.
#include <QString>

namespace quenta {

class Program;

// Shown in the status window when the answering ECU gives no OBD-II data.
extern const QString NoObdDataMessage;

class PidWalker {
public:
    explicit PidWalker(Program &p) : m_p(p) {}

    // a: one bitmap byte (bits handled are subtracted); b: the line counter.
    void findPID1(int &a, int &b);
    void findPID2(int &a, int &b);
    void findPID3(int &a, int &b);
    void findPID4(int &a, int &b);
    void findPID5(int &a, int &b);
    void findPID6(int &a, int &b);
    void findPID7(int &a, int &b);
    void findPID8(int &a, int &b);
    void findPID9(int &a, int &b);
    void findPID10(int &a, int &b);
    void scan_PIDs_21_40();
    void scan_PIDs_41_60();

private:
    Program &m_p;
};

} // namespace quenta

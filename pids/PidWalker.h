#pragma once
// The supported-PID walk: each bitmap byte bit by bit, highest first, running the decoder of
// every supported PID at once and listing value PIDs in the vehicle data window.
#include <QList>
#include <QString>

namespace quenta {

struct PidContext;

// Shown in the status window when the answering ECU gives no OBD-II data.
extern const QString NoObdDataMessage;

// Starts a listing: a clear stop flag, an empty vehicle data window and line counter, and the
// service and frame offset every decoder of the walk will use.
void beginWalk(PidContext &p, const QString &mode, int frameFlag);

class PidWalker {
public:
    explicit PidWalker(PidContext &p) : m_p(p) {}

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

    // Every PID the walk lists as a line of the vehicle data window, in bit order (fuel economy
    // included: it follows the air flow).
    static QList<int> listedPids();

private:
    PidContext &m_p;
};

} // namespace quenta

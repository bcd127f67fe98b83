#pragma once
// The simulated ELM327 adapter: the AT command set and the OBD request lines of a real adapter,
// in front of the simulated vehicle of a profile. Transport-free like the simulated tool: a
// pseudo-terminal or TCP server carries its bytes, or a test talks to it in-process. It runs on a
// clock (a test's manual clock moves its time), and every answer is timed:
//   - the line: each character in and out takes 10 bits at the line's speed (0: unpaced);
//   - the bus: an ECU's first frame comes "ecu_response_ms" after the request, further frames
//     (ISO-TP consecutive frames after the adapter's flow control, legacy frames) 1 ms apart on
//     CAN and 15 ms apart on the legacy buses, and each further ECU 0.5 ms (legacy 20 ms) later;
//   - the end: the prompt comes at once after the count of responses a request asked for
//     ("010C1": one frame; the count is of frames, that is lines), else after the response
//     timeout following the last frame: ATST (4 ms a count, 200 ms by default) with ATAT0,
//     shortened by adaptive timing to max(100 ms, 2 x the ECU's time + 20 ms) with ATAT1 (the
//     default) and max(20 ms, the ECU's time + 10 ms) with ATAT2, never above ATST. A request
//     nothing answers waits the whole ATST, then says NO DATA;
//   - searching: the first request after ATSP0 (and after ATZ with automatic search) says
//     SEARCHING... and finds the bus after the adapter's "search_ms". On ISO 9141 and KWP set by
//     number (ATSP3, ATSP5) the first request says BUS INIT: ...OK.
// Settings (echo, spaces, headers, ...) are the adapter's and stay across connections; ATZ and
// ATD set them back: echo on, linefeeds as the profile says, spaces on, headers off, ATAT1,
// ATST 32, the protocol last set by ATSP.
//
// The lines: a command ends with a carriage return; case does not matter, blanks and control
// characters are dropped; an empty line repeats the last command. Every answer ends with a blank
// line and the prompt ">" ("\r\r>"). A byte that comes while the adapter is still answering an
// OBD request stops it: "STOPPED"; bytes during a reset are lost.
//
// The frames as shown (ATH1 / ATH0, blanks with ATS1):
//   CAN 11-bit   "7E8 06 41 0C 1A F8 00 00 00" (the eight data bytes, padded) / "41 0C 1A F8";
//                a long answer as a first frame and consecutive frames "7E8 10 0A 43 04 ..",
//                "7E8 21 .."; with headers off "00A", "0: 43 04 ..", "1: ..". ECU k answers on
//                7E8 + k (or its "can_id"), and is addressed alone by ATSH 7E0 + k.
//   CAN 29-bit   "18 DA F1 10 06 41 0C ..": ECU address in the last byte; ATSH DA 10 F1 addresses
//                it alone, DB 33 F1 (the default) all.
//   legacy       "48 6B 10 41 0C 1A F8 C4": three header bytes (J1850 PWM 41 6B, KWP 8n F1), the
//                message and the checksum (sum of the bytes; CRC-8 on J1850); one line per frame,
//                one frame per message. ATSH 6C 10 F1 addresses ECU 10 alone.
// A clone ("adapter": {"clone": true} or --clone) still echoes the command after ATE0 once, ends
// each byte with a blank, and sends each answer in small pieces a few milliseconds apart.
#include "core/Clock.h"
#include "sim/SimulatedVehicle.h"
#include "sim/VehicleProfile.h"

#include <QObject>
#include <QStringList>
#include <deque>
#include <optional>

namespace quenta::sim {

// Faults a test switches on while the adapter runs.
struct ElmFaults {
    // Each OBD request answers the first of these as its whole answer, and takes it off the list
    // ("BUS BUSY", "CAN ERROR", "DATA ERROR", "<DATA ERROR", "BUFFER FULL").
    QStringList nextErrors;
};

class SimulatedElm : public QObject {
    Q_OBJECT
public:
    // Without a clock the adapter runs on a system clock of its own.
    explicit SimulatedElm(VehicleProfile profile, Clock *clock = nullptr, QObject *parent = nullptr);

    VehicleProfile &profile() { return m_profile; }
    ElmFaults &faults() { return m_faults; }
    // The ignition: with it off no ECU answers (UNABLE TO CONNECT while searching).
    void setVehicle(bool present) { m_profile.vehicle = present; }
    void setClone(bool on) { m_profile.adapter.clone = on; }
    // The adapter stops answering anything, from this moment (what it had not sent yet is lost).
    void hang();

    // Line speed for pacing (0: no pacing).
    void setBaud(int baud) { m_baud = baud; }
    int baud() const { return m_baud; }

    // For the servers: the adapter is powered while a server holds it; stop drops what waits to
    // be sent.
    void start() {}
    void stop();

    // Bytes from the program.
    void receive(const QByteArray &data);

    // Every command line taken (as typed, without the carriage return), and the OBD requests put on
    // the bus, in order (for tests and benchmarks).
    const QList<QByteArray> &lines() const { return m_lines; }
    const QList<QByteArray> &requests() const { return m_requests; }
    // True from a command's carriage return until its prompt is sent.
    bool busy() const { return m_busy; }

signals:
    // Bytes on the line towards the program.
    void transmit(const QByteArray &data);

private:
    struct Frame {
        qint64 atUs;
        QByteArray line;
        bool counted; // a response frame (a line the count digit counts), not the ISO-TP length line
    };
    void defaults();
    void handleLine(const QByteArray &line, qint64 atUs);
    // The answer to one AT command, or nothing when the command sends its own (a reset).
    std::optional<QByteArray> atCommand(const QByteArray &command, qint64 atUs);
    void obdRequest(const QByteArray &text, qint64 atUs);
    QList<Frame> busFrames(const QList<EcuMessage> &messages, qint64 atUs);
    bool isCan(int protocol) const { return protocol >= 6; }
    int targetEcu() const;
    bool shownEcu(int ecu) const;
    QByteArray bytesText(const QByteArray &bytes) const;
    QByteArray eol() const { return m_linefeeds ? "\r\n" : "\r"; }
    void schedule(qint64 atUs, const QByteArray &bytes, bool prompt = false);
    void finish(qint64 atUs, const QByteArray &lines);
    void releaseDue();
    void dropPending();
    qint64 nowUs() const { return m_clock.tickUs() - m_startUs; }
    qint64 charUs() const { return m_baud > 0 ? (10'000'000LL + m_baud - 1) / m_baud : 0; }
    qint64 timeoutUs() const;
    qint64 afterLastUs() const;

    VehicleProfile m_profile;
    SimulatedVehicle m_vehicle{m_profile};
    ElmFaults m_faults;
    int m_baud = 0;
    Clock m_ownClock;
    Clock &m_clock;
    qint64 m_startUs;
    ClockTimer m_lineTimer{m_clock, this};

    // The adapter's settings.
    bool m_echo = true;
    bool m_cloneEcho = false; // a clone's one more echo after ATE0
    bool m_linefeeds = false;
    bool m_spaces = true;
    bool m_headers = false;
    bool m_formatting = true; // ATCAF
    int m_adaptive = 1;
    int m_timeoutCounts = 0x32;
    int m_protocolSetting = 0; // ATSP: 0 automatic, 1 to 9 fixed
    bool m_autoFallback = true; // ATSP An and ATSP 0: search when the bus is not found
    int m_activeProtocol = 0;  // 0 until a bus was found or set up
    QByteArray m_header;       // ATSH as hex digits; empty: the functional default
    QByteArray m_receiveFilter; // ATCRA / ATSR as hex digits; empty: every ECU
    qint64 m_learnedUs = -1;   // adaptive timing's measure of the ECU's response time

    QByteArray m_input;
    QByteArray m_lastLine;
    qint64 m_inputFreeUs = 0;
    bool m_busy = false;
    bool m_resetting = false;
    bool m_stoppable = false; // an OBD request is under way: a byte now stops it
    bool m_hung = false;
    struct Pending { qint64 dueUs; char byte; bool prompt; };
    std::deque<Pending> m_line;
    qint64 m_lineFreeUs = 0;
    QList<QByteArray> m_lines;
    QList<QByteArray> m_requests;
};

} // namespace quenta::sim

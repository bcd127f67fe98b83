#pragma once
// The session with an ELM327 adapter over a byte device: a QSerialPort (USB serial, Bluetooth
// rfcomm) or a QTcpSocket (Wi-Fi adapters). Event-driven on the program's clock, it never blocks:
//
//   ElmSession session(device, clock);            // the device is open (the socket connected)
//   connect(&session, &ElmSession::ready, ...);   // protocol(), ecus(), version() are known
//   connect(&session, &ElmSession::failed, ...);  // the reason, for the user; the session is over
//   session.start();
//   session.request("010C1", [](const elm::Answer &a) { ... });
//
// Every answer is read up to the adapter's '>' prompt, however it is split across reads, and
// nothing is written before the prompt of the line before has come (a real adapter stops what it
// is doing at any character and answers STOPPED). Requests queue and go one at a time.
//
// start(): on a QSerialPort with no fixed speed, the speed is searched (38400, 9600, 115200,
// 57600, 19200, 230400: the one whose answer to "\x7F\x7F\r" ends in '>'); other devices get the
// same harmless line once, to reach a prompt. Then, at every connection (an adapter keeps its
// settings between clients): ATZ, ATE0, ATL0, ATS0 (ATS1), ATH1, ATAT1 (ATAT2), ATSP0, the first
// 0100 (allowed Options::searchBoundMs for SEARCHING...), ATDPN. ready() comes after that, also
// when the adapter found no vehicle (ecus() is empty then).
//
// failed(reason) comes once when a prompt does not come within its bound, the device closes, the
// serial device fails or the TCP link drops; the queue is dropped and nothing more is written.
#include "core/Clock.h"
#include "elm/ElmFrames.h"

#include <QIODevice>
#include <QObject>
#include <deque>
#include <functional>
#include <optional>

namespace quenta::elm {

class ElmSession : public QObject {
    Q_OBJECT
public:
    struct Options {
        std::optional<int> baud;  // a serial device at this speed: no search
        bool spaces = false;      // ATS1 instead of ATS0 (fewer characters without)
        int adaptiveTiming = 1;   // ATAT1 or ATAT2
        int promptBoundMs = 5000; // an AT line's prompt
        int requestBoundMs = 12000; // a request to the vehicle (may search the bus again)
        int searchBoundMs = 20000;  // the first 0100
        int speedProbeMs = 500;     // one speed of the search
    };
    static const QList<int> &searchSpeeds();

    ElmSession(QIODevice &device, Clock &clock, QObject *parent = nullptr);

    void start(const Options &options);
    void start() { start(Options{}); }

    using Done = std::function<void(const Answer &)>;
    // Queues one line (without its CR). Its answer, parsed with protocol() and without the echo,
    // goes to `done` and to answered(). The bound defaults to the options' for AT lines or requests.
    void request(const QByteArray &line, Done done, std::optional<int> boundMs = std::nullopt);
    // Learns the bus as the connection does: 0100 (the adapter searches for the protocol), then
    // ATDPN; protocol() and ecus() are then what it found. `then` gets the 0100 answer, read with
    // the protocol found. Used again when no vehicle answered at the connection.
    void learn(Done then);
    // Lines waiting, the one on the line included.
    int queued() const { return int(m_queue.size()); }

    bool isReady() const { return m_ready; }
    bool hasFailed() const { return m_failed; }
    Protocol protocol() const { return m_protocol; }
    // The ECUs that answered the first 0100 (response ids or source bytes), ascending.
    const QList<quint32> &ecus() const { return m_ecus; }
    // The adapter's identity from its reset ("ELM327 v1.5").
    const QByteArray &version() const { return m_version; }
    // The serial speed in use (0 for a device without one).
    int baud() const { return m_baud; }

signals:
    void ready();
    void failed(const QString &reason);
    void answered(const QByteArray &line, const quenta::elm::Answer &answer);

private:
    struct Pending {
        QByteArray line;
        Done done;
        int boundMs;
    };
    void onReadyRead();
    void pump();
    void fail(const QString &reason);
    void trySpeed(int index);
    void probeAnswered();
    void configure();
    void watchDevice();

    QIODevice &m_device;
    Options m_options;
    ClockTimer m_bound;
    QByteArray m_buffer;
    std::deque<Pending> m_queue;
    bool m_onLine = false;   // the front of the queue was written, its prompt has not come
    bool m_atPrompt = false; // the adapter's prompt came and nothing was written since
    bool m_probing = false;  // the harmless line of the start is out
    int m_speedIndex = -1;
    bool m_ready = false;
    bool m_learning = false;
    bool m_failed = false;
    Protocol m_protocol = Protocol::Unknown;
    QList<quint32> m_ecus;
    QByteArray m_version;
    QByteArray m_firstAnswer;
    int m_baud = 0;
};

} // namespace quenta::elm

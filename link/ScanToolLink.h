#pragma once
// The command protocol with the scan tool: six-character commands out, text replies in, the
// status characters "S" and "P", and the one wait every exchange uses. All of it runs on the
// user-interface thread; waits let the event loop run so windows stay usable and handlers nest.
// Every bound and every sleep is on the program's clock.
#include "core/Clock.h"
#include "link/Indicator.h"
#include "link/Commands.h"
#include "platform/Prompts.h"
#include "platform/ScanToolPort.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <optional>

namespace quenta {

class ScanToolLink : public QObject {
    Q_OBJECT
public:
    static inline const QString NoVehicleReply = QStringLiteral("0000000000000000000000");
    // What the indicator and the status window say when the tool is not talking to the car.
    static inline const QString NoVehicleText = QStringLiteral("ECU not Communicating");
    // The reason given with portLost when the tool sent nothing at all for a whole bound.
    static inline const QString ToolSilentReason = QStringLiteral("no answer from the scan tool");

    enum class WaitEnd { Ready, Stopped, TimedOut };

    ScanToolLink(Prompts &prompts, IndicatorModel &indicator, Clock &clock, QObject *parent = nullptr);

    void setPort(ScanToolPort *port);
    ScanToolPort *port() const { return m_port; }

    // Text (reads give characters) or binary (reads give the bytes, one character each, Latin-1):
    // the port's input mode, switched only around the on-board monitoring packet.
    void setInputMode(ScanToolPort::InputMode mode);

    // The link's flags.
    bool OBD_stop() const { return m_stop; }
    void setOBD_stop(bool on);
    // True for the serial port, false for USB: set by the connection that was made last.
    bool serial_link() const { return m_serialLink; }
    void setSerial_link(bool on) { m_serialLink = on; }

    // Primitives.
    void OBDoutput(const QString &strOUT);
    QString OBDinput();
    int OBDinbuffercount();
    void wait_OBD_ready();
    QString get_ecu_PID(const QString &mode, const QString &pid, const QString &count);

    // The exchange every request makes: discard what waits, send the command, and wait for more
    // than `threshold` characters (see waitReply). The bitmap scans discard after sending.
    // `replyBytes` is the length of the response message where the command's last pair is not
    // (service 05 names the O2 sensor there); it tells how much follows a status "S" in front.
    enum class Discard { BeforeSend, AfterSend };
    QString exchange(const QString &command, int threshold, std::optional<int> timeoutMs = std::nullopt,
                     Discard discard = Discard::BeforeSend, std::optional<int> replyBytes = std::nullopt);
    // Synchronises with the tool first (wait_OBD_ready), then makes the exchange.
    QString request(const QString &command, int threshold, std::optional<int> timeoutMs = std::nullopt);

    // What the last vehicle request (ask, get_ecu_PID) came to.
    enum class Outcome {
        Answer,    // a reply of the kind asked for: decode it
        EcuSilent, // "S" at position 2: the ECU did not answer
        NoVehicle, // the tool reports no communication with the vehicle ("P")
        NoAnswer,  // the wait was stopped, or nothing came within the operation's bound
        Garbled,   // every attempt gave a reply that is not what was asked
    };
    struct Ask {
        std::optional<int> timeoutMs;
        Discard discard = Discard::BeforeSend;
        bool redOnRepeat = false;                        // the indicator shows a repeated request
        std::function<void(const QString &)> onAttempt; // every reply as it came (debug lines)
    };
    // A request made with a tool that may misbehave: synchronises once, then sends until the
    // reply is well formed, a bounded number of times. The reply when the outcome is Answer or
    // EcuSilent; otherwise empty, and a garbled line is reported once per operation.
    QString ask(const ToolCommand &command, int threshold, const Ask &how);
    QString ask(const ToolCommand &command, int threshold) { return ask(command, threshold, Ask{}); }
    Outcome outcome() const { return m_outcome; }
    // Decodable: the reply is an answer, or the ECU's silence (which the decoders read as it stands).
    bool decodable() const { return m_outcome == Outcome::Answer || m_outcome == Outcome::EcuSilent; }
    static constexpr int MaxAttempts = 4;

    // The last synchronisation met "P": the tool is not talking to the vehicle.
    bool noVehicle() const { return m_noVehicle; }
    // What the tool sent since the last synchronisation that met "S".
    enum class Heard { Nothing, NoVehicle, Noise };
    Heard heard() const { return m_heard; }

    // The one reply wait: while the stop flag is clear, until more than `threshold` characters
    // wait, then one read. Empty when the wait was stopped, abandoned or ran past its bound.
    QString waitReply(int threshold, std::optional<int> timeoutMs = std::nullopt);
    // The wait under it: yields to the event loop, sleeping until characters arrive, the stop
    // flag is raised, the bound passes or the link is abandoned. The deadline is in the clock's
    // milliseconds (Clock::tickMs).
    WaitEnd waitForCharacters(int threshold, std::optional<std::int64_t> deadline = std::nullopt);
    // Lets pending events run and sleeps at most `ms` on the clock for new ones (for loops that
    // poll other things); the port's readyRead and the stop flag end the sleep at once.
    void yieldToEvents(int ms);

    // Bounds every wait started while it lives (every operation: none may wait for ever). Once one
    // wait ran past the bound, the later ones of the same operation end at once. The outermost
    // bound is the operation: a garbled line is reported once within it.
    class Bound {
    public:
        Bound(ScanToolLink &link, int timeoutMs);
        ~Bound();
        Bound(const Bound &) = delete;
        Bound &operator=(const Bound &) = delete;
    private:
        ScanToolLink &m_link;
        std::optional<int> m_previous;
    };
    // True when a wait since the last clearTimedOut() ran past its bound.
    bool timedOut() const { return m_timedOut; }
    void clearTimedOut() { m_timedOut = false; }

    // Ends every wait at once, now and later: used when the program ends or a caller gives up.
    void abandon();
    bool abandoned() const { return m_abandoned; }
    bool portFailed() const { return m_portFailed; }

    IndicatorModel &indicator() { return m_indicator; }

signals:
    void stopRaised();
    void portLost(const QString &reason);

private:
    void onPortFailed(const QString &reason);
    // The tool sent nothing at all for a whole bound: as good as gone.
    void onToolSilent();
    // When the bound of the running operation passes, in the clock's milliseconds.
    std::optional<std::int64_t> boundDeadline() const;
    // wait_OBD_ready on USB: the ready query until the tool says ready.
    void waitUsbReady();
    // The tool talks to the car: green, and a text that said otherwise goes.
    void talking();
    int pollMs() const;

    Prompts &m_prompts;
    IndicatorModel &m_indicator;
    Clock &m_clock;
    // Ends a sleep of the link: the port's readyRead, the stop flag.
    Waker m_waker;
    QPointer<ScanToolPort> m_port;
    bool m_stop = false;
    bool m_serialLink = true;
    bool m_abandoned = false;
    bool m_portFailed = false;
    bool m_timedOut = false;
    bool m_noVehicle = false;
    bool m_garbledReported = false;
    int m_boundDepth = 0;
    Heard m_heard = Heard::Nothing;
    Outcome m_outcome = Outcome::NoAnswer;
    std::optional<int> m_boundMs;
};

// Two uppercase hexadecimal digits of a request length, as the command's last pair.
QString lengthText(int length);

} // namespace quenta

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
    // The reason given when the tool sent nothing at all for a whole bound.
    static inline const QString ToolSilentReason = QStringLiteral("no answer from the scan tool");
    // Where the link stands. It leaves Ready once, and goes out through stateChanged when it does;
    // a new port makes a lost link Ready again. Abandoned is for good.
    enum class State {
        Ready,      // a port is set and has not failed
        ToolSilent, // the tool sent nothing at all for a whole bound: as good as gone, yet still there
        PortFailed, // the device went away or failed
        Abandoned,  // the program ends or its caller gave up: every wait ends at once
    };
    Q_ENUM(State)
    // How long an operation waits for the tool, each time.
    int operationBoundMs = 10000;

    enum class WaitEnd { Ready, Stopped, TimedOut };

    ScanToolLink(Prompts &prompts, IndicatorModel &indicator, Clock &clock, QObject *parent = nullptr);
    // The clock every wait and every reading's time runs on.
    Clock &clock() const { return m_clock; }

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

    // How a request ended.
    enum class Outcome {
        Answer,    // a reply of the kind asked for: decode it
        EcuSilent, // "S" at position 2: the ECU did not answer
        NoVehicle, // the tool reports no communication with the vehicle ("P")
        NoAnswer,  // the wait was stopped, or nothing came within the operation's bound
        Garbled,   // every attempt gave a reply that is not what was asked
    };
    // A reply together with how the request came to it.
    struct Answer {
        Answer() = default;
        Answer(Outcome o, const QString &r, const QStringList &f = {}) : outcome(o), reply(r), further(f) {}
        Outcome outcome = Outcome::NoAnswer;
        QString reply;
        // Replies beyond the first, from a port whose ECU sent more than one reply holds.
        QStringList further;
        // An answer, or the ECU's silence (which the decoders read as it stands).
        bool decodable() const { return outcome == Outcome::Answer || outcome == Outcome::EcuSilent; }
    };

    // What one exchange sends and how it waits.
    struct Request {
        Request(const ToolCommand &c, int wait) : command(c), threshold(wait) {}
        // The on-board monitoring packet: its bytes go out as they are and the reply is read as
        // bytes, `replySize` of them.
        static Request packet(const QByteArray &bytes, int replySize);

        ToolCommand command;
        int threshold; // wait for more than this many characters
        // The response message's length where the command's last pair is not one (service 05
        // names the O2 sensor there): it tells how much follows a status "S" in front.
        std::optional<int> replyBytes;
        std::optional<int> timeoutMs;
        // The tool's own answer (the PASS acknowledgement): the character at position 2 that
        // marks it, and one more after it. Status characters in front are not part of it.
        std::optional<char> ownAnswerMark;
        // The tool's answer begins with its status character (the firmware identity): status
        // characters before that one were sent before the command arrived and are not part of it.
        bool leadsWithStatus = false;
        bool binary = false;
        QByteArray bytes; // binary: what goes out
    };
    // The exchange every request makes: discard what waits, send, and wait for more than the
    // threshold's characters (see waitReply). A reply with a status "S" in front is the reply that
    // follows it. The outcome is Answer when a reply came, NoAnswer when none did.
    Answer exchange(const Request &request);
    // Synchronises with the tool first (wait_OBD_ready), then makes the exchange.
    Answer request(const Request &request);

    struct Ask {
        std::optional<int> timeoutMs;
        std::optional<int> replyBytes;                  // as in Request
        // False where the caller reads the reply itself (the O2 sensor tests, whose replies
        // are laid out by the sensor): the ECU's refusal is an answer whatever its length, and
        // running out of attempts on the tool's requests to ask again is no answer rather than a
        // garbled line. A reply that is not hexadecimal or answers another service is garbled.
        bool checkReply = true;
        bool redOnRepeat = false;                        // the indicator shows a repeated request
        std::function<void(const QString &)> onAttempt; // every reply as it came (debug lines)
    };
    // A request made with a tool that may misbehave: synchronises once, then sends until the
    // reply is well formed, a bounded number of times. The reply when the outcome is Answer or
    // EcuSilent; otherwise empty, and a garbled line is reported once per operation.
    Answer ask(const ToolCommand &command, int threshold, const Ask &how);
    Answer ask(const ToolCommand &command, int threshold) { return ask(command, threshold, Ask{}); }
    static constexpr int MaxAttempts = 4;
    static constexpr int ReplyTailMs = 100; // how long the rest of a reply is waited for before a repeat
    // A parameter request: the reply carries two characters per byte of the command's length;
    // NoVehicleReply when the tool reports no vehicle.
    Answer get_ecu_PID(const ToolCommand &command);

    // Says, where a request got no reply to decode, why: the tool is not talking to the car
    // (indicator and `status`), or the wait ran out ("ECU Timeout" or the operation's own text,
    // on red). A garbled line was said already; a tool that is gone shows "ECU Off-Line". True
    // when there is a reply to decode (an answer, or the ECU's silence).
    bool replyToDecode(const Answer &answer, StatusText &status,
                       const QString &timeoutText = QStringLiteral("ECU Timeout"));
    // For the live displays, which show numbers: true when the request brought the ECU's value.
    // Otherwise says why, as replyToDecode() does; an ECU that stayed silent is "ECU Timeout".
    bool valueAnswered(Outcome outcome, StatusText &status);

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
    // An answer's deadline passing means the tool failed to answer; a settle's means nothing more came.
    enum class Deadline { Answer, Settle };
    WaitEnd waitForCharacters(int threshold, std::optional<std::int64_t> deadline = std::nullopt,
                              Deadline kind = Deadline::Answer);
    void letReplyEnd(int missing);
    // Lets pending events run and sleeps at most `ms` on the clock for new ones (for loops that
    // poll other things); the port's readyRead and the stop flag end the sleep at once.
    void yieldToEvents(int ms);

    // Bounds every wait started while it lives (every operation: none may wait for ever). Once one
    // wait ran past the bound, the later ones of the same operation end at once. The outermost
    // bound is the operation: a garbled line is reported once within it.
    class Bound {
    public:
        // The operation's bound: operationBoundMs.
        explicit Bound(ScanToolLink &link) : Bound(link, link.operationBoundMs) {}
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
    State state() const { return m_state; }
    // The tool is gone (silent or failed) or the link was abandoned: no exchange can happen.
    bool ended() const { return m_state != State::Ready; }
    // The tool went silent or its port failed.
    bool lost() const { return m_state == State::ToolSilent || m_state == State::PortFailed; }

    IndicatorModel &indicator() { return m_indicator; }

signals:
    void stopRaised();
    // The link left Ready, or a new port made it Ready again; `reason` says why it was lost.
    void stateChanged(quenta::ScanToolLink::State state, const QString &reason);

private:
    void onPortFailed(const QString &reason);
    // The tool sent nothing at all for a whole bound: as good as gone.
    void onToolSilent();
    void setState(State state, const QString &reason = QString());
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
    State m_state = State::Ready;
    bool m_timedOut = false;
    bool m_noVehicle = false;
    bool m_garbledReported = false;
    int m_boundDepth = 0;
    Heard m_heard = Heard::Nothing;
    std::optional<int> m_boundMs;
};

// Two uppercase hexadecimal digits of a request length, as the command's last pair.
QString lengthText(int length);

} // namespace quenta

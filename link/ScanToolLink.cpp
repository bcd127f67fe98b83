#include "link/ScanToolLink.h"

#include "link/Reply.h"

#include <algorithm>

namespace quenta {

namespace {
// A safety net only: every wake-up that matters comes from the port or the stop flag.
constexpr int MaxSleepMs = 50;
}

QString lengthText(int length)
{
    return QStringLiteral("%1").arg(length & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
}

ScanToolLink::ScanToolLink(Prompts &prompts, IndicatorModel &indicator, Clock &clock, QObject *parent)
    : QObject(parent), m_prompts(prompts), m_indicator(indicator), m_clock(clock)
{
    m_waker.listen(this, &ScanToolLink::stopRaised);
}

void ScanToolLink::setPort(ScanToolPort *port)
{
    if (m_port) {
        disconnect(m_port, nullptr, this, nullptr);
        disconnect(m_port, nullptr, &m_waker, nullptr);
    }
    m_port = port;
    if (lost())
        setState(State::Ready);
    if (m_port) {
        connect(m_port, &ScanToolPort::failed, this, &ScanToolLink::onPortFailed);
        m_waker.listen(port, &ScanToolPort::readyRead);
    }
}

void ScanToolLink::setOBD_stop(bool on)
{
    m_stop = on;
    if (on)
        emit stopRaised();
}

void ScanToolLink::setInputMode(ScanToolPort::InputMode mode)
{
    if (m_port)
        m_port->setInputMode(mode);
}

void ScanToolLink::abandon()
{
    setState(State::Abandoned);
    setOBD_stop(true);
}

void ScanToolLink::setState(State state, const QString &reason)
{
    if (m_state == state || m_state == State::Abandoned)
        return;
    m_state = state;
    emit stateChanged(state, reason);
}

void ScanToolLink::onToolSilent()
{
    if (ended())
        return;
    m_state = State::ToolSilent;
    setOBD_stop(true);
    emit stateChanged(m_state, ToolSilentReason);
}

void ScanToolLink::onPortFailed(const QString &reason)
{
    if (ended())
        return;
    // Said once: every later exchange on the dead port fails quietly and at once.
    m_state = State::PortFailed;
    m_indicator.setColor(colors::Red);
    setOBD_stop(true);
    m_prompts.message(QStringLiteral("Communication Error Reading Scan Tool Data"));
    emit stateChanged(m_state, reason);
}

void ScanToolLink::OBDoutput(const QString &strOUT)
{
    if (lost())
        return;
    QString error;
    if (!m_port || !m_port->output(strOUT.toLatin1(), &error))
        m_prompts.message(QStringLiteral("Communication Error Writing Scan Tool Data"));
}

QString ScanToolLink::OBDinput()
{
    if (lost())
        return QStringLiteral("FF");
    QByteArray data;
    QString error;
    if (!m_port || !m_port->input(&data, &error)) {
        m_prompts.message(QStringLiteral("Communication Error Reading Scan Tool Data"));
        return QStringLiteral("FF");
    }
    return QString::fromLatin1(data);
}

int ScanToolLink::OBDinbuffercount()
{
    if (!m_port || lost())
        return 0;
    return qMax(0, m_port->inBufferCount());
}

void ScanToolLink::yieldToEvents(int ms)
{
    if (m_state == State::Abandoned)
        return;
    m_clock.wait(ms, m_waker);
}

std::optional<std::int64_t> ScanToolLink::boundDeadline() const
{
    if (!m_boundMs)
        return std::nullopt;
    return m_clock.tickMs() + *m_boundMs;
}

void ScanToolLink::letReplyEnd(int missing)
{
    // The wait ends at the characters a reply needs, so its checksum may still be on the line; a
    // request sent again at once would take it for the start of its own reply.
    if (missing > 0)
        waitForCharacters(missing - 1, m_clock.tickMs() + ReplyTailMs, Deadline::Settle);
}

ScanToolLink::WaitEnd ScanToolLink::waitForCharacters(int threshold, std::optional<std::int64_t> deadline, Deadline kind)
{
    for (;;) {
        if (m_stop || ended())
            return WaitEnd::Stopped;
        if (OBDinbuffercount() > threshold)
            return WaitEnd::Ready;
        int sleep = MaxSleepMs;
        // Within a bounded operation, a tool that already failed to answer is not waited for again.
        if (m_boundMs && m_timedOut)
            return WaitEnd::TimedOut;
        if (deadline) {
            const std::int64_t left = *deadline - m_clock.tickMs();
            if (left <= 0) {
                if (kind == Deadline::Settle)
                    return WaitEnd::TimedOut;
                m_timedOut = true;
                // A live tool sends its status every few milliseconds and answers within
                // milliseconds: nothing for the whole bound means it is gone. A status character
                // that slipped in before the command took effect is no answer either.
                const QString left = lost() ? QString() : OBDinput();
                const bool onlyStatus = std::all_of(left.begin(), left.end(), commands::isStatusCharacter);
                if (onlyStatus)
                    onToolSilent();
                return WaitEnd::TimedOut;
            }
            sleep = int(qMin<std::int64_t>(sleep, left));
        }
        yieldToEvents(qMin(sleep, pollMs()));
    }
}

int ScanToolLink::pollMs() const
{
    return m_port ? qMax(0, m_port->pollIntervalMs()) : MaxSleepMs;
}

QString ScanToolLink::waitReply(int threshold, std::optional<int> timeoutMs)
{
    std::optional<std::int64_t> deadline = boundDeadline();
    if (timeoutMs) {
        const std::int64_t own = m_clock.tickMs() + *timeoutMs;
        if (!deadline || own < *deadline)
            deadline = own;
    }
    if (waitForCharacters(threshold, deadline) != WaitEnd::Ready)
        return QString();
    return OBDinput();
}

void ScanToolLink::talking()
{
    m_noVehicle = false;
    m_heard = Heard::Nothing;
    // The tool talks to the car again: a text that says otherwise does not stay on green.
    static const QStringList notTalking{NoVehicleText, QStringLiteral("ECU Timeout"),
                                        QStringLiteral("ECU Timeout, Freeze Frame not Supported")};
    if (notTalking.contains(m_indicator.text()))
        m_indicator.setText(QStringLiteral("ECU Connected"));
    m_indicator.setColor(colors::Green);
}

void ScanToolLink::waitUsbReady()
{
    // The USB tool has no status characters: it answers a ready query. It cannot say "no vehicle",
    // so this never shows yellow nor raises the stop flag; it waits until the tool is ready, the
    // program ends or gives up (Exit, the command line's time limit), another handler raises the
    // stop flag, or the operation's bound passes.
    setOBD_stop(false);
    if (!m_port)
        return;
    m_port->readyQuery();
    const std::optional<std::int64_t> deadline = boundDeadline();
    for (;;) {
        if (m_stop || ended() || !m_port)
            return;
        if (m_port->readyQuery().value_or(0) != 0)
            break;
        if (deadline && m_clock.tickMs() >= *deadline) {
            m_timedOut = true;
            return;
        }
        yieldToEvents(pollMs());
    }
    talking();
}

void ScanToolLink::wait_OBD_ready()
{
    if (!m_serialLink)
        return waitUsbReady();
    setOBD_stop(false);
    OBDinput();
    const std::optional<std::int64_t> deadline = boundDeadline();
    while (!m_stop) {
        const WaitEnd end = waitForCharacters(0, deadline);
        if (end == WaitEnd::TimedOut) {
            // Nothing came from the tool in time: the request is abandoned like one without vehicle.
            setOBD_stop(true);
            return;
        }
        if (end != WaitEnd::Ready)
            return;
        const QString collected = OBDinput();
        if (collected.contains(QLatin1Char(commands::TalkingToVehicle))) {
            talking();
            return;
        }
        if (collected.contains(QLatin1Char(commands::NoVehicle))) {
            m_noVehicle = true;
            m_heard = Heard::NoVehicle;
            setOBD_stop(true);
            m_indicator.setColor(colors::Yellow);
            return;
        }
        m_heard = Heard::Noise;
    }
}

ScanToolLink::Request ScanToolLink::Request::packet(const QByteArray &bytes, int replySize)
{
    Request r(ToolCommand{}, replySize - 1);
    r.binary = true;
    r.bytes = bytes;
    return r;
}

ScanToolLink::Answer ScanToolLink::exchange(const Request &r)
{
    // What waits is discarded before the send: a tool that answers at once keeps its answer.
    OBDinput();
    if (r.binary) {
        setInputMode(ScanToolPort::InputMode::Binary);
        // One block: Latin-1 carries every byte value unchanged.
        OBDoutput(QString::fromLatin1(r.bytes));
    } else {
        OBDoutput(r.command.text());
    }
    QString reply = waitReply(r.threshold, r.timeoutMs);
    const QStringList further = m_port && !lost() ? m_port->takeFurtherReplies() : QStringList();
    if (r.binary)
        setInputMode(ScanToolPort::InputMode::Text);
    if (r.ownAnswerMark) {
        const QChar mark = QLatin1Char(*r.ownAnswerMark);
        while (charAt(reply, 2) != mark && reply.size() > 1 && commands::isStatusCharacter(reply.at(0)) && reply.indexOf(mark) > 1)
            reply.remove(0, 1);
        // The mark came last: the character after it is still on its way.
        if (charAt(reply, 2) == mark && reply.size() < 3)
            reply += waitReply(0, r.timeoutMs);
        return {reply.isEmpty() ? Outcome::NoAnswer : Outcome::Answer, reply, further};
    }
    if (r.leadsWithStatus) {
        qsizetype stray = 0;
        while (stray + 1 < reply.size() && commands::isStatusCharacter(reply.at(stray)) && commands::isStatusCharacter(reply.at(stray + 1)))
            ++stray;
        reply.remove(0, stray);
        const int missing = r.threshold + 1 - int(reply.size());
        if (stray > 0 && missing > 0 && waitForCharacters(missing - 1, boundDeadline()) == WaitEnd::Ready)
            reply += OBDinput();
    }
    // A status "S" sent just before the reply stands in front of it: the reply is what follows,
    // as long as the command asked for (the tool's own commands answer with their own text).
    const int length = r.replyBytes.value_or(r.command.length);
    if (!r.binary && r.command.service < 0x80 && reply.startsWith(QLatin1Char(commands::TalkingToVehicle))) {
        // The prefix took one place of the characters waited for: wait for the reply's last one.
        const int wanted = 2 * length + 2;
        if (reply.size() < wanted && waitForCharacters(wanted - int(reply.size()) - 1, boundDeadline()) == WaitEnd::Ready)
            reply += OBDinput();
        reply = reply.mid(1, 2 * length + 1);
    }
    return {reply.isEmpty() ? Outcome::NoAnswer : Outcome::Answer, reply, further};
}

ScanToolLink::Answer ScanToolLink::request(const Request &r)
{
    wait_OBD_ready();
    return exchange(r);
}

ScanToolLink::Answer ScanToolLink::ask(const ToolCommand &command, int threshold, const Ask &how)
{
    wait_OBD_ready();
    if (m_noVehicle)
        return {Outcome::NoVehicle, QString()};
    Request request(command, threshold);
    request.timeoutMs = how.timeoutMs;
    request.replyBytes = how.replyBytes;
    ToolCommand expected = command;
    if (how.replyBytes)
        expected.length = quint8(*how.replyBytes);
    bool garbled = false;
    for (int attempt = 0; attempt < MaxAttempts && !m_stop; ++attempt) {
        const Answer answer = exchange(request);
        const QString &reply = answer.reply;
        if (how.onAttempt)
            how.onAttempt(reply);
        if (reply.isEmpty())
            return {};
        Reply::Kind kind = Reply(reply).check(expected);
        // A caller that reads the reply itself takes the ECU's refusal as it stands, however short.
        if (!how.checkReply && kind == Reply::Kind::Garbled && cut(reply, 8, 2) == QLatin1String("7F"))
            kind = Reply::Kind::Answer;
        switch (kind) {
        case Reply::Kind::Answer:
            return {Outcome::Answer, reply, answer.further};
        case Reply::Kind::Silent:
            return {Outcome::EcuSilent, reply};
        case Reply::Kind::Repeat:
            if (how.redOnRepeat)
                m_indicator.setColor(colors::Red);
            break;
        case Reply::Kind::Garbled:
            garbled = true;
            break;
        }
        letReplyEnd(2 * expected.length + 3 - int(reply.size()));
    }
    // Running out of the tool's requests to ask again is no answer for such a caller; a line
    // that garbles its replies is a garbled line for every caller.
    if (m_stop || (!how.checkReply && !garbled))
        return {};
    if (!m_garbledReported) {
        // Said once per operation, whatever number of its requests met the same line.
        m_garbledReported = true;
        m_prompts.message(QStringLiteral("Communication Error Reading Scan Tool Data"));
    }
    return {Outcome::Garbled, QString()};
}

ScanToolLink::Answer ScanToolLink::get_ecu_PID(const ToolCommand &command)
{
    setOBD_stop(false);
    // A lost tool stays "ECU Off-Line" on red: a request after the loss has nothing to show green for.
    if (!lost())
        m_indicator.setColor(colors::Green);
    Ask how;
    how.redOnRepeat = true;
    // The reply carries two characters per byte of the length.
    Answer answer = ask(command, 2 * command.length, how);
    if (answer.outcome == Outcome::NoVehicle)
        answer.reply = NoVehicleReply;
    return answer;
}

bool ScanToolLink::replyToDecode(const Answer &answer, StatusText &status, const QString &timeoutText)
{
    switch (answer.outcome) {
    case Outcome::Answer:
    case Outcome::EcuSilent:
        return true;
    case Outcome::NoVehicle:
        m_indicator.set(NoVehicleText, colors::Yellow);
        status.setText(NoVehicleText);
        return false;
    case Outcome::Garbled:
        return false;
    case Outcome::NoAnswer:
        if (m_timedOut && !lost())
            m_indicator.set(timeoutText, colors::Red);
        return false;
    }
    return false;
}

bool ScanToolLink::valueAnswered(Outcome outcome, StatusText &status)
{
    if (outcome == Outcome::EcuSilent) {
        m_indicator.set(QStringLiteral("ECU Timeout"), colors::Red);
        return false;
    }
    return replyToDecode({outcome, QString()}, status);
}

ScanToolLink::Bound::Bound(ScanToolLink &link, int timeoutMs) : m_link(link), m_previous(link.m_boundMs)
{
    m_link.m_boundMs = timeoutMs;
    m_link.m_timedOut = false;
    if (m_link.m_boundDepth++ == 0)
        m_link.m_garbledReported = false;
}

ScanToolLink::Bound::~Bound()
{
    m_link.m_boundMs = m_previous;
    --m_link.m_boundDepth;
}

} // namespace quenta

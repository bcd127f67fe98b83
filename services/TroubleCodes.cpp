#include "services/TroubleCodes.h"

#include "link/Commands.h"
#include "link/Reply.h"
#include "pids/numtext.h"

namespace quenta {

namespace {

const QString CRLF = QStringLiteral("\r\n");
// The stored-code request gives up after this long, whatever the operation's own bound.
constexpr int StoredCodesLimitMs = 10000;

// A blank or control character at position 10 moves the three codes one place to the left.
void repairPosition10(QString &reply)
{
    const QChar c = charAt(reply, 10);
    if (c.isNull() || c.unicode() >= 48)
        return;
    const QString moved = reply.mid(10, 12);
    reply.replace(9, moved.size(), moved);
}

// The four digits of the code at position p; a code the reply does not hold whole reads as 0000.
QString codeDigits(const QString &reply, int p)
{
    const QString digits = cut(reply, p, 4);
    return digits.size() == 4 ? digits : QStringLiteral("0000");
}

// The code text at position p; a first digit "C" stands for a network code and is cleared in the reply.
QString codeText(QString &reply, int p)
{
    QString digits = codeDigits(reply, p);
    QString letter = QStringLiteral("P");
    if (digits.at(0) == QLatin1Char('C')) {
        letter = QStringLiteral("U");
        digits[0] = QLatin1Char('0');
        reply[p - 1] = QLatin1Char('0');
    }
    return letter + digits;
}

// After the position 10 repair, code 1; nothing (with `noneText` shown) when it is 0000.
std::optional<QString> firstCode(TroubleCodes &p, QString &reply, const QString &noneText)
{
    repairPosition10(reply);
    const QString first = codeText(reply, 10);
    if (codeDigits(reply, 10) == QLatin1String("0000")) {
        p.status.append(noneText);
        return std::nullopt;
    }
    return first;
}

void ecuTimeout(TroubleCodes &p)
{
    p.link.indicator().set(QStringLiteral("ECU Timeout"), colors::Red);
}

// The codes of replies beyond the first (an adapter's ECU may send more than one reply of the tool
// holds), three places each; a place of 0000 holds none.
QStringList furtherCodes(QStringList further)
{
    QStringList codes;
    for (QString &reply : further)
        for (const int place : {10, 14, 18})
            if (codeDigits(reply, place) != QLatin1String("0000"))
                codes << codeText(reply, place);
    return codes;
}

void storedCodes(TroubleCodes &p, QString reply, int n, const QStringList &further)
{
    if (cut(reply, 2, 2) == QLatin1String("FF"))
        return;
    const std::optional<QString> first = firstCode(p, reply, QStringLiteral("No Codes to Report"));
    if (!first)
        return;
    auto show = [&](const QString &code) {
        p.status.append(QStringLiteral("TC1 -") + code + CRLF);
        p.status.append(p.definitions.lookup_trouble_code(code) + CRLF);
    };
    show(*first);
    if (n > 1)
        show(codeText(reply, 14));
    if (n > 2)
        show(codeText(reply, 18));
    // Only a count beyond three says the first reply was full.
    if (n > 3)
        for (const QString &code : furtherCodes(further))
            show(code);
}

void pendingCodes(TroubleCodes &p, QString reply, const QStringList &further)
{
    if (conv_hex(cut(reply, 2, 2)) >= 254) {
        p.status.append(QStringLiteral("No pending codes reported"));
        return;
    }
    const std::optional<QString> first = firstCode(p, reply, QStringLiteral("No Pending Codes to Report"));
    if (!first)
        return;
    p.status.append(QStringLiteral("Pending Code 1 -") + *first + QStringLiteral("--") + p.definitions.lookup_trouble_code(*first));
    for (int i = 2; i <= 3; ++i) {
        const int pos = 14 + 4 * (i - 2);
        // Places 2 and 3 are empty when their first byte is 00.
        if (codeDigits(reply, pos).left(2) == QLatin1String("00")) {
            p.status.append(CRLF);
            continue;
        }
        const QString code = codeText(reply, pos);
        p.status.append(CRLF + QStringLiteral("Pending Code %1 -").arg(i) + code + QStringLiteral("--")
                        + p.definitions.lookup_trouble_code(code));
    }
    int place = 4;
    for (const QString &code : furtherCodes(further))
        p.status.append(CRLF + QStringLiteral("Pending Code %1 -").arg(place++) + code + QStringLiteral("--")
                        + p.definitions.lookup_trouble_code(code));
    p.status.append(CRLF + QStringLiteral("A code of 0000 means no code"));
}

} // namespace

void TroubleCodes::request()
{
    TroubleCodes &p = *this;
    ScanToolLink::Bound bound(p.link);
    p.link.setOBD_stop(false);
    p.status.setText(CRLF);

    const ScanToolLink::Answer monitor = p.link.ask(commands::MonitorStatus, 18);
    const Reply status(monitor.reply);
    const ScanToolLink::Outcome outcome = monitor.outcome;
    if (outcome == ScanToolLink::Outcome::NoVehicle || outcome == ScanToolLink::Outcome::Garbled
        || p.link.ended()) {
        p.link.replyToDecode(monitor, p.status);
        p.controls.setPressed(names::Mode3, false);
        return;
    }
    if (p.link.timedOut() || status.ecuSilent()) {
        ecuTimeout(p);
    } else {
        p.link.indicator().set(QStringLiteral("ECU Connected"), colors::Green);
        p.status.append(QStringLiteral("ECU #=") + status.ecuAddress() + CRLF);
        int a = status.byte(0);
        if (a > 127) {
            p.status.append(QStringLiteral("MIL is ON"));
            a -= 128;
        } else {
            p.status.append(QStringLiteral("MIL is OFF"));
        }
        p.status.append(CRLF);
        const int n = a;
        p.status.append(QStringLiteral("Vehicle Reports ") + numtext::leadingBlank(a)
                        + QStringLiteral(" Stored Trouble Code(s)") + CRLF);
        if (a == 0
            && p.prompts.askYesNo(QStringLiteral("The MIL is off, read codes anyway?"), QStringLiteral("Read Codes?"),
                                  Prompts::Icon::Critical, false))
            a = 1;
        if (a != 0) {
            ScanToolLink::Ask how;
            how.timeoutMs = StoredCodesLimitMs;
            const ScanToolLink::Answer stored = p.link.ask(commands::StoredCodes, 21, how);
            if (stored.outcome == ScanToolLink::Outcome::NoAnswer && p.link.timedOut()) {
                p.status.append(QStringLiteral("==== Timeout waiting for Trouble Codes") + CRLF);
                p.controls.setPressed(names::Mode3, false);
                return;
            }
            if (!p.link.replyToDecode(stored, p.status)) {
                p.controls.setPressed(names::Mode3, false);
                return;
            }
            storedCodes(p, stored.reply, n, stored.further);
        }
    }

    const ScanToolLink::Answer pending = p.link.ask(commands::PendingCodes, 21);
    const bool silent = pending.outcome == ScanToolLink::Outcome::EcuSilent;
    if (silent || (pending.outcome == ScanToolLink::Outcome::NoAnswer && p.link.timedOut() && !p.link.lost()))
        ecuTimeout(p); // an ECU that did not answer reported no codes either
    else if (p.link.replyToDecode(pending, p.status))
        pendingCodes(p, pending.reply, pending.further);
    p.controls.setPressed(names::Mode3, false);
}

} // namespace quenta

#include "sim/VehicleProfile.h"

#include "core/DataFiles.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace quenta::sim {

namespace {

bool isHexBytes(const QString &text)
{
    static const QRegularExpression re(QStringLiteral("^([0-9A-Fa-f]{2})+$"));
    return re.match(text).hasMatch();
}

struct Reader {
    QString name;
    QString error;

    bool fail(const QString &what)
    {
        if (error.isEmpty())
            error = QStringLiteral("%1: %2").arg(name, what);
        return false;
    }

    bool bytesOf(const QJsonValue &v, const QString &where, QByteArray *out)
    {
        if (!v.isString() || !isHexBytes(v.toString()))
            return fail(QStringLiteral("%1 must be hexadecimal bytes (e.g. \"0CB4\")").arg(where));
        *out = QByteArray::fromHex(v.toString().toLatin1());
        return true;
    }

    bool pidValue(const QJsonValue &v, const QString &where, PidValue *out)
    {
        QByteArray b;
        if (v.isString()) {
            if (!bytesOf(v, where, &b))
                return false;
            out->values = {b};
            return true;
        }
        if (v.isArray()) {
            const QJsonArray a = v.toArray();
            if (a.isEmpty())
                return fail(QStringLiteral("%1 is an empty list").arg(where));
            for (const QJsonValue &item : a) {
                if (!bytesOf(item, where, &b))
                    return false;
                out->values << b;
            }
            return true;
        }
        if (v.isObject()) {
            const QJsonObject o = v.toObject();
            const QJsonArray ends = o.value(QStringLiteral("sweep")).toArray();
            QByteArray from, to;
            if (ends.size() != 2 || !bytesOf(ends[0], where, &from) || !bytesOf(ends[1], where, &to)
                || from.size() != to.size())
                return fail(QStringLiteral("%1: a sweep needs two values of the same length").arg(where));
            out->values = {from, to};
            out->sweep = true;
            out->periodMs = o.value(QStringLiteral("period_ms")).toInt(4000);
            if (out->periodMs <= 0)
                return fail(QStringLiteral("%1: period_ms must be positive").arg(where));
            return true;
        }
        return fail(QStringLiteral("%1 must be a byte text, a list or a sweep").arg(where));
    }

    bool pidMap(const QJsonObject &o, const QString &where, QMap<int, PidValue> *out)
    {
        for (auto it = o.begin(); it != o.end(); ++it) {
            bool ok = false;
            const int pid = it.key().toInt(&ok, 16);
            if (it.key().size() != 2 || !ok)
                return fail(QStringLiteral("%1: \"%2\" is not a PID (two hexadecimal digits)").arg(where, it.key()));
            if (pid > 0x60)
                return fail(QStringLiteral("%1: PID %2 cannot be announced (PIDs 00 to 60)").arg(where, it.key().toUpper()));
            PidValue value;
            if (!pidValue(it.value(), QStringLiteral("%1 PID %2").arg(where, it.key().toUpper()), &value))
                return false;
            out->insert(pid, value);
        }
        return true;
    }

    bool codes(const QJsonValue &v, const QString &where, QList<quint16> *out)
    {
        if (v.isUndefined())
            return true;
        if (!v.isArray())
            return fail(QStringLiteral("%1 must be a list of codes").arg(where));
        for (const QJsonValue &item : v.toArray()) {
            const std::optional<quint16> code = parseCode(item.toString());
            if (!code)
                return fail(QStringLiteral("%1: \"%2\" is not a trouble code").arg(where, item.toString()));
            *out << *code;
        }
        return true;
    }
};

} // namespace

std::optional<quint16> parseCode(const QString &text)
{
    static const QRegularExpression raw(QStringLiteral("^[0-9A-Fa-f]{4}$"));
    static const QRegularExpression lettered(QStringLiteral("^([PCBU])([0-3])([0-9A-Fa-f]{3})$"));
    if (raw.match(text).hasMatch())
        return quint16(text.toUInt(nullptr, 16));
    const QRegularExpressionMatch m = lettered.match(text.toUpper());
    if (!m.hasMatch())
        return std::nullopt;
    const int system = QStringLiteral("PCBU").indexOf(m.captured(1));
    return quint16((system << 14) | (m.captured(2).toUInt() << 12) | m.captured(3).toUInt(nullptr, 16));
}

QByteArray PidValue::bytes(int &turn, qint64 elapsedMs) const
{
    if (values.isEmpty())
        return {};
    if (!sweep) {
        const QByteArray &b = values.at(turn % values.size());
        turn = (turn + 1) % values.size();
        return b;
    }
    // Up and down between the two values once per period.
    auto number = [](const QByteArray &b) {
        quint64 n = 0;
        for (char c : b)
            n = (n << 8) | quint8(c);
        return double(n);
    };
    const double from = number(values[0]), to = number(values[1]);
    const double phase = double(elapsedMs % periodMs) / periodMs;
    const double f = phase < 0.5 ? phase * 2 : (1 - phase) * 2;
    quint64 n = quint64(from + (to - from) * f + 0.5);
    QByteArray out(values[0].size(), '\0');
    for (int i = out.size() - 1; i >= 0; --i, n >>= 8)
        out[i] = char(n & 0xFF);
    return out;
}

std::optional<VehicleProfile> VehicleProfile::fromJson(const QByteArray &json, const QString &name, QString *error)
{
    Reader r{name, {}};
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    VehicleProfile p;
    auto failed = [&]() -> std::optional<VehicleProfile> {
        if (error)
            *error = r.error;
        return std::nullopt;
    };
    if (parseError.error != QJsonParseError::NoError) {
        r.fail(QStringLiteral("not valid JSON: %1 at offset %2").arg(parseError.errorString()).arg(parseError.offset));
        return failed();
    }
    if (!doc.isObject()) {
        r.fail(QStringLiteral("the profile must be a JSON object"));
        return failed();
    }
    const QJsonObject o = doc.object();
    p.firmware = o.value(QStringLiteral("firmware")).toString(p.firmware);
    p.vehicle = o.value(QStringLiteral("vehicle")).toBool(true);
    p.statusPeriodMs = o.value(QStringLiteral("status_period_ms")).toInt(10);
    p.latencyMs = o.value(QStringLiteral("latency_ms")).toInt(2);
    if (o.contains(QStringLiteral("baud")))
        p.baud = o.value(QStringLiteral("baud")).toInt();
    if (p.statusPeriodMs <= 0 || p.latencyMs < 0 || (p.baud && *p.baud <= 0)) {
        r.fail(QStringLiteral("status_period_ms and baud must be positive, latency_ms not negative"));
        return failed();
    }
    const QJsonArray ecus = o.value(QStringLiteral("ecus")).toArray();
    if (ecus.isEmpty()) {
        r.fail(QStringLiteral("\"ecus\" must list at least one ECU"));
        return failed();
    }
    for (int i = 0; i < ecus.size(); ++i) {
        const QJsonObject e = ecus[i].toObject();
        const QString where = QStringLiteral("ECU %1").arg(i + 1);
        EcuProfile ecu;
        const QString address = e.value(QStringLiteral("address")).toString(QStringLiteral("10"));
        if (address.size() != 2 || !isHexBytes(address)) {
            r.fail(QStringLiteral("%1: address \"%2\" is not two hexadecimal digits").arg(where, address));
            return failed();
        }
        ecu.address = quint8(address.toUInt(nullptr, 16));
        ecu.silent = e.value(QStringLiteral("silent")).toBool(false);
        ecu.codeData = e.value(QStringLiteral("code_data")).toBool(true);
        if (!r.pidMap(e.value(QStringLiteral("pids")).toObject(), where, &ecu.pids)
            || !r.pidMap(e.value(QStringLiteral("freeze")).toObject(), where + QStringLiteral(" freeze"), &ecu.freeze)
            || !r.codes(e.value(QStringLiteral("stored")), where + QStringLiteral(" stored"), &ecu.stored)
            || !r.codes(e.value(QStringLiteral("pending")), where + QStringLiteral(" pending"), &ecu.pending))
            return failed();
        p.ecus << ecu;
    }
    const QJsonObject f = o.value(QStringLiteral("faults")).toObject();
    p.faults.statusBeforeReply = f.value(QStringLiteral("status_before_reply")).toInt(0);
    p.faults.sAtThird = f.value(QStringLiteral("s_at_third")).toInt(0);
    p.faults.cutRepliesTo = f.value(QStringLiteral("cut_replies_to")).toInt(0);
    p.faults.garbled = f.value(QStringLiteral("garbled")).toBool(false);
    p.faults.quiet = f.value(QStringLiteral("quiet")).toBool(false);
    p.faults.blankAt10 = f.value(QStringLiteral("blank_at_10")).toBool(false);
    p.faults.pendingFE = f.value(QStringLiteral("pending_fe")).toBool(false);
    p.faults.negativeClear = f.value(QStringLiteral("negative_clear")).toBool(false);
    p.faults.cFirstCodes = f.value(QStringLiteral("c_first_codes")).toBool(false);
    p.faults.unansweredService = f.value(QStringLiteral("unanswered_service")).toInt(-1);
    return p;
}

std::optional<VehicleProfile> VehicleProfile::fromFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    return fromJson(file.readAll(), path, error);
}

QString VehicleProfile::defaultProfilePath()
{
    return findDataFile(QStringLiteral("default-vehicle.json"));
}

VehicleProfile VehicleProfile::defaultProfile()
{
    QString error;
    if (const auto p = fromFile(defaultProfilePath(), &error))
        return *p;
    // Without the shipped file the tool still answers as a small running engine.
    VehicleProfile p;
    EcuProfile ecu;
    ecu.pids.insert(0x01, PidValue{{QByteArray::fromHex("00076500")}});
    ecu.pids.insert(0x0C, PidValue{{QByteArray::fromHex("0CB4")}});
    ecu.pids.insert(0x0D, PidValue{{QByteArray::fromHex("21")}});
    p.ecus << ecu;
    return p;
}

} // namespace quenta::sim

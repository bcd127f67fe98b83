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

    bool o2Tests(const QJsonValue &v, const QString &where, EcuProfile *ecu)
    {
        const QJsonObject sensors = v.toObject();
        for (auto it = sensors.begin(); it != sensors.end(); ++it) {
            const std::optional<int> mask = o2SensorMask(it.key());
            if (!mask)
                return fail(QStringLiteral("%1 O2 tests: \"%2\" is not a sensor (B1S1 to B2S4)").arg(where, it.key()));
            const QJsonObject tests = it.value().toObject();
            for (auto t = tests.begin(); t != tests.end(); ++t) {
                bool ok = false;
                const int tid = t.key().toInt(&ok, 16);
                const QString at = QStringLiteral("%1 O2 test %2 %3").arg(where, it.key(), t.key());
                if (t.key().size() != 2 || !ok || tid < 1 || tid > 9)
                    return fail(QStringLiteral("%1: test IDs are 01 to 09").arg(at));
                QByteArray bytes;
                if (!bytesOf(t.value(), at, &bytes))
                    return false;
                // Tests 01 to 04 carry a value; 05 to 09 a value, a minimum and a maximum.
                const int wanted = tid <= 4 ? 1 : 3;
                if (bytes.size() != wanted)
                    return fail(QStringLiteral("%1 must be %2 byte(s)").arg(at).arg(wanted));
                ecu->o2Tests[*mask].insert(tid, bytes);
            }
        }
        return true;
    }

    bool o2Services(const QJsonValue &v, const QString &where, EcuProfile *ecu)
    {
        if (v.isUndefined())
            return true;
        ecu->o2Services.clear();
        for (const QJsonValue &item : v.toArray()) {
            const QString s = item.toString();
            if (s != QLatin1String("05") && s != QLatin1String("06"))
                return fail(QStringLiteral("%1 o2_services: \"%2\" is not 05 or 06").arg(where, s));
            ecu->o2Services << s.toInt(nullptr, 16);
        }
        return true;
    }

    bool mode6(const QJsonValue &v, const QString &where, EcuProfile *ecu)
    {
        for (const QJsonValue &item : v.toArray()) {
            const QJsonObject o = item.toObject();
            const QString at = QStringLiteral("%1 mode6 test %2/%3")
                                   .arg(where, o.value(QStringLiteral("test")).toString(),
                                        o.value(QStringLiteral("component")).toString());
            QByteArray test, component, value, limit;
            if (!bytesOf(o.value(QStringLiteral("test")), at + QStringLiteral(" test"), &test)
                || !bytesOf(o.value(QStringLiteral("component")), at + QStringLiteral(" component"), &component)
                || !bytesOf(o.value(QStringLiteral("value")), at + QStringLiteral(" value"), &value)
                || !bytesOf(o.value(QStringLiteral("limit")), at + QStringLiteral(" limit"), &limit))
                return false;
            const QString kind = o.value(QStringLiteral("kind")).toString(QStringLiteral("max"));
            if (test.size() != 1 || component.size() != 1 || value.size() != 2 || limit.size() != 2
                || (kind != QLatin1String("min") && kind != QLatin1String("max")))
                return fail(QStringLiteral("%1: test and component are one byte, value and limit two, kind min or max").arg(at));
            // Test IDs 00, 20, 40 ... ask which tests are supported; component IDs are seven bits.
            if (quint8(test[0]) % 0x20 == 0 || quint8(component[0]) > 0x7F)
                return fail(QStringLiteral("%1: test IDs 20, 40 ... are support requests and components go up to 7F").arg(at));
            auto word = [](const QByteArray &b) { return quint16((quint8(b[0]) << 8) | quint8(b[1])); };
            Mode6Result r{quint8(test[0]), quint8(component[0]), word(value), word(limit), kind == QLatin1String("min")};
            if (o.contains(QStringLiteral("other_limit"))) {
                QByteArray other;
                if (!bytesOf(o.value(QStringLiteral("other_limit")), at + QStringLiteral(" other_limit"), &other))
                    return false;
                if (other.size() != 2)
                    return fail(QStringLiteral("%1: other_limit is two bytes").arg(at));
                r.otherLimit = word(other);
            }
            ecu->mode6 << r;
        }
        return true;
    }
};

} // namespace

std::optional<int> o2SensorMask(const QString &name)
{
    static const QRegularExpression re(QStringLiteral("^B([12])S([1-4])$"));
    const QRegularExpressionMatch m = re.match(name);
    if (!m.hasMatch())
        return std::nullopt;
    return 1 << (4 * (m.captured(1).toInt() - 1) + m.captured(2).toInt() - 1);
}

QString o2SensorName(int mask)
{
    for (int k = 0; k < 8; ++k)
        if (mask == 1 << k)
            return QStringLiteral("B%1S%2").arg(k / 4 + 1).arg(k % 4 + 1);
    return QString();
}

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
    static const QMap<QString, Protocol> protocols{
        {QStringLiteral("j1850pwm"), Protocol::J1850Pwm}, {QStringLiteral("j1850vpw"), Protocol::J1850Vpw},
        {QStringLiteral("iso9141"), Protocol::Iso9141},   {QStringLiteral("kwp"), Protocol::Kwp},
        {QStringLiteral("can11"), Protocol::Can11},       {QStringLiteral("can29"), Protocol::Can29}};
    const QString protocol = o.value(QStringLiteral("protocol")).toString(QStringLiteral("can11"));
    if (!protocols.contains(protocol)) {
        r.fail(QStringLiteral("protocol \"%1\" is not can11, can29, iso9141, kwp, j1850pwm or j1850vpw").arg(protocol));
        return failed();
    }
    p.protocol = protocols.value(protocol);
    p.ecuResponseMs = o.value(QStringLiteral("ecu_response_ms")).toInt(p.ecuResponseMs);
    const QJsonObject adapter = o.value(QStringLiteral("adapter")).toObject();
    p.adapter.clone = adapter.value(QStringLiteral("clone")).toBool(false);
    p.adapter.version = adapter.value(QStringLiteral("version")).toString(p.adapter.version);
    p.adapter.voltage = adapter.value(QStringLiteral("voltage")).toString(p.adapter.voltage);
    p.adapter.linefeeds = adapter.value(QStringLiteral("linefeeds")).toBool(false);
    p.adapter.resetMs = adapter.value(QStringLiteral("reset_ms")).toInt(p.adapter.resetMs);
    p.adapter.searchMs = adapter.value(QStringLiteral("search_ms")).toInt(p.adapter.searchMs);
    if (p.ecuResponseMs < 0 || p.adapter.resetMs < 0 || p.adapter.searchMs < 0) {
        r.fail(QStringLiteral("ecu_response_ms, adapter reset_ms and search_ms must not be negative"));
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
        ecu.freezeWithoutFrame = e.value(QStringLiteral("freeze_without_frame")).toBool(false);
        if (e.contains(QStringLiteral("can_id"))) {
            bool ok = false;
            const QString id = e.value(QStringLiteral("can_id")).toString();
            ecu.canId = id.toUInt(&ok, 16);
            if (!ok || (id.size() != 3 && id.size() != 8)) {
                r.fail(QStringLiteral("%1: can_id \"%2\" is not three or eight hexadecimal digits").arg(where, id));
                return failed();
            }
        }
        if (!r.pidMap(e.value(QStringLiteral("pids")).toObject(), where, &ecu.pids)
            || !r.pidMap(e.value(QStringLiteral("freeze")).toObject(), where + QStringLiteral(" freeze"), &ecu.freeze)
            || !r.codes(e.value(QStringLiteral("stored")), where + QStringLiteral(" stored"), &ecu.stored)
            || !r.codes(e.value(QStringLiteral("pending")), where + QStringLiteral(" pending"), &ecu.pending))
            return failed();
        if (!r.o2Services(e.value(QStringLiteral("o2_services")), where, &ecu)
            || !r.o2Tests(e.value(QStringLiteral("o2_tests")), where, &ecu)
            || !r.mode6(e.value(QStringLiteral("mode6")), where, &ecu))
            return failed();
        p.ecus << ecu;
    }
    const QString passHeader = o.value(QStringLiteral("pass_header")).toString(QStringLiteral("0"));
    if (passHeader.size() != 1) {
        r.fail(QStringLiteral("pass_header must be one character"));
        return failed();
    }
    p.passHeader = passHeader.at(0).toLatin1();
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
    p.faults.passRefused = f.value(QStringLiteral("pass_refused")).toBool(false);
    p.faults.mode6NoResponse = f.value(QStringLiteral("mode6_no_response")).toBool(false);
    p.faults.mode6ReplyBytes = f.value(QStringLiteral("mode6_reply_bytes")).toInt(0);
    p.faults.o2Unsupported = f.value(QStringLiteral("o2_unsupported")).toBool(false);
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

#include "sim/SimulatedVehicle.h"

namespace quenta::sim {

namespace {
constexpr quint8 Refusal = 0x7F; // a negative response: 7F, the service, the reason
constexpr quint8 ServiceNotSupported = 0x11;
constexpr quint8 NotSupported = 0x12;
constexpr quint8 ConditionsNotCorrect = 0x22;

bool isBitmap(int id) { return id % 0x20 == 0; }

QByteArray refusal(int service, quint8 reason)
{
    return QByteArray(1, char(Refusal)) + char(service) + char(reason);
}

QByteArray word(quint32 n, int bytes)
{
    QByteArray out(bytes, '\0');
    for (int i = bytes - 1; i >= 0; --i, n >>= 8)
        out[i] = char(n & 0xFF);
    return out;
}

// The support bitmap of the IDs base+1 .. base+0x20 among `ids`; bit 0 also announces that
// something lies beyond (the next bitmap has something to say).
quint32 bitmapOf(const QList<int> &ids, int base, int last)
{
    quint32 bits = 0;
    for (int id : ids) {
        if (id > base && id <= base + 0x20)
            bits |= 0x80000000u >> (id - base - 1);
        else if (id > base + 0x20 && base + 0x20 < last)
            bits |= 1u;
    }
    return bits;
}
} // namespace

QList<EcuMessage> SimulatedVehicle::respond(const QByteArray &request, Bus bus, int ecu, qint64 elapsedMs)
{
    QList<EcuMessage> out;
    if (!m_profile.vehicle || request.isEmpty())
        return out;
    for (int i = 0; i < m_profile.ecus.size(); ++i) {
        if (ecu != AllEcus && ecu != i)
            continue;
        if (m_profile.ecus[i].silent)
            continue;
        for (const QByteArray &m : answer(i, request, bus, elapsedMs))
            out << EcuMessage{i, m};
    }
    return out;
}

bool SimulatedVehicle::pidData(int index, const QMap<int, PidValue> &map, int service, int pid, qint64 elapsedMs,
                               QByteArray *out)
{
    if (map.contains(pid)) {
        *out = map[pid].bytes(m_turns[(qint64(index) << 16) | (service << 8) | pid], elapsedMs);
        return true;
    }
    // A bitmap is there when it has something to announce (PID 00 always is).
    if ((pid == 0x00 || pid == 0x20 || pid == 0x40) && (pid == 0 || (!map.isEmpty() && map.lastKey() > pid))) {
        const QList<int> pids = map.keys();
        *out = word(bitmapOf(pids, pid, 0x60), 4);
        return true;
    }
    return false;
}

QList<QByteArray> SimulatedVehicle::answer(int index, const QByteArray &request, Bus bus, qint64 elapsedMs)
{
    EcuProfile &ecu = m_profile.ecus[index];
    const int service = quint8(request[0]);
    auto at = [&](int i) { return i < request.size() ? int(quint8(request[i])) : -1; };
    auto freezeCode = [&] {
        int turn = 0;
        return ecu.freeze.contains(0x02) ? ecu.freeze[0x02].bytes(turn, elapsedMs) : QByteArray(2, '\0');
    };
    QByteArray data;
    switch (service) {
    case 0x01: {
        // Legacy requests carry one PID; on CAN up to six.
        const int last = bus == Bus::Can ? qMin(int(request.size()), 7) : qMin(int(request.size()), 2);
        QByteArray message(1, char(0x41));
        for (int i = 1; i < last; ++i) {
            const int pid = at(i);
            if (pid == 0x02 && ecu.pids.contains(0x02))
                data = freezeCode(); // the code that stored the freeze frame, 0000 when there is none
            else if (!pidData(index, ecu.pids, 0x01, pid, elapsedMs, &data))
                continue;
            message.append(char(pid)).append(data);
        }
        if (message.size() == 1)
            return {};
        return {message};
    }
    case 0x02: {
        const int pid = at(1);
        const bool wanted = ecu.freezeWithoutFrame ? request.size() == 2 : request.size() >= 3 && at(2) == 0;
        if (pid < 0 || !wanted)
            return {};
        if (pid == 0x02 ? ecu.freeze.isEmpty() : !pidData(index, ecu.freeze, 0x02, pid, elapsedMs, &data))
            return {};
        if (pid == 0x02)
            data = freezeCode();
        return {QByteArray(1, char(0x42)) + char(pid) + '\0' + data};
    }
    case 0x03:
        return codes(ecu.stored, service, bus);
    case 0x07:
        return codes(ecu.pending, service, bus);
    case 0x04:
        if (m_profile.faults.negativeClear)
            return {refusal(0x04, ConditionsNotCorrect)};
        ecu.stored.clear();
        ecu.pending.clear();
        ecu.freeze.clear();
        // The lamp goes out and the code count with it.
        if (ecu.pids.contains(0x01))
            for (QByteArray &v : ecu.pids[0x01].values)
                if (!v.isEmpty())
                    v[0] = '\0';
        return {QByteArray(1, char(0x44))};
    case 0x05:
        if (bus == Bus::Can)
            return {refusal(0x05, ServiceNotSupported)};
        return o2Tests(ecu, service, at(1), at(2));
    case 0x06:
        if (bus == Bus::Can)
            return at(1) < 0 ? QList<QByteArray>{} : monitorMid(ecu, at(1));
        if (request.size() >= 3)
            return o2Tests(ecu, service, at(1), at(2));
        return at(1) < 0 ? QList<QByteArray>{} : monitorTests(ecu, at(1));
    default:
        if (bus == Bus::Can)
            return {refusal(service, ServiceNotSupported)};
        return {};
    }
}

QList<QByteArray> SimulatedVehicle::codes(const QList<quint16> &list, int service, Bus bus) const
{
    auto append = [](QByteArray &m, quint16 code) { m.append(char(code >> 8)).append(char(code & 0xFF)); };
    const char reply = char(service + 0x40);
    if (bus == Bus::Can) {
        QByteArray m = QByteArray(1, reply) + char(qMin<qsizetype>(list.size(), 0xFF));
        for (quint16 code : list)
            append(m, code);
        return {m};
    }
    QList<QByteArray> frames;
    for (int first = 0; first == 0 || first < list.size(); first += 3) {
        QByteArray m(1, reply);
        for (int i = first; i < first + 3; ++i)
            append(m, i < list.size() ? list[i] : 0);
        frames << m;
    }
    return frames;
}

QList<QByteArray> SimulatedVehicle::o2Tests(const EcuProfile &ecu, int service, int tid, int sensor) const
{
    const auto tests = ecu.o2Tests.constFind(sensor);
    const bool answers = tid >= 0 && sensor >= 0 && ecu.o2Services.contains(service) && !m_profile.faults.o2Unsupported
        && tests != ecu.o2Tests.constEnd() && (tid == 0 || tests->contains(tid));
    if (!answers)
        return {refusal(service, NotSupported)};
    QByteArray m = QByteArray(1, char(service + 0x40)) + char(tid) + char(sensor);
    if (tid == 0) {
        // Bit 7 of the first byte is test 01, bit 0 test 08, bit 7 of the second byte test 09.
        quint32 bits = 0;
        for (auto it = tests->keyBegin(); it != tests->keyEnd(); ++it)
            bits |= 0x80000000u >> (*it - 1);
        m.append(word(bits, 4));
    } else {
        m.append(tests->value(tid));
    }
    return {m};
}

QList<QByteArray> SimulatedVehicle::monitorTests(const EcuProfile &ecu, int tid) const
{
    if (m_profile.faults.mode6NoResponse || ecu.mode6.isEmpty())
        return {refusal(0x06, NotSupported)};
    if (isBitmap(tid)) {
        QList<int> tests;
        for (const Mode6Result &r : ecu.mode6)
            tests << r.test;
        const quint32 bits = bitmapOf(tests, tid, 0x100);
        if (tid != 0 && bits == 0)
            return {refusal(0x06, NotSupported)};
        return {QByteArray(1, char(0x46)) + char(tid) + '\0' + word(bits, 4)};
    }
    QList<QByteArray> out;
    for (const Mode6Result &r : ecu.mode6)
        if (r.test == tid)
            out << QByteArray(1, char(0x46)) + char(tid) + char((r.minimum ? 0x80 : 0x00) | (r.component & 0x7F))
                    + word(r.value, 2) + word(r.limit, 2);
    if (out.isEmpty())
        return {refusal(0x06, NotSupported)};
    return out;
}

QList<QByteArray> SimulatedVehicle::monitorMid(const EcuProfile &ecu, int mid) const
{
    // The records of each MID, in MID order; each record names its MID, as an ECU sends them.
    QMap<int, QByteArray> records;
    auto record = [&](int at, int tid, int unit, quint32 value, quint32 minimum, quint32 maximum) {
        records[at] += QByteArray(1, char(at)) + char(tid) + char(unit) + word(value, 2) + word(minimum, 2) + word(maximum, 2);
    };
    if (!m_profile.faults.o2Unsupported) {
        for (auto s = ecu.o2Tests.constBegin(); s != ecu.o2Tests.constEnd(); ++s) {
            int sensorMid = 0;
            for (int k = 0; k < 8; ++k)
                if (s.key() == 1 << k)
                    sensorMid = k + 1;
            for (auto t = s->constBegin(); t != s->constEnd(); ++t) {
                const int tid = t.key();
                const bool voltage = tid <= 4 || tid == 7 || tid == 8;
                const int unit = voltage ? 0x0B : 0x10;
                const int factor = voltage ? 5 : tid == 9 ? 40 : 4;
                const QByteArray &b = t.value();
                if (b.size() >= 3)
                    record(sensorMid, tid, unit, quint8(b[0]) * factor, quint8(b[1]) * factor, quint8(b[2]) * factor);
                else if (!b.isEmpty())
                    record(sensorMid, tid, unit, quint8(b[0]) * factor, 0x0000, 0xFFFF);
            }
        }
    }
    if (!m_profile.faults.mode6NoResponse)
        for (const Mode6Result &r : ecu.mode6)
            record(r.test, 0x80 | (r.component & 0x7F), 0x01, r.value, r.minimum ? r.limit : r.otherLimit.value_or(0x0000),
                   r.minimum ? r.otherLimit.value_or(0xFFFF) : r.limit);
    if (isBitmap(mid)) {
        const QList<int> mids = records.keys();
        const quint32 bits = bitmapOf(mids, mid, 0x100);
        if (records.isEmpty() || (mid != 0 && bits == 0))
            return {refusal(0x06, NotSupported)};
        return {QByteArray(1, char(0x46)) + char(mid) + word(bits, 4)};
    }
    if (!records.contains(mid))
        return {refusal(0x06, NotSupported)};
    return {QByteArray(1, char(0x46)) + records[mid]};
}

} // namespace quenta::sim

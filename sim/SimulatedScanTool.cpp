#include "sim/SimulatedScanTool.h"

#include "link/Commands.h"


namespace quenta::sim {

namespace {
constexpr char Lead = elm::ToolFace::Lead;
constexpr quint8 Header1 = 0x48;  // response header: priority/type, target, then the ECU's address
constexpr quint8 Header2 = 0x6B;
constexpr quint8 Refusal = 0x7F;      // a negative response: 7F, the service, the reason
constexpr quint8 NotSupported = 0x12;

} // namespace

SimulatedScanTool::SimulatedScanTool(VehicleProfile profile, Clock *clock, QObject *parent)
    : QObject(parent), m_profile(std::move(profile)), m_face(*this, clock, this)
{
    m_face.setBaud(m_profile.baud.value_or(0));
    connect(&m_face, &elm::ToolFace::transmit, this, &SimulatedScanTool::transmit);
}

char SimulatedScanTool::status() const
{
    return m_profile.vehicle ? commands::TalkingToVehicle : commands::NoVehicle;
}

void SimulatedScanTool::command(const QByteArray &six)
{
    bool okService = false;
    if (six.left(2).toInt(&okService, 16) == m_profile.faults.unansweredService && okService)
        return; // the tool waits for an ECU that never answers: no reply and no status until the next command
    m_face.reply(m_profile.faults.quiet ? QByteArray() : answer(six), m_profile.latencyMs);
}

QByteArray SimulatedScanTool::answer(const QByteArray &command)
{
    bool okS = false, okP = false, okL = false;
    const int service = command.mid(0, 2).toInt(&okS, 16);
    const int pid = command.mid(2, 2).toInt(&okP, 16);
    const int length = command.mid(4, 2).toInt(&okL, 16);
    if (command.size() != 6 || !okS || !okP || !okL)
        return {};
    const char status = m_profile.vehicle ? commands::TalkingToVehicle : commands::NoVehicle;
    if (service == commands::FirmwareIdentity.service)
        return status + m_profile.firmware.toLatin1();
    if (command == commands::MonitorTestPass.text().toLatin1())
        return passAcknowledgement();
    if (service == commands::SwitchEcu.service) {
        m_ecu = m_profile.ecus.isEmpty() ? 0 : (m_ecu + 1) % m_profile.ecus.size();
        return QByteArray(1, Lead) + "00";
    }
    if (service >= 0x80)
        return QByteArray(1, status);

    Faults &f = m_profile.faults;
    QByteArray reply = m_profile.vehicle ? vehicleReply(service, pid, length) : elm::ToolFace::silentReply(length);
    if (f.garbled && reply.size() > 11)
        for (int i = 11; i < reply.size(); i += 2)
            reply[i] = 'G';
    if (f.sAtThird > 0) {
        --f.sAtThird;
        // "S" at position 3: the tool's way of asking for the request again.
        reply = QByteArray(1, Lead) + "0S" + QByteArray(qMax(0, int(reply.size()) - 3), '0');
    }
    if (f.statusBeforeReply > 0) {
        --f.statusBeforeReply;
        reply.prepend('S');
    }
    if (f.cutRepliesTo > 0)
        reply = reply.left(f.cutRepliesTo);
    return reply;
}

QByteArray SimulatedScanTool::vehicleReply(int service, int pid, int length)
{
    if (m_profile.ecus.isEmpty())
        return elm::ToolFace::silentReply(length);
    const EcuProfile &ecu = m_profile.ecus[m_ecu];
    if (ecu.silent)
        return elm::ToolFace::silentReply(length);
    const Faults &f = m_profile.faults;
    // The tool speaks the legacy bus: its replies carry the three header bytes.
    const QByteArray header = QByteArray(1, char(Header1)) + char(Header2) + char(ecu.address);
    auto ask = [&](const QByteArray &request) {
        const QList<EcuMessage> messages =
            m_vehicle.respond(request, Bus::Legacy, m_ecu, m_face.nowUs() / 1000);
        return messages.isEmpty() ? QByteArray() : messages.first().bytes;
    };
    auto withBlank = [&](QByteArray reply) {
        if (f.blankAt10)
            reply.insert(9, ' ');
        return reply;
    };
    // The tool shows the first frame of three codes.
    auto codes = [&](int codeService, const QList<quint16> &list) {
        QByteArray message = ask(QByteArray(1, char(codeService)));
        for (int i = 0; f.cFirstCodes && i < qMin<qsizetype>(3, list.size()) && 2 + 2 * i < message.size(); ++i)
            message[1 + 2 * i] = char(0xC0 | (quint8(message[1 + 2 * i]) & 0x0F));
        return withBlank(elm::ToolFace::frame(header + message, length));
    };

    QByteArray message;
    switch (service) {
    case 0x01:
    case 0x02:
    case 0x04:
        message = ask(service == 0x01 ? QByteArray(1, char(service)) + char(pid)
                      : service == 0x02 ? QByteArray(1, char(service)) + char(pid) + '\0'
                                        : QByteArray(1, char(service)));
        if (message.isEmpty())
            return elm::ToolFace::silentReply(length);
        return elm::ToolFace::frame(header + message, length);
    case 0x03:
        if (!ecu.codeData)
            return elm::ToolFace::frame(QByteArray(1, char(0xFF)), length);
        return codes(service, ecu.stored);
    case 0x07:
        if (!ecu.codeData || f.pendingFE)
            return elm::ToolFace::frame(QByteArray(1, char(ecu.codeData ? 0xFE : 0xFF)), length);
        return codes(service, ecu.pending);
    case 0x05:
    case 0x06:
        // The last pair names the O2 sensor, not a length: the tool knows these replies' length.
        // The tool leaves out the sensor byte the ECU repeats, except in the answer to test 00.
        message = ask(QByteArray(1, char(service)) + char(pid) + char(length));
        if (message.size() > 3 && quint8(message[0]) != Refusal && pid != 0)
            message.remove(2, 1);
        return elm::ToolFace::frame(header + message, int(header.size() + message.size()));
    default:
        return elm::ToolFace::silentReply(length);
    }
}

QByteArray SimulatedScanTool::passAcknowledgement()
{
    if (m_profile.faults.passRefused)
        return {};
    return m_face.acknowledgePass(m_profile.passHeader);
}

void SimulatedScanTool::packet(const QByteArray &bytes)
{
    QByteArray reply = packetReply(bytes);
    if (m_profile.faults.mode6ReplyBytes > 0)
        reply = reply.left(m_profile.faults.mode6ReplyBytes);
    m_face.reply(m_profile.faults.quiet ? QByteArray() : reply, m_profile.latencyMs);
}

QByteArray SimulatedScanTool::packetReply(const QByteArray &packet)
{
    const auto [h1, h2] = elm::ToolFace::packetHeader(m_profile.passHeader);
    auto byteAt = [&](int i) { return quint8(packet.at(i)); };
    const int length = byteAt(1);
    const int service = byteAt(5), test = byteAt(6), component = byteAt(7);
    QByteArray block(elm::ToolFace::PacketReplySize - 1, '\0');
    const bool onBus = byteAt(0) == 1 && (length == 5 || length == 6) && byteAt(2) == h1 && byteAt(3) == h2
        && byteAt(4) == 0xF1;
    const EcuProfile *ecu = m_profile.ecus.isEmpty() ? nullptr : &m_profile.ecus[m_ecu];
    if (!m_profile.vehicle || !onBus || !ecu || ecu->silent) {
        // Nobody answered on the bus: the tool says so where the response would stand.
        block[1] = 'S';
        return elm::ToolFace::sealPacketReply(block);
    }
    block[0] = char(Header1);
    block[1] = char(Header2);
    block[2] = char(ecu->address);
    // A support request (length 5) asks for test 00, 20, 40 ...; a result request for one test
    // and component, which the tool picks from the ECU's answers to the test.
    QByteArray message;
    if (service == 0x06 && (length == 5) == (test % 0x20 == 0)) {
        const QList<EcuMessage> messages =
            m_vehicle.respond(QByteArray(1, char(service)) + char(test), Bus::Legacy, m_ecu, m_face.nowUs() / 1000);
        for (const EcuMessage &m : messages)
            if (length == 5 || (m.bytes.size() == 7 && (quint8(m.bytes[2]) & 0x7F) == component))
                message = m.bytes;
    }
    if (message.size() != 7 || quint8(message[0]) == Refusal) {
        block[3] = char(Refusal);
        block[4] = char(service);
        block[5] = char(NotSupported);
    } else if (length == 5) {
        block.replace(3, 7, message);
    } else {
        // The tool's layout: the component (with the minimum bit), value, limit, then the test.
        block[3] = message[0];
        block.replace(4, 5, message.mid(2, 5));
        block[9] = char(test);
    }
    return elm::ToolFace::sealPacketReply(block);
}

} // namespace quenta::sim

#pragma once
// A scan-tool port on an ELM327 adapter. Toward the link it is the program's own tool (the
// tool's face: six-character commands, the tool's replies, the status stream, the PASS packet);
// toward the device, a QSerialPort (USB serial, Bluetooth rfcomm) or a QTcpSocket (Wi-Fi), it
// speaks ELM327 through the session, and the translation maps one to the other.
//
// Until the session is ready the tool keeps quiet (no status), so the link's own wait for its
// tool applies. Then the status is the vehicle's: 'S' while it answers, 'P' after UNABLE TO
// CONNECT, BUS INIT ERROR, NO DATA to the idle probe or repeated CAN/BUS ERROR. Idle for
// IdleProbeMs, the port asks "0100" to keep that true, never while a command is in progress.
// A failed session, a closed device or a dropped TCP link is failed(reason).
#include "core/Clock.h"
#include "core/CommandLine.h"
#include "elm/ElmSession.h"
#include "elm/ElmTranslate.h"
#include "elm/ToolFace.h"
#include "platform/ReceiveBuffer.h"
#include "platform/ScanToolPort.h"

#include <QIODevice>
#include <functional>
#include <memory>

namespace quenta::elm {

class ElmPort : public ScanToolPort, private ToolBackend {
    Q_OBJECT
public:
    static constexpr int IdleProbeMs = 2000;
    // The status stream costs no line time here: it says "ready" at once after each answer, so the
    // next request waits for nothing, and seldom while idle, so an idle port costs next to no CPU.
    static constexpr int StatusAfterReplyMs = 1;
    static constexpr int StatusPeriodMs = 50;
    // A CAN or BUS ERROR this many times running means the bus is gone.
    static constexpr int BusErrorsForNoVehicle = 2;

    // Makes the device, open (a TCP socket may still be connecting); nothing with the reason.
    using DeviceMaker = std::function<std::unique_ptr<QIODevice>(QString *error)>;

    // Without a clock the port runs on a system clock of its own.
    explicit ElmPort(const ElmTarget &target, Clock *clock = nullptr, QObject *parent = nullptr);
    ElmPort(const QString &name, DeviceMaker makeDevice, ElmSession::Options options, Clock *clock = nullptr,
            QObject *parent = nullptr);
    ~ElmPort() override;

    // "ELM327 adapter on /dev/rfcomm0", "ELM327 adapter at 192.168.0.10:35000".
    static QString describe(const ElmTarget &target);

    QString deviceName() const override { return m_name; }
    bool open(QString *error) override;
    void close() override;
    bool isOpen() const override { return m_device != nullptr; }
    // The adapter's speed is the session's: the tool's line settings do not apply.
    bool setLineSettings(const LineSettings &, QString *) override { return true; }
    void setInBufferSize(int size) override { m_buffer.setCapacity(size); }
    int inBufferCount() override;
    bool input(QByteArray *data, QString *error) override;
    bool output(const QByteArray &data, QString *error) override;
    QStringList takeFurtherReplies() override;

    // The session is ready and the current ECU addressed: the tool talks.
    bool isReady() const { return m_ready; }
    // The adapter's own identity ("ELM327 v1.5"), apart from the tool's firmware.
    QByteArray adapterVersion() const { return m_session ? m_session->version() : QByteArray(); }
    QString adapterIdentity() const override { return QString::fromLatin1(adapterVersion()); }
    const Bus &bus() const { return m_bus; }
    // The session, for tests and benchmarks (null while closed).
    ElmSession *session() const { return m_session.get(); }

signals:
    // The session is ready (the first ECU addressed).
    void adapterReady();

private:
    void command(const QByteArray &six) override;
    void packet(const QByteArray &bytes) override;
    char status() const override { return statusCharacter(m_vehicle); }
    bool quiet() const override { return !m_ready || m_failed; }
    int statusPeriodMs() const override { return StatusPeriodMs; }
    int statusAfterReplyMs() const override { return StatusAfterReplyMs; }

    void onTransmit(const QByteArray &data);
    void onSessionReady();
    // Takes the bus the session learnt and addresses its first ECU, then `then`.
    void adoptBus(const std::function<void()> &then);
    // The session learns the bus again (no vehicle answered at the connection); `then` gets its 0100 answer.
    void learnBus(const ElmSession::Done &then);
    void run(const ToolCommand &command, quint64 generation);
    void fail(const QString &reason);
    // Sends the lines; the last one's answer goes to `done`.
    void send(const QList<QByteArray> &lines, ElmSession::Done done);
    void answerCommand(const ToolCommand &command, const QByteArray &line, const Answer &answer, quint64 generation,
                       std::optional<int> selectEcu);
    void finish(const QByteArray &reply, quint64 generation, const QList<QByteArray> &further = {});
    void heard(const Answer &answer, bool probe);
    void probe();
    bool busy() const { return m_inProgress || (m_session && m_session->queued() > 0); }

    QString m_name;
    DeviceMaker m_makeDevice;
    ElmSession::Options m_options;
    Clock m_ownClock;
    Clock &m_clock;
    ToolFace m_face;
    ClockTimer m_idle;
    std::unique_ptr<QIODevice> m_device;
    std::unique_ptr<ElmSession> m_session;
    Bus m_bus;
    bool m_ready = false;
    bool m_failed = false;
    QString m_failure;
    bool m_vehicle = false;
    int m_busErrors = 0;
    bool m_inProgress = false;
    // Counts the commands; an answer for an older one than the last is dropped.
    QStringList m_further; // the last command's replies beyond the first
    quint64 m_generation = 0;
    ReceiveBuffer m_buffer;
};

} // namespace quenta::elm

#pragma once
// A serial device that may hold either the program's own scan tool or an ELM327 adapter. The tool
// talks at once: its status characters arrive within milliseconds of opening, and then the port is
// the plain serial port, unchanged. A device that stays quiet for QuietMs after opening is asked
// once whether it is an ELM327 (the adapter session with its speed search); if it answers, the
// port is the adapter's from then on, else the quiet serial port again, and the link's own wait
// for a silent tool applies as before.
#include "core/Clock.h"
#include "platform/ScanToolPort.h"

#include <memory>

namespace quenta::elm {

class ElmPort;

class DetectingPort : public ScanToolPort {
    Q_OBJECT
public:
    static constexpr int QuietMs = 1000;

    // Without a clock the port runs on a system clock of its own.
    explicit DetectingPort(const QString &device, Clock *clock = nullptr, QObject *parent = nullptr);
    ~DetectingPort() override;

    QString deviceName() const override;
    bool open(QString *error) override;
    void close() override;
    bool isOpen() const override;
    bool setLineSettings(const LineSettings &settings, QString *error) override;
    void setInBufferSize(int size) override;
    void setInputMode(InputMode mode) override;
    int inBufferCount() override;
    bool input(QByteArray *data, QString *error) override;
    bool output(const QByteArray &data, QString *error) override;
    std::optional<quint8> readyQuery() override;
    int pollIntervalMs() const override;
    QStringList takeFurtherReplies() override;
    QString adapterIdentity() const override;

    // The adapter answered the probe: the port is an ELM327's.
    bool isAdapter() const { return m_adapter; }
    // The probe is running.
    bool probing() const { return m_probe != nullptr; }

private:
    bool openSerial(QString *error);
    void adopt(std::unique_ptr<ScanToolPort> port);
    void onQuiet();
    void onProbeReady();
    void onProbeFailed();

    QString m_device;
    Clock m_ownClock;
    Clock &m_clock;
    ClockTimer m_quiet;
    LineSettings m_settings;
    int m_bufferSize = 80;
    std::unique_ptr<ScanToolPort> m_active;
    std::unique_ptr<ElmPort> m_probe;
    bool m_heard = false;
    bool m_adapter = false;
};

} // namespace quenta::elm

#pragma once
// The transport under the scan-tool link: one real implementation on a serial device and one
// simulated tool. The link reads counts, reads everything waiting and writes bytes unaltered.
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>

namespace quenta {

struct LineSettings {
    int baud = 38400;
    char parity = 'N';
    int dataBits = 8;
    int stopBits = 1;
};

// Parses "38400,N,8,1"; nothing for text that is not a line setting.
std::optional<LineSettings> parseLineSettings(const QString &settings);

class ScanToolPort : public QObject {
    Q_OBJECT
public:
    enum class InputMode { Text, Binary };

    using QObject::QObject;
    ~ScanToolPort() override = default;

    virtual QString deviceName() const = 0;
    virtual bool open(QString *error) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Line settings take effect now when open, else at the next open.
    virtual bool setLineSettings(const LineSettings &settings, QString *error) = 0;
    // Characters kept waiting before the transport stops accepting more from the line.
    virtual void setInBufferSize(int size) = 0;
    virtual void setInputMode(InputMode mode) { m_inputMode = mode; }
    InputMode inputMode() const { return m_inputMode; }

    // Number of received characters not yet read; -1 when the port failed.
    virtual int inBufferCount() = 0;
    // Every character waiting, in arrival order; false (with a reason) when the port failed.
    virtual bool input(QByteArray *data, QString *error) = 0;
    // Sends the bytes unchanged; false (with a reason) when the port failed.
    virtual bool output(const QByteArray &data, QString *error) = 0;
    // The tool's ready query, where the transport has one (USB): non-zero when the tool is ready.
    // A serial tool tells by its status characters instead.
    virtual std::optional<quint8> readyQuery() { return std::nullopt; }
    // How long a wait may sleep before asking again: a port that signals readyRead is woken by
    // it; one that learns of arrivals only when asked (USB) is asked often.
    virtual int pollIntervalMs() const { return 50; }
    // The replies beyond the first that the last command drew, taken once: an adapter's ECU may
    // send more trouble codes than one reply of the tool holds. The tool itself never has any.
    virtual QStringList takeFurtherReplies() { return {}; }
    // What the device behind the port says it is, when it is not the tool itself (an adapter's
    // own identity); empty for the tool.
    virtual QString adapterIdentity() const { return {}; }

signals:
    void readyRead();
    // The device went away or failed for good (for example the cable was pulled).
    void failed(const QString &reason);

private:
    InputMode m_inputMode = InputMode::Text;
};

} // namespace quenta

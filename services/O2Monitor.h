#pragma once
// The O2 sensor monitoring tests: which tests the ECU supports for one sensor, and their results
// and limits in the window's boxes. Service 05 first, service 06 when the ECU answers there.
#include "core/Models.h"
#include "pids/PidContext.h"
#include "platform/Prompts.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <array>

namespace quenta {


class O2Monitor : public QObject {
    Q_OBJECT
public:
    static inline const QString NotAvailableText =
        QStringLiteral("The O2 test results are not available until the O2 Sensor test has completed. ");
    static inline const QString NotSupportedText = QStringLiteral("The O2 Sensor Test is not supported by this vehicle");
    static inline const QString TimeoutText = QStringLiteral("ECU Timeout");
    static constexpr Rgb ResultGreen = 0x50FF50;
    static constexpr Rgb BoxWhite = 0xFFFFFF;

    // One row of the test table: what test `id` asks and where its numbers go.
    struct Test {
        int id;
        QString label;
        int threshold;   // characters waited for beyond this many
        bool limits;     // a minimum and a maximum follow the value (tests 05 to 08)
        double scale;    // per count
        QString unit;
        bool green;      // the result box turns light green (tests 01 to 04)
    };
    static const std::array<Test, 9> &tests();

    struct Sensor {
        QString caption; // "Bank1, Sensor1"
        int mask;        // 1 .. 128
    };

    struct Box {
        QString text = QStringLiteral("N/A");
        Rgb back = BoxWhite;
    };

    O2Monitor(PidContext &context, Prompts &prompts);

    // The window's load: the present sensors in order. False, after the "not available" message,
    // while the O2 sensor monitor has not completed (the window then hides).
    bool load(QList<Sensor> *sensors);
    static QString sensorCaption(int index); // "Bank1, Sensor1" for 0 .. "Bank2, Sensor4" for 7

    // "Get Test Results" for the picked sensor.
    void o2_test_request(int mask);
    // One test of the run; false when the tool gave no answer (the run then ends).
    bool o2_test_run(int test, int mask);
    // Asks one test (the command's last pair names the sensor) and waits for more than `threshold`
    // characters: the reply, or empty when nothing usable came in time.
    ScanToolLink::Answer o2_request(const ToolCommand &command, int threshold, bool logReplies = false);

    QString O2_mode = QStringLiteral("05");

    Box box(const QString &name) const { return m_boxes.value(name); }
    // Every result and limit box, in window order (txtT01, txtT02, ..., txtT05min, txtT05max, ...).
    static QStringList boxNames();

signals:
    void boxChanged(const QString &name);

private:
    void write(const QString &name, const QString &text);
    PidContext &m_p;
    Prompts &m_prompts;
    QHash<QString, Box> m_boxes;
};

} // namespace quenta

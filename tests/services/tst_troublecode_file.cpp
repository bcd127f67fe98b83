// Checks the shipped trouble-code definition file: its line format, and that the codes a mechanic meets
// most often carry their standard meaning (a wrong text at the roadside sends someone after the wrong part).
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

namespace {

const char *const kShippedFile = QUENTA_SOURCE_DATA_DIR "/troublecode.tcf";

// Empty when the line is a valid record, otherwise why it is not.
QString lineFault(const QByteArray &line)
{
    static const QRegularExpression codeText(QStringLiteral("^[PU][0-9A-F]{4}$"));
    if (line.size() < 5)
        return QStringLiteral("shorter than a code");
    if (!codeText.match(QString::fromLatin1(line.left(5))).hasMatch())
        return QStringLiteral("bad code text");
    if (line.size() < 7 || line.at(5) != ' ')
        return QStringLiteral("code not followed by one blank and a definition");
    const QByteArray definition = line.mid(6);
    if (definition.trimmed() != definition)
        return QStringLiteral("definition starts or ends with white space");
    for (const char c : definition) {
        if (c < 0x20 || c > 0x7e)
            return QStringLiteral("definition holds a control or non-ASCII character");
    }
    return {};
}

} // namespace

class TstTroublecodeFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void lineFaultRejectsBrokenRecords_data();
    void lineFaultRejectsBrokenRecords();

    void fileUsesLfLinesWithoutEmptyOnes();
    void everyLineIsWellFormed();
    void keysAreUniqueAndAscending();
    void fileHasEnoughLines();

    void familyIsCovered_data();
    void familyIsCovered();
    void numberedFamilyFollowsCylinders_data();
    void numberedFamilyFollowsCylinders();

    void wellKnownCodeHasExactMeaning_data();
    void wellKnownCodeHasExactMeaning();
    void wellKnownCodeHasKeyWords_data();
    void wellKnownCodeHasKeyWords();

private:
    QByteArray m_raw;
    QList<QByteArray> m_lines;
    QHash<QString, QString> m_byCode; // code -> whole line
};

void TstTroublecodeFile::initTestCase()
{
    QFile file(QString::fromUtf8(kShippedFile));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName() + ": " + file.errorString()));
    m_raw = file.readAll();
    QVERIFY2(!m_raw.isEmpty(), "trouble-code file is empty");
    m_lines = m_raw.split('\n');
    if (m_raw.endsWith('\n'))
        m_lines.removeLast(); // the part after the last LF
    for (const QByteArray &line : std::as_const(m_lines)) {
        const QString text = QString::fromLatin1(line);
        m_byCode.insert(text.left(5), text);
    }
}

void TstTroublecodeFile::lineFaultRejectsBrokenRecords_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("valid");

    QTest::newRow("plain record") << QByteArray("P0301 Cylinder 1 Misfire Detected") << true;
    QTest::newRow("hex letter in code") << QByteArray("P000A \"A\" Camshaft Position Slow Response (Bank 1)") << true;
    QTest::newRow("network code") << QByteArray("U0100 Lost Communication With ECM/PCM \"A\"") << true;
    QTest::newRow("one-character definition") << QByteArray("P0301 X") << true;
    QTest::newRow("lower-case letter") << QByteArray("p0301 Cylinder 1 Misfire Detected") << false;
    QTest::newRow("lower-case hex digit") << QByteArray("P000a Camshaft") << false;
    QTest::newRow("chassis code") << QByteArray("C0035 Left Front Wheel Speed Sensor Circuit") << false;
    QTest::newRow("body code") << QByteArray("B0001 Driver Frontal Stage 1 Deployment Control") << false;
    QTest::newRow("letter O for zero") << QByteArray("P03O1 Cylinder 1 Misfire Detected") << false;
    QTest::newRow("three digits") << QByteArray("P301 Cylinder 1 Misfire Detected") << false;
    QTest::newRow("five digits") << QByteArray("P03011 Cylinder 1 Misfire Detected") << false;
    QTest::newRow("no blank after code") << QByteArray("P0301Cylinder 1 Misfire Detected") << false;
    QTest::newRow("tab after code") << QByteArray("P0301\tCylinder 1 Misfire Detected") << false;
    QTest::newRow("code only") << QByteArray("P0301") << false;
    QTest::newRow("code and blank only") << QByteArray("P0301 ") << false;
    QTest::newRow("two blanks after code") << QByteArray("P0301  Cylinder 1 Misfire Detected") << false;
    QTest::newRow("trailing blank") << QByteArray("P0301 Cylinder 1 Misfire Detected ") << false;
    QTest::newRow("carriage return") << QByteArray("P0301 Cylinder 1 Misfire Detected\r") << false;
    QTest::newRow("non-ASCII byte") << QByteArray("P0301 Cylinder 1 Misfire Detected \xc2\xb0") << false;
    QTest::newRow("empty line") << QByteArray() << false;
}

void TstTroublecodeFile::lineFaultRejectsBrokenRecords()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, valid);
    const QString fault = lineFault(line);
    QVERIFY2(fault.isEmpty() == valid, qPrintable(QStringLiteral("fault: '%1'").arg(fault)));
}

void TstTroublecodeFile::fileUsesLfLinesWithoutEmptyOnes()
{
    QVERIFY2(!m_raw.contains('\r'), "CR found: lines must end with LF alone");
    QVERIFY2(m_raw.endsWith('\n'), "last line is not ended by LF");
    QVERIFY2(!m_raw.startsWith('\n'), "file starts with an empty line");
    QVERIFY2(!m_raw.contains("\n\n"), "empty line inside the file");
}

void TstTroublecodeFile::everyLineIsWellFormed()
{
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const QString fault = lineFault(m_lines.at(i));
        QVERIFY2(fault.isEmpty(), qPrintable(QStringLiteral("line %1 '%2': %3")
                                                 .arg(i + 1)
                                                 .arg(QString::fromLatin1(m_lines.at(i)), fault)));
    }
}

void TstTroublecodeFile::keysAreUniqueAndAscending()
{
    QSet<QByteArray> seen;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const QByteArray key = m_lines.at(i).left(5);
        QVERIFY2(!seen.contains(key), qPrintable(QStringLiteral("line %1: duplicate key %2")
                                                     .arg(i + 1)
                                                     .arg(QString::fromLatin1(key))));
        seen.insert(key);
        if (i > 0) {
            const QByteArray previous = m_lines.at(i - 1).left(5);
            QVERIFY2(previous < key, qPrintable(QStringLiteral("line %1: %2 follows %3")
                                                    .arg(i + 1)
                                                    .arg(QString::fromLatin1(key), QString::fromLatin1(previous))));
        }
    }
}

void TstTroublecodeFile::fileHasEnoughLines()
{
    QVERIFY2(m_lines.size() >= 500, qPrintable(QStringLiteral("only %1 lines").arg(m_lines.size())));
}

void TstTroublecodeFile::familyIsCovered_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    QTest::addColumn<int>("minimum");

    QTest::newRow("fuel and air metering") << "P0001" << "P02FF" << 250;
    QTest::newRow("ignition and misfire") << "P0300" << "P03FF" << 80;
    QTest::newRow("auxiliary emission controls") << "P0400" << "P04FF" << 90;
    QTest::newRow("speed and idle control") << "P0500" << "P05FF" << 90;
    QTest::newRow("computer and output circuits") << "P0600" << "P06FF" << 90;
    QTest::newRow("transmission") << "P0700" << "P09FF" << 280;
    QTest::newRow("generic P2 codes") << "P2000" << "P2FFF" << 400;
    // The deactivation range is defined without gaps: two bank codes and eight per cylinder for twelve.
    QTest::newRow("cylinder deactivation") << "P3400" << "P3497" << 98;
    QTest::newRow("network buses") << "U0001" << "U00FF" << 70;
    QTest::newRow("lost communication") << "U0100" << "U02FF" << 100;
}

void TstTroublecodeFile::familyIsCovered()
{
    QFETCH(QString, first);
    QFETCH(QString, last);
    QFETCH(int, minimum);
    int count = 0;
    for (auto it = m_byCode.cbegin(); it != m_byCode.cend(); ++it) {
        if (it.key() >= first && it.key() <= last)
            ++count;
    }
    QVERIFY2(count >= minimum, qPrintable(QStringLiteral("%1 codes in %2..%3").arg(count).arg(first, last)));
}

void TstTroublecodeFile::numberedFamilyFollowsCylinders_data()
{
    QTest::addColumn<int>("firstCode"); // decimal digits of the code for cylinder 1
    QTest::addColumn<int>("step");
    QTest::addColumn<QString>("pattern");

    QTest::newRow("misfire") << 301 << 1 << "Cylinder %1 Misfire Detected";
    QTest::newRow("injector circuit") << 201 << 1 << "Injector Circuit/Open - Cylinder %1";
    QTest::newRow("injector contribution") << 263 << 3 << "Cylinder %1 Contribution/Balance";
    QTest::newRow("glow plug") << 671 << 1 << "Cylinder %1 Glow Plug Circuit";
    QTest::newRow("knock threshold") << 2336 << 1 << "Cylinder %1 Above Knock Threshold";
    QTest::newRow("deactivation intake valve") << 3401 << 8 << "Cylinder %1 Deactivation/Intake Valve Control Circuit/Open";
    QTest::newRow("deactivation exhaust valve") << 3408 << 8 << "Cylinder %1 Exhaust Valve Control Circuit High";
}

void TstTroublecodeFile::numberedFamilyFollowsCylinders()
{
    QFETCH(int, firstCode);
    QFETCH(int, step);
    QFETCH(QString, pattern);
    for (int cylinder = 1; cylinder <= 12; ++cylinder) {
        const QString code = QStringLiteral("P%1").arg(firstCode + (cylinder - 1) * step, 4, 10, QLatin1Char('0'));
        QCOMPARE(m_byCode.value(code), code + QLatin1Char(' ') + pattern.arg(cylinder));
    }
}

void TstTroublecodeFile::wellKnownCodeHasExactMeaning_data()
{
    QTest::addColumn<QString>("line");

    const char *const lines[] = {
        "P0171 System Too Lean (Bank 1)",
        "P0172 System Too Rich (Bank 1)",
        "P0174 System Too Lean (Bank 2)",
        "P0175 System Too Rich (Bank 2)",
        "P0300 Random/Multiple Cylinder Misfire Detected",
        "P0301 Cylinder 1 Misfire Detected",
        "P0302 Cylinder 2 Misfire Detected",
        "P0303 Cylinder 3 Misfire Detected",
        "P0304 Cylinder 4 Misfire Detected",
        "P0305 Cylinder 5 Misfire Detected",
        "P0306 Cylinder 6 Misfire Detected",
        "P0420 Catalyst System Efficiency Below Threshold (Bank 1)",
        "P0430 Catalyst System Efficiency Below Threshold (Bank 2)",
        "P0442 Evaporative Emission Control System Leak Detected (small leak)",
        "P0456 Evaporative Emission Control System Leak Detected (very small leak)",
        "U0100 Lost Communication With ECM/PCM \"A\"",
    };
    for (const char *line : lines)
        QTest::newRow(QByteArray(line).left(5).constData()) << QString::fromLatin1(line);
}

void TstTroublecodeFile::wellKnownCodeHasExactMeaning()
{
    QFETCH(QString, line);
    const QString code = line.left(5);
    QVERIFY2(m_byCode.contains(code), qPrintable(code + " missing"));
    QCOMPARE(m_byCode.value(code), line);
}

void TstTroublecodeFile::wellKnownCodeHasKeyWords_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QStringList>("words");

    QTest::newRow("P000A") << "P000A" << QStringList{"\"A\" Camshaft Position", "Slow Response", "(Bank 1)"};
    QTest::newRow("P0087") << "P0087" << QStringList{"Fuel Rail", "Pressure", "Too Low"};
    QTest::newRow("P0101") << "P0101" << QStringList{"Air Flow", "Range/Performance"};
    QTest::newRow("P0113") << "P0113" << QStringList{"Intake Air Temperature", "High"};
    QTest::newRow("P0118") << "P0118" << QStringList{"Engine Coolant Temperature", "High"};
    QTest::newRow("P0128") << "P0128" << QStringList{"Thermostat", "Below"};
    QTest::newRow("P0135") << "P0135" << QStringList{"O2 Sensor Heater", "(Bank 1 Sensor 1)"};
    QTest::newRow("P0141") << "P0141" << QStringList{"O2 Sensor Heater", "(Bank 1 Sensor 2)"};
    QTest::newRow("P0155") << "P0155" << QStringList{"O2 Sensor Heater", "(Bank 2 Sensor 1)"};
    QTest::newRow("P0299") << "P0299" << QStringList{"Turbocharger/Supercharger", "Underboost"};
    QTest::newRow("P0335") << "P0335" << QStringList{"Crankshaft Position Sensor \"A\"", "Circuit"};
    QTest::newRow("P0340") << "P0340" << QStringList{"Camshaft Position Sensor \"A\"", "Bank 1"};
    QTest::newRow("P0401") << "P0401" << QStringList{"Exhaust Gas Recirculation", "Insufficient"};
    QTest::newRow("P0455") << "P0455" << QStringList{"Evaporative Emission", "Leak Detected", "gross leak"};
    QTest::newRow("P0457") << "P0457" << QStringList{"Evaporative Emission", "fuel cap"};
    QTest::newRow("P0500") << "P0500" << QStringList{"Vehicle Speed Sensor"};
    QTest::newRow("P0505") << "P0505" << QStringList{"Idle Air Control"};
    QTest::newRow("P0562") << "P0562" << QStringList{"System Voltage Low"};
    QTest::newRow("P0605") << "P0605" << QStringList{"Read Only Memory"};
    QTest::newRow("P0700") << "P0700" << QStringList{"Transmission Control System", "MIL Request"};
    QTest::newRow("P0741") << "P0741" << QStringList{"Torque Converter Clutch", "Stuck Off"};
    QTest::newRow("P2096") << "P2096" << QStringList{"Post Catalyst Fuel Trim", "Too Lean", "(Bank 1)"};
    QTest::newRow("P2135") << "P2135" << QStringList{"\"A\"/\"B\"", "Correlation"};
    QTest::newRow("P3400") << "P3400" << QStringList{"Cylinder Deactivation", "(Bank 1)"};
    QTest::newRow("P3497") << "P3497" << QStringList{"Cylinder Deactivation", "(Bank 2)"};
    QTest::newRow("U0001") << "U0001" << QStringList{"High Speed CAN", "Bus"};
    QTest::newRow("U0101") << "U0101" << QStringList{"Lost Communication", "TCM"};
    QTest::newRow("U0121") << "U0121" << QStringList{"Lost Communication", "Anti-Lock Brake"};
    QTest::newRow("U0140") << "U0140" << QStringList{"Lost Communication", "Body Control Module"};
    QTest::newRow("U0155") << "U0155" << QStringList{"Lost Communication", "Instrument Panel Cluster"};
    QTest::newRow("U0401") << "U0401" << QStringList{"Invalid Data", "ECM/PCM"};
}

void TstTroublecodeFile::wellKnownCodeHasKeyWords()
{
    QFETCH(QString, code);
    QFETCH(QStringList, words);
    QVERIFY2(m_byCode.contains(code), qPrintable(code + " missing"));
    const QString line = m_byCode.value(code);
    for (const QString &word : std::as_const(words))
        QVERIFY2(line.contains(word), qPrintable(QStringLiteral("'%1' lacks '%2'").arg(line, word)));
}

QTEST_APPLESS_MAIN(TstTroublecodeFile)
#include "tst_troublecode_file.moc"

// Reading replies: characters cut by 1-based position, and the two readers of two hexadecimal
// characters (the decoders' and the O2 sensor tests').
#include "core/Hex.h"

#include <QtTest>

using namespace quenta;

class tst_hex : public QObject {
    Q_OBJECT

private slots:
    void cut_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<int>("p");
        QTest::addColumn<int>("len");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("at"); // the character at p, empty beyond the reply
        QTest::newRow("first character") << "S4110" << 1 << 1 << "S" << "S";
        QTest::newRow("byte A of a reply") << "A4110C0CB4" << 7 << 2 << "0C" << "0";
        QTest::newRow("last character") << "A4110" << 5 << 1 << "0" << "0";
        QTest::newRow("running past the end: what is there") << "A4110" << 4 << 5 << "10" << "1";
        QTest::newRow("just beyond the end") << "A4110" << 6 << 2 << "" << "";
        QTest::newRow("far beyond the end") << "A4110" << 1000 << 2 << "" << "";
        QTest::newRow("position 0") << "A4110" << 0 << 2 << "" << "";
        QTest::newRow("negative position") << "A4110" << -3 << 2 << "" << "";
        QTest::newRow("no length") << "A4110" << 2 << 0 << "" << "4";
        QTest::newRow("negative length") << "A4110" << 2 << -1 << "" << "4";
        QTest::newRow("empty reply") << "" << 1 << 1 << "" << "";
    }
    void cut()
    {
        QFETCH(QString, reply);
        QFETCH(int, p);
        QFETCH(int, len);
        QFETCH(QString, text);
        QFETCH(QString, at);
        QCOMPARE(quenta::cut(reply, p, len), text);
        QCOMPARE(charAt(reply, p), at.isEmpty() ? QChar() : at.at(0));
    }

    void convHex_data()
    {
        QTest::addColumn<QString>("in");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("after"); // the argument after the call
        QTest::newRow("00") << "00" << 0 << "00";
        QTest::newRow("FF") << "FF" << 255 << "FF";
        QTest::newRow("7F") << "7F" << 127 << "7F";
        QTest::newRow("A0") << "A0" << 160 << "A0";
        QTest::newRow("9F") << "9F" << 159 << "9F";
        QTest::newRow("empty becomes 00") << "" << 0 << "00";
        QTest::newRow("lowercase a0 exceeds 255: 128") << "a0" << 128 << "a0";
        QTest::newRow("lowercase low digit 0a") << "0a" << 42 << "0a";
        QTest::newRow("blank counts as 0") << " 5" << 5 << " 5";
        QTest::newRow("one character: missing low digit is 0") << "5" << 80 << "5";
        QTest::newRow("status S in a byte: 128") << "S0" << 128 << "S0";
        QTest::newRow("G1 just above 255: 128") << "G1" << 128 << "G1";
        QTest::newRow("G0 exactly 256: 128") << "G0" << 128 << "G0";
        QTest::newRow("FG: 15*16+16 = 256: 128") << "FG" << 128 << "FG";
        QTest::newRow("F@: @ is 16 after the letter shift") << "F@" << 249 << "F@";
    }
    void convHex()
    {
        QFETCH(QString, in);
        QFETCH(int, value);
        QFETCH(QString, after);
        QString arg = in;
        QCOMPARE(conv_hex(arg), value);
        QCOMPARE(arg, after);
        QCOMPARE(conv_hex(static_cast<const QString &>(in)), value);
    }

    void hexPairValue_data()
    {
        QTest::addColumn<QString>("in");
        QTest::addColumn<int>("value");
        QTest::newRow("00") << "00" << 0;
        QTest::newRow("FF") << "FF" << 255;
        QTest::newRow("33") << "33" << 51;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("one character") << "5" << 80;
        QTest::newRow("no cap at 255: S0") << "S0" << 448;
        QTest::newRow("lowercase a is code - 55") << "a0" << 672;
    }
    void hexPairValue()
    {
        QFETCH(QString, in);
        QFETCH(int, value);
        QCOMPARE(hex_pair_value(in), value);
    }
};

QTEST_APPLESS_MAIN(tst_hex)
#include "tst_hex.moc"

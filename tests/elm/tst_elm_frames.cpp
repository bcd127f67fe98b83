// An adapter's answer read as what each ECU sent: echo, SEARCHING..., CAN 11- and 29-bit frames with
// ISO-TP assembled per ECU, legacy frames and their checks, the adapter's own words, other text.
#include "elm/ElmFrames.h"

#include <QtTest>

using namespace quenta::elm;

Q_DECLARE_METATYPE(quenta::elm::Protocol)

class tst_elm_frames : public QObject {
    Q_OBJECT
private slots:
    void parse_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<Protocol>("protocol");
        QTest::addColumn<QString>("messages"); // "id:hex" per message, in order
        QTest::addColumn<QString>("words");    // the words' numbers
        QTest::addColumn<int>("broken");
        QTest::addColumn<QByteArrayList>("lines");
        const QByteArrayList none;
        QTest::newRow("11-bit, echo and searching")
            << QByteArray("010C1\r\rSEARCHING...\r7E8 04 41 0C 1A F8 \r\r>") << Protocol::Can11 << "7e8:410c1af8" << "" << 0 << none;
        QTest::newRow("29-bit") << QByteArray("18 DA F1 10 03 41 0D 3C\r18DAF11803410D00\r>") << Protocol::Can29
                                << "18daf110:410d3c 18daf118:410d00" << "" << 0 << none;
        QTest::newRow("consecutive out of order") << QByteArray("7E8 10 09 43 03 01 71 03 01\r7E8 22 04 20 00\r>")
                                                  << Protocol::Can11 << "" << "" << 2 << none;
        QTest::newRow("ISO, sum checked") << QByteArray("48 6B 10 41 0C 1A F8 22\r48 6B 18 41 0C 1A F8 13\r>")
                                          << Protocol::Iso << "10:410c1af8" << "" << 1 << none;
        // 48 6B 10 41 0D 3C with its J1850 CRC.
        QTest::newRow("J1850, CRC checked") << QByteArray("486B10410D3C") + QByteArray::number(j1850Crc(QByteArray::fromHex("486B10410D3C")), 16).rightJustified(2, '0').toUpper() + "\r486B10410D3C00\r>"
                                            << Protocol::J1850 << "10:410d3c" << "" << 1 << none;
        QTest::newRow("bus init then data") << QByteArray("BUS INIT: ...OK\r48 6B 10 44 07\r>") << Protocol::Iso << "10:44" << "" << 0 << none;
        QTest::newRow("bus init error") << QByteArray("BUS INIT: ...ERROR\r>") << Protocol::Iso << "" << "4" << 0 << none;
        QTest::newRow("adapter words") << QByteArray("NO DATA\r?\rSTOPPED\rUNABLE TO CONNECT\rCAN ERROR\rBUS ERROR\rBUS BUSY\rDATA ERROR\rBUFFER FULL\r>")
                                       << Protocol::Can11 << "" << "0 1 2 3 5 6 7 8 10" << 0 << none;
        QTest::newRow("frame marked bad") << QByteArray("7E8 04 41 0C 1A F8 <DATA ERROR\r>") << Protocol::Can11 << "" << "9" << 0 << none;
        // Hexadecimal that cannot be a frame (too short, an odd count after the id) is text.
        QTest::newRow("not frames") << QByteArray("4100\r7E8 04 41 0\r18DAF1\r>") << Protocol::Iso << "" << "" << 0
                                    << QByteArrayList{"4100", "7E8 04 41 0", "18DAF1"};
        QTest::newRow("other text kept, nothing after the prompt")
            << QByteArray("ATI\r\rELM327 v1.5\r\rOK\r>7E8 04 41 0C 1A F8") << Protocol::Can11 << "" << "" << 0
            << QByteArrayList{"ELM327 v1.5", "OK"};
    }
    void parse()
    {
        QFETCH(QByteArray, text);
        QFETCH(Protocol, protocol);
        QFETCH(QString, messages);
        QFETCH(QString, words);
        QFETCH(int, broken);
        QFETCH(QByteArrayList, lines);
        const QByteArray sent = text.startsWith("ATI") ? "ATI" : "010C1";
        const Answer a = parseAnswer(text, protocol, sent);
        QStringList got;
        for (const EcuMessage &m : a.messages)
            got << QString::number(m.id, 16) + ':' + QString::fromLatin1(m.bytes.toHex());
        QCOMPARE(got.join(' '), messages);
        QStringList w;
        for (Word x : a.words)
            w << QString::number(int(x));
        QCOMPARE(w.join(' '), words);
        QCOMPARE(a.broken, broken);
        QCOMPARE(a.lines, lines);
    }

    void protocolNumbers()
    {
        const QList<QPair<QByteArray, Protocol>> rows{{"A6", Protocol::Can11}, {"7", Protocol::Can29}, {"A3", Protocol::Iso},
                                                      {"2", Protocol::J1850}, {"A0", Protocol::Unknown}, {"?", Protocol::Unknown}};
        for (const auto &[text, protocol] : rows)
            QCOMPARE(protocolFromNumber(text), protocol);
        QCOMPARE(j1850Crc("123456789"), quint8(0x4B)); // the CRC-8's standard check value
        QCOMPARE(parseAnswer("7E8 04 41 0C 1A F8\r>", Protocol::Can11).messages.size(), 1); // nothing sent, no echo to drop
    }
};

QTEST_GUILESS_MAIN(tst_elm_frames)
#include "tst_elm_frames.moc"

// The adapter session over TCP against a small scripted adapter, for what a simulated adapter
// does not do on purpose: a clone that echoes after ATE0 and splits every answer, an adapter that
// stops answering, a dropped connection. It also counts every line written before the prompt.
#include "ManualClock.h"

#include "elm/ElmSession.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <functional>

using namespace quenta;
using namespace quenta::elm;

namespace {

class ScriptedAdapter : public QObject {
    Q_OBJECT
public:
    // The answer to a line, without its prompt; nothing: the adapter never answers it.
    std::function<std::optional<QByteArray>(const QByteArray &)> script;
    QByteArrayList lines;
    int beforePrompt = 0; // lines that came while an answer was still going out
    QTcpServer server;
    QPointer<QTcpSocket> socket;

    ScriptedAdapter()
    {
        server.listen(QHostAddress::LocalHost);
        connect(&server, &QTcpServer::newConnection, this, [this] {
            socket = server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, this, &ScriptedAdapter::onRead);
        });
    }

signals:
    void lineReceived();

private:
    void onRead()
    {
        m_in += socket->readAll();
        qsizetype end;
        while ((end = m_in.indexOf('\r')) >= 0) {
            const QByteArray line = m_in.left(end);
            m_in.remove(0, end + 1);
            lines << line;
            if (m_answering)
                ++beforePrompt;
            emit lineReceived();
            const std::optional<QByteArray> a = script(line);
            if (!a)
                continue;
            // A clone: the echo even after ATE0, and the answer in two pieces.
            const QByteArray all = line + '\r' + *a + "\r\r>";
            m_answering = true;
            socket->write(all.left(all.size() / 2));
            QTimer::singleShot(1, this, [this, rest = all.mid(all.size() / 2)] {
                m_answering = false;
                if (socket)
                    socket->write(rest);
            });
        }
    }
    QByteArray m_in;
    bool m_answering = false;
};

std::optional<QByteArray> car(const QByteArray &line)
{
    if (line == "ATZ")
        return QByteArray("\rELM327 v1.5");
    if (line == "0100")
        return QByteArray("SEARCHING...\r7E9 06 41 00 98 18 80 11\r7E8 06 41 00 BE 3F A8 13");
    if (line == "ATDPN")
        return QByteArray("A6");
    if (line.startsWith("AT"))
        return QByteArray("OK");
    if (line == "010C1")
        return QByteArray("7E8 04 41 0C 1A F8");
    if (line == "010D1")
        return std::nullopt;
    return QByteArray("?");
}

struct Rig {
    ManualClock clock;
    ScriptedAdapter adapter;
    QTcpSocket socket;
    std::unique_ptr<ElmSession> session;

    bool connectAndStart()
    {
        adapter.script = car;
        socket.connectToHost(QHostAddress::LocalHost, adapter.server.serverPort());
        if (!socket.waitForConnected(5000))
            return false;
        session = std::make_unique<ElmSession>(socket, clock);
        QSignalSpy ready(session.get(), &ElmSession::ready);
        session->start();
        return ready.wait(10000);
    }
};

} // namespace

class tst_elm_session : public QObject {
    Q_OBJECT
private slots:
    void connectsAndAsks()
    {
        Rig rig;
        QVERIFY(rig.connectAndStart());
        QCOMPARE(rig.adapter.lines, (QByteArrayList{"\x7F\x7F", "ATZ", "ATE0", "ATL0", "ATS0", "ATH1", "ATAT1", "ATSP0", "0100", "ATDPN"}));
        QCOMPARE(rig.session->protocol(), Protocol::Can11);
        QCOMPARE(rig.session->ecus(), (QList<quint32>{0x7E8, 0x7E9}));
        QCOMPARE(rig.session->version(), QByteArray("ELM327 v1.5"));

        // Two requests at once: the second goes only after the first one's prompt.
        QList<Answer> answers;
        QSignalSpy answered(rig.session.get(), &ElmSession::answered);
        rig.session->request("010C1", [&](const Answer &a) { answers << a; });
        rig.session->request("0902", [&](const Answer &a) { answers << a; });
        QTRY_COMPARE(answers.size(), 2);
        QCOMPARE(answers[0].messages.size(), 1);
        QCOMPARE(answers[0].messages[0].bytes, QByteArray::fromHex("410C1AF8"));
        QVERIFY(answers[1].has(Word::Unknown));
        QCOMPARE(rig.adapter.beforePrompt, 0);
        QVERIFY(!rig.session->hasFailed());
    }

    void adapterStopsAnswering()
    {
        Rig rig;
        QVERIFY(rig.connectAndStart());
        QSignalSpy failed(rig.session.get(), &ElmSession::failed);
        QSignalSpy heard(&rig.adapter, &ScriptedAdapter::lineReceived);
        bool called = false;
        rig.session->request("010D1", [&](const Answer &) { called = true; });
        rig.session->request("010C1", [&](const Answer &) { called = true; });
        QVERIFY(heard.wait(5000));
        rig.clock.wait(ElmSession::Options{}.requestBoundMs - 1);
        QCOMPARE(failed.size(), 0);
        rig.clock.wait(2);
        QCOMPARE(failed.size(), 1);
        QVERIFY(failed[0][0].toString().contains(QLatin1String("010D1")));
        QVERIFY(!called);
        // The queue went with the session: nothing more is written.
        QCOMPARE(rig.session->queued(), 0);
        QCOMPARE(rig.adapter.lines.last(), QByteArray("010D1"));
    }

    void connectionDropped()
    {
        Rig rig;
        QVERIFY(rig.connectAndStart());
        QSignalSpy failed(rig.session.get(), &ElmSession::failed);
        rig.adapter.socket->close();
        QVERIFY(failed.wait(5000));
        QCOMPARE(failed.size(), 1);
        QVERIFY(rig.session->hasFailed());
    }
};

QTEST_GUILESS_MAIN(tst_elm_session)
#include "tst_elm_session.moc"

#pragma once
// The car the adapter tests read through the tool and the simulated ELM327; the adapter as a device.
#include "sim/SimulatedElm.h"
#include "sim/VehicleProfile.h"

#include <QIODevice>

namespace elmtest {

using namespace quenta;
using namespace quenta::sim;

// Two ECUs with fixed values only, so the tool and the adapter read the same car; the second has two
// stored codes and answers no freeze frame request with the frame number.
inline QByteArray carJson(const QString &protocol, const QString &firstEcuExtra = {})
{
    return QStringLiteral(R"({"protocol":"%1","ecu_response_ms":10,"latency_ms":0,"status_period_ms":10,"firmware":"3.40",
      "adapter":{"search_ms":300},
      "ecus":[{"address":"10","pids":{"01":"8207E504","04":"64","05":"7B","06":"82","07":"7E","0C":"1AF8","0D":"3C",
                                      "10":"0190","13":"01","14":"5A80","15":"3280","18":"6080","19":"4A80","1C":"01"},
               "freeze":{"02":"0301","04":"A0","05":"82","0C":"1AF8"},
               "stored":["P0301","P0420","P0171"],"pending":["P0171"],
               "o2_services":["05"],"o2_tests":{"B1S1":{"01":"5A","05":"190064"}},
               "mode6":[{"test":"01","component":"01","value":"01F4","limit":"03E8","kind":"max","other_limit":"0064"}]%2},
              {"address":"18","pids":{"01":"00040000","0C":"0BB8"},"stored":["P0700","U0100"],"freeze_without_frame":true}]})")
        .arg(protocol, firstEcuExtra)
        .toUtf8();
}

// The simulated adapter in-process, as a byte device for the port; it counts the writes that came
// while the adapter was still answering (a real one would have stopped).
class ElmPipe : public QIODevice {
public:
    explicit ElmPipe(SimulatedElm &elm) : m_elm(elm)
    {
        connect(&elm, &SimulatedElm::transmit, this, [this](const QByteArray &d) {
            m_in += d;
            emit readyRead();
        });
        open(QIODevice::ReadWrite);
    }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return m_in.size() + QIODevice::bytesAvailable(); }
    int whileBusy = 0;

protected:
    qint64 readData(char *data, qint64 max) override
    {
        const qint64 n = qMin<qint64>(max, m_in.size());
        memcpy(data, m_in.constData(), size_t(n));
        m_in.remove(0, n);
        return n;
    }
    qint64 writeData(const char *data, qint64 n) override
    {
        whileBusy += m_elm.busy();
        m_elm.receive(QByteArray(data, int(n)));
        return n;
    }

private:
    SimulatedElm &m_elm;
    QByteArray m_in;
};

} // namespace elmtest

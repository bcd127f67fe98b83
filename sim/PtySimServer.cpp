#include "sim/PtySimServer.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace quenta::sim {

namespace {
speed_t speedConstant(int baud)
{
    switch (baud) {
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B0;
    }
}
} // namespace

PtySimServer::PtySimServer(SimulatedScanTool *tool, int baud, QObject *parent) : QObject(parent), m_baud(baud)
{
    serve(tool);
}

PtySimServer::PtySimServer(SimulatedElm *adapter, int baud, QObject *parent) : QObject(parent), m_baud(baud)
{
    serve(adapter);
}

template <typename Device> void PtySimServer::serve(Device *device)
{
    m_receive = [device](const QByteArray &data) { device->receive(data); };
    m_start = [device] { device->start(); };
    m_stop = [device] { device->stop(); };
    m_setBaud = [device](int baud) { device->setBaud(baud); };
    connect(device, &Device::transmit, this, &PtySimServer::onTransmit);
}

PtySimServer::~PtySimServer()
{
    closeLine();
}

bool PtySimServer::start(QString *error)
{
    auto fail = [&](const char *what) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
        closeLine();
        return false;
    };
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_master < 0)
        return fail("posix_openpt");
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0)
        return fail("grantpt/unlockpt");
    const char *name = ptsname(m_master);
    if (!name)
        return fail("ptsname");
    m_path = QString::fromLocal8Bit(name);
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_slave < 0)
        return fail("open slave");
    // Raw at the line's speed until the program sets its own mode: no echo of the tool's own output.
    termios t{};
    tcgetattr(m_slave, &t);
    cfmakeraw(&t);
    if (const speed_t s = speedConstant(m_baud); s != B0) {
        cfsetispeed(&t, s);
        cfsetospeed(&t, s);
    }
    tcsetattr(m_slave, TCSANOW, &t);

    m_notifier = std::make_unique<QSocketNotifier>(m_master, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &PtySimServer::onReadable);
    m_setBaud(m_baud);
    m_start();
    return true;
}

void PtySimServer::closeLine()
{
    m_notifier.reset();
    if (m_master >= 0)
        m_stop();
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
    m_master = m_slave = -1;
}

bool PtySimServer::speedMatches() const
{
    // The master reports the terminal settings the program gave its end of the line.
    termios t{};
    if (m_master < 0 || tcgetattr(m_master, &t) != 0)
        return true;
    const speed_t expected = speedConstant(m_baud);
    return expected == B0 || cfgetospeed(&t) == expected;
}

void PtySimServer::onReadable()
{
    char buf[256];
    for (;;) {
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n > 0) {
            m_receive(QByteArray(buf, int(n)));
            continue;
        }
        break;
    }
}

void PtySimServer::onTransmit(const QByteArray &data)
{
    if (m_master < 0)
        return;
    // At the wrong speed the program hears noise, as it would on a real line.
    const QByteArray out = speedMatches() ? data : QByteArray(data.size(), char(0xFF));
    qsizetype done = 0;
    while (done < out.size()) {
        const ssize_t n = ::write(m_master, out.constData() + done, size_t(out.size() - done));
        if (n <= 0)
            break; // nobody is reading and the line is full: the tool's words are lost, as on a wire
        done += n;
    }
}

} // namespace quenta::sim

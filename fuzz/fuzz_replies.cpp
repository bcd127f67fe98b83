// Fuzz target: every operation and every decoder fed arbitrary replies. The tool behind the port
// sends its status "S" while idle and answers each command with the next slice of the input, so
// the readers meet whatever a broken line could bring: any bytes, any length, at any place.
#include "ScriptedPort.h"

#include "program/Program.h"
#include "pids/Decoders.h"
#include "link/Reply.h"
#include "services/ClearCodes.h"
#include "services/CurrentData.h"
#include "services/FreezeFrame.h"
#include "services/TroubleCodes.h"

#include <QCoreApplication>

#include <cstddef>
#include <cstdint>

using namespace quenta;

namespace {

struct QuietPrompts : Prompts {
    void message(const QString &, const QString &, Icon) override {}
    bool askYesNo(const QString &, const QString &, Icon, bool) override { return true; }
    QString askSaveFileName(const QString &, const QString &, const QString &) override { return QString(); }
};

// A command's slice of the input starts with a byte that says how long it is.
struct FuzzPort : ScriptedPort {
    FuzzPort(const uint8_t *data, size_t size) : m_data(data), m_size(size)
    {
        buffer = "S";
        onWrite = [this](const QByteArray &) {
            buffer.clear();
            if (m_at < m_size) {
                const size_t n = qMin<size_t>(m_data[m_at++] % 48, m_size - m_at);
                buffer = QByteArray(reinterpret_cast<const char *>(m_data + m_at), qsizetype(n));
                m_at += n;
            }
        };
    }
    bool input(QByteArray *data, QString *error) override
    {
        ScriptedPort::input(data, error);
        if (m_at < m_size)
            buffer = "S";
        return true;
    }

    const uint8_t *m_data;
    size_t m_size;
    size_t m_at = 0;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The readers on their own, for every fixed command.
    const QString text = QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size));
    for (int frame : {0, 1}) {
        const Reply reply(text, frame);
        for (const ToolCommand &c : {commands::SupportedPids01To20, commands::MonitorStatus, commands::FreezeFrameSupport,
                                     commands::StoredCodes, commands::PendingCodes, commands::ClearCodes})
            (void)reply.check(c);
        (void)reply.ecuAddress();
        for (int i = 0; i < 4; ++i)
            (void)reply.byte(i);
    }

    // Every operation and decoder against a tool that answers with the input.
    QuietPrompts prompts;
    Program program(prompts, PortDirectory());
    program.link.operationBoundMs = 1;
    program.connection.setPort(std::make_unique<FuzzPort>(data, size));
    program.currentData.request();
    program.troubleCodes.request();
    program.clearCodes.clear();
    program.freezeFrame.request();
    ScanToolLink::Bound bound(program.link, program.link.operationBoundMs);
    Decoders decoders(program.pidContext);
    program.settings.PID_mode = QStringLiteral("01");
    for (int pid : Decoders::valuePids())
        (void)decoders.read(pid);
    return 0;
}

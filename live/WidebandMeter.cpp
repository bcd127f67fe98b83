#include "live/WidebandMeter.h"

#include "pids/Decoders.h"
#include "pids/numtext.h"

#include <cmath>

namespace quenta {

WidebandMeter::WidebandMeter(const LiveParts &parts, QObject *parent) : QObject(parent), m_p(parts)
{
    m_samples.setColumns({SampleColumn{QStringLiteral("WBO2 Current"), QStringLiteral("mA")},
                          SampleColumn{QStringLiteral("WBO2 Lambda"), QString()},
                          SampleColumn{QStringLiteral("A/F Ratio"), QString()}});
}

WidebandMeter::~WidebandMeter() = default;

double WidebandMeter::airFuelRatio(double currentMa, double lambda)
{
    const double ratio = currentMa * CurrentSlope + CurrentOffset;
    // A lean mixture: the sensor current no longer tells the ratio well, lambda does.
    return ratio > LeanRatio ? lambda * LeanRatio : ratio;
}

void WidebandMeter::Command1_Click()
{
    if (m_running)
        return;
    m_running = true;
    m_p.context.settings.logger_stop = false;
    m_saveFlag = false;
    status = QStringLiteral("RUNNING");
    emit changed();
    m_p.timing.Start();
    m_samples.clear();
    QString error;
    m_recovery = RecoveryFile::create(QStringLiteral("wideband"), LogHeader::wideband(), &error);
    if (!m_recovery)
        m_p.prompts.message(QStringLiteral("The samples cannot be kept safe while they are taken (%1): "
                                           "they are only in memory until the log is saved.")
                                .arg(error),
                            QString(), Prompts::Icon::Exclamation);
    qint64 nextMs = 0;
    int counter = 0;
    while (!m_p.context.settings.logger_stop && !m_p.context.link.ended()) {
        const qint64 now = std::llround(m_p.timing.CurrentTime() * 1000);
        if (now < nextMs) {
            // Events go on meanwhile, so Stop and EXIT act at once.
            m_p.clock.wait(int(nextMs - now));
            continue;
        }
        nextMs += PeriodMs;
        sample();
        ++counter;
        if (afterSample)
            afterSample(counter);
        if (counter >= CounterLimit)
            break;
    }
    m_p.timing.Finish();
    finishRun();
}

void WidebandMeter::sample()
{
    Decoders decoders(m_p.context);
    std::optional<double> current, lambda, ratio;
    {
        ScanToolLink::Bound bound(m_p.context.link);
        const Decoders::Wideband w = decoders.wideband(QStringLiteral("01"), QStringLiteral("34"));
        // Without a good reply there is no lambda, no current and so no ratio: nothing made up.
        if (valueAnswered(m_p, w.lambda) && !w.lambda.text.isEmpty()) {
            lambda = w.lambda.value;
            current = w.currentMa;
            ratio = airFuelRatio(*current, *lambda);
        }
        lambdaText = numtext::first(w.lambda.text, 6);
    }
    Reading rpm;
    {
        ScanToolLink::Bound bound(m_p.context.link);
        rpm = decoders.read(0x0C);
    }
    rpmText = valueAnswered(m_p, rpm) ? numtext::format(rpm.value, QStringLiteral("0000")) : QString();
    ratioText = ratio ? numtext::first(numtext::text(*ratio), 6) : QString();
    const double elapsed = m_p.timing.CurrentTime();
    const QList<std::optional<double>> values{current, lambda, ratio};
    m_samples.append(elapsed, values);
    if (m_recovery)
        m_recovery->append(logfile::row(values, std::nullopt), m_p.clock.tickMs());
    emit changed();
}

void WidebandMeter::finishRun()
{
    startEnabled = false;
    emit changed();
    m_savedTo.clear();
    if (m_samples.rowCount() > 0) {
        const QByteArray content = LogHeader::wideband().bytes() + logfile::rows(m_samples, false);
        m_savedTo = logfile::save(m_p.prompts, QStringLiteral("Save Wideband Log"), QStringLiteral("wideband.log"), content,
                                  m_recovery);
    } else if (m_recovery) {
        m_recovery->remove();
    }
    m_recovery.reset();
    startEnabled = true;
    m_running = false;
    emit changed();
    if (!m_saveFlag) {
        emit closeRequested();
        emit showMainRequested();
    }
}

void WidebandMeter::Command2_Click()
{
    m_p.context.settings.logger_stop = true;
    m_saveFlag = true;
    status = QStringLiteral("Press Start To Run");
    emit changed();
    m_p.clock.wake();
}

void WidebandMeter::Cancel_Click()
{
    m_p.context.settings.logger_stop = true;
    m_p.clock.wake();
    emit closeRequested();
    emit showMainRequested();
}

} // namespace quenta

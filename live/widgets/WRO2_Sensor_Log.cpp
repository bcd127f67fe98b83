#include "live/widgets/WRO2_Sensor_Log.h"
#include "core/ControlNames.h"
#include "platform/widgets/Fonts.h"


#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quenta {

namespace n = names::wideband;

namespace {

QLineEdit *box(const QString &name, const QString &text, bool large, QWidget *parent)
{
    auto *b = new QLineEdit(text, parent);
    b->setObjectName(name);
    b->setReadOnly(true);
    b->setAlignment(Qt::AlignCenter);
    b->setFont(namedFont(QStringLiteral("Courier New"), QFont::TypeWriter, large ? 26 : 12, true));
    // Room for six characters of a value.
    b->setMinimumWidth(b->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 24);
    return b;
}

} // namespace

WRO2_Sensor_Log::WRO2_Sensor_Log(const LiveParts &parts, QWidget *parent)
    : QWidget(parent, Qt::Window), m_meter(parts)
{
    setObjectName(n::WRO2_Sensor_Log);
    setWindowTitle(Caption);
    setAttribute(Qt::WA_DeleteOnClose);

    heading = new QLabel(Heading, this);
    heading->setAlignment(Qt::AlignCenter);
    QFont headingFont = heading->font();
    headingFont.setPointSize(14);
    headingFont.setBold(true);
    heading->setFont(headingFont);

    Display1_name = box(n::Display1_name, QStringLiteral("Lambda"), false, this);
    Display1_value = box(n::Display1_value, QString(), true, this);
    Display2_name = box(n::Display2_name, QStringLiteral("A/F Ratio"), false, this);
    Display2_value = box(n::Display2_value, QString(), true, this);
    Text1 = box(n::Text1, QStringLiteral("RPM"), false, this);
    Text2 = box(n::Text2, QString(), true, this);
    Label2 = new QLabel(this);
    Label2->setObjectName(n::Label2);
    Label2->setAlignment(Qt::AlignCenter);
    QFont statusFont = Label2->font();
    statusFont.setPointSize(12);
    statusFont.setBold(true);
    Label2->setFont(statusFont);
    Command1 = new QPushButton(QStringLiteral("Start"), this);
    Command1->setObjectName(n::Command1);
    Command2 = new QPushButton(QStringLiteral("Stop"), this);
    Command2->setObjectName(n::Command2);
    Cancel = new QPushButton(QStringLiteral("EXIT"), this);
    Cancel->setObjectName(n::Cancel);

    auto *grid = new QGridLayout;
    grid->addWidget(Display1_name, 0, 0);
    grid->addWidget(Display2_name, 0, 1);
    grid->addWidget(Text1, 0, 2);
    grid->addWidget(Display1_value, 1, 0);
    grid->addWidget(Display2_value, 1, 1);
    grid->addWidget(Text2, 1, 2);
    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {Command1, Command2, Cancel}) {
        b->setMinimumHeight(32);
        buttons->addWidget(b);
    }
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addLayout(grid);
    layout->addWidget(Label2);
    layout->addLayout(buttons);

    connect(Command1, &QPushButton::clicked, &m_meter, &WidebandMeter::Command1_Click);
    connect(Command2, &QPushButton::clicked, &m_meter, &WidebandMeter::Command2_Click);
    connect(Cancel, &QPushButton::clicked, &m_meter, &WidebandMeter::Cancel_Click);
    connect(&m_meter, &WidebandMeter::changed, this, &WRO2_Sensor_Log::showState);
    connect(&m_meter, &WidebandMeter::closeRequested, this, &WRO2_Sensor_Log::closeWhenIdle);
    connect(&m_meter, &WidebandMeter::showMainRequested, this, &WRO2_Sensor_Log::showMainRequested);
    showState();
}

void WRO2_Sensor_Log::showState()
{
    Display1_value->setText(m_meter.lambdaText);
    Display2_value->setText(m_meter.ratioText);
    Text2->setText(m_meter.rpmText);
    Label2->setText(m_meter.status);
    Command1->setEnabled(m_meter.startEnabled);
}

void WRO2_Sensor_Log::closeWhenIdle()
{
    hide();
    // A run still going on inside Start ends at its next check and offers its file; the window
    // goes once that has returned.
    if (!m_meter.running()) {
        m_closing = true;
        close();
    }
}

void WRO2_Sensor_Log::closeEvent(QCloseEvent *event)
{
    if (m_closing) {
        event->accept();
        return;
    }
    // The title bar's close is EXIT.
    event->ignore();
    m_meter.Cancel_Click();
}

} // namespace quenta

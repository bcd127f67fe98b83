#include "live/widgets/frmFuel_Trim.h"
#include "core/ControlNames.h"
#include "platform/widgets/Fonts.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace quenta {

namespace n = names::fuelTrim;

frmFuel_Trim::frmFuel_Trim(const LiveParts &parts, QWidget *parent)
    : QWidget(parent, Qt::Window), m_monitor(parts)
{
    setObjectName(n::frmFuel_Trim);
    setWindowTitle(FuelTrimMonitor::Heading);

    Label5 = new QLabel(FuelTrimMonitor::Heading, this);
    Label5->setObjectName(n::Label5);
    Label5->setAlignment(Qt::AlignCenter);
    QFont heading = Label5->font();
    heading.setPointSize(14);
    heading.setBold(true);
    Label5->setFont(heading);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label5);
    const QFont rowFont = namedFont(QStringLiteral("Courier New"), QFont::TypeWriter, 12, true);
    QLabel **rows[] = {&Label1, &Label2, &Label3, &Label4};
    for (int i = 0; i < 4; ++i) {
        QLabel *row = new QLabel(this);
        row->setObjectName(n::row(i + 1));
        row->setFont(rowFont);
        // Room for the longest row with a three-digit trim, so nothing is cut off.
        row->setMinimumWidth(row->fontMetrics().horizontalAdvance(QStringLiteral("Long  Term Fuel Trim B2 ---- -100%")) + 8);
        *rows[i] = row;
        layout->addWidget(row);
    }
    Command1 = new QPushButton(QStringLiteral("EXIT"), this);
    Command1->setObjectName(n::Command1);
    Command1->setMinimumHeight(32);
    layout->addWidget(Command1, 0, Qt::AlignHCenter);
    Option1 = new QRadioButton(this);
    Option1->setObjectName(n::Option1);
    Option1->setVisible(false);

    connect(Command1, &QPushButton::clicked, &m_monitor, &FuelTrimMonitor::Command1_Click);
    connect(&m_monitor, &FuelTrimMonitor::optionChosen, Option1, [this] { Option1->setChecked(true); });
    connect(&m_monitor, &FuelTrimMonitor::labelsChanged, this, [this] {
        const QStringList texts = m_monitor.labels();
        QLabel *labels[] = {Label1, Label2, Label3, Label4};
        for (int i = 0; i < 4; ++i)
            labels[i]->setText(texts[i]);
    });
    connect(&m_monitor, &FuelTrimMonitor::repaintRequested, this, [this] { repaint(); });
    connect(&m_monitor, &FuelTrimMonitor::hideRequested, this, &QWidget::hide);
}

void frmFuel_Trim::closeEvent(QCloseEvent *event)
{
    if (m_monitor.running())
        m_monitor.Command1_Click();
    event->accept();
}

} // namespace quenta

#include "live/widgets/Chart.h"
#include "core/ControlNames.h"
#include "platform/widgets/Fonts.h"

#include "platform/widgets/StripChartView.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace quenta {

namespace n = names::chart;

namespace {

QPushButton *button(const QString &name, const QString &caption, const QColor &back, QWidget *parent)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setMinimumHeight(30);
    QPalette palette = b->palette();
    palette.setColor(QPalette::Button, back);
    palette.setColor(QPalette::ButtonText, Qt::black);
    b->setPalette(palette);
    b->setAutoFillBackground(true);
    // The style sheet makes the colour show under every widget style.
    b->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; color: black; border: 1px solid #404040; "
                                    "padding: 4px 12px; } QPushButton:pressed { border: 2px inset #202020; }")
                         .arg(back.name()));
    return b;
}

} // namespace

Chart::Chart(const LiveParts &parts, QWidget *parent)
    : QWidget(parent, Qt::Window), m_strip(parts.clock), m_display(parts, m_strip)
{
    setObjectName(n::Chart);
    setWindowTitle(Caption);

    iStripChartX1 = new StripChartView(m_strip, parts.prompts, this);
    iStripChartX1->setObjectName(n::iStripChartX1);

    lblValText = new QLabel(this);
    lblValText->setObjectName(n::lblValText);
    QFont labelFont = lblValText->font();
    labelFont.setPointSize(11);
    labelFont.setBold(true);
    lblValText->setFont(labelFont);

    txbValue = new QLineEdit(this);
    txbValue->setObjectName(n::txbValue);
    txbValue->setReadOnly(true);
    txbValue->setFont(namedFont(QStringLiteral("Courier New"), QFont::TypeWriter, 14, true));
    txbValue->setMinimumWidth(txbValue->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 16);

    const QColor green(0x00, 0xFF, 0x00);
    cmdFreeze = button(n::cmdFreeze, QStringLiteral("Freeze"), QColor(0x00, 0xFF, 0xFF), this);
    Stop1 = button(n::Stop1, QStringLiteral("STOP"), QColor(0xFF, 0x00, 0x00), this);
    Stop1->setFont(namedFont(QStringLiteral("Courier"), QFont::TypeWriter, 12, true));
    cmdShowHideToolbar = button(n::cmdShowHideToolbar, QStringLiteral("Show/Hide Toolbar"), green, this);
    cmdResetChart = button(n::cmdResetChart, QStringLiteral("Reset"), green, this);
    cmdClearData = button(n::cmdClearData, QStringLiteral("Clear"), green, this);

    optFlag = new QRadioButton(this);
    optFlag->setObjectName(n::optFlag);
    optFlag->setVisible(false);
    optFlag->setAutoExclusive(false);

    auto *value = new QHBoxLayout;
    value->addWidget(lblValText, 1);
    value->addWidget(txbValue);
    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {cmdFreeze, Stop1, cmdShowHideToolbar, cmdResetChart, cmdClearData})
        buttons->addWidget(b);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(iStripChartX1, 1);
    layout->addLayout(value);
    layout->addLayout(buttons);

    connect(cmdFreeze, &QPushButton::clicked, &m_display, &RealTimeDisplay::cmdFreeze_Click);
    connect(Stop1, &QPushButton::clicked, &m_display, &RealTimeDisplay::Stop1_Click);
    connect(cmdShowHideToolbar, &QPushButton::clicked, &m_display, &RealTimeDisplay::cmdShowHideToolbar_Click);
    connect(cmdResetChart, &QPushButton::clicked, &m_display, &RealTimeDisplay::cmdResetChart_Click);
    connect(cmdClearData, &QPushButton::clicked, &m_display, &RealTimeDisplay::cmdClearData_Click);
    connect(&m_display, &RealTimeDisplay::stopFlagChanged, optFlag, &QRadioButton::setChecked);
    connect(&m_display, &RealTimeDisplay::hideRequested, this, &QWidget::hide);
    connect(&m_display, &RealTimeDisplay::textsChanged, this, [this] {
        txbValue->setText(m_display.txbValue());
        lblValText->setText(m_display.lblValText());
    });
    resize(760, 520);
}

void Chart::closeEvent(QCloseEvent *event)
{
    if (!m_closing)
        m_display.Stop1_Click();
    event->accept();
}

void Chart::unload()
{
    m_closing = true;
    close();
    deleteLater();
}

} // namespace quenta

#include "app/frmUserCOM.h"

#include "core/ControlNames.h"
#include "program/Program.h"

#include <QCloseEvent>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

namespace quenta {

namespace {
constexpr int FirstPort = 5;
constexpr int Ports = 5;
}

frmUserCOM::frmUserCOM(Program &program, QWidget *parent)
    : QWidget(parent, Qt::Dialog), m_program(program)
{
    setObjectName(names::frmUserCOM);
    setWindowTitle(QStringLiteral("User Defined COM Port Selection"));
    auto *layout = new QVBoxLayout(this);
    auto *label = new QLabel(QStringLiteral("SELECT COM PORT"), this);
    label->setObjectName(names::picker::Label1);
    layout->addWidget(label);
    for (int i = 0; i < Ports; ++i) {
        auto *option = new QRadioButton(QStringLiteral("COM%1").arg(FirstPort + i), this);
        option->setObjectName(names::picker::Options.value(i));
        connect(option, &QRadioButton::clicked, this, [this, i] { choose(FirstPort + i); });
        layout->addWidget(option);
        m_options << option;
    }
    setMinimumWidth(320);
}

void frmUserCOM::showEvent(QShowEvent *event)
{
    // Every showing starts without a choice.
    for (QRadioButton *option : std::as_const(m_options)) {
        option->setAutoExclusive(false);
        option->setChecked(false);
        option->setAutoExclusive(true);
    }
    QWidget::showEvent(event);
}

void frmUserCOM::closeEvent(QCloseEvent *event)
{
    // Closed without a choice: the connection attempt ends instead of waiting for one.
    m_program.connection.portPickerClosed();
    QWidget::closeEvent(event);
}

void frmUserCOM::choose(int port)
{
    m_program.settings.user_com_port = port;
    hide();
}

} // namespace quenta

#include "live/widgets/DataLogMV.h"
#include "core/ControlNames.h"
#include "platform/widgets/Fonts.h"

#include "live/widgets/ModSaveFormData.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace quenta {

namespace n = names::logger;

namespace {

const int Counts[5] = {2, 4, 5, 6, 3};
const QColor White(0xFF, 0xFF, 0xFF);
const QColor Green(0x00, 0xFF, 0x00);

QLineEdit *textBox(const QString &name, QWidget *parent, const QString &text = QString())
{
    auto *box = new QLineEdit(text, parent);
    box->setObjectName(name);
    return box;
}

QPushButton *pushButton(const QString &name, const QString &caption, QWidget *parent)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setMinimumHeight(30);
    return b;
}

} // namespace

DataLogMV::DataLogMV(const LiveParts &parts, LoggerParameters &lists, QWidget *parent)
    : QWidget(parent, Qt::Window), m_prompts(parts.prompts), m_logger(parts)
{
    setObjectName(n::DataLogMV);
    setWindowTitle(Caption);
    auto *layout = new QVBoxLayout(this);
    menu = new QMenuBar(this);
    QAction *help = menu->addAction(QStringLiteral("Help"));
    help->setObjectName(n::mnuHelp);
    connect(help, &QAction::triggered, this, &DataLogMV::mnuHelp_Click);
    layout->setMenuBar(menu);

    // The parameters, their count and the interval.
    auto *top = new QHBoxLayout;
    auto *parameters = new QVBoxLayout;
    parameters->addWidget(new QLabel(QStringLiteral("Select Up to Six Parameters"), this));
    for (int i = 0; i < DataLogger::Slots; ++i) {
        QComboBox *list = new QComboBox(this);
        list->setObjectName(n::cboRTD);
        setControlIndex(list, i);
        list->setModel(lists.box(i));
        list->setCurrentIndex(-1);
        list->setMinimumContentsLength(26);
        connect(list, &QComboBox::activated, this, [this, i] { cboRTD_Click(i); });
        cboRTD[size_t(i)] = list;
        parameters->addWidget(list);
    }
    top->addLayout(parameters, 2);

    auto *right = new QVBoxLayout;
    right->addWidget(new QLabel(QStringLiteral("Number Of Parameters"), this));
    auto *options = new QHBoxLayout;
    for (int k = 0; k < 5; ++k) {
        auto *option = new QRadioButton(QString::number(Counts[k]), this);
        option->setObjectName(n::option(k + 1));
        option->setAutoExclusive(false);
        connect(option, &QRadioButton::clicked, this, [this, k] { Option_Click(k); });
        Option[size_t(k)] = option;
        options->addWidget(option);
    }
    right->addLayout(options);
    right->addWidget(new QLabel(QStringLiteral("Sample Time Interval Sec."), this));
    Text2 = textBox(n::Text2, this, QStringLiteral("0.100"));
    right->addWidget(Text2);
    Label7 = new QLabel(this);
    Label7->setObjectName(n::Label7);
    QFont statusFont = Label7->font();
    statusFont.setPointSize(14);
    statusFont.setBold(true);
    Label7->setFont(statusFont);
    Label7->setMinimumWidth(Label7->fontMetrics().horizontalAdvance(QStringLiteral("Waiting for Trigger")) + 8);
    right->addWidget(Label7);
    right->addStretch(1);
    top->addLayout(right, 1);
    layout->addLayout(top);

    // The triggers.
    Triggering = new QGroupBox(QStringLiteral("LOG TRIGGERS ------- Starts LOG when Trigger condition is true"), this);
    Triggering->setObjectName(n::Triggering);
    auto *triggers = new QGridLayout(Triggering);
    Text1 = textBox(n::Text1, Triggering, QStringLiteral("Trigger 1            AND/OR            Trigger 2"));
    Text1->setReadOnly(true);
    triggers->addWidget(Text1, 0, 0, 1, 3);
    auto triggerList = [this](const QString &name, const QStringList &items) {
        auto *list = new QComboBox(Triggering);
        list->setObjectName(name);
        list->addItems(items);
        list->setPlaceholderText(QStringLiteral("None"));
        list->setCurrentIndex(-1);
        return list;
    };
    const QStringList kinds{QStringLiteral("None"), QStringLiteral("System Time"), QStringLiteral("Speed"), QStringLiteral("RPM")};
    Combo1 = triggerList(n::Combo1, kinds);
    Combo3 = triggerList(n::Combo3, {QStringLiteral("AND"), QStringLiteral("OR")});
    Combo2 = triggerList(n::Combo2, kinds);
    triggers->addWidget(Combo1, 1, 0);
    triggers->addWidget(Combo3, 1, 1);
    triggers->addWidget(Combo2, 1, 2);
    txtTRIG1 = textBox(n::txtTRIG1, Triggering);
    txtTRIG2 = textBox(n::txtTRIG2, Triggering);
    txtTRIG1->setReadOnly(true);
    txtTRIG2->setReadOnly(true);
    triggers->addWidget(txtTRIG1, 2, 0);
    triggers->addWidget(txtTRIG2, 2, 2);
    lblTRIG = new QLabel(Triggering);
    lblTRIG->setObjectName(n::lblTRIG);
    txtTRIG = textBox(n::txtTRIG, Triggering);
    cmdTRIG = pushButton(n::cmdTRIG, QStringLiteral("ENTER"), Triggering);
    triggers->addWidget(lblTRIG, 3, 0);
    triggers->addWidget(txtTRIG, 3, 1);
    triggers->addWidget(cmdTRIG, 3, 2);
    connect(Combo1, &QComboBox::activated, this, [this] { Combo_Click(1); });
    connect(Combo2, &QComboBox::activated, this, [this] { Combo_Click(2); });
    connect(Combo3, &QComboBox::activated, this, &DataLogMV::Combo3_Click);
    connect(cmdTRIG, &QPushButton::clicked, this, &DataLogMV::cmdTRIG_Click);
    connect(txtTRIG, &QLineEdit::returnPressed, cmdTRIG, &QPushButton::click);
    layout->addWidget(Triggering);

    // The six displays.
    auto *displays = new QGridLayout;
    for (int i = 0; i < DataLogger::Slots; ++i) {
        auto *frame = new QGroupBox(QStringLiteral("Display %1").arg(i + 1), this);
        auto *in = new QVBoxLayout(frame);
        displayName[size_t(i)] = textBox(n::displayName(i + 1), frame);
        displayValue[size_t(i)] = textBox(n::displayValue(i + 1), frame);
        displayName[size_t(i)]->setReadOnly(true);
        displayValue[size_t(i)]->setReadOnly(true);
        displayValue[size_t(i)]->setFont(namedFont(QStringLiteral("Courier New"), QFont::TypeWriter, 12, true));
        in->addWidget(displayName[size_t(i)]);
        in->addWidget(displayValue[size_t(i)]);
        displayFrame[size_t(i)] = frame;
        displays->addWidget(frame, i / 3, i % 3);
    }
    layout->addLayout(displays);

    // The buttons, and the box that takes the shortcut keys.
    auto *buttons = new QHBoxLayout;
    Command1 = pushButton(n::Command1, QStringLiteral("Begin Log"), this);
    Command2 = pushButton(n::Command2, QStringLiteral("Pause"), this);
    Command3 = pushButton(n::Command3, QStringLiteral("Save"), this);
    Cancel = pushButton(n::Cancel, QStringLiteral("QUIT"), this);
    Text3 = textBox(n::Text3, this);
    Text3->setFixedWidth(14);
    Text3->setStyleSheet(QStringLiteral("QLineEdit { color: #c0c0c0; background: #c0c0c0; border: none; }"));
    Text3->installEventFilter(this);
    for (QPushButton *b : {Command1, Command2, Command3, Cancel}) {
        b->setFocusPolicy(Qt::NoFocus);
        buttons->addWidget(b);
    }
    buttons->addWidget(Text3);
    layout->addLayout(buttons);

    connect(Command1, &QPushButton::clicked, this, [this] {
        Text3->setFocus();
        for (int i = 0; i < DataLogger::Slots; ++i)
            m_logger.slotText[size_t(i)] = cboRTD[size_t(i)]->currentText();
        m_logger.intervalText = Text2->text();
        Text3->clear();
        m_logger.Command1_Click();
    });
    connect(Command2, &QPushButton::clicked, this, [this] {
        Text3->clear();
        m_logger.Command2_Click();
        Text3->setFocus();
    });
    connect(Command3, &QPushButton::clicked, this, [this] {
        Text3->clear();
        m_logger.Command3_Click();
    });
    connect(Cancel, &QPushButton::clicked, this, [this] {
        Text3->clear();
        // Ends a trigger value that is being asked for, too.
        if (m_entryLoop)
            m_entryLoop->quit();
        for (QComboBox *list : {Combo1, Combo2, Combo3}) {
            paintList(list, White);
            list->setCurrentIndex(-1);
        }
        txtTRIG1->clear();
        txtTRIG2->clear();
        m_logger.trigger1 = m_logger.trigger2 = LogTrigger{};
        m_logger.combine = DataLogger::Combine::None;
        m_logger.Cancel_Click();
    });
    connect(&m_logger, &DataLogger::changed, this, &DataLogMV::showState);
    connect(&m_logger, &DataLogger::hideRequested, this, &QWidget::hide);
    connect(&m_logger, &DataLogger::showMainRequested, this, &DataLogMV::showMainRequested);
    m_logger.saveSettings = [this] {
        QString error;
        if (!save_form_data(this, settingsFilePath(), &error))
            m_prompts.message(QStringLiteral("The logger's settings were not saved: ") + error, QString(),
                                      Prompts::Icon::Exclamation);
    };
    Form_Load();
}

DataLogMV::~DataLogMV()
{
    if (m_entryLoop)
        m_entryLoop->quit();
}

void DataLogMV::Form_Load()
{
    m_enterFlag = false;
    if (m_restore) {
        bool failed = false;
        load_form_data(this, settingsFilePath(), failed, m_prompts);
    }
    m_logger.count = 4;
    Option[1]->setChecked(true);
    m_logger.saveEnabled = m_logger.pauseEnabled = false;
    for (QComboBox *list : {Combo1, Combo2, Combo3})
        paintList(list, White);
    setTriggerEntryVisible(false);
    showState();
    Text3->setFocus();
}

void DataLogMV::showState()
{
    Label7->setText(m_logger.status);
    Command1->setEnabled(m_logger.beginEnabled);
    Command1->setText(m_logger.beginCaption);
    Command2->setEnabled(m_logger.pauseEnabled);
    Command2->setText(m_logger.pauseCaption);
    Command3->setEnabled(m_logger.saveEnabled);
    for (int i = 0; i < DataLogger::Slots; ++i) {
        cboRTD[size_t(i)]->setEnabled(m_logger.listsEnabled);
        displayName[size_t(i)]->setText(m_logger.displayName[size_t(i)]);
        displayValue[size_t(i)]->setText(m_logger.displayValue[size_t(i)]);
    }
}

void DataLogMV::paintList(QComboBox *list, const QColor &colour)
{
    QPalette palette = list->palette();
    palette.setColor(QPalette::Base, colour);
    palette.setColor(QPalette::Button, colour);
    list->setPalette(palette);
    list->setStyleSheet(QStringLiteral("QComboBox { background-color: %1; color: black; }").arg(colour.name()));
}

void DataLogMV::setTriggerEntryVisible(bool on)
{
    lblTRIG->setVisible(on);
    txtTRIG->setVisible(on);
    cmdTRIG->setVisible(on);
}

void DataLogMV::cboRTD_Click(int slot)
{
    m_logger.selection[size_t(slot)] = cboRTD[size_t(slot)]->currentIndex();
    m_logger.displayName.fill(QString());
    m_logger.displayValue.fill(QString());
    showState();
    Text3->setFocus();
}

void DataLogMV::Option_Click(int option)
{
    m_logger.count = Counts[option];
    for (int k = 0; k < 5; ++k)
        Option[size_t(k)]->setChecked(k == option);
    Text3->setFocus();
}

void DataLogMV::Combo_Click(int trigger)
{
    QComboBox *list = trigger == 1 ? Combo1 : Combo2;
    QLineEdit *shown = trigger == 1 ? txtTRIG1 : txtTRIG2;
    LogTrigger &value = trigger == 1 ? m_logger.trigger1 : m_logger.trigger2;
    setTriggerEntryVisible(true);
    txtTRIG->setFocus();
    for (QComboBox *l : {Combo1, Combo2, Combo3})
        l->setEnabled(false);
    Command1->setEnabled(false);
    const LogTrigger::Kind kinds[] = {LogTrigger::Kind::None, LogTrigger::Kind::SystemTime, LogTrigger::Kind::Speed,
                                      LogTrigger::Kind::Rpm};
    const int index = list->currentIndex();
    const LogTrigger::Kind kind = index >= 0 && index < 4 ? kinds[index] : LogTrigger::Kind::None;
    value.kind = kind;
    if (kind != LogTrigger::Kind::None) {
        if (const std::optional<int> entered = askTriggerValue(kind))
            value.value = *entered;
    }
    paintList(list, Green);
    shown->setText(QString::number(value.value));
    for (QComboBox *l : {Combo1, Combo2, Combo3})
        l->setEnabled(true);
    Command1->setEnabled(m_logger.beginEnabled);
    setTriggerEntryVisible(false);
}

std::optional<int> DataLogMV::askTriggerValue(LogTrigger::Kind kind)
{
    txtTRIG->clear();
    lblTRIG->setText(DataLogger::triggerPrompt(kind));
    for (;;) {
        txtTRIG->setFocus();
        m_enterFlag = false;
        QEventLoop loop;
        m_entryLoop = &loop;
        loop.exec();
        m_entryLoop = nullptr;
        if (!m_enterFlag)
            return std::nullopt; // the window went away meanwhile
        QString refusal;
        if (const std::optional<int> value = DataLogger::triggerValue(kind, txtTRIG->text(), &refusal))
            return value;
        m_prompts.message(refusal);
        txtTRIG->setText(QStringLiteral("00"));
    }
}

void DataLogMV::cmdTRIG_Click()
{
    m_enterFlag = true;
    if (m_entryLoop)
        m_entryLoop->quit();
}

void DataLogMV::Combo3_Click()
{
    const int index = Combo3->currentIndex();
    m_logger.combine = index == 0 ? DataLogger::Combine::And : index == 1 ? DataLogger::Combine::Or : DataLogger::Combine::None;
    paintList(Combo3, Green);
}

void DataLogMV::mnuHelp_Click()
{
    m_prompts.message(DataLogger::HelpText);
}

void DataLogMV::hideEvent(QHideEvent *event)
{
    // A trigger value asked for in a hidden window could never be entered.
    if (m_entryLoop)
        m_entryLoop->quit();
    QWidget::hideEvent(event);
}

void DataLogMV::closeEvent(QCloseEvent *event)
{
    // Closing from the title bar is QUIT.
    event->ignore();
    Cancel->click();
}

bool DataLogMV::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Text3 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        QPushButton *target = key == Qt::Key_B ? Command1
            : key == Qt::Key_P                 ? Command2
            : key == Qt::Key_S                 ? Command3
            : key == Qt::Key_Q                 ? Cancel
                                               : nullptr;
        if (target) {
            if (target->isEnabled())
                target->click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace quenta

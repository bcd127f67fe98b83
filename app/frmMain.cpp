#include "app/frmMain.h"
#include "platform/widgets/Fonts.h"

#include "app/Artwork.h"
#include "app/frmUserCOM.h"
#include "core/ControlNames.h"
#include "program/Program.h"
#include "pids/PidState.h"
#include "live/LogFile.h"
#include "live/widgets/Chart.h"
#include "live/widgets/DataLogMV.h"
#include "live/widgets/WRO2_Sensor_Log.h"
#include "live/widgets/frmFuel_Trim.h"
#include "platform/widgets/Printer.h"
#include "services/ClearCodes.h"
#include "services/Connection.h"
#include "services/CurrentData.h"
#include "services/FreezeFrame.h"
#include "services/TroubleCodes.h"
#include "services/widgets/frmMode5.h"
#include "services/widgets/frmMode6.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextEdit>
#include <QVBoxLayout>

namespace quenta {

namespace {

const QString Label2Caption =
    QStringLiteral("Vehicle Test Status/Trouble Code Window           use the scroll bar to see more data");
const QString CreditLine = QStringLiteral("Velmor diagnostic tools \u2022 Quenta OBD-II scan tool software");

// A two-state button whose state only the program's controls model sets: a click never toggles it
// by itself, so a handler that releases its button is never fought by the toolkit.
class LatchingButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void nextCheckState() override {}
};

} // namespace

frmMain::frmMain(Program &program, PrintTarget &printer, QWidget *parent)
    : QMainWindow(parent), m_program(program), m_printer(printer), m_exit([](int code) { QCoreApplication::exit(code); })
{
    setObjectName(names::frmMain);
    setWindowTitle(Caption);
    buildControls();
    buildMenus();

    connect(&m_program.controls, &Controls::changed, this, &frmMain::applyControl);
    for (auto it = m_bound.cbegin(); it != m_bound.cend(); ++it)
        applyControl(it.key());

    connect(&m_program.indicator, &IndicatorModel::changed, this, &frmMain::showIndicator);
    connect(&m_program.status, &StatusText::textChanged, this, &frmMain::showStatusText);
    connect(&m_program.status, &StatusText::colouringRequested, this, [this] { m_colouring.colour(*textECU); });
    connect(&m_program.data, &VehicleData::colorChanged, this, &frmMain::showDataColour);
    connect(&m_program.linkInfo, &LinkInfo::changed, this, &frmMain::showLinkInfo);
    connect(&m_program, &Program::showMainWindow, this, [this] {
        // A handler finishing after Exit must not bring the window back.
        if (m_exiting)
            return;
        show();
        raise();
    });
    m_program.connection.showPortPicker = [this] { showPortPicker(); };
    showIndicator();
    showStatusText();
    showDataColour();
    showLinkInfo();
    resize(1040, 720);
}

frmMain::~frmMain()
{
    m_program.connection.showPortPicker = nullptr;
}

void frmMain::bind(QAbstractButton *button, const QString &name)
{
    bind(static_cast<QWidget *>(button), name);
    Bound &b = m_bound[name];
    b.button = button;
    b.setCaption = [button](const QString &caption) { button->setText(caption); };
}

void frmMain::bind(QLabel *label, const QString &name)
{
    bind(static_cast<QWidget *>(label), name);
    m_bound[name].setCaption = [label](const QString &caption) { label->setText(caption); };
}

void frmMain::bind(QGroupBox *frame, const QString &name)
{
    bind(static_cast<QWidget *>(frame), name);
    m_bound[name].setCaption = [frame](const QString &caption) { frame->setTitle(caption); };
}

void frmMain::bind(QLineEdit *edit, const QString &name)
{
    bind(static_cast<QWidget *>(edit), name);
    m_bound[name].setCaption = [edit](const QString &caption) { edit->setText(caption); };
}

void frmMain::bind(QWidget *widget, const QString &name)
{
    widget->setObjectName(name);
    m_bound[name].widget = widget;
}

QAction *frmMain::bind(QAction *action, const QString &name)
{
    action->setObjectName(name);
    Bound &b = m_bound[name];
    b.action = action;
    b.setCaption = [action](const QString &caption) { action->setText(caption); };
    return action;
}

QPushButton *frmMain::addButton(const QString &name, const QString &caption, bool latching, QWidget *parent)
{
    QPushButton *button = latching ? new LatchingButton(caption, parent) : new QPushButton(caption, parent);
    button->setCheckable(latching);
    button->setMinimumHeight(30);
    bind(button, name);
    return button;
}

void frmMain::buildControls()
{
    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("centralWidget"));
    setCentralWidget(central);
    auto *columns = new QHBoxLayout(central);

    // The control panel on the left.
    auto *panel = new QVBoxLayout;
    columns->addLayout(panel, 0);

    Frame1 = new QGroupBox(QStringLiteral("Quenta Control Panel"), central);
    bind(Frame1, names::Frame1);
    auto *buttons = new QVBoxLayout(Frame1);
    Mode1 = addButton(names::Mode1, QStringLiteral("Request Current Powertrain Diagnostic Data"), true, Frame1);
    Mode2 = addButton(names::Mode2, QStringLiteral("Get Freeze Frame Data"), true, Frame1);
    Mode3 = addButton(names::Mode3, QStringLiteral("Request Diagnostic Trouble Codes"), true, Frame1);
    Mode4 = addButton(names::Mode4, QStringLiteral("Clear/Reset Diagnostic Trouble Codes"), true, Frame1);
    Mode5 = addButton(names::Mode5, QStringLiteral("O2 Sensor Test"), true, Frame1);
    ChangeECU = addButton(names::ChangeECU, QStringLiteral("Change ECU"), true, Frame1);
    for (QPushButton *b : {Mode1, Mode2, Mode3, Mode4, Mode5, ChangeECU})
        buttons->addWidget(b);
    auto *printExit = new QHBoxLayout;
    Command2 = addButton(names::Command2, QStringLiteral("Print"), false, Frame1);
    Command1 = addButton(names::Command1, QStringLiteral("Exit"), false, Frame1);
    printExit->addWidget(Command2);
    printExit->addWidget(Command1);
    buttons->addSpacing(6);
    buttons->addLayout(printExit);
    panel->addWidget(Frame1);

    Label1 = new QLabel(QStringLiteral("ECU Status"), central);
    bind(Label1, names::Label1);
    Label1->setCursor(Qt::PointingHandCursor);
    Label1->setToolTip(QStringLiteral("Click for the meaning of the colours"));
    Label1->installEventFilter(this);
    Text1 = new QLineEdit(QStringLiteral("ECU Not Ready"), central);
    bind(Text1, names::Text1);
    Text1->setReadOnly(true);
    Text1->setAlignment(Qt::AlignCenter);
    QFont indicatorFont = Text1->font();
    indicatorFont.setBold(true);
    Text1->setFont(indicatorFont);
    Text1->setMinimumHeight(30);
    panel->addSpacing(6);
    panel->addWidget(Label1);
    panel->addWidget(Text1);

    QFont heavy = namedFont(QStringLiteral("Arial Black"), QFont::SansSerif);
    heavy.setWeight(QFont::Black);
    Label7 = new QLabel(central);
    bind(Label7, names::Label7);
    Label6 = new QLabel(central);
    bind(Label6, names::Label6);
    for (QLabel *label : {Label7, Label6}) {
        label->setFont(heavy);
        panel->addWidget(label);
    }

    List2 = new QListWidget(central);
    bind(List2, names::List2);
    List2->setToolTip(QStringLiteral("Trouble code definitions"));
    List2->setMaximumHeight(90);
    panel->addWidget(List2);
    panel->addStretch(1);

    Picture1 = new ScanToolArt(central);
    bind(Picture1, names::Picture1);
    Picture1->setMinimumSize(Picture1->sizeHint());
    panel->addWidget(Picture1);
    Label4 = new QLabel(CreditLine, central);
    bind(Label4, names::Label4);
    Label4->setAlignment(Qt::AlignCenter);
    Label4->setStyleSheet(QStringLiteral("color: #505860;"));
    panel->addWidget(Label4);

    Frame1->setMinimumWidth(320);

    // The vehicle data window and the status window on the right.
    auto *windows = new QVBoxLayout;
    columns->addLayout(windows, 1);
    Label5 = new QLabel(QStringLiteral("Vehicle Data Window, Double Click Item for Real Time Display"), central);
    bind(Label5, names::Label5);
    List1 = new QListView(central);
    bind(List1, names::List1);
    List1->setModel(m_program.data.model());
    List1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    List1->setFont(namedFont(QStringLiteral("Courier"), QFont::TypeWriter));
    connect(List1, &QListView::doubleClicked, this, &frmMain::openRealTimeDisplay);
    windows->addWidget(Label5);
    windows->addWidget(List1, 3);

    Label2 = new QLabel(Label2Caption, central);
    bind(Label2, names::Label2);
    textECU = new QTextEdit(central);
    bind(textECU, names::textECU);
    textECU->setAcceptRichText(false);
    textECU->setFont(namedFont(QStringLiteral("Courier New"), QFont::TypeWriter));
    textECU->setLineWrapMode(QTextEdit::NoWrap);
    windows->addWidget(Label2);
    windows->addWidget(textECU, 2);
    m_tabKeeper = new TabKeeper(this, textECU);

    connect(Command2, &QPushButton::clicked, this, &frmMain::onPrint);
    connect(Command1, &QPushButton::clicked, this, &frmMain::onExit);
    const struct {
        QPushButton *button;
        const QString &name;
        std::function<void()> handler;
    } latched[] = {
        {Mode1, names::Mode1, [this] { m_program.currentData.request(); }},
        {Mode2, names::Mode2, [this] { m_program.freezeFrame.request(); }},
        {Mode3, names::Mode3, [this] { m_program.troubleCodes.request(); }},
        {Mode4, names::Mode4, [this] { m_program.clearCodes.clear(); }},
    };
    for (const auto &[button, name, handler] : latched)
        connect(button, &QPushButton::clicked, this, [this, name = name, handler = handler] { latch(name, handler); });
    connect(Mode5, &QPushButton::clicked, this, &frmMain::openO2SensorTest);
    connect(ChangeECU, &QPushButton::clicked, this, &frmMain::onChangeECU);
}

void frmMain::buildMenus()
{
    QMenuBar *bar = menuBar();
    mnuDataLog = bind(bar->addAction(QStringLiteral("&MultiView ")), names::mnuDataLog);
    connect(mnuDataLog, &QAction::triggered, this, &frmMain::openMultiView);

    QMenu *com = bar->addMenu(QStringLiteral("&Connection"));
    com->setObjectName(names::mnuCom);
    mnuCom = bind(com->menuAction(), names::mnuCom);
    // The USB transport is built in but never offered; the item exists so the program can address it.
    mnuUSB = bind(com->addAction(QStringLiteral("USB")), names::mnuUSB);
    connect(mnuUSB, &QAction::triggered, this, [this] { m_program.connection.connectUsb(); });
    mnuConnectionCom1 = bind(com->addAction(QStringLiteral("Com1")), names::mnuConnectionCom1);
    mnuConnectionCom2 = bind(com->addAction(QStringLiteral("Com2")), names::mnuConnectionCom2);
    mnuConnectionCom3 = bind(com->addAction(QStringLiteral("Com3")), names::mnuConnectionCom3);
    mnuConnectionCom4 = bind(com->addAction(QStringLiteral("Com4")), names::mnuConnectionCom4);
    int n = 1;
    for (QAction *item : {mnuConnectionCom1, mnuConnectionCom2, mnuConnectionCom3, mnuConnectionCom4}) {
        connect(item, &QAction::triggered, this, [this, n] { m_program.connection.connectCom(n); });
        ++n;
    }
    mnuConnectionComX = bind(com->addAction(QStringLiteral("COM 5 thru 9")), names::mnuConnectionComX);
    connect(mnuConnectionComX, &QAction::triggered, this, [this] { m_program.connection.connectCom(ComPicker); });
    mnuAdapter = bind(com->addAction(QStringLiteral("ELM327 Adapter...")), names::mnuAdapter);
    connect(mnuAdapter, &QAction::triggered, this, [this] { m_program.connectAdapter(); });
    com->addSeparator();
    mnu9600 = bind(com->addAction(QStringLiteral("38400 baud")), names::mnu9600);
    connect(mnu9600, &QAction::triggered, this, [this] { m_program.settings.baud_rate = 38400; });
    mnu19200 = bind(com->addAction(QStringLiteral("19200 Baud")), names::mnu19200);
    connect(mnu19200, &QAction::triggered, this, [this] { m_program.settings.baud_rate = 19200; });

    mnuMode6 = bind(bar->addAction(QStringLiteral("&Mode 6 Tests")), names::mnuMode6);
    connect(mnuMode6, &QAction::triggered, this, &frmMain::openMode6Tests);

    QMenu *opt = bar->addMenu(QStringLiteral("&Options"));
    opt->setObjectName(names::mnuOpt);
    mnuOpt = bind(opt->menuAction(), names::mnuOpt);
    mnuFTM = bind(opt->addAction(QStringLiteral("&Fuel Trim Monitor")), names::mnuFTM);
    connect(mnuFTM, &QAction::triggered, this, &frmMain::openFuelTrimMonitor);
    mnuWBO2 = bind(opt->addAction(QStringLiteral("Wideband / Tachometer display")), names::mnuWBO2);
    connect(mnuWBO2, &QAction::triggered, this, &frmMain::openWidebandDisplay);
    QMenu *units = opt->addMenu(QStringLiteral("&Units"));
    units->setObjectName(names::mnuUnits);
    mnuUnits = bind(units->menuAction(), names::mnuUnits);
    mnuUnitsEnglish = bind(units->addAction(QStringLiteral("&English")), names::mnuUnitsEnglish);
    connect(mnuUnitsEnglish, &QAction::triggered, this, [this] { m_program.settings.units_metric = false; });
    mnuUnitsMetric = bind(units->addAction(QStringLiteral("&Metric")), names::mnuUnitsMetric);
    connect(mnuUnitsMetric, &QAction::triggered, this, [this] { m_program.settings.units_metric = true; });
    mnuDebugMode = bind(opt->addAction(QStringLiteral("&Debug Mode On/Off")), names::mnuDebugMode);
    connect(mnuDebugMode, &QAction::triggered, this, &frmMain::onDebugMode);
}

void frmMain::startUp()
{
    show();
    m_program.startUp();
    List2->clear();
    List2->addItems(m_program.definitions.lines());
    m_colouring.fillTables();
    logfile::offerRecovered(m_program.prompts);
}

void frmMain::applyControl(const QString &name)
{
    const auto bound = m_bound.constFind(name);
    if (bound == m_bound.cend())
        return;
    const Controls::State state = m_program.controls.state(name);
    if (QWidget *widget = bound->widget) {
        widget->setEnabled(state.enabled);
        widget->setVisible(state.visible);
    }
    if (QAbstractButton *button = bound->button; button && button->isCheckable())
        button->setChecked(state.pressed);
    if (QAction *action = bound->action) {
        action->setEnabled(state.enabled);
        action->setVisible(state.visible);
    }
    if (state.hasCaption && bound->setCaption)
        bound->setCaption(state.caption);
}

void frmMain::showIndicator()
{
    Text1->setText(m_program.indicator.text());
    QPalette palette = Text1->palette();
    palette.setColor(QPalette::Base, QColor(rgbName(m_program.indicator.color())));
    palette.setColor(QPalette::Text, Qt::black);
    Text1->setPalette(palette);
}

void frmMain::showStatusText()
{
    // A write leaves plain text: no colour, no emphasis carried over from the caret, caret at the start.
    textECU->setCurrentCharFormat(QTextCharFormat());
    textECU->setPlainText(m_program.status.text());
    textECU->moveCursor(QTextCursor::Start);
}

void frmMain::showLinkInfo()
{
    const LinkInfo &info = m_program.linkInfo;
    if (info.hasEcuNumber())
        Label6->setText(info.ecuCaption());
    if (info.hasFirmware())
        Label7->setText(info.firmwareCaption());
}

void frmMain::showDataColour()
{
    QPalette palette = List1->palette();
    palette.setColor(QPalette::Text, QColor(rgbName(m_program.data.color())));
    List1->setPalette(palette);
}

void frmMain::latch(const QString &button, const std::function<void()> &handler)
{
    m_program.controls.setPressed(button, true);
    handler();
}

void frmMain::onChangeECU()
{
    m_program.connection.changeEcu();
}

void frmMain::onPrint()
{
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    QStringList lines = m_program.status.text().split(lineBreak);
    lines += m_program.data.lines();
    QString error;
    if (!m_printer.printLines(lines, &error)) {
        if (error.isEmpty())
            error = QStringLiteral("the printer gave no reason");
        m_program.prompts.message(QStringLiteral("Nothing was printed: ") + error, QString(),
                                  Prompts::Icon::Exclamation);
    }
}

void frmMain::onExit()
{
    // Ends at once, even inside a handler that is waiting for the scan tool: every wait returns.
    if (m_exiting)
        return;
    m_exiting = true;
    m_program.link.abandon();
    const QList<QWidget *> windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows)
        window->hide();
    if (!m_program.link.serial_link()) {
        // On USB the unload closes the driver, which is given two seconds to let go of the device.
        m_program.connection.unload();
        const double start = m_program.timing.CurrentTime();
        while (m_program.timing.CurrentTime() - start <= 2)
            m_program.clock().wait(50);
    }
    m_exit(0);
}

void frmMain::closeEvent(QCloseEvent *event)
{
    // Closing the main window ends the program the same way as Exit.
    onExit();
    event->accept();
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Label1 && event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton && Label1->rect().contains(mouse->position().toPoint())) {
            showLegend();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::onDebugMode()
{
    Settings &s = m_program.settings;
    s.debug_mode = !s.debug_mode;
    m_program.prompts.message(s.debug_mode ? QStringLiteral("Debug Mode is turned ON")
                                           : QStringLiteral("Debug Mode is turned OFF"));
}

void frmMain::showLegend()
{
    m_program.prompts.message(QStringLiteral("Red=No coommunication with scan tool,\r\n"
                                             "Yellow=Communication with scan tool, not with vehicle\r\n"
                                             "Green=Communication with vehicle"),
                              QStringLiteral("Quenta V3.40"), Prompts::Icon::Information);
}

void frmMain::showPortPicker()
{
    if (!m_picker)
        m_picker = new frmUserCOM(m_program, this);
    m_picker->show();
    m_picker->raise();
    m_picker->activateWindow();
}

frmMode5 *frmMain::o2SensorTest() const
{
    return m_mode5;
}

void frmMain::openO2SensorTest()
{
    // A window closed with "EXIT" is made again, so its load reads the sensors found since.
    if (!m_mode5) {
        m_mode5 = new frmMode5(m_program.pidContext, m_program.prompts, this);
        if (!m_mode5->load())
            delete m_mode5.data();
    }
    if (m_mode5) {
        m_mode5->show();
        m_mode5->raise();
        m_mode5->activateWindow();
    }
    m_program.controls.setPressed(names::Mode5, true);
    m_program.controls.setPressed(names::Mode5, false);
}

void frmMain::openMultiView()
{
    m_program.settings.logger_stop = true;
    if (!m_logger)
    {
        m_logger = new DataLogMV(m_program.liveParts(), m_program.logger, this);
        connect(m_logger, &DataLogMV::showMainRequested, &m_program, &Program::showMainWindow);
    }
    m_logger->show();
    m_logger->raise();
    hide();
}

void frmMain::openMode6Tests()
{
    if (!m_mode6)
        m_mode6 = new frmMode6(m_program.link, m_program.mode6, m_program.prompts, this);
    m_mode6->show();
    m_mode6->raise();
    m_mode6->activateWindow();
}

void frmMain::openFuelTrimMonitor()
{
    if (!m_fuelTrim)
        m_fuelTrim = new frmFuel_Trim(m_program.liveParts(), this);
    m_fuelTrim->show();
    m_fuelTrim->raise();
    // One monitor at a time: a second start would nest a loop on the same link.
    if (m_fuelTrim->monitor().running())
        return;
    m_fuelTrim->monitor().fuel_trim_monitor();
}

void frmMain::openWidebandDisplay()
{
    // Made afresh each time; one at a time.
    if (m_wideband) {
        m_wideband->show();
        m_wideband->raise();
        return;
    }
    m_wideband = new WRO2_Sensor_Log(m_program.liveParts(), this);
    connect(m_wideband, &WRO2_Sensor_Log::showMainRequested, &m_program, &Program::showMainWindow);
    m_wideband->show();
    hide();
}

void frmMain::openRealTimeDisplay(const QModelIndex &)
{
    // One display at a time: a second double-click brings the running one to the front.
    if (m_chart) {
        m_chart->show();
        m_chart->raise();
        m_chart->activateWindow();
        return;
    }
    // A double-click with no line selected has nothing to show.
    const QModelIndexList selected = List1->selectionModel()->selectedIndexes();
    if (selected.isEmpty())
        return;
    const int line = selected.first().row();
    if (line < 0 || line >= PidState::ListSize)
        return;
    const int pid = m_program.pids.PID_list[size_t(line)];
    QPointer<Chart> chart = new Chart(m_program.liveParts(), this);
    m_chart = chart;
    chart->display().start();
    chart->show();
    chart->display().run(pid);
    if (chart)
        chart->unload();
    m_chart = nullptr;
    emit m_program.showMainWindow();
}

} // namespace quenta

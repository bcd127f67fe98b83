#include "app/frmMain.h"

#include "app/frmUserCOM.h"
#include "core/Program.h"
#include "platform/widgets/Printer.h"
#include "services/ClearCodes.h"
#include "services/Connection.h"
#include "services/CurrentData.h"
#include "services/FreezeFrame.h"
#include "services/TroubleCodes.h"

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
#include <QPainter>
#include <QPainterPath>
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

// Picture1: the scan tool on its cable to the car's diagnostic connector.
class ScanToolArt : public QWidget {
public:
    using QWidget::QWidget;
    QSize sizeHint() const override { return {300, 110}; }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF r = rect().adjusted(1, 1, -1, -1);
        QLinearGradient sky(r.topLeft(), r.bottomLeft());
        sky.setColorAt(0, QColor(0xe8, 0xf0, 0xf8));
        sky.setColorAt(1, QColor(0xc8, 0xd4, 0xe0));
        p.setPen(QPen(QColor(0x90, 0x9c, 0xa8), 1));
        p.setBrush(sky);
        p.drawRoundedRect(r, 6, 6);

        const double w = r.width();
        const double h = r.height();
        const double ground = r.top() + h * 0.82;
        p.setPen(QPen(QColor(0x70, 0x78, 0x80), 1.5));
        p.drawLine(QPointF(r.left() + 8, ground), QPointF(r.right() - 8, ground));

        // The scan tool: a hand-held box with its display and the three link lamps.
        const QRectF box(r.left() + w * 0.05, r.top() + h * 0.14, w * 0.25, h * 0.62);
        p.setPen(QPen(QColor(0x20, 0x24, 0x28), 1.5));
        p.setBrush(QColor(0x3a, 0x40, 0x48));
        p.drawRoundedRect(box, 6, 6);
        const QRectF screen(box.left() + box.width() * 0.12, box.top() + box.height() * 0.12, box.width() * 0.76,
                            box.height() * 0.38);
        p.setBrush(QColor(0x9c, 0xd0, 0x8c));
        p.drawRect(screen);
        QFont font(QStringLiteral("Monospace"));
        font.setStyleHint(QFont::TypeWriter);
        font.setPixelSize(qMax(7, int(screen.height() * 0.5)));
        font.setBold(true);
        p.setFont(font);
        p.setPen(QColor(0x20, 0x40, 0x20));
        p.drawText(screen, Qt::AlignCenter, QStringLiteral("OBD-II"));
        const QColor lamps[] = {QColor(255, 0, 0), QColor(255, 255, 0), QColor(0, 255, 0)};
        const double lampR = box.width() * 0.07;
        for (int i = 0; i < 3; ++i) {
            const QPointF c(box.left() + box.width() * (0.25 + 0.25 * i), box.top() + box.height() * 0.75);
            p.setPen(QPen(Qt::black, 1));
            p.setBrush(lamps[i]);
            p.drawEllipse(c, lampR, lampR);
        }

        // The car, side on.
        const double cx = r.left() + w * 0.42;
        const double cw = w * 0.52;
        const double wheelR = h * 0.12;
        const double sill = ground - wheelR;
        QPainterPath body;
        body.moveTo(cx, sill);
        body.lineTo(cx, sill - h * 0.20);
        body.quadTo(cx + cw * 0.02, sill - h * 0.26, cx + cw * 0.18, sill - h * 0.28);
        body.lineTo(cx + cw * 0.32, sill - h * 0.52);
        body.lineTo(cx + cw * 0.68, sill - h * 0.52);
        body.lineTo(cx + cw * 0.84, sill - h * 0.28);
        body.quadTo(cx + cw, sill - h * 0.26, cx + cw, sill - h * 0.12);
        body.lineTo(cx + cw, sill);
        body.closeSubpath();
        p.setPen(QPen(QColor(0x30, 0x18, 0x18), 1.5));
        p.setBrush(QColor(0xb0, 0x28, 0x28));
        p.drawPath(body);
        QPainterPath glass;
        glass.moveTo(cx + cw * 0.23, sill - h * 0.29);
        glass.lineTo(cx + cw * 0.34, sill - h * 0.47);
        glass.lineTo(cx + cw * 0.66, sill - h * 0.47);
        glass.lineTo(cx + cw * 0.77, sill - h * 0.29);
        glass.closeSubpath();
        p.setBrush(QColor(0xc8, 0xe4, 0xf4));
        p.drawPath(glass);
        p.drawLine(QPointF(cx + cw * 0.5, sill - h * 0.47), QPointF(cx + cw * 0.5, sill - h * 0.29));
        for (const double at : {0.22, 0.78}) {
            const QPointF c(cx + cw * at, sill);
            p.setBrush(QColor(0x20, 0x20, 0x20));
            p.drawEllipse(c, wheelR, wheelR);
            p.setBrush(QColor(0xb8, 0xb8, 0xb8));
            p.drawEllipse(c, wheelR * 0.45, wheelR * 0.45);
        }

        // The cable from the tool to the diagnostic connector under the dashboard.
        const QPointF plug(cx + cw * 0.30, sill - h * 0.10);
        QPainterPath cable;
        cable.moveTo(box.right(), box.top() + box.height() * 0.5);
        cable.cubicTo(box.right() + w * 0.08, box.bottom() + h * 0.1, plug.x() - w * 0.10, plug.y() + h * 0.05,
                      plug.x(), plug.y());
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(0x18, 0x18, 0x18), 3, Qt::SolidLine, Qt::RoundCap));
        p.drawPath(cable);
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(QColor(0x50, 0x50, 0x50));
        p.drawRect(QRectF(plug.x() - 4, plug.y() - 5, 10, 10));
    }
};

QFont namedFont(const QString &family, QFont::StyleHint hint)
{
    QFont font(family);
    // Where the named face is not installed the hint still picks a face of the same kind.
    font.setStyleHint(hint);
    return font;
}

void setCaption(QWidget *widget, const QString &caption)
{
    if (auto *label = qobject_cast<QLabel *>(widget))
        label->setText(caption);
    else if (auto *button = qobject_cast<QAbstractButton *>(widget))
        button->setText(caption);
    else if (auto *frame = qobject_cast<QGroupBox *>(widget))
        frame->setTitle(caption);
    else if (auto *edit = qobject_cast<QLineEdit *>(widget))
        edit->setText(caption);
}

} // namespace

frmMain::frmMain(Program &program, PrintTarget &printer, QWidget *parent)
    : QMainWindow(parent), m_program(program), m_printer(printer), m_exit([](int code) { QCoreApplication::exit(code); })
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(Caption);
    buildControls();
    buildMenus();

    connect(&m_program.controls, &Controls::changed, this, &frmMain::applyControl);
    for (auto it = m_widgets.cbegin(); it != m_widgets.cend(); ++it)
        applyControl(it.key());
    for (auto it = m_actions.cbegin(); it != m_actions.cend(); ++it)
        applyControl(it.key());

    connect(&m_program.indicator, &IndicatorModel::changed, this, &frmMain::showIndicator);
    connect(&m_program.status, &StatusText::textChanged, this, &frmMain::showStatusText);
    connect(&m_program.status, &StatusText::colouringRequested, this, [this] { m_colouring.colour(*m_textECU); });
    connect(&m_program.data, &VehicleData::colorChanged, this, &frmMain::showDataColour);
    connect(&m_program, &Program::showMainWindow, this, [this] {
        // A handler finishing after Exit must not bring the window back.
        if (m_exiting)
            return;
        show();
        raise();
    });
    m_program.showPortPicker = [this] { showPortPicker(); };
    showIndicator();
    showStatusText();
    showDataColour();
    resize(1040, 720);
}

frmMain::~frmMain()
{
    m_program.showPortPicker = nullptr;
}

void frmMain::addWidget(QWidget *widget, const QString &name)
{
    widget->setObjectName(name);
    m_widgets.insert(name, widget);
}

QAction *frmMain::addAction(QAction *action, const QString &name)
{
    action->setObjectName(name);
    m_actions.insert(name, action);
    return action;
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

    auto *frame1 = new QGroupBox(QStringLiteral("Quenta Control Panel"), central);
    addWidget(frame1, QStringLiteral("Frame1"));
    auto *buttons = new QVBoxLayout(frame1);
    struct ButtonRow {
        const char *name;
        const char *caption;
        bool latching;
    };
    const ButtonRow rows[] = {
        {"Mode1", "Request Current Powertrain Diagnostic Data", true},
        {"Mode2", "Get Freeze Frame Data", true},
        {"Mode3", "Request Diagnostic Trouble Codes", true},
        {"Mode4", "Clear/Reset Diagnostic Trouble Codes", true},
        {"Mode5", "O2 Sensor Test", true},
        {"ChangeECU", "Change ECU", true},
    };
    for (const ButtonRow &row : rows) {
        QPushButton *button = row.latching ? new LatchingButton(QString::fromLatin1(row.caption), frame1)
                                           : new QPushButton(QString::fromLatin1(row.caption), frame1);
        button->setCheckable(row.latching);
        button->setMinimumHeight(30);
        addWidget(button, QString::fromLatin1(row.name));
        buttons->addWidget(button);
    }
    auto *printExit = new QHBoxLayout;
    auto *command2 = new QPushButton(QStringLiteral("Print"), frame1);
    auto *command1 = new QPushButton(QStringLiteral("Exit"), frame1);
    addWidget(command2, QStringLiteral("Command2"));
    addWidget(command1, QStringLiteral("Command1"));
    for (QPushButton *b : {command2, command1}) {
        b->setMinimumHeight(30);
        printExit->addWidget(b);
    }
    buttons->addSpacing(6);
    buttons->addLayout(printExit);
    panel->addWidget(frame1);

    m_label1 = new QLabel(QStringLiteral("ECU Status"), central);
    addWidget(m_label1, QStringLiteral("Label1"));
    m_label1->setCursor(Qt::PointingHandCursor);
    m_label1->setToolTip(QStringLiteral("Click for the meaning of the colours"));
    m_label1->installEventFilter(this);
    m_text1 = new QLineEdit(QStringLiteral("ECU Not Ready"), central);
    addWidget(m_text1, QStringLiteral("Text1"));
    m_text1->setReadOnly(true);
    m_text1->setAlignment(Qt::AlignCenter);
    QFont indicatorFont = m_text1->font();
    indicatorFont.setBold(true);
    m_text1->setFont(indicatorFont);
    m_text1->setMinimumHeight(30);
    panel->addSpacing(6);
    panel->addWidget(m_label1);
    panel->addWidget(m_text1);

    QFont heavy = namedFont(QStringLiteral("Arial Black"), QFont::SansSerif);
    heavy.setWeight(QFont::Black);
    for (const char *name : {"Label7", "Label6"}) {
        auto *label = new QLabel(central);
        label->setFont(heavy);
        addWidget(label, QString::fromLatin1(name));
        panel->addWidget(label);
    }

    m_list2 = new QListWidget(central);
    addWidget(m_list2, QStringLiteral("List2"));
    m_list2->setToolTip(QStringLiteral("Trouble code definitions"));
    m_list2->setMaximumHeight(90);
    panel->addWidget(m_list2);
    panel->addStretch(1);

    auto *picture1 = new ScanToolArt(central);
    addWidget(picture1, QStringLiteral("Picture1"));
    picture1->setMinimumSize(picture1->sizeHint());
    panel->addWidget(picture1);
    auto *label4 = new QLabel(CreditLine, central);
    addWidget(label4, QStringLiteral("Label4"));
    label4->setAlignment(Qt::AlignCenter);
    label4->setStyleSheet(QStringLiteral("color: #505860;"));
    panel->addWidget(label4);

    frame1->setMinimumWidth(320);

    // The vehicle data window and the status window on the right.
    auto *windows = new QVBoxLayout;
    columns->addLayout(windows, 1);
    auto *label5 = new QLabel(QStringLiteral("Vehicle Data Window, Double Click Item for Real Time Display"), central);
    addWidget(label5, QStringLiteral("Label5"));
    m_list1 = new QListView(central);
    addWidget(m_list1, QStringLiteral("List1"));
    m_list1->setModel(m_program.data.model());
    m_list1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list1->setFont(namedFont(QStringLiteral("Courier"), QFont::TypeWriter));
    connect(m_list1, &QListView::doubleClicked, this, &frmMain::openRealTimeDisplay);
    windows->addWidget(label5);
    windows->addWidget(m_list1, 3);

    auto *label2 = new QLabel(Label2Caption, central);
    addWidget(label2, QStringLiteral("Label2"));
    m_textECU = new QTextEdit(central);
    addWidget(m_textECU, QStringLiteral("textECU"));
    m_textECU->setAcceptRichText(false);
    m_textECU->setFont(namedFont(QStringLiteral("Courier New"), QFont::TypeWriter));
    m_textECU->setLineWrapMode(QTextEdit::NoWrap);
    windows->addWidget(label2);
    windows->addWidget(m_textECU, 2);
    m_tabKeeper = new TabKeeper(this, m_textECU);

    connect(command2, &QPushButton::clicked, this, &frmMain::onPrint);
    connect(command1, &QPushButton::clicked, this, &frmMain::onExit);
    using Handler = void (*)(Program &);
    const std::pair<const char *, Handler> latched[] = {
        {"Mode1", requestCurrentData},
        {"Mode2", requestFreezeFrame},
        {"Mode3", requestTroubleCodes},
        {"Mode4", clearTroubleCodes},
    };
    for (const auto &[name, handler] : latched) {
        const QString button = QString::fromLatin1(name);
        connect(static_cast<QPushButton *>(m_widgets.value(button)), &QPushButton::clicked, this,
                [this, button, handler = handler] { latch(button, handler); });
    }
    connect(static_cast<QPushButton *>(m_widgets.value(QStringLiteral("Mode5"))), &QPushButton::clicked, this,
            &frmMain::openO2SensorTest);
    connect(static_cast<QPushButton *>(m_widgets.value(QStringLiteral("ChangeECU"))), &QPushButton::clicked, this,
            &frmMain::onChangeECU);
}

void frmMain::buildMenus()
{
    QMenuBar *bar = menuBar();
    connect(addAction(bar->addAction(QStringLiteral("&MultiView ")), QStringLiteral("mnuDataLog")), &QAction::triggered,
            this, &frmMain::openMultiView);

    QMenu *mnuCom = bar->addMenu(QStringLiteral("&Connection"));
    mnuCom->setObjectName(QStringLiteral("mnuCom"));
    addAction(mnuCom->menuAction(), QStringLiteral("mnuCom"));
    // The USB transport is built in but never offered; the item exists so the program can address it.
    addAction(mnuCom->addAction(QStringLiteral("USB")), QStringLiteral("mnuUSB"));
    for (int n = 1; n <= 4; ++n) {
        QAction *com = addAction(mnuCom->addAction(QStringLiteral("Com%1").arg(n)), QStringLiteral("mnuConnectionCom%1").arg(n));
        connect(com, &QAction::triggered, this, [this, n] { connectCom(m_program, n); });
    }
    connect(addAction(mnuCom->addAction(QStringLiteral("COM 5 thru 9")), QStringLiteral("mnuConnectionComX")),
            &QAction::triggered, this, [this] { connectCom(m_program, ComPicker); });
    mnuCom->addSeparator();
    connect(addAction(mnuCom->addAction(QStringLiteral("38400 baud")), QStringLiteral("mnu9600")), &QAction::triggered,
            this, [this] { m_program.settings.baud_rate = 38400; });
    connect(addAction(mnuCom->addAction(QStringLiteral("19200 Baud")), QStringLiteral("mnu19200")), &QAction::triggered,
            this, [this] { m_program.settings.baud_rate = 19200; });

    connect(addAction(bar->addAction(QStringLiteral("&Mode 6 Tests")), QStringLiteral("mnuMode6")), &QAction::triggered,
            this, &frmMain::openMode6Tests);

    QMenu *mnuOpt = bar->addMenu(QStringLiteral("&Options"));
    mnuOpt->setObjectName(QStringLiteral("mnuOpt"));
    addAction(mnuOpt->menuAction(), QStringLiteral("mnuOpt"));
    connect(addAction(mnuOpt->addAction(QStringLiteral("&Fuel Trim Monitor")), QStringLiteral("mnuFTM")),
            &QAction::triggered, this, &frmMain::openFuelTrimMonitor);
    connect(addAction(mnuOpt->addAction(QStringLiteral("Wideband / Tachometer display")), QStringLiteral("mnuWBO2")),
            &QAction::triggered, this, &frmMain::openWidebandDisplay);
    QMenu *mnuUnits = mnuOpt->addMenu(QStringLiteral("&Units"));
    mnuUnits->setObjectName(QStringLiteral("mnuUnits"));
    addAction(mnuUnits->menuAction(), QStringLiteral("mnuUnits"));
    connect(addAction(mnuUnits->addAction(QStringLiteral("&English")), QStringLiteral("mnuUnitsEnglish")),
            &QAction::triggered, this, [this] { m_program.settings.units_metric = false; });
    connect(addAction(mnuUnits->addAction(QStringLiteral("&Metric")), QStringLiteral("mnuUnitsMetric")),
            &QAction::triggered, this, [this] { m_program.settings.units_metric = true; });
    connect(addAction(mnuOpt->addAction(QStringLiteral("&Debug Mode On/Off")), QStringLiteral("mnuDebugMode")),
            &QAction::triggered, this, &frmMain::onDebugMode);
}

void frmMain::startUp()
{
    show();
    m_program.startUp();
    m_list2->clear();
    m_list2->addItems(m_program.definitions.lines());
    m_colouring.fillTables();
}

void frmMain::applyControl(const QString &name)
{
    const Controls::State state = m_program.controls.state(name);
    if (QWidget *widget = m_widgets.value(name)) {
        widget->setEnabled(state.enabled);
        widget->setVisible(state.visible);
        if (auto *button = qobject_cast<QAbstractButton *>(widget); button && button->isCheckable())
            button->setChecked(state.pressed);
        if (state.hasCaption)
            setCaption(widget, state.caption);
    }
    if (QAction *action = m_actions.value(name)) {
        action->setEnabled(state.enabled);
        action->setVisible(state.visible);
        if (state.hasCaption)
            action->setText(state.caption);
    }
}

void frmMain::showIndicator()
{
    m_text1->setText(m_program.indicator.text());
    QPalette palette = m_text1->palette();
    palette.setColor(QPalette::Base, QColor(rgbName(m_program.indicator.color())));
    palette.setColor(QPalette::Text, Qt::black);
    m_text1->setPalette(palette);
}

void frmMain::showStatusText()
{
    // A write leaves plain text: no colour, no emphasis carried over from the caret, caret at the start.
    m_textECU->setCurrentCharFormat(QTextCharFormat());
    m_textECU->setPlainText(m_program.status.text());
    m_textECU->moveCursor(QTextCursor::Start);
}

void frmMain::showDataColour()
{
    QPalette palette = m_list1->palette();
    palette.setColor(QPalette::Text, QColor(rgbName(m_program.data.color())));
    m_list1->setPalette(palette);
}

void frmMain::latch(const QString &button, void (*handler)(Program &))
{
    m_program.controls.setPressed(button, true);
    handler(m_program);
}

void frmMain::onChangeECU()
{
    changeEcu(m_program);
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
    if (watched == m_label1 && event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton && m_label1->rect().contains(mouse->position().toPoint())) {
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

// The O2 sensor test window (it latches Mode5 while it runs) arrives with later work.
void frmMain::openO2SensorTest() {}

// The MultiView data logger arrives with later work.
void frmMain::openMultiView() {}

// The mode 6 test window arrives with later work.
void frmMain::openMode6Tests() {}

// The fuel trim monitor arrives with later work.
void frmMain::openFuelTrimMonitor() {}

// The wideband O2 / tachometer window arrives with later work.
void frmMain::openWidebandDisplay() {}

// The real-time display of the double-clicked line arrives with later work.
void frmMain::openRealTimeDisplay(const QModelIndex &) {}

} // namespace quenta

// The main window on the in-process simulated scan tool: what a user sees after start-up, what
// each button and menu item does, printing, Exit in the middle of a wait, the status window's
// colouring and its hold on the Tab key, and a connection made through the window.
#include "SimRig.h"

#include "app/StatusColouring.h"
#include "app/frmMain.h"
#include "app/frmUserCOM.h"
#include "platform/widgets/Printer.h"

#include <QAction>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>

using namespace quenta;

namespace {

struct RecordingPrinter : PrintTarget {
    QList<QStringList> jobs;
    bool succeed = true;
    QString reason;
    bool printLines(const QStringList &lines, QString *error) override
    {
        jobs << lines;
        if (!succeed && error)
            *error = reason;
        return succeed;
    }
};

// A window on a program whose COM1 is the simulated tool and whose COM2-COM4 cannot be opened.
struct WindowRig {
    SimRig rig;
    RecordingPrinter printer;
    frmMain window;
    QList<int> exits;

    WindowRig() : window(*rig.program, printer)
    {
        for (int n = 2; n <= 4; ++n)
            rig.program->connection.ports.mapDevice(n, QStringLiteral("/nonexistent/quenta-com%1").arg(n));
        window.setExitFunction([this](int code) { exits << code; });
    }
    Program &program() { return *rig.program; }
    template <typename T> T *find(const QString &name)
    {
        T *found = window.findChild<T *>(name);
        if (!found)
            qFatal("no %s", qPrintable(name));
        return found;
    }
    QAction *action(const QString &name) { return find<QAction>(name); }
    QPushButton *button(const QString &name) { return find<QPushButton>(name); }
    QTextEdit *textECU() { return find<QTextEdit>(names::textECU); }
    QLineEdit *text1() { return find<QLineEdit>(names::Text1); }
    bool enabled(const QString &name)
    {
        if (QAction *a = window.findChild<QAction *>(name))
            return a->isEnabled();
        return find<QWidget>(name)->isEnabled();
    }
    bool visible(const QString &name)
    {
        if (QAction *a = window.findChild<QAction *>(name))
            return a->isVisible();
        return !find<QWidget>(name)->isHidden();
    }
    // Colour the status window's text as the current-data request does.
    void colour(const QString &text)
    {
        program().status.setText(text);
        program().status.requestColouring();
    }
};

QTextCharFormat formatAt(QTextEdit *edit, int position)
{
    QTextCursor c(edit->document());
    c.setPosition(position);
    c.setPosition(position + 1, QTextCursor::KeepAnchor);
    return c.charFormat();
}

QString anyBold(QTextEdit *edit)
{
    const QString text = edit->toPlainText();
    for (int i = 0; i < text.size(); ++i) {
        if (formatAt(edit, i).fontWeight() > QFont::Normal)
            return QStringLiteral("bold at %1").arg(i);
    }
    return QString();
}

const QStringList AllControls{
    "Frame1", "Mode1", "Mode2", "Mode3", "Mode4", "Mode5", "ChangeECU", "Command2", "Command1", "Label1", "Text1",
    "Label7", "Label6", "Label5", "List1", "Label2", "textECU", "List2", "Picture1", "Label4", "mnuDataLog", "mnuCom",
    "mnuUSB", "mnuConnectionCom1", "mnuConnectionCom2", "mnuConnectionCom3", "mnuConnectionCom4",
    "mnuConnectionComX", "mnu9600", "mnu19200", "mnuMode6", "mnuOpt", "mnuFTM", "mnuWBO2", "mnuUnits",
    "mnuUnitsEnglish", "mnuUnitsMetric", "mnuDebugMode"};

} // namespace

class TstFrmMain : public QObject {
    Q_OBJECT

private slots:
    void startUpState_data();
    void startUpState();
    void captions_data();
    void captions();
    void startUpIndicatorAndLists();
    void menuBarOrder();
    void controlsModelDrivesAnyControl();

    void exitEndsAtOnceWhileWaiting();
    void secondClickKeepsLatchedButtonPressed();
    void closingTheWindowEndsLikeExit();
    void debugModeToggles();
    void unitItems_data();
    void unitItems();
    void speedItemsOnlySetBaud_data();
    void speedItemsOnlySetBaud();
    void legendBox();

    void print_data();
    void print();
    void printFailureIsShown_data();
    void printFailureIsShown();
    void pdfPrinting();
    void printWithoutPrinterAsksForAPdfFile_data();
    void printWithoutPrinterAsksForAPdfFile();

    void keywordLookup_data();
    void keywordLookup();
    void colouring_data();
    void colouring();
    void caretAfterPass_data();
    void caretAfterPass();
    void rewriteRemovesColouring();
    void tabStaysInStatusWindow();

    void connectThroughWindow();
    void latchingButtonsFollowTheModel();
    void portPickerChoice();
    void portPickerClosedEndsAttempt();
};

// ---- start-up ---------------------------------------------------------------------------------

void TstFrmMain::startUpState_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("visible");
    const struct { const char *name; bool enabled, visible; } rows[] = {
        {"Mode1", false, true}, {"Mode2", false, true}, {"Mode3", false, true}, {"Mode4", false, true},
        {"Mode5", false, false}, {"ChangeECU", false, true}, {"Command2", true, true}, {"Command1", true, true},
        {"mnuDataLog", false, true}, {"mnuMode6", false, true}, {"mnuFTM", false, true}, {"mnuWBO2", false, true},
        {"mnuUSB", false, false}, {"mnuConnectionCom1", true, true}, {"mnuConnectionCom2", false, true},
        {"mnuConnectionCom3", false, true}, {"mnuConnectionCom4", false, true}, {"mnuConnectionComX", true, true},
        {"mnu9600", true, true}, {"mnu19200", true, true}, {"mnuCom", true, true}, {"mnuOpt", true, true},
        {"mnuUnits", true, true}, {"mnuUnitsEnglish", true, true}, {"mnuUnitsMetric", true, true},
        {"mnuDebugMode", true, true}, {"Text1", true, true}, {"List1", true, true}, {"textECU", true, true},
    };
    for (const auto &r : rows)
        QTest::newRow(r.name) << QString::fromLatin1(r.name) << r.enabled << r.visible;
}

void TstFrmMain::startUpState()
{
    QFETCH(QString, name);
    QFETCH(bool, enabled);
    QFETCH(bool, visible);
    WindowRig b;
    b.window.startUp();
    QVERIFY(b.window.isVisible());
    QCOMPARE(b.enabled(name), enabled);
    QCOMPARE(b.visible(name), visible);
}

void TstFrmMain::captions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    const struct { const char *name, *caption; } rows[] = {
        {"Frame1", "Quenta Control Panel"},
        {"Mode1", "Request Current Powertrain Diagnostic Data"},
        {"Mode2", "Get Freeze Frame Data"},
        {"Mode3", "Request Diagnostic Trouble Codes"},
        {"Mode4", "Clear/Reset Diagnostic Trouble Codes"},
        {"Mode5", "O2 Sensor Test"},
        {"ChangeECU", "Change ECU"},
        {"Command2", "Print"},
        {"Command1", "Exit"},
        {"Label1", "ECU Status"},
        {"Label7", ""},
        {"Label6", ""},
        {"Label5", "Vehicle Data Window, Double Click Item for Real Time Display"},
        {"Label2", "Vehicle Test Status/Trouble Code Window           use the scroll bar to see more data"},
        {"mnuDataLog", "&MultiView "},
        {"mnuCom", "&Connection"},
        {"mnuUSB", "USB"},
        {"mnuConnectionCom1", "Com1"},
        {"mnuConnectionCom4", "Com4"},
        {"mnuConnectionComX", "COM 5 thru 9"},
        {"mnu9600", "38400 baud"},
        {"mnu19200", "19200 Baud"},
        {"mnuMode6", "&Mode 6 Tests"},
        {"mnuOpt", "&Options"},
        {"mnuFTM", "&Fuel Trim Monitor"},
        {"mnuWBO2", "Wideband / Tachometer display"},
        {"mnuUnits", "&Units"},
        {"mnuUnitsEnglish", "&English"},
        {"mnuUnitsMetric", "&Metric"},
        {"mnuDebugMode", "&Debug Mode On/Off"},
    };
    for (const auto &r : rows)
        QTest::newRow(r.name) << QString::fromLatin1(r.name) << QString::fromLatin1(r.caption);
}

void TstFrmMain::captions()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    WindowRig b;
    b.window.startUp();
    QString shown;
    if (QAction *a = b.window.findChild<QAction *>(name))
        shown = a->text();
    else if (auto *frame = b.window.findChild<QGroupBox *>(name))
        shown = frame->title();
    else if (auto *label = b.window.findChild<QLabel *>(name))
        shown = label->text();
    else
        shown = b.button(name)->text();
    QCOMPARE(shown, caption);
}

void TstFrmMain::startUpIndicatorAndLists()
{
    WindowRig b;
    QCOMPARE(b.text1()->text(), QStringLiteral("ECU Not Ready"));
    b.window.startUp();
    QCOMPARE(b.text1()->text(), QStringLiteral("ECU Off-Line"));
    QCOMPARE(b.text1()->palette().color(QPalette::Base), QColor(255, 0, 0));
    QVERIFY(b.window.windowTitle().startsWith(QStringLiteral("Velmor  Version 1.00 ---")));
    QVERIFY(b.window.windowTitle().size() > QStringLiteral("Velmor  Version 1.00 ---").size() + 5);
    QCOMPARE(b.program().settings.baud_rate, 38400.f);

    auto *list2 = b.find<QListWidget>(QStringLiteral("List2"));
    QVERIFY(b.program().definitions.count() > 100);
    QCOMPARE(list2->count(), b.program().definitions.count());
    QCOMPARE(list2->item(list2->count() - 1)->text(), b.program().definitions.lines().last());

    auto *list1 = b.find<QListView>(QStringLiteral("List1"));
    QCOMPARE(list1->model(), b.program().data.model());
    // The data lines line up in columns: the faces shown are fixed pitch, whatever is installed.
    for (const QFont &font : {list1->font(), b.textECU()->font()}) {
        const QFontMetrics m(font);
        QCOMPARE(m.horizontalAdvance(QStringLiteral("iiii")), m.horizontalAdvance(QStringLiteral("MMMM")));
    }
    QCOMPARE(list1->font().family(), QStringLiteral("Courier"));
    QCOMPARE(b.textECU()->font().family(), QStringLiteral("Courier New"));
    QVERIFY(b.textECU()->toPlainText().isEmpty());
}

void TstFrmMain::menuBarOrder()
{
    WindowRig b;
    QStringList top;
    for (QAction *a : b.window.menuBar()->actions())
        top << a->objectName();
    QCOMPARE(top, (QStringList{"mnuDataLog", "mnuCom", "mnuMode6", "mnuOpt"}));
    // Top-level commands are plain items of the bar, not menus.
    QVERIFY(!b.action(QStringLiteral("mnuDataLog"))->menu());
    QVERIFY(!b.action(QStringLiteral("mnuMode6"))->menu());

    QStringList com;
    for (QAction *a : b.find<QMenu>(QStringLiteral("mnuCom"))->actions())
        if (!a->isSeparator())
            com << a->objectName();
    QCOMPARE(com, (QStringList{"mnuUSB", "mnuConnectionCom1", "mnuConnectionCom2", "mnuConnectionCom3",
                               "mnuConnectionCom4", "mnuConnectionComX", "mnu9600", "mnu19200"}));
    QStringList opt;
    for (QAction *a : b.find<QMenu>(QStringLiteral("mnuOpt"))->actions())
        opt << a->objectName();
    QCOMPARE(opt, (QStringList{"mnuFTM", "mnuWBO2", "mnuUnits", "mnuDebugMode"}));
    for (const char *item : {"mnuUnitsEnglish", "mnuUnitsMetric", "mnu9600", "mnu19200"})
        QVERIFY2(!b.action(QString::fromLatin1(item))->isCheckable(), item);
}

void TstFrmMain::controlsModelDrivesAnyControl()
{
    WindowRig b;
    b.window.startUp();
    Controls &c = b.program().controls;
    for (const QString &name : AllControls) {
        c.setVisible(name, true); // a hidden menu item also reports itself disabled
        c.setEnabled(name, false);
        QVERIFY2(!b.enabled(name), qPrintable(name));
        c.setEnabled(name, true);
        QVERIFY2(b.enabled(name), qPrintable(name));
        c.setVisible(name, false);
        QVERIFY2(!b.visible(name), qPrintable(name));
        c.setVisible(name, true);
        QVERIFY2(b.visible(name), qPrintable(name));
    }
    c.setCaption(QStringLiteral("Label7"), QStringLiteral("F/W: S4.00"));
    c.setCaption(QStringLiteral("Label6"), QStringLiteral("ECU #=18"));
    c.setCaption(QStringLiteral("mnuDebugMode"), QStringLiteral("Debug"));
    QCOMPARE(b.find<QLabel>(QStringLiteral("Label7"))->text(), QStringLiteral("F/W: S4.00"));
    QCOMPARE(b.find<QLabel>(QStringLiteral("Label6"))->text(), QStringLiteral("ECU #=18"));
    QCOMPARE(b.action(QStringLiteral("mnuDebugMode"))->text(), QStringLiteral("Debug"));
    // Names the window has no control for are ignored.
    c.setEnabled(QStringLiteral("NoSuchControl"), false);
}

// ---- the small handlers -----------------------------------------------------------------------

void TstFrmMain::exitEndsAtOnceWhileWaiting()
{
    WindowRig b;
    b.window.startUp();
    b.rig.openPort();
    b.rig.tool.faults().quiet = true;
    b.program().controls.setEnabled(names::Mode1, true);
    QPushButton *exitButton = b.button(QStringLiteral("Command1"));
    bool pressedWhileWaiting = false;
    QTimer::singleShot(150, exitButton, [&] {
        pressedWhileWaiting = b.button(QStringLiteral("Mode1"))->isChecked();
        exitButton->click();
    });
    QElapsedTimer clock;
    clock.start();
    b.button(QStringLiteral("Mode1"))->click(); // waits for a tool that says nothing, until Exit
    const qint64 elapsed = clock.elapsed();
    QVERIFY(pressedWhileWaiting);
    QVERIFY2(elapsed >= 140, "the request did not wait for the tool");
    QVERIFY2(elapsed < 3000, "the wait did not end when Exit was pressed");
    QCOMPARE(b.exits, QList<int>{0});
    QVERIFY(b.program().link.state() == ScanToolLink::State::Abandoned);
    QVERIFY(!b.window.isVisible());
    QVERIFY(b.rig.tool.commands().isEmpty());
}

void TstFrmMain::secondClickKeepsLatchedButtonPressed()
{
    // A click on a button that is already latched runs its handler again inside the first one;
    // the button stays pressed, as the program's state says, instead of popping out.
    WindowRig b;
    b.window.startUp();
    b.rig.openPort();
    b.rig.tool.faults().quiet = true;
    b.program().controls.setEnabled(names::Mode1, true);
    QPushButton *mode1 = b.button(QStringLiteral("Mode1"));
    QList<bool> checked;
    QTimer::singleShot(100, mode1, [&] { mode1->click(); });
    QTimer::singleShot(200, mode1, [&] {
        checked << mode1->isChecked() << b.program().controls.pressed(QStringLiteral("Mode1"));
        b.button(QStringLiteral("Command1"))->click();
    });
    mode1->click();
    QCOMPARE(checked, (QList<bool>{true, true}));
    QCOMPARE(b.exits, QList<int>{0});
}

void TstFrmMain::closingTheWindowEndsLikeExit()
{
    WindowRig b;
    b.window.startUp();
    b.window.close();
    QCOMPARE(b.exits, QList<int>{0});
    QVERIFY(b.program().link.state() == ScanToolLink::State::Abandoned);
}

void TstFrmMain::debugModeToggles()
{
    WindowRig b;
    b.window.startUp();
    QAction *debug = b.action(QStringLiteral("mnuDebugMode"));
    debug->trigger();
    QVERIFY(b.program().settings.debug_mode);
    debug->trigger();
    QVERIFY(!b.program().settings.debug_mode);
    QCOMPARE(b.rig.prompts.texts(), (QStringList{"Debug Mode is turned ON", "Debug Mode is turned OFF"}));
    for (const auto &shown : b.rig.prompts.shown) {
        QVERIFY(!shown.question);
        QCOMPARE(shown.icon, Prompts::Icon::None);
    }
}

void TstFrmMain::unitItems_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<bool>("before");
    QTest::addColumn<bool>("metric");
    QTest::newRow("Metric from English") << "mnuUnitsMetric" << false << true;
    QTest::newRow("English from Metric") << "mnuUnitsEnglish" << true << false;
    QTest::newRow("Metric twice stays Metric") << "mnuUnitsMetric" << true << true;
    QTest::newRow("English twice stays English") << "mnuUnitsEnglish" << false << false;
}

void TstFrmMain::unitItems()
{
    QFETCH(QString, item);
    QFETCH(bool, before);
    QFETCH(bool, metric);
    WindowRig b;
    b.window.startUp();
    b.program().settings.units_metric = before;
    b.action(item)->trigger();
    QCOMPARE(b.program().settings.units_metric, metric);
    QVERIFY(!b.action(item)->isChecked());
    QVERIFY(b.rig.prompts.shown.isEmpty());
}

void TstFrmMain::speedItemsOnlySetBaud_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<float>("before");
    QTest::addColumn<float>("baud");
    QTest::newRow("19200 Baud") << "mnu19200" << 38400.f << 19200.f;
    QTest::newRow("38400 baud (named mnu9600)") << "mnu9600" << 19200.f << 38400.f;
}

void TstFrmMain::speedItemsOnlySetBaud()
{
    QFETCH(QString, item);
    QFETCH(float, before);
    QFETCH(float, baud);
    WindowRig b;
    b.window.startUp();
    b.program().settings.baud_rate = before;
    const Settings old = b.program().settings;
    QMap<QString, std::pair<bool, bool>> controlsBefore;
    for (const QString &name : AllControls)
        controlsBefore.insert(name, {b.enabled(name), b.visible(name)});

    b.action(item)->trigger();
    const Settings &now = b.program().settings;
    QCOMPARE(now.baud_rate, baud);
    QCOMPARE(now.debug_mode, old.debug_mode);
    QCOMPARE(now.units_metric, old.units_metric);
    QCOMPARE(now.user_com_port, old.user_com_port);
    QCOMPARE(now.fw_version, old.fw_version);
    for (const QString &name : AllControls)
        QCOMPARE(std::make_pair(b.enabled(name), b.visible(name)), controlsBefore.value(name));
    QVERIFY2(!b.program().connection.port(), "the port is only touched by the next connection");
    QVERIFY(b.rig.prompts.shown.isEmpty());
}

void TstFrmMain::legendBox()
{
    WindowRig b;
    b.window.startUp();
    QTest::mouseClick(b.find<QLabel>(QStringLiteral("Label1")), Qt::LeftButton);
    QCOMPARE(b.rig.prompts.shown.size(), 1);
    const auto &box = b.rig.prompts.shown.first();
    QCOMPARE(box.title, QStringLiteral("Quenta V3.40"));
    QCOMPARE(box.icon, Prompts::Icon::Information);
    QCOMPARE(box.text, QStringLiteral("Red=No coommunication with scan tool,\r\n"
                                      "Yellow=Communication with scan tool, not with vehicle\r\n"
                                      "Green=Communication with vehicle"));
    QVERIFY(!box.question);
}

// ---- printing ---------------------------------------------------------------------------------

void TstFrmMain::print_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<QStringList>("data");
    QTest::addColumn<QStringList>("printed");
    QTest::newRow("empty data window: only the status text")
        << "\r\nMIL is OFF" << QStringList{} << QStringList{"", "MIL is OFF"};
    QTest::newRow("status then every data line in order")
        << "Status line 1\r\nStatus line 2" << QStringList{"Engine RPM ------ 800 rpm", "Vehicle Speed --- 0 mph", "Z"}
        << QStringList{"Status line 1", "Status line 2", "Engine RPM ------ 800 rpm", "Vehicle Speed --- 0 mph", "Z"};
    QTest::newRow("empty status text still leads") << "" << QStringList{"A", "B"} << QStringList{"", "A", "B"};
    QTest::newRow("lone LF and CR also end lines")
        << "one\ntwo\rthree" << QStringList{"x"} << QStringList{"one", "two", "three", "x"};
}

void TstFrmMain::print()
{
    QFETCH(QString, status);
    QFETCH(QStringList, data);
    QFETCH(QStringList, printed);
    WindowRig b;
    b.window.startUp();
    b.program().status.setText(status);
    for (const QString &line : data)
        b.program().data.append(line);
    b.button(QStringLiteral("Command2"))->click();
    QCOMPARE(b.printer.jobs.size(), 1);
    QCOMPARE(b.printer.jobs.first(), printed);
    QVERIFY(b.rig.prompts.shown.isEmpty());
}

void TstFrmMain::printFailureIsShown_data()
{
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("message");
    QTest::newRow("with a reason") << "there is no printer and no PDF file was chosen"
                                   << "Nothing was printed: there is no printer and no PDF file was chosen";
    QTest::newRow("without a reason") << "" << "Nothing was printed: the printer gave no reason";
}

void TstFrmMain::printFailureIsShown()
{
    QFETCH(QString, reason);
    QFETCH(QString, message);
    WindowRig b;
    b.window.startUp();
    b.printer.succeed = false;
    b.printer.reason = reason;
    b.button(QStringLiteral("Command2"))->click();
    QCOMPARE(b.rig.prompts.texts(), QStringList{message});
    QCOMPARE(b.rig.prompts.shown.first().icon, Prompts::Icon::Exclamation);
}

void TstFrmMain::pdfPrinting()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    ScriptedPrompts prompts;
    QtPrintTarget target(prompts);
    target.defaultPrinterName = [] { return QString(); };
    auto pages = [](const QString &path) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return -1;
        return int(f.readAll().count("/Type /Page\n"));
    };
    QString error;

    // No printer: the named file gets the report, ".pdf" added when missing.
    prompts.fileNames = {dir.filePath(QStringLiteral("short"))};
    QVERIFY2(target.printLines({"Status", "Engine RPM ------ 800 rpm"}, &error), qPrintable(error));
    QCOMPARE(pages(dir.filePath(QStringLiteral("short.pdf"))), 1);

    // A long report runs over several pages; a line wider than the page is not lost.
    QStringList many;
    for (int i = 0; i < 300; ++i)
        many << QStringLiteral("line %1 ").arg(i) + QString(i == 5 ? 400 : 10, QLatin1Char('x'));
    prompts.fileNames = {dir.filePath(QStringLiteral("long.pdf"))};
    QVERIFY2(target.printLines(many, &error), qPrintable(error));
    QVERIFY(pages(dir.filePath(QStringLiteral("long.pdf"))) >= 3);

    // Cancelled and unwritable: false with a reason, nothing reported as printed.
    prompts.fileNames.clear();
    error.clear();
    QVERIFY(!target.printLines({"x"}, &error));
    QVERIFY(error.contains(QStringLiteral("no PDF file")));
    prompts.fileNames = {QStringLiteral("/nonexistent-folder/quenta/report.pdf")};
    error.clear();
    QTest::ignoreMessage(QtWarningMsg, "QPainter::begin(): Returned false");
    QVERIFY(!target.printLines({"x"}, &error));
    QVERIFY2(error.contains(QStringLiteral("/nonexistent-folder/quenta/report.pdf")), qPrintable(error));
    QCOMPARE(prompts.fileQuestions.size(), 4);
}

// Print on a system without a printer, through the window: the file name is asked through the
// prompts; a cancelled question prints nothing and says so.
void TstFrmMain::printWithoutPrinterAsksForAPdfFile_data()
{
    QTest::addColumn<QString>("answer"); // empty: the question is cancelled
    QTest::addColumn<QStringList>("written");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("named file") << "report.pdf" << QStringList{"report.pdf"} << QStringList{};
    QTest::newRow("cancelled") << "" << QStringList{}
                               << QStringList{"Nothing was printed: there is no printer and no PDF file was chosen"};
}

void TstFrmMain::printWithoutPrinterAsksForAPdfFile()
{
    QFETCH(QString, answer);
    QFETCH(QStringList, written);
    QFETCH(QStringList, messages);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    SimRig rig;
    QtPrintTarget printer(rig.prompts);
    printer.defaultPrinterName = [] { return QString(); };
    frmMain window(*rig.program, printer);
    rig.program->status.setText(QStringLiteral("MIL is OFF"));
    if (!answer.isEmpty())
        rig.prompts.fileNames << dir.filePath(answer);

    window.findChild<QPushButton *>(QStringLiteral("Command2"))->click();
    QCOMPARE(rig.prompts.fileQuestions.size(), 1);
    QCOMPARE(rig.prompts.fileQuestions[0].title, QStringLiteral("No printer: print to a PDF file"));
    QCOMPARE(rig.prompts.fileQuestions[0].filter, QStringLiteral("PDF files (*.pdf)|*.pdf"));
    QCOMPARE(rig.prompts.texts(), messages);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), written);
    if (!written.isEmpty())
        QVERIFY(QFileInfo(dir.filePath(written[0])).size() > 0);
}

// ---- status window colouring ------------------------------------------------------------------

void TstFrmMain::keywordLookup_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<int>("group");
    const struct { const char *word; int group; } rows[] = {
        {"incomplete", 1}, {"On", 1}, {"oN", 1}, {"FAULT", 1}, {"function", 1}, {"integer", 3}, {"LO", 3},
        {"string", 3}, {"complete", 4}, {"OFF", 4}, {"Private", 5}, {"public", 5}, {"o2", 6}, {"O2", 6},
        {"egr", 6}, {"With", 6}, {"o2s", 0}, {"complet", 0}, {"on ", 0}, {"", 0}, {"MIL", 0}, {"-on", 0},
    };
    for (const auto &r : rows)
        QTest::newRow(*r.word ? r.word : "(empty)") << QString::fromLatin1(r.word) << r.group;
}

void TstFrmMain::keywordLookup()
{
    QFETCH(QString, word);
    QFETCH(int, group);
    StatusColouring colouring;
    QCOMPARE(colouring.lookup(word), 0); // before start-up fills the tables
    colouring.fillTables();
    QCOMPARE(colouring.lookup(word), group);
    const QColor colours[] = {QColor(0, 0, 0),     QColor(255, 0, 0),    QColor(255, 140, 0), QColor(210, 105, 30),
                              QColor(0, 128, 0),   QColor(153, 50, 204), QColor(0, 0, 255)};
    for (int g = 0; g < StatusColouring::Groups; ++g)
        QCOMPARE(colouring.colour(g), colours[g]);
}

void TstFrmMain::colouring_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("word"); // its first occurrence in the text is checked, every character
    QTest::addColumn<QColor>("colour"); // invalid: left uncoloured
    QTest::addColumn<bool>("bold");
    const QColor red(255, 0, 0), green(0, 128, 0), blue(0, 0, 255), black(0, 0, 0);
    QTest::newRow("On is red and bold") << "MIL is On and the engine idles" << "On" << red << true;
    QTest::newRow("ON is red and bold") << "MIL is ON and the engine idles" << "ON" << red << true;
    QTest::newRow("MIL stays black") << "MIL is ON and the engine idles" << "MIL" << black << false;
    QTest::newRow("On among the last ten is not examined") << "MIL is On at idle" << "On" << QColor() << false;
    QTest::newRow("complete after dashes is green")
        << "Catalyst Monitor -------- complete\r\n" << "complete" << green << true;
    QTest::newRow("dashes are skipped, not coloured")
        << "Catalyst Monitor -------- complete\r\n" << "--------" << QColor() << false;
    QTest::newRow("dashes glued to the word belong to it")
        << "Catalyst -------complete ok now" << "-------complete" << black << false;
    QTest::newRow("o2 is blue") << "Oxygen sensor o2 is present" << "o2" << blue << true;
    QTest::newRow("O2 is blue") << "Oxygen sensor O2 is present" << "O2" << blue << true;
    QTest::newRow("longer word starting with o2 is black") << "Oxygen sensor o2s1 reading ok" << "o2s1" << black << false;
    QTest::newRow("parentheses end words") << "Valve (EGR) is fine here" << "EGR" << blue << true;
    QTest::newRow("tab ends words") << "MIL\tOn\tnow and later" << "On" << red << true;
    QTest::newRow("line breaks end words") << "MIL\r\nOn\r\nlater text" << "On" << red << true;
    QTest::newRow("group 3") << "Monitor lo and private\r\nend of text here" << "lo" << QColor(210, 105, 30) << true;
    QTest::newRow("group 5") << "Monitor lo and private\r\nend of text here" << "private" << QColor(153, 50, 204) << true;
    QTest::newRow("first letters capital") << "Function FAULT found here" << "Function" << red << true;
    QTest::newRow("word starting before the last ten is coloured whole") << "  incomplete" << "incomplete" << red << true;
    QTest::newRow("eleven characters stay uncoloured") << " incomplete" << "incomplete" << QColor() << false;
    QTest::newRow("word starting in the last ten is not examined")
        << "ab fault incomplete" << "incomplete" << QColor() << false;
    QTest::newRow("word before it is") << "ab fault incomplete" << "fault" << red << true;
}

void TstFrmMain::colouring()
{
    QFETCH(QString, text);
    QFETCH(QString, word);
    QFETCH(QColor, colour);
    QFETCH(bool, bold);
    WindowRig b;
    b.window.startUp();
    b.colour(text);
    QTextEdit *edit = b.textECU();
    const int at = int(edit->toPlainText().indexOf(word));
    QVERIFY(at >= 0);
    for (int i = at; i < at + word.size(); ++i) {
        const QTextCharFormat f = formatAt(edit, i);
        if (colour.isValid())
            QCOMPARE(f.foreground().color(), colour);
        else
            QVERIFY2(!f.hasProperty(QTextFormat::ForegroundBrush), qPrintable(QStringLiteral("coloured at %1").arg(i)));
        QCOMPARE(f.fontWeight() > QFont::Normal, bold);
    }
}

void TstFrmMain::caretAfterPass_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("caret");
    QTest::addColumn<bool>("insertionBlack");
    QTest::newRow("eleven characters: after the first") << "MIL is ON!!" << 0 << 1 << true;
    QTest::newRow("one character") << "x" << 0 << 1 << true;
    QTest::newRow("empty text") << "" << 0 << 0 << true;
    QTest::newRow("after p, clamped to the text") << "  incomplete" << 0 << 12 << true;
    QTest::newRow("stops at the limit") << "abc def ghi jkl" << 0 << 5 << true;
    QTest::newRow("out of text: caret stays at the last word")
        << QStringLiteral("ab") + QString(20, QLatin1Char(' ')) << 0 << 0 << false;
    QTest::newRow("pass starts at the caret") << "fault one two three four five" << 6 << 21 << true;
}

void TstFrmMain::caretAfterPass()
{
    QFETCH(QString, text);
    QFETCH(int, start);
    QFETCH(int, caret);
    QFETCH(bool, insertionBlack);
    WindowRig b;
    b.window.startUp();
    QTextEdit *edit = b.textECU();
    b.program().status.setText(text);
    QCOMPARE(edit->textCursor().position(), 0);
    QTextCursor c = edit->textCursor();
    c.setPosition(start);
    edit->setTextCursor(c);
    b.program().status.requestColouring();
    QCOMPARE(edit->textCursor().position(), caret);
    QCOMPARE(edit->textCursor().hasSelection(), false);
    if (insertionBlack)
        QCOMPARE(edit->textColor(), QColor(0, 0, 0));
    if (start > 0) {
        QVERIFY(!formatAt(edit, 0).hasProperty(QTextFormat::ForegroundBrush)); // "fault" lies before the caret
        QCOMPARE(formatAt(edit, 6).foreground().color(), QColor(0, 0, 0));
    }
}

void TstFrmMain::rewriteRemovesColouring()
{
    WindowRig b;
    b.window.startUp();
    QTextEdit *edit = b.textECU();
    b.colour(QStringLiteral("MIL is ON, catalyst -------- complete, o2 present  "));
    QVERIFY(!anyBold(edit).isEmpty());
    b.colour(QStringLiteral("  incomplete")); // leaves the caret after a red bold word
    b.program().status.setText(QStringLiteral("MIL is ON and everything else is plain"));
    QCOMPARE(anyBold(edit), QString());
    for (int i = 0; i < edit->toPlainText().size(); ++i)
        QVERIFY(!formatAt(edit, i).hasProperty(QTextFormat::ForegroundBrush));
    QCOMPARE(edit->textCursor().position(), 0);
    b.program().status.requestColouring();
    QCOMPARE(formatAt(edit, 7).foreground().color(), QColor(255, 0, 0));
}

void TstFrmMain::tabStaysInStatusWindow()
{
    WindowRig b;
    b.window.startUp();
    QApplication::setActiveWindow(&b.window);
    QVERIFY(QTest::qWaitForWindowActive(&b.window));
    b.program().controls.setEnabled(names::Mode1, true);
    QHash<QWidget *, Qt::FocusPolicy> before;
    for (QWidget *w : b.window.findChildren<QWidget *>())
        before.insert(w, w->focusPolicy());
    QPushButton *mode1 = b.button(QStringLiteral("Mode1"));
    QVERIFY(mode1->focusPolicy() & Qt::TabFocus);
    auto *list1 = b.find<QListView>(QStringLiteral("List1"));
    QTextEdit *edit = b.textECU();

    for (int round = 0; round < 2; ++round) {
        edit->setFocus(Qt::MouseFocusReason);
        QTRY_VERIFY(edit->hasFocus());
        for (QWidget *w : b.window.findChildren<QWidget *>())
            QVERIFY2(!(w->focusPolicy() & Qt::TabFocus), qPrintable(w->objectName()));
        QCOMPARE(mode1->focusPolicy() & Qt::ClickFocus, Qt::ClickFocus);
        QTest::keyClick(edit, Qt::Key_Tab);
        QVERIFY(edit->hasFocus());
        QCOMPARE(edit->toPlainText().count(QLatin1Char('\t')), round + 1);

        list1->setFocus(Qt::MouseFocusReason);
        QTRY_VERIFY(list1->hasFocus());
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            QVERIFY2(it.key()->focusPolicy() == it.value(), it.key()->metaObject()->className());
    }
}

// ---- connecting through the window ------------------------------------------------------------

void TstFrmMain::connectThroughWindow()
{
    WindowRig b;
    b.window.startUp();
    QStringList shown;
    connect(&b.program().indicator, &IndicatorModel::changed, &b.window, [&] {
        if (shown.isEmpty() || shown.last() != b.text1()->text())
            shown << b.text1()->text();
    });
    b.action(QStringLiteral("mnuConnectionCom1"))->trigger();

    QCOMPARE(b.rig.prompts.texts(), QStringList{});
    QVERIFY(shown.contains(QStringLiteral("Waiting for ECU")));
    QVERIFY(shown.indexOf(QStringLiteral("Sending FWID")) > shown.indexOf(QStringLiteral("Waiting for ECU")));
    QCOMPARE(shown.last(), QStringLiteral("ECU Connected"));
    QCOMPARE(b.text1()->palette().color(QPalette::Base), QColor(0, 255, 0));
    for (const char *mode : {"Mode1", "Mode2", "Mode3", "Mode4", "ChangeECU"})
        QVERIFY2(b.enabled(QString::fromLatin1(mode)), mode);
    QVERIFY(b.visible(QStringLiteral("Mode5"))); // firmware 3.40 is above 3.09
    QVERIFY(!b.enabled(QStringLiteral("mnuCom")));
    QVERIFY(!b.visible(QStringLiteral("mnuUSB")));
    QVERIFY(b.enabled(QStringLiteral("mnuMode6")));
    QVERIFY(b.enabled(QStringLiteral("mnuDataLog")));
    QCOMPARE(b.find<QLabel>(QStringLiteral("Label7"))->text(), QStringLiteral("F/W: S3.40"));
    QVERIFY(b.find<QLabel>(QStringLiteral("Label6"))->text().startsWith(QStringLiteral("ECU #=")));
    QVERIFY(b.program().data.count() > 0);
    QCOMPARE(b.find<QListView>(QStringLiteral("List1"))->model()->rowCount(), b.program().data.count());
    QVERIFY(!b.button(QStringLiteral("Mode1"))->isChecked());
}

void TstFrmMain::latchingButtonsFollowTheModel()
{
    WindowRig b;
    b.window.startUp();
    b.action(QStringLiteral("mnuConnectionCom1"))->trigger();
    QPushButton *mode1 = b.button(QStringLiteral("Mode1"));
    QPushButton *change = b.button(QStringLiteral("ChangeECU"));

    // The button shows the model's state at every change: pressed while the request runs, then released.
    QList<bool> shown;
    auto watch = connect(&b.program().controls, &Controls::changed, &b.window, [&](const QString &name) {
        if (name == QLatin1String("Mode1"))
            shown << mode1->isChecked();
    });
    mode1->click();
    disconnect(watch);
    QCOMPARE(shown, (QList<bool>{true, false}));
    QVERIFY(!mode1->isChecked());
    QVERIFY(!b.program().controls.pressed(QStringLiteral("Mode1")));

    b.rig.tool.clearCommands();
    for (const bool pressed : {true, false}) {
        change->click();
        QCOMPARE(b.program().controls.pressed(QStringLiteral("ChangeECU")), pressed);
        QCOMPARE(change->isChecked(), pressed);
        QCOMPARE(change->text(), QStringLiteral("Toggle ECU"));
    }
    QCOMPARE(b.rig.tool.commands().count("800204"), 2);
}

void TstFrmMain::portPickerChoice()
{
    WindowRig b;
    sim::SimulatedScanTool *tool = &b.rig.tool;
    b.program().connection.ports.mapFactory(5, [tool] { return std::make_unique<sim::SimPort>(tool); },
                                 QStringLiteral("simulated scan tool: COM5"));
    b.program().connection.ports.mapDevice(6, QStringLiteral("/nonexistent/quenta-com6"));
    b.window.startUp();
    QAction *comX = b.action(QStringLiteral("mnuConnectionComX"));

    // What the picker shows is read inside the wait, then checked here; the choice (or, failing
    // that, closing the picker) always ends the wait.
    struct Seen {
        bool visible = false;
        QString title, label;
        QStringList options;
        int checked = -1;
    };
    auto pickLater = [&b](Seen *seen, const QString &option) {
        QTimer::singleShot(50, &b.window, [&b, seen, option] {
            frmUserCOM *picker = b.window.portPicker();
            if (!picker) {
                b.program().connection.portPickerClosed();
                return;
            }
            seen->visible = picker->isVisible();
            seen->title = picker->windowTitle();
            if (auto *label = picker->findChild<QLabel *>())
                seen->label = label->text();
            seen->checked = 0;
            for (int i = 1; i <= 5; ++i) {
                if (auto *o = picker->findChild<QRadioButton *>(QStringLiteral("Option%1").arg(i))) {
                    seen->options << o->text();
                    seen->checked += o->isChecked();
                }
            }
            if (auto *o = picker->findChild<QRadioButton *>(option))
                QTest::mouseClick(o, Qt::LeftButton, {}, QPoint(8, o->height() / 2)); // on the round button
            if (picker->isVisible())
                picker->close(); // the click missed: end the wait rather than hang
        });
    };

    // COM6 cannot be opened: the choice is taken, the attempt fails as with any bad port.
    Seen first;
    pickLater(&first, QStringLiteral("Option2"));
    comX->trigger();
    QVERIFY(first.visible);
    QCOMPARE(first.title, QStringLiteral("User Defined COM Port Selection"));
    QCOMPARE(first.label, QStringLiteral("SELECT COM PORT"));
    QCOMPARE(first.options, (QStringList{"COM5", "COM6", "COM7", "COM8", "COM9"}));
    QCOMPARE(first.checked, 0);
    QCOMPARE(b.program().settings.user_com_port, 6);
    QVERIFY(!b.window.portPicker()->isVisible());
    QCOMPARE(b.rig.prompts.texts(), QStringList{"Invalid COM PORT"});

    // Shown again, nothing is selected; COM5 is the simulated tool and the connection goes through.
    Seen second;
    pickLater(&second, QStringLiteral("Option1"));
    comX->trigger();
    QVERIFY(second.visible);
    QCOMPARE(second.checked, 0);
    QCOMPARE(b.program().settings.user_com_port, 5);
    QCOMPARE(b.text1()->text(), QStringLiteral("ECU Connected"));
    QVERIFY(!b.enabled(QStringLiteral("mnuCom")));
}

void TstFrmMain::portPickerClosedEndsAttempt()
{
    WindowRig b;
    b.window.startUp();
    QTimer::singleShot(50, &b.window, [&] {
        if (frmUserCOM *picker = b.window.portPicker())
            picker->close();
        else
            b.program().connection.portPickerClosed();
    });
    QElapsedTimer clock;
    clock.start();
    b.action(QStringLiteral("mnuConnectionComX"))->trigger();
    QVERIFY(clock.elapsed() < 3000);
    QVERIFY(!b.window.portPicker()->isVisible());
    QVERIFY(b.program().settings.user_com_port < 5);
    QCOMPARE(b.rig.prompts.texts(), QStringList{});
    QCOMPARE(b.text1()->text(), QStringLiteral("ECU Off-Line"));
    QVERIFY(b.enabled(QStringLiteral("mnuConnectionCom1")));
    QVERIFY(b.enabled(QStringLiteral("mnuConnectionComX")));
    QVERIFY(!b.program().connection.port());
}

QTEST_MAIN(TstFrmMain)
#include "tst_frmMain.moc"

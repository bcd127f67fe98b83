// The main window's wiring: control names, captions, the controls model, the status window's
// colouring and hold on Tab, printing, and the click handlers; all on the manual clock.
#include "ManualClock.h"
#include "SimRig.h"

#include "app/frmMain.h"
#include "app/frmUserCOM.h"
#include "core/ControlNames.h"
#include "live/widgets/Chart.h"
#include "live/widgets/DataLogMV.h"
#include "live/widgets/WRO2_Sensor_Log.h"
#include "live/widgets/frmFuel_Trim.h"
#include "platform/widgets/Printer.h"

#include <QtTest>
#include <QtWidgets>

using namespace quenta;

namespace {

struct RecordingPrinter : PrintTarget {
    QList<QStringList> jobs;
    bool succeed = true;
    QString reason;
    bool printLines(const QStringList &lines, QString *error) override { jobs << lines; *error = succeed ? QString() : reason; return succeed; }
};

// A window on a program whose COM1 is the simulated tool and whose COM2-COM4 cannot be opened.
struct WindowRig {
    ManualClock clock;
    SimRig rig{clock};
    RecordingPrinter printer;
    frmMain window{*rig.program, printer};
    QList<int> exits;

    WindowRig()
    {
        for (int n = 2; n <= 4; ++n)
            rig.program->connection.ports.mapDevice(n, QStringLiteral("/nonexistent/quenta-com%1").arg(n));
        window.setExitFunction([this](int code) { exits << code; });
        window.startUp();
    }
    Program &program() { return *rig.program; }
    template <typename T = QWidget> T *find(const QString &name)
    {
        if (T *found = window.findChild<T *>(name))
            return found;
        qFatal("no %s", qPrintable(name));
    }
    QPushButton *button(const QString &name) { return find<QPushButton>(name); }
    QAction *item(const QString &name) { return find<QAction>(name); }
    QTextEdit *textECU() { return find<QTextEdit>(names::textECU); }
    QString indicator() { return find<QLineEdit>(names::Text1)->text(); }
    bool enabled(const QString &name) { auto *a = window.findChild<QAction *>(name); return a ? a->isEnabled() : find(name)->isEnabled(); }
    bool visible(const QString &name) { auto *a = window.findChild<QAction *>(name); return a ? a->isVisible() : !find(name)->isHidden(); }
};

// Control names: a control-kind prefix, or a lower-case or verb part and a capitalised rest (textECU, ChangeECU).
const QRegularExpression ControlNaming(QStringLiteral(
    "^(?:cmd|mnu|Mode|Label|Command|Text|List|Frame|Picture|Option|Check|Combo|Timer|MSComm)[A-Za-z0-9_]*$"
    "|^(?:text|Change)[A-Z][A-Za-z0-9_]*$"));

// A widget or menu item of `window` itself, not of a window opened from it (a menu's popup is its bar's).
bool belongsTo(const QObject *object, const QWidget *window)
{
    if (!qobject_cast<const QWidget *>(object) && !qobject_cast<const QAction *>(object))
        return false;
    for (const QObject *o = object; o; o = o->parent()) {
        if (o == window)
            return true;
        const auto *widget = qobject_cast<const QWidget *>(o);
        if (widget && widget->isWindow() && !qobject_cast<const QMenu *>(widget))
            return false;
    }
    return false;
}

// The declared names no control carries, then the controls that follow the naming undeclared.
QStringList namesThatDisagree(const QWidget &window, const QStringList &declared)
{
    QStringList wrong;
    for (const QString &name : declared) {
        const QList<QObject *> found = window.findChildren<QObject *>(name);
        if (std::none_of(found.cbegin(), found.cend(), [&](const QObject *o) { return belongsTo(o, &window); }))
            wrong << QStringLiteral("missing ") + name;
    }
    for (const QObject *o : window.findChildren<QObject *>()) {
        const QString name = o->objectName();
        if (belongsTo(o, &window) && ControlNaming.match(name).hasMatch() && !declared.contains(name))
            wrong << QStringLiteral("undeclared ") + name;
    }
    wrong.removeDuplicates();
    return wrong;
}

QTextCharFormat formatAt(QTextEdit *edit, int position)
{
    QTextCursor c(edit->document());
    c.setPosition(position);
    c.setPosition(position + 1, QTextCursor::KeepAnchor);
    return c.charFormat();
}

const QColor Red(255, 0, 0), Green(0, 128, 0), Blue(0, 0, 255), Black(0, 0, 0), Purple(153, 50, 204);

} // namespace

class tst_main_window : public QObject {
    Q_OBJECT

private slots:
    void controlNamesAgree()
    {
        QCOMPARE(QSet<QString>(names::MainWindowControls.cbegin(), names::MainWindowControls.cend()).size(),
                 names::MainWindowControls.size());
        WindowRig b;
        // The port picker is a window of its own: its controls are not frmMain's.
        b.program().connection.showPortPicker();
        QCOMPARE(namesThatDisagree(b.window, names::MainWindowControls), QStringList());
        QCOMPARE(b.window.portPicker()->objectName(), names::frmUserCOM);
        QCOMPARE(namesThatDisagree(*b.window.portPicker(), names::picker::Controls), QStringList());

        const LiveParts parts = b.program().liveParts();
        const struct { std::unique_ptr<QWidget> window; const QString &name; const QStringList &controls; } live[] = {
            {std::make_unique<Chart>(parts), names::chart::Chart, names::chart::Controls},
            {std::make_unique<DataLogMV>(parts, b.program().logger), names::logger::DataLogMV, names::logger::Controls},
            {std::make_unique<WRO2_Sensor_Log>(parts), names::wideband::WRO2_Sensor_Log, names::wideband::Controls},
            {std::make_unique<frmFuel_Trim>(parts), names::fuelTrim::frmFuel_Trim, names::fuelTrim::Controls}};
        for (const auto &w : live) {
            QCOMPARE(w.window->objectName(), w.name);
            QCOMPARE(namesThatDisagree(*w.window, w.controls), QStringList());
        }
    }

    void captionsAndMenuBar()
    {
        WindowRig b;
        const struct { const QString &name; const char *caption; } rows[] = {
            {names::Frame1, "Quenta Control Panel"}, {names::Mode1, "Request Current Powertrain Diagnostic Data"},
            {names::Mode2, "Get Freeze Frame Data"}, {names::Mode3, "Request Diagnostic Trouble Codes"},
            {names::Mode4, "Clear/Reset Diagnostic Trouble Codes"}, {names::Mode5, "O2 Sensor Test"},
            {names::ChangeECU, "Change ECU"}, {names::Command2, "Print"}, {names::Command1, "Exit"},
            {names::Label1, "ECU Status"}, {names::Label7, ""}, {names::Label6, ""}, {names::Text1, "ECU Off-Line"},
            {names::Label5, "Vehicle Data Window, Double Click Item for Real Time Display"},
            {names::Label2, "Vehicle Test Status/Trouble Code Window           use the scroll bar to see more data"},
            {names::mnuDataLog, "&MultiView "}, {names::mnuCom, "&Connection"}, {names::mnuUSB, "USB"},
            {names::mnuConnectionCom1, "Com1"}, {names::mnuConnectionCom4, "Com4"}, {names::mnuConnectionComX, "COM 5 thru 9"},
            {names::mnuAdapter, "ELM327 Adapter..."}, {names::mnu9600, "38400 baud"}, {names::mnu19200, "19200 Baud"},
            {names::mnuMode6, "&Mode 6 Tests"}, {names::mnuOpt, "&Options"}, {names::mnuFTM, "&Fuel Trim Monitor"},
            {names::mnuWBO2, "Wideband / Tachometer display"}, {names::mnuUnits, "&Units"},
            {names::mnuUnitsEnglish, "&English"}, {names::mnuUnitsMetric, "&Metric"}, {names::mnuDebugMode, "&Debug Mode On/Off"}};
        for (const auto &r : rows) {
            auto *a = b.window.findChild<QAction *>(r.name);
            auto *frame = b.window.findChild<QGroupBox *>(r.name);
            auto *label = b.window.findChild<QLabel *>(r.name);
            auto *line = b.window.findChild<QLineEdit *>(r.name);
            QCOMPARE(a ? a->text() : frame ? frame->title() : label ? label->text() : line ? line->text() : b.button(r.name)->text(),
                     QString::fromLatin1(r.caption));
        }
        QCOMPARE(b.window.windowTitle(), frmMain::Caption);
        QCOMPARE(b.find(names::Text1)->palette().color(QPalette::Base), QColor(255, 0, 0));
        QCOMPARE(b.find<QListWidget>(names::List2)->count(), b.program().definitions.count());
        auto *list1 = b.find<QListView>(names::List1);
        QCOMPARE(list1->model(), b.program().data.model());
        // The data lines line up in columns: the faces shown are fixed pitch, whatever is installed.
        for (const QFont &font : {list1->font(), b.textECU()->font()}) {
            const QFontMetrics m(font);
            QCOMPARE(m.horizontalAdvance(QStringLiteral("iiii")), m.horizontalAdvance(QStringLiteral("MMMM")));
        }
        QStringList bar;
        for (QAction *a : b.window.menuBar()->actions())
            bar << a->objectName() + (a->menu() ? QStringLiteral(" menu") : QString());
        for (const QString &menu : {names::mnuCom, names::mnuOpt})
            for (QAction *a : b.find<QMenu>(menu)->actions())
                if (!a->isSeparator())
                    bar << a->objectName();
        QCOMPARE(bar, (QStringList{"mnuDataLog", "mnuCom menu", "mnuMode6", "mnuOpt menu", "mnuUSB", "mnuConnectionCom1",
                                   "mnuConnectionCom2", "mnuConnectionCom3", "mnuConnectionCom4", "mnuConnectionComX",
                                   "mnuAdapter", "mnu9600", "mnu19200", "mnuFTM", "mnuWBO2", "mnuUnits", "mnuDebugMode"}));
    }

    // The core drives every control by name: enabled, visible, captions, the link labels.
    void theModelsDriveTheControls()
    {
        WindowRig b;
        Controls &c = b.program().controls;
        for (const QString &name : names::MainWindowControls) {
            for (const bool on : {false, true}) {
                c.setVisible(name, true); // a hidden menu item also reports itself disabled
                c.setEnabled(name, on);
                QVERIFY2(b.enabled(name) == on, qPrintable(name));
                c.setVisible(name, on);
                QVERIFY2(b.visible(name) == on, qPrintable(name));
            }
        }
        c.setCaption(names::mnuDebugMode, QStringLiteral("Debug"));
        QCOMPARE(b.item(names::mnuDebugMode)->text(), QStringLiteral("Debug"));
        c.setEnabled(QStringLiteral("NoSuchControl"), false); // names without a control are ignored
        QSignalSpy linkChanges(&b.program().linkInfo, &LinkInfo::changed);
        QVERIFY(b.program().linkInfo.firmwareCaption().isEmpty() && b.program().linkInfo.ecuCaption().isEmpty());
        // Another tool, then the same again (nothing to redraw).
        for (const char *firmware : {"S3.40", "S4.00", "S4.00"})
            b.program().linkInfo.setFirmware(QLatin1String(firmware));
        QCOMPARE(b.find<QLabel>(names::Label7)->text() + '|' + b.find<QLabel>(names::Label6)->text(), QStringLiteral("F/W: S4.00|"));
        // A reply too short to hold the number still names it, as an empty one.
        for (const QString &number : {QStringLiteral("18"), QString()}) {
            b.program().linkInfo.setEcuNumber(number);
            QCOMPARE(b.find<QLabel>(names::Label6)->text(), QStringLiteral("ECU #=") + number + QStringLiteral("\r\n"));
            b.program().linkInfo.setEcuNumber(number);
        }
        QCOMPARE(linkChanges.count(), 4);
    }

    // Exit while a request waits on a silent tool ends the wait at once. A click on the latched
    // button meanwhile re-enters its handler; the button stays pressed, as the state says.
    void exitEndsAWaitAndALatchedButtonStaysPressed()
    {
        WindowRig b;
        b.rig.openPort();
        b.rig.tool.faults().quiet = true;
        b.program().controls.setEnabled(names::Mode1, true);
        QPushButton *mode1 = b.button(names::Mode1);
        QList<bool> checked;
        b.clock.after(100, [&] { mode1->click(); });
        b.clock.after(150, [&] {
            checked << mode1->isChecked() << b.program().controls.pressed(names::Mode1);
            b.button(names::Command1)->click();
        });
        const std::int64_t start = b.clock.now;
        mode1->click();
        QCOMPARE(checked, (QList<bool>{true, true}));
        // Exit came 150 ms in; a wait that went on would run to the operation's bound.
        QVERIFY2(b.clock.now - start >= 150 && b.clock.now - start < 1000, qPrintable(QString::number(b.clock.now - start)));
        QCOMPARE(b.exits, QList<int>{0});
        QVERIFY(b.program().link.state() == ScanToolLink::State::Abandoned && !b.window.isVisible() && b.rig.tool.commands().isEmpty());

        WindowRig closed; // closing the window ends the program as Exit does, on serial without a wait
        const int waits = closed.clock.waits;
        closed.window.close();
        QVERIFY(closed.exits == QList<int>{0} && closed.clock.waits == waits && closed.program().link.state() == ScanToolLink::State::Abandoned);
    }

    // The items that only change a setting (the port waits for the next connection), and the legend box.
    void menuItems()
    {
        const struct { const QString &item; bool metric, debug; float baud; } rows[] = {
            {names::mnuUnitsMetric, true, false, 38400.f}, {names::mnuUnitsEnglish, false, false, 38400.f},
            {names::mnu19200, false, false, 19200.f}, {names::mnuDebugMode, false, true, 38400.f}};
        for (const auto &r : rows) {
            WindowRig b;
            for (int twice = 0; twice < 2; ++twice) {
                b.item(r.item)->trigger();
                QVERIFY(!b.item(r.item)->isCheckable());
                const Settings &s = b.program().settings;
                QVERIFY(s.units_metric == r.metric && s.baud_rate == r.baud);
                QCOMPARE(s.debug_mode, r.debug && twice == 0); // debug mode toggles, the rest stay
            }
            QVERIFY(!b.program().connection.port());
            QCOMPARE(b.rig.prompts.texts(), r.debug ? QStringList({"Debug Mode is turned ON", "Debug Mode is turned OFF"}) : QStringList());
        }
        WindowRig b;
        b.program().settings.baud_rate = 19200.f;
        b.item(names::mnu9600)->trigger();
        QCOMPARE(b.program().settings.baud_rate, 38400.f);
        QTest::mouseClick(b.find<QLabel>(names::Label1), Qt::LeftButton);
        QVERIFY(b.rig.prompts.shown.size() == 1 && b.rig.prompts.shown[0].icon == Prompts::Icon::Information);
        QCOMPARE(b.rig.prompts.shown[0].title + '|' + b.rig.prompts.shown[0].text,
                 QStringLiteral("Quenta V3.40|Red=No coommunication with scan tool,\r\nYellow=Communication with scan tool, not with vehicle\r\n"
                                "Green=Communication with vehicle"));
    }

    // Print: the status lines (a lone LF or CR ends one), then the data lines; a failure said with its reason; no printer: a PDF.
    void printing()
    {
        const struct { const char *status; QStringList data, printed; bool fails; const char *said; } rows[] = {
            {"\r\nMIL is OFF", {}, {"", "MIL is OFF"}, false, ""}, {"one\ntwo\rthree", {"x", "y"}, {"one", "two", "three", "x", "y"}, false, ""},
            {"no PDF file was chosen", {}, {"no PDF file was chosen"}, true, "Nothing was printed: no PDF file was chosen"},
            {"", {}, {""}, true, "Nothing was printed: the printer gave no reason"}};
        for (const auto &r : rows) {
            WindowRig b;
            b.program().status.setText(QString::fromLatin1(r.status));
            for (const QString &line : r.data)
                b.program().data.append(line);
            b.printer.succeed = !r.fails;
            b.printer.reason = QString::fromLatin1(r.status);
            b.button(names::Command2)->click();
            QCOMPARE(b.printer.jobs, QList<QStringList>{r.printed});
            QCOMPARE(b.rig.prompts.texts(), *r.said ? QStringList{QString::fromLatin1(r.said)} : QStringList());
            QVERIFY(!r.fails || b.rig.prompts.shown[0].icon == Prompts::Icon::Exclamation);
        }

        QTemporaryDir dir;
        ScriptedPrompts prompts;
        QtPrintTarget target(prompts);
        target.defaultPrinterName = [] { return QString(); };
        auto pages = [&](const QString &name) {
            QFile f(dir.filePath(name));
            return f.open(QIODevice::ReadOnly) ? int(f.readAll().count("/Type /Page\n")) : -1;
        };
        QString error;
        prompts.fileNames = {dir.filePath(QStringLiteral("short"))}; // ".pdf" added when missing
        QVERIFY2(target.printLines({"Status", "Engine RPM ------ 800 rpm"}, &error), qPrintable(error));
        QCOMPARE(pages(QStringLiteral("short.pdf")), 1);
        // A long report runs over several pages; a line wider than the page is not lost.
        QStringList many;
        for (int i = 0; i < 300; ++i)
            many << QStringLiteral("line %1 ").arg(i) + QString(i == 5 ? 400 : 10, QLatin1Char('x'));
        prompts.fileNames = {dir.filePath(QStringLiteral("long.pdf"))};
        QVERIFY2(target.printLines(many, &error), qPrintable(error));
        QVERIFY(pages(QStringLiteral("long.pdf")) >= 3);
        QCOMPARE(prompts.fileQuestions[0].title + '|' + prompts.fileQuestions[0].filter, QStringLiteral("No printer: print to a PDF file|PDF files (*.pdf)|*.pdf"));
        // Cancelled or unwritable: false with a reason, nothing reported as printed.
        prompts.fileNames.clear();
        QVERIFY(!target.printLines({"x"}, &error));
        QCOMPARE(error, QStringLiteral("there is no printer and no PDF file was chosen"));
        prompts.fileNames = {QStringLiteral("/nonexistent-folder/quenta/report.pdf")};
        QTest::ignoreMessage(QtWarningMsg, "QPainter::begin(): Returned false");
        QVERIFY(!target.printLines({"x"}, &error));
        QVERIFY2(error.contains(QStringLiteral("/nonexistent-folder/quenta/report.pdf")), qPrintable(error));
    }

    void statusColouring()
    {
        StatusColouring colouring;
        QCOMPARE(colouring.lookup(QStringLiteral("incomplete")), 0); // before start-up fills the tables
        colouring.fillTables();
        const struct { const char *word; int group; } words[] = {
            {"incomplete", 1}, {"oN", 1}, {"FAULT", 1}, {"integer", 3}, {"LO", 3}, {"complete", 4}, {"OFF", 4},
            {"Private", 5}, {"o2", 6}, {"egr", 6}, {"With", 6}, {"o2s", 0}, {"complet", 0}, {"on ", 0}, {"", 0}, {"MIL", 0}};
        for (const auto &w : words)
            QVERIFY2(colouring.lookup(QLatin1String(w.word)) == w.group, w.word);
        const QColor colours[] = {Black, Red, QColor(255, 140, 0), QColor(210, 105, 30), Green, Purple, Blue};
        for (int g = 0; g < StatusColouring::Groups; ++g)
            QCOMPARE(colouring.colour(g), colours[g]);

        // A pass starts at the caret (what lies before it stays plain) and leaves it after what it
        // coloured. The word's first occurrence is checked, every character; an invalid colour: left
        // uncoloured. Words starting among the last ten characters are not examined; dashes are skipped.
        const struct { const char *text, *word; QColor colour; bool bold; int start = 0, caret = -1; QColor insertion = Black; } rows[] = {
            {"MIL is ON and the engine idles", "ON", Red, true}, {"MIL is ON and the engine idles", "MIL", Black, false},
            {"MIL is On at idle", "On", QColor(), false}, {"Catalyst Monitor -------- complete\r\n", "complete", Green, true},
            {"Catalyst Monitor -------- complete\r\n", "--------", QColor(), false}, {"Catalyst -------complete ok now", "-------complete", Black, false},
            {"Oxygen sensor o2s1 reading ok", "o2s1", Black, false}, {"Valve (EGR) is fine here", "EGR", Blue, true},
            {"MIL\tOn\tnow and later", "On", Red, true}, {"MIL\r\nOn\r\nlater text", "On", Red, true},
            {"Monitor lo and private\r\nend of text here", "private", Purple, true}, {"fault one two three four five", "fault", QColor(), false, 6, 21},
            {"  incomplete", "incomplete", Red, true, 0, 12}, {" incomplete", "incomplete", QColor(), false},
            {"ab fault incomplete", "fault", Red, true}, {"MIL is ON!!", "", Black, false, 0, 1}, {"", "", Black, false, 0, 0},
            {"abc def ghi jkl", "", Black, false, 0, 5}, {"fault               ", "fault", Red, true, 0, 0, Red}}; // out of text: the pass ends as it is
        for (const auto &r : rows) {
            WindowRig b;
            QTextEdit *edit = b.textECU();
            b.program().status.setText(QString::fromLatin1(r.text));
            QTextCursor c = edit->textCursor();
            c.setPosition(r.start);
            edit->setTextCursor(c);
            b.program().status.requestColouring();
            const int at = int(edit->toPlainText().indexOf(QLatin1String(r.word)));
            QVERIFY(at >= 0);
            for (int i = at; i < at + int(strlen(r.word)); ++i) {
                const QTextCharFormat f = formatAt(edit, i);
                QVERIFY2(r.colour.isValid() ? f.foreground().color() == r.colour : !f.hasProperty(QTextFormat::ForegroundBrush), r.text);
                QVERIFY2((f.fontWeight() > QFont::Normal) == r.bold, r.text);
            }
            QVERIFY2((r.caret < 0 || edit->textCursor().position() == r.caret) && !edit->textCursor().hasSelection(), r.text);
            QCOMPARE(edit->textColor(), r.insertion);
        }
        // New text is plain again, the caret at its start.
        WindowRig b;
        QTextEdit *edit = b.textECU();
        b.program().status.setText(QStringLiteral("  incomplete"));
        b.program().status.requestColouring(); // leaves the caret after a red bold word
        b.program().status.setText(QStringLiteral("MIL is ON and everything else is plain"));
        for (int i = 0; i < edit->toPlainText().size(); ++i)
            QVERIFY(!formatAt(edit, i).hasProperty(QTextFormat::ForegroundBrush) && formatAt(edit, i).fontWeight() <= QFont::Normal);
        QCOMPARE(edit->textCursor().position(), 0);
        b.program().status.requestColouring();
        QCOMPARE(formatAt(edit, 7).foreground().color(), Red);
    }

    void tabStaysInTheStatusWindow()
    {
        WindowRig b;
        QApplication::setActiveWindow(&b.window);
        QVERIFY(QTest::qWaitForWindowActive(&b.window));
        QHash<QWidget *, Qt::FocusPolicy> before;
        for (QWidget *w : b.window.findChildren<QWidget *>())
            before.insert(w, w->focusPolicy());
        QPushButton *mode1 = b.button(names::Mode1);
        QVERIFY(mode1->focusPolicy() & Qt::TabFocus);
        auto *list1 = b.find<QListView>(names::List1);
        QTextEdit *edit = b.textECU();
        for (int round = 0; round < 2; ++round) {
            edit->setFocus(Qt::MouseFocusReason);
            QTRY_VERIFY(edit->hasFocus());
            for (QWidget *w : b.window.findChildren<QWidget *>())
                QVERIFY2(!(w->focusPolicy() & Qt::TabFocus), qPrintable(w->objectName()));
            QCOMPARE(mode1->focusPolicy() & Qt::ClickFocus, Qt::ClickFocus);
            QTest::keyClick(edit, Qt::Key_Tab);
            QVERIFY(edit->hasFocus() && edit->toPlainText().count(QLatin1Char('\t')) == round + 1);
            list1->setFocus(Qt::MouseFocusReason);
            QTRY_VERIFY(list1->hasFocus());
            for (auto it = before.cbegin(); it != before.cend(); ++it)
                QVERIFY2(it.key()->focusPolicy() == it.value(), it.key()->metaObject()->className());
        }
    }

    // Connecting from the menu: the indicator shows each step; a latching button is pressed while it runs.
    void connectingThroughTheWindow()
    {
        WindowRig b;
        QStringList shown;
        connect(&b.program().indicator, &IndicatorModel::changed, &b.window, [&] {
            if (shown.isEmpty() || shown.last() != b.indicator())
                shown << b.indicator();
        });
        b.item(names::mnuConnectionCom1)->trigger();
        QVERIFY(shown.indexOf(QStringLiteral("Sending FWID")) > shown.indexOf(QStringLiteral("Waiting for ECU")));
        QCOMPARE(shown.last(), QStringLiteral("ECU Connected"));
        QCOMPARE(b.find(names::Text1)->palette().color(QPalette::Base), QColor(0, 255, 0));
        QVERIFY(b.rig.prompts.shown.isEmpty() && b.visible(names::Mode5) && b.enabled(names::Mode1) && !b.enabled(names::mnuCom));
        QVERIFY(b.program().data.count() > 0 && b.find<QListView>(names::List1)->model()->rowCount() == b.program().data.count());

        QPushButton *mode1 = b.button(names::Mode1);
        QList<bool> states;
        auto watch = connect(&b.program().controls, &Controls::changed, &b.window, [&](const QString &name) {
            if (name == names::Mode1)
                states << mode1->isChecked();
        });
        mode1->click();
        disconnect(watch);
        QCOMPARE(states, (QList<bool>{true, false}));
        QPushButton *change = b.button(names::ChangeECU);
        b.rig.tool.clearCommands();
        for (const bool pressed : {true, false}) {
            change->click();
            QVERIFY(change->isChecked() == pressed && change->text() == QStringLiteral("Toggle ECU"));
        }
        QCOMPARE(b.rig.tool.commands().count("800204"), 2);
    }

    // "COM 5 thru 9": the choice is taken (a port that cannot be opened fails as any); closed, the attempt ends.
    void portPicker()
    {
        WindowRig b;
        sim::SimulatedScanTool *tool = &b.rig.tool;
        b.program().connection.ports.mapFactory(5, [tool] { return std::make_unique<sim::SimPort>(tool); },
                                                QStringLiteral("simulated scan tool: COM5"));
        b.program().connection.ports.mapDevice(6, QStringLiteral("/nonexistent/quenta-com6"));
        QStringList options;
        int checked = -1;
        auto pickLater = [&](const QString &option) {
            b.clock.after(50, [&, option] {
                frmUserCOM *picker = b.window.portPicker();
                QVERIFY(picker && picker->isVisible());
                QCOMPARE(picker->windowTitle() + '|' + picker->findChild<QLabel *>()->text(), QStringLiteral("User Defined COM Port Selection|SELECT COM PORT"));
                options.clear();
                checked = 0;
                for (int i = 1; i <= 5; ++i) {
                    auto *o = picker->findChild<QRadioButton *>(QStringLiteral("Option%1").arg(i));
                    options << o->text();
                    checked += o->isChecked();
                }
                if (auto *o = picker->findChild<QRadioButton *>(option))
                    QTest::mouseClick(o, Qt::LeftButton, {}, QPoint(8, o->height() / 2)); // on the round button
                if (picker->isVisible())
                    picker->close(); // no choice, or the click missed: the wait ends either way
            });
        };
        pickLater(QStringLiteral("Option2"));
        b.item(names::mnuConnectionComX)->trigger();
        QCOMPARE(options, (QStringList{"COM5", "COM6", "COM7", "COM8", "COM9"}));
        QVERIFY(checked == 0 && b.program().settings.user_com_port == 6);
        QCOMPARE(b.rig.prompts.texts(), QStringList{"Invalid COM PORT"});
        pickLater(QStringLiteral("Option1")); // shown again, nothing is selected
        b.item(names::mnuConnectionComX)->trigger();
        QVERIFY(checked == 0 && b.program().settings.user_com_port == 5);
        QCOMPARE(b.indicator(), QStringLiteral("ECU Connected"));

        WindowRig c;
        c.clock.after(50, [&] { c.window.portPicker()->close(); });
        c.item(names::mnuConnectionComX)->trigger();
        QVERIFY(!c.window.portPicker()->isVisible() && c.program().settings.user_com_port < 5);
        QVERIFY(c.rig.prompts.shown.isEmpty() && c.indicator() == QStringLiteral("ECU Off-Line") && !c.program().connection.port());
        QVERIFY(c.enabled(names::mnuConnectionCom1) && c.enabled(names::mnuConnectionComX));
    }
};

QTEST_MAIN(tst_main_window)
#include "tst_main_window.moc"

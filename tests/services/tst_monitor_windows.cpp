// The O2 sensor test window, its picture windows and the mode 6 test window, offscreen: their
// wiring to the models (captions, labels, colours, buttons, menus) and how the main window opens them.
#include "OperationRig.h"
#include "NoPrinter.h"
#include "SimRig.h"

#include "app/frmMain.h"
#include "platform/widgets/Printer.h"
#include "services/CurrentData.h"
#include "services/widgets/frmMode5.h"
#include "services/widgets/frmMode6.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace quenta;

namespace {

namespace m5 = names::mode5;
namespace m6 = names::mode6;

template <typename T> T *child(QWidget *w, const QString &name)
{
    T *found = w->findChild<T *>(name);
    if (!found)
        qFatal("no %s", qPrintable(name));
    return found;
}

QString back(QLineEdit *box)
{
    return box->palette().color(QPalette::Base).name();
}

// The shipped car on the manual clock, connected (which lists the current data).
struct Connected : LineRig {
    Connected() : LineRig(Line::InProcess, SimRig::testProfile())
    {
        program->connection.connectCom(1);
        prompts.shown.clear();
    }
};

} // namespace

class tst_monitor_windows : public QObject {
    Q_OBJECT
private slots:
    void o2Window()
    {
        Connected rig;
        frmMode5 w(rig.program->pidContext, rig.program->prompts);
        QVERIFY(w.load());
        QCOMPARE(w.windowTitle(), QStringLiteral("O2 Sensor Test"));
        auto *list = child<QListWidget>(&w, m5::List1);
        QCOMPARE(list->count(), 4);
        QCOMPARE(list->item(0)->text(), QStringLiteral("Bank1, Sensor1"));
        QCOMPARE(list->item(3)->text(), QStringLiteral("Bank2, Sensor2"));
        auto *get = child<QPushButton>(&w, m5::cmdGetResults);
        QCOMPARE(get->text(), QStringLiteral("Get Test Results"));
        QVERIFY(!get->isEnabled());
        QCOMPARE(child<QPushButton>(&w, m5::cmdExit)->text(), QStringLiteral("EXIT"));
        // Every label of the test table, and every box "N/A" at first.
        for (const O2Monitor::Test &t : O2Monitor::tests()) {
            const QList<QLabel *> labels = w.findChildren<QLabel *>();
            QVERIFY2(std::any_of(labels.begin(), labels.end(), [&](QLabel *l) { return l->text() == t.label; }),
                     qPrintable(t.label));
        }
        for (const QString &name : O2Monitor::boxNames())
            QCOMPARE(child<QLineEdit>(&w, name)->text(), QStringLiteral("N/A"));
        QCOMPARE(child<QLabel>(&w, QStringLiteral("lblResultsIn"))->text(), QStringLiteral("Results in"));
        auto *red = child<QLabel>(&w, m5::lblRed);
        QCOMPARE(red->text(), QStringLiteral("RED"));
        QCOMPARE(red->palette().color(QPalette::WindowText), QColor(255, 0, 0));
        QCOMPARE(child<QLabel>(&w, QStringLiteral("lblFailure"))->text(), QStringLiteral(" Indicate Failure"));

        // A pick enables the button; the results fill the boxes, light green behind 01 to 04.
        list->setCurrentRow(0);
        QVERIFY(get->isEnabled());
        get->click();
        QCOMPARE(child<QLineEdit>(&w, m5::result(1))->text(), QStringLiteral(" .45 V"));
        QCOMPARE(back(child<QLineEdit>(&w, m5::result(1))), QStringLiteral("#50ff50"));
        QCOMPARE(child<QLineEdit>(&w, m5::result(5))->text(), QStringLiteral(" .1 S"));
        QCOMPARE(back(child<QLineEdit>(&w, m5::result(5))), QStringLiteral("#ffffff"));
        QCOMPARE(child<QLineEdit>(&w, m5::maximum(5))->text(), QStringLiteral(" .4 S"));
        QCOMPARE(child<QLineEdit>(&w, m5::minimum(9))->text(), QStringLiteral("N/A"));
        QVERIFY(rig.prompts.shown.isEmpty());
    }

    // "EXIT" and a second press while a run waits for the tool: the run ends as it would have, the
    // press is not taken, and the window goes away afterwards.
    void exitDuringRun()
    {
        Connected rig;
        rig.tool->profile().latencyMs = 40;
        rig.tool->clearCommands();
        QPointer<frmMode5> w = new frmMode5(rig.program->pidContext, rig.program->prompts);
        QVERIFY(w->load());
        w->show();
        child<QListWidget>(w, m5::List1)->setCurrentRow(0);
        auto *get = child<QPushButton>(w, m5::cmdGetResults);
        rig.clock.after(20, [&] {
            get->click();
            child<QPushButton>(w, m5::cmdExit)->click();
        });
        get->click();
        QVERIFY(w && !w->isVisible());
        QCOMPARE(w->tests().box(m5::result(9)).text, QStringLiteral(" 1 S"));
        QCOMPARE(rig.tool->commands().count(QByteArray("050001")), 1);
        QTRY_VERIFY(!w);
    }

    void pictureWindows()
    {
        Connected rig;
        frmMode5 w(rig.program->pidContext, rig.program->prompts);
        w.load();
        QCOMPARE(child<QAction>(&w, m5::mnuO2Graph)->text(), QStringLiteral("O2 Graph"));
        QCOMPARE(child<QAction>(&w, m5::mnuO2Locations)->text(), QStringLiteral("O2 Locations"));
        const struct {
            const QString &item;
            QString itemCaption;
            O2Picture::Kind kind;
            QString caption;
            QString note;
        } pictures[] = {
            {m5::mnuO2Graph, "O2 Graph", O2Picture::Kind::TestDefinitions, "O2 Sensor Test Definitions", QString()},
            {m5::mnuVDual, "V6,8,10 and 12 Dual Exhaust", O2Picture::Kind::VDualExhaust,
             "O2 sensor locations for V engine, dual exhaust configuration",
             "The B1S1 and B2S1 sensors may be Wide Range or normal Heated Sensor types"},
            {m5::mnuVSingle, "V6,8,10, 12 Single Exhaust", O2Picture::Kind::VSingleExhaust,
             "O2 sensor locations for V configuration with single exhaust",
             "The B1S1 and B2S1 sensors may be Wide Range or normal Heated Sensor types"},
            {m5::mnuI4, "4 Cyliner (straight) ", O2Picture::Kind::Inline4,
             "O2 sensor location for I4 cylinder configurations",
             "The B1S1 sensor may be Wide Range or normal Heated Sensor type"},
        };
        for (const auto &p : pictures) {
            QAction *item = child<QAction>(&w, p.item);
            QCOMPARE(item->text(), p.itemCaption);
            item->trigger();
            O2Picture *window = w.picture(p.kind);
            QVERIFY(window && window->isVisible());
            QCOMPARE(window->windowTitle(), p.caption);
            QVERIFY(!window->isModal());
            if (p.note.isEmpty()) {
                auto *hide = child<QPushButton>(window, m5::cmdHide);
                QCOMPARE(hide->text(), QStringLiteral("Hide"));
                hide->click();
                QVERIFY(!window->isVisible());
            } else {
                QCOMPARE(child<QLabel>(window, QStringLiteral("Label1"))->text(), p.note);
            }
        }
    }

    // The main window's button: the window opens and the button is released; while the O2
    // monitor has not completed the message shows and no window stays.
    void openedFromMainWindow()
    {
        LineRig rig(Line::InProcess, SimRig::testProfile());
        NoPrinter printer;
        for (int com = 2; com <= 4; ++com) // the probe never reaches the machine's own serial ports
            rig.program->connection.ports.mapFactory(com, [] { return nullptr; }, QStringLiteral("none"));
        frmMain main(*rig.program, printer);
        main.startUp();
        rig.program->connection.connectCom(1);
        auto *mode5 = child<QPushButton>(&main, names::Mode5);
        QVERIFY(mode5->isVisible() && mode5->isEnabled());
        // As before the monitor completed: the message, and no window.
        rig.program->pids.O2_monitor_complete = false;
        rig.prompts.shown.clear();
        mode5->click();
        QCOMPARE(rig.prompts.texts(), QStringList{O2Monitor::NotAvailableText});
        QTRY_VERIFY(!main.o2SensorTest());
        QVERIFY(!mode5->isChecked());
        rig.program->currentData.request();
        rig.prompts.shown.clear();
        mode5->click();
        QVERIFY(rig.prompts.shown.isEmpty());
        QVERIFY(main.o2SensorTest() && main.o2SensorTest()->isVisible());
        QVERIFY(!mode5->isChecked());
        // "EXIT" closes it; the next press makes it again.
        child<QPushButton>(main.o2SensorTest(), m5::cmdExit)->click();
        QTRY_VERIFY(!main.o2SensorTest());
        mode5->click();
        QVERIFY(main.o2SensorTest() && main.o2SensorTest()->isVisible());

        child<QAction>(&main, names::mnuMode6)->trigger();
        QVERIFY(main.mode6Tests() && main.mode6Tests()->isVisible());
        QVERIFY(!main.mode6Tests()->isModal());
    }

    void mode6Window()
    {
        Connected rig;
        frmMode6 w(rig.program->link, rig.program->mode6, rig.program->prompts);
        QCOMPARE(w.windowTitle(), QStringLiteral("SAE-J1979 Service $06 "));
        QCOMPARE(child<QLabel>(&w, QStringLiteral("lblHeading"))->text(),
                 QStringLiteral("Mode 6: Request On-Board Monitoring Test Results for Non-Continuously Monitored Systems"));
        QCOMPARE(child<QGroupBox>(&w, m6::Frame1)->title(), QStringLiteral("Data Entry"));
        QCOMPARE(child<QGroupBox>(&w, m6::Frame2)->title(), QStringLiteral("Test Results"));
        const struct { const QString &label; QString text; const QString &field; QString initial; } rows[] = {
            {m6::lblTestID, "Test ID\r\n$= Hex\r\n", m6::txtTestID, ""},
            {m6::lblComponentID, "Component ID\r\n$ = Hex\r\n", m6::txtComponentID, ""},
            {m6::lblScale, "Scale Factor", m6::txtScale, "1"},
            {m6::lblAddSubtract, "Add/Subtract\r\n", m6::txtAddSubtract, "0"},
            {m6::lblUnits, "Units", m6::txtUnits, ""},
            {m6::lblBytes, "Bytes Returned", m6::txtBytes, "1"},
        };
        for (const auto &r : rows) {
            QCOMPARE(w.labelBox(r.label)->text(), r.text);
            QCOMPARE(w.field(r.field)->text(), r.initial);
        }
        const struct { QString label; const QString &field; } results[] = {
            {"Returned Message", m6::txtReturned}, {"Value", m6::txtValue}, {"Pass/Fail", m6::txtPassFail},
            {"MIN", m6::txtMin}, {"MAX", m6::txtMax}};
        for (const auto &r : results) {
            QCOMPARE(child<QLabel>(&w, QStringLiteral("lbl") + r.field.mid(3))->text(), r.label);
            QCOMPARE(w.field(r.field)->text(), QString());
        }
        QCOMPARE(child<QPushButton>(&w, m6::cmdGetResults)->text(), QStringLiteral("Get Test Results"));
        QCOMPARE(child<QPushButton>(&w, m6::cmdScan)->text(), QStringLiteral("SCAN for supported tests"));
        QCOMPARE(child<QLabel>(&w, QStringLiteral("lblSupported"))->text(), QStringLiteral("Supported Tests"));
        QCOMPARE(child<QLabel>(&w, QStringLiteral("lblHint"))->text(), QStringLiteral("Click labels for help on that item"));
        QCOMPARE(child<QLabel>(&w, QStringLiteral("lblEnterData"))->text(), QStringLiteral("Enter Data then get results"));
        QCOMPARE(child<QAction>(&w, m6::mnuMode6Help)->text(), QStringLiteral("&Mode 6 Help"));

        // Help behind the four label boxes and the menu; the other two labels say nothing.
        for (const QString &label : {m6::lblTestID, m6::lblComponentID, m6::lblScale, m6::lblUnits, m6::lblAddSubtract})
            QTest::mouseClick(w.labelBox(label), Qt::LeftButton);
        child<QAction>(&w, m6::mnuMode6Help)->trigger();
        QCOMPARE(rig.prompts.texts(),
                 (QStringList{"Enter a value between 0 and 255 or $00 to $FF hex", "Enter a value between 0 and 255 ",
                              "The Scale Factor should be found in the shop manual\r\nValues can be any real number",
                              "Units can be found in the shop manual, volts,amps, PSI, etc.",
                              " Mode 6 will allow access to the results of on-board diagnostic monitoring\r\n"
                              "A shop manual with the defined tests is required to get meaningfull data"}));
        rig.prompts.shown.clear();

        // The shipped car's failing test: the entry shows its "&H" form, FAIL on red.
        w.field(m6::txtTestID)->setText(QStringLiteral("$05"));
        w.field(m6::txtComponentID)->setText(QStringLiteral("$11"));
        w.field(m6::txtScale)->setText(QStringLiteral("0.01"));
        w.field(m6::txtUnits)->setText(QStringLiteral("V"));
        child<QPushButton>(&w, m6::cmdGetResults)->click();
        QCOMPARE(w.field(m6::txtTestID)->text(), QStringLiteral("&H05"));
        QCOMPARE(w.field(m6::txtComponentID)->text(), QStringLiteral("&H11"));
        QCOMPARE(w.field(m6::txtValue)->text(), QStringLiteral("8.32V"));
        QCOMPARE(w.field(m6::txtMax)->text(), QStringLiteral("7.68V"));
        QCOMPARE(w.field(m6::txtPassFail)->text(), QStringLiteral("FAIL"));
        QCOMPARE(back(w.field(m6::txtPassFail)), QStringLiteral("#ff0000"));
        // A passing test on white; the MAX box keeps the earlier limit when a minimum comes.
        w.field(m6::txtTestID)->setText(QStringLiteral("10"));
        w.field(m6::txtComponentID)->setText(QStringLiteral("33"));
        child<QPushButton>(&w, m6::cmdGetResults)->click();
        QCOMPARE(w.field(m6::txtMin)->text(), QStringLiteral("2.56V"));
        QCOMPARE(w.field(m6::txtMax)->text(), QStringLiteral("7.68V"));
        QCOMPARE(w.field(m6::txtPassFail)->text(), QStringLiteral("PASS"));
        QCOMPARE(back(w.field(m6::txtPassFail)), QStringLiteral("#ffffff"));
        child<QPushButton>(&w, m6::cmdScan)->click();
        auto *list = child<QListWidget>(&w, m6::List1);
        QCOMPARE(list->count(), 5);
        QCOMPARE(list->item(4)->text(), QStringLiteral(" 33"));
        // A test the car does not have.
        w.field(m6::txtTestID)->setText(QStringLiteral("7"));
        child<QPushButton>(&w, m6::cmdGetResults)->click();
        QCOMPARE(w.field(m6::txtReturned)->text(), QStringLiteral(" No Response to this message"));
        QCOMPARE(w.field(m6::txtPassFail)->text(), QStringLiteral("PASS"));
        QVERIFY(rig.prompts.shown.isEmpty());
    }
};

QTEST_MAIN(tst_monitor_windows)
#include "tst_monitor_windows.moc"

// The O2 sensor test window, its picture windows and the mode 6 test window, offscreen: their
// wiring to the models (captions, labels, colours, buttons, menus) and how the main window opens them.
#include "NoPrinter.h"
#include "OperationRig.h"

#include "app/frmMain.h"
#include "services/widgets/frmMode5.h"
#include "services/widgets/frmMode6.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

using namespace quenta;
namespace m5 = names::mode5;
namespace m6 = names::mode6;

namespace {
template <typename T> T *child(QWidget *w, const QString &name)
{
    T *found = w->findChild<T *>(name);
    if (!found)
        qFatal("no %s", qPrintable(name));
    return found;
}
QString back(QLineEdit *box) { return box->palette().color(QPalette::Base).name(); }
} // namespace

class tst_monitor_windows : public QObject {
    Q_OBJECT
private slots:
    void o2Window()
    {
        OperationRig rig(Line::InProcess, Op::O2, SimRig::testProfile());
        frmMode5 w(rig.program->pidContext, rig.program->prompts);
        QVERIFY(w.load());
        QCOMPARE(w.windowTitle(), QStringLiteral("O2 Sensor Test"));
        auto *list = child<QListWidget>(&w, m5::List1);
        QCOMPARE(list->count(), 4);
        QCOMPARE(list->item(3)->text(), QStringLiteral("Bank2, Sensor2"));
        const QList<QLabel *> labels = w.findChildren<QLabel *>();
        for (const O2Monitor::Test &t : O2Monitor::tests())
            QVERIFY2(std::any_of(labels.begin(), labels.end(), [&](QLabel *l) { return l->text() == t.label; }), qPrintable(t.label));
        for (const QString &name : O2Monitor::boxNames())
            QCOMPARE(child<QLineEdit>(&w, name)->text(), QStringLiteral("N/A"));
        QCOMPARE(child<QLabel>(&w, m5::lblRed)->palette().color(QPalette::WindowText), QColor(255, 0, 0));
        // A pick enables the button; the results fill the boxes, light green behind 01 to 04.
        auto *get = child<QPushButton>(&w, m5::cmdGetResults);
        QVERIFY(!get->isEnabled());
        list->setCurrentRow(0);
        get->click();
        QCOMPARE(child<QLineEdit>(&w, m5::result(1))->text(), QStringLiteral(" .45 V"));
        QCOMPARE(back(child<QLineEdit>(&w, m5::result(1))), QStringLiteral("#50ff50"));
        QCOMPARE(back(child<QLineEdit>(&w, m5::result(5))), QStringLiteral("#ffffff"));
        // The limits too, a whole number and one past 1; test 09's are never filled.
        for (const auto &[box, text] : {std::pair{m5::minimum(5), " 0 S"}, {m5::maximum(8), " 1.275 V"}, {m5::minimum(9), "N/A"}})
            QCOMPARE(child<QLineEdit>(&w, box)->text(), QLatin1String(text));
        // "EXIT" and a second press while a run waits for the tool: the run ends as it would
        // have, the press is not taken, and the window goes away afterwards.
        rig.tool->profile().latencyMs = 40;
        rig.tool->clearCommands();
        w.show();
        rig.clock.after(20, [&] {
            get->click();
            child<QPushButton>(&w, m5::cmdExit)->click();
        });
        get->click();
        QVERIFY(!w.isVisible());
        QCOMPARE(rig.tool->commands().count(QByteArray("050001")), 1);
        QCOMPARE(w.tests().box(m5::result(9)).text, QStringLiteral(" 1 S"));

        const struct { const QString &item; O2Picture::Kind kind; QString caption; } pictures[] = {
            {m5::mnuO2Graph, O2Picture::Kind::TestDefinitions, "O2 Sensor Test Definitions"},
            {m5::mnuVDual, O2Picture::Kind::VDualExhaust, "O2 sensor locations for V engine, dual exhaust configuration"},
            {m5::mnuVSingle, O2Picture::Kind::VSingleExhaust, "O2 sensor locations for V configuration with single exhaust"},
            {m5::mnuI4, O2Picture::Kind::Inline4, "O2 sensor location for I4 cylinder configurations"},
        };
        for (const auto &p : pictures) {
            child<QAction>(&w, p.item)->trigger();
            QVERIFY(w.picture(p.kind) && w.picture(p.kind)->isVisible() && !w.picture(p.kind)->isModal());
            QCOMPARE(w.picture(p.kind)->windowTitle(), p.caption);
        }
        child<QPushButton>(w.picture(O2Picture::Kind::TestDefinitions), m5::cmdHide)->click();
        QVERIFY(!w.picture(O2Picture::Kind::TestDefinitions)->isVisible());
    }

    // The main window's button opens the window and is released; while the O2 monitor has not
    // completed the message shows and no window stays. The mode 6 item opens its window.
    void openedFromMainWindow()
    {
        OperationRig rig(Line::InProcess, Op::Connect, SimRig::testProfile());
        NoPrinter printer;
        frmMain main(*rig.program, printer);
        main.startUp();
        connectGivingUp(*rig.program);
        auto *mode5 = child<QPushButton>(&main, names::Mode5);
        rig.program->pids.O2_monitor_complete = false;
        rig.prompts.shown.clear();
        mode5->click();
        QCOMPARE(rig.prompts.texts(), QStringList{"The O2 test results are not available until the O2 Sensor test has completed. "});
        QTRY_VERIFY(!main.o2SensorTest());
        QVERIFY(!mode5->isChecked());
        rig.program->currentData.request();
        mode5->click();
        QVERIFY(main.o2SensorTest() && main.o2SensorTest()->isVisible() && !mode5->isChecked());
        child<QPushButton>(main.o2SensorTest(), m5::cmdExit)->click();
        QTRY_VERIFY(!main.o2SensorTest());
        child<QAction>(&main, names::mnuMode6)->trigger();
        QVERIFY(main.mode6Tests() && main.mode6Tests()->isVisible() && !main.mode6Tests()->isModal());
    }

    void mode6Window()
    {
        OperationRig rig(Line::InProcess, Op::Mode6);
        frmMode6 w(rig.program->link, rig.program->mode6, rig.program->prompts);
        QCOMPARE(w.windowTitle(), QStringLiteral("SAE-J1979 Service $06 "));
        QCOMPARE(child<QGroupBox>(&w, m6::Frame1)->title(), QStringLiteral("Data Entry"));
        const struct { const QString &label; QString text; const QString &field; QString initial; } rows[] = {
            {m6::lblTestID, "Test ID\r\n$= Hex\r\n", m6::txtTestID, ""}, {m6::lblComponentID, "Component ID\r\n$ = Hex\r\n", m6::txtComponentID, ""},
            {m6::lblScale, "Scale Factor", m6::txtScale, "1"},        {m6::lblAddSubtract, "Add/Subtract\r\n", m6::txtAddSubtract, "0"},
            {m6::lblUnits, "Units", m6::txtUnits, ""},                {m6::lblBytes, "Bytes Returned", m6::txtBytes, "1"},
        };
        for (const auto &r : rows) {
            QCOMPARE(w.labelBox(r.label)->text(), r.text);
            QCOMPARE(w.field(r.field)->text(), r.initial);
        }
        // Help behind four label boxes and the menu; the others say nothing.
        for (const QString &label : {m6::lblTestID, m6::lblComponentID, m6::lblScale, m6::lblUnits, m6::lblAddSubtract})
            QTest::mouseClick(w.labelBox(label), Qt::LeftButton);
        child<QAction>(&w, m6::mnuMode6Help)->trigger();
        QCOMPARE(rig.prompts.texts().size(), 5);
        QCOMPARE(rig.prompts.texts().first(), QStringLiteral("Enter a value between 0 and 255 or $00 to $FF hex"));
        // The entries go to the model and its results come back: the "&H" form, FAIL on red, the list.
        w.field(m6::txtTestID)->setText(QStringLiteral("$05"));
        w.field(m6::txtComponentID)->setText(QStringLiteral("$11"));
        w.field(m6::txtScale)->setText(QStringLiteral("0.01"));
        w.field(m6::txtUnits)->setText(QStringLiteral("V"));
        child<QPushButton>(&w, m6::cmdGetResults)->click();
        QCOMPARE(w.field(m6::txtTestID)->text(), QStringLiteral("&H05"));
        QCOMPARE(w.field(m6::txtValue)->text() + w.field(m6::txtMax)->text(), QStringLiteral("8.32V7.68V"));
        QCOMPARE(w.field(m6::txtPassFail)->text(), QStringLiteral("FAIL"));
        QCOMPARE(back(w.field(m6::txtPassFail)), QStringLiteral("#ff0000"));
        // The scan's packet asks for test 00; a second scan adds to the list.
        for (const int listed : {2, 4}) {
            child<QPushButton>(&w, m6::cmdScan)->click();
            QCOMPARE(child<QListWidget>(&w, m6::List1)->count(), listed);
            QCOMPARE(rig.tool->packets().last().toHex().toUpper(), QByteArray("0105686AF1060000000000000000"));
        }
    }
};

QTEST_MAIN(tst_monitor_windows)
#include "tst_monitor_windows.moc"

// The control names core uses against the controls the main window has: every declared name is a
// control or menu item of frmMain, and every control of frmMain named in the program's control
// naming is declared. The checks are shown to fail on a misspelt name and on an undeclared control.
#include "NoPrinter.h"
#include "SimRig.h"

#include "app/frmMain.h"
#include "app/frmUserCOM.h"
#include "core/ControlNames.h"
#include "live/widgets/Chart.h"
#include "live/widgets/DataLogMV.h"
#include "live/widgets/WRO2_Sensor_Log.h"
#include "live/widgets/frmFuel_Trim.h"
#include "platform/widgets/Printer.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>
#include <algorithm>

using namespace quenta;

namespace {

// The program's control naming: control-kind prefixes with a number or a name (Mode1, Label6,
// Command2, Text1, List1, Frame1, Picture1, Option3, cmdGo, mnuWBO2, ...) and names made of a
// lower-case or verb part and a capitalised rest (textECU, ChangeECU).
const QRegularExpression ControlNaming(QStringLiteral(
    "^(?:cmd|mnu|Mode|Label|Command|Text|List|Frame|Picture|Option|Check|Combo|Timer|MSComm)[A-Za-z0-9_]*$"
    "|^(?:text|Change)[A-Z][A-Za-z0-9_]*$"));

// True when `object` is a widget or a menu item of `window` itself, not of another window opened
// from it (a menu's popup belongs to the window whose menu bar holds it).
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

// Declared names that no widget or menu item of `window` carries.
QStringList missingControls(const QWidget &window, const QStringList &declared)
{
    QStringList missing;
    for (const QString &name : declared) {
        const QList<QObject *> found = window.findChildren<QObject *>(name);
        if (std::none_of(found.cbegin(), found.cend(), [&](const QObject *o) { return belongsTo(o, &window); }))
            missing << name;
    }
    return missing;
}

// Names of `window`'s widgets and menu items that follow the control naming but are not declared.
QStringList undeclaredControls(const QWidget &window, const QStringList &declared)
{
    QStringList undeclared;
    const QList<QObject *> all = window.findChildren<QObject *>();
    for (const QObject *o : all) {
        const QString name = o->objectName();
        if (belongsTo(o, &window) && ControlNaming.match(name).hasMatch() && !declared.contains(name)
            && !undeclared.contains(name))
            undeclared << name;
    }
    undeclared.sort();
    return undeclared;
}

struct Bench {
    SimRig rig;
    NoPrinter printer;
    frmMain window;
    Bench() : window(*rig.program, printer) { window.setExitFunction([](int) {}); }
};

} // namespace

class TstControlNames : public QObject {
    Q_OBJECT

private slots:
    void declaredNamesAreTheDocumentedOnes()
    {
        // The names as the scan tool's documentation gives them, written out independently.
        const QStringList documented{
            "Frame1", "Mode1", "Mode2", "Mode3", "Mode4", "Mode5", "ChangeECU", "Command2", "Command1", "Label1",
            "Text1", "Label7", "Label6", "Label5", "List1", "Label2", "textECU", "List2", "Picture1", "Label4",
            "mnuDataLog", "mnuCom", "mnuUSB", "mnuConnectionCom1", "mnuConnectionCom2", "mnuConnectionCom3",
            "mnuConnectionCom4", "mnuConnectionComX", "mnu9600", "mnu19200", "mnuMode6", "mnuOpt", "mnuFTM",
            "mnuWBO2", "mnuUnits", "mnuUnitsEnglish", "mnuUnitsMetric", "mnuDebugMode"};
        QCOMPARE(names::MainWindowControls, documented);
        QCOMPARE(names::picker::Controls,
                 (QStringList{"Label1", "Option1", "Option2", "Option3", "Option4", "Option5"}));
        QCOMPARE(names::frmMain, QStringLiteral("frmMain"));
        QCOMPARE(names::frmUserCOM, QStringLiteral("frmUserCOM"));
    }

    void declaredNamesAreDistinctAndFollowTheNaming()
    {
        const QStringList declared = names::MainWindowControls;
        QCOMPARE(QSet<QString>(declared.cbegin(), declared.cend()).size(), declared.size());
        for (const QString &name : declared)
            QVERIFY2(ControlNaming.match(name).hasMatch(), qPrintable(name));
        for (const QString &item : names::ConnectionComItems)
            QVERIFY2(declared.contains(item), qPrintable(item));
    }

    void everyDeclaredNameIsAControlOfTheWindow()
    {
        Bench b;
        b.window.startUp();
        const QStringList missing = missingControls(b.window, names::MainWindowControls);
        QVERIFY2(missing.isEmpty(), qPrintable(QStringLiteral("no control named ") + missing.join(QStringLiteral(", "))));
    }

    void everyControlOfTheWindowIsDeclared()
    {
        Bench b;
        b.window.startUp();
        QStringList undeclared = undeclaredControls(b.window, names::MainWindowControls);
        QVERIFY2(undeclared.isEmpty(), qPrintable(QStringLiteral("not declared: ") + undeclared.join(QStringLiteral(", "))));
        // The port picker is a window of its own, opened from frmMain: its controls are not frmMain's.
        b.rig.program->connection.showPortPicker();
        QVERIFY(b.window.portPicker());
        undeclared = undeclaredControls(b.window, names::MainWindowControls);
        QVERIFY2(undeclared.isEmpty(), qPrintable(QStringLiteral("not declared: ") + undeclared.join(QStringLiteral(", "))));
    }

    void aMisspeltNameIsCaught()
    {
        Bench b;
        QStringList declared = names::MainWindowControls;
        declared.replace(declared.indexOf(names::mnuWBO2), QStringLiteral("mnuWB02"));
        declared << QStringLiteral("mode1") << QStringLiteral("Label66");
        QCOMPARE(missingControls(b.window, declared), (QStringList{"mnuWB02", "mode1", "Label66"}));
        // The control the misspelt name should have reached is then undeclared.
        QCOMPARE(undeclaredControls(b.window, declared), QStringList{"mnuWBO2"});
    }

    void anUndeclaredControlIsCaught()
    {
        Bench b;
        auto *stray = new QPushButton(QStringLiteral("Stray"), b.window.centralWidget());
        stray->setObjectName(QStringLiteral("Command3"));
        b.window.menuBar()->addAction(QStringLiteral("Extra"))->setObjectName(QStringLiteral("mnuExtra"));
        // Names outside the control naming are the toolkit's own parts and are not controls.
        new QWidget(b.window.centralWidget());
        QCOMPARE(undeclaredControls(b.window, names::MainWindowControls), (QStringList{"Command3", "mnuExtra"}));
    }

    // Each live window carries exactly the names declared for it.
    void liveWindowNames_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QStringList>("declared");
        QTest::newRow("chart") << names::chart::Chart << names::chart::Controls;
        QTest::newRow("logger") << names::logger::DataLogMV << names::logger::Controls;
        QTest::newRow("wideband") << names::wideband::WRO2_Sensor_Log << names::wideband::Controls;
        QTest::newRow("fuel trim") << names::fuelTrim::frmFuel_Trim << names::fuelTrim::Controls;
    }
    void liveWindowNames()
    {
        QFETCH(QString, window);
        QFETCH(QStringList, declared);
        SimRig rig;
        const LiveParts parts = rig.program->liveParts();
        std::unique_ptr<QWidget> w;
        if (window == names::chart::Chart)
            w = std::make_unique<Chart>(parts);
        else if (window == names::logger::DataLogMV)
            w = std::make_unique<DataLogMV>(parts, rig.program->logger);
        else if (window == names::wideband::WRO2_Sensor_Log)
            w = std::make_unique<WRO2_Sensor_Log>(parts);
        else
            w = std::make_unique<frmFuel_Trim>(parts);
        QCOMPARE(w->objectName(), window);
        QCOMPARE(missingControls(*w, declared), QStringList());
        QCOMPARE(undeclaredControls(*w, declared), QStringList());
    }

    void pickerNames()
    {
        Bench b;
        b.rig.program->connection.showPortPicker();
        frmUserCOM *picker = b.window.portPicker();
        QVERIFY(picker);
        QCOMPARE(picker->objectName(), names::frmUserCOM);
        QCOMPARE(missingControls(*picker, names::picker::Controls), QStringList());
        QCOMPARE(undeclaredControls(*picker, names::picker::Controls), QStringList());
    }
};

QTEST_MAIN(TstControlNames)
#include "tst_control_names.moc"

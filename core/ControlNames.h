#pragma once
// The names of the windows' controls and menu items, declared once. Core code reaches the main
// window's controls through the Controls model by these names, the windows give their controls
// these object names, and tests/app/tst_control_names.cpp checks that the two sets agree: a name
// that is not declared here is not a control.
#include <QString>
#include <QStringList>

namespace quenta::names {

// Windows.
inline const QString frmMain = QStringLiteral("frmMain");
inline const QString frmUserCOM = QStringLiteral("frmUserCOM");

// frmMain: the control panel.
inline const QString Frame1 = QStringLiteral("Frame1");
inline const QString Mode1 = QStringLiteral("Mode1");
inline const QString Mode2 = QStringLiteral("Mode2");
inline const QString Mode3 = QStringLiteral("Mode3");
inline const QString Mode4 = QStringLiteral("Mode4");
inline const QString Mode5 = QStringLiteral("Mode5");
inline const QString ChangeECU = QStringLiteral("ChangeECU");
inline const QString Command2 = QStringLiteral("Command2");
inline const QString Command1 = QStringLiteral("Command1");

// frmMain: the link indicator, its legend, the firmware and ECU labels.
inline const QString Label1 = QStringLiteral("Label1");
inline const QString Text1 = QStringLiteral("Text1");
inline const QString Label7 = QStringLiteral("Label7");
inline const QString Label6 = QStringLiteral("Label6");

// frmMain: the vehicle data window, the status window, the definitions list and the decoration.
inline const QString Label5 = QStringLiteral("Label5");
inline const QString List1 = QStringLiteral("List1");
inline const QString Label2 = QStringLiteral("Label2");
inline const QString textECU = QStringLiteral("textECU");
inline const QString List2 = QStringLiteral("List2");
inline const QString Picture1 = QStringLiteral("Picture1");
inline const QString Label4 = QStringLiteral("Label4");

// frmMain: the menu bar.
inline const QString mnuDataLog = QStringLiteral("mnuDataLog");
inline const QString mnuCom = QStringLiteral("mnuCom");
inline const QString mnuUSB = QStringLiteral("mnuUSB");
inline const QString mnuConnectionCom1 = QStringLiteral("mnuConnectionCom1");
inline const QString mnuConnectionCom2 = QStringLiteral("mnuConnectionCom2");
inline const QString mnuConnectionCom3 = QStringLiteral("mnuConnectionCom3");
inline const QString mnuConnectionCom4 = QStringLiteral("mnuConnectionCom4");
inline const QString mnuConnectionComX = QStringLiteral("mnuConnectionComX");
inline const QString mnu9600 = QStringLiteral("mnu9600"); // captioned "38400 baud"
inline const QString mnu19200 = QStringLiteral("mnu19200");
inline const QString mnuMode6 = QStringLiteral("mnuMode6");
inline const QString mnuOpt = QStringLiteral("mnuOpt");
inline const QString mnuFTM = QStringLiteral("mnuFTM");
inline const QString mnuWBO2 = QStringLiteral("mnuWBO2");
inline const QString mnuUnits = QStringLiteral("mnuUnits");
inline const QString mnuUnitsEnglish = QStringLiteral("mnuUnitsEnglish");
inline const QString mnuUnitsMetric = QStringLiteral("mnuUnitsMetric");
inline const QString mnuDebugMode = QStringLiteral("mnuDebugMode");

// "Com1" to "Com4", for port numbers 1 to 4.
inline const QStringList ConnectionComItems{mnuConnectionCom1, mnuConnectionCom2, mnuConnectionCom3,
                                            mnuConnectionCom4};

// Every control and menu item of frmMain, in the order the window lists them.
inline const QStringList MainWindowControls{
    Frame1, Mode1, Mode2, Mode3, Mode4, Mode5, ChangeECU, Command2, Command1, Label1, Text1, Label7, Label6,
    Label5, List1, Label2, textECU, List2, Picture1, Label4,
    mnuDataLog, mnuCom, mnuUSB, mnuConnectionCom1, mnuConnectionCom2, mnuConnectionCom3, mnuConnectionCom4,
    mnuConnectionComX, mnu9600, mnu19200, mnuMode6, mnuOpt, mnuFTM, mnuWBO2, mnuUnits, mnuUnitsEnglish,
    mnuUnitsMetric, mnuDebugMode};

// frmUserCOM, the COM5-COM9 picker: its label and the option buttons "COM5" to "COM9".
namespace picker {
inline const QString Label1 = QStringLiteral("Label1");
inline const QString Option1 = QStringLiteral("Option1");
inline const QString Option2 = QStringLiteral("Option2");
inline const QString Option3 = QStringLiteral("Option3");
inline const QString Option4 = QStringLiteral("Option4");
inline const QString Option5 = QStringLiteral("Option5");
inline const QStringList Options{Option1, Option2, Option3, Option4, Option5};
inline const QStringList Controls{Label1, Option1, Option2, Option3, Option4, Option5};
} // namespace picker

} // namespace quenta::names

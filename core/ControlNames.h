#pragma once
// The names of the windows' controls and menu items, declared once. Core code reaches the main
// window's controls through the Controls model by these names, the windows give their controls
// these object names, and tests/app/tst_main_window.cpp checks that the two sets agree: a name
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
inline const QString mnuAdapter = QStringLiteral("mnuAdapter");
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
    mnuConnectionComX, mnuAdapter, mnu9600, mnu19200, mnuMode6, mnuOpt, mnuFTM, mnuWBO2, mnuUnits, mnuUnitsEnglish,
    mnuUnitsMetric, mnuDebugMode};

// frmMode5, the O2 sensor test window: the sensor list, its buttons, the result boxes of tests
// 01 to 09 with the limit boxes of tests 05 to 09, and the menus that open the picture windows.
namespace mode5 {
inline const QString frmMode5 = QStringLiteral("frmMode5");
inline const QString List1 = QStringLiteral("List1");
inline const QString cmdGetResults = QStringLiteral("cmdGetResults");
inline const QString cmdExit = QStringLiteral("cmdExit");
inline const QString lblRed = QStringLiteral("lblRed");
inline const QString mnuO2Graph = QStringLiteral("mnuO2Graph");
inline const QString mnuO2Locations = QStringLiteral("mnuO2Locations");
inline const QString mnuVDual = QStringLiteral("mnuVDual");
inline const QString mnuVSingle = QStringLiteral("mnuVSingle");
inline const QString mnuI4 = QStringLiteral("mnuI4");
// The picture windows and the "Hide" button of the test-definition chart.
inline const QString frmO2Graph = QStringLiteral("frmO2Graph");
inline const QString frmO2VDual = QStringLiteral("frmO2VDual");
inline const QString frmO2VSingle = QStringLiteral("frmO2VSingle");
inline const QString frmO2I4 = QStringLiteral("frmO2I4");
inline const QString cmdHide = QStringLiteral("cmdHide");
// "txtT01" .. "txtT09", and "txtT05min" .. "txtT09max".
inline QString result(int test) { return QStringLiteral("txtT%1").arg(test, 2, 10, QLatin1Char('0')); }
inline QString minimum(int test) { return result(test) + QStringLiteral("min"); }
inline QString maximum(int test) { return result(test) + QStringLiteral("max"); }
} // namespace mode5

// frmMode6, the on-board monitoring test window.
namespace mode6 {
inline const QString frmMode6 = QStringLiteral("frmMode6");
inline const QString Frame1 = QStringLiteral("Frame1"); // "Data Entry"
inline const QString Frame2 = QStringLiteral("Frame2"); // "Test Results"
inline const QString lblTestID = QStringLiteral("lblTestID");
inline const QString lblComponentID = QStringLiteral("lblComponentID");
inline const QString lblScale = QStringLiteral("lblScale");
inline const QString lblAddSubtract = QStringLiteral("lblAddSubtract");
inline const QString lblUnits = QStringLiteral("lblUnits");
inline const QString lblBytes = QStringLiteral("lblBytes");
inline const QString txtTestID = QStringLiteral("txtTestID");
inline const QString txtComponentID = QStringLiteral("txtComponentID");
inline const QString txtScale = QStringLiteral("txtScale");
inline const QString txtAddSubtract = QStringLiteral("txtAddSubtract");
inline const QString txtUnits = QStringLiteral("txtUnits");
inline const QString txtBytes = QStringLiteral("txtBytes");
inline const QString txtReturned = QStringLiteral("txtReturned");
inline const QString txtValue = QStringLiteral("txtValue");
inline const QString txtPassFail = QStringLiteral("txtPassFail");
inline const QString txtMin = QStringLiteral("txtMin");
inline const QString txtMax = QStringLiteral("txtMax");
inline const QString cmdGetResults = QStringLiteral("cmdGetResults");
inline const QString cmdScan = QStringLiteral("cmdScan");
inline const QString List1 = QStringLiteral("List1"); // "Supported Tests"
inline const QString mnuMode6Help = QStringLiteral("mnuMode6Help");
} // namespace mode6

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

// The live chart window.
namespace chart {
inline const QString Chart = QStringLiteral("Chart");
inline const QString iStripChartX1 = QStringLiteral("iStripChartX1");
inline const QString lblValText = QStringLiteral("lblValText");
inline const QString txbValue = QStringLiteral("txbValue");
inline const QString cmdFreeze = QStringLiteral("cmdFreeze");
inline const QString Stop1 = QStringLiteral("Stop1");
inline const QString cmdShowHideToolbar = QStringLiteral("cmdShowHideToolbar");
inline const QString cmdResetChart = QStringLiteral("cmdResetChart");
inline const QString cmdClearData = QStringLiteral("cmdClearData");
inline const QString optFlag = QStringLiteral("optFlag");
// Every control of the window.
inline const QStringList Controls{iStripChartX1, lblValText,   txbValue,      cmdFreeze, Stop1,
                                  cmdShowHideToolbar, cmdResetChart, cmdClearData, optFlag};
} // namespace chart

// DataLogMV, the data logger window.
namespace logger {
inline const QString DataLogMV = QStringLiteral("DataLogMV");
inline const QString mnuHelp = QStringLiteral("mnuHelp");
inline const QString cboRTD = QStringLiteral("cboRTD");
inline const QString Label7 = QStringLiteral("Label7");
inline const QString Triggering = QStringLiteral("Triggering");
inline const QString Text1 = QStringLiteral("Text1");
inline const QString Text2 = QStringLiteral("Text2");
inline const QString Text3 = QStringLiteral("Text3");
inline const QString Combo1 = QStringLiteral("Combo1");
inline const QString Combo2 = QStringLiteral("Combo2");
inline const QString Combo3 = QStringLiteral("Combo3");
inline const QString txtTRIG1 = QStringLiteral("txtTRIG1");
inline const QString txtTRIG2 = QStringLiteral("txtTRIG2");
inline const QString lblTRIG = QStringLiteral("lblTRIG");
inline const QString txtTRIG = QStringLiteral("txtTRIG");
inline const QString cmdTRIG = QStringLiteral("cmdTRIG");
inline const QString Command1 = QStringLiteral("Command1");
inline const QString Command2 = QStringLiteral("Command2");
inline const QString Command3 = QStringLiteral("Command3");
inline const QString Cancel = QStringLiteral("Cancel");
// "Option1" .. "Option5" (the parameter counts) and the six displays' "Display1_name" .. "Display6_value".
inline QString option(int k) { return QStringLiteral("Option%1").arg(k); }
inline QString displayName(int k) { return QStringLiteral("Display%1_name").arg(k); }
inline QString displayValue(int k) { return QStringLiteral("Display%1_value").arg(k); }
// Every control of the window.
inline const QStringList Controls{
    mnuHelp, cboRTD, Label7, Triggering, Text1, Text2, Text3, Combo1, Combo2, Combo3, txtTRIG1, txtTRIG2, lblTRIG,
    txtTRIG, cmdTRIG, Command1, Command2, Command3, Cancel, option(1), option(2), option(3), option(4), option(5),
    displayName(1), displayValue(1), displayName(2), displayValue(2), displayName(3), displayValue(3),
    displayName(4), displayValue(4), displayName(5), displayValue(5), displayName(6), displayValue(6)};
} // namespace logger

// WRO2_Sensor_Log, the wideband O2 meter.
namespace wideband {
inline const QString WRO2_Sensor_Log = QStringLiteral("WRO2_Sensor_Log");
inline const QString Display1_name = QStringLiteral("Display1_name");
inline const QString Display1_value = QStringLiteral("Display1_value");
inline const QString Display2_name = QStringLiteral("Display2_name");
inline const QString Display2_value = QStringLiteral("Display2_value");
inline const QString Text1 = QStringLiteral("Text1");
inline const QString Text2 = QStringLiteral("Text2");
inline const QString Label2 = QStringLiteral("Label2");
inline const QString Command1 = QStringLiteral("Command1");
inline const QString Command2 = QStringLiteral("Command2");
inline const QString Cancel = QStringLiteral("Cancel");
// Every control of the window.
inline const QStringList Controls{Display1_name, Display1_value, Display2_name, Display2_value, Text1,
                                  Text2,         Label2,         Command1,      Command2,       Cancel};
} // namespace wideband

// frmFuel_Trim, the fuel trim monitor.
namespace fuelTrim {
inline const QString frmFuel_Trim = QStringLiteral("frmFuel_Trim");
inline const QString Label5 = QStringLiteral("Label5");
inline const QString Command1 = QStringLiteral("Command1");
inline const QString Option1 = QStringLiteral("Option1");
// "Label1" .. "Label4": the four trim rows.
inline QString row(int k) { return QStringLiteral("Label%1").arg(k); }
// Every control of the window.
inline const QStringList Controls{Label5, Command1, Option1, row(1), row(2), row(3), row(4)};
} // namespace fuelTrim

} // namespace quenta::names

#pragma once
// The window settings file: the state of a window's input controls saved to a text file and read
// back, for any window. Only the data logger uses it, with settingsFilePath().
//
// Controls are the window's child widgets in creation order (depth first, not into a handled
// control, not into other windows), named by their object names; widgets without a name, and
// Qt's own parts (names beginning "qt_"), are not controls. A member of a control array shares
// its object name with the others and carries its index in the int property "controlIndex"
// (setControlIndex()); a widget without that property has no index.
//
// Kinds and what is kept of them:
//   QCheckBox        0 clear, 1 ticked, 2 grey (so Qt::Checked is written 1, PartiallyChecked 2)
//   QRadioButton     #TRUE# or #FALSE#
//   QLineEdit, QPlainTextEdit, QTextEdit   the plain text
//   QComboBox        the current index, -1 for none
//   QListWidget      the current row, and all items
// Every other widget is passed over. Restoring goes through the controls' own setters, so their
// change signals fire as when the user makes the choice.
//
// The file: a header line "" (the identifier of these files is empty), then per control a bare
// line with its name, an item line with the value, an item line with its index or #NULL#, and for
// a list box the item count and one line per item. Texts are UTF-8.
#include <QString>

#include <optional>

class QWidget;

namespace quenta {

class Prompts;

// The text that heads every settings file.
extern const QString SettingsFileIdentifier;
inline constexpr char ControlIndexProperty[] = "controlIndex";

void setControlIndex(QWidget *control, int index);
std::optional<int> controlIndex(const QWidget *control);

// Settings.dat in the user's configuration folder ($XDG_CONFIG_HOME/quenta, normally
// ~/.config/quenta): the program's own folder is not writable once it is installed.
QString settingsFilePath();

// Writes the window's controls to fileName, replacing the file as a whole only once everything is
// written; a missing folder is created. When the file cannot be written nothing is replaced,
// false is returned and *error (if given) says why, for the caller to show.
bool save_form_data(QWidget *window, const QString &fileName, QString *error = nullptr);

// Reads fileName back into the window's controls. A missing file changes nothing and says nothing.
// A file that is not a settings file (or cannot be read) is refused with a message box, leaves the
// window unchanged and sets `failed`; otherwise `failed` is left as it is. Records for controls
// the window does not have, and values a control cannot take, are passed over.
void load_form_data(QWidget *window, const QString &fileName, bool &failed, Prompts &prompts);

} // namespace quenta

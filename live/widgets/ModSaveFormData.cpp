#include "live/widgets/ModSaveFormData.h"

#include "live/ItemLine.h"
#include "platform/Prompts.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextEdit>

namespace quenta {

const QString SettingsFileIdentifier;

void setControlIndex(QWidget *control, int index) { control->setProperty(ControlIndexProperty, index); }

std::optional<int> controlIndex(const QWidget *control)
{
    const QVariant v = control->property(ControlIndexProperty);
    bool ok = false;
    const int index = v.toInt(&ok);
    return v.isValid() && ok ? std::optional<int>(index) : std::nullopt;
}

QString settingsFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QStringLiteral("/quenta/Settings.dat");
}

namespace {

bool isHandled(const QWidget *w)
{
    return qobject_cast<const QCheckBox *>(w) || qobject_cast<const QRadioButton *>(w)
           || qobject_cast<const QLineEdit *>(w) || qobject_cast<const QPlainTextEdit *>(w)
           || qobject_cast<const QTextEdit *>(w) || qobject_cast<const QComboBox *>(w)
           || qobject_cast<const QListWidget *>(w);
}

// Depth first in creation order. The inside of a handled control (a combo box's line edit, a
// list's viewport) belongs to it; Qt's own containers (a scroll area's viewport) are walked
// through but are not controls themselves.
void collectControls(const QObject *parent, QList<QWidget *> &out)
{
    for (QObject *child : parent->children()) {
        auto *w = qobject_cast<QWidget *>(child);
        if (!w || w->isWindow())
            continue;
        const QString name = w->objectName();
        const bool named = !name.isEmpty() && !name.startsWith(QLatin1String("qt_"));
        if (isHandled(w)) {
            if (named)
                out << w;
        } else {
            collectControls(w, out);
        }
    }
}

QList<QWidget *> controlsOf(const QWidget *window)
{
    QList<QWidget *> out;
    collectControls(window, out);
    return out;
}

QString record(QWidget *w)
{
    using namespace itemline;
    QString value;
    QStringList listItems;
    bool isList = false;
    if (auto *box = qobject_cast<QCheckBox *>(w)) {
        const Qt::CheckState s = box->checkState();
        value = number(qint64(s == Qt::Checked ? 1 : s == Qt::PartiallyChecked ? 2 : 0));
    } else if (auto *option = qobject_cast<QRadioButton *>(w)) {
        value = boolean(option->isChecked());
    } else if (auto *edit = qobject_cast<QLineEdit *>(w)) {
        value = text(edit->text());
    } else if (auto *plain = qobject_cast<QPlainTextEdit *>(w)) {
        value = text(plain->toPlainText());
    } else if (auto *rich = qobject_cast<QTextEdit *>(w)) {
        value = text(rich->toPlainText());
    } else if (auto *combo = qobject_cast<QComboBox *>(w)) {
        value = number(qint64(combo->currentIndex()));
    } else if (auto *list = qobject_cast<QListWidget *>(w)) {
        value = number(qint64(list->currentRow()));
        isList = true;
        for (int i = 0; i < list->count(); ++i)
            listItems << list->item(i)->text();
    }
    const std::optional<int> index = controlIndex(w);
    QString out = w->objectName() + QLatin1String(EndOfLine) + line({value})
                  + line({index ? number(qint64(*index)) : null()});
    if (isList) {
        out += line({number(qint64(listItems.size()))});
        for (const QString &item : listItems)
            out += line({text(item)});
    }
    return out;
}

// An option button unticked by the file stays unticked even when it is the checked member of an
// exclusive group, so the window comes back as it was saved.
void setOption(QRadioButton *option, bool on)
{
    if (on || !option->isChecked()) {
        option->setChecked(on);
        return;
    }
    QButtonGroup *group = option->group();
    const bool groupExclusive = group && group->exclusive();
    const bool autoExclusive = option->autoExclusive();
    if (group)
        group->setExclusive(false);
    option->setAutoExclusive(false);
    option->setChecked(false);
    option->setAutoExclusive(autoExclusive);
    if (group)
        group->setExclusive(groupExclusive);
}

// Puts one record into its control; a value the control cannot take is passed over.
void restore(QWidget *w, const itemline::Item &value, const std::optional<QStringList> &listItems)
{
    using Kind = itemline::Item::Kind;
    const std::optional<int> whole = value.wholeNumber();
    if (auto *box = qobject_cast<QCheckBox *>(w)) {
        static const Qt::CheckState states[] = {Qt::Unchecked, Qt::Checked, Qt::PartiallyChecked};
        if (whole && *whole >= 0 && *whole <= 2)
            box->setCheckState(states[*whole]);
    } else if (auto *option = qobject_cast<QRadioButton *>(w)) {
        if (value.kind == Kind::Boolean)
            setOption(option, value.boolean);
    } else if (value.isText() || value.kind == Kind::Number) {
        if (auto *edit = qobject_cast<QLineEdit *>(w))
            edit->setText(value.text);
        else if (auto *plain = qobject_cast<QPlainTextEdit *>(w))
            plain->setPlainText(value.text);
        else if (auto *rich = qobject_cast<QTextEdit *>(w))
            rich->setPlainText(value.text);
    }
    if (auto *combo = qobject_cast<QComboBox *>(w)) {
        if (whole && *whole >= -1 && *whole < combo->count())
            combo->setCurrentIndex(*whole);
    } else if (auto *list = qobject_cast<QListWidget *>(w)) {
        if (listItems) {
            list->clear();
            list->addItems(*listItems);
        }
        if (whole && *whole >= -1 && *whole < list->count())
            list->setCurrentRow(*whole);
    }
}

} // namespace

bool save_form_data(QWidget *window, const QString &fileName, QString *error)
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(fileName), why);
        return false;
    };
    const QFileInfo info(fileName);
    if (!QDir().mkpath(info.absolutePath()))
        return fail(QStringLiteral("the folder %1 cannot be created").arg(QDir::toNativeSeparators(info.absolutePath())));

    QString content = itemline::line({itemline::text(SettingsFileIdentifier)});
    for (QWidget *w : controlsOf(window))
        content += record(w);

    // Written beside and then put in place, so a failed write leaves the previous file whole.
    QSaveFile file(fileName);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    const QByteArray bytes = content.toUtf8();
    if (file.write(bytes) != bytes.size())
        return fail(file.errorString());
    if (!file.commit())
        return fail(file.errorString());
    return true;
}

void load_form_data(QWidget *window, const QString &fileName, bool &failed, Prompts &prompts)
{
    const QString title = QStringLiteral("Error reading file");
    QFile file(fileName);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        prompts.message(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(fileName), file.errorString()), title,
                        Prompts::Icon::Exclamation);
        failed = true;
        return;
    }
    itemline::Reader reader(QString::fromUtf8(file.readAll()));
    file.close();

    // An empty file has no header, so it is not a settings file either.
    const bool empty = reader.atEnd();
    const itemline::Item header = reader.next();
    if (empty || !header.isText() || header.text != SettingsFileIdentifier) {
        prompts.message(QStringLiteral("File is not a ") + SettingsFileIdentifier + QStringLiteral(" Data File"), title,
                        Prompts::Icon::Exclamation);
        failed = true;
        return;
    }

    const QList<QWidget *> controls = controlsOf(window);
    while (!reader.atEnd()) {
        const itemline::Item name = reader.next();
        if (reader.atEnd())
            break;
        const itemline::Item value = reader.next();
        if (reader.atEnd())
            break;
        const itemline::Item index = reader.next();
        // A list box record goes on with its item count. A name never reads as a number, so a
        // number here is that count even when the list box is not found, and its items are
        // passed over with it instead of being read as further records.
        std::optional<QStringList> listItems;
        if (const itemline::Item *next = reader.peek(); next && next->kind == itemline::Item::Kind::Number) {
            const double count = reader.next().number;
            listItems.emplace();
            for (double i = 0; i < count && !reader.atEnd(); ++i)
                *listItems << reader.next().text;
        }

        const std::optional<int> recordIndex = index.wholeNumber(); // none for #NULL#
        for (QWidget *w : controls) {
            if (w->objectName() != name.text)
                continue;
            const std::optional<int> own = controlIndex(w);
            // A control outside an array takes a record of its name whatever index it carries;
            // an array member only the record of its own index.
            if (!own || recordIndex == own) {
                restore(w, value, listItems);
                break;
            }
        }
    }
}

} // namespace quenta

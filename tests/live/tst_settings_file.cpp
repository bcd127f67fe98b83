// The window settings file: item lines, a round trip of every control kind, the exact bytes, bad,
// missing and unreadable files, an unwritable path, and records the window has no control for.
#include "ScriptedPrompts.h"

#include "live/ItemLine.h"
#include "live/widgets/ModSaveFormData.h"

#include <QtTest>
#include <QtWidgets>

using namespace quenta;

namespace {

template <typename T> T *add(QWidget *parent, const QString &name, int index = -1)
{
    T *w = new T(parent);
    w->setObjectName(name);
    if (index >= 0)
        setControlIndex(w, index);
    return w;
}

// A window with every kind of control, a control array of six lists, a text box in a frame, and unsaved controls.
struct Form : QWidget {
    QCheckBox *check[3];
    QRadioButton *Option1, *Option2;
    QLineEdit *Text2, *Text3;
    QPlainTextEdit *Text1;
    QGroupBox *Frame1;
    QComboBox *Combo1, *Combo3, *cboRTD[6];
    QListWidget *List1;

    Form()
    {
        add<QLabel>(this, "Label1")->setText(QStringLiteral("not saved"));
        for (int i = 0; i < 3; ++i)
            (check[i] = add<QCheckBox>(this, QStringLiteral("Check%1").arg(i + 1)))->setTristate(true);
        (Option1 = add<QRadioButton>(this, "Option1"))->setChecked(true);
        Option2 = add<QRadioButton>(this, "Option2");
        (Text2 = add<QLineEdit>(this, "Text2"))->setText(QStringLiteral("0.100"));
        Text1 = add<QPlainTextEdit>(this, "Text1");
        Text3 = add<QLineEdit>(Frame1 = add<QGroupBox>(this, "Frame1"), "Text3");
        add<QPushButton>(this, "Command1");
        (Combo1 = add<QComboBox>(this, "Combo1"))->addItems({"None", "System Time", "Speed", "RPM"});
        (Combo3 = add<QComboBox>(this, "Combo3"))->addItems({"AND", "OR"});
        Combo3->setCurrentIndex(-1);
        for (int i = 0; i < 6; ++i) {
            cboRTD[i] = add<QComboBox>(this, "cboRTD", i);
            for (int p = 0; p < 8; ++p)
                cboRTD[i]->addItem(QStringLiteral("PID %1").arg(p));
        }
        List1 = add<QListWidget>(this, "List1");
    }

    // The window's state read straight from its widgets.
    QStringList state() const
    {
        QStringList s;
        for (QCheckBox *c : check)
            s << QString::number(c->checkState());
        s << QString::number(Option1->isChecked()) << QString::number(Option2->isChecked()) << Text2->text()
          << Text1->toPlainText() << Text3->text() << QString::number(Combo1->currentIndex()) << QString::number(Combo3->currentIndex());
        for (QComboBox *c : cboRTD)
            s << QString::number(c->currentIndex());
        s << QString::number(List1->currentRow());
        for (int i = 0; i < List1->count(); ++i)
            s << List1->item(i)->text();
        return s;
    }
};

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A fresh window loaded from a file of these bytes (none: no file; "<folder>": a folder there).
struct Loaded {
    bool failed = false;
    QStringList said, state, before;
};
Loaded load(const QByteArray &content)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Settings.dat"));
    if (content == "<folder>")
        QDir(dir.path()).mkdir(QStringLiteral("Settings.dat"));
    else if (!content.isNull())
        writeFile(path, content);
    Form form;
    Loaded l{false, {}, {}, form.state()};
    ScriptedPrompts prompts;
    load_form_data(&form, path, l.failed, prompts);
    for (const auto &shown : prompts.shown)
        l.said << shown.title + QLatin1Char('|') + shown.text + (shown.icon == Prompts::Icon::Exclamation ? "|!" : "");
    l.state = form.state();
    return l;
}

} // namespace

class tst_settings_file : public QObject {
    Q_OBJECT
private slots:
    void itemLines()
    {
        const struct { const char *value, *written; } texts[] = {
            {"", "\"\""}, {"a,b", "\"a,b\""}, {"say \"hi\", 5", "\"say \"\"hi\"\", 5\""}, {"\"", "\"\"\"\""},
            {"one\ntwo", "\"one\r\ntwo\""}, {"  x  ", "\"  x  \""}, {"#TRUE#", "\"#TRUE#\""}};
        for (const auto &t : texts) {
            const QString value = QString::fromLatin1(t.value);
            QCOMPARE(itemline::text(value), QLatin1String(t.written));
            const auto items = itemline::items(itemline::line({itemline::text(value), itemline::number(qint64(7))}));
            QVERIFY(items.size() == 2 && items[0].kind == itemline::Item::Kind::Text && items[0].text == value && items[1].number == 7.0);
        }
        const struct { double x; const char *text; } numbers[] = {{0.1, "0.1"}, {-2, "-2"}, {1500, "1500"}, {1e-7, "0.0000001"}, {123456789012.5, "123456789012.5"}};
        for (const auto &n : numbers) {
            QCOMPARE(itemline::number(n.x), QLatin1String(n.text));
            QCOMPARE(itemline::items(QLatin1String(n.text)).value(0).number, n.x);
        }
        QCOMPARE(itemline::line({itemline::boolean(true), itemline::boolean(false), itemline::null()}),
                 QStringLiteral("#TRUE#,#FALSE#,#NULL#\r\n"));
        const auto items = itemline::items(QStringLiteral(" \"a,b\" , 3.5,#TRUE#,#NULL#,cboRTD\r\n\r\n-1"));
        using K = itemline::Item::Kind;
        QList<K> kinds;
        for (const auto &item : items)
            kinds << item.kind;
        QCOMPARE(kinds, (QList<K>{K::Text, K::Number, K::Boolean, K::Null, K::Bare, K::Bare, K::Number}));
        QVERIFY(items[0].text == QStringLiteral("a,b") && items[2].boolean && items[4].text == QStringLiteral("cboRTD") && items[5].text.isEmpty());
        QVERIFY(items[1].wholeNumber() == std::nullopt && items[6].wholeNumber() == std::optional<int>(-1));
    }

    void roundTripOfEveryKind()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Settings.dat"));
        Form saved;
        for (int i = 0; i < 3; ++i)
            saved.check[i]->setCheckState(Qt::CheckState(i));
        saved.Option2->setChecked(true);
        saved.Text2->setText(QStringLiteral("Trigger, \"fast\" mode"));
        saved.Text1->setPlainText(QStringLiteral("Trigger 1\nAND/OR\nTrigger 2"));
        saved.Text3->setText(QStringLiteral("b"));
        saved.Combo1->setCurrentIndex(-1);
        saved.Combo3->setCurrentIndex(1);
        const int chosen[6] = {5, 0, 7, 3, -1, 2};
        for (int i = 0; i < 6; ++i)
            saved.cboRTD[i]->setCurrentIndex(chosen[i]);
        saved.List1->addItems({"first", "a, \"b\"", ""});
        saved.List1->setCurrentRow(1);
        QString error;
        QVERIFY2(save_form_data(&saved, path, &error), qPrintable(error));
        Form restored;
        restored.List1->addItems({QStringLiteral("stale")});
        QVERIFY(restored.state() != saved.state());
        ScriptedPrompts prompts;
        bool failed = false;
        load_form_data(&restored, path, failed, prompts);
        QCOMPARE(restored.state(), saved.state());
        QVERIFY(!failed && prompts.shown.isEmpty());
        failed = true; // a good file leaves a failure already noted as it was
        load_form_data(&restored, path, failed, prompts);
        QVERIFY(failed);

        // The exact bytes of a small window; saving again replaces the file, it does not add to it.
        QWidget window;
        add<QLabel>(&window, "Label1");
        add<QCheckBox>(&window, "Check1")->setChecked(true);
        add<QCheckBox>(&window, "Check2")->setCheckState(Qt::PartiallyChecked);
        add<QRadioButton>(&window, "Option1")->setChecked(true);
        add<QRadioButton>(&window, "Option5");
        auto *text = add<QLineEdit>(&window, "Text2");
        add<QComboBox>(&window, "cboRTD", 3)->addItems({"a", "b"});
        window.findChild<QComboBox *>()->setCurrentIndex(-1);
        auto *list = add<QListWidget>(&window, "List1");
        list->addItems({"a", "b,c"});
        list->setCurrentRow(0);
        for (const char *typed : {"1,5 \"x\"", "x"}) {
            text->setText(QString::fromLatin1(typed));
            QVERIFY(save_form_data(&window, path));
            QCOMPARE(readAll(path), "\"\"\r\nCheck1\r\n1\r\n#NULL#\r\nCheck2\r\n2\r\n#NULL#\r\nOption1\r\n#TRUE#\r\n#NULL#\r\n"
                                    "Option5\r\n#FALSE#\r\n#NULL#\r\nText2\r\n"
                                        + itemline::text(text->text()).toUtf8()
                                        + "\r\n#NULL#\r\ncboRTD\r\n-1\r\n3\r\nList1\r\n0\r\n#NULL#\r\n2\r\n\"a\"\r\n\"b,c\"\r\n");
        }
    }

    void loadingFiles()
    {
        const QString refused = QStringLiteral("Error reading file|File is not a  Data File|!");
        const QByteArray changed = "Text2\r\n\"changed\"\r\n#NULL#\r\n";
        for (const QByteArray &content : {"\"Settings\"\r\n" + changed, changed, "0\r\n" + changed, QByteArray("")}) {
            const Loaded l = load(content);
            QVERIFY(l.failed && l.state == l.before);
            QCOMPARE(l.said, QStringList{refused});
        }
        Loaded l = load(QByteArray()); // no file: nothing said, nothing changed
        QVERIFY(!l.failed && l.said.isEmpty() && l.state == l.before);
        l = load("<folder>"); // there but not readable as a file: said, not silently dropped
        QVERIFY(l.failed && l.said.size() == 1 && l.said[0].startsWith(QStringLiteral("Error reading file|")) && l.state == l.before);

        l = load("\"\"\r\n"
                 "Gone\r\n1\r\n#NULL#\r\n"
                 "cboRTD\r\n6\r\n#NULL#\r\n"   // no index: no member of the array
                 "cboRTD\r\n6\r\n9\r\n"        // no member 9
                 "cboRTD\r\n4\r\n3\r\n"
                 "Check1\r\n7\r\n#NULL#\r\n"   // no such check box value
                 "Combo1\r\n99\r\n#NULL#\r\n"  // no such item
                 "Option2\r\n\"yes\"\r\n#NULL#\r\n"
                 "Text2\r\n\"5\"\r\n2\r\n"     // a control outside an array takes any index
                 // A list box this window does not have: its items must not be taken for records.
                 "ListGone\r\n0\r\n#NULL#\r\n4\r\n\"Text2\"\r\n\"lost\"\r\n\"#NULL#\"\r\n\"Combo1\"\r\n"
                 "Text3\r\n\"kept\"\r\n#NULL#\r\n"
                 "Combo3\r\n1\r\n");          // cut short: not a whole record
        QVERIFY(!l.failed && l.said.isEmpty());
        l.before[5] = QStringLiteral("5");    // Text2
        l.before[7] = QStringLiteral("kept"); // Text3
        l.before[13] = QStringLiteral("4");   // cboRTD(3)
        QCOMPARE(l.state, l.before);
        // Option buttons come back as saved, both off; still one group.
        l = load("\"\"\r\nOption1\r\n#FALSE#\r\n#NULL#\r\nOption2\r\n#FALSE#\r\n#NULL#\r\n");
        QCOMPARE(l.state.mid(3, 2), (QStringList{"0", "0"}));
    }

    void unwritablePathIsReported()
    {
        QTemporaryDir dir;
        // A plain file where the folder would be, a folder where the file would be: both hold even for root.
        const QString blocker = dir.filePath(QStringLiteral("quenta"));
        QVERIFY(writeFile(blocker, "not a folder"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Settings.dat")));
        Form form;
        for (const QString &path : {blocker + QStringLiteral("/Settings.dat"), dir.filePath(QStringLiteral("Settings.dat"))}) {
            QString error;
            QVERIFY(!save_form_data(&form, path, &error));
            QVERIFY2(error.contains(path), qPrintable(error));
        }
        QCOMPARE(readAll(blocker), QByteArray("not a folder"));
        const QString deep = dir.filePath(QStringLiteral("a/b/Settings.dat")); // a missing folder is made
        QVERIFY(save_form_data(&form, deep));
        QVERIFY(readAll(deep).startsWith("\"\"\r\nCheck1\r\n"));

        const QByteArray old = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
        const QString path = settingsFilePath();
        qputenv("XDG_CONFIG_HOME", old);
        QCOMPARE(path, dir.path() + QStringLiteral("/quenta/Settings.dat"));
    }
};

QTEST_MAIN(tst_settings_file)
#include "tst_settings_file.moc"

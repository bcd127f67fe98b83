#include "services/widgets/frmMode6.h"

#include "core/ControlNames.h"

#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace quenta {

namespace {

namespace n = names::mode6;

// The help behind each clickable label and the menu.
const QHash<QString, QString> &helpTexts()
{
    static const QHash<QString, QString> texts{
        {n::lblTestID, QStringLiteral("Enter a value between 0 and 255 or $00 to $FF hex")},
        {n::lblComponentID, QStringLiteral("Enter a value between 0 and 255 ")},
        {n::lblScale, QStringLiteral("The Scale Factor should be found in the shop manual\r\nValues can be any real number")},
        {n::lblUnits, QStringLiteral("Units can be found in the shop manual, volts,amps, PSI, etc.")},
        {n::mnuMode6Help, QStringLiteral(" Mode 6 will allow access to the results of on-board diagnostic monitoring\r\n"
                                         "A shop manual with the defined tests is required to get meaningfull data")},
    };
    return texts;
}

// A decorative picture: a test trace against its limit, or a dial.
class Decoration : public QWidget {
public:
    Decoration(bool dial, QWidget *parent) : QWidget(parent), m_dial(dial) { setFixedSize(110, 80); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillRect(rect(), QColor(0xF4, 0xF6, 0xF8));
        p.setPen(QPen(QColor(0x60, 0x64, 0x6C), 1));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
        if (m_dial) {
            const QRectF r(15, 12, 80, 80);
            p.setPen(QPen(QColor(0x30, 0x90, 0x30), 6));
            p.drawArc(r, 180 * 16, -110 * 16);
            p.setPen(QPen(QColor(0xD0, 0x30, 0x20), 6));
            p.drawArc(r, 70 * 16, -70 * 16);
            p.setPen(QPen(Qt::black, 2.5));
            p.drawLine(r.center(), r.center() + QPointF(-22, -24));
            return;
        }
        p.setPen(QPen(QColor(0xD0, 0x30, 0x20), 1.5, Qt::DashLine));
        p.drawLine(8, 22, 102, 22);
        p.setPen(QPen(QColor(0x10, 0x60, 0xD0), 2));
        QPolygonF trace;
        for (int x = 8; x <= 102; x += 6)
            trace << QPointF(x, 55 - 18 * std::abs(((x / 6) % 4) - 1.5) / 1.5 - (x > 70 ? 8 : 0));
        p.drawPolyline(trace);
    }

private:
    bool m_dial;
};

} // namespace

frmMode6::frmMode6(ScanToolLink &link, Mode6State &state, Prompts &prompts, QWidget *parent)
    : QWidget(parent, Qt::Window), m_prompts(prompts), m_tests(link, state, prompts)
{
    setObjectName(n::frmMode6);
    setWindowTitle(Caption);

    auto *menuBar = new QMenuBar(this);
    QAction *help = menuBar->addAction(QStringLiteral("&Mode 6 Help"));
    help->setObjectName(n::mnuMode6Help);
    connect(help, &QAction::triggered, this, [this] { showHelp(n::mnuMode6Help); });

    auto *outer = new QVBoxLayout(this);
    outer->setMenuBar(menuBar);
    auto *top = new QHBoxLayout;
    top->addWidget(new Decoration(false, this));
    auto *heading = new QLabel(Heading, this);
    heading->setObjectName(QStringLiteral("lblHeading"));
    heading->setWordWrap(true);
    heading->setAlignment(Qt::AlignCenter);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    top->addWidget(heading, 1);
    top->addWidget(new Decoration(true, this));
    outer->addLayout(top);

    auto *columns = new QHBoxLayout;
    outer->addLayout(columns);

    auto *entry = new QGroupBox(QStringLiteral("Data Entry"), this);
    entry->setObjectName(n::Frame1);
    auto *entryGrid = new QGridLayout(entry);
    const struct {
        const QString &label;
        QString caption;
        const QString &field;
    } entries[] = {
        {n::lblTestID, QStringLiteral("Test ID\r\n$= Hex\r\n"), n::txtTestID},
        {n::lblComponentID, QStringLiteral("Component ID\r\n$ = Hex\r\n"), n::txtComponentID},
        {n::lblScale, QStringLiteral("Scale Factor"), n::txtScale},
        {n::lblAddSubtract, QStringLiteral("Add/Subtract\r\n"), n::txtAddSubtract},
        {n::lblUnits, QStringLiteral("Units"), n::txtUnits},
        {n::lblBytes, QStringLiteral("Bytes Returned"), n::txtBytes},
    };
    int row = 0;
    for (const auto &e : entries) {
        auto *label = new QLabel(e.caption, entry);
        label->setObjectName(e.label);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setMinimumWidth(110);
        if (helpTexts().contains(e.label)) {
            label->setCursor(Qt::PointingHandCursor);
            label->installEventFilter(this);
        }
        m_labels.insert(e.label, label);
        auto *edit = new QLineEdit(entry);
        edit->setObjectName(e.field);
        edit->setMinimumWidth(110);
        m_fields.insert(e.field, edit);
        entryGrid->addWidget(label, row, 0);
        entryGrid->addWidget(edit, row, 1);
        ++row;
    }
    columns->addWidget(entry, 1);

    auto *middle = new QVBoxLayout;
    auto *enter = new QLabel(QStringLiteral("Enter Data then get results"), this);
    enter->setObjectName(QStringLiteral("lblEnterData"));
    middle->addWidget(enter);
    auto *get = new QPushButton(QStringLiteral("Get Test Results"), this);
    get->setObjectName(n::cmdGetResults);
    middle->addWidget(get);
    auto *scanButton = new QPushButton(QStringLiteral("SCAN for supported tests"), this);
    scanButton->setObjectName(n::cmdScan);
    middle->addWidget(scanButton);
    auto *listLabel = new QLabel(QStringLiteral("Supported Tests"), this);
    listLabel->setObjectName(QStringLiteral("lblSupported"));
    middle->addWidget(listLabel);
    List1 = new QListWidget(this);
    List1->setObjectName(n::List1);
    middle->addWidget(List1, 1);
    auto *hint = new QLabel(QStringLiteral("Click labels for help on that item"), this);
    hint->setObjectName(QStringLiteral("lblHint"));
    middle->addWidget(hint);
    columns->addLayout(middle);

    auto *results = new QGroupBox(QStringLiteral("Test Results"), this);
    results->setObjectName(n::Frame2);
    auto *resultGrid = new QGridLayout(results);
    const struct {
        QString caption;
        const QString &field;
    } boxes[] = {
        {QStringLiteral("Returned Message"), n::txtReturned}, {QStringLiteral("Value"), n::txtValue},
        {QStringLiteral("Pass/Fail"), n::txtPassFail},        {QStringLiteral("MIN"), n::txtMin},
        {QStringLiteral("MAX"), n::txtMax},
    };
    row = 0;
    for (const auto &b : boxes) {
        auto *label = new QLabel(b.caption, results);
        label->setObjectName(QStringLiteral("lbl") + b.field.mid(3));
        auto *edit = new QLineEdit(results);
        edit->setObjectName(b.field);
        edit->setReadOnly(true);
        edit->setMinimumWidth(190);
        m_fields.insert(b.field, edit);
        resultGrid->addWidget(label, row, 0);
        resultGrid->addWidget(edit, row, 1);
        ++row;
    }
    columns->addWidget(results, 1);

    connect(&m_tests, &Mode6Monitor::changed, this, &frmMode6::showFields);
    connect(get, &QPushButton::clicked, this, &frmMode6::getTestResults);
    connect(scanButton, &QPushButton::clicked, this, &frmMode6::scan);
    showFields();
}

bool frmMode6::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        if (auto *label = qobject_cast<QLabel *>(watched); label && helpTexts().contains(label->objectName())) {
            showHelp(label->objectName());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmMode6::showHelp(const QString &name)
{
    if (helpTexts().contains(name))
        m_prompts.message(helpTexts().value(name));
}

void frmMode6::takeEntries()
{
    Mode6Monitor::Fields &f = m_tests.fields;
    f.testId = m_fields[n::txtTestID]->text();
    f.componentId = m_fields[n::txtComponentID]->text();
    f.scale = m_fields[n::txtScale]->text();
    f.addSubtract = m_fields[n::txtAddSubtract]->text();
    f.units = m_fields[n::txtUnits]->text();
    f.bytesReturned = m_fields[n::txtBytes]->text();
}

void frmMode6::showFields()
{
    const Mode6Monitor::Fields &f = m_tests.fields;
    const std::pair<const QString &, const QString &> texts[] = {
        {n::txtTestID, f.testId},     {n::txtComponentID, f.componentId}, {n::txtScale, f.scale},
        {n::txtAddSubtract, f.addSubtract}, {n::txtUnits, f.units},       {n::txtBytes, f.bytesReturned},
        {n::txtReturned, f.returned}, {n::txtValue, f.value},             {n::txtPassFail, f.passFail},
        {n::txtMin, f.min},           {n::txtMax, f.max},
    };
    for (const auto &[name, text] : texts) {
        QLineEdit *edit = m_fields[name];
        if (edit->text() != text)
            edit->setText(text);
    }
    QLineEdit *passFail = m_fields[n::txtPassFail];
    QPalette pal = passFail->palette();
    pal.setColor(QPalette::Base, QColor(rgbName(f.passFailBack)));
    pal.setColor(QPalette::Text, Qt::black);
    passFail->setPalette(pal);
    while (List1->count() > f.supported.size())
        delete List1->takeItem(List1->count() - 1);
    for (int i = List1->count(); i < f.supported.size(); ++i)
        List1->addItem(f.supported[i]);
}

void frmMode6::getTestResults()
{
    // One request at a time: a press while one waits for the tool would mix their replies.
    if (std::exchange(m_running, true))
        return;
    takeEntries();
    m_tests.getTestResults();
    showFields();
    m_running = false;
}

void frmMode6::scan()
{
    if (std::exchange(m_running, true))
        return;
    takeEntries();
    m_tests.scan();
    showFields();
    m_running = false;
}

} // namespace quenta

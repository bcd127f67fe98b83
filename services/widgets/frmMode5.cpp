#include "services/widgets/frmMode5.h"

#include "core/ControlNames.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace quenta {

frmMode5::frmMode5(PidContext &context, Prompts &prompts, QWidget *parent)
    : QWidget(parent, Qt::Window), m_tests(context, prompts)
{
    setObjectName(names::mode5::frmMode5);
    setWindowTitle(Caption);

    auto *menuBar = new QMenuBar(this);
    QAction *graph = menuBar->addAction(QStringLiteral("O2 Graph"));
    graph->setObjectName(names::mode5::mnuO2Graph);
    QMenu *locations = menuBar->addMenu(QStringLiteral("O2 Locations"));
    locations->menuAction()->setObjectName(names::mode5::mnuO2Locations);
    const struct {
        QString caption;
        const QString &name;
        O2Picture::Kind kind;
    } items[] = {
        {QStringLiteral("V6,8,10 and 12 Dual Exhaust"), names::mode5::mnuVDual, O2Picture::Kind::VDualExhaust},
        {QStringLiteral("V6,8,10, 12 Single Exhaust"), names::mode5::mnuVSingle, O2Picture::Kind::VSingleExhaust},
        {QStringLiteral("4 Cyliner (straight) "), names::mode5::mnuI4, O2Picture::Kind::Inline4},
    };
    connect(graph, &QAction::triggered, this, [this] { openPicture(O2Picture::Kind::TestDefinitions); });
    for (const auto &item : items) {
        QAction *a = locations->addAction(item.caption);
        a->setObjectName(item.name);
        connect(a, &QAction::triggered, this, [this, kind = item.kind] { openPicture(kind); });
    }

    auto *outer = new QVBoxLayout(this);
    outer->setMenuBar(menuBar);
    auto *columns = new QHBoxLayout;
    outer->addLayout(columns);

    auto *left = new QVBoxLayout;
    List1 = new QListWidget(this);
    List1->setObjectName(names::mode5::List1);
    List1->setMaximumWidth(170);
    left->addWidget(List1, 1);
    cmdGetResults = new QPushButton(QStringLiteral("Get Test Results"), this);
    cmdGetResults->setObjectName(names::mode5::cmdGetResults);
    left->addWidget(cmdGetResults);
    cmdExit = new QPushButton(QStringLiteral("EXIT"), this);
    cmdExit->setObjectName(names::mode5::cmdExit);
    left->addWidget(cmdExit);
    columns->addLayout(left);

    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(8);
    int row = 0;
    for (const O2Monitor::Test &t : O2Monitor::tests()) {
        auto *label = new QLabel(t.label, this);
        label->setObjectName(QStringLiteral("lblT%1").arg(t.id, 2, 10, QLatin1Char('0')));
        grid->addWidget(label, row, 0);
        QStringList boxes{names::mode5::result(t.id)};
        if (t.limits || t.id == 9)
            boxes << names::mode5::minimum(t.id) << names::mode5::maximum(t.id);
        for (int c = 0; c < boxes.size(); ++c) {
            auto *box = new QLineEdit(this);
            box->setObjectName(boxes[c]);
            box->setReadOnly(true);
            box->setFixedWidth(90);
            box->setAutoFillBackground(true);
            m_boxes.insert(boxes[c], box);
            grid->addWidget(box, row, 1 + c);
            showBox(boxes[c]);
        }
        ++row;
    }
    columns->addLayout(grid, 1);

    // The legend is fixed text: nothing in the window turns red.
    auto *legend = new QHBoxLayout;
    legend->setSpacing(0);
    auto *resultsIn = new QLabel(QStringLiteral("Results in"), this);
    resultsIn->setObjectName(QStringLiteral("lblResultsIn"));
    auto *red = new QLabel(QStringLiteral("RED"), this);
    red->setObjectName(names::mode5::lblRed);
    QPalette redText = red->palette();
    redText.setColor(QPalette::WindowText, QColor(255, 0, 0));
    red->setPalette(redText);
    auto *failure = new QLabel(QStringLiteral(" Indicate Failure"), this);
    failure->setObjectName(QStringLiteral("lblFailure"));
    // "Results in" and "RED" stand one blank apart, as in "Results in RED Indicate Failure".
    resultsIn->setContentsMargins(0, 0, fontMetrics().horizontalAdvance(QLatin1Char(' ')), 0);
    legend->addStretch(1);
    legend->addWidget(resultsIn);
    legend->addWidget(red);
    legend->addWidget(failure);
    outer->addLayout(legend);

    connect(&m_tests, &O2Monitor::boxChanged, this, &frmMode5::showBox);
    connect(List1, &QListWidget::itemClicked, this, [this] { cmdGetResults->setEnabled(true); });
    connect(List1, &QListWidget::currentRowChanged, this, [this](int r) {
        if (r >= 0)
            cmdGetResults->setEnabled(true);
    });
    connect(cmdGetResults, &QPushButton::clicked, this, &frmMode5::getTestResults);
    connect(cmdExit, &QPushButton::clicked, this, &QWidget::close);
}

bool frmMode5::load()
{
    cmdGetResults->setEnabled(false);
    const bool available = m_tests.load(&m_sensors);
    List1->clear();
    for (const O2Monitor::Sensor &s : std::as_const(m_sensors))
        List1->addItem(s.caption);
    return available;
}

void frmMode5::showBox(const QString &name)
{
    QLineEdit *box = m_boxes.value(name);
    if (!box)
        return;
    const O2Monitor::Box b = m_tests.box(name);
    box->setText(b.text);
    QPalette pal = box->palette();
    pal.setColor(QPalette::Base, QColor(rgbName(b.back)));
    pal.setColor(QPalette::Text, Qt::black);
    box->setPalette(pal);
}

void frmMode5::getTestResults()
{
    const int row = List1->currentRow();
    // A press while a run waits for the tool would mix the two runs' replies: it is not taken.
    if (m_running || row < 0 || row >= m_sensors.size())
        return;
    m_running = true;
    m_tests.o2_test_request(m_sensors[row].mask);
    m_running = false;
    if (m_closePending)
        deleteLater();
}

void frmMode5::closeEvent(QCloseEvent *event)
{
    hide();
    if (m_running)
        m_closePending = true;
    else
        deleteLater();
    event->accept();
}

O2Picture *frmMode5::openPicture(O2Picture::Kind kind)
{
    QPointer<O2Picture> &window = m_pictures[int(kind)];
    if (!window)
        window = new O2Picture(kind, this);
    window->show();
    window->raise();
    return window;
}

} // namespace quenta

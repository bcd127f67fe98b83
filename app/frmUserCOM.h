#pragma once
// The COM5-COM9 picker of "COM 5 thru 9".
#include <QList>
#include <QWidget>

class QRadioButton;

namespace quenta {

class Program;

class frmUserCOM : public QWidget {
    Q_OBJECT
public:
    explicit frmUserCOM(Program &program, QWidget *parent = nullptr);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void choose(int port);

    Program &m_program;
    QList<QRadioButton *> m_options;
};

} // namespace quenta

#pragma once

#include <QDialog>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

// Tools > "Lab archive...": the connection in use, another connection string
// to enter and test, and what is wrong in plain words. The test runs on a
// thread of its own; the window never waits on the network. Using a string
// keeps it in the settings (never one with a password) and hands it to the
// archive's thread.
class frmLabArchive : public QDialog {
    Q_OBJECT
public:
    using UseConnection = std::function<void(const QString &conninfo)>;

    frmLabArchive(QString inUse, QString serverProblem, UseConnection use, QWidget *parent = nullptr);
    ~frmLabArchive() override;

    QLabel *lblInUse = nullptr;
    QLineEdit *txtConnection = nullptr;
    QPushButton *cmdTest = nullptr;
    QPushButton *cmdUse = nullptr;
    QPushButton *cmdClose = nullptr;
    QLabel *lblResult = nullptr;

public slots:
    void cmdTest_Click();
    void cmdUse_Click();

signals:
    // A test ended; its words are in lblResult.
    void tested();

private:
    void showResult(const QString &text, bool good);

    QString m_inUse;
    UseConnection m_use;
};

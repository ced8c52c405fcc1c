#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The About box: a picture and the program's version. Hidden, not destroyed,
// when dismissed; later openings reuse it.
class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget *parent = nullptr);

    // Shows the box modally; returns once it is hidden again.
    void ShowForm();
    // Closes the box for good (the program is ending).
    void unloadForm();

    QLabel *picBusinessCard = nullptr;
    QLabel *lblVersion = nullptr;
    QPushButton *cmdOK = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

private:
    void Form_Activate();
    void cmdOK_Click();

    bool m_unloading = false;
};

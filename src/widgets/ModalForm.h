#pragma once

#include <QDialog>

class QPushButton;

// How a form is being closed: by the user with the window's close box, or by
// the program.
enum UnloadMode { unloadCloseBox = 0, unloadByCode = 1 };

// The common pattern of the settings dialogs: shown modally until OK or
// Cancel hides it; cancelled() tells the two apart afterwards. OK is the
// default button (Enter), Cancel the cancel button (Esc), and the close box
// is refused and acts as Cancel. Closing from code proceeds.
class ModalForm : public QDialog {
    Q_OBJECT
public:
    explicit ModalForm(QWidget *parent = nullptr);

    bool cancelled() const { return m_cancelled; }

    void cmdOK_Click();
    void cmdCancel_Click();
    void Form_QueryUnload(bool &Cancel, int UnloadMode);

    QPushButton *cmdOK = nullptr;
    QPushButton *cmdCancel = nullptr;

protected:
    // Shows the form modally and returns once it is hidden.
    void showModal();
    // The window's close box arrives as a spontaneous close event; a close
    // from code does not.
    void closeEvent(QCloseEvent *event) override;
    // Esc.
    void reject() override;
    void setCancelled(bool cancelled) { m_cancelled = cancelled; }

private:
    bool m_cancelled = false;
};

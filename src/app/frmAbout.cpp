#include "frmAbout.h"

#include "AppVersion.h"
#include "Artwork.h"
#include "Twips.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>

frmAbout::frmAbout(QWidget *parent) : QDialog(parent)
{
    setObjectName("frmAbout");
    setWindowTitle("About");
    setWindowIcon(Artwork::appIcon());
    setFixedSize(twips(6450), twips(4440));

    picBusinessCard = new QLabel(this);
    picBusinessCard->setObjectName("picBusinessCard");
    picBusinessCard->setGeometry((width() - twips(5295)) / 2, twips(240), twips(5295), twips(3060));
    picBusinessCard->setPixmap(Artwork::businessCard());
    picBusinessCard->setScaledContents(true);

    lblVersion = new QLabel("Version", this);
    lblVersion->setObjectName("lblVersion");
    lblVersion->setAlignment(Qt::AlignCenter);
    QFont f = lblVersion->font();
    f.setPointSizeF(9.75);
    lblVersion->setFont(f);
    lblVersion->setGeometry((width() - twips(2415)) / 2, twips(3360), twips(2415), twips(255));

    cmdOK = new QPushButton("OK", this);
    cmdOK->setObjectName("cmdOK");
    cmdOK->setGeometry((width() - twips(1215)) / 2, twips(3720), twips(1215), twips(495));
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
}

void frmAbout::ShowForm() { exec(); }

void frmAbout::unloadForm()
{
    m_unloading = true;
    close();
}

void frmAbout::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    Form_Activate();
}

void frmAbout::Form_Activate() { lblVersion->setText("Version " + AppVersion::text()); }

void frmAbout::cmdOK_Click() { hide(); }

// Esc presses OK.
void frmAbout::reject() { cmdOK_Click(); }

void frmAbout::closeEvent(QCloseEvent *event)
{
    if (m_unloading) {
        QDialog::closeEvent(event);
        return;
    }
    // The user's close box only hides the box.
    event->ignore();
    cmdOK_Click();
}

#include "frmLabArchive.h"

#include "ArchiveConnection.h"
#include "ArchiveSettings.h"
#include "ArchiveWords.h"
#include "LogCategories.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QCoreApplication>
#include <QThread>
#include <QVBoxLayout>

frmLabArchive::frmLabArchive(QString inUse, QString serverProblem, UseConnection use, QWidget *parent)
    : QDialog(parent), m_inUse(std::move(inUse)), m_use(std::move(use))
{
    setWindowTitle(QStringLiteral("Lab archive"));
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    lblInUse = new QLabel(ArchiveWords::withoutPassword(m_inUse), this);
    lblInUse->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(QStringLiteral("Connection in use:"), lblInUse);
    txtConnection = new QLineEdit(this);
    txtConnection->setPlaceholderText(QStringLiteral("host=db.lab.example dbname=lab user=pc12 sslmode=verify-full"));
    txtConnection->setToolTip(QStringLiteral("A PostgreSQL connection string. Passwords go in ~/.pgpass, never here."));
    form->addRow(QStringLiteral("Another connection:"), txtConnection);
    layout->addLayout(form);
    lblResult = new QLabel(serverProblem.isEmpty() ? QString() : serverProblem, this);
    lblResult->setWordWrap(true);
    layout->addWidget(lblResult);
    auto *buttons = new QDialogButtonBox(this);
    cmdTest = buttons->addButton(QStringLiteral("&Test"), QDialogButtonBox::ActionRole);
    cmdUse = buttons->addButton(QStringLiteral("&Use"), QDialogButtonBox::AcceptRole);
    cmdClose = buttons->addButton(QDialogButtonBox::Close);
    layout->addWidget(buttons);
    connect(cmdTest, &QPushButton::clicked, this, &frmLabArchive::cmdTest_Click);
    connect(cmdUse, &QPushButton::clicked, this, &frmLabArchive::cmdUse_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::reject);
    resize(560, sizeHint().height());
}

frmLabArchive::~frmLabArchive() = default;

void frmLabArchive::showResult(const QString &text, bool good)
{
    lblResult->setText(text);
    lblResult->setStyleSheet(good ? QString() : QStringLiteral("color: #a00000"));
}

void frmLabArchive::cmdTest_Click()
{
    const QString conninfo = txtConnection->text().trimmed().isEmpty() ? m_inUse : txtConnection->text().trimmed();
    cmdTest->setEnabled(false);
    showResult(QStringLiteral("Testing %1 ...").arg(ArchiveWords::withoutPassword(conninfo)), true);
    QPointer<frmLabArchive> self(this);
    QThread *worker = QThread::create([self, conninfo] {
        const Result<std::shared_ptr<ArchiveConnection>> made = ArchiveConnection::open(conninfo);
        const QString text =
            made ? QStringLiteral("The archive answers: %1 may write to it").arg(made.value()->describe())
                 : made.failure().reason;
        const bool good = made.ok();
        if (!good)
            qCInfo(lcArchive).noquote() << "The archive test failed:" << text;
        QMetaObject::invokeMethod(QCoreApplication::instance(), [self, text, good] {
            if (!self)
                return;
            self->cmdTest->setEnabled(true);
            self->showResult(text, good);
            emit self->tested();
        });
    });
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start();
}

void frmLabArchive::cmdUse_Click()
{
    const QString conninfo = txtConnection->text().trimmed();
    if (const std::optional<Failure> refused = ArchiveSettings::save(conninfo)) {
        showResult(refused->reason, false);
        return;
    }
    m_inUse = ArchiveSettings::connection();
    lblInUse->setText(ArchiveWords::withoutPassword(m_inUse));
    if (m_use)
        m_use(m_inUse);
    showResult(QStringLiteral("Halvern sends to %1 from now on").arg(ArchiveWords::withoutPassword(m_inUse)), true);
}

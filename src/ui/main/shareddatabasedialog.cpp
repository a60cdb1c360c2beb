#include "ui/main/shareddatabasedialog.h"

#include "records/sharedreader.h"
#include "records/sharedurl.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

QString connectionTestText(const SharedInfo &info)
{
    const QString server = QStringLiteral("Connected: PostgreSQL %1, ").arg(info.serverVersion);
    if (info.schemaVersion == 0)
        return server +
               QStringLiteral("no Kestrava tables yet (kestrava-records init-shared sets them up)");
    return server + QStringLiteral("schema version %1, %2 rigs, %3 records")
                        .arg(info.schemaVersion)
                        .arg(info.rigs)
                        .arg(info.records);
}

SharedDatabaseDialog::SharedDatabaseDialog(const SharedSettings &settings, QWidget *parent)
    : QDialog(parent), m_reader(new SharedReader(this))
{
    setObjectName(QStringLiteral("frmSharedDatabase"));
    setWindowTitle(QStringLiteral("Shared Database"));
    setModal(true);

    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    layout->addLayout(form);
    m_url = new QLineEdit(settings.url, this);
    m_url->setObjectName(QStringLiteral("txtSharedUrl"));
    m_url->setPlaceholderText(QStringLiteral("postgresql://user@host/dbname (empty: none)"));
    m_url->setMinimumWidth(420);
    m_rig = new QLineEdit(settings.rig, this);
    m_rig->setObjectName(QStringLiteral("txtRigName"));
    form->addRow(QStringLiteral("URL:"), m_url);
    form->addRow(QStringLiteral("Rig name:"), m_rig);
    auto *hint = new QLabel(QStringLiteral("Passwords go in ~/.pgpass, never in the URL."), this);
    layout->addWidget(hint);

    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("lblConnection"));
    m_message->setWordWrap(true);
    layout->addWidget(m_message);

    auto *buttons = new QDialogButtonBox(this);
    m_test = buttons->addButton(QStringLiteral("Test Connection"), QDialogButtonBox::ActionRole);
    m_test->setObjectName(QStringLiteral("cmdTestConnection"));
    QPushButton *ok = buttons->addButton(QDialogButtonBox::Ok);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true);
    QPushButton *cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    layout->addWidget(buttons);

    connect(m_test, &QPushButton::clicked, this, &SharedDatabaseDialog::onTestConnectionClicked);
    connect(ok, &QPushButton::clicked, this, &SharedDatabaseDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &SharedDatabaseDialog::reject);
    connect(m_reader, &SharedReader::infoRead, this, &SharedDatabaseDialog::onInfoRead);
    connect(m_reader, &SharedReader::failed, this, &SharedDatabaseDialog::onTestFailed);
}

SharedSettings SharedDatabaseDialog::settings() const
{
    return {m_url->text().trimmed(), m_rig->text().trimmed()};
}

QString SharedDatabaseDialog::message() const
{
    return m_message->text();
}

QString SharedDatabaseDialog::problem() const
{
    const SharedSettings s = settings();
    if (!s.url.isEmpty()) {
        const Fallible<SharedUrl> url = parseSharedUrl(s.url);
        if (!url.ok())
            return QStringLiteral("The URL cannot serve: %1.").arg(url.failure()->reason);
    }
    if (const std::optional<QString> rig = rigNameProblem(s.rig))
        return QStringLiteral("The rig name cannot serve: %1.").arg(*rig);
    return {};
}

void SharedDatabaseDialog::accept()
{
    if (const QString refused = problem(); !refused.isEmpty()) {
        m_message->setText(refused);
        return;
    }
    m_reader->cancel();
    QDialog::accept();
}

void SharedDatabaseDialog::onTestConnectionClicked()
{
    if (const QString refused = problem(); !refused.isEmpty()) {
        m_message->setText(refused);
        return;
    }
    if (settings().url.isEmpty()) {
        m_message->setText(QStringLiteral("No URL: this rig keeps its records to itself."));
        return;
    }
    m_message->setText(QStringLiteral("Testing the connection..."));
    m_reader->info(settings().url);
}

void SharedDatabaseDialog::onInfoRead(const SharedInfo &info)
{
    m_message->setText(connectionTestText(info));
}

void SharedDatabaseDialog::onTestFailed(const QString &reason)
{
    m_message->setText(QStringLiteral("Cannot connect: %1").arg(reason));
}

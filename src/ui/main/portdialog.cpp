#include "ui/main/portdialog.h"

#include "ui/keyboard.h"
#include "ui/twips.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

PortDialog::PortDialog(int16_t &commPort, QWidget *parent) : QDialog(parent), m_commPort(commPort)
{
    setObjectName(QStringLiteral("frmComm"));
    setWindowTitle(QStringLiteral("COMM"));
    setModal(true);
    setFixedSize(twips(3720), twips(1920));

    auto *frame = new QGroupBox(QStringLiteral("Select USB Port"), this);
    frame->setObjectName(QStringLiteral("Frame1"));
    frame->setGeometry(twipsRect(120, 120, 3480, 1080));

    m_list = new QComboBox(frame);
    m_list->setObjectName(QStringLiteral("cmbComm"));
    m_list->setGeometry(twipsRect(240, 480, 3000, 375));
    m_list->setEditable(true);
    m_list->setInsertPolicy(QComboBox::NoInsert); // typed text never becomes an entry
    // Only the selected entry counts, never the text typed into the field. The box selects
    // the entry whose text was typed when the field's editing ends (Enter, or the focus
    // leaving it), so that link is cut; and typed text is not completed, since it selects
    // nothing.
    disconnect(m_list->lineEdit(), &QLineEdit::editingFinished, m_list, nullptr);
    m_list->setCompleter(nullptr);
    for (int port = 1; port <= kPortCount; ++port)
        m_list->addItem(QStringLiteral("COM %1").arg(port));

    // Only a number with an entry is selected; otherwise the field shows its design text.
    if (m_commPort >= 1 && m_commPort <= kPortCount) {
        m_list->setCurrentIndex(m_commPort - 1);
    } else {
        m_list->setCurrentIndex(-1);
        m_list->setEditText(QStringLiteral("Combo1"));
    }

    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setGeometry(twipsRect(1200, 1320, 1335, 435));
    // OK is not the default: Enter in the list presses nothing, Enter on OK presses OK.
    ok->setAutoDefault(false);
    connect(ok, &QPushButton::clicked, this, &PortDialog::onOkClicked);
    enterPressesFocusedButton(this);
}

void PortDialog::onOkClicked()
{
    m_commPort = static_cast<int16_t>(m_list->currentIndex() + 1);
    accept();
}

#include "ui/main/frmcomm.h"

#include "app/sharedstate.h"
#include "ui/main/twips.h"

#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>

FrmComm::FrmComm(SharedState &state, QWidget *parent) : QDialog(parent), m_state(state)
{
    setObjectName(QStringLiteral("frmComm"));
    setWindowTitle(QStringLiteral("COMM"));
    setModal(true);
    setFixedSize(twips(3720), twips(1920));

    Frame1 = new QGroupBox(QStringLiteral("Select USB Port"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(twipsRect(120, 120, 3480, 1080));

    cmbComm = new QComboBox(Frame1);
    cmbComm->setObjectName(QStringLiteral("cmbComm"));
    cmbComm->setGeometry(twipsRect(240, 480, 3000, 375));
    cmbComm->setEditable(true);
    cmbComm->setInsertPolicy(QComboBox::NoInsert); // typed text never becomes an entry
    for (int port = 1; port <= kPortCount; ++port)
        cmbComm->addItem(QStringLiteral("COM %1").arg(port));

    // Only a number with an entry is selected; otherwise the field shows its design text.
    if (m_state.CommPort >= 1 && m_state.CommPort <= kPortCount) {
        cmbComm->setCurrentIndex(m_state.CommPort - 1);
    } else {
        cmbComm->setCurrentIndex(-1);
        cmbComm->setEditText(QStringLiteral("Combo1"));
    }

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(twipsRect(1200, 1320, 1335, 435));
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &FrmComm::okClicked);
}

void FrmComm::okClicked()
{
    m_state.CommPort = static_cast<int16_t>(cmbComm->currentIndex() + 1);
    accept();
}

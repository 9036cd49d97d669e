#include "frmModificaSel.h"

#include "Controls.h"
#include "Guard.h"
#include "frmMain.h"

#include "SysUtils.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include <limits>

TfrmModificaSel* frmModificaSel = nullptr;

TfrmModificaSel::TfrmModificaSel(QWidget* parent) : QDialog(parent)
{
    frmModificaSel = this;
    setObjectName(QStringLiteral("frmModificaSel"));
    setWindowTitle(QStringLiteral("Modify selected"));
    setModal(false);

    Label1 = new QLabel(QStringLiteral("Selected item"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Edit1 = new QLineEdit(this);
    Edit1->setValidator(new TSingleLineValidator(Edit1));
    // No length limit: an entry loaded from a row file holds a whole row,
    // and OK must not cut it to the box's default 32767 characters.
    Edit1->setMaxLength(std::numeric_limits<int>::max());
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setAccessibleName(QStringLiteral("Selected item"));
    Label1->setBuddy(Edit1);
    BitBtn1 = new QPushButton(QIcon(QStringLiteral(":/corvina/pictures/selectall.png")), QStringLiteral("&OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(QIcon(QStringLiteral(":/corvina/pictures/erase.png")), QStringLiteral("&Cancel"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setAutoDefault(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Edit1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    layout->addLayout(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(320, 0)));

    ConnectHandler(BitBtn1, &QPushButton::clicked, this, &TfrmModificaSel::BitBtn1Click);
    ConnectHandler(BitBtn2, &QPushButton::clicked, this, &TfrmModificaSel::BitBtn2Click);
}

TfrmModificaSel::~TfrmModificaSel()
{
    if (frmModificaSel == this)
        frmModificaSel = nullptr;
}

void TfrmModificaSel::reject()
{
    // Esc (and the title bar's close) press the Cancel button, which closes.
    BitBtn2->click();
    QDialog::reject();
}

// OK: the entry current now (which need not be the one whose text was
// copied in, since the main window stays usable) takes the edited text in
// place: same position, same tick, no re-sorting. The text is not checked.
void TfrmModificaSel::BitBtn1Click(QObject*)
{
    TCheckListModel& items = *frmMain->CheckListBoxRisultati->Items;
    const int current = items.ItemIndex();
    if (current >= 0)
        items.SetText(current, fromQtKeeping(Edit1->text(), OriginalText));
    hide();
}

void TfrmModificaSel::BitBtn2Click(QObject*)
{
    hide();
}

#include "frmCercaParola.h"

#include "Controls.h"
#include "Guard.h"
#include "frmMain.h"

#include "SysUtils.h"

#include <QHBoxLayout>
#include <QShowEvent>
#include <QVBoxLayout>

#include <limits>

TfrmCercaParola* frmCercaParola = nullptr;

TfrmCercaParola::TfrmCercaParola(QWidget* parent) : QDialog(parent)
{
    frmCercaParola = this;
    setObjectName(QStringLiteral("frmCercaParola"));
    setWindowTitle(QStringLiteral("Word search"));
    setModal(false);

    Label1 = new QLabel(QStringLiteral("Word to search for"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    EditParola = new QLineEdit(this);
    EditParola->setValidator(new TSingleLineValidator(EditParola));
    // No length limit: a pasted word is searched for whole, not cut to the
    // box's default 32767 characters.
    EditParola->setMaxLength(std::numeric_limits<int>::max());
    EditParola->setObjectName(QStringLiteral("EditParola"));
    EditParola->setAccessibleName(QStringLiteral("Word to search for"));
    Label1->setBuddy(EditParola);
    CheckBoxSiti = new QCheckBox(QStringLiteral("Search on Founded Sites"), this);
    CheckBoxSiti->setObjectName(QStringLiteral("CheckBoxSiti"));
    CheckBoxRisultati = new QCheckBox(QStringLiteral("Search on Search Results"), this);
    CheckBoxRisultati->setObjectName(QStringLiteral("CheckBoxRisultati"));
    BitBtn1 = new QPushButton(QIcon(QStringLiteral(":/corvina/pictures/word.png")), QStringLiteral("&Search"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(QIcon(QStringLiteral(":/corvina/pictures/erase.png")), QStringLiteral("&Cancel"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setAutoDefault(false);
    Label2 = new QLabel(QStringLiteral("Founded words: "), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    LabelTrovati = new QLabel(QStringLiteral("0"), this);
    LabelTrovati->setObjectName(QStringLiteral("LabelTrovati"));
    LabelTrovati->setAccessibleDescription(QStringLiteral("Founded words"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(EditParola);
    layout->addWidget(CheckBoxSiti);
    layout->addWidget(CheckBoxRisultati);
    auto* count = new QHBoxLayout;
    count->addWidget(Label2);
    count->addWidget(LabelTrovati);
    count->addStretch(1);
    layout->addLayout(count);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    layout->addLayout(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(300, 0)));

    ConnectHandler(BitBtn1, &QPushButton::clicked, this, &TfrmCercaParola::BitBtn1Click);
    ConnectHandler(BitBtn2, &QPushButton::clicked, this, &TfrmCercaParola::BitBtn2Click);
}

TfrmCercaParola::~TfrmCercaParola()
{
    if (frmCercaParola == this)
        frmCercaParola = nullptr;
}

void TfrmCercaParola::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // A showing of the dialog, not the window system's restore of a
    // minimised dialog (a spontaneous show), which keeps the last count.
    if (!event->spontaneous())
        RunGuarded(this, [this] { FormShow(this); });
}

void TfrmCercaParola::FormShow(QObject*)
{
    LabelTrovati->setText(QStringLiteral("0"));
}

namespace {

// Ticks every entry that holds the word (case-sensitive, anywhere in the
// text) and returns how many it ticked. An empty word matches nothing. Ticks
// are only ever added: entries that do not match keep theirs.
int tickMatches(TCheckListModel& items, const std::string& word)
{
    if (word.empty())
        return 0;
    int found = 0;
    const int n = items.Count();
    for (int i = 0; i < n; ++i)
        if (items.Text(i).find(word) != std::string::npos) {
            items.SetChecked(i, true);
            ++found;
        }
    return found;
}

} // namespace

// Search: the count is the total over the lists searched; the dialog stays
// open.
void TfrmCercaParola::BitBtn1Click(QObject*)
{
    const std::string word = fromQt(EditParola->text());
    int found = 0;
    if (CheckBoxSiti->isChecked())
        found += tickMatches(*frmMain->CheckListBoxTrovati->Items, word);
    if (CheckBoxRisultati->isChecked())
        found += tickMatches(*frmMain->CheckListBoxRisultati->Items, word);
    LabelTrovati->setText(QString::number(found));
}

void TfrmCercaParola::BitBtn2Click(QObject*)
{
    hide();
}

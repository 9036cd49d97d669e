#include "frmAbout.h"

#include "CorvinaInfo.h"
#include "Desktop.h"
#include "Guard.h"
#include "SysUtils.h"

#include <QLoggingCategory>
#include <QMouseEvent>

TfrmAbout* frmAbout = nullptr;

const std::string kBannerCreditLine = "by the Corvina Team";
const std::string kBannerEmailLine(kMakerEmail);
const std::string kMakerGreeting = "Hello Corvina Team, I use Corvina!";

namespace {

Q_LOGGING_CATEGORY(lcAbout, "corvina.app", QtWarningMsg)

void colours(QWidget* w, const QColor& text, const QColor& back)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, text);
    pal.setColor(QPalette::Text, text);
    pal.setColor(QPalette::Window, back);
    pal.setColor(QPalette::Base, back);
    w->setPalette(pal);
}

} // namespace

TfrmAbout::TfrmAbout(QWidget* parent) : QDialog(parent)
{
    frmAbout = this;
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("Corvina Info"));
    setModal(false);
    setFixedSize(332, 210);
    colours(this, Qt::white, Qt::black);
    setAutoFillBackground(true);

    titolo = new QLabel(QStringLiteral("Corvina"), this);
    titolo->setObjectName(QStringLiteral("titolo"));
    colours(titolo, Qt::white, Qt::black);
    QFont big = titolo->font();
    big.setBold(true);
    big.setPointSize(big.pointSize() + 10);
    titolo->setFont(big);
    titolo->setGeometry(12, 6, 200, 40);

    Label1 = new QLabel(QStringLiteral("Corvina is a simple and useful 32-bit program for Windows 9x - ME.\n"
                                       "With Corvina it's possible to find email addresses present on web pages "
                                       "which contains key words of your interest!"),
                        this);
    Label1->setObjectName(QStringLiteral("Label1"));
    colours(Label1, Qt::white, Qt::black);
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QFont small = Label1->font();
    small.setPointSizeF(small.pointSizeF() * 0.8);
    Label1->setFont(small);
    Label1->setGeometry(12, 76, 212, 79);

    BannerText = kBannerCreditLine;
    anim = new QLineEdit(toQt(BannerText), this);
    anim->setObjectName(QStringLiteral("anim"));
    anim->setReadOnly(true);
    anim->setFrame(false);
    anim->setFocusPolicy(Qt::NoFocus);
    anim->setCursor(Qt::PointingHandCursor);
    anim->setToolTip(QStringLiteral("Click to send me an Email"));
    anim->setAccessibleName(QStringLiteral("Click to send me an Email"));
    colours(anim, QColor(0, 255, 0), Qt::black);
    anim->setGeometry(BannerLeft, 50, 137, 19);
    anim->installEventFilter(this);

    // A plain black box (nothing for a screen reader to announce).
    Edit1 = new QFrame(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setFrameShape(QFrame::NoFrame);
    colours(Edit1, Qt::black, Qt::black);
    Edit1->setAutoFillBackground(true);
    Edit1->setGeometry(234, 48, 95, 19);
    Edit1->raise();  // the banner slides out from under it

    // Looks like a link; it is a flat button so that the keyboard and
    // assistive tools can follow it too.
    Label2 = new QPushButton(QStringLiteral("Corvina on the Web..."), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setFlat(true);
    Label2->setAutoDefault(false);
    Label2->setStyleSheet(QStringLiteral("QPushButton { color: rgb(64,128,255); text-decoration: underline; "
                                         "border: none; background: black; text-align: left; padding: 0; }"));
    Label2->setCursor(Qt::PointingHandCursor);
    Label2->setToolTip(QStringLiteral("Click here to visit Corvina Site"));
    Label2->setAccessibleDescription(QStringLiteral("Click here to visit Corvina Site"));
    Label2->setGeometry(12, 176, 160, 20);
    ConnectHandler(Label2, &QPushButton::clicked, this, &TfrmAbout::Label2Click);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    OKButton->setGeometry(246, 172, 75, 27);
    ConnectHandler(OKButton, &QPushButton::clicked, this, &TfrmAbout::OKButtonClick);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(10);
    ConnectHandler(Timer1, &QTimer::timeout, this, &TfrmAbout::Timer1Timer);
    Timer1->start();
}

TfrmAbout::~TfrmAbout()
{
    if (frmAbout == this)
        frmAbout = nullptr;
}

void TfrmAbout::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    showBanner();
    RunGuarded(this, [this] { FormShow(this); });
}

void TfrmAbout::showBanner()
{
    if (!isVisible())
        return;
    if (anim->x() != BannerLeft)
        anim->move(BannerLeft, anim->y());
    const QString text = toQt(BannerText);
    if (anim->text() != text)
        anim->setText(text);
}

bool TfrmAbout::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == anim && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        RunGuarded(anim, [this] { animClick(anim); });
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmAbout::FormShow(QObject*)
{
    OKButton->setFocus();
}

void TfrmAbout::OKButtonClick(QObject*)
{
    hide();
}

void TfrmAbout::Timer1Timer(QObject*)
{
    if (BannerLeft >= 84) {
        BannerLeft -= 2;
    } else {
        Timer1->setInterval(3000);
        if (Counter % 2 != 0) {
            BannerText = kBannerEmailLine;
            ++Counter;
        } else {
            BannerText = kBannerCreditLine;
            --Counter;
        }
    }
    showBanner();
}

void TfrmAbout::animClick(QObject*)
{
    OpenLinkOrTell("mailto:" + std::string(kMakerEmail) + "?Subject=Utente di Corvina" + "&Body=" + kMakerGreeting, this,
                   "Corvina Info", lcAbout());
}

void TfrmAbout::Label2Click(QObject*)
{
    OpenLinkOrTell(std::string(kMakerHomePage), this, "Corvina Info", lcAbout());
}

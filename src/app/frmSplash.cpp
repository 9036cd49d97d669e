#include "frmSplash.h"

#include "Guard.h"

#include <QGuiApplication>
#include <QScreen>

TfrmSplash* frmSplash = nullptr;

TfrmSplash::TfrmSplash(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    frmSplash = this;
    setObjectName(QStringLiteral("frmSplash"));
    setWindowTitle(QStringLiteral("Corvina"));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(QPixmap(QStringLiteral(":/corvina/pictures/splash.png")));
    Image1->setGeometry(0, 0, 409, 208);
    Image1->setAccessibleName(QStringLiteral("Corvina"));
    setFixedSize(409, 208);

    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    RunGuarded(this, [this] { FormCreate(this); });
}

TfrmSplash::~TfrmSplash()
{
    if (frmSplash == this)
        frmSplash = nullptr;
}

void TfrmSplash::FormCreate(QObject*)
{
    // The picture covers the whole window: no background of its own.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
}

// The about box, its banner and links, and the splash window.
#include "AppFixture.h"

#include "AccessibilityEvents.h"
#include "CorvinaInfo.h"

#include <QAccessible>
#include <QApplication>
#include <QMouseEvent>

namespace {

using About = AppFixture;

void click(QWidget* w)
{
    const QPointF at(w->width() / 2.0, w->height() / 2.0);
    QMouseEvent down(QEvent::MouseButtonPress, at, w->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &down);
    QMouseEvent up(QEvent::MouseButtonRelease, at, w->mapToGlobal(at), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &up);
}

} // namespace

TEST_F(About, LooksAsDescribed)
{
    EXPECT_EQ(frmAbout->windowTitle(), "Corvina Info");
    EXPECT_EQ(frmAbout->size(), QSize(332, 210));
    EXPECT_EQ(frmAbout->titolo->text(), "Corvina");
    EXPECT_TRUE(frmAbout->Label1->text().startsWith(
        "Corvina is a simple and useful 32-bit program for Windows 9x - ME.\nWith Corvina it's possible"));
    EXPECT_EQ(frmAbout->anim->geometry(), QRect(224, 50, 137, 19));
    EXPECT_EQ(frmAbout->anim->toolTip(), "Click to send me an Email");
    EXPECT_EQ(frmAbout->anim->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_TRUE(frmAbout->anim->isReadOnly());
    EXPECT_EQ(frmAbout->anim->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(fromQt(frmAbout->anim->text()), kBannerCreditLine);
    EXPECT_EQ(frmAbout->Edit1->geometry(), QRect(234, 48, 95, 19));
    EXPECT_EQ(frmAbout->Label2->toolTip(), "Click here to visit Corvina Site");
    EXPECT_EQ(frmAbout->Label2->text(), "Corvina on the Web...");
    EXPECT_EQ(frmAbout->Label2->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_TRUE(frmAbout->OKButton->isDefault());
    EXPECT_TRUE(frmAbout->Timer1->isActive()) << "the banner runs from start-up";
    EXPECT_EQ(frmAbout->Timer1->interval(), 10);

    frmMain->InformazionisuCorvina1->trigger();
    EXPECT_TRUE(frmAbout->isVisible());
    frmAbout->OKButton->click();
    EXPECT_FALSE(frmAbout->isVisible());
    EXPECT_TRUE(frmAbout->Timer1->isActive()) << "hiding the box stops nothing";
}

TEST_F(About, BannerSlidesIn71TicksThenAlternatesEveryThreeSeconds)
{
    frmAbout->Timer1->stop();  // the test drives the ticks
    frmAbout->show();
    for (int tick = 1; tick <= 71; ++tick) {
        frmAbout->Timer1Timer(frmAbout->Timer1);
        ASSERT_EQ(frmAbout->anim->x(), 224 - 2 * tick);
        ASSERT_EQ(frmAbout->Timer1->interval(), 10);
        ASSERT_EQ(fromQt(frmAbout->anim->text()), kBannerCreditLine);
    }
    EXPECT_EQ(frmAbout->anim->x(), 82);
    const std::vector<std::string> expected{kBannerEmailLine, kBannerCreditLine, kBannerEmailLine, kBannerCreditLine};
    for (const auto& line : expected) {
        frmAbout->Timer1Timer(frmAbout->Timer1);
        EXPECT_EQ(fromQt(frmAbout->anim->text()), line);
        EXPECT_EQ(frmAbout->Timer1->interval(), 3000);
        EXPECT_EQ(frmAbout->anim->x(), 82);
    }
}

TEST_F(About, LinksGoToTheDesktopHandler)
{
    frmAbout->show();
    click(frmAbout->anim);
    click(frmAbout->Label2);
    ASSERT_EQ(desk.Links.Opened.size(), 2u);
    EXPECT_EQ(desk.Links.Opened[0],
              "mailto:" + std::string(kMakerEmail) + "?Subject=Utente di Corvina&Body=" + kMakerGreeting);
    EXPECT_EQ(desk.Links.Opened[1], kMakerHomePage);
    EXPECT_TRUE(desk.Messages.Calls.empty());

    // No mail program and no browser: each click says what was not opened.
    desk.Links.Opens = false;
    click(frmAbout->anim);
    click(frmAbout->Label2);
    ASSERT_EQ(desk.Messages.Calls.size(), 2u);
    EXPECT_EQ(desk.Messages.Calls[0].Text, "No mail program was found to write the message to " +
                                               std::string(kMakerEmail) + ".");
    EXPECT_EQ(desk.Messages.Calls[1].Text, "No web browser was found to open " + std::string(kMakerHomePage) + ".");
    EXPECT_EQ(desk.Messages.Calls[1].Caption, "Corvina Info");
}


TEST_F(About, AHiddenBoxKeepsTheBannerRunningWithoutTouchingIt)
{
    frmAbout->Timer1->stop();
    {
        AccessibilityEvents events;
        ASSERT_TRUE(events.active());
        for (int tick = 0; tick < 71 + 5; ++tick)
            frmAbout->Timer1Timer(frmAbout->Timer1);
        EXPECT_TRUE(events.about(frmAbout->anim).empty())
            << events.about(frmAbout->anim).size() << " events from a hidden banner";
    }
    EXPECT_EQ(frmAbout->anim->x(), 224) << "the hidden banner is not moved";
    EXPECT_EQ(frmAbout->BannerLeft, 82);
    EXPECT_EQ(frmAbout->BannerText, kBannerEmailLine) << "five switches after the slide: the e-mail line";

    // Shown, the banner stands where its state says at once.
    frmAbout->show();
    EXPECT_EQ(frmAbout->anim->x(), 82);
    EXPECT_EQ(fromQt(frmAbout->anim->text()), kBannerEmailLine);
    frmAbout->Timer1Timer(frmAbout->Timer1);
    EXPECT_EQ(fromQt(frmAbout->anim->text()), kBannerCreditLine);
}

TEST_F(About, SplashIsThePictureAlone)
{
    EXPECT_EQ(frmSplash->size(), QSize(409, 208));
    EXPECT_TRUE(frmSplash->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(frmSplash->testAttribute(Qt::WA_OpaquePaintEvent));
    ASSERT_FALSE(frmSplash->Image1->pixmap().isNull());
    EXPECT_EQ(frmSplash->Image1->pixmap().size(), QSize(409, 208));
}

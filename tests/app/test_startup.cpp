// Start-up: the splash hold and the dialogs that keep their contents.
#include "AppFixture.h"

#include <chrono>

namespace {

using Dialogs = AppFixture;

} // namespace

TEST(SplashHold, WaitsUntilTheClockPassesTheFirstReadingPlusTwo)
{
    // The clock reads 100 on the first call and advances one second every
    // third reading.
    int readings = 0;
    auto clock = [&] { return static_cast<std::time_t>(100 + readings++ / 3); };
    int naps = 0;
    HoldSplashWindow(clock, [&] { ++naps; });
    EXPECT_EQ(readings, 10);  // the 10th reading is the first to show 103
    EXPECT_EQ(naps, 8);

    // With the real clock: at least 2 seconds. The end is the fake clock's
    // business above; here only a hold that never ends is caught, with room
    // for a machine busy with other work.
    const auto start = std::chrono::steady_clock::now();
    HoldSplashWindow();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(seconds, 2.0);
    EXPECT_LT(seconds, 30.0);
}

TEST_F(Dialogs, KeepTheirContentsWhenClosedAndShownAgain)
{
    frmEmail->show();
    frmEmail->EditOggetto->setText("Subject line");
    frmEmail->Edit1->setPlainText("Body\nsecond line");
    frmEmail->close();
    frmCercaParola->show();
    frmCercaParola->EditParola->setText("corvo");
    frmCercaParola->CheckBoxRisultati->setChecked(true);
    frmCercaParola->close();
    frmModificaSel->show();
    frmModificaSel->Edit1->setText("a@b.it");
    frmModificaSel->close();
    frmOpzioni->show();
    frmOpzioni->EditDominio->setText(".it");
    frmOpzioni->PageControl1->setCurrentIndex(1);
    frmOpzioni->close();
    for (QWidget* w : std::initializer_list<QWidget*>{frmEmail, frmCercaParola, frmModificaSel, frmOpzioni}) {
        EXPECT_FALSE(w->isVisible());
        w->show();
        EXPECT_TRUE(w->isVisible());
        EXPECT_FALSE(w->isModal());
    }
    EXPECT_EQ(frmEmail->EditOggetto->text(), "Subject line");
    EXPECT_EQ(frmEmail->Edit1->toPlainText(), "Body\nsecond line");
    EXPECT_EQ(frmCercaParola->EditParola->text(), "corvo");
    EXPECT_TRUE(frmCercaParola->CheckBoxRisultati->isChecked());
    EXPECT_EQ(frmModificaSel->Edit1->text(), "a@b.it");
    EXPECT_EQ(frmOpzioni->EditDominio->text(), ".it");
    EXPECT_EQ(frmOpzioni->PageControl1->currentIndex(), 1);
}

TEST_F(Dialogs, ShellsCarryTheirControls)
{
    EXPECT_EQ(frmEmail->windowTitle(), "Send Email");
    EXPECT_EQ(frmEmail->BitBtn1->text(), "&Send !");
    EXPECT_EQ(frmEmail->BitBtn2->text(), "&Cancel");
    EXPECT_EQ(frmEmail->BitBtn3->text(), "Stop");
    EXPECT_EQ(frmEmail->BitBtn3->toolTip(), "Ferma l'invio delle Email");
    EXPECT_EQ(frmEmail->ProgUsato->text(), "ProgUsato");
    EXPECT_FALSE(frmEmail->ProgUsato->isVisibleTo(frmEmail));
    EXPECT_TRUE(frmEmail->Edit1->toPlainText().isEmpty());
    EXPECT_EQ(frmEmail->ProgressBar1->maximum(), 100);
    EXPECT_EQ(frmEmail->EditOggetto->accessibleName(), "Subject");
    EXPECT_EQ(frmEmail->Edit1->accessibleName(), "Message Text");

    EXPECT_EQ(frmCercaParola->windowTitle(), "Word search");
    EXPECT_EQ(frmCercaParola->CheckBoxSiti->text(), "Search on Founded Sites");
    EXPECT_EQ(frmCercaParola->CheckBoxRisultati->text(), "Search on Search Results");
    EXPECT_EQ(frmCercaParola->BitBtn1->text(), "&Search");
    EXPECT_TRUE(frmCercaParola->BitBtn1->isDefault());
    EXPECT_EQ(frmCercaParola->BitBtn2->text(), "&Cancel");
    EXPECT_EQ(frmCercaParola->Label2->text(), "Founded words: ");
    EXPECT_EQ(frmCercaParola->LabelTrovati->text(), "0");
    EXPECT_EQ(frmCercaParola->EditParola->accessibleName(), "Word to search for");

    EXPECT_EQ(frmModificaSel->windowTitle(), "Modify selected");
    EXPECT_EQ(frmModificaSel->Label1->text(), "Selected item");
    EXPECT_EQ(frmModificaSel->BitBtn1->text(), "&OK");
    EXPECT_TRUE(frmModificaSel->BitBtn1->isDefault());
    EXPECT_EQ(frmModificaSel->BitBtn2->text(), "&Cancel");
}

TEST_F(Dialogs, AStartUpErrorIsShownWithTheSplashOutOfTheWay)
{
    // Records whether the splash, which stays on top, could cover the box.
    struct Boxes : IMessageBoxes {
        std::vector<std::pair<std::string, bool>> Shown;  // text, splash visible
        std::string Caption;
        TMsgIcon Icon = TMsgIcon::None;
        TModalResult Show(QWidget*, const std::string& text, const std::string& caption, TMsgButtons,
                          TMsgIcon icon) override
        {
            Shown.emplace_back(text, frmSplash && frmSplash->isVisible());
            Caption = caption;
            Icon = icon;
            return TModalResult::mrOk;
        }
    } boxes;
    SetMessageBoxes(&boxes);
    frmSplash->show();
    ShowStartupError("Cannot create the window");
    SetMessageBoxes(&desk.Messages);
    ASSERT_EQ(boxes.Shown.size(), 1u);
    EXPECT_EQ(boxes.Shown[0].first, "Cannot create the window");
    EXPECT_FALSE(boxes.Shown[0].second) << "the splash covers the error box";
    EXPECT_EQ(boxes.Caption, "Corvina");
    EXPECT_EQ(boxes.Icon, TMsgIcon::Error);
}

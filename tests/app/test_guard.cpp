// Errors that escape a handler end the action silently; the program goes on.
#include "AppFixture.h"

#include "Guard.h"

#include <QApplication>
#include <QTimer>

namespace {

using Guard = AppFixture;

} // namespace

TEST_F(Guard, AnErrorInAHandlerShowsNothingAndTheProgramGoesOn)
{
    // A button whose handler raises midway: what it did before stays done.
    QPushButton* b = frmMain->cmdNuovaRic;
    int after = 0;
    ConnectGuarded(b, &QPushButton::clicked, b, [&] {
        frmMain->LabelTotPag->setText("7");
        StrToInt("not a number");
        ++after;
    });
    EXPECT_NO_THROW(b->click());
    EXPECT_EQ(frmMain->LabelTotPag->text(), "7");
    EXPECT_EQ(after, 0);

    // A menu item and a timer whose handlers raise other kinds of errors.
    ConnectGuarded(frmMain->Searchword1, &QAction::triggered, frmMain, [] { throw std::runtime_error("boom"); });
    EXPECT_NO_THROW(frmMain->Searchword1->trigger());
    bool fired = false;
    QTimer timer;
    ConnectGuarded(&timer, &QTimer::timeout, &timer, [&] {
        fired = true;
        throw 42;
    });
    timer.setSingleShot(true);
    timer.start(0);
    EXPECT_TRUE(testutil::waitUntil([&] { return fired; }));

    EXPECT_TRUE(desk.Messages.Calls.empty());
    EXPECT_TRUE(frmMain->isVisible());
    // The program still answers: the Options dialog opens.
    frmMain->OpzionidiSalvataggio1->trigger();
    EXPECT_TRUE(frmOpzioni->isVisible());
}

TEST_F(Guard, EscapedErrorsReachTheInstalledHandler)
{
    std::vector<std::string> seen;
    QObject* from = nullptr;
    SetEscapedErrorHandler([&](QObject* s, const std::exception& e) {
        from = s;
        seen.push_back(e.what());
    });
    ConnectGuarded(frmMain->BitBtn2, &QPushButton::clicked, frmMain, [] { throw EConvertError("bad"); });
    frmMain->BitBtn2->click();
    EXPECT_EQ(from, frmMain->BitBtn2);
    RunGuarded(nullptr, [] { throw 1; });
    EXPECT_EQ(seen, (std::vector<std::string>{"bad", "Unknown exception"}));
    // Without a handler the error is dropped all the same.
    SetEscapedErrorHandler({});
    EXPECT_NO_THROW(RunGuarded(nullptr, [] { throw Exception("x"); }));
    EXPECT_EQ(seen.size(), 2u);
}

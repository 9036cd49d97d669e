// A test fixture with the program's seven windows, created in start-up order
// (without the splash hold) before each test and destroyed after it, so no
// test sees another's state. The program directory is a fresh temporary
// folder, the user's configuration folder (where user.dat and corvina.conf
// live) is another one, and the desktop is the recording fake.
#pragma once

#include "FakeDesktop.h"
#include "TestUtil.h"

#include "SysUtils.h"

#include "Startup.h"
#include "frmAbout.h"
#include "frmMain.h"
#include "frmOpzioni.h"
#include "frmSplash.h"
#include "frmCercaParola.h"
#include "frmModificaSel.h"
#include "frmEmail.h"

#include <QApplication>
#include <QByteArray>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

class AppFixture : public ::testing::Test {
protected:
    // Runs before the windows are created: write user.dat here, say.
    virtual void BeforeStartup() {}

    void SetUp() override
    {
        oldConfig_ = qgetenv("XDG_CONFIG_HOME");
        hadConfig_ = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config.path()));
        // The main window's HTTP client follows http_proxy: the tests start
        // without one, whatever the machine's environment says.
        oldProxy_ = qgetenv("http_proxy");
        hadProxy_ = qEnvironmentVariableIsSet("http_proxy");
        qunsetenv("http_proxy");
        BeforeStartup();
        StartWindows();
    }

    void TearDown() override
    {
        StopWindows();
        if (hadConfig_)
            qputenv("XDG_CONFIG_HOME", oldConfig_);
        else
            qunsetenv("XDG_CONFIG_HOME");
        if (hadProxy_)
            qputenv("http_proxy", oldProxy_);
        else
            qunsetenv("http_proxy");
    }

    // Creates the seven windows (again), as a restart of the program would.
    void StartWindows()
    {
        TStartupOptions options;
        options.HoldSplash = false;
        options.ProgramFile = ProgramFile();
        CreateApplicationWindows(options);
    }

    void StopWindows()
    {
        DestroyApplicationWindows();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QApplication::processEvents();
    }

    void RestartWindows()
    {
        StopWindows();
        StartWindows();
    }

    virtual std::string ProgramFile() const { return programDir.path() + "/corvina"; }
    // user.dat in the user's configuration folder.
    std::string UserDat() const { return config.path() + "/Corvina/user.dat"; }
    // Where an older build kept user.dat: beside the program.
    std::string OldUserDat() const { return programDir.file("user.dat"); }
    // Writes the configuration folder's user.dat (making the folder).
    void WriteUserDat(const std::string& bytes) const
    {
        std::filesystem::create_directories(config.path() + "/Corvina");
        testutil::writeFile(UserDat(), bytes);
    }

    testutil::TempDir programDir;
    testutil::TempDir config;
    FakeDesktop desk;

private:
    QByteArray oldConfig_;
    bool hadConfig_ = false;
    QByteArray oldProxy_;
    bool hadProxy_ = false;
};

// Visit Web Page, Online Help and the update check of the main window.
#include "frmMainPeriphery.h"

#include "CorvinaInfo.h"
#include "Desktop.h"
#include "SysUtils.h"
#include "frmHelp.h"
#include "frmLog.h"
#include "frmMain.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QUrl>

namespace {
Q_LOGGING_CATEGORY(lcPeriphery, "corvina.app", QtWarningMsg)
} // namespace

bool IsWebAddress(const std::string& address)
{
    const auto startsWith = [&address](const char* scheme) {
        const std::string s(scheme);
        return address.size() > s.size() && SameText(address.substr(0, s.size()), s);
    };
    return startsWith("http://") || startsWith("https://");
}

float UpdateVersionOf(const std::string& body)
{
    // The file is often saved with a line end after the number.
    const QString text = toQt(body).trimmed();
    bool ok = false;
    float value = text.isEmpty() ? 0.0f : QLocale().toFloat(text, &ok);
    if (!ok && !text.isEmpty())
        value = QLocale::c().toFloat(text, &ok);
    if (!ok)
        throw EConvertError("'" + body + "' is not a valid floating point value");
    return value;
}

std::string HelpPageAddress(const std::string& programDir)
{
    const QString relative = QString::fromUtf8(kHelpPageRelative.data(), static_cast<qsizetype>(kHelpPageRelative.size()));
    QStringList candidates;
    // Installed under a prefix: <prefix>/bin/corvina and <prefix>/share/...
    if (!programDir.empty())
        candidates << FileNameToQt(programDir) + QStringLiteral("../") + relative;
    const QString shareRelative = relative.startsWith(QStringLiteral("share/")) ? relative.mid(6) : relative;
    for (const QString& dir : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        candidates << dir + QLatin1Char('/') + shareRelative;
    for (const QString& path : candidates) {
        const QFileInfo page(path);
        if (page.isFile())
            return fromQt(QUrl::fromLocalFile(QDir::cleanPath(page.absoluteFilePath())).toString(QUrl::FullyEncoded));
    }
    qCDebug(lcPeriphery) << "no installed help page; opening the help page on the web";
    return std::string(kOnlineHelpPage);
}

// Opens the current Found Sites entry in the browser, when it is a web
// address; any other entry (a local path, another scheme) is left alone.
void TfrmMain::VisitaPaginaWeb1Click(QObject*)
{
    TCheckListModel& items = *CheckListBoxTrovati->Items;
    const int current = items.ItemIndex();
    if (current < 0)
        return;
    const std::string& address = items.Text(current);
    if (!IsWebAddress(address)) {
        qCDebug(lcPeriphery) << "Visit Web Page: not a web address, not opened:" << toQt(address);
        return;
    }
    OpenLinkOrTell(address, this, "Corvina", lcPeriphery());
}

// Opens the help page in the desktop's browser; with none, offers the
// installed page in the program's own viewer.
void TfrmMain::HelpinLinea1Click(QObject*)
{
    const std::string address = HelpPageAddress(ProgramDir);
    if (OpenLink(address, this))
        return;
    const std::string text = NoLinkHandlerText(address);
    qCInfo(lcPeriphery, "%s", text.c_str());
    const QUrl page(toQt(address));
    if (!page.isLocalFile()) {
        // Only the page on the web, which the viewer cannot fetch.
        MessageBox(text, "Corvina Help", TMsgButtons::OK, this, TMsgIcon::Warning);
        return;
    }
    if (MessageBox(text + "\n\nShow the help page in Corvina's own viewer?", "Corvina Help", TMsgButtons::YesNo, this,
                   TMsgIcon::Question) != TModalResult::mrYes)
        return;
    if (!helpWindow_)
        helpWindow_ = new TfrmHelp(this);
    if (!helpWindow_->Load(page.toLocalFile())) {
        qCInfo(lcPeriphery, "help page %s could not be read", address.c_str());
        return;
    }
    helpWindow_->show();
    helpWindow_->raise();
    helpWindow_->activateWindow();
}

// Fetches the update file through the program's HTTP client and compares its
// number with this version. A failed request or a body that is not a number
// ends the check silently (through the window's error handler).
void TfrmMain::ControllapresenzadiAggiornamenti1Click(QObject*)
{
    auto hold = TNetworkBusy::TryHold("Check for Updates");
    if (!hold)
        return;
    bool updates = false;
    try {
        NMHTTP->Get(std::string(kUpdateFileAddress));
        const std::string body = NMHTTP->Body;
        updates = !body.empty() && UpdateVersionOf(body) > kProgramVersion;
    } catch (const std::exception& e) {
        // No message box, as before; the run's log and the status bar say it.
        qCInfo(lcPeriphery, "update check from %s failed: %s", std::string(kUpdateFileAddress).c_str(), e.what());
        throw;
    }
    if (updates) {
        if (MessageBox("There are Updates! Do you want to go to the Web Site?", "Corvina Update", TMsgButtons::YesNo,
                       this, TMsgIcon::Question) == TModalResult::mrYes)
            OpenLinkOrTell(std::string(kMakerHomePage), this, "Corvina Update", lcPeriphery());
    } else {
        MessageBox("There are no Updates!", "Corvina Update", TMsgButtons::OK, this, TMsgIcon::Information);
    }
}

void TfrmMain::ShowLog1Click(QObject*)
{
    if (!logWindow_)
        logWindow_ = new TfrmLog(this);
    logWindow_->Reload();
    logWindow_->show();
    logWindow_->raise();
    logWindow_->activateWindow();
}

void TfrmMain::logEntry(const TRunLog::Entry& entry)
{
    LabelUltimoErrore->setText(toQt(entry.Text));
    LabelUltimoErrore->setToolTip(toQt(TRunLog::Format(entry)));
    if (logWindow_ && logWindow_->isVisible())
        logWindow_->Append(entry);
}

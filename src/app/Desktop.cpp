#include "Desktop.h"

#include "SysUtils.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QString>
#include <QUrl>

#include <algorithm>

namespace {

class TQtMessageBoxes : public IMessageBoxes {
public:
    TModalResult Show(QWidget* owner, const std::string& text, const std::string& caption, TMsgButtons buttons,
                      TMsgIcon icon) override
    {
        QMessageBox box(owner);
        box.setWindowTitle(toQt(caption));
        box.setText(toQt(text));
        switch (icon) {
        case TMsgIcon::None: box.setIcon(QMessageBox::NoIcon); break;
        case TMsgIcon::Information: box.setIcon(QMessageBox::Information); break;
        case TMsgIcon::Warning: box.setIcon(QMessageBox::Warning); break;
        case TMsgIcon::Error: box.setIcon(QMessageBox::Critical); break;
        case TMsgIcon::Question: box.setIcon(QMessageBox::Question); break;
        }
        if (buttons == TMsgButtons::YesNo) {
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::Yes);
        } else {
            box.setStandardButtons(QMessageBox::Ok);
        }
        switch (box.exec()) {
        case QMessageBox::Ok: return TModalResult::mrOk;
        case QMessageBox::Yes: return TModalResult::mrYes;
        case QMessageBox::No: return TModalResult::mrNo;
        default: return buttons == TMsgButtons::YesNo ? TModalResult::mrNo : TModalResult::mrOk;
        }
    }
};

class TQtFileDialogs : public IFileDialogs {
public:
    bool Execute(QWidget* owner, TFileDialogKind kind, TFileDialogParams& params) override
    {
        QFileDialog dlg(owner, toQt(params.Title), FileNameToQt(params.InitialDir));
        dlg.setAcceptMode(kind == TFileDialogKind::Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dlg.setFileMode(kind == TFileDialogKind::Save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        const QStringList filters = toQt(QtFileFilter(params.Filter)).split(QStringLiteral(";;"), Qt::SkipEmptyParts);
        if (!filters.isEmpty()) {
            dlg.setNameFilters(filters);
            const int i = params.FilterIndex >= 1 && params.FilterIndex <= filters.size() ? params.FilterIndex - 1 : 0;
            dlg.selectNameFilter(filters[i]);
        }
        // TFileDialog asks about replacing a file, by the name it will write.
        dlg.setOption(QFileDialog::DontConfirmOverwrite);
        if (!params.DefaultExt.empty())
            dlg.setDefaultSuffix(toQt(params.DefaultExt));
        if (!params.FileName.empty())
            dlg.selectFile(FileNameToQt(params.FileName));
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
            return false;
        // The name as the file system holds it, for TFileStream.
        params.FileName = FileNameFromQt(dlg.selectedFiles().first());
        const int chosen = static_cast<int>(filters.indexOf(dlg.selectedNameFilter()));
        if (chosen >= 0)
            params.FilterIndex = chosen + 1;
        return true;
    }
};

class TQtLinkOpener : public ILinkOpener {
public:
    bool Open(QWidget*, const std::string& address) override
    {
        return QDesktopServices::openUrl(QUrl(toQt(address), QUrl::TolerantMode));
    }
};

TQtMessageBoxes realMessageBoxes;
TQtFileDialogs realFileDialogs;
TQtLinkOpener realLinkOpener;

IMessageBoxes* currentMessageBoxes = &realMessageBoxes;
IFileDialogs* currentFileDialogs = &realFileDialogs;
ILinkOpener* currentLinkOpener = &realLinkOpener;

} // namespace

IMessageBoxes& MessageBoxes() { return *currentMessageBoxes; }
void SetMessageBoxes(IMessageBoxes* boxes) { currentMessageBoxes = boxes ? boxes : &realMessageBoxes; }

TModalResult MessageBox(const std::string& text, const std::string& caption, TMsgButtons buttons, QWidget* owner,
                        TMsgIcon icon)
{
    return MessageBoxes().Show(owner, text, caption, buttons, icon);
}

IFileDialogs& FileDialogs() { return *currentFileDialogs; }
void SetFileDialogs(IFileDialogs* dialogs) { currentFileDialogs = dialogs ? dialogs : &realFileDialogs; }

ILinkOpener& LinkOpener() { return *currentLinkOpener; }
void SetLinkOpener(ILinkOpener* opener) { currentLinkOpener = opener ? opener : &realLinkOpener; }

std::string NoLinkHandlerText(const std::string& address)
{
    if (address.size() < 7 || !SameText(address.substr(0, 7), "mailto:"))
        return "No web browser was found to open " + address + ".";
    // The recipients: up to the "?", one ";" after each.
    const size_t query = address.find('?');
    const std::string to = address.substr(7, query == std::string::npos ? std::string::npos : query - 7);
    std::vector<std::string> recipients;
    for (size_t at = 0; at < to.size();) {
        const size_t end = std::min(to.find(';', at), to.size());
        if (end > at)
            recipients.push_back(fromQt(QUrl::fromPercentEncoding(QByteArray::fromStdString(to.substr(at, end - at)))));
        at = end + 1;
    }
    std::string text = "No mail program was found to write the message";
    if (!recipients.empty()) {
        text += " to " + recipients[0];
        if (recipients.size() == 2)
            text += " and 1 other";
        else if (recipients.size() > 2)
            text += " and " + std::to_string(recipients.size() - 1) + " others";
    }
    return text + ".";
}

bool OpenLinkOrTell(const std::string& address, QWidget* owner, const std::string& caption,
                    const QLoggingCategory& category)
{
    if (OpenLink(address, owner))
        return true;
    const std::string text = NoLinkHandlerText(address);
    qCInfo(category, "%s", text.c_str());
    MessageBox(text, caption, TMsgButtons::OK, owner, TMsgIcon::Warning);
    return false;
}

bool TFileDialog::Execute(const TFileNameAdjustment& adjust)
{
    for (;;) {
        if (!FileDialogs().Execute(Owner, Kind, *this))
            return false;
        if (Kind != TFileDialogKind::Save)
            return true;
        const QFileInfo target(FileNameToQt(adjust ? adjust(FileName) : FileName));
        // A folder is not replaced (the write fails as it would anyway).
        if (!target.exists() || target.isDir())
            return true;
        if (MessageBox(fromQt(target.fileName()) + " already exists.\nDo you want to replace it?", "Confirm Save As",
                       TMsgButtons::YesNo, Owner, TMsgIcon::Warning) == TModalResult::mrYes)
            return true;
    }
}

std::string QtFileFilter(const std::string& filter)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t bar = filter.find('|', start);
        parts.push_back(filter.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos)
            break;
        start = bar + 1;
    }
    std::string out;
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        const std::string& desc = parts[i];
        std::string pattern = parts[i + 1];
        for (auto& c : pattern)
            if (c == ';')
                c = ' ';
        if (!out.empty())
            out += ";;";
        // Qt reads the patterns from the last parentheses of the entry.
        if (desc.find("(" + pattern + ")") != std::string::npos)
            out += desc;
        else
            out += desc + " (" + pattern + ")";
    }
    return out;
}

#include "frmLog.h"

#include "Controls.h"
#include "SysUtils.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const char* const kNothing = "No failures in this run.";
}

TfrmLog::TfrmLog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmLog"));
    setWindowTitle(QStringLiteral("Corvina Log"));
    resize(720, 360);

    auto* caption = new QLabel(QStringLiteral("&Failures in this run:"), this);
    LogText = new QPlainTextEdit(this);
    LogText->setObjectName(QStringLiteral("LogText"));
    LogText->setReadOnly(true);
    LogText->setLineWrapMode(QPlainTextEdit::NoWrap);
    LogText->setAccessibleName(QStringLiteral("Failures in this run"));
    caption->setBuddy(LogText);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(caption);
    layout->addWidget(LogText, 1);
    cmdChiudi = AddCloseRow(this, layout);
    Reload();
}

void TfrmLog::Reload()
{
    const auto entries = TRunLog::Entries();
    empty_ = entries.empty();
    if (empty_) {
        LogText->setPlainText(QString::fromLatin1(kNothing));
        return;
    }
    QString text;
    for (const auto& e : entries) {
        text += toQt(TRunLog::Format(e));
        text += QLatin1Char('\n');
    }
    LogText->setPlainText(text);
    LogText->moveCursor(QTextCursor::End);
}

void TfrmLog::Append(const TRunLog::Entry& entry)
{
    if (empty_) {
        LogText->clear();
        empty_ = false;
    }
    LogText->appendPlainText(toQt(TRunLog::Format(entry)));
}

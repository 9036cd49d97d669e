#include "frmHelp.h"

#include "Controls.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

TfrmHelp::TfrmHelp(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmHelp"));
    setWindowTitle(QStringLiteral("Corvina Help"));
    resize(640, 520);

    TextBrowser1 = new QTextBrowser(this);
    TextBrowser1->setObjectName(QStringLiteral("TextBrowser1"));
    TextBrowser1->setAccessibleName(QStringLiteral("Corvina Help"));
    // Links within the page's folder open here; others go to the desktop.
    TextBrowser1->setOpenExternalLinks(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(TextBrowser1, 1);
    cmdChiudi = AddCloseRow(this, layout);
}

bool TfrmHelp::Load(const QString& file)
{
    const QFileInfo page(file);
    if (!page.isFile() || !page.isReadable())
        return false;
    TextBrowser1->setSource(QUrl::fromLocalFile(page.absoluteFilePath()), QTextDocument::HtmlResource);
    return true;
}

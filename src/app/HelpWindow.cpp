#include "HelpWindow.h"

#include "MessageBoxes.h"
#include "Utilities.h"
#include "records.h"

#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

HelpWindow::HelpWindow(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("HelpForm"));
    setWindowTitle(QStringLiteral("Hollyfrost Games Help"));
    resize(520, 440);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    Browser = new QTextBrowser(this);
    Browser->setAccessibleName(QStringLiteral("Help"));
    Browser->setOpenExternalLinks(false);
    layout->addWidget(Browser);
}

QString HelpFilePath()
{
    // The pages of the player's language, chosen by the suffix that chooses the phrase
    // table (help\index-fr.html for -fr); the English pages where that language has none.
    const QString suffix = Records::Options.LanguageSuffix;
    if (suffix.startsWith(u'-')) {
        const QString translated = ProgramFolder() + QStringLiteral("help\\index") + suffix + QStringLiteral(".html");
        if (FileExists(translated))
            return translated;
    }
    return ProgramFolder() + QStringLiteral("help\\index.html");
}

bool HelpPagesFound()
{
    if (FileExists(HelpFilePath()))
        return true;
    MessageBeep(BeepKind::Error);
    ShowMessageBox(BoxKind::Error, QStringLiteral("The help pages are missing from the game's folder."));
    return false;
}

void HelpWindow::ShowTopic(const QString &anchor)
{
    QUrl url = QUrl::fromLocalFile(NativePath(HelpFilePath()));
    url.setFragment(anchor);
    Browser->setSource(url);
    Browser->scrollToAnchor(anchor);
    show();
    raise();
    activateWindow();
}

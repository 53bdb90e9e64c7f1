#include "HelpWindow.h"

#include "MainWindow.h"
#include "MessageBoxes.h"
#include "Utilities.h"

#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

HelpWindow *TheHelpWindow = nullptr;

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
    TheHelpWindow = this;
}

HelpWindow::~HelpWindow()
{
    if (TheHelpWindow == this)
        TheHelpWindow = nullptr;
}

QString HelpFilePath()
{
    return ProgramFolder() + QStringLiteral("help\\index.html");
}

void ShowHelpTopic(const QString &anchor)
{
    const QString path = HelpFilePath();
    if (!FileExists(path)) {
        MessageBeep(BeepKind::Error);
        ShowMessageBox(BoxKind::Error, QStringLiteral("The help pages are missing from the game's folder."));
        return;
    }
    if (!TheHelpWindow)
        new HelpWindow(TheMainWindow);
    QUrl url = QUrl::fromLocalFile(NativePath(path));
    url.setFragment(anchor);
    TheHelpWindow->Browser->setSource(url);
    TheHelpWindow->Browser->scrollToAnchor(anchor);
    TheHelpWindow->show();
    TheHelpWindow->raise();
    TheHelpWindow->activateWindow();
}

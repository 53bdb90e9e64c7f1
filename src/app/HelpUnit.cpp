#include "HelpUnit.h"

#include "MainUnit.h"
#include "MessageBoxes.h"
#include "Utilities.h"

#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

THelpForm *HelpForm = nullptr;

THelpForm::THelpForm(QWidget *parent)
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
    HelpForm = this;
}

THelpForm::~THelpForm()
{
    if (HelpForm == this)
        HelpForm = nullptr;
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
    if (!HelpForm)
        new THelpForm(MainForm);
    QUrl url = QUrl::fromLocalFile(NativePath(path));
    url.setFragment(anchor);
    HelpForm->Browser->setSource(url);
    HelpForm->Browser->scrollToAnchor(anchor);
    HelpForm->show();
    HelpForm->raise();
    HelpForm->activateWindow();
}

// The help window: the game's own HTML help pages, opened at a topic anchor.
#pragma once

#include <QString>
#include <QWidget>

class QTextBrowser;

class HelpWindow : public QWidget
{
    Q_OBJECT
public:
    explicit HelpWindow(QWidget *parent = nullptr);
    ~HelpWindow() override;
    QTextBrowser *Browser = nullptr;
};

// The help window once it has been opened (nullptr before).
extern HelpWindow *TheHelpWindow;

// The game path of the help start page.
QString HelpFilePath();
// Opens (or brings forward) the help window at the anchor of the start page. When the
// help pages are missing the user is told so.
void ShowHelpTopic(const QString &anchor);

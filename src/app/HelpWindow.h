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
    // Shows (or brings forward) the window at the anchor of the start page.
    void ShowTopic(const QString &anchor);
    QTextBrowser *Browser = nullptr;
};

// The game path of the help start page.
QString HelpFilePath();
// Whether the help pages are in the game's folder; when they are missing the user is
// told so.
bool HelpPagesFound();

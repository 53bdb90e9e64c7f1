#include "MessageHandlers.h"

#include "DataFiles.h"
#include "GameMessages.h"
#include "MainWindow.h"
#include "MessageCodes.h"
#include "PlayRequests.h"
#include "QuestionWindow.h"
#include "RaceMessages.h"
#include "Utilities.h"

#include <QTextCursor>
#include <QTextEdit>

namespace {

// The host's text as lines of plain text: no markup is read, nothing is loaded.
void showHostText(const QString &, const QString &, const QString &payload)
{
    if (!TheMainWindow)
        return;
    TheMainWindow->InfoBox->clear();
    if (RaceRunning)
        return;
    QString fields = payload;
    QTextCursor cursor(TheMainWindow->InfoBox->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(NextField(fields));   // CR LF, CR and LF each end a line
}

} // namespace

void InstallMessageHandlers()
{
    InstallRaceMessageHandlers();
    InstallQuestionMessageHandlers();
    SetMessageHandler(MessageCode::HostText, showHostText);
    SetMessageHandler(MessageCode::PlayRequest, [](const QString &senderAddress, const QString &senderName, const QString &payload) {
        if (!RaceRunning)
            Launch(HandlePlayRequest(senderAddress, senderName, payload));
    });
    SetMessageHandler(MessageCode::Accepted, [](const QString &senderAddress, const QString &, const QString &) {
        Launch(HandleAccepted(senderAddress));
    });
    SetMessageHandler(MessageCode::Denied, [](const QString &, const QString &, const QString &payload) {
        if (!RaceRunning)
            HandleDenied(payload);
    });
}

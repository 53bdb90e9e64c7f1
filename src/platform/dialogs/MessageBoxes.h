// Beeps and application-modal message boxes. A box opens and the call returns at once
// (no nested event loop); a callback, when given, runs once the box is answered. A "\r"
// in a text is a line break. Tests install an answerer, which then receives every box
// instead of the screen and answers it at once.
#pragma once

#include "Dialogs.h"

#include <QString>
#include <functional>
#include <utility>

void MessageBeep(BeepKind kind);
void ShowMessageBox(BoxKind kind, const QString &text, std::function<void()> closed = {});

using MessageBoxAnswerer = std::function<void(BoxKind kind, const QString &text)>;
// Installs (or, with an empty function, removes) the answerer; returns the previous one.
MessageBoxAnswerer SetMessageBoxAnswerer(MessageBoxAnswerer answerer);

// An information question with Yes and No buttons: answered(true) for Yes, answered(false)
// for No or a box closed otherwise. Tests install an answerer, which then decides instead
// of the user.
void AskYesNo(const QString &text, std::function<void(bool yes)> answered);
using QuestionAnswerer = std::function<bool(const QString &text)>;
QuestionAnswerer SetQuestionAnswerer(QuestionAnswerer answerer);

// The Dialogs of the program: the boxes above, on the screen (or to the tests' answerers).
class ScreenDialogs : public Dialogs
{
public:
    void beep(BeepKind kind) override { MessageBeep(kind); }
    void show(BoxKind kind, const QString &text, std::function<void()> closed) override
    {
        ShowMessageBox(kind, text, std::move(closed));
    }
    void ask(const QString &question, std::function<void(bool yes)> answered) override
    {
        AskYesNo(question, std::move(answered));
    }
};

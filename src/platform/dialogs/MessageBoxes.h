// Beeps and modal message boxes with an OK button. A "\r" in a text is a line break.
// Tests install an answerer, which then receives every box instead of the screen.
#pragma once

#include <QString>
#include <functional>

enum class BeepKind { Default, Error, Stop };
enum class BoxKind { Error, Information };

void MessageBeep(BeepKind kind);
void ShowMessageBox(BoxKind kind, const QString &text);

using MessageBoxAnswerer = std::function<void(BoxKind kind, const QString &text)>;
// Installs (or, with an empty function, removes) the answerer; returns the previous one.
MessageBoxAnswerer SetMessageBoxAnswerer(MessageBoxAnswerer answerer);

// A modal information question with Yes and No buttons; true for Yes. Tests install an
// answerer, which then decides instead of the user.
bool AskYesNo(const QString &text);
using QuestionAnswerer = std::function<bool(const QString &text)>;
QuestionAnswerer SetQuestionAnswerer(QuestionAnswerer answerer);

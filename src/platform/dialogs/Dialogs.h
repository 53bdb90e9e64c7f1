// What the game asks of the user through dialogs: a beep, a box with an OK button, a
// Yes/No question. Each returns at once and reports the answer through its callback. The
// game's layers below the windows take a Dialogs and never see a widget; the program hands
// them ScreenDialogs (MessageBoxes.h), tests a fake.
#pragma once

#include <QString>

#include <functional>

enum class BeepKind { Default, Error, Stop };
enum class BoxKind { Error, Information };

class Dialogs
{
public:
    virtual ~Dialogs() = default;
    virtual void beep(BeepKind kind) = 0;
    // closed, when given, runs once the box is closed.
    virtual void show(BoxKind kind, const QString &text, std::function<void()> closed = {}) = 0;
    // answered(true) for Yes; false for No or a box closed otherwise.
    virtual void ask(const QString &question, std::function<void(bool yes)> answered) = 0;
};

// Dialogs that nobody sees: no beep, every box closed at once, every question answered
// No. What a program without a screen, and a test that does not care, is given.
class NoDialogs : public Dialogs
{
public:
    void beep(BeepKind) override {}
    void show(BoxKind, const QString &, std::function<void()> closed) override
    {
        if (closed)
            closed();
    }
    void ask(const QString &, std::function<void(bool)> answered) override { answered(false); }
};

// The character stage: the one place through which the game loads, shows, hides,
// moves, animates and voices its desktop characters. Characters are named by their
// identity ("Announcer", "Player0" ... "Player5"). Failures of the character platform
// never reach the callers: an operation on a missing character does nothing, and a
// position that cannot be read counts as 0.
#pragma once

#include "CharacterFiles.h"
#include "CharacterStage.h"
#include "Waits.h"

#include <QPoint>
#include <QString>
#include <QWidget>

#include <functional>
#include <utility>

namespace agent {
class AgentControl;
}

class StageWindow : public QWidget
{
    Q_OBJECT
public:
    explicit StageWindow(QWidget *parent = nullptr);
    ~StageWindow() override;

    agent::AgentControl *CharacterControl = nullptr;
    QWidget *SpeechControl = nullptr;

    void IdleStarted(const QString &identity);
    void IdleCompleted(const QString &identity);
    void CharacterClicked(const QString &identity, int button, int shift, int x, int y);

protected:
    void showEvent(QShowEvent *event) override;
};

// The stage window created at start-up (nullptr before).
extern StageWindow *TheStage;

bool LoadCharacter(int size, const QString &file, bool balloon, bool soundEffects, const QString &identity);
void UnloadCharacter(const QString &identity);
void ShowCharacter(bool fast, const QString &identity);
void HideCharacter(bool fast, const QString &identity);
void SpeakText(const QString &text, const QString &identity);
// The text as SpeakText hands it to the voice before choosing an alternative: every
// "holly", in any letter case, becomes a map tag that says "Hahlee" and shows "Holly".
QString RespelledText(const QString &text);
void StopCharacter(const QString &identity);
void MoveCharacter(int x, int y, const QString &identity, int durationMs);
void AgentrePosition(int corner, int durationMs, const QString &identity);
bool DoAction(const QString &command, const QString &identity);
Task<> WaitForAudio();
bool IsIdle();
QString PickAlternative(const QString &text);
// Whether a character is loaded under the identity.
bool CharacterLoaded(const QString &identity);
// Left and top of the character on the screen; (0, 0) when they cannot be read.
QPoint CharacterPosition(const QString &identity);

// Sees every text handed to a character's voice (after the respelling and the choice of
// an alternative); tests use it to follow what the characters say.
using SpeechObserver = std::function<void(const QString &identity, const QString &text)>;
void SetSpeechObserver(SpeechObserver observer);

// Clicks on characters go to this handler (the dexterity test installs it).
void SetCharacterClickHandler(CharacterClickHandler handler);

// The stage above as the session's CharacterStage: what main hands the game.
class AgentStage : public CharacterStage
{
public:
    bool load(int size, const QString &file, bool balloon, bool soundEffects, const QString &identity) override
    {
        return LoadCharacter(size, file, balloon, soundEffects, identity);
    }
    void unload(const QString &identity) override { UnloadCharacter(identity); }
    void show(bool fast, const QString &identity) override { ShowCharacter(fast, identity); }
    void stop(const QString &identity) override { StopCharacter(identity); }
    void move(int x, int y, const QString &identity, int durationMs) override
    {
        MoveCharacter(x, y, identity, durationMs);
    }
    bool act(const QString &command, const QString &identity) override { return DoAction(command, identity); }
    void speak(const QString &text, const QString &identity) override { SpeakText(text, identity); }
    Task<> waitForAudio() override { return WaitForAudio(); }
    bool idle() const override { return IsIdle(); }
    bool loaded(const QString &identity) const override { return CharacterLoaded(identity); }
    QPoint position(const QString &identity) const override { return CharacterPosition(identity); }
    void onClick(CharacterClickHandler handler) override { SetCharacterClickHandler(std::move(handler)); }
};

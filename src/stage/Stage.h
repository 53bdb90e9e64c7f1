// The character stage: the one place through which the game loads, shows, hides,
// moves, animates and voices its desktop characters. Characters are named by their
// identity ("Announcer", "Player0" ... "Player5"). Failures of the character platform
// never reach the callers: an operation on a missing character does nothing, and a
// position that cannot be read counts as 0.
#pragma once

#include "CharacterFiles.h"
#include "CharacterStage.h"
#include "RaceScreen.h"
#include "Utilities.h"
#include "Waits.h"

#include <QPoint>
#include <QString>
#include <QWidget>

#include <functional>

namespace agent {
class AgentControl;
class Character;
}

// The stage's hidden window: it owns the character platform's control.
class StageWindow : public QWidget
{
    Q_OBJECT
public:
    explicit StageWindow(const RaceScreen &screen, QWidget *parent = nullptr);

    agent::AgentControl *CharacterControl = nullptr;
    QWidget *SpeechControl = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
};

// Sees every text handed to a character's voice (after the respelling and the choice of
// an alternative); tests use it to follow what the characters say.
using SpeechObserver = std::function<void(const QString &identity, const QString &text)>;

// The stage on the character platform, as the game's CharacterStage: main makes one on
// the race's screen and hands it to the race. It owns its window and the control, follows the control's
// idle notifications and hands its clicks to the click handler.
class AgentStage : public CharacterStage
{
public:
    explicit AgentStage(const RaceScreen &screen);

    bool load(int size, const QString &file, bool balloon, bool soundEffects, const QString &identity) override;
    void unload(const QString &identity) override;
    void show(bool fast, const QString &identity) override;
    void hide(bool fast, const QString &identity);
    void stop(const QString &identity) override;
    // Left and top count from the race monitor's corner; the whole character stays on it.
    void move(int x, int y, const QString &identity, int durationMs) override;
    // To a corner of the screen: 0 top left, 1 top right, 2 bottom left, 3 bottom right.
    void moveToCorner(int corner, int durationMs, const QString &identity);
    bool act(const QString &command, const QString &identity) override;
    void speak(const QString &text, const QString &identity) override;
    Task<> waitForAudio() override;
    bool idle() const override;
    bool loaded(const QString &identity) const override;
    // Left and top of the character on the race monitor; (0, 0) when they cannot be read.
    QPoint position(const QString &identity) const override;
    void onClick(CharacterClickHandler handler) override;
    void setSpeechObserver(SpeechObserver observer);

    agent::AgentControl &control() const { return *window_.CharacterControl; }

private:
    agent::Character *characterOf(const QString &identity) const;
    void moveToTarget(const QString &command, const QString &identity);
    Task<> moveByDelta(QString target, QString identity);

    const RaceScreen &screen_;
    bool idle_ = false;
    Random random_;   // where "fly" and a text's alternatives are drawn from
    CharacterClickHandler clickHandler_;
    SpeechObserver speechObserver_;
    // Last, so that it goes first: the control's last notifications find the rest intact.
    StageWindow window_{screen_};
};

// The text as speak hands it to the voice before choosing an alternative: every
// "holly", in any letter case, becomes a map tag that says "Hahlee" and shows "Holly".
QString RespelledText(const QString &text);
// One of the alternatives a text separates by "|", drawn with random.
QString PickAlternative(Random &random, const QString &text);

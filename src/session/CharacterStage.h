// The desktop characters as the race and the puzzles see them: load, show, move, act,
// speak and wait for the voice. Characters are named by their identity ("Announcer",
// "Player0" ... "Player5"). An operation on a character that is not loaded does nothing,
// and a position that cannot be read counts as (0, 0). The program hands the session the
// stage that drives the character platform (AgentStage); tests hand it a fake.
#pragma once

#include "Waits.h"

#include <QPoint>
#include <QString>

#include <functional>

// A click on a character: its identity, the mouse button, the modifiers and where.
using CharacterClickHandler = std::function<void(const QString &identity, int button, int shift, int x, int y)>;

class CharacterStage
{
public:
    virtual ~CharacterStage() = default;
    // size: tenths of the natural size; file: a path or a name in the character folder (a
    // missing one loads the default character). False when it could not be loaded.
    virtual bool load(int size, const QString &file, bool balloon, bool soundEffects, const QString &identity) = 0;
    virtual void unload(const QString &identity) = 0;
    virtual void show(bool fast, const QString &identity) = 0;
    // Stops what the character does and what it was asked to do.
    virtual void stop(const QString &identity) = 0;
    // To (x, y) of the race's screen, in durationMs.
    virtual void move(int x, int y, const QString &identity, int durationMs) = 0;
    // An animation or one of the stage's commands ("hidefast", "fly", "moveto...",
    // "appear...", "sfx..."); false when the character has no such animation.
    virtual bool act(const QString &command, const QString &identity) = 0;
    virtual void speak(const QString &text, const QString &identity) = 0;
    // Until the voice is quiet, at most 5 s.
    virtual Task<> waitForAudio() = 0;
    // The characters have nothing left to do.
    virtual bool idle() const = 0;
    virtual bool loaded(const QString &identity) const = 0;
    virtual QPoint position(const QString &identity) const = 0;
    // Clicks on every character go to the handler (the dexterity test installs one).
    virtual void onClick(CharacterClickHandler handler) = 0;
};

// The stage of a program without characters: nothing loads, nothing moves, all is idle.
class NoStage : public CharacterStage
{
public:
    bool load(int, const QString &, bool, bool, const QString &) override { return false; }
    void unload(const QString &) override {}
    void show(bool, const QString &) override {}
    void stop(const QString &) override {}
    void move(int, int, const QString &, int) override {}
    bool act(const QString &, const QString &) override { return true; }
    void speak(const QString &, const QString &) override {}
    Task<> waitForAudio() override { co_return; }
    bool idle() const override { return true; }
    bool loaded(const QString &) const override { return false; }
    QPoint position(const QString &) const override { return QPoint(0, 0); }
    void onClick(CharacterClickHandler) override {}
};

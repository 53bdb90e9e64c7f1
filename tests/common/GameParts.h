// The parts of one copy of the game below the race, made as main makes them, for the
// tests: the session, the contestants' records with their roster, the play settings, the
// race's screen, the dispatcher, and the stage, boxes and network it is handed. The
// stage, the boxes and the network are slots that a test fills with its own (use) and
// empties again (use(nullptr)); empty, nothing shows, every box closes at once and
// nothing is sent.
#pragma once

#include "CharacterStage.h"
#include "Dialogs.h"
#include "GameMessages.h"
#include "GameSession.h"
#include "PlaySettings.h"
#include "RaceModel.h"
#include "RaceScreen.h"
#include "Roster.h"
#include "Transport.h"

class StageSlot final : public CharacterStage
{
public:
    void use(CharacterStage *stage) { to_ = stage ? stage : &none_; }
    bool load(int size, const QString &file, bool balloon, bool effects, const QString &identity) override
    {
        return to_->load(size, file, balloon, effects, identity);
    }
    void unload(const QString &identity) override { to_->unload(identity); }
    void show(bool fast, const QString &identity) override { to_->show(fast, identity); }
    void stop(const QString &identity) override { to_->stop(identity); }
    void move(int x, int y, const QString &identity, int ms) override { to_->move(x, y, identity, ms); }
    bool act(const QString &command, const QString &identity) override { return to_->act(command, identity); }
    void speak(const QString &text, const QString &identity) override { to_->speak(text, identity); }
    Task<> waitForAudio() override { return to_->waitForAudio(); }
    bool idle() const override { return to_->idle(); }
    bool loaded(const QString &identity) const override { return to_->loaded(identity); }
    QPoint position(const QString &identity) const override { return to_->position(identity); }
    void onClick(CharacterClickHandler handler) override { to_->onClick(std::move(handler)); }

private:
    NoStage none_;
    CharacterStage *to_ = &none_;
};

class DialogsSlot final : public Dialogs
{
public:
    void use(Dialogs *dialogs) { to_ = dialogs ? dialogs : &none_; }
    void beep(BeepKind kind) override { to_->beep(kind); }
    void show(BoxKind kind, const QString &text, std::function<void()> closed = {}) override
    {
        to_->show(kind, text, std::move(closed));
    }
    void ask(const QString &question, std::function<void(bool yes)> answered) override
    {
        to_->ask(question, std::move(answered));
    }

private:
    NoDialogs none_;
    Dialogs *to_ = &none_;
};

class TransportSlot final : public Transport
{
public:
    void use(Transport *transport) { to_ = transport; }
    bool sendText(const QString &address, const QString &text) override
    {
        return to_ && to_->sendText(address, text);
    }
    bool sendToPort(const QString &address, quint16 port, const QString &text) override
    {
        return to_ && to_->sendToPort(address, port, text);
    }
    using Transport::sendToPort;
    quint16 messengerPort() override { return to_ ? to_->messengerPort() : 0; }
    void forgetRepeats() override
    {
        if (to_)
            to_->forgetRepeats();
    }

private:
    Transport *to_ = nullptr;
};

struct GameParts {
    GameSession session;
    RaceModel model;
    Roster roster{model};
    PlaySettings settings;
    RaceScreen screen;
    StageSlot stage;
    DialogsSlot dialogs;
    TransportSlot transport;
    Dispatcher dispatcher{session, roster, settings, transport};

    // What a transport hands the datagrams it takes to.
    auto receiver()
    {
        return [this](const QString &address, const QString &text) { dispatcher.dispatch(address, text); };
    }
};

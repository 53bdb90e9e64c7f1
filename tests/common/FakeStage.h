// A stage for the tests that shows nothing.
#pragma once

#include "CharacterStage.h"

#include <QHash>
#include <QPoint>

// The characters without a screen: a character is where it was last sent, at once.
class FakeStage : public NoStage
{
public:
    bool load(int, const QString &, bool, bool, const QString &identity) override
    {
        at.insert(identity, QPoint(0, 0));
        return true;
    }
    void unload(const QString &identity) override { at.remove(identity); }
    void move(int x, int y, const QString &identity, int) override
    {
        if (at.contains(identity))
            at.insert(identity, QPoint(x, y));
    }
    bool loaded(const QString &identity) const override { return at.contains(identity); }
    QPoint position(const QString &identity) const override { return at.value(identity); }

private:
    QHash<QString, QPoint> at;
};

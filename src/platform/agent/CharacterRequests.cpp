// A character's requests (play, speak, move, show, hide) as they join its queue, and
// stopping them: the queue the character's clock (CharacterWindow.cpp) works through.
#include "CharacterWindow.h"

#include "Agent.h"
#include "AgentHub.h"

namespace agent {

using namespace detail;

int CharacterWindow::enqueue(Request request)
{
    Dispatch dispatch(hub_);
    request.id = hub_->newRequestId();
    const int id = request.id;
    if (shutdown_)
        return id;
    queue_.push_back(std::move(request));
    endIdle();
    wakeNow();
    return id;
}

int CharacterWindow::play(const QString &animation)
{
    const Animation *found = data_.find(animation);
    if (!found)
        throw AgentError(QStringLiteral("The character \"%1\" has no animation named \"%2\"")
                             .arg(identity_, animation).toStdString());
    Request request;
    request.kind = Kind::Play;
    request.animation = found;
    return enqueue(request);
}

int CharacterWindow::speak(const QString &text, const QString &soundFile)
{
    Request request;
    request.kind = Kind::Speak;
    request.text = text;
    request.soundFile = soundFile;
    request.language = speechLanguage_;
    return enqueue(request);
}

int CharacterWindow::moveTo(int x, int y, int durationMs)
{
    Request request;
    request.kind = Kind::Move;
    request.x = x;
    request.y = y;
    request.durationMs = qMax(0, durationMs);
    return enqueue(request);
}

int CharacterWindow::showRequest(bool fast)
{
    Request request;
    request.kind = Kind::Show;
    request.fast = fast;
    return enqueue(request);
}

int CharacterWindow::hideRequest(bool fast)
{
    Request request;
    request.kind = Kind::Hide;
    request.fast = fast;
    return enqueue(request);
}

void CharacterWindow::stopAll(const QString &types)
{
    Dispatch dispatch(hub_);
    QStringList wanted;
    for (const QString &type : types.split(QLatin1Char(','), Qt::SkipEmptyParts))
        if (!type.trimmed().isEmpty())
            wanted << type.trimmed().toLower();
    // Show and hide are animation requests, so "Play" stops them too. No request here
    // fetches anything, so "Get" and "NonQueuedGet" stop nothing.
    auto matches = [&](Kind kind) {
        if (wanted.isEmpty())
            return true;
        switch (kind) {
        case Kind::Speak: return wanted.contains(QLatin1String("speak"));
        case Kind::Move: return wanted.contains(QLatin1String("move"));
        default: return wanted.contains(QLatin1String("play"));
        }
    };
    QVector<int> removed;
    for (auto it = queue_.begin(); it != queue_.end();) {
        if (matches(it->kind)) {
            removed << it->id;
            it = queue_.erase(it);
        } else {
            ++it;
        }
    }
    if (current_ && matches(current_->kind)) {
        finishCurrent(1);
        if (shutdown_)
            return;
    } else if (!current_ && queue_.empty()) {
        quietSince_ = hub_->clock.now();
    }
    for (int id : std::as_const(removed)) {
        emit hub_->control->requestComplete(id, 1);
        if (shutdown_)
            return;
    }
    applyFrame();
    wakeNow();
}

} // namespace agent

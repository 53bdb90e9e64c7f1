#include "Agent.h"

#include "AgentHub.h"
#include "CharacterFile.h"
#include "CharacterWindow.h"

#include <QFileInfo>
#include <QHash>

#include <new>
#include <utility>

namespace agent {

// --- Character ----------------------------------------------------------------------

Character::Character(std::unique_ptr<CharacterWindow> window)
    : window_(std::move(window))
{
}

Character::~Character() = default;

QString Character::identity() const { return window_->identity(); }
bool Character::visible() const { return window_->shown(); }
int Character::left() const { return window_->x(); }
int Character::top() const { return window_->y(); }
int Character::width() const { return window_->width(); }
int Character::height() const { return window_->height(); }
void Character::setWidth(int width) { window_->setCharacterSize(width, window_->height()); }
void Character::setHeight(int height) { window_->setCharacterSize(window_->width(), height); }
int Character::naturalWidth() const { return window_->naturalWidth(); }
int Character::naturalHeight() const { return window_->naturalHeight(); }

void Character::setIdleOn(bool on) { window_->setIdleOn(on); }

void Character::activate(int state)
{
    // State 1 makes the character the active one: bring its window to the front.
    if (state == 1 && window_->shown())
        window_->raiseWindow();
}

void Character::setSoundEffectsOn(bool on) { window_->setSoundEffectsOn(on); }
void Character::setAutoPopupMenu(bool on) { window_->setAutoPopupMenu(on); }
void Character::setBalloonStyle(quint32 style) { window_->setBalloonStyle(style); }
void Character::setSpeechLanguage(const QString &language) { window_->setSpeechLanguage(language); }
quint32 Character::balloonStyle() const { return window_->balloonStyle(); }

int Character::play(const QString &animation) { return window_->play(animation); }
int Character::speak(const QString &text, const QString &soundFile) { return window_->speak(text, soundFile); }
int Character::moveTo(int x, int y, int durationMs) { return window_->moveTo(x, y, durationMs); }
int Character::show(bool fast) { return window_->showRequest(fast); }
int Character::hide(bool fast) { return window_->hideRequest(fast); }
void Character::stopAll(const QString &types) { window_->stopAll(types); }
bool Character::queueEmpty() const { return window_->queueEmpty(); }

// --- AgentControl -------------------------------------------------------------------

struct AgentControl::Private
{
    detail::AgentHub hub;
    bool connected = false;
    QHash<QString, Character *> characters;   // owned
};

AgentControl::AgentControl(QObject *parent)
    : QObject(parent), d(std::make_unique<Private>())
{
    d->hub.control = this;
    d->hub.audioDevice = detail::audioDeviceAvailable();
}

AgentControl::~AgentControl()
{
    const auto characters = d->characters;
    d->characters.clear();
    qDeleteAll(std::exchange(d->hub.unloaded, {}));
    for (Character *character : characters) {
        character->window_->shutdown();
        delete character;
    }
}

bool AgentControl::connected() const { return d->connected; }
void AgentControl::setConnected(bool on) { d->connected = on; }

Character *AgentControl::load(const QString &identity, const QString &file)
{
    if (d->characters.contains(identity)) {
        d->connected = true;   // a load request connects the control, whatever it finds
        throw AgentError(QStringLiteral("The character is already loaded under the identity \"%1\"")
                             .arg(identity).toStdString());
    }
    Character *character = nullptr;
    try {
        detail::CharacterData data = detail::loadCharacterFile(file);
        // The pictures are read again from the file when first shown, rather than held.
        auto archive = std::make_shared<detail::PictureArchive>(QFileInfo(file).absoluteFilePath());
        auto reread = [archive, entries = std::exchange(data.imageEntries, {})](int n, qint64 size) {
            return archive->read(entries.value(n), size);
        };
        auto frames = std::make_shared<detail::FrameStore>(std::exchange(data.images, {}),
                                                           QSize(data.width, data.height), reread);
        // Characters loaded from the same pictures share them, and the frames unpacked
        // for one (a race may load one file for several contestants).
        for (const Character *other : std::as_const(d->characters)) {
            const std::shared_ptr<detail::FrameStore> &theirs = other->window_->frames().store();
            if (theirs->fingerprint() == frames->fingerprint() && theirs->naturalSize() == frames->naturalSize()) {
                frames = theirs;
                break;
            }
        }
        character = new Character(std::make_unique<CharacterWindow>(&d->hub, identity, std::move(data), std::move(frames)));
    } catch (const std::bad_alloc &) {
        throw AgentError(QStringLiteral("Not enough memory to load the character file \"%1\"")
                             .arg(file).toStdString());
    }
    d->characters.insert(identity, character);
    d->connected = true;
    return character;
}

Character *AgentControl::character(const QString &identity) const
{
    return d->characters.value(identity, nullptr);
}

void AgentControl::unload(const QString &identity)
{
    Character *character = d->characters.take(identity);
    if (!character)
        return;
    character->window_->shutdown();
    // From inside a character call (an event handler unloading it, maybe nested in
    // another character's call) a window is still on the call stack: delete it once the
    // outermost call has returned.
    if (d->hub.dispatchDepth > 0)
        d->hub.unloaded.append(character);
    else
        delete character;
}

int AgentControl::audioOutputStatus() const
{
    return d->hub.audioStatus();
}

} // namespace agent

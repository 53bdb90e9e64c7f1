#include "Stage.h"

#include "Agent.h"
#include "CharacterFiles.h"
#include "DataFiles.h"
#include "Phrases.h"
#include "RaceScreen.h"
#include "Utilities.h"

#include <QDir>
#include <QPointer>
#include <QShowEvent>

#include <algorithm>
#include <cmath>

namespace {

constexpr quint32 BalloonOn = 0x0220000F;
constexpr quint32 BalloonOff = 0x0220000E;

bool fitsInt16(int value)
{
    return value >= -32768 && value <= 32767;
}

void playSoundEffect(const QString &command, agent::Character *character)
{
    QString name = command.mid(3, 100);
    const qsizetype equals = name.indexOf(u'=');
    if (equals >= 0)
        name = name.left(equals);
    const QString path = ProgramFolder() + name;
    if (character && FileExists(path))
        character->speak(QStringLiteral(" "), NativePath(path));
}

} // namespace

StageWindow::StageWindow(const RaceScreen &screen, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::CustomizeWindowHint)
{
    setObjectName(QStringLiteral("TTSForm"));
    setWindowTitle(QStringLiteral("Text To Speech Properties"));
    resize(419, 134);
    move(screen.desktopPoint(QPoint((screen.size().width() - width()) / 2, (screen.size().height() - height()) / 2)));
    // The speech control of the classic stage window: kept, hidden, never used.
    SpeechControl = new QWidget(this);
    SpeechControl->setObjectName(QStringLiteral("TextToSpeech1"));
    SpeechControl->hide();
    CharacterControl = new agent::AgentControl(this);
}

void StageWindow::showEvent(QShowEvent *event)
{
    SpeechControl->hide();
    QWidget::showEvent(event);
}

AgentStage::AgentStage(const RaceScreen &screen) : screen_(screen)
{
    agent::AgentControl *characters = &control();
    QObject::connect(characters, &agent::AgentControl::idleStart, &window_, [this] { idle_ = true; });
    QObject::connect(characters, &agent::AgentControl::idleComplete, &window_, [this] { idle_ = false; });
    QObject::connect(characters, &agent::AgentControl::click, &window_,
                     [this](const QString &identity, int button, int shift, int x, int y) {
                         if (clickHandler_)
                             clickHandler_(identity, button, shift, x, y);
                     });
}

agent::Character *AgentStage::characterOf(const QString &identity) const
{
    return control().character(identity);
}

void AgentStage::setSpeechObserver(SpeechObserver observer)
{
    speechObserver_ = std::move(observer);
}

void AgentStage::onClick(CharacterClickHandler handler)
{
    clickHandler_ = std::move(handler);
}

bool AgentStage::load(int size, const QString &file, bool balloon, bool soundEffects, const QString &identity)
{
    bool result = true;
    QString path = (!file.isEmpty() && FileExists(file)) ? file : DefaultCharacterFile();
    // A bare file name is looked up in the character folder.
    if (!path.isEmpty() && !path.contains(u'\\') && !path.contains(u'/'))
        path = CharacterFolder() + path;
    try {
        control().load(identity, NativePath(path));
    } catch (const agent::AgentError &error) {
        if (!QString::fromUtf8(error.what()).contains(QLatin1String("character is already")))
            result = false;
    }
    if (agent::Character *character = characterOf(identity)) {
        double factor = size / 10.0;
        if (!(factor > 0))
            factor = 1;
        const auto naturalHeight = static_cast<qint16>(character->naturalHeight());
        const auto naturalWidth = static_cast<qint16>(character->naturalWidth());
        character->setHeight(static_cast<int>(std::nearbyint(naturalHeight * factor)));
        character->setWidth(static_cast<int>(std::nearbyint(naturalWidth * factor)));
        character->setIdleOn(true);
        character->setBalloonStyle(balloon ? BalloonOn : BalloonOff);
        character->setSoundEffectsOn(soundEffects);
        character->activate(1);
        character->setAutoPopupMenu(false);
    }
    idle_ = false;
    return result;
}

void AgentStage::unload(const QString &identity)
{
    if (agent::Character *character = characterOf(identity))
        character->hide(true);
    control().unload(identity);
    control().setConnected(false);
}

void AgentStage::show(bool fast, const QString &identity)
{
    if (agent::Character *character = characterOf(identity))
        character->show(fast);
}

void AgentStage::hide(bool fast, const QString &identity)
{
    if (agent::Character *character = characterOf(identity))
        character->hide(fast);
}

void AgentStage::speak(const QString &text, const QString &identity)
{
    if (!control().connected())
        return;
    agent::Character *character = characterOf(identity);
    if (!character)
        return;
    character->show(true);
    const QString spoken = PickAlternative(random_, RespelledText(text));
    if (speechObserver_)
        speechObserver_(identity, spoken);
    character->setSpeechLanguage(PhraseLanguage());
    character->speak(spoken);
}

QString RespelledText(const QString &text)
{
    return ReplaceText(text, QStringLiteral("holly"), QStringLiteral("\\map=\"Hahlee\"=\"Holly\"\\"), true);
}

void AgentStage::stop(const QString &identity)
{
    if (agent::Character *character = characterOf(identity))
        character->stopAll();
}

void AgentStage::move(int x, int y, const QString &identity, int durationMs)
{
    if (!fitsInt16(x) || !fitsInt16(y))
        return;
    agent::Character *character = characterOf(identity);
    if (!character)
        return;
    // Race positions count from the race monitor's corner; the desktop spans every monitor.
    // The whole character stays on that monitor: a leader near the finish line stops at its
    // right edge instead of reaching across to the next monitor or off the desktop.
    QPoint at = screen_.desktopPoint(QPoint(x, y));
    const QRect screen = screen_.rect();
    if (!screen.isEmpty()) {
        at.setX(std::clamp(at.x(), screen.left(), std::max(screen.left(), screen.right() + 1 - character->width())));
        at.setY(std::clamp(at.y(), screen.top(), std::max(screen.top(), screen.bottom() + 1 - character->height())));
    }
    character->moveTo(at.x(), at.y(), durationMs);
}

void AgentStage::moveToCorner(int corner, int durationMs, const QString &identity)
{
    agent::Character *character = characterOf(identity);
    if (!character || corner < 0 || corner > 3)
        return;
    const QSize screen = screen_.size();
    const int right = screen.width() - character->width();
    const int bottom = screen.height() - character->height();
    const QPoint targets[] = {{0, 0}, {right, 0}, {0, bottom}, {right, bottom}};
    move(targets[corner].x(), targets[corner].y(), identity, durationMs);
}

bool AgentStage::act(const QString &command, const QString &identity)
{
    if (!control().connected())
        return true;
    agent::Character *character = characterOf(identity);
    if (character && !character->visible())
        character->show(true);
    const QString action = command.toLower();
    bool result = true;
    if (action == QLatin1String("hidefast")) {
        hide(true, identity);
    } else if (action == QLatin1String("fly")) {
        const QSize screen = screen_.size();
        move(random_.below(screen.width() - 50), random_.below(screen.height() - 70), identity, 1000);
    } else if (action.startsWith(QLatin1String("moveto")) || action.startsWith(QLatin1String("appear"))) {
        moveToTarget(action, identity);
    } else if (action.startsWith(QLatin1String("sfx"))) {
        playSoundEffect(action, character);
    } else {
        try {
            if (!character)
                throw agent::AgentError("no such character");
            character->play(action);
        } catch (const agent::AgentError &) {
            result = false;
        }
        if (action.contains(QLatin1String("hide")))
            hide(true, identity);
    }
    return result;
}

void AgentStage::moveToTarget(const QString &command, const QString &identity)
{
    const QString target = command.mid(6, 20);
    const int duration = command.startsWith(QLatin1String("moveto")) ? 1500 : 0;
    static const QStringList corners = {QStringLiteral("topleft"), QStringLiteral("topright"),
                                        QStringLiteral("bottomleft"), QStringLiteral("bottomright")};
    const qsizetype corner = corners.indexOf(target);
    if (corner >= 0)
        moveToCorner(static_cast<int>(corner), duration, identity);
    else if (target == QLatin1String("center"))
        return;   // recognised, but the character stays where it is
    else if (target.contains(QLatin1String("delta")))
        Launch(moveByDelta(target, identity));
}

// A move by an offset starts from where the character stands once its current
// animation is over (at most 5 s later); the action itself returns at once. The control
// goes with the stage: once it is gone, so is the stage, and the move is dropped.
Task<> AgentStage::moveByDelta(QString target, QString identity)
{
    QString offsets = target.mid(5, 10);
    const QString firstText = NextField(offsets);
    const QString secondText = NextField(offsets);
    bool ok = false;
    int first = ToInteger(firstText, &ok);
    if (!ok)
        first = 10;
    int second = ToInteger(secondText, &ok);
    if (!ok)
        second = 10;
    const QPointer<agent::AgentControl> characters = &control();
    const auto idleOrGone = [this, characters] { return !characters || idle_; };
    co_await WaitUntil(idleOrGone, 10, 500);
    if (!characters || !loaded(identity))
        co_return;   // unloaded meanwhile
    const QPoint at = position(identity);
    move(at.x() + first, at.y() + second, identity, 1000);
}

Task<> AgentStage::waitForAudio()
{
    // Polled every 50 ms, for at most 5 s: a character that never stops speaking (or
    // audio that fails) holds nothing up for ever.
    const QPointer<agent::AgentControl> characters = &control();
    const auto quiet = [characters] {
        return !characters || characters->audioOutputStatus() < 2 || characters->audioOutputStatus() > 4;
    };
    co_await WaitUntil(quiet, 50, 100);
}

bool AgentStage::idle() const
{
    return idle_;
}

QString PickAlternative(Random &random, const QString &text)
{
    const qsizetype bars = text.count(u'|');
    if (bars == 0)
        return text;
    const int k = random.below(static_cast<int>(bars) + 1);
    return text.section(u'|', k, k);
}

bool AgentStage::loaded(const QString &identity) const
{
    return characterOf(identity) != nullptr;
}

QPoint AgentStage::position(const QString &identity) const
{
    agent::Character *character = characterOf(identity);
    if (!character)
        return QPoint(0, 0);
    const QPoint at = screen_.racePoint(QPoint(character->left(), character->top()));
    return QPoint(static_cast<qint16>(at.x()), static_cast<qint16>(at.y()));
}

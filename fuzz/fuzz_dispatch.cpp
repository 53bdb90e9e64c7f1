// Game messages arrive from anyone on the network: the receive path (size limit, 8-bit
// text, repeat filter), the parse into a typed message and the dispatcher, with the main window in every play mode. The
// first byte sets the scene (play mode, race running, the answer to a play request, the
// sender of the first datagram); the rest is one datagram or several, each after the
// first preceded by a byte that names its sender: 0x1e the host, 0x1f a stranger. The
// datagrams after the first arrive from the event loop, as they would during the waits of
// a joined race that "SR" starts (time scale near zero); once they are all delivered, the
// host cancels whatever race is still on, so that every input ends.
#include "FuzzSupport.h"
#include "GameMessages.h"
#include "GameSession.h"
#include "GameTransport.h"
#include "InviteList.h"
#include "MainWindow.h"
#include "MessageBoxes.h"
#include "MessageHandlers.h"
#include "Messages.h"
#include "PlayRequests.h"
#include "PlaySettingsRules.h"
#include "RaceModel.h"
#include "Race.h"
#include "RaceScreen.h"
#include "Roster.h"
#include "Transport.h"
#include "RadioGroup.h"
#include "Utilities.h"
#include "scramble_keys.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QTimer>

namespace {

bool answerYes = false;

// Sends go nowhere: the fuzzer looks at what the game takes, not at what it answers.
class NoNetwork final : public Transport
{
public:
    bool sendText(const QString &, const QString &) override { return false; }
};

// One copy of the game, made as main makes it, with no characters, no boxes and no network.
struct Game {
    GameSession session;
    RaceModel model;
    Roster roster{model};
    PlaySettings settings;
    RaceScreen screen;
    NoStage stage;
    NoDialogs dialogs;
    NoNetwork network;
    Dispatcher dispatcher{session, roster, settings, network};
    Race race{session, roster, settings, stage, dialogs, dispatcher, screen};   // no ticks run
    InviteList invites;
    PlayRequests playRequests{race, session, settings, roster, dialogs, invites, dispatcher};
    MainWindow mainWindow{race, playRequests};
};
Game *game = nullptr;   // lives for the whole run
const QString HostSender = QStringLiteral("127.0.0.9");
const QString StrangerSender = QStringLiteral("127.0.0.8");

struct Datagram
{
    QString sender;
    QString text;
};
QList<Datagram> pending;

// The transport's path from a received datagram to the dispatcher, which parses it; the
// parse is also checked on its own: a message is written back under its own code.
void deliver(const Datagram &datagram)
{
    const std::optional<Message> message = Msg::parse(datagram.text);
    if (message && serialize(*message).left(2) != datagram.text.left(2))
        std::abort();
    static RepeatFilter filter;
    static qint64 clockMs = 0;
    clockMs += 10000;   // past the repeat window: the filter's memory, not its clock, is fuzzed
    if (filter.accept(datagram.sender, datagram.text, clockMs))
        game->dispatcher.dispatch(datagram.sender, datagram.text);
}

bool feeding = false;

// One event-loop turn: the next datagram, or, when all are in, the host's cancel of a
// race still on (it ends the race once its rounds have begun). The next turn is due
// before this one's work, so that it comes during the waits of a race this one starts
// (a timer does not fire again while its own handler runs).
void feed()
{
    if (!feeding)
        return;
    QTimer::singleShot(0, &feed);
    if (!pending.isEmpty())
        deliver(pending.takeFirst());
    else if (game->race.inProgress())
        game->dispatcher.dispatch(HostSender, QStringLiteral("RCHost"));
}

QList<Datagram> splitDatagrams(const QByteArray &bytes, const QString &firstSender)
{
    QList<Datagram> datagrams{{firstSender, {}}};
    QByteArray text;
    for (const char byte : bytes) {
        if (byte == '\x1e' || byte == '\x1f') {
            datagrams.back().text = FromBytes(text);
            datagrams.append({byte == '\x1e' ? HostSender : StrangerSender, {}});
            text.clear();
        } else {
            text.append(byte);
        }
    }
    datagrams.back().text = FromBytes(text);
    return datagrams;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        std::abort();
}

QByteArray parameterLine(const char *name, const char *value)
{
    return ShiftText(QByteArray(name), ScrambleKeys::ParameterName, ShiftDirection::Down) + "&&"
           + ShiftText(QByteArray(value), ScrambleKeys::ParameterValue, ShiftDirection::Down) + "\r\n";
}

// A messenger folder with its parameter file and an empty character library; sends go to
// loopback ports where nobody listens.
void setUpFolders()
{
    const QString messenger = fuzz::ScratchFolder();
    const QString games = messenger + QStringLiteral("Games/");
    QDir().mkpath(games);
    QDir().mkpath(messenger + QStringLiteral("Windows/msagent/chars"));
    writeFile(messenger + QStringLiteral("hollyfro.exe"), "marker");
    writeFile(messenger + QStringLiteral("HFparms.cfg"), parameterLine("gampt", "47012") + parameterLine("udppt", "47010"));
    writeFile(games + QStringLiteral("stdtalk.lst"), "Gt0 Random\r\ndl0 Easy\r\nrc1 Cancelled\r\nrx0 No\r\n");
    qputenv("HOLLYFROST_PROGRAM_FOLDER", QFile::encodeName(games));
    qputenv("WINDIR", QFile::encodeName(messenger + QStringLiteral("Windows")));
    qputenv("HOLLYFROST_REGISTRY", QFile::encodeName(messenger + QStringLiteral("registry.ini")));
    qputenv("HOLLYFROST_TIME_SCALE", "0.0001");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    const QString seeds = fuzz::SeedFolder();
    if (!seeds.isEmpty()) {
        const QList<QPair<QString, QByteArray>> messages = {
            {"roster", QByteArray("\x01RSHost&&40001&&Robin&&Pip.acs&&40002&&Sam&&Bolt.acs&& && && && && && && && && && && ")},
            {"positions", QByteArray("\x11RPHost&&10&&20&&0&&0&&0&&0")},
            {"request", QByteArray("\x22RQSam&&40002&&Bolt.acs")},
            {"answer", QByteArray("\x12RBSam&&dexteritytest")},
            {"skip", QByteArray("\x12RKSam")},
            {"cancel", QByteArray("\x11RCHost")},
            {"settings", QByteArray("\x01RTHost&&Random Race")},
            {"invitation", QByteArray("\x00GPHost&&40001&&Robin", 21)},
            {"accepted", QByteArray("\x01RAHost")},
            {"denied", QByteArray("\x01RDHost&&rx0")},
            {"ready", QByteArray("\x12RRSam")},
            {"ack", QByteArray("\x12" "AKSam")},
            {"joined-race", QByteArray("\x42RSHost&&40001&&Robin&&Pip.acs&&40002&&Sam&&Bolt.acs&& && && && && && && && && && && "
                                       "\x1eSRHost\x1eRPHost&&50&&20&&0&&0&&0&&0\x1eRPHost&&92&&20&&0&&0&&0&&0")},
            {"stranger-in-race", QByteArray("\x42SRHost\x1fRPEve&&92&&92&&0&&0&&0&&0\x1fRCEve\x1fRAEve")},
        };
        for (const auto &[name, bytes] : messages)
            fuzz::WriteSeed(seeds, name, bytes);
        fuzz::SeedsWritten();
    }
    setUpFolders();
    static QApplication application(*argc, *argv);
    SetMessageBoxAnswerer([](BoxKind, const QString &) {});
    SetQuestionAnswerer([](const QString &) { return answerYes; });
    game = new Game;
    FollowPlaySettings(game->race, game->settings);
    InstallMessageHandlers(game->race, game->playRequests);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || size - 1 > size_t(DatagramBufferSize))
        return 0;   // the transport drops a longer datagram whole
    const int scene = data[0];
    game->mainWindow.PlayModeGroup->setItemIndex(scene % 5 - 1);
    game->session.setRaceRunning(scene & 0x10);
    game->session.setJoinedRace(false);
    answerYes = scene & 0x20;
    game->session.setHostAddress(scene & 0x40 ? HostSender : QString());
    pending = splitDatagrams(fuzz::Bytes(data + 1, size - 1), scene & 0x80 ? StrangerSender : HostSender);
    // Until every datagram is delivered, then two turns more for a race whose start was
    // put off until another had ended: a race runs inside one turn, its waits feeding the
    // rest and then the cancel. A race that does not end is a hang the fuzzer reports.
    feeding = true;
    QTimer::singleShot(0, &feed);
    for (int turnsAfter = 0; turnsAfter < 2;) {
        QCoreApplication::processEvents();
        if (pending.isEmpty())
            ++turnsAfter;
    }
    feeding = false;
    QCoreApplication::processEvents();
    // Unloaded characters go through deleteLater, which only an event loop of exec() runs
    // by itself: without this, every race of the campaign would leave its windows behind.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (game->mainWindow.Contestants->model()->rowCount() > MaxContestants)
        std::abort();   // the roster never holds more than six
    game->session.setRaceRunning(false);
    game->model.shutdownCountdown = 0;
    return 0;
}

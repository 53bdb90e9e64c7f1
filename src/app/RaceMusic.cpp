#include "RaceMusic.h"

#include "MidiPlayer.h"
#include "Utilities.h"

#include <QDir>
#include <QPointer>
#include <QRandomGenerator>

namespace {

// The music volume, 0x3800 of 0xFFFF on each side (about 22 percent): audible, yet soft
// behind the characters' voices.
constexpr quint16 MusicVolume = 0x3800;

// The program folder's music files in listing order. The listing is sorted by name
// (ignoring case) so that the order is the same on every file system.
QStringList musicFiles()
{
    const QDir folder(NativePath(ProgramFolder()));
    return folder.entryList({QStringLiteral("*.mid")}, QDir::Files, QDir::Name | QDir::IgnoreCase);
}

} // namespace

RaceMusic::RaceMusic() = default;
RaceMusic::~RaceMusic() = default;

MidiPlayer &RaceMusic::madePlayer()
{
    if (!player) {
        player = std::make_unique<MidiPlayer>();
        QObject::connect(player.get(), &MidiPlayer::Finished, player.get(), [this] { PieceEnded(); });
    }
    return *player;
}

int CountMusicFiles()
{
    return int(musicFiles().size());
}

QString NthMusicFile(int n)
{
    const QStringList files = musicFiles();
    if (files.isEmpty())
        return QString();
    return files.at(qBound(1, n, int(files.size())) - 1);
}

QString RandomMusicFile()
{
    const int count = CountMusicFiles();
    if (count == 0)
        return QString();
    const int n = int(QRandomGenerator::global()->bounded(count)) + 1;
    return ProgramFolder() + NthMusicFile(n);
}

void RaceMusic::Start()
{
    Launch(play());
}

Task<> RaceMusic::play()
{
    const QString path = RandomMusicFile();
    MidiPlayer &music = madePlayer();
    music.Stop();
    // No music file, no soundfont or no sound device: the race goes on in silence.
    if (path.isEmpty())
        co_return;
    const QPointer<MidiPlayer> alive(&music);
    const auto prepare = [&music](std::function<void()> done) { music.Prepare(std::move(done)); };
    co_await WhenDone(prepare);
    // Meanwhile the window may have gone with us, or the race ended: its Stop closed the
    // output (also one the worker was opening), and Open finds none.
    if (!alive || !music.Open(NativePath(path)))
        co_return;
    music.SetNotify(true);
    if (!music.Play())
        co_return;
    music.SetVolume(MusicVolume, MusicVolume);
}

void RaceMusic::PieceEnded()
{
    if (!player)
        return;
    if (player->IsPlaying()) {
        player->SetNotify(true);
        return;
    }
    Start();
}

void RaceMusic::Stop()
{
    if (!player)
        return;
    player->SetNotify(false);
    player->Stop();
    player->Close();
}

#include "RaceMusic.h"

#include "MidiPlayer.h"
#include "Utilities.h"

#include <QCoreApplication>
#include <QDir>
#include <QRandomGenerator>

MidiPlayer *MusicPlayer = nullptr;

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

void deletePlayer()
{
    delete MusicPlayer;
    MusicPlayer = nullptr;
}

MidiPlayer *player()
{
    if (!MusicPlayer) {
        MusicPlayer = new MidiPlayer;
        QObject::connect(MusicPlayer, &MidiPlayer::Finished, MusicPlayer, &MusicPieceEnded);
        // The synthesizer's threads must end before the application's objects go.
        qAddPostRoutine(deletePlayer);
    }
    return MusicPlayer;
}

} // namespace

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

void StartMusic()
{
    const QString path = RandomMusicFile();
    MidiPlayer *music = player();
    music->Stop();
    // No music file, no soundfont or no sound device: the race goes on in silence.
    if (path.isEmpty() || !music->Open(NativePath(path)))
        return;
    music->SetNotify(true);
    if (!music->Play())
        return;
    music->SetVolume(MusicVolume, MusicVolume);
}

void MusicPieceEnded()
{
    if (!MusicPlayer)
        return;
    if (MusicPlayer->IsPlaying()) {
        MusicPlayer->SetNotify(true);
        return;
    }
    StartMusic();
}

void StopMusic()
{
    if (!MusicPlayer)
        return;
    MusicPlayer->SetNotify(false);
    MusicPlayer->Stop();
    MusicPlayer->Close();
}

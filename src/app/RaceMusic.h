// Background music during a race: an endless random sequence of the "*.mid" files in
// the program folder. Without music files or a sound device there is simply no music.
#pragma once

#include "Waits.h"

#include <QString>

#include <memory>

class MidiPlayer;

// The music of the main window's races.
class RaceMusic
{
public:
    RaceMusic();
    ~RaceMusic();   // ends the synthesizer's threads

    // Starts a random music file; when it ends another random one follows, until Stop.
    // The first start of a race makes the synthesizer's sound output (and the first of
    // all loads the soundfont) on a worker thread: the music begins once that is done,
    // unless Stop came meanwhile.
    void Start();
    void Stop();
    // The player's completion event: a finished piece is followed by another random one.
    void PieceEnded();
    // The invisible music player, made when music first starts (nullptr before).
    MidiPlayer *Player() const { return player.get(); }

private:
    MidiPlayer &madePlayer();
    Task<> play();
    std::unique_ptr<MidiPlayer> player;
};

// Full game path of a random music file, or empty when there is none.
QString RandomMusicFile();
int CountMusicFiles();
// Bare name of the n-th music file (1-based) in listing order; the last one when n is
// past the end, empty when there are none.
QString NthMusicFile(int n);

// Background music during a race: an endless random sequence of the "*.mid" files in
// the program folder. Without music files or a sound device there is simply no music.
#pragma once

#include <QString>

class MidiPlayer;

// The main window's invisible music player; created when music first starts.
extern MidiPlayer *MusicPlayer;

// Starts a random music file; when it ends another random one follows, until StopMusic.
void StartMusic();
void StopMusic();
// The player's completion event: a finished piece is followed by another random one.
void MusicPieceEnded();

// Full game path of a random music file, or empty when there is none.
QString RandomMusicFile();
int CountMusicFiles();
// Bare name of the n-th music file (1-based) in listing order; the last one when n is
// past the end, empty when there are none.
QString NthMusicFile(int n);

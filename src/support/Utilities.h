// Utility routines used everywhere in the game: path handling for the game's
// Windows-style paths, text helpers, whole-file copy, the
// rolling shift that scrambles the messenger's files, and the INI-backed registry.
#pragma once

#include "Waits.h"

#include <QByteArray>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <functional>
#include <random>

// Folders and paths. Folder texts produced here end in a separator. Paths may mix
// "\" and "/"; NativePath turns them into real file-system paths.
QString WindowsFolder();
// share/hollyfrost of an installed program (found from the executable's folder), or empty
// when the program runs from its build tree. It holds the data a messenger folder copies.
QString InstalledDataFolder();
QString WithTrailingBackslash(const QString &path);
QString FolderOfPath(const QString &path);
QString ProgramFolder();
QString ProgramFilePath();
QString NameOfPath(const QString &path);
QString ExtensionOfPath(const QString &path);
QString WithoutExtension(const QString &text);

// The one place where a game path ("C:\x\MSAGENT\CHARS\y.acs" style, any letter case)
// becomes a native path: "\" turns into "/", and a component that does not exist as
// written is matched without regard to case in its parent folder.
QString NativePath(const QString &gamePath);
bool FileExists(const QString &gamePath);   // an existing regular file (not a folder)
bool FolderExists(const QString &gamePath);
bool DeleteGameFile(const QString &gamePath);

enum class ShiftDirection { Up, Down };
QByteArray ShiftText(const QByteArray &text, quint8 key, ShiftDirection direction);
QString ShiftText(const QString &text, quint8 key, ShiftDirection direction);

bool CopyWholeFile(const QString &destination, const QString &source);

// A pseudo-random generator, owned by whoever draws (the race, the question draws, the
// roster, the stage): seeded by the system, or with a fixed seed so that a test draws the
// same numbers on every run.
class Random
{
public:
    Random();
    explicit Random(quint32 seed) : engine(seed) {}
    void seed(quint32 seed) { engine.seed(seed); }
    // A uniform whole number from 0 to n - 1 (0 when n is not above 0).
    int below(int n);

private:
    std::mt19937 engine;
};

bool IsInteger(const QString &text);
// True for a text of 1 to maxLength ASCII digits and nothing else (no sign, no blank).
bool IsDigits(const QString &text, qsizetype maxLength);
// The whole-number conversion behind IsInteger; *ok tells whether it converted.
qint32 ToInteger(const QString &text, bool *ok = nullptr);
QString ReplaceText(const QString &source, const QString &find, const QString &replacement,
                    bool allOccurrences);

// Registry: only the local-machine root is used. The registry is an INI file named by
// HOLLYFROST_REGISTRY, else registry.ini in the user's config folder under "hollyfrost".
enum class RegistryRoot { LocalMachine };
bool RegWriteText(RegistryRoot root, const QString &keyPath, const QString &valueName,
                  const QString &text);
QString RegReadText(RegistryRoot root, const QString &keyPath, const QString &valueName);
QString RegistryFilePath();


// Texts in the game's records, files and messages are 8-bit text in the Windows-1252
// code page; these convert at the edges, both ways, so that "€" and "Š" survive. The
// five bytes that the code page leaves undefined map to the control characters of the
// same number and back, so every byte survives a round trip; a character the code page
// cannot hold becomes "?".
QString FromBytes(const QByteArray &bytes);
QByteArray ToBytes(const QString &text);

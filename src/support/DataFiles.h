// Access to the messenger's data files: opening once, or as an awaited step that retries
// while another program holds the file; the "&&" field splitter, the scrambled parameter
// file HFparms.cfg and the two list files checkedusr.lst and UINIP.lst.
#pragma once

#include "Waits.h"

#include <QFile>
#include <QHash>
#include <QString>

#include <functional>

#include <array>
#include <memory>

// The names of the files the game shares with the messenger and keeps in its folders.
// The messenger and earlier copies rely on them, so they never change.
namespace GameFile {
inline const QString Parameters = QStringLiteral("HFparms.cfg");        // messenger folder
inline const QString CheckedBuddies = QStringLiteral("checkedusr.lst");
inline const QString UinAddresses = QStringLiteral("UINIP.lst");
inline const QString OnlineList = QStringLiteral("onlinelist.lst");     // written by the game
inline const QString OnlineText = QStringLiteral("online.txt");         // the messenger's, read once
inline const QString Questions = QStringLiteral("questions.fil");       // written by the game
inline const QString WordList = QStringLiteral("wlist.lst");
inline const QString Phrases = QStringLiteral("stdtalk.lst");
inline const QString AnnouncerCharacter = QStringLiteral("Announcer.acs");
} // namespace GameFile

// The game port ("gampt") and the messenger port ("udppt") that HFparms.cfg names; a
// value that is not a port, or no value, gives the default.
struct MessengerPorts {
    quint16 game = 4012;
    quint16 messenger = 4010;
};

// HFparms.cfg as last read: the messenger's folder it was found in (MessengerFolder), its path
// in the system's encoding, its identity and change stamp (device, inode, size,
// modification time in ns), the first value of each name and the two ports.
struct KeptParameters {
    bool read = false;
    QString folder;
    QByteArray path;
    std::array<qint64, 4> stamp{};
    QHash<QString, QString> values;
    MessengerPorts ports;
};

// The messenger's parameters as this program uses them: made once at start-up (main),
// handed to the transport and alive until the end, it keeps what was read from
// HFparms.cfg and says what happens when the file is missing.
class MessengerParameters
{
public:
    // missing: tells the user that HFparms.cfg is missing, then calls its argument,
    // which ends the program; called once, however many parameters are read meanwhile.
    // Without it a missing file only ends the program.
    explicit MessengerParameters(std::function<void(std::function<void()> endProgram)> missing = {});
    MessengerParameters(const MessengerParameters &) = delete;
    MessengerParameters &operator=(const MessengerParameters &) = delete;

    // The value of the first HFparms.cfg line with the name (first 5 characters
    // compared), or empty. A missing parameter file is fatal (see missing). What was
    // read is kept, and where: an unchanged file is not opened again, nor is the
    // messenger's folder looked up again (one stat a call); a changed or vanished one is
    // looked up and read again. While the messenger holds a changed file the last values
    // stay in use (a later call tries again); when nothing was read yet the result is
    // empty.
    QString value(const QString &name);
    // The two ports, kept and read again as the values; the defaults when nothing was
    // read or the file is missing.
    MessengerPorts ports();
    // Reads HFparms.cfg when nothing was read from it yet, waiting while the messenger
    // holds it (as OpenTextFileWhenFree); a file missing or held all that time is fatal
    // as above. The object may go during the wait: nothing is kept then.
    Task<> readWhenFree();

    KeptParameters kept;
    std::function<void(std::function<void()>)> missing;
    bool missingTold = false;

private:
    const KeptParameters *current();
    void fileMissing();
    // Lives as long as the object, for the waits that outlive it.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// Opens a record file, one try. Mode "R": the existing file, for reading and writing;
// "RO": the existing file, for reading only (lookups); any other mode creates or
// truncates it. Another program's advisory lock (flock) on the file makes it fail at
// once, like a missing file; a lock that this program holds itself does not block it.
// Anything that is not a regular file (a folder, a FIFO) fails as missing.
// recordSize documents the caller's record size.
bool OpenDataFile(const QString &path, const QString &mode, QFile &file, int recordSize);
// Opens a text file, one try: "R" read, "W" create or truncate, "A" append to an
// existing file; locks and non-regular files as for OpenDataFile.
bool OpenTextFile(const QString &path, const QString &mode, QFile &file);
// The same, as a step of the caller's sequence: while another program holds the file it
// tries again every 200 ms of game time, at most 51 tries (about 10 s), and the event
// loop runs in between. A missing or non-regular file fails at once. file must outlive
// the step.
Task<bool> OpenDataFileWhenFree(QString path, QString mode, QFile &file, int recordSize);
Task<bool> OpenTextFileWhenFree(QString path, QString mode, QFile &file);
// Reads one line of a text file without its line end (CR LF or LF).
QString ReadTextLine(QFile &file);
// Writes one line ending in CR LF; false if it could not be written whole.
bool WriteTextLine(QFile &file, const QString &line);

// The text before the first "&&"; the text keeps what follows it. Without "&&" the
// whole text is returned and the text stays as it was.
QString NextField(QString &text);

// The messenger's folder (ends in a separator), or empty when it cannot be found.
QString MessengerFolder();
// The checked flag of the user in checkedusr.lst (0 if unknown); the last record wins.
// Waits as OpenDataFileWhenFree while the messenger holds the file.
Task<int> LookupCheckedUserWhenFree(QString uin);
// The network address recorded for the UIN in UINIP.lst, or empty (also while the
// messenger holds the file); the awaited form waits as OpenDataFileWhenFree.
QString LookupUinAddress(const QString &uin);
Task<QString> LookupUinAddressWhenFree(QString uin);

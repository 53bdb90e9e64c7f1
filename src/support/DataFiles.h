// Access to the messenger's data files: opening with retry while another program holds
// the file, the "&&" field splitter, the scrambled parameter file HFparms.cfg and the
// two list files checkedusr.lst and UINIP.lst.
#pragma once

#include <QFile>
#include <QString>
#include <QWidget>

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

// The hidden "Network File Access" window. It is created at start-up and never shown;
// the opening routines close it when they finish.
class DataFileWindow : public QWidget
{
    Q_OBJECT
public:
    explicit DataFileWindow(QWidget *parent = nullptr);
    ~DataFileWindow() override;
    static DataFileWindow *instance();
};

// Opens a record file. Mode "R": the existing file, for reading and writing; "RO": the
// existing file, for reading only (lookups); any other mode creates or truncates it.
// Another program's advisory lock (flock) on the file counts as a sharing violation and
// is retried every 200 ms, at most 51 tries; a lock that this program holds itself does
// not block it. A missing file or folder, and anything that is not a regular file (a
// folder, a FIFO), fails at once. recordSize documents the caller's record size.
bool OpenDataFile(const QString &path, const QString &mode, QFile &file, int recordSize);
// Opens a text file: "R" read, "W" create or truncate, "A" append to an existing file;
// locks and non-regular files as for OpenDataFile.
bool OpenTextFile(const QString &path, const QString &mode, QFile &file);
// Reads one line of a text file without its line end (CR LF or LF).
QString ReadTextLine(QFile &file);
// Writes one line ending in CR LF; false if it could not be written whole.
bool WriteTextLine(QFile &file, const QString &line);

// The text before the first "&&"; the text keeps what follows it. Without "&&" the
// whole text is returned and the text stays as it was.
QString NextField(QString &text);

// The messenger's folder (ends in a separator), or empty when it cannot be found.
QString HostFolder();
// The value of the first HFparms.cfg line with the name (first 5 characters compared),
// or empty. A missing parameter file is fatal: a message, then the application ends.
QString ReadParameter(const QString &name);
// The checked flag of the user in checkedusr.lst (0 if unknown); the last record wins.
int LookupCheckedUser(const QString &uin);
// The network address recorded for the UIN in UINIP.lst, or empty.
QString LookupUinAddress(const QString &uin);

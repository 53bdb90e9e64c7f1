// The two-letter codes that open every game message. Other copies of the game and the
// messenger rely on them, so they never change.
#pragma once

#include <QString>

namespace MessageCode {
inline const QString Acknowledge = QStringLiteral("AK");     // a message arrived
inline const QString PlayRequest = QStringLiteral("RQ");     // joiner -> host: may I race?
inline const QString Accepted = QStringLiteral("RA");        // host -> joiner: yes
inline const QString Denied = QStringLiteral("RD");          // host -> joiner: no, and why
inline const QString Roster = QStringLiteral("RS");          // host -> joiners: the contestants
inline const QString StartRace = QStringLiteral("SR");       // host -> joiners: the race starts
inline const QString Positions = QStringLiteral("RP");       // host -> joiners: every progress
inline const QString Cancel = QStringLiteral("RC");          // host -> joiners: the game ends
inline const QString Question = QStringLiteral("RZ");        // host -> joiner: a puzzle
inline const QString HostText = QStringLiteral("RT");        // host -> joiners: the game's description
inline const QString Ready = QStringLiteral("RR");           // joiner -> host: ready to race
inline const QString RightAnswer = QStringLiteral("RB");     // joiner -> host: answered right
inline const QString Skipped = QStringLiteral("RK");         // joiner -> host: gave the puzzle up
inline const QString Invitation = QStringLiteral("GP");      // an invitation's ping
inline const QString MessengerText = QStringLiteral("ME");   // a text for the messenger to show
} // namespace MessageCode

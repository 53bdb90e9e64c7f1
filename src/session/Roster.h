// The roster: the contestants of the next race, slots 0 to ContestantCount() - 1 of
// ContestantTable (RaceModel.h). It is the one copy; the main window's "Game
// Contestants" list shows it and follows GameSession::rosterChanged.
#pragma once

#include <QString>

#include <optional>

struct ContestantItemFields {
    QString Uin;            // at most 15 characters
    QString PlayerName;     // at most 35
    QString CharacterFile;  // at most 35
};

int ContestantCount();
// "Player" + slot: the stage identity of a contestant's character.
QString PlayerIdentity(int slot);

// Adds one contestant and returns its slot; none when the roster is full (the user is
// told so) and nothing was added. A character file that is missing or already running is
// replaced by a free one.
std::optional<int> AddContestant(const QString &name, const QString &uin, const QString &characterFile);
// Appends the fields as they are (cut to their capacities) and returns the slot; none
// when the roster is full.
std::optional<int> AppendContestant(const ContestantItemFields &fields);
// Empties the roster (ResetContestantTable also clears the slots' records).
void ClearRoster();
// Empties the roster: the texts of every slot, Progress, LastX, Score and Confirmed are
// cleared and QuestionNumber set to 1; Acked is left as it is.
void ResetContestantTable();
// A slot's record changed where the roster list shows it (its colour).
void RosterChanged();

ContestantItemFields ContestantFields(int slot);
// The list text of a slot: UIN TAB name TAB character file.
QString ContestantItemText(int slot);
ContestantItemFields SplitContestantItem(const QString &item);
bool CharacterInRoster(const QString &characterFile);   // letter case ignored
bool UinInRoster(const QString &uin);                   // exact
// Full game path of a character file that neither the user nor any contestant uses, or
// empty when every file in the character folder is taken.
QString RandomFreeCharacter();
// The shown part of a speech map tag (the text after "="" up to "\"), else the text.
QString ShownName(const QString &text);

// The roster: the contestants of the next race, slots 0 to count() - 1 of the session's
// contestant records (RaceModel.h), and the list model the windows show of it (the main
// window's "Game Contestants"). It is the one copy: main makes it over the model and hands
// it to the race, the network and the windows.
#pragma once

#include "RaceModel.h"
#include "Utilities.h"

class Dialogs;

#include <QAbstractListModel>
#include <QString>

#include <optional>

struct ContestantItemFields {
    QString Uin;            // at most 15 characters
    QString PlayerName;     // at most 35
    QString CharacterFile;  // at most 35
};

class Roster : public QAbstractListModel
{
    Q_OBJECT
public:
    // A row's fields and state beside its list text (Qt::DisplayRole: UIN TAB name TAB
    // character file).
    enum Role { UinRole = Qt::UserRole + 1, NameRole, CharacterFileRole, SlotStateRole };

    // The roster over the model's contestant records.
    explicit Roster(RaceModel &model, QObject *parent = nullptr);

    // The contestants' records it is the roster of.
    RaceModel &model() const { return model_; }
    int count() const { return count_; }
    // A slot's fields; empty outside the roster.
    ContestantItemFields fields(int slot) const;
    // The list text of a slot: UIN TAB name TAB character file.
    QString itemText(int slot) const;
    bool hasCharacter(const QString &characterFile) const;   // letter case ignored
    bool hasUin(const QString &uin) const;                   // exact
    // Full game path of a character file that neither the user nor any contestant uses,
    // or empty when every file in the character folder is taken; drawn with the roster's
    // own engine.
    QString randomFreeCharacter();

    // Adds one contestant and returns its slot; none when the roster is full, and then
    // nothing was added (the caller tells the user). A character file that is missing or
    // already running is replaced by a free one; the name is its shown part.
    std::optional<int> add(const QString &name, const QString &uin, const QString &characterFile);
    // Appends the fields as they are (cut to their capacities) and returns the slot; none
    // when the roster is full.
    std::optional<int> append(const ContestantItemFields &fields);
    // Empties the roster; the slots' records stay.
    void clear();
    // Empties the roster and the slots' records: their texts, Progress, LastX, Score and
    // Confirmed are cleared and QuestionNumber set to 1; Acked is left as it is.
    void reset();
    // Where a slot stands with the questions (the list paints it by it).
    void setSlotState(int slot, SlotState state);
    // Where a slot's player is reached (cut to its capacity); empty for one run here.
    void setAddress(int slot, const QString &address);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    RaceModel &model_;
    int count_ = 0;
    Random random_;
};

// Tells the user that the roster is full and a contestant was not added.
void TellRosterFull(Dialogs &dialogs);

// "Player" + slot: the stage identity of a contestant's character.
QString PlayerIdentity(int slot);
ContestantItemFields SplitContestantItem(const QString &item);
// The shown part of a speech map tag (the text after "="" up to "\"), else the text.
QString ShownName(const QString &text);

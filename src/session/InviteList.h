// The online buddies "Invite Players" may invite, each checked or not: a checkable list
// model that the main window's "Online Buddys" list shows and checks, and that the play
// requests read. No widget: the invitations are tested without one.
#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QString>

struct InvitableBuddy {
    QString uin;
    QString name;
};

class InviteList : public QAbstractListModel
{
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    // Replaces the buddies, sorted by their text (UIN, two spaces, name): each is checked
    // unless it was listed and unchecked before.
    void setBuddies(const QList<InvitableBuddy> &buddies);
    // Whether the buddy with that UIN (matched whole) is listed and checked.
    bool checked(const QString &uin) const;
    void setChecked(int row, bool on);

    // A row's text is the UIN, two spaces and the name, cut to 52 characters; its check
    // state is Qt::CheckStateRole, which the user may change.
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    struct Row {
        InvitableBuddy buddy;
        QString text;
        bool checked = true;
    };
    QList<Row> rows;
};

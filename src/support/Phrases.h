// Phrase tables: every line the commentator speaks and several captions come from a
// table of three-character codes per language; "##" stands for the player's name.
#pragma once

#include <QString>

// Full path of the current language's phrase file with the extension "lst" or "bak".
QString PhraseFilePath(const QString &extension);
// The text of a phrase code (first three characters used) with "##" filled in, or empty.
// A code that the language's table and its backup lack is taken from the English table.
QString LookupPhrase(const QString &code);
// The same lookup in the backup file only.
QString LookupBackupPhrase(const QString &code);
// The language the phrase table is written in, for the voice: "fr" for the suffix -fr,
// empty for the English table (the characters' voices keep their own language).
QString PhraseLanguage();
// The player's name as a speech map tag when it is spoken differently, else as shown.
QString PlayerSpeechName();

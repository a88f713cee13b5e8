#ifndef FOLDERIMPORT_H
#define FOLDERIMPORT_H

#include <QMap>
#include <QString>

class History;

// What an import sets on every run it brings in, where given.
struct ImportOverrides
{
    QString boardId;
    QString firmware;
    QMap<QString, QString> tags;
};

// Brings a results folder into the history as a run: one from before the
// history, one the history holds only in part after it failed midway, or
// one whose files changed since. The folder is the record of truth: each
// row of the history that differs from results.csv is replaced, a row the
// folder no longer holds goes, and how the run ended follows the folder.
namespace FolderImport {

enum class Result { Imported, Updated, AlreadyThere, Failed };

// `said` gets a line for the user: what was done, or why it could not be.
Result import(History &history, const QString &folder, const ImportOverrides &overrides, QString *said);

} // namespace FolderImport

#endif // FOLDERIMPORT_H

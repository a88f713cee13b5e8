#ifndef HANDOFFFILE_H
#define HANDOFFFILE_H

#include <QString>

// The port-selection dialog passes the chosen port name to each new
// power-mode window through a one-line text file in the working directory.
namespace HandOffFile {

extern const char fileName[];

// Replaces the file's content with the name and a line end; false unless
// the whole line reached the file.
bool write(const QString &portName);

// The file's first line without its line end; empty when the file cannot be
// read or the line cannot be a port name.
QString read();

} // namespace HandOffFile

#endif // HANDOFFFILE_H

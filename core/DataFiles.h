#pragma once
#include <QString>
#include <QStringList>

namespace quenta {

// Folders that hold the program's shipped data, in the order they are searched: beside the
// program (a build tree or an unpacked copy), the installed data folder, the source tree (not for
// the installed program).
QStringList dataFolders();
// The first existing file of that name in dataFolders(); the installed path when none exists.
QString findDataFile(const QString &name);

} // namespace quenta

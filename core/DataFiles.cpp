#include "core/DataFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace quenta {

QStringList dataFolders()
{
    QStringList folders;
    bool installed = false;
    if (QCoreApplication::instance()) {
        const QString programDir = QCoreApplication::applicationDirPath();
        folders << programDir + QStringLiteral("/data");
        installed = QFileInfo(programDir) == QFileInfo(QStringLiteral(QUENTA_BIN_DIR));
    }
    folders << QStringLiteral(QUENTA_DATA_DIR);
    // The source tree serves programs run from the build. An installed program reads only its own
    // data: on a user's machine the folder the package was built in is gone, or belongs to anyone.
    if (!installed)
        folders << QStringLiteral(QUENTA_SOURCE_DATA_DIR);
    return folders;
}

QString findDataFile(const QString &name)
{
    for (const QString &folder : dataFolders()) {
        const QString path = QDir(folder).filePath(name);
        if (QFileInfo::exists(path))
            return path;
    }
    return QDir(QStringLiteral(QUENTA_DATA_DIR)).filePath(name);
}

} // namespace quenta

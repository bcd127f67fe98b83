#include "core/DataFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace quenta {

QStringList dataFolders()
{
    QStringList folders;
    if (QCoreApplication::instance())
        folders << QCoreApplication::applicationDirPath() + QStringLiteral("/data");
    folders << QStringLiteral(QUENTA_DATA_DIR) << QStringLiteral(QUENTA_SOURCE_DATA_DIR);
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

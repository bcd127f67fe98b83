#include "platform/Preferences.h"

#include <QSettings>
#include <QStandardPaths>

namespace quenta {

namespace {
const QString AdapterKey = QStringLiteral("elm/adapter");
}

Preferences::Preferences(const QString &path) : m_path(path)
{
    if (m_path.isEmpty())
        m_path = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                 + QStringLiteral("/quenta/quenta.conf");
}

QString Preferences::adapter() const
{
    return QSettings(m_path, QSettings::IniFormat).value(AdapterKey).toString();
}

void Preferences::setAdapter(const QString &name)
{
    QSettings settings(m_path, QSettings::IniFormat);
    settings.setValue(AdapterKey, name);
    settings.sync();
}

} // namespace quenta

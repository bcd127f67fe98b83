#pragma once
// What the program remembers between runs: the ELM327 adapter last named in the window. Kept in
// the user's configuration folder, never beside the program.
#include <QString>

namespace quenta {

class Preferences {
public:
    // Without a path: $XDG_CONFIG_HOME/quenta/quenta.conf (~/.config when unset).
    explicit Preferences(const QString &path = QString());

    QString path() const { return m_path; }
    QString adapter() const;
    void setAdapter(const QString &name);

private:
    QString m_path;
};

} // namespace quenta

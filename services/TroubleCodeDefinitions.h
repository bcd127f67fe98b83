#pragma once
// The trouble-code definition list: the lines of troublecode.tcf in file order, looked up by
// their first five characters.
#include "platform/Prompts.h"

#include <QStringList>

namespace quenta {

class TroubleCodeDefinitions {
public:
    static inline const QString FileName = QStringLiteral("troublecode.tcf");
    static inline const QString NotFound = QStringLiteral("Trouble code definition not found");
    // Far above any real list (the shipped one is about 100 kB).
    static constexpr qsizetype MaxFileBytes = 16 * 1024 * 1024;

    explicit TroubleCodeDefinitions(Prompts &prompts) : m_prompts(prompts) {}

    // The two places searched, in order: the program's data folder, then the system-wide one.
    static QStringList places();
    void setPlaces(const QStringList &places) { m_places = places; }

    void load_trouble_codes();
    QString lookup_trouble_code(const QString &code) const;

    const QStringList &lines() const { return m_lines; }
    int count() const { return int(m_lines.size()); }

private:
    bool readFile(const QString &path, int *errorNumber, QString *description);
    void showError(int errorNumber, const QString &description);

    Prompts &m_prompts;
    QStringList m_places = places();
    QStringList m_lines;
};

} // namespace quenta

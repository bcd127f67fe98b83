#include "core/Models.h"

namespace quenta {

QString rgbName(Rgb rgb)
{
    return QStringLiteral("#%1").arg(rgb & 0xFFFFFF, 6, 16, QLatin1Char('0'));
}

void LinkInfo::setEcuNumber(const QString &number)
{
    if (m_hasEcuNumber && number == m_ecuNumber)
        return;
    m_ecuNumber = number;
    m_hasEcuNumber = true;
    emit changed();
}

void LinkInfo::setFirmware(const QString &identity)
{
    if (m_hasFirmware && identity == m_firmware)
        return;
    m_firmware = identity;
    m_hasFirmware = true;
    emit changed();
}

QString LinkInfo::ecuCaption() const
{
    return m_hasEcuNumber ? QStringLiteral("ECU #=") + m_ecuNumber + QStringLiteral("\r\n") : QString();
}

QString LinkInfo::firmwareCaption() const
{
    return m_hasFirmware ? QStringLiteral("F/W: ") + m_firmware : QString();
}

void StatusText::setText(const QString &text)
{
    m_text = text;
    emit textChanged();
}

void VehicleData::append(const QString &line)
{
    const int row = m_model.rowCount();
    m_model.insertRows(row, 1);
    m_model.setData(m_model.index(row), line);
}

void VehicleData::setColor(Rgb color)
{
    m_color = color;
    emit colorChanged();
}

void LoggerParameters::appendToBox0(const QString &label)
{
    QStringListModel &box0 = m_boxes[0];
    const int row = box0.rowCount();
    box0.insertRows(row, 1);
    box0.setData(box0.index(row), label);
}

void LoggerParameters::createExtraBoxes(int entries)
{
    const QStringList source = m_boxes[0].stringList();
    QStringList copy;
    copy.reserve(entries);
    for (int i = 0; i < entries; ++i)
        copy << source.value(i);
    for (int b = 1; b < Boxes; ++b)
        m_boxes[size_t(b)].setStringList(copy);
    emit extraBoxesMade();
}

void Controls::setEnabled(const QString &name, bool on)
{
    State &s = edit(name);
    if (s.enabled == on)
        return;
    s.enabled = on;
    emit changed(name);
}

void Controls::setEnabled(const QStringList &names, bool on)
{
    for (const QString &n : names)
        setEnabled(n, on);
}

void Controls::setVisible(const QString &name, bool on)
{
    State &s = edit(name);
    if (s.visible == on)
        return;
    s.visible = on;
    emit changed(name);
}

void Controls::setPressed(const QString &name, bool on)
{
    State &s = edit(name);
    if (s.pressed == on)
        return;
    s.pressed = on;
    emit changed(name);
}

void Controls::setCaption(const QString &name, const QString &caption)
{
    State &s = edit(name);
    s.caption = caption;
    s.hasCaption = true;
    emit changed(name);
}

} // namespace quenta

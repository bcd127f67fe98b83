#pragma once
// The small models the windows and the CLI show. Core code writes them; nothing here knows a widget.
#include "core/ControlNames.h"

#include <QHash>
#include <QObject>
#include <QStringList>
#include <QStringListModel>
#include <array>
#include <memory>

namespace quenta {

using Rgb = quint32; // 0xRRGGBB

namespace colors {
constexpr Rgb Black = 0x000000;
}
QString rgbName(Rgb rgb); // "#rrggbb"

// What the main window shows beside the indicator: the number of the ECU that answers (Label6) and
// the scan tool's firmware identity (Label7). Each is unknown until first read, and its caption is
// then empty, as the label is.
class LinkInfo : public QObject {
    Q_OBJECT
public:
    bool hasEcuNumber() const { return m_hasEcuNumber; }
    QString ecuNumber() const { return m_ecuNumber; } // two characters from the reply header, e.g. "10"
    bool hasFirmware() const { return m_hasFirmware; }
    QString firmware() const { return m_firmware; } // the identity's first five characters, e.g. "S3.40"
    void setEcuNumber(const QString &number);
    void setFirmware(const QString &identity);
    // The labels' captions: "ECU #=10" CR LF and "F/W: S3.40".
    QString ecuCaption() const;
    QString firmwareCaption() const;
signals:
    void changed();
private:
    QString m_ecuNumber;
    QString m_firmware;
    bool m_hasEcuNumber = false;
    bool m_hasFirmware = false;
};

// The status window's text. Writers replace or append; the window colours keywords when asked.
class StatusText : public QObject {
    Q_OBJECT
public:
    QString text() const { return m_text; }
    void setText(const QString &text);
    void append(const QString &text) { setText(m_text + text); }
    void requestColouring() { emit colouringRequested(); }
signals:
    void textChanged();
    void colouringRequested();
private:
    QString m_text;
};

// The vehicle data window: one line per decoded parameter, and the colour of its text.
class VehicleData : public QObject {
    Q_OBJECT
public:
    QStringListModel *model() { return &m_model; }
    QStringList lines() const { return m_model.stringList(); }
    int count() const { return m_model.rowCount(); }
    void clear() { m_model.setStringList({}); }
    void append(const QString &line);
    Rgb color() const { return m_color; }
    void setColor(Rgb color);
signals:
    void colorChanged();
private:
    QStringListModel m_model;
    Rgb m_color = colors::Black;
};

// The data logger's six parameter lists. Box 0 exists from the start; boxes 1 to 5 are made by
// the first current-data request.
class LoggerParameters : public QObject {
    Q_OBJECT
public:
    static constexpr int Boxes = 6;
    QStringListModel *box(int i) { return &m_boxes[size_t(i)]; }
    QStringList items(int i) const { return m_boxes[size_t(i)].stringList(); }
    void appendToBox0(const QString &label);
    // Creates boxes 1 to 5 with copies of the first `entries` entries of box 0 (empty texts past its end).
    void createExtraBoxes(int entries);
signals:
    void extraBoxesMade();
private:
    std::array<QStringListModel, Boxes> m_boxes;
};

// Enabled, visible, pressed and caption state of the main window's controls and menu items, by
// the control's name (names::Mode1, names::mnuDataLog, ...). Controls never mentioned are enabled,
// visible, released and keep their own caption.
class Controls : public QObject {
    Q_OBJECT
public:
    struct State {
        bool enabled = true;
        bool visible = true;
        bool pressed = false;
        QString caption;
        bool hasCaption = false;
    };
    State state(const QString &name) const { return m_states.value(name); }
    bool enabled(const QString &name) const { return state(name).enabled; }
    bool visible(const QString &name) const { return state(name).visible; }
    bool pressed(const QString &name) const { return state(name).pressed; }
    QString caption(const QString &name) const { return state(name).caption; }
    void setEnabled(const QString &name, bool on);
    void setVisible(const QString &name, bool on);
    void setPressed(const QString &name, bool on);
    void setCaption(const QString &name, const QString &caption);
    void setEnabled(const QStringList &names, bool on);
signals:
    void changed(const QString &name);
private:
    State &edit(const QString &name) { return m_states[name]; }
    QHash<QString, State> m_states;
};

} // namespace quenta

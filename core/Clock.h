#pragma once
// The one clock of the live loops: the monotonic milliseconds every interval is measured on, the
// wall-clock time a "System Time" trigger looks at, and the wait between samples. Tests put a
// clock of their own in its place, so an hour's trigger takes no real hour.
#include <QDateTime>
#include <QObject>
#include <cstdint>

namespace quenta {

class Clock : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Milliseconds on a monotonic clock (never jumps, never wraps while the program runs).
    virtual std::int64_t tickMs() const;
    virtual QDateTime wallTime() const;
    // Lets window events through for up to `ms` milliseconds without spinning a core; wake() ends
    // the wait at once (a button that changes what the waiting loop should do).
    virtual void wait(int ms);
    void wake() { emit woken(); }

signals:
    void woken();
};

} // namespace quenta

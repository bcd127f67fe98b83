#pragma once
// A port whose incoming bytes the test feeds by hand, recording what the program writes.
#include "platform/ScanToolPort.h"

#include <functional>

struct ScriptedPort : quenta::ScanToolPort {
    QByteArray buffer;
    QList<QByteArray> written;
    bool open_ = true;
    bool failWrites = false;
    bool failReads = false;
    // Called for every write; may feed an answer.
    std::function<void(const QByteArray &)> onWrite;

    void feed(const QByteArray &data)
    {
        buffer += data;
        emit readyRead();
    }

    QString deviceName() const override { return QStringLiteral("scripted"); }
    bool open(QString *) override { return open_ = true; }
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }
    bool setLineSettings(const quenta::LineSettings &, QString *) override { return true; }
    void setInBufferSize(int) override {}
    int inBufferCount() override { return int(buffer.size()); }
    bool input(QByteArray *data, QString *error) override
    {
        if (failReads) {
            *error = QStringLiteral("read failed");
            return false;
        }
        *data = std::exchange(buffer, {});
        return true;
    }
    bool output(const QByteArray &data, QString *error) override
    {
        if (failWrites) {
            *error = QStringLiteral("write failed");
            return false;
        }
        written << data;
        if (onWrite)
            onWrite(data);
        return true;
    }
};

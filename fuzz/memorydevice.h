#pragma once
// An in-memory port for the fuzz targets: what the other end sends is queued in input;
// at the end of each frame the program writes, the next of replies is queued after it.

#include "link/portdevice.h"

#include <QList>

namespace kfc::fuzz {

class MemoryDevice : public PortDevice {
public:
    QByteArray input;
    QList<QByteArray> replies;
    bool opened = false;

    bool open(const QString&, const SerialSettings&) override { return opened = true; }
    void close() override { opened = false; }
    bool isOpen() const override { return opened; }
    QString errorString() const override { return {}; }
    bool setBaudRate(qint32) override { return true; }
    void clearOutput() override {}
    void clearInput() override { input.clear(); }
    qint64 bytesAvailable() const override { return input.size(); }
    QByteArray read(qint64 maxSize) override
    {
        const QByteArray part = input.left(maxSize);
        input.remove(0, part.size());
        return part;
    }
    bool write(const QByteArray& data) override
    {
        constexpr char kEtx = 0x03;
        if (data.contains(kEtx) && !replies.isEmpty())
            input += replies.takeFirst();
        return true;
    }
};

} // namespace kfc::fuzz

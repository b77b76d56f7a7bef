#pragma once

#include <QByteArray>

// Received bytes not yet cut into frames.
class ComByteBuffer
{
public:
    void append(const QByteArray& bytes) { buffer.append(bytes); }
    // Drops count bytes from the front; more than held empties the buffer.
    void consume(int count) { buffer.remove(0, count); }
    bool isEmpty() const { return buffer.isEmpty(); }
    int size() const { return buffer.size(); }
    void clear() { buffer.clear(); }
    QByteArray& bytes() { return buffer; }

private:
    QByteArray buffer;
};

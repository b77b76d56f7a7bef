#pragma once

#include <QByteArray>
#include <QQueue>

// Frames waiting to be written, oldest first. The queue does not own them: the request
// layer does, until they are acknowledged, dropped or reported failed.
class ComMessageQueue
{
public:
    void enqueue(QByteArray* frame) { frames.enqueue(frame); }
    QByteArray* head() const { return frames.head(); }
    QByteArray* dequeue() { return frames.dequeue(); }
    bool isEmpty() const { return frames.isEmpty(); }
    int size() const { return frames.size(); }
    void clear() { frames.clear(); }

private:
    QQueue<QByteArray*> frames;
};

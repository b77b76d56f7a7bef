#pragma once

#include <QtGlobal>

// State bits of the transport. Only the GUI thread touches them.
class ComStateFlags
{
public:
    enum Bit : quint8 { HostSet = 1, Connected = 2, SenderBusy = 4, ReceiverBusy = 8 };

    // All given bits set; test(0) is true when no bit is set.
    bool test(quint8 bits) const { return bits == 0 ? value == 0 : (value & bits) == bits; }
    // set(0) clears every bit.
    void set(quint8 bits) { value = bits == 0 ? 0 : quint8(value | bits); }
    void clear(quint8 bits)
    {
        // Without a connection nothing can be busy sending or receiving.
        if (bits & Connected)
            bits |= SenderBusy | ReceiverBusy;
        value = quint8(value & ~bits);
    }

private:
    quint8 value = 0;
};

#pragma once
// A countdown fault: after letting `after` events pass, the next `count` events fail
// (count -1 = every one from then on; count 0 = never).

struct SimFault
{
    int after = 0;
    int count = 0;

    void Set(int count_I, int after_I = 0)
    {
        count = count_I;
        after = after_I;
    }
    // True when this event is to fail.
    bool Consume()
    {
        if (count == 0)
            return false;
        if (after > 0) {
            --after;
            return false;
        }
        if (count > 0)
            --count;
        return true;
    }
};

#pragma once

#include "data/Progress.h"

#include <QStringList>

struct RecordingProgress : quilla::Progress
{
    void begin(const QString &caption, int total) override
    {
        captions.append(caption);
        totals.append(total);
        open = true;
    }
    void step(int increment, const QString &) override { steps += increment; }
    void end() override { open = false; }

    QStringList captions;
    QList<int> totals;
    int steps = 0;
    bool open = false;
};

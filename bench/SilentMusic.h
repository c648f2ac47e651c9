#pragma once

// The benchmarks measure the screen and the windows, not sound.
#include "platform/Music.h"

class SilentMusic : public quilla::Music
{
  public:
    bool playMusic(const QString &, bool) override { return false; }
    void stopMusic() override {}
    QString musicStatus() const override { return {}; }
};

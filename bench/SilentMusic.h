#pragma once

// The benchmarks measure the screen and the windows, not sound.
#include "platform/Music.h"

class SilentMusic : public quilla::Music
{
  public:
    bool PlayMusic(const QString &, bool) override { return false; }
    void StopMusic() override {}
    QString MusicStatus() const override { return {}; }
};

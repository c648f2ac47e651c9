#pragma once

// What the benchmarks share: a prompt that answers Yes and prints messages.
#include "data/Prompt.h"

#include <cstdio>

class BenchPrompt : public quilla::Prompt
{
  public:
    void message(const QString &text, Icon) override { std::fprintf(stderr, "%s\n", qPrintable(text)); }
    bool question(const QString &, Icon, Default) override { return true; }
};

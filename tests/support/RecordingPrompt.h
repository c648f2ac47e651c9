#pragma once

#include "data/Prompt.h"

#include <QList>
#include <QStringList>

// Records what the program would have said and answers questions from a script
// (No once the script runs out).
class RecordingPrompt : public quilla::Prompt
{
  public:
    void message(const QString &text, Icon icon = Icon::None) override
    {
        messages.append(text);
        icons.append(icon);
    }
    bool question(const QString &text, Icon icon = Icon::None, Default answer = Default::No) override
    {
        questions.append(text);
        defaults.append(answer);
        icons.append(icon);
        return answers.isEmpty() ? false : answers.takeFirst();
    }
    void clear()
    {
        messages.clear();
        questions.clear();
        icons.clear();
        defaults.clear();
        answers.clear();
    }

    QStringList messages;
    QStringList questions;
    QList<Icon> icons;
    QList<Default> defaults; // the answer each question offered for Enter
    QList<bool> answers;
};

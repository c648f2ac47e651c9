#pragma once

#include "screen/NumberFrame.h"

#include <QAction>
#include <QLabel>
#include <QTest>
#include <QTimer>

// The draw screen's parts, found as a user's tools find them: by name.
inline quilla::NumberFrame *frameOf(QWidget &screen)
{
    return screen.findChild<quilla::NumberFrame *>(QStringLiteral("numberFrame"));
}
// "boardTitle", "boardList"; the commands "drawMode", "endDraw", "deleteResults".
inline QLabel *labelOf(QWidget &screen, const char *name)
{
    return screen.findChild<QLabel *>(QString::fromLatin1(name));
}
// "frameSettings", "boardSettings", "hideBoard", "reverseBoard", "currentPrizeOnly".
inline QAction *actionOf(QWidget &screen, const char *name)
{
    return screen.findChild<QAction *>(QString::fromLatin1(name));
}
// "scrollTimer", "stopTimer".
inline QTimer *timerOf(QWidget &screen, const char *name)
{
    return screen.findChild<QTimer *>(QString::fromLatin1(name));
}
// A left click on one of the commands along the bottom, as the operator gives it.
inline void clickCommand(QWidget &screen, const char *name)
{
    QLabel *command = labelOf(screen, name);
    QTest::mouseClick(command, Qt::LeftButton, {}, command->rect().center());
}

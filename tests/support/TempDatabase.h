#pragma once

#include "RecordingPrompt.h"
#include "data/Database.h"

#include <QTemporaryDir>
#include <QTest>

// A fresh draw database in a temporary folder, with a recording prompt.
struct TempDatabase
{
    TempDatabase() : db(prompt)
    {
        QVERIFY(dir.isValid());
        path = dir.filePath(QStringLiteral("Data.mdb"));
        QVERIFY(db.openDatabase(path));
    }

    QTemporaryDir dir;
    QString path;
    RecordingPrompt prompt;
    quilla::Database db;
};

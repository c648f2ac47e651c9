// Opens the database given on the command line and commits one result, for the
// test that watches the commit's system calls. With --hold-lock it takes the
// database's lock as the program does, says "held" and waits to be killed; with
// --crash-inside-commit it makes a change that spills into the file before its commit,
// says "changed" and waits to be killed, as a crash inside a commit leaves it.
#include "data/Database.h"
#include "data/DatabaseLock.h"
#include "support/RecordingPrompt.h"

#include <QCoreApplication>
#include <QThread>

#include <sqlite3.h>

#include <cstdio>

using namespace quilla;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // Qt's arguments: Windows passes Chinese intact only that way.
    const QStringList args = app.arguments();
    if (args.size() < 2)
        return 2;
    const auto waitToBeKilled = [](const char *said) {
        std::puts(said);
        std::fflush(stdout);
        for (;;)
            QThread::sleep(60);
    };
    if (args.size() == 3 && args.at(1) == u"--hold-lock") {
        DatabaseLock lock(args.at(2));
        if (lock.acquire() != DatabaseLock::State::Held)
            return 1;
        waitToBeKilled("held");
    }
    if (args.size() == 4 && args.at(1) == u"--crash-inside-commit") {
        // A tiny cache spills the half-done change into the file.
        sqlite3 *raw = nullptr;
        if (sqlite3_open(args.at(2).toUtf8().constData(), &raw) != SQLITE_OK ||
            sqlite3_exec(raw, "PRAGMA cache_size=1; BEGIN;", nullptr, nullptr, nullptr) != SQLITE_OK ||
            sqlite3_exec(raw, args.at(3).toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
            return 1;
        waitToBeKilled("changed");
    }
    RecordingPrompt prompt;
    Database db(prompt);
    if (!db.openDatabase(args.at(1)))
        return 1;
    Database::Transaction transaction(db);
    Query rs = db.openQuery(Sql("SELECT * FROM 结果表 WHERE FALSE"));
    rs.addNew();
    rs.setValue(u"CID", 1);
    rs.setValue(u"号码", QStringLiteral("1001"));
    return rs.save() && transaction.commit() ? 0 : 1;
}

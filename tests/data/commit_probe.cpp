// Opens the database given on the command line and commits one result, for the
// test that watches the commit's system calls. With --hold-lock it takes the
// database's lock as the program does, says "held" and waits to be killed.
#include "data/Database.h"
#include "data/DatabaseLock.h"
#include "support/RecordingPrompt.h"

#include <QCoreApplication>
#include <QThread>

#include <cstdio>

using namespace quilla;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    if (argc == 3 && qstrcmp(argv[1], "--hold-lock") == 0) {
        DatabaseLock lock(QString::fromLocal8Bit(argv[2]));
        if (lock.acquire() != DatabaseLock::State::Held)
            return 1;
        std::puts("held");
        std::fflush(stdout);
        for (;;)
            QThread::sleep(60);
    }
    RecordingPrompt prompt;
    Database db(prompt);
    if (!db.OpenDatabase(QString::fromLocal8Bit(argv[1])))
        return 1;
    Database::Transaction transaction(db);
    Query rs = db.OpenQuery(Sql("SELECT * FROM 结果表 WHERE FALSE"));
    rs.addNew();
    rs.setValue(u"CID", 1);
    rs.setValue(u"号码", QStringLiteral("1001"));
    return rs.save() && transaction.commit() ? 0 : 1;
}

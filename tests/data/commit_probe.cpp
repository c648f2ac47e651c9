// Opens the database given on the command line and commits one result, for the
// test that watches the commit's system calls.
#include "data/Database.h"
#include "support/RecordingPrompt.h"

#include <QCoreApplication>

using namespace quilla;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
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

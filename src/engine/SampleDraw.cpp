#include "SampleDraw.h"

#include "data/Database.h"

namespace quilla {

qint64 createSampleDraw(Database &db)
{
    // Surnames and given-name characters, combined in a fixed order: the same sample every time.
    static const QString surnames = QStringLiteral("王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗");
    static const QString given = QStringLiteral("明华建国文静丽强军敏杰婷磊洋勇艳涛娟超霞");
    constexpr int People = 200;
    Database::Transaction transaction(db);
    Query draws = db.openQuery(Sql("SELECT * FROM 奖次表 WHERE FALSE"));
    if (!db.isOpen() || !draws.isValid())
        return 0;
    draws.addNew();
    draws.setValue(u"抽奖内容", QString::fromUtf16(SampleDrawName));
    draws.setValue(u"速度", 450);
    if (!draws.save())
        return 0;
    const qint64 draw = draws.number(u"ID");
    struct Prize
    {
        const char16_t *name, *article;
        int places, perRound;
    };
    const Prize prizes[] = {{u"一等奖", u"笔记本电脑", 1, 1}, {u"二等奖", u"平板电脑", 3, 3}, {u"三等奖", u"购物卡", 10, 5}};
    Query prize = db.openQuery(Sql("SELECT * FROM 奖项表 WHERE FALSE"));
    int order = 0;
    for (const Prize &p : prizes) {
        prize.addNew();
        prize.setValue(u"CID", draw);
        prize.setValue(u"顺序", ++order);
        prize.setValue(u"名称", QString::fromUtf16(p.name));
        prize.setValue(u"奖品", QString::fromUtf16(p.article));
        prize.setValue(u"数量", p.places);
        prize.setValue(u"同时", p.perRound);
        prize.setValue(u"显示", true);
        if (!prize.save())
            return 0;
    }
    Query people = db.openQuery(Sql("SELECT * FROM 号码表 WHERE FALSE"));
    for (int i = 0; i < People; ++i) {
        people.addNew();
        people.setValue(u"CID", draw);
        people.setValue(u"号码", QStringLiteral("%1").arg(1001 + i));
        // Each surname meets each given character once: no two people share a name.
        const int surname = i % 20, round = i / 20;
        QString name = QString(surnames.at(surname)) + given.at((3 * round + surname) % 20);
        if (i % 3 != 0)
            name += given.at((i * 11 + 3) % 20);
        people.setValue(u"姓名", name);
        if (!people.save())
            return 0;
    }
    return transaction.commit() ? draw : 0;
}

} // namespace quilla

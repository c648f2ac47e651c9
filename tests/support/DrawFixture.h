#pragma once

#include "TempDatabase.h"
#include "engine/DrawEngine.h"

// Rows for engine tests, written the way the program appends them.
struct DrawFixture : TempDatabase
{
    DrawFixture() : engine(db) {}

    qint64 append(const char *table, const QList<std::pair<const char16_t *, QVariant>> &values)
    {
        quilla::Query rs = db.openQuery(quilla::Sql("SELECT * FROM ") + QString::fromUtf8(table) +
                                        quilla::Sql(" WHERE FALSE"));
        rs.addNew();
        for (const auto &[column, value] : values)
            rs.setValue(QStringView(column), value);
        if (!rs.save())
            return -1;
        return rs.number(u"ID");
    }

    qint64 addDraw(const QString &name = QStringLiteral("年会"))
    {
        return append("奖次表", {{u"抽奖内容", name}, {u"速度", 400}});
    }
    qint64 addPrize(qint64 draw, int order, const QString &name, qint64 quantity, qint64 perRound,
                    bool repeatable = false, const QString &article = QString(), bool show = true)
    {
        return append("奖项表", {{u"CID", draw},
                                 {u"顺序", order},
                                 {u"名称", name},
                                 {u"数量", quantity},
                                 {u"同时", perRound},
                                 {u"显示", show},
                                 {u"重复", repeatable},
                                 {u"奖品", article}});
    }
    qint64 addParticipant(qint64 draw, const QString &number, const QString &name = QString())
    {
        return append("号码表", {{u"CID", draw}, {u"号码", number}, {u"姓名", name}});
    }
    void addParticipants(qint64 draw, int count, int firstNumber = 1001)
    {
        quilla::Database::Transaction transaction(db);
        for (int i = 0; i < count; ++i)
            addParticipant(draw, QString::number(firstNumber + i), QStringLiteral("人%1").arg(i));
        transaction.commit();
    }
    qint64 addResult(qint64 draw, qint64 prize, const QString &number, const QString &name = QString())
    {
        return append("结果表", {{u"CID", draw}, {u"WID", prize}, {u"号码", number}, {u"姓名", name}});
    }
    void addPreset(qint64 draw, qint64 prize, const QString &code, const QString &name)
    {
        append("预设表", {{u"PID", draw}, {u"AID", prize}, {u"Code", code}, {u"Name", name}});
    }
    qint64 count(const char *table, const quilla::Sql &condition = quilla::Sql())
    {
        return db.countRows(QString::fromUtf8(table), condition);
    }

    quilla::DrawEngine engine;
};

// Records what the engine shows on the draw screen.
struct RecordingDisplay : quilla::DrawDisplay
{
    void setBoardTitle(const QString &text) override { title = text; }
    void setPicksText(const QString &text) override
    {
        picks = text;
        shown.append(text);
    }
    QString title;
    QString picks;
    QStringList shown; // every text the number frame showed, in order
};

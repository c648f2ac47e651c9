#pragma once

// What the draw screen's benchmarks share: waiting as the hall does, percentiles,
// and the operator's click on 开始抽奖.
#include "data/Database.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QList>
#include <QMouseEvent>

#include <algorithm>
#include <functional>

inline void waitMs(QApplication &app, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        app.processEvents(QEventLoop::AllEvents, 5);
}

inline double percentile(QList<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(std::min<qsizetype>(values.size() - 1, qsizetype(p * values.size())));
}

// A click on the screen's 开始抽奖 command: draw mode on.
inline void enterDrawMode(QWidget &screen)
{
    QLabel *drawMode = screen.findChild<QLabel *>(QStringLiteral("drawMode"));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 2), drawMode->mapToGlobal(QPointF(2, 2)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(drawMode, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(2, 2), drawMode->mapToGlobal(QPointF(2, 2)),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(drawMode, &release);
}

// A draw at full speed with one prize of 100 a round (quantity places) and
// participants people numbered from 13 800 000 000; gives the draw and the prize.
inline std::pair<qint64, qint64> addBenchDraw(quilla::Database &db, int participants, qint64 quantity,
                                              bool repeatable, const std::function<QString(int)> &name)
{
    using namespace quilla;
    Database::Transaction transaction(db);
    Query draws = db.openQuery(Sql("SELECT * FROM 奖次表 WHERE FALSE"));
    draws.addNew();
    draws.setValue(u"抽奖内容", QStringLiteral("年会"));
    draws.setValue(u"速度", 500);
    draws.save();
    const qint64 draw = draws.number(u"ID");
    Query prizes = db.openQuery(Sql("SELECT * FROM 奖项表 WHERE FALSE"));
    prizes.addNew();
    prizes.setValue(u"CID", draw);
    prizes.setValue(u"顺序", 1);
    prizes.setValue(u"名称", QStringLiteral("幸运奖"));
    prizes.setValue(u"数量", quantity);
    prizes.setValue(u"同时", 100);
    prizes.setValue(u"显示", true);
    prizes.setValue(u"重复", repeatable);
    prizes.save();
    const qint64 prize = prizes.number(u"ID");
    Query rs = db.openQuery(Sql("SELECT * FROM 号码表 WHERE FALSE"));
    for (int i = 0; i < participants; ++i) {
        rs.addNew();
        rs.setValue(u"CID", draw);
        rs.setValue(u"号码", QString::number(13'800'000'000LL + i));
        rs.setValue(u"姓名", name(i));
        rs.save();
    }
    transaction.commit();
    return {draw, prize};
}

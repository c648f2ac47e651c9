#include "engine/CandidatePool.h"

#include <QSet>
#include <QTest>

using namespace quilla;

namespace {

// Slots 1..size numbered 1001.., with the given slots out of play.
CandidatePool makePool(int size, const QSet<int> &outOfPlay = {})
{
    QList<Candidate> slots{Candidate()};
    for (int slot = 1; slot <= size; ++slot) {
        Candidate c;
        c.Id = slot;
        c.Number = outOfPlay.contains(slot) ? QString() : QString::number(1000 + slot);
        c.Name = QStringLiteral("人%1").arg(slot);
        c.PoolIndex = slot;
        slots.append(c);
    }
    CandidatePool pool;
    pool.assign(slots);
    return pool;
}

double chiSquare(const QList<qint64> &observed, double expected)
{
    double sum = 0;
    for (qint64 o : observed)
        sum += (o - expected) * (o - expected) / expected;
    return sum;
}

} // namespace

class TestCandidatePool : public QObject
{
    Q_OBJECT

  private Q_SLOTS:
    void shortagesAndDistinctNumbers()
    {
        std::mt19937_64 random(1);
        QList<Candidate> picks;

        CandidatePool three = makePool(3);
        three.pick(picks, 3, random);
        QSet<QString> numbers;
        for (const Candidate &c : picks)
            numbers.insert(c.Number);
        QCOMPARE(numbers, (QSet<QString>{"1001", "1002", "1003"}));
        for (const Candidate &c : picks)
            QCOMPARE(three.candidate(c.PoolIndex), c); // a copy of the slot, all fields

        three.pick(picks, 5, random);
        QCOMPARE(picks.size(), 5);
        QCOMPARE(picks.at(3).Number, ShortageMark);
        QCOMPARE(picks.at(4), ([] {
                     Candidate m;
                     m.Number = ShortageMark;
                     return m;
                 })());

        CandidatePool empty;
        empty.pick(picks, 2, random);
        QCOMPARE(picks.size(), 2);
        QCOMPARE(picks.at(0).Number, ShortageMark);
        QCOMPARE(picks.at(1).Number, ShortageMark);

        // Two participants share 1001: never both in one round, each as likely as the other.
        QList<Candidate> slots{Candidate()};
        for (const char *name : {"甲", "乙"})
            slots.append(
                {qint64(slots.size()), QStringLiteral("1001"), QString::fromUtf8(name), slots.size()});
        slots.append({3, QStringLiteral("1002"), QStringLiteral("丙"), 3});
        CandidatePool shared;
        shared.assign(slots);
        int first = 0;
        for (int round = 0; round < 2000; ++round) {
            shared.pick(picks, 3, random);
            QCOMPARE(picks.at(2).Number, ShortageMark);
            QVERIFY(picks.at(0).Number != picks.at(1).Number);
            for (const Candidate &c : std::as_const(picks))
                first += c.Name == QStringLiteral("甲");
        }
        QVERIFY2(first > 900 && first < 1100, qPrintable(QString::number(first)));
        for (qsizetype slot = 1; slot < slots.size(); ++slot)
            QCOMPARE(shared.candidate(slot), slots.at(slot)); // picking never changes the pool
    }

    // A big round compares numbers through a hash index: still no number twice,
    // however many candidates share one.
    void bigRoundsShowEachNumberOnce()
    {
        QList<Candidate> slots{Candidate()};
        for (int slot = 1; slot <= 40000; ++slot) {
            Candidate c;
            c.Number = QString::number(100000 + slot % 20000); // every number twice
            c.Name = QStringLiteral("人%1").arg(slot);
            c.PoolIndex = slot;
            slots.append(c);
        }
        CandidatePool pool;
        pool.assign(slots);
        std::mt19937_64 random(7);
        QList<Candidate> picks;
        pool.pick(picks, 25000, random);
        QSet<QString> numbers;
        for (qsizetype i = 0; i < 20000; ++i)
            numbers.insert(picks.at(i).Number);
        QCOMPARE(numbers.size(), 20000);
        for (qsizetype i = 20000; i < picks.size(); ++i)
            QCOMPARE(picks.at(i).Number, ShortageMark);
    }

    void withdrawnCandidatesAreNeverPicked()
    {
        std::mt19937_64 random(2);
        CandidatePool pool = makePool(100, {5, 6, 7});
        QCOMPARE(pool.inPlayCount(), 97);
        QSet<int> gone{5, 6, 7};
        for (int slot = 1; slot <= 100; slot += 3) {
            pool.withdraw(slot);
            gone.insert(slot);
        }
        pool.withdraw(1); // twice: no effect
        pool.withdraw(0); // out of range: no effect
        pool.withdraw(101);
        QCOMPARE(pool.inPlayCount(), 100 - gone.size());
        QList<Candidate> picks;
        for (int round = 0; round < 500; ++round) {
            pool.pick(picks, 10, random);
            for (const Candidate &c : std::as_const(picks))
                QVERIFY(!gone.contains(int(c.PoolIndex)));
        }
        pool.pick(picks, 100, random);
        const auto marks = std::count_if(picks.cbegin(), picks.cend(),
                                         [](const Candidate &c) { return c.Number == ShortageMark; });
        QCOMPARE(marks, 100 - pool.inPlayCount());
        QVERIFY(!pool.isInPlay(4));
    }

    // Single picks over a pool of 50 with out-of-play gaps must be uniform over
    // those in play: slot 1 and the candidate after a long gap get no extra share.
    void singlePicksAreUniform()
    {
        const QSet<int> gaps{2, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 30, 31, 45, 50};
        CandidatePool pool = makePool(50, gaps);
        const qsizetype inPlay = pool.inPlayCount();
        QCOMPARE(inPlay, 35);
        std::mt19937_64 random(20261207);
        const int draws = 210'000;
        QList<qint64> counts(51, 0);
        QList<Candidate> picks;
        for (int i = 0; i < draws; ++i) {
            pool.pick(picks, 1, random);
            ++counts[picks.at(0).PoolIndex];
        }
        QList<qint64> observed;
        for (int slot = 1; slot <= 50; ++slot) {
            if (gaps.contains(slot))
                QCOMPARE(counts.at(slot), 0);
            else
                observed.append(counts.at(slot));
        }
        const double expected = double(draws) / inPlay;
        // χ² with 34 degrees of freedom: 65.25 is its 99.9 % point.
        const double chi = chiSquare(observed, expected);
        QVERIFY2(chi < 65.25, qPrintable(QString::number(chi)));
        const double sigma = std::sqrt(expected * (1 - 1.0 / inPlay));
        for (int slot : {1, 3, 20, 32, 46})
            QVERIFY2(
                std::abs(counts.at(slot) - expected) < 4 * sigma,
                qPrintable(
                    QStringLiteral("slot %1: %2 against %3").arg(slot).arg(counts.at(slot)).arg(expected)));
    }

    // Rounds of two: every pair of distinct candidates equally likely.
    void pairsAreUniform()
    {
        CandidatePool pool = makePool(12, {4, 9});
        std::mt19937_64 random(7);
        const int rounds = 90'000;
        QHash<std::pair<qint64, qint64>, qint64> pairs;
        QList<Candidate> picks;
        for (int i = 0; i < rounds; ++i) {
            pool.pick(picks, 2, random);
            QVERIFY(picks.at(0).Number != picks.at(1).Number);
            const qint64 a = picks.at(0).PoolIndex, b = picks.at(1).PoolIndex;
            ++pairs[{std::min(a, b), std::max(a, b)}];
        }
        QCOMPARE(pairs.size(), 45); // 10 in play
        // χ² with 44 degrees of freedom: 78.75 is its 99.9 % point.
        const double chi = chiSquare(pairs.values(), rounds / 45.0);
        QVERIFY2(chi < 78.75, qPrintable(QString::number(chi)));
    }
};

QTEST_GUILESS_MAIN(TestCandidatePool)
#include "tst_candidatepool.moc"

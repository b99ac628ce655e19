#include <thread>
#include <vector>

#include <QObject>
#include <QTest>

#include "ui/util/UiBridge.h"

namespace zandel {

using ui::UiBridge;

class UiBridgeTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Changes handed over while a turn pauses wait for its end, none lost and none out of order, and the first after
    // a quiet spell still goes over: a bridge whose turn stayed marked as posted would leave the window frozen.
    void changesFromARunArriveInOrderThroughPausesAndQuietSpells() {
        QObject context;
        UiBridge bridge(&context);
        std::vector<int> done;
        const auto post = [&](int from, int to) {
            std::thread run([&] {
                for (int i = from; i < to; ++i) {
                    bridge.Post([&done, i] { done.push_back(i); });
                }
            });
            run.join();
        };
        post(0, 1000);
        QTRY_COMPARE(done.size(), std::size_t{1000});
        post(1000, 1001); // at once after a turn: in its pause
        post(1001, 1002);
        QTRY_COMPARE(done.size(), std::size_t{1002});
        QTest::qWait(50); // a quiet spell: the pause is over
        post(1002, 1003);
        QTRY_COMPARE(done.size(), std::size_t{1003});
        int seen = 0;
        std::thread asks([&] { seen = bridge.Call([&] { return static_cast<int>(done.size()); }); });
        post(1003, 1010);
        QTRY_COMPARE(done.size(), std::size_t{1010});
        asks.join();
        QVERIFY(seen >= 1003);
        for (int i = 0; i < 1010; ++i) {
            QCOMPARE(done[static_cast<std::size_t>(i)], i);
        }
    }
};

} // namespace zandel

QTEST_MAIN(zandel::UiBridgeTest)
#include "UiBridgeTest.moc"

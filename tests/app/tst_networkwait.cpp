// The window's wait for a server: events go on while it waits, and a request
// to end the program does not cut the wait short.
#include "app/NetworkWait.h"

#include <QTest>
#include <QTimer>

#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

class TestNetworkWait : public QObject {
    Q_OBJECT

private slots:
    void waitsForTheSocket_data();
    void waitsForTheSocket();
};

void TestNetworkWait::waitsForTheSocket_data()
{
    QTest::addColumn<bool>("quit");
    QTest::newRow("answer arrives") << false;
    QTest::newRow("program asked to end meanwhile") << true;
}

void TestNetworkWait::waitsForTheSocket()
{
    QFETCH(bool, quit);
    int ends[2];
    QCOMPARE(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
    // The answer comes 400 ms on, from elsewhere.
    std::thread server([&ends] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        [[maybe_unused]] const auto written = ::write(ends[1], "x", 1);
    });
    int ticks = 0;
    QTimer ticking;
    connect(&ticking, &QTimer::timeout, [&ticks] { ++ticks; });
    ticking.start(20);
    if (quit)
        QTimer::singleShot(100, [] { QCoreApplication::exit(0); });
    const auto start = socketwait::Clock::now();
    networkwait::waitInWindow(ends[0], socketwait::Direction::Read, start + std::chrono::seconds(5));
    const auto waited = socketwait::Clock::now() - start;
    pollfd p { ends[0], POLLIN, 0 };
    const int ready = ::poll(&p, 1, 0);
    server.join();
    QCOMPARE(ready, 1); // the answer is there: the wait did not end early
    QVERIFY(waited < std::chrono::seconds(2));
    QVERIFY2(ticks >= (quit ? 3 : 10), qPrintable(QString::number(ticks))); // the events went on meanwhile
    ::close(ends[0]);
    ::close(ends[1]);
}

QTEST_MAIN(TestNetworkWait)
#include "tst_networkwait.moc"

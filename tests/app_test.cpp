// The socket a running instance listens on, and the decisions start-up
// makes before it opens a window.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstddef>
#include <cstring>
#include <thread>

#include <poll.h>
#include <pwd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include "app/session.h"
#include "platform/qt/qt_instance.h"
#include "tests/support/squatter.h"

using namespace dwellor;
using testsupport::Squatter;

namespace {

TEST(StartupTest, WaylandSessionsAreRecognised) {
    EXPECT_FALSE(app::isWaylandSession(false, nullptr, nullptr));
    EXPECT_FALSE(app::isWaylandSession(false, "", "x11"));
    EXPECT_TRUE(app::isWaylandSession(true, nullptr, nullptr));
    EXPECT_TRUE(app::isWaylandSession(false, "wayland-0", nullptr));
    EXPECT_TRUE(app::isWaylandSession(false, nullptr, "wayland"));
    // GNOME's own dwell click is named, wherever GNOME stands in the list.
    for (const char* gnome : {"GNOME", "ubuntu:GNOME", "GNOME:GNOME-Classic", "Pop:GNOME"})
        EXPECT_STREQ(app::waylandRefusal(gnome), app::kGnomeWaylandRefusal) << gnome;
    for (const char* other : {"", "KDE", "sway", "GNOME-Flashback:Unity", "XGNOME"})
        EXPECT_STREQ(app::waylandRefusal(other), app::kWaylandRefusal) << other;
    EXPECT_STREQ(app::waylandRefusal(nullptr), app::kWaylandRefusal);
    // KWin's backend only in a Wayland session of KDE's; not GNOME's.
    using B = app::WaylandBackend;
    EXPECT_EQ(app::waylandBackend("wayland-0", nullptr, "KDE"), B::KWin);
    EXPECT_EQ(app::waylandBackend(nullptr, "wayland", "neon:KDE"), B::KWin);
    EXPECT_EQ(app::waylandBackend(nullptr, "x11", "KDE"), B::None);
    EXPECT_EQ(app::waylandBackend("wayland-0", nullptr, "GNOME"), B::None);
    EXPECT_EQ(app::waylandBackend("wayland-0", nullptr, "KDEX"), B::Wlroots);
    EXPECT_EQ(app::waylandBackend("wayland-0", nullptr, "sway"), B::Wlroots);
    EXPECT_EQ(app::waylandBackend("wayland-1", nullptr, nullptr), B::Wlroots);
}

TEST(InstanceTest, DisplayKeysIgnoreTheScreenAndStayFileNames) {
    EXPECT_EQ(qt::displayKey(":0"), "0");
    EXPECT_EQ(qt::displayKey(":0.1"), "0");
    EXPECT_EQ(qt::displayKey("unix:0"), "0");
    EXPECT_EQ(qt::displayKey("localhost:10.0"), "localhost-10");
    EXPECT_EQ(qt::displayKey("../../x:1"), ".._.._x-1");
}

struct DisplayKeyCase {
    const char* display;
    const char* key;
};
void PrintTo(const DisplayKeyCase& c, std::ostream* os) { *os << '"' << c.display << '"'; }

class DisplayKeyTest : public ::testing::TestWithParam<DisplayKeyCase> {};

// Every spelling of one server gives one key, so one guard.
TEST_P(DisplayKeyTest, NamesTheServerTheDisplayReaches) {
    EXPECT_EQ(qt::displayKey(GetParam().display), GetParam().key) << GetParam().display;
}

INSTANTIATE_TEST_SUITE_P(Spellings, DisplayKeyTest,
                         ::testing::Values(DisplayKeyCase{":135", "135"}, DisplayKeyCase{":0135", "135"},
                                           DisplayKeyCase{":0135.2", "135"}, DisplayKeyCase{"unix:0135", "135"},
                                           DisplayKeyCase{":000", "0"}, DisplayKeyCase{":00.0", "0"},
                                           DisplayKeyCase{"Host:010.1", "host-10"},
                                           DisplayKeyCase{"host:x0", "host-x0"}),
                         [](const ::testing::TestParamInfo<DisplayKeyCase>& i) {
                             std::string name = std::to_string(i.index) + "_";
                             for (const char* c = i.param.display; *c; ++c) name += std::isalnum(*c) ? *c : '_';
                             return name;
                         });

// What may be found where the lock file goes.
enum class AtLock {
    Nothing, Empty, Garbage, DeadOwner, LiveNumberUnheld, DanglingSymlink, Fifo, Folder, HeldLock, NoFolder
};

struct LockCase {
    AtLock at;
    qt::LockFile::State expected;
};

std::string nameOf(AtLock a) {
    switch (a) {
        case AtLock::Nothing: return "Nothing";
        case AtLock::Empty: return "Empty";
        case AtLock::Garbage: return "Garbage";
        case AtLock::DeadOwner: return "DeadOwner";
        case AtLock::LiveNumberUnheld: return "LiveNumberUnheld";
        case AtLock::DanglingSymlink: return "DanglingSymlink";
        case AtLock::Fifo: return "Fifo";
        case AtLock::Folder: return "Folder";
        case AtLock::HeldLock: return "HeldLock";
        case AtLock::NoFolder: return "NoFolder";
    }
    return "?";
}
void PrintTo(const LockCase& c, std::ostream* os) { *os << nameOf(c.at); }

class LockFileTest : public ::testing::TestWithParam<LockCase> {};

TEST_P(LockFileTest, TakesOverWhatNoLiveProcessHolds) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("l.lock"));
    const QByteArray native = QFile::encodeName(path);
    auto write = [&](const QByteArray& content) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    };
    qt::LockFile other(path);
    switch (GetParam().at) {
        case AtLock::Nothing: break;
        case AtLock::Empty: write({}); break;  // left by a kill between making and writing it
        case AtLock::Garbage: write(QByteArray("\xff\x01garbage\n\n\n\n", 13)); break;
        case AtLock::DeadOwner: write("999999999\ndwellor\n" + QSysInfo::machineHostName().toUtf8() + '\n'); break;
        // The number of a running process (this one) is not enough: nobody holds the file.
        case AtLock::LiveNumberUnheld:
            write(QByteArray::number(QCoreApplication::applicationPid()) + '\n' +
                  QCoreApplication::applicationName().toUtf8() + '\n' + QSysInfo::machineHostName().toUtf8() + '\n');
            break;
        case AtLock::DanglingSymlink: ASSERT_EQ(symlink("/nonexistent/x", native.constData()), 0); break;
        case AtLock::Fifo: ASSERT_EQ(mkfifo(native.constData(), 0600), 0); break;  // must not block
        case AtLock::Folder: ASSERT_TRUE(QDir().mkdir(path)); break;
        case AtLock::HeldLock: ASSERT_EQ(other.take(), qt::LockFile::State::Ours); break;
        case AtLock::NoFolder: ASSERT_TRUE(dir.remove()); break;
    }
    qt::LockFile lock(path);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(lock.take(), GetParam().expected);
    EXPECT_LT(clock.elapsed(), 500);
    EXPECT_EQ(lock.problem().isEmpty(), GetParam().expected != qt::LockFile::State::Impossible)
        << lock.problem().toStdString();
    if (GetParam().expected == qt::LockFile::State::Ours) {
        // Taken for real: a second taker finds it held.
        EXPECT_EQ(qt::LockFile(path).take(), qt::LockFile::State::Held);
    }
}

using State = qt::LockFile::State;
INSTANTIATE_TEST_SUITE_P(
    Cases, LockFileTest,
    ::testing::Values(LockCase{AtLock::Nothing, State::Ours}, LockCase{AtLock::Empty, State::Ours},
                      LockCase{AtLock::Garbage, State::Ours}, LockCase{AtLock::DeadOwner, State::Ours},
                      LockCase{AtLock::LiveNumberUnheld, State::Ours}, LockCase{AtLock::DanglingSymlink, State::Ours},
                      LockCase{AtLock::Fifo, State::Ours}, LockCase{AtLock::Folder, State::Impossible},
                      LockCase{AtLock::HeldLock, State::Held}, LockCase{AtLock::NoFolder, State::Impossible}),
    [](const ::testing::TestParamInfo<LockCase>& i) { return nameOf(i.param.at); });

// The two guards together. Names are machine-wide: each test has a display of its own.
struct InstanceLockTest : ::testing::Test {
    QTemporaryDir dir;
    const QString display = QStringLiteral(":%1").arg(700000 + QCoreApplication::applicationPid() % 100000);
    using Claim = qt::InstanceLock::Claim;
};

TEST_F(InstanceLockTest, TheNameKeepsASecondStartOutWhateverTheFolderHolds) {
    qt::InstanceLock first(display, dir.path());
    ASSERT_EQ(first.claim(), Claim::Ours);
    EXPECT_EQ(first.weakness(), "");
    // Another spelling of the display, the files removed by a cleaner, no folder at all.
    EXPECT_EQ(qt::InstanceLock(QStringLiteral(":0") + display.mid(1) + ".0", dir.path()).claim(), Claim::Running);
    for (const QString& f : QDir(dir.path()).entryList(QDir::Files | QDir::System)) QFile::remove(dir.filePath(f));
    EXPECT_EQ(qt::InstanceLock(display, dir.path()).claim(), Claim::Running);
    EXPECT_EQ(qt::InstanceLock(display, QString()).claim(), Claim::Running);
    EXPECT_TRUE(QDir(dir.path()).isEmpty()) << "a start that found the instance took a lock";
}

TEST_F(InstanceLockTest, WithoutALockTheNameStillGuardsAndSaysSo) {
    qt::InstanceLock first(display, QString());
    ASSERT_EQ(first.claim(), Claim::Ours);
    EXPECT_TRUE(first.weakness().contains("no runtime folder")) << first.weakness().toStdString();
    EXPECT_EQ(first.weakness().count('\n'), 0);
    EXPECT_TRUE(first.socketPath().isEmpty());
    EXPECT_EQ(qt::InstanceLock(display, dir.path()).claim(), Claim::Running);
}

TEST_F(InstanceLockTest, ALockHeldWithoutTheNameIsAnotherInstanceAndNothingIsKept) {
    qt::LockFile held(dir.filePath("dwellor-" + qt::displayKey(display) + ".lock"));
    ASSERT_EQ(held.take(), qt::LockFile::State::Ours);
    qt::InstanceLock second(display, dir.path());
    EXPECT_EQ(second.claim(), Claim::Running);
    // It let go of the name again: once the holder is gone, a start is the instance.
    held.release();
    qt::InstanceLock third(display, dir.path());
    EXPECT_EQ(third.claim(), Claim::Ours);
    EXPECT_EQ(second.claim(), Claim::Running);
}

// Anyone may bind the name first. A squatter that takes no connections, or
// whose listener is another user, keeps no start waiting: the lock file
// decides, also where there is no runtime folder.
TEST_F(InstanceLockTest, ANameSquattedByAnotherDecidesNothing) {
    const std::string name = qt::InstanceLock(display, QString()).name().toStdString();
    {
        Squatter deaf(name, false, geteuid());
        ASSERT_TRUE(deaf.holding());
        qt::InstanceLock first(display, dir.path());
        ASSERT_EQ(first.claim(), Claim::Ours);
        EXPECT_TRUE(first.weakness().contains("the instance lock alone keeps")) << first.weakness().toStdString();
        EXPECT_FALSE(first.socketPath().isEmpty());
        EXPECT_EQ(qt::InstanceLock(display, dir.path()).claim(), Claim::Running);
    }
    if (geteuid() != 0) GTEST_SKIP() << "needs root to listen as another user";
    Squatter other(name, true, 65534);
    ASSERT_TRUE(other.holding());
    // No runtime folder: no $XDG_RUNTIME_DIR, and a file where Qt would make its own.
    const char* vars[] = {"XDG_RUNTIME_DIR", "TMPDIR", "XDG_CONFIG_HOME"};
    const QByteArray saved[] = {qgetenv(vars[0]), qgetenv(vars[1]), qgetenv(vars[2])};
    QFile(dir.filePath(QStringLiteral("runtime-") + QString::fromLocal8Bit(getpwuid(geteuid())->pw_name)))
        .open(QIODevice::WriteOnly);
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", QFile::encodeName(dir.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath("config")));
    qt::InstanceLock first(display), second(display);
    EXPECT_EQ(first.claim(), Claim::Ours);
    EXPECT_EQ(second.claim(), Claim::Running);
    EXPECT_FALSE(QDir(dir.filePath("config/Dwellor")).isEmpty());
    for (int i = 0; i < 3; ++i) saved[i].isNull() ? qunsetenv(vars[i]) : qputenv(vars[i], saved[i]);
}

// A running instance's socket, driven by real clients.
struct CommandServerTest : ::testing::Test {
    QTemporaryDir dir;
    QString path = dir.filePath("s");
    std::vector<std::string> received;
    static constexpr int kIdleMs = 300;
    qt::CommandServer server{[this](Command c) { received.push_back(nameOf(c)); }, kIdleMs};
    void SetUp() override {
        QString error;
        ASSERT_TRUE(server.listen(path, error)) << error.toStdString();
    }
    // What the server answers before it closes the connection.
    QByteArray exchange(const QByteArray& data) {
        QLocalSocket s;
        s.connectToServer(path);
        if (!s.waitForConnected(2000)) return "<no connection>";
        s.write(data);
        QByteArray reply;
        QElapsedTimer t;
        t.start();
        while (s.state() == QLocalSocket::ConnectedState && t.elapsed() < 3000) {
            QTest::qWait(5);
            reply += s.readAll();
        }
        return reply + s.readAll();
    }
};

TEST_F(CommandServerTest, AnswersKnownCommandsAndDropsEverythingElse) {
    EXPECT_EQ(exchange("toggle\n"), "ok\n");
    EXPECT_EQ(exchange("toggle\nquit\n"), "ok\n");  // one command per connection
    EXPECT_EQ(exchange("junk\n"), "");
    EXPECT_EQ(exchange(QByteArray(100, 'x')), "");  // oversized, no newline: dropped unread
    EXPECT_EQ(exchange(QByteArray(200, 'y') + "\n"), "");
    EXPECT_EQ(received, (std::vector<std::string>{"toggle", "toggle"}));

    QString error;
    EXPECT_EQ(qt::sendCommand(dir.filePath("nobody"), "toggle", 500, error), qt::SendResult::NoListener);
}

// What a sender is told is what happens.
TEST_F(CommandServerTest, ACommandIsCarriedOutOnlyIfItsSenderHeardSo) {
    // The server is held up (this thread serves it and is busy sending), so
    // the sender gives up; once the server runs again, the command still
    // queued is dropped. Watched for a whole idle period, the longest a
    // connection lives.
    QString error;
    EXPECT_EQ(qt::sendCommand(path, "toggle", 200, error), qt::SendResult::Failed);
    EXPECT_EQ(error, "no answer");
    EXPECT_FALSE(QTest::qWaitFor([&] { return !received.empty(); }, 2 * kIdleMs)) << "carried out after all";
    EXPECT_EQ(exchange("toggle\n"), "ok\n");

    // A start that held the claim only to find no instance ends without
    // accepting: the sender hears that it ended, not that it hung.
    const QString ending = dir.filePath("ending");
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    QFile::encodeName(ending).toStdString().copy(addr.sun_path, sizeof addr.sun_path - 1);
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(listener, 8), 0);
    std::thread end([listener] {
        pollfd p{listener, POLLIN, 0};
        poll(&p, 1, 5000);
        close(listener);
    });
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(qt::sendCommand(ending, "toggle", 3000, error), qt::SendResult::Ended);
    EXPECT_LT(clock.elapsed(), 2000);
    end.join();
}

TEST_F(CommandServerTest, SilentClientsNeitherBlockNorCrowdOutOthers) {
    // Clients that connect and never finish a line hold at most a few slots;
    // the event loop goes on serving.
    std::vector<std::unique_ptr<QLocalSocket>> idle;
    for (std::size_t i = 0; i < qt::CommandServer::kMaxConnections + 4; ++i) {
        idle.push_back(std::make_unique<QLocalSocket>());
        idle.back()->connectToServer(path);
        idle.back()->write("tog");
    }
    QTest::qWait(100);
    const auto dropped = std::count_if(idle.begin(), idle.end(), [](const auto& s) {
        return s->state() != QLocalSocket::ConnectedState;
    });
    EXPECT_GE(dropped, 4);
    // The rest are dropped once they have been silent for the idle time.
    const auto connected = [](const auto& s) { return s->state() == QLocalSocket::ConnectedState; };
    EXPECT_TRUE(QTest::qWaitFor([&] { return std::none_of(idle.begin(), idle.end(), connected); }, kIdleMs + 3000));
    idle.clear();
    // Their slots free up as they go.
    EXPECT_TRUE(QTest::qWaitFor([&] { return exchange("toggle\n") == "ok\n"; }, 3000));
}

// A connection from another process, made as `uid`, that sends "toggle";
// it exits 0 when answered "ok".
pid_t toggleFrom(const QByteArray& abstractName, uid_t uid) {
    sockaddr_un addr;
    const socklen_t len = testsupport::abstractAddress(abstractName.toStdString(), addr);
    const pid_t pid = fork();
    if (pid != 0) return pid;
    if (uid != geteuid() && setuid(uid) != 0) _exit(3);
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0) _exit(4);
    if (write(fd, "toggle\n", 7) != 7) _exit(5);
    char reply[3];
    _exit(read(fd, reply, 3) == 3 && std::memcmp(reply, "ok\n", 3) == 0 ? 0 : 1);
}

// Anyone may connect to an abstract name: only this user's commands count.
TEST_F(CommandServerTest, TheNameTakesCommandsFromThisUserOnly) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to connect as another user";
    qt::InstanceLock lock(QStringLiteral(":%1").arg(800000 + QCoreApplication::applicationPid() % 100000), QString());
    ASSERT_EQ(lock.claim(), qt::InstanceLock::Claim::Ours);
    QString error;
    ASSERT_TRUE(server.listen(lock.takeNameSocket(), error)) << error.toStdString();
    auto exitCode = [](pid_t pid) {
        int status = -1;
        EXPECT_TRUE(QTest::qWaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 5000));
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(exitCode(toggleFrom(lock.name(), 65534)), 1) << "another user's command was answered";
    EXPECT_TRUE(received.empty());
    EXPECT_EQ(exitCode(toggleFrom(lock.name(), geteuid())), 0);
    EXPECT_EQ(received, std::vector<std::string>{"toggle"});
}

}  // namespace

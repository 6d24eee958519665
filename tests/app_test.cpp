// The command line, the socket a running instance listens on, and the
// decisions start-up makes before it opens a window.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "app/command_line.h"
#include "app/session.h"
#include "platform/qt/qt_instance.h"

using namespace dwellor;
using dwellor::app::CommandLine;
using Action = CommandLine::Action;

namespace {

CommandLine parse(QStringList args) {
    args.prepend(QStringLiteral("/usr/bin/dwellor"));
    return app::parseCommandLine(args);
}

TEST(CommandLineTest, OptionsAndTheirMistakes) {
    EXPECT_EQ(parse({}).action, Action::Run);
    EXPECT_EQ(parse({"--help"}).action, Action::Help);
    EXPECT_EQ(parse({"-h"}).action, Action::Help);
    EXPECT_EQ(parse({"--version"}).action, Action::Version);
    EXPECT_TRUE(parse({"--help"}).helpText.startsWith("Usage: dwellor [options]"));

    const CommandLine run = parse({"--hidden", "--allow-xwayland", "-display", ":3"});
    EXPECT_EQ(run.action, Action::Run);
    EXPECT_TRUE(run.hidden);
    EXPECT_TRUE(run.allowXWayland);
    EXPECT_EQ(run.display, ":3");
    EXPECT_EQ(parse({"--display=:4"}).display, ":4");

    for (const char* c : {"toggle", "enable", "disable", "show", "quit"}) {
        const CommandLine r = parse({QStringLiteral("--") + c});
        EXPECT_EQ(r.action, Action::Remote) << c;
        EXPECT_EQ(r.remote, c);
    }
    EXPECT_EQ(parse({"--autostart", "on"}).action, Action::Autostart);
    EXPECT_TRUE(parse({"--autostart", "on"}).autostartOn);
    EXPECT_FALSE(parse({"--autostart=off"}).autostartOn);

    // Each of these is a usage error (exit 2), never a start.
    for (const QStringList& bad : std::vector<QStringList>{{"--bogus"},
                                                           {"-platform", "offscreen"},
                                                           {"stray"},
                                                           {"--toggle", "--quit"},
                                                           {"--autostart", "on", "--toggle"},
                                                           {"--autostart", "maybe"},
                                                           {"--autostart"},
                                                           {"-display"}}) {
        const CommandLine r = parse(bad);
        EXPECT_EQ(r.action, Action::Error) << bad.join(' ').toStdString();
        EXPECT_FALSE(r.error.isEmpty());
    }
}

TEST(StartupTest, WaylandSessionsAreRecognised) {
    EXPECT_FALSE(app::isWaylandSession(false, nullptr, nullptr));
    EXPECT_FALSE(app::isWaylandSession(false, "", "x11"));
    EXPECT_TRUE(app::isWaylandSession(true, nullptr, nullptr));
    EXPECT_TRUE(app::isWaylandSession(false, "wayland-0", nullptr));
    EXPECT_TRUE(app::isWaylandSession(false, nullptr, "wayland"));
}

TEST(InstanceTest, DisplayKeysIgnoreTheScreenAndStayFileNames) {
    EXPECT_EQ(qt::displayKey(":0"), "0");
    EXPECT_EQ(qt::displayKey(":0.1"), "0");
    EXPECT_EQ(qt::displayKey("unix:0"), "0");
    EXPECT_EQ(qt::displayKey("localhost:10.0"), "localhost-10");
    EXPECT_EQ(qt::displayKey("../../x:1"), ".._.._x-1");
}

// A running instance's socket, driven by real clients.
struct CommandServerTest : ::testing::Test {
    QTemporaryDir dir;
    QString path = dir.filePath("s");
    std::vector<std::string> received;
    static constexpr int kIdleMs = 300;
    qt::CommandServer server{[this](const std::string& c) {
                                 received.push_back(c);
                                 return c == "toggle";
                             },
                             kIdleMs};
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
    EXPECT_EQ(received, (std::vector<std::string>{"toggle", "toggle", "junk"}));

    QString error;
    EXPECT_EQ(qt::sendCommand(dir.filePath("nobody"), "toggle", 500, error), qt::SendResult::NoListener);
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
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return std::none_of(idle.begin(), idle.end(), [](const auto& s) { return s->state() == QLocalSocket::ConnectedState; }); },
        kIdleMs + 3000));
    idle.clear();
    // Their slots free up as they go.
    EXPECT_TRUE(QTest::qWaitFor([&] { return exchange("toggle\n") == "ok\n"; }, 3000));
}

}  // namespace

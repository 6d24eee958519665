#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sched.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QScreen>
#include <QTimer>
#include <QSettings>
#include <QLabel>
#include <QLineEdit>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include "platform/qt/ini_text.h"
#include "platform/qt/qt_autostart.h"
#include "platform/qt/qt_countdown_mark.h"
#include "platform/qt/qt_images.h"
#include "platform/qt/qt_settings.h"
#include "platform/qt/qt_timer.h"
#include "platform/qt/qt_tray.h"
#include "platform/qt/qt_window.h"
#include "platform/screen_place.h"
#include "settings/settings_store.h"

using namespace dwellor;
using namespace dwellor::qt;

namespace {

ControlDesc desc(const char* name, const char* text, Rect r = {0, 0, 60, 20}) {
    ControlDesc s;
    s.name = name;
    s.text = text;
    s.rect = r;
    return s;
}

struct QtControls : ::testing::Test {
    QtWindow window;
    void SetUp() override {
        window.setClientSize(188, 193);
        window.show();
    }
    // The window as Qt shows it, found as a user's tools find it.
    static QWidget* shown() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->windowType() == Qt::Window) return w;
        return nullptr;
    }
    static QWidget* control(const char* name) {
        QWidget* top = shown();
        return top ? top->findChild<QWidget*>(QLatin1String(name)) : nullptr;
    }
};

TEST_F(QtControls, TextBoxRaisesChangeInsideTheWriteAndReentersNested) {
    ITextBox& box = window.addTextBox(desc("Text2", "500"));
    std::vector<std::string> seen;
    int depth = 0, maxDepth = 0;
    box.onChange([&] {
        ++depth;
        maxDepth = std::max(maxDepth, depth);
        seen.push_back(box.text());
        if (box.text() == "1500") box.setText("500");  // the handler writes its own box
        --depth;
    });
    box.setText("500");  // the text it already holds: nothing
    EXPECT_TRUE(seen.empty());
    box.setText("1500");
    EXPECT_EQ(seen, (std::vector<std::string>{"1500", "500"}));
    EXPECT_EQ(maxDepth, 2);

    // A user's typing raises one change per keystroke.
    seen.clear();
    auto* edit = qobject_cast<QLineEdit*>(control("Text2"));
    edit->clear();
    seen.clear();
    QTest::keyClicks(edit, "300");
    EXPECT_EQ(seen, (std::vector<std::string>{"3", "30", "300"}));

    box.setVisible(false);
    EXPECT_FALSE(box.visible());
    box.setVisible(true);
    EXPECT_TRUE(box.visible());
}

TEST_F(QtControls, CheckBoxRaisesClickWhenItsValueChanges) {
    ICheckBox& box = window.addCheckBox(desc("Check2", "Enable Dragging"));
    int clicks = 0;
    std::vector<int> values;
    box.onClick([&] {
        ++clicks;
        values.push_back(box.value());
    });
    box.setValue(0);
    EXPECT_EQ(clicks, 0);
    box.setValue(1);
    box.setValue(1);
    EXPECT_EQ(values, (std::vector<int>{1}));
    QTest::mouseClick(control("Check2"), Qt::LeftButton, {}, QPoint(6, 10));
    EXPECT_EQ(values, (std::vector<int>{1, 0}));
}

TEST_F(QtControls, LabelClickAndColour) {
    ILabel& label = window.addLabel(desc("Label6", "R", {117, 160, 17, 17}));
    int clicks = 0;
    label.onClick([&] { ++clicks; });
    QWidget* w = control("Label6");
    QTest::mouseClick(w, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
    QTest::mouseClick(w, Qt::RightButton);
    EXPECT_EQ(clicks, 1);
    // Pressed on the label, released elsewhere: not a click.
    QTest::mousePress(w, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(50, 50));
    EXPECT_EQ(clicks, 1);

    label.setForeColour(kRed);
    EXPECT_EQ(label.foreColour(), kRed);
    EXPECT_EQ(w->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    label.setForeColour(0x00FF8000);  // 0x00BBGGRR
    EXPECT_EQ(w->palette().color(QPalette::WindowText), QColor(0, 0x80, 0xFF));
    label.setMouseIcon(42);
    EXPECT_EQ(label.mouseIcon(), 42u);
    EXPECT_EQ(w->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(QtControls, WindowCaptionIconAndState) {
    window.setCaption("Dwellor - Disabled");
    EXPECT_EQ(shown()->windowTitle(), "Dwellor - Disabled");
    window.setIcon(window.loadImage(Image::WindowIcon));
    const QList<QSize> sizes = shown()->windowIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
    EXPECT_EQ(shown()->size(), QSize(188, 193));

    int resizes = 0;
    window.onResize([&] { ++resizes; });
    window.setWindowState(WindowState::Minimised);
    EXPECT_EQ(window.windowState(), WindowState::Minimised);
    EXPECT_GE(resizes, 1);
    window.setVisible(false);
    window.setWindowState(WindowState::Normal);
    window.show();
    EXPECT_TRUE(window.visible());
    EXPECT_EQ(window.windowState(), WindowState::Normal);
}

QWidget* topLevel(const char* name) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String(name)) return w;
    return nullptr;
}

// The event loop runs `steps`, then one timer period more: a quit asked for
// by any of them ends it first, with status 0.
int runLoopWith(const std::function<void()>& steps) {
    QTimer::singleShot(0, steps);
    QTimer::singleShot(200, [] { QCoreApplication::exit(7); });
    return QCoreApplication::exec();
}

TEST(QtSecondWindow, HiddenUntilShownAClosedOneOnlyHidesAndItsCloseButtonAsksTheHandler) {
    QtWindow main;
    IWindow& settings = main.addWindow("Settings");
    ControlDesc big = desc("PeriodValue", "1000", {64, 32, 136, 48});
    big.large = true;
    settings.addLabel(big);
    settings.addButton(desc("Close", "Close"));
    QWidget* w = topLevel("Settings");
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(settings.visible());
    // A dialog of the main window, kept above, with no minimise or maximise box.
    EXPECT_EQ(w->windowType(), Qt::Dialog);
    EXPECT_EQ(w->parentWidget(), topLevel("Form1"));
    EXPECT_TRUE(w->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(w->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(w->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_NE(w->findChild<QWidget*>("Close"), nullptr);
    const QFont f = w->findChild<QLabel*>("PeriodValue")->font();
    EXPECT_EQ(f.pixelSize(), 28);
    EXPECT_TRUE(f.bold());

    int asked = 0;
    EXPECT_EQ(runLoopWith([&] {
                  settings.show();
                  w->close();  // no handler: it hides
                  EXPECT_FALSE(settings.visible());
                  settings.onCloseRequest([&] { ++asked; });
                  settings.show();
                  w->close();
                  EXPECT_TRUE(settings.visible());
                  settings.unload();
              }),
              7);
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(settings.visible());
}

// Paint and move events the mark's window gets.
struct EventCount : QObject {
    int paints = 0, moves = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        paints += e->type() == QEvent::Paint;
        moves += e->type() == QEvent::Move;
        return false;
    }
};

TEST(QtCountdownMarkTest, NeverTakesInputOrFocusSitsBesideThePointerAndRedrawsOnlyChanges) {
    QtWindow window;
    ICountdownMark& mark = window.addCountdownMark();
    QWidget* w = topLevel("CountdownMark");
    ASSERT_NE(w, nullptr);
    // A tool tip's window: override-redirect on X11, in no task bar, and left
    // out of the program's own windows.
    EXPECT_EQ(w->windowType(), Qt::ToolTip);
    for (Qt::WindowType f : {Qt::WindowTransparentForInput, Qt::WindowDoesNotAcceptFocus, Qt::BypassWindowManagerHint})
        EXPECT_TRUE(w->windowFlags() & f) << f;
    EXPECT_TRUE(w->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_FALSE(mark.shown());

    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const Rect screen{area.x(), area.y(), area.width(), area.height()};
    for (Point p : {Point{400, 300}, Point{2, 2}, Point{area.width() - 1, area.height() - 1}}) {
        mark.show(p, 0.25, false);
        EXPECT_TRUE(mark.shown());
        const Rect r = markPlace(p, screen, QtCountdownMark::kSize, QtCountdownMark::kPointerReach);
        EXPECT_EQ(w->geometry(), QRect(r.left, r.top, r.width, r.height)) << p.x << "," << p.y;
    }
    // A disc: no square corners.
    EXPECT_TRUE(w->mask().contains(QPoint(12, 12)));
    EXPECT_FALSE(w->mask().contains(QPoint(0, 0)));

    EventCount count;
    w->installEventFilter(&count);
    QCoreApplication::processEvents();
    count.paints = count.moves = 0;
    for (int i = 0; i < 5; ++i) {
        mark.show({400, 300}, 0.5, false);
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(count.moves, 1);
    EXPECT_EQ(count.paints, 1);
    mark.show({400, 300}, 0.5001, false);  // the same drawing
    QCoreApplication::processEvents();
    EXPECT_EQ(count.paints, 1);
    mark.show({400, 300}, 0.5, true);
    QCoreApplication::processEvents();
    EXPECT_EQ(count.paints, 2);
    w->removeEventFilter(&count);

    // Filled clockwise from the top: half full, the right half only; the
    // held mark in the middle.
    const auto bright = [](const QImage& img, int x0, int x1) {
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = x0; x < x1; ++x) n += img.pixelColor(x, y) == QColor(0xff, 0xd0, 0x1a);
        return n;
    };
    mark.show({400, 300}, 0.5, false);
    QImage img = w->grab().toImage();
    EXPECT_GT(bright(img, 13, 24), 10);
    EXPECT_EQ(bright(img, 0, 11), 0);
    EXPECT_NE(img.pixelColor(12, 12), QColor(0x30, 0xd0, 0xff));
    mark.show({400, 300}, 0.5, true);
    img = w->grab().toImage();
    EXPECT_EQ(img.pixelColor(12, 12), QColor(0x30, 0xd0, 0xff));

    mark.hide();
    EXPECT_FALSE(mark.shown());
    EXPECT_FALSE(w->isVisible());
}

TEST(QtTimer, PeriodZeroOrNegativeRaisesNoTicks) {
    QtTickTimer timer;
    int ticks = 0;
    timer.onTick([&] { ++ticks; });
    timer.setInterval(0);
    timer.setEnabled(true);
    EXPECT_FALSE(timer.running());
    QTest::qWait(1000);
    EXPECT_EQ(ticks, 0);
    timer.setInterval(-5);
    EXPECT_EQ(timer.interval(), -5);
    EXPECT_FALSE(timer.running());
    QTest::qWait(100);
    EXPECT_EQ(ticks, 0);
}

TEST(QtTimer, APeriodChangeAppliesAtOnce) {
    QtTickTimer timer;
    int ticks = 0;
    timer.onTick([&] { ++ticks; });
    timer.setInterval(60000);
    timer.setEnabled(true);
    EXPECT_TRUE(timer.running());
    QElapsedTimer clock;
    clock.start();
    timer.setInterval(50);
    // Four ticks long before the old period could give one, even on a
    // loaded machine.
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks >= 4; }, 5000));
    EXPECT_LT(clock.elapsed(), 5000);

    timer.setEnabled(false);
    const int before = ticks;
    QTest::qWait(200);
    EXPECT_EQ(ticks, before);
}

// What a tray host reports about the icon, turned into releases.
struct QtTrayReleases : ::testing::Test {
    QSystemTrayIcon icon;
    std::vector<TrayEvent> seen;
    TrayIconReleases releases{icon, [this](TrayEvent e) { seen.push_back(e); }};
};

TEST_F(QtTrayReleases, AStatusNotifierHostsActivationAndContextRequestAreTheReleases) {
    for (auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::Context, QSystemTrayIcon::DoubleClick,
                        QSystemTrayIcon::MiddleClick, QSystemTrayIcon::Unknown})
        emit icon.activated(reason);
    EXPECT_EQ(seen, (std::vector<TrayEvent>{TrayEvent::LeftRelease, TrayEvent::RightRelease}));
}

TEST_F(QtTrayReleases, OnAnXEmbedTrayOnlyReleasesOnTheIconsWidgetCount) {
    // Stands in for the widget Qt embeds into the tray.
    QWidget embedded;
    embedded.setObjectName(TrayIconReleases::kEmbeddedWidgetName);
    embedded.resize(22, 22);
    QWidget other;
    other.resize(22, 22);

    // Qt activates the icon on the press there: that is not the release.
    QTest::mousePress(&embedded, Qt::LeftButton, {}, QPoint(5, 5));
    emit icon.activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(seen.empty());
    QTest::mouseRelease(&embedded, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseClick(&embedded, Qt::RightButton, {}, QPoint(5, 5));
    QTest::mouseClick(&embedded, Qt::MiddleButton, {}, QPoint(5, 5));
    EXPECT_EQ(seen, (std::vector<TrayEvent>{TrayEvent::LeftRelease, TrayEvent::RightRelease}));

    // Released away from the icon, or on another widget: no click on it.
    seen.clear();
    QTest::mousePress(&embedded, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(&embedded, Qt::LeftButton, {}, QPoint(40, 5));
    QTest::mouseClick(&other, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(seen.empty());
}

TEST(QtTray, WithoutANotificationAreaEverythingIsRefused) {
    QtTray tray;
    EXPECT_FALSE(tray.show(imageHandle(Image::WindowIcon), "Dwellor"));
    EXPECT_FALSE(tray.setImage(imageHandle(Image::Green)));
    EXPECT_FALSE(tray.remove());
}

// The settings store on real files, each test in a fresh folder.
struct SettingsFile : ::testing::Test {
    QTemporaryDir dir;
    QtSettings backend{dir.path()};
    SettingsStore store{backend};
    QString file() const { return dir.path() + "/Dwellor/Dwellor.conf"; }
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    void writeFile(const QByteArray& content) {
        QDir().mkpath(dir.path() + "/Dwellor");
        QFile f(file());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    QByteArray readFile() {
        QFile f(file());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

TEST_F(SettingsFile, FirstRunReadsDefaultsAndWritesNothing) {
    EXPECT_EQ(store.interval(), 1000);
    EXPECT_EQ(store.drag(), 0);
    EXPECT_TRUE(store.enabled());
    EXPECT_FALSE(QFile::exists(file()));
}

TEST_F(SettingsFile, RoundTripOnDiskWithThePlainTexts) {
    store.saveInterval(300);
    store.saveDrag(1);
    store.saveEnabled(false);
    // On disk the moment each call returns.
    const QByteArray content = readFile();
    EXPECT_TRUE(content.contains("[Program]")) << content.toStdString();
    EXPECT_TRUE(content.contains("Interval=300"));
    EXPECT_TRUE(content.contains("Drag=1"));
    EXPECT_TRUE(content.contains("Enabled=False"));
    EXPECT_EQ(store.interval(), 300);
    EXPECT_EQ(store.drag(), 1);
    EXPECT_FALSE(store.enabled());
    store.saveEnabled(true);
    EXPECT_TRUE(readFile().contains("Enabled=True"));
}

TEST_F(SettingsFile, JunkReadsAsDefaults) {
    writeFile("[Program]\nInterval=12abc\nDrag=2\nEnabled=yes\n");
    EXPECT_EQ(store.interval(), 1000);
    EXPECT_EQ(store.drag(), 0);
    EXPECT_TRUE(store.enabled());
}

TEST_F(SettingsFile, OutOfRangeAndListValuesReadAsDefaults) {
    writeFile("[Program]\nInterval=4294967296\nDrag=1,0\nEnabled=\"False,True\"\n");
    EXPECT_EQ(store.interval(), 1000);
    EXPECT_EQ(store.drag(), 0);
    EXPECT_TRUE(store.enabled());
}

int warnings = 0;
void countWarnings(QtMsgType type, const QMessageLogContext&, const QString&) { warnings += type == QtWarningMsg; }

TEST_F(SettingsFile, AFolderThatCannotBeWrittenIsSkippedAndSaidOnce) {
    // A file where the folder should be: no one, not even root, can write below it.
    QFile blocker(dir.path() + "/Dwellor");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    warnings = 0;
    const QtMessageHandler previous = qInstallMessageHandler(countWarnings);
    store.saveInterval(300);
    store.saveEnabled(false);
    qInstallMessageHandler(previous);
    EXPECT_EQ(warnings, 1);
    EXPECT_EQ(store.interval(), 1000);
    EXPECT_TRUE(store.enabled());
}

// ---- What may be read and written as a settings file

using State = SettingsFileCheck::State;

bool makeFifo(const QString& path) { return mkfifo(QFile::encodeName(path).constData(), 0644) == 0; }

bool makeSocket(const QString& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    if (name.size() >= static_cast<qsizetype>(sizeof addr.sun_path)) return false;
    std::copy(name.begin(), name.end(), addr.sun_path);
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    const bool ok = fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    if (fd >= 0) close(fd);
    return ok;
}

// Keeps the target as written, relative or not.
bool makeLink(const QString& target, const QString& path) {
    return symlink(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()) == 0;
}

bool makeFile(const QString& path, qint64 size) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.resize(size);
}

// On while the entry exists; a refused write leaves it off.
TEST(QtAutostartTest, OnWhileTheEntryExists) {
    QTemporaryDir dir;
    const QByteArray old = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));
    QtAutostart autostart;
    EXPECT_TRUE(autostart.setEnabled(true));
    EXPECT_TRUE(autostart.enabled());
    EXPECT_TRUE(autostart.setEnabled(false));
    EXPECT_FALSE(autostart.enabled());
    ASSERT_TRUE(QDir(dir.path()).rmdir("autostart"));
    ASSERT_TRUE(makeFile(dir.path() + "/autostart", 0));  // where its folder goes
    EXPECT_FALSE(autostart.setEnabled(true));
    EXPECT_FALSE(autostart.enabled());
    old.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", old);
}

TEST_F(SettingsFile, OnlyARegularFileOrNothingPassesTheCheckAndNothingIsOpened) {
    struct Case {
        const char* name;
        std::function<bool(const QString& file)> make;  // given the settings file's path, its folder exists
        State state;
        QString culprit;  // relative to the case's folder
    };
    const auto link = [](const char* target) {
        return [target](const QString& file) { return makeLink(QString::fromUtf8(target), file); };
    };
    const std::vector<Case> cases{
        {"absent", [](const QString&) { return true; }, State::Absent, {}},
        {"regular", [](const QString& f) { return makeFile(f, 40); }, State::Regular, {}},
        {"exactly 64 KiB", [](const QString& f) { return makeFile(f, 64 * 1024); }, State::Regular, {}},
        {"one byte more", [](const QString& f) { return makeFile(f, 64 * 1024 + 1); }, State::TooLarge, {}},
        {"symlink to a regular file",
         [](const QString& f) { return makeFile(f + ".real", 40) && makeLink(f + ".real", f); },
         State::Regular,
         {}},
        {"dangling symlink", link("nowhere.conf"), State::Absent, {}},
        {"fifo", makeFifo, State::NotAFile, "Dwellor/Dwellor.conf"},
        {"symlink to a fifo", [](const QString& f) { return makeFifo(f + ".fifo") && makeLink(f + ".fifo", f); },
         State::NotAFile, "Dwellor/Dwellor.conf"},
        {"symlink to a device", link("/dev/null"), State::NotAFile, "Dwellor/Dwellor.conf"},
        {"socket", makeSocket, State::NotAFile, "Dwellor/Dwellor.conf"},
        {"folder", [](const QString& f) { return QDir().mkdir(f); }, State::NotAFile, "Dwellor/Dwellor.conf"},
        {"folder of it is a fifo",
         [](const QString& f) {
             const QString folder = QFileInfo(f).path();
             return QDir(folder).removeRecursively() && makeFifo(folder);
         },
         State::NotAFile, "Dwellor"},
        {"folder of it is a symlink to a folder",
         [](const QString& f) {
             const QString folder = QFileInfo(f).path();
             return QDir(folder).removeRecursively() && QDir().mkdir(folder + ".real") &&
                    makeFile(folder + ".real/Dwellor.conf", 40) && makeLink(folder + ".real", folder);
         },
         State::Regular, {}},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString base = dir.path() + "/" + QString::number(n++);
        const QString f = base + "/Dwellor/Dwellor.conf";
        ASSERT_TRUE(QDir().mkpath(base + "/Dwellor"));
        ASSERT_TRUE(c.make(f));
        const SettingsFileCheck got = checkSettingsFile(f, false);
        EXPECT_EQ(got.state, c.state);
        if (c.state == State::NotAFile) {
            EXPECT_EQ(got.path, base + "/" + c.culprit);
        }
        // Writing also looks at the lock file beside it.
        EXPECT_EQ(checkSettingsFile(f, true).state, c.state);
    }
}

TEST_F(SettingsFile, ALockFileQSettingsCouldNotTakeSkipsWritingOnly) {
    // QSettings would wait on it for good.
    writeFile("[Program]\nInterval=300\n");
    ASSERT_TRUE(makeFifo(file() + ".lock"));
    EXPECT_EQ(store.interval(), 300);
    store.saveInterval(500);
    EXPECT_EQ(readFile(), "[Program]\nInterval=300\n");
    EXPECT_EQ(checkSettingsFile(file(), true).path, file() + ".lock");
}

TEST_F(SettingsFile, ASymlinkToARegularFileIsReadWrittenAndStaysASymlink) {
    QDir().mkpath(dir.path() + "/dotfiles");
    QDir().mkpath(dir.path() + "/Dwellor");
    const QString real = dir.path() + "/dotfiles/Dwellor.conf";
    QFile r(real);
    ASSERT_TRUE(r.open(QIODevice::WriteOnly));
    r.write("[Program]\nInterval=300\n");
    r.close();
    ASSERT_TRUE(makeLink("../dotfiles/Dwellor.conf", file()));

    EXPECT_EQ(store.interval(), 300);
    store.saveDrag(1);
    EXPECT_EQ(std::filesystem::read_symlink(file().toStdString()), "../dotfiles/Dwellor.conf");
    EXPECT_TRUE(readFile().contains("Drag=1"));
    EXPECT_TRUE(readFile().contains("Interval=300"));
}

void setAge(const QString& path, int seconds) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(QDateTime::currentDateTime().addSecs(-seconds), QFileDevice::FileModificationTime));
}

// A write never deletes a lock a live writer holds, and never waits on one:
// a lock whose owner is gone, or that names none and is too old to be one
// being made, is taken over at once; any other puts writes off, said once,
// keeping only the newest value of each key, until it goes.
TEST_F(SettingsFile, LeftoverLocksAreTakenOverAndLiveOnesPutOffWithoutBlocking) {
    const QString lock = file() + ".lock";
    const QByteArray here = "\n" + QSysInfo::machineHostName().toUtf8() + "\n";
    struct Case {
        const char* name;
        QByteArray content;
        int age;
    };
    for (const Case& c : {Case{"empty, left by a killed write", "", 60}, Case{"garbage", "garbage\n\n\n", 60},
                          Case{"a process that is gone", "999999999\ndwellor" + here, 0},
                          Case{"a live process of another program", QByteArray::number(getpid()) + "\ndwellor" + here, 0}}) {
        SCOPED_TRACE(c.name);
        writeFile("[Program]\nInterval=300\n");
        QFile l(lock);
        ASSERT_TRUE(l.open(QIODevice::WriteOnly));
        l.write(c.content);
        l.close();
        setAge(lock, c.age);
        store.saveDrag(1);
        EXPECT_EQ(readFile(), "[Program]\nDrag=1\nInterval=300\n");
        EXPECT_FALSE(QFile::exists(lock));
        EXPECT_FALSE(backend.pending());
    }

    // An empty lock just made is someone's being written.
    ASSERT_TRUE(makeFile(lock, 0));
    store.saveDrag(0);
    EXPECT_EQ(backend.pending(), 1u);
    setAge(lock, 2);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !backend.pending(); }, 3 * QtSettings::kRetryMs));
    EXPECT_EQ(readFile(), "[Program]\nDrag=0\nInterval=300\n");

    QLockFile live(lock);
    ASSERT_TRUE(live.tryLock(0));
    setAge(lock, 60);
    warnings = 0;
    const QtMessageHandler previous = qInstallMessageHandler(countWarnings);
    QElapsedTimer clock;
    clock.start();
    store.saveEnabled(false);
    for (int i = 0; i < 2000; ++i) store.saveInterval(i % 2 ? 700 : 800);
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(backend.pending(), 2u);
    EXPECT_EQ(store.interval(), 700);  // read back from what waits
    // Retried, and still put off while it is held.
    EXPECT_FALSE(QTest::qWaitFor([&] { return readFile() != "[Program]\nDrag=0\nInterval=300\n"; },
                                 2 * QtSettings::kRetryMs + 100));
    qInstallMessageHandler(previous);
    EXPECT_EQ(warnings, 1);
    EXPECT_TRUE(QFile::exists(lock));
    live.unlock();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !backend.pending(); }, 3 * QtSettings::kRetryMs));
    EXPECT_EQ(readFile(), "[Program]\nDrag=0\nEnabled=False\nInterval=700\n");
}

// Files beside the settings are not Dwellor's, whatever their names; and a
// save that would make a file too large to be read again is not made.
TEST_F(SettingsFile, OnlyTheSettingsFileIsTouchedAndNeverMadeTooLarge) {
    writeFile("[Program]\nInterval=300\n");
    const QStringList beside{".backup", ".123456", ".bak.01", ".aB3xYz", ".lock.1"};
    for (const QString& tail : beside) ASSERT_TRUE(makeFile(file() + tail, 10));
    store.saveDrag(1);
    EXPECT_EQ(readFile(), "[Program]\nDrag=1\nInterval=300\n");
    for (const QString& tail : beside) EXPECT_TRUE(QFile::exists(file() + tail)) << tail.toStdString();

    const QByteArray big = "[Other]\nBig=" + QByteArray(64 * 1024 - 30, 'x') + "\n";
    writeFile(big + "[Program]\n");
    ASSERT_LE(readFile().size(), 64 * 1024);
    warnings = 0;
    const QtMessageHandler previous = qInstallMessageHandler(countWarnings);
    store.saveEnabled(false);
    store.saveInterval(777);
    qInstallMessageHandler(previous);
    EXPECT_EQ(warnings, 1);
    EXPECT_EQ(readFile(), big + "[Program]\n");
    EXPECT_EQ(checkSettingsFile(file(), false).state, SettingsFileCheck::Regular);
}

// The disk filling up while the settings are written leaves the old file.
// A small file system of its own, in a mount namespace of its own (root).
TEST_F(SettingsFile, AWriteThatFailsLeavesTheOldFileAndIsSaidOnce) {
    const QByteArray old = "[Program]\nDrag=1\nEnabled=True\nInterval=300\n";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Exit codes: 0 kept and said once, 1 lost, 2 not said once, 3 no file system to fill.
        const QByteArray mount = QFile::encodeName(dir.path() + "/Dwellor");
        if (unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            !QDir().mkpath(dir.path() + "/Dwellor") ||
            ::mount("tmpfs", mount.constData(), "tmpfs", 0, "size=8k") != 0)
            _exit(3);
        writeFile(old);
        QFile filler(dir.path() + "/Dwellor/filler");
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) _exit(3);
        while (filler.write(QByteArray(512, 'f')) > 0) {}
        filler.close();
        warnings = 0;
        qInstallMessageHandler(countWarnings);
        for (int i = 0; i < 3; ++i) store.saveEnabled(i % 2);
        _exit(readFile() != old ? 1 : warnings != 1 ? 2 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "no small file system can be mounted here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the old file was lost, 2: not said exactly once";
}

// Two Dwellors and another program using QSettings write one file at the
// same time, the Dwellors first taking over the lock a killed write left:
// every key each of them wrote is there at the end.
TEST_F(SettingsFile, WritersOnOneFileLoseNothing) {
    writeFile("[Program]\nInterval=300\n");
    ASSERT_TRUE(makeFile(file() + ".lock", 0));
    setAge(file() + ".lock", 60);
    std::vector<std::unique_ptr<QProcess>> writers;
    for (const char* how : {"dwellor", "dwellor", "qsettings"}) {
        auto& p = writers.emplace_back(std::make_unique<QProcess>());
        p->start(QStringLiteral(SETTINGS_WRITER),
                 {how, dir.path(), QStringLiteral("K%1_").arg(writers.size()), QStringLiteral("150")});
    }
    for (auto& p : writers) {
        ASSERT_TRUE(p->waitForFinished(60000));
        EXPECT_EQ(p->exitCode(), 0) << p->readAllStandardError().toStdString();
    }
    QSettings result(file(), QSettings::IniFormat);
    EXPECT_EQ(result.value("Program/Interval").toString(), "300");
    for (int w = 1; w <= 3; ++w)
        for (int i = 0; i < 150; ++i) {
            const QString key = QStringLiteral("Program/K%1_%2").arg(w).arg(i);
            ASSERT_EQ(result.value(key).toString(), QString::number(i)) << key.toStdString();
        }
}

// Dwellor reads every settings text as QSettings reads it, and writes what
// QSettings writes.
TEST(IniText, ReadsAndWritesAsQSettingsDoes) {
    QTemporaryDir dir;
    const QString path = dir.filePath("t.conf");
    const std::vector<std::string> texts{
        "",
        "[Program]\nInterval=777\n",
        "\xef\xbb\xbf[Program]\nEnabled=False\nInterval=777\n",
        "[ Program ]\nInterval=777\n",
        "[Program] ; mine\nInterval=777 ; ms\nEnabled=False # no\n",
        "[Program]\nInterval=100\nInterval=777\n[Program]\nEnabled=False\n",
        "[Program]\r\nInterval = \"777\"\r\nDrag=1,0\r\n",
        "[program]\nInterval=5\n[Program]\nInterval=777\n",
        "; kept?\n[General]\nInterval=5\n\n[Program]\nDrag = 1\nEnabled=\"False\"\n",
        "[Program]\nInterval=7\\\n77\nEnabled=@Invalid()\nDrag=@Variant(junk)\n",
        "Interval=5\n[Program\nInterval=6\n",
        "junk without newline",
        "[Program]\nName=\\x41\\n\\\"%41\n",
    };
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(text.data(), static_cast<qint64>(text.size()));
        }
        QSettings qs(path, QSettings::IniFormat);
        for (const char* key : {"Interval", "Enabled", "Drag", "Name"}) {
            const QString k = QStringLiteral("Program/") + key;
            const std::optional<std::string> want =
                qs.contains(k) ? std::optional(qs.value(k).toString().toStdString()) : std::nullopt;
            EXPECT_EQ(iniValue(text, "Program", key), want) << key;
        }
        qs.setValue("Program/Enabled", "True");
        qs.sync();
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(iniWithValues(text, {{"Program", "Enabled", "True"}}), f.readAll().toStdString());
    }
}

}  // namespace

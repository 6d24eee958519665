#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "platform/qt/qt_images.h"
#include "platform/qt/qt_settings.h"
#include "platform/qt/qt_timer.h"
#include "platform/qt/qt_tray.h"
#include "platform/qt/qt_window.h"
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
    auto* edit = static_cast<QLineEdit*>(window.child("Text2"));
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
    QTest::mouseClick(window.child("Check2"), Qt::LeftButton, {}, QPoint(6, 10));
    EXPECT_EQ(values, (std::vector<int>{1, 0}));
}

TEST_F(QtControls, LabelClickAndColour) {
    ILabel& label = window.addLabel(desc("Label6", "R", {117, 160, 17, 17}));
    int clicks = 0;
    label.onClick([&] { ++clicks; });
    QWidget* w = window.child("Label6");
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
    EXPECT_EQ(window.widget()->windowTitle(), "Dwellor - Disabled");
    window.setIcon(window.loadImage(Image::WindowIcon));
    const QList<QSize> sizes = window.widget()->windowIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
    EXPECT_EQ(window.widget()->size(), QSize(188, 193));

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
    QtSettings backend;
    SettingsStore store{backend};
    QString file() const { return dir.path() + "/Dwellor/Dwellor.conf"; }
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    }
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

TEST_F(SettingsFile, AFolderThatCannotBeWrittenIsSkippedQuietly) {
    // A file where the folder should be: no one, not even root, can write below it.
    QFile blocker(dir.path() + "/Dwellor");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    store.saveInterval(300);
    store.saveEnabled(false);
    EXPECT_EQ(store.interval(), 1000);
    EXPECT_TRUE(store.enabled());
}

}  // namespace

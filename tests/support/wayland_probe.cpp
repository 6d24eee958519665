// A maximised window without a frame, all of the screen, that logs every button press and release it gets,
// with the button and where (its own pixels are the screen's), one a line on
// standard output: "press 1 412 300". "ready" once it is shown.
#include <cstdio>

#include <QApplication>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>

namespace {

class Probe final : public QWidget {
protected:
    void mousePressEvent(QMouseEvent* e) override { log("press", e); }
    void mouseReleaseEvent(QMouseEvent* e) override { log("release", e); }
    void mouseDoubleClickEvent(QMouseEvent* e) override { log("press", e); }

private:
    static void log(const char* what, const QMouseEvent* e) {
        std::printf("%s %d %d %d\n", what, e->button() == Qt::RightButton ? 3 : 1, qRound(e->position().x()),
                    qRound(e->position().y()));
        std::fflush(stdout);
    }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    Probe probe;
    probe.setWindowTitle(QStringLiteral("probe"));
    // Not full screen: KWin would stack it above windows kept above.
    probe.setWindowFlag(Qt::FramelessWindowHint);
    probe.showMaximized();
    QTimer::singleShot(0, [] {
        std::puts("ready");
        std::fflush(stdout);
    });
    return app.exec();
}

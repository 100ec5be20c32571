// A native Wayland client of the tests' own that shows COUNT top-level windows (default 1)
// whose application ID is the one given, until it is ended. It prints "shown" once the
// compositor asked it to draw a window, which it does only for a window it manages.

#include <QGuiApplication>
#include <QPainter>
#include <QRasterWindow>
#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

namespace {
class PlainWindow : public QRasterWindow {
protected:
    void paintEvent(QPaintEvent *) override {
        QPainter(this).fillRect(QRect(QPoint(), size()), Qt::darkCyan);
        if (!std::exchange(s_shown, true)) {
            std::puts("shown");
            std::fflush(stdout);
        }
    }

private:
    static inline bool s_shown = false;
};
} // namespace

int main(int argc, char **argv) {
    QGuiApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() < 2) {
        return 2;
    }
    // Qt's Wayland platform gives its windows this as their application ID.
    QGuiApplication::setDesktopFileName(arguments.at(1));
    const int count = arguments.size() > 2 ? arguments.at(2).toInt() : 1;
    std::vector<std::unique_ptr<PlainWindow>> windows;
    for (int i = 0; i < count; ++i) {
        windows.push_back(std::make_unique<PlainWindow>());
        windows.back()->resize(120, 80);
        windows.back()->show();
    }
#ifdef QOLVI_NAMED_CLIENT
    // Code of its own, so that the other build of this file is no copy of this one.
    qInfo("named client, %lld windows", static_cast<long long>(windows.size()));
#endif
    return QGuiApplication::exec();
}

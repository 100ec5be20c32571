// Starts a program and tells how long it took to put its first pixels on an X screen whose
// root is black: "PID MILLISECONDS", to a tenth of a millisecond. The program is left running for
// the caller to measure.

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <cstdio>
#include <unistd.h>

namespace {

bool anythingDrawn(QScreen *screen) {
    // Without a window manager a new window opens at the top left corner.
    const QImage corner = screen->grabWindow(0, 0, 0, 48, 48).toImage();
    for (int y = 0; y < corner.height(); ++y) {
        for (int x = 0; x < corner.width(); ++x) {
            if ((corner.pixel(x, y) & 0xffffffU) != 0) {
                return true;
            }
        }
    }
    return false;
}

} // namespace

int main(int argc, char **argv) {
    QGuiApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "Usage: firstpixels PROGRAM [ARGUMENT]...\n");
        return 2;
    }
    QScreen *screen = QGuiApplication::primaryScreen();
    if (anythingDrawn(screen)) {
        std::fprintf(stderr, "firstpixels: the screen is not black to begin with\n");
        return 1;
    }
    QElapsedTimer clock;
    clock.start();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execv(argv[1], argv + 1);
        ::_exit(127);
    }
    while (!anythingDrawn(screen)) {
        if (clock.elapsed() > 30000) {
            std::fprintf(stderr, "firstpixels: nothing drawn in 30 s\n");
            return 1;
        }
        QThread::usleep(500);
    }
    std::printf("%d %.1f\n", pid, static_cast<double>(clock.nsecsElapsed()) / 1e6);
    return 0;
}

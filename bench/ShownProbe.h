#pragma once

// Reports the moment a window is on screen, for the start-up measurement:
// after the window's first paint has been handled and the event loop has come
// round once more (the frame is then flushed to the screen), the time of the
// monotonic clock is written to standard output as "shown <nanoseconds>" and
// the program ends, after a line "cpu <nanoseconds>" with the processor
// time the process has used so far (user and system) and a line "peak <KiB>"
// with its peak resident memory so far.

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/resource.h>

namespace plivan::bench {

// The high-water mark of this process's resident memory (VmHWM), in KiB. It
// belongs to the program image alone: unlike the ru_maxrss that a parent
// reads from wait4(), it never includes the parent's memory, which a child
// started with vfork or fork carries into exec.
inline long PeakResidentKiB()
{
    long kib = -1;
    if (std::FILE *status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status)) {
            if (std::strncmp(line, "VmHWM:", 6) == 0) {
                kib = std::strtol(line + 6, nullptr, 10);
                break;
            }
        }
        std::fclose(status);
    }
    return kib;
}

inline void PrintPeak()
{
    std::printf("peak %ld\n", PeakResidentKiB());
    std::fflush(stdout);
}

class ShownProbe : public QObject {
public:
    // Lives as long as `window`, or less.
    explicit ShownProbe(QWidget &window)
        : QObject(&window)
    {
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !painted) {
            painted = true;
            QTimer::singleShot(0, [] {
                timespec now {};
                clock_gettime(CLOCK_MONOTONIC, &now);
                rusage usage {};
                getrusage(RUSAGE_SELF, &usage);
                const auto ns = [](const timeval &t) {
                    return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_usec * 1000LL;
                };
                std::printf("shown %lld\ncpu %lld\n",
                    static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec,
                    ns(usage.ru_utime) + ns(usage.ru_stime));
                PrintPeak();
                QCoreApplication::exit(0);
            });
        }
        return false;
    }

private:
    bool painted = false;
};

} // namespace plivan::bench

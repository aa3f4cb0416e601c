#include <sched.h>
#include <unistd.h>

#include <csignal>

#include "hw/hw.h"

namespace hw {

int SetAffinity(pid_t pid, std::size_t maskBytes, const void* mask) {
    return ::sched_setaffinity(pid, maskBytes, static_cast<const cpu_set_t*>(mask));
}

unsigned SleepSeconds(unsigned seconds) {
    return ::sleep(seconds);
}

int SleepMicroseconds(useconds_t microseconds) {
    return ::usleep(microseconds);
}

int GetTimeOfDay(struct timeval* now) {
    return ::gettimeofday(now, nullptr);
}

unsigned Alarm(unsigned seconds) {
    return ::alarm(seconds);
}

void SetAlarmHandler(void (*handler)(int)) {
    std::signal(SIGALRM, handler);
}

}  // namespace hw

// Planted faults for the platform-access check: a deliverable that pokes a
// port and installs its own signal handlers. Every line the check must
// report ends in the comment "planted"; it must let the others pass.
#include <sys/io.h>  // planted

#include <csignal>

void OnSignal(int);

void Poke() {
    outb(0, 0x80);  // planted
}

void InstallHandlers() {
    std::signal(SIGTERM, OnSignal);  // planted
    signal(SIGHUP, OnSignal);        // planted
    struct sigaction action {};
    ::sigaction(SIGINT, &action, nullptr);  // planted
    sigaction(SIGQUIT, &action, nullptr);   // planted
}

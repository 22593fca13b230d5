#include "interrupt.h"

#include <csignal>
#include <initializer_list>

namespace capture {
namespace {

volatile std::sig_atomic_t stopSignal = 0;

extern "C" void NoteStop(int signal) { stopSignal = signal; }

}  // namespace

void InstallStopHandlers() {
    struct sigaction action {};
    action.sa_handler = NoteStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a blocked write returns EINTR
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

bool StopRequested() { return stopSignal != 0; }

}  // namespace capture

#include "platform/Terminal.h"

#include <cerrno>
#include <termios.h>
#include <unistd.h>

namespace plat {

bool inputIsTerminal() {
    return ::isatty(STDIN_FILENO) == 1;
}

std::optional<std::string> readInputLine(bool echo) {
    termios old{};
    bool restore = false;
    if (!echo && ::tcgetattr(STDIN_FILENO, &old) == 0) {
        termios quiet = old;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        restore = ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet) == 0;
    }
    // A byte at a time: nothing past the line end is taken from the input,
    // so a later question, or another program sharing it, gets the rest.
    std::string line;
    bool any = false;
    for (;;) {
        char c;
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        any = true;
        if (c == '\n') break;
        line.push_back(c);
    }
    if (restore) ::tcsetattr(STDIN_FILENO, TCSANOW, &old);
    if (!any) return std::nullopt;
    return line;
}

} // namespace plat

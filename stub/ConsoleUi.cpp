#include "stub/ConsoleUi.h"

#include <cstdio>

#include "stub/Os.h"

namespace sfx {

ConsoleUi::ConsoleUi() : terminal_(outputIsTerminal()) {}

std::optional<std::string> ConsoleUi::ask(const std::string& prompt) {
    endProgressLine();
    std::fputs(prompt.c_str(), stdout);
    std::fflush(stdout);
    std::string line;
    int c;
    while ((c = std::getchar()) != EOF && c != '\n') line += static_cast<char>(c);
    if (c == EOF && line.empty()) {
        std::fputs("\n", stdout);
        return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

Overwrite ConsoleUi::askOverwrite(const std::string& name) {
    for (;;) {
        auto a = ask("Replace existing " + name + "? [y]es, [n]o, [A]ll, [N]one: ");
        if (!a || *a == "N") return Overwrite::None;
        if (*a == "y" || *a == "Y") return Overwrite::Yes;
        if (*a == "n") return Overwrite::No;
        if (*a == "A") return Overwrite::All;
    }
}

std::optional<std::string> ConsoleUi::askPassword(const std::string& name, bool retry) {
    return ask(std::string(retry ? "Wrong password. " : "") + "Password for " + name +
               " (empty to skip): ");
}

void ConsoleUi::memberBegin(const std::string& name, std::uint64_t) {
    current_ = name;
    progressShown_ = false;
}

void ConsoleUi::memberProgress(int percent) {
    // Redrawn in place on a terminal; a log gets the result line only.
    if (!terminal_) return;
    std::printf("\r  %-60.60s %3d%%", current_.c_str(), percent);
    std::fflush(stdout);
    progressShown_ = true;
}

void ConsoleUi::endProgressLine() {
    if (progressShown_) std::printf("\r%72s\r", "");
    progressShown_ = false;
}

void ConsoleUi::memberEnd(const std::string& name, const std::string& error) {
    endProgressLine();
    if (error.empty()) {
        std::printf("  %-60s OK\n", name.c_str());
    } else {
        std::fflush(stdout);
        std::fprintf(stderr, "  %s: %s\n", name.c_str(), error.c_str());
    }
    std::fflush(stdout);
}

void ConsoleUi::notice(const std::string& text) {
    endProgressLine();
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

} // namespace sfx

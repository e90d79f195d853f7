#include "platform/Terminal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <optional>
#include <pty.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace plat;

namespace {

// Puts fd in place of standard input for the lifetime of the object.
class StdinFrom {
public:
    explicit StdinFrom(int fd) : saved_(::dup(STDIN_FILENO)) { ::dup2(fd, STDIN_FILENO); }
    ~StdinFrom() {
        ::dup2(saved_, STDIN_FILENO);
        ::close(saved_);
    }
    StdinFrom(const StdinFrom&) = delete;
    StdinFrom& operator=(const StdinFrom&) = delete;

private:
    int saved_;
};

bool echoOn(int fd) {
    termios t{};
    return ::tcgetattr(fd, &t) == 0 && (t.c_lflag & ECHO) != 0;
}

// What the terminal has shown so far.
std::string screen(int master) {
    std::string out;
    char buf[256];
    ssize_t n;
    while ((n = ::read(master, buf, sizeof buf)) > 0) out.append(buf, static_cast<std::size_t>(n));
    return out;
}

} // namespace

TEST(Terminal, PipedInputIsReadLineByLine) {
    int p[2];
    ASSERT_EQ(::pipe(p), 0);
    const std::string text = "first\n\nlast without end";
    ASSERT_EQ(::write(p[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(p[1]);
    {
        StdinFrom in(p[0]);
        EXPECT_FALSE(inputIsTerminal());
        EXPECT_EQ(readInputLine(true), std::optional<std::string>("first"));
        EXPECT_EQ(readInputLine(false), std::optional<std::string>(""));
        EXPECT_EQ(readInputLine(true), std::optional<std::string>("last without end"));
        EXPECT_EQ(readInputLine(true), std::nullopt);
    }
    ::close(p[0]);
}

TEST(Terminal, HiddenLinesAreNotEchoedAndTheTerminalIsRestored) {
    int master = -1, slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        GTEST_SKIP() << "no pseudo-terminal available";
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ASSERT_TRUE(echoOn(slave));
    {
        StdinFrom in(slave);
        EXPECT_TRUE(inputIsTerminal());

        // Typed while the reader waits, as a person would type.
        std::optional<std::string> got;
        std::thread reader([&] { got = readInputLine(false); });
        for (int i = 0; i < 500 && echoOn(slave); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        EXPECT_FALSE(echoOn(slave));
        ASSERT_EQ(::write(master, "secret\n", 7), 7);
        reader.join();
        EXPECT_EQ(got, std::optional<std::string>("secret"));
        EXPECT_TRUE(echoOn(slave));
        EXPECT_EQ(screen(master).find("secret"), std::string::npos);

        // With echo the terminal shows what is typed.
        ASSERT_EQ(::write(master, "shown\n", 6), 6);
        EXPECT_EQ(readInputLine(true), std::optional<std::string>("shown"));
        EXPECT_NE(screen(master).find("shown"), std::string::npos);
    }
    ::close(slave);
    ::close(master);
}

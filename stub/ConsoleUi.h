// The self-extractor's console front end: questions on standard input,
// progress and results on standard output, errors on standard error.
#pragma once

#include <optional>
#include <string>

#include "stub/Ui.h"

namespace sfx {

class ConsoleUi : public Ui {
public:
    ConsoleUi();
    // A line of input after showing `prompt`; nothing at the end of input.
    std::optional<std::string> ask(const std::string& prompt);

    Overwrite askOverwrite(const std::string& name) override;
    std::optional<std::string> askPassword(const std::string& name, bool retry) override;
    void memberBegin(const std::string& name, std::uint64_t size) override;
    void memberProgress(int percent) override;
    void memberEnd(const std::string& name, const std::string& error) override;
    void notice(const std::string& text) override;

private:
    void endProgressLine();
    bool terminal_;
    bool progressShown_ = false;
    std::string current_;
};

} // namespace sfx

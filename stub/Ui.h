// How the self-extractor talks to its user: questions, progress and
// results.  The console front end (ConsoleUi.cpp) serves both builds.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace sfx {

enum class Overwrite { Yes, No, All, None };

class Ui {
public:
    virtual ~Ui() = default;
    // An existing file is about to be replaced.
    virtual Overwrite askOverwrite(const std::string& name) = 0;
    // The password of an encrypted member; nothing skips the member.
    virtual std::optional<std::string> askPassword(const std::string& name, bool retry) = 0;
    virtual void memberBegin(const std::string& name, std::uint64_t size) = 0;
    virtual void memberProgress(int percent) = 0;
    // An empty error means the member was extracted and checked.
    virtual void memberEnd(const std::string& name, const std::string& error) = 0;
    virtual void notice(const std::string& text) = 0;
};

} // namespace sfx

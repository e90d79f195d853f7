#include "archive/core/Hooks.h"

#include <cstdio>

namespace {
std::function<void()>& pumpHook() {
    static std::function<void()> h;
    return h;
}
std::function<void(const std::string&)>& designHook() {
    static std::function<void(const std::string&)> h;
    return h;
}
std::function<bool(const std::string&, bool)>& messageHook() {
    static std::function<bool(const std::string&, bool)> h;
    return h;
}
std::function<int(const std::string&)>& iconHook() {
    static std::function<int(const std::string&)> h;
    return h;
}
std::function<std::string(const std::string&)>& typeHook() {
    static std::function<std::string(const std::string&)> h;
    return h;
}
} // namespace

void SetProcessMessagesHook(std::function<void()> hook) {
    pumpHook() = std::move(hook);
}

void ProcessMessages() {
    if (pumpHook()) pumpHook()();
}

void SetDesignMessageBoxHook(std::function<void(const std::string&)> hook) {
    designHook() = std::move(hook);
}

void ShowDesignMessageBox(const std::string& text) {
    if (designHook())
        designHook()(text);
    else
        std::fprintf(stderr, "%s\n", text.c_str());
}

void SetMessageBoxHook(std::function<bool(const std::string&, bool)> hook) {
    messageHook() = std::move(hook);
}

bool ShowMessageBox(const std::string& text, bool question) {
    if (messageHook()) return messageHook()(text, question);
    std::fprintf(stderr, "%s\n", text.c_str());
    return false;
}

void SetShellInfoHooks(std::function<int(const std::string&)> iconIndex,
                       std::function<std::string(const std::string&)> typeName) {
    iconHook() = std::move(iconIndex);
    typeHook() = std::move(typeName);
}

int ShellIconIndex(const std::string& name) {
    return iconHook() ? iconHook()(name) : -1;
}

std::string ShellTypeName(const std::string& name) {
    return typeHook() ? typeHook()(name) : std::string();
}

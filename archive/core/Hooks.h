// Process-wide hooks that the desktop program fills in; the engine works
// without them.
#pragma once

#include <functional>
#include <string>

// Lets pending window messages run once (the GUI sets it to its event loop).
void SetProcessMessagesHook(std::function<void()> hook);
void ProcessMessages();

// Shows an error text in a warning box while a component is designed.
void SetDesignMessageBoxHook(std::function<void(const std::string& text)> hook);
void ShowDesignMessageBox(const std::string& text);

// Shell icon index and type name by file name only (no disk access).
void SetShellInfoHooks(std::function<int(const std::string& name)> iconIndex,
                       std::function<std::string(const std::string& name)> typeName);
int ShellIconIndex(const std::string& name);        // -1 without a hook
std::string ShellTypeName(const std::string& name); // empty without a hook

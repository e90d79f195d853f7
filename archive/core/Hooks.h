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

// Message boxes of the components that show their own (the self-extractor
// inspector TUnSFX): the text, and whether it asks Yes or No.  The answer
// is true for Yes (and OK).  The program shows a box, the command line
// prints the text; without a hook the text goes to the standard error and
// a question is answered No.
void SetMessageBoxHook(std::function<bool(const std::string& text, bool question)> hook);
bool ShowMessageBox(const std::string& text, bool question = false);

// Shell icon index and type name by file name only (no disk access).
void SetShellInfoHooks(std::function<int(const std::string& name)> iconIndex,
                       std::function<std::string(const std::string& name)> typeName);
int ShellIconIndex(const std::string& name);        // -1 without a hook
std::string ShellTypeName(const std::string& name); // empty without a hook

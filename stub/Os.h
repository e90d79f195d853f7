// What the self-extractor needs of the operating system, one implementation
// per platform (OsPosix.cpp, OsWin32.cpp): its own file, reading it, and a
// target folder that extracted files are written into without ever leaving
// it, not even through a link that stands in it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sfx {

// A member's path below the target folder: plain names, none empty, "."
// or "..".
using PathParts = std::vector<std::string>;

// The program's own file (UTF-8); empty when it cannot be told.
std::string selfPath();
// The command line as UTF-8 strings, without the program name.
std::vector<std::string> commandLine(int argc, char** argv);
// Whether standard output is a terminal (progress is then redrawn in place).
bool outputIsTerminal();
// Makes the console show UTF-8 text.
void prepareConsole();
// Keeps a console window that was opened for this program alone (a
// double-click on Windows) until the user has read it.
void waitBeforeClosing();

class InFile {
public:
    InFile();
    ~InFile();
    InFile(const InFile&) = delete;
    InFile& operator=(const InFile&) = delete;

    bool open(const std::string& path);
    std::int64_t size() const { return size_; }
    // Reads up to n bytes at pos; the count read, 0 at the end, -1 on error.
    std::int64_t readAt(std::int64_t pos, void* buf, std::size_t n);

private:
    struct Handle;
    std::unique_ptr<Handle> h_;
    std::int64_t size_ = -1;
};

enum class EntryKind { None, File, Folder, Other };

class OutFile {
public:
    virtual ~OutFile() = default;
    virtual bool write(const std::uint8_t* buf, std::size_t n) = 0;
    // Sets the time stamp (DOS date-time, local) and the permissions (Unix
    // mode bits, 0 for none), then closes the file.
    virtual bool finish(std::uint32_t dosTime, unsigned unixMode, bool readOnly) = 0;
};

class Target {
public:
    virtual ~Target() = default;
    // Opens the target folder, creating it when missing.
    virtual bool open(const std::string& root) = 0;
    virtual EntryKind kind(const PathParts& path) = 0;
    virtual bool makeFolders(const PathParts& path) = 0;
    // A new file at path (its folders made); a file or link standing there
    // is replaced, never written through.  Null on failure.
    virtual std::unique_ptr<OutFile> create(const PathParts& path) = 0;
    virtual void remove(const PathParts& path) = 0;
    // The system's text for the last failure.
    virtual std::string lastError() const = 0;
};

std::unique_ptr<Target> makeTarget();

} // namespace sfx

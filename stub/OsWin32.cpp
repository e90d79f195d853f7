// The self-extractor's system layer on Windows.  Names are UTF-16 at the
// system calls; no file is written through a reparse point (a symbolic
// link or junction standing in the target folder is replaced, never
// followed), and name parts that Windows would read as devices, streams or
// drives are made plain.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <cwctype>

#include "platform/Utf.h"
#include "stub/Os.h"

namespace sfx {

namespace {

std::wstring wide(const std::string& s) {
    const std::u16string u = plat::utf8ToUtf16(s);
    return std::wstring(u.begin(), u.end());
}

std::string narrow(const std::wstring& w) {
    return plat::utf16ToUtf8(std::u16string(w.begin(), w.end()));
}

std::string systemText(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring w = n && text ? std::wstring(text, n) : L"error " + std::to_wstring(code);
    if (text) LocalFree(text);
    while (!w.empty() && (w.back() == L'\n' || w.back() == L'\r' || w.back() == L'.')) w.pop_back();
    return narrow(w);
}

// One part of a member's path as a plain Windows name.
std::wstring plainName(const std::string& part) {
    std::wstring w = wide(part);
    for (wchar_t& c : w)
        if (c < 0x20 || std::wcschr(L"<>:\"|?*/\\", c)) c = L'_';
    // Windows drops trailing dots and blanks, which would merge names.
    if (!w.empty() && (w.back() == L'.' || w.back() == L' ')) w.back() = L'_';
    std::wstring stem = w.substr(0, w.find(L'.'));
    for (wchar_t& c : stem) c = static_cast<wchar_t>(std::towupper(c));
    static const wchar_t* const kDevices[] = {L"CON",  L"PRN",  L"AUX",  L"NUL",  L"COM1", L"COM2",
                                              L"COM3", L"COM4", L"COM5", L"COM6", L"COM7", L"COM8",
                                              L"COM9", L"LPT1", L"LPT2", L"LPT3", L"LPT4", L"LPT5",
                                              L"LPT6", L"LPT7", L"LPT8", L"LPT9"};
    for (const wchar_t* d : kDevices)
        if (stem == d) return L"_" + w;
    return w;
}

} // namespace

std::string selfPath() {
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return {};
        if (n < buf.size()) return narrow(buf.substr(0, n));
        buf.resize(buf.size() * 2);
    }
}

std::vector<std::string> commandLine(int, char**) {
    std::vector<std::string> args;
    int n = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &n);
    if (!argv) return args;
    for (int i = 1; i < n; ++i) args.push_back(narrow(argv[i]));
    LocalFree(argv);
    return args;
}

bool outputIsTerminal() {
    return _isatty(_fileno(stdout)) != 0;
}

void prepareConsole() {
    SetConsoleOutputCP(CP_UTF8);
    SetConsoleCP(CP_UTF8);
}

void waitBeforeClosing() {
    DWORD ids[2];
    if (GetConsoleProcessList(ids, 2) != 1) return;
    std::printf("\nPress Enter to close this window.");
    std::fflush(stdout);
    std::getchar();
}

struct InFile::Handle {
    HANDLE h = INVALID_HANDLE_VALUE;
    ~Handle() {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};

InFile::InFile() = default;
InFile::~InFile() = default;

bool InFile::open(const std::string& path) {
    auto h = std::make_unique<Handle>();
    h->h = CreateFileW(wide(path).c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    LARGE_INTEGER size;
    if (h->h == INVALID_HANDLE_VALUE || !GetFileSizeEx(h->h, &size)) return false;
    size_ = size.QuadPart;
    h_ = std::move(h);
    return true;
}

std::int64_t InFile::readAt(std::int64_t pos, void* buf, std::size_t n) {
    if (!h_ || pos < 0) return -1;
    std::size_t done = 0;
    while (done < n) {
        OVERLAPPED at{};
        const std::uint64_t p = static_cast<std::uint64_t>(pos) + done;
        at.Offset = static_cast<DWORD>(p);
        at.OffsetHigh = static_cast<DWORD>(p >> 32);
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(n - done, 1u << 20));
        DWORD got = 0;
        if (!ReadFile(h_->h, static_cast<char*>(buf) + done, want, &got, &at)) {
            if (GetLastError() == ERROR_HANDLE_EOF) break;
            return -1;
        }
        if (got == 0) break;
        done += got;
    }
    return static_cast<std::int64_t>(done);
}

namespace {

class WinFile : public OutFile {
public:
    WinFile(HANDLE h, std::wstring path) : h_(h), path_(std::move(path)) {}
    ~WinFile() override {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    bool write(const std::uint8_t* buf, std::size_t n) override {
        while (n) {
            const DWORD want = static_cast<DWORD>(std::min<std::size_t>(n, 1u << 20));
            DWORD put = 0;
            if (!WriteFile(h_, buf, want, &put, nullptr) || put == 0) return false;
            buf += put;
            n -= put;
        }
        return true;
    }
    bool finish(std::uint32_t dosTime, unsigned unixMode, bool readOnly) override {
        FILETIME local, utc;
        bool ok = true;
        if (DosDateTimeToFileTime(static_cast<WORD>(dosTime >> 16), static_cast<WORD>(dosTime),
                                  &local) &&
            LocalFileTimeToFileTime(&local, &utc))
            ok = SetFileTime(h_, nullptr, nullptr, &utc) != 0;
        ok = CloseHandle(h_) != 0 && ok;
        h_ = INVALID_HANDLE_VALUE;
        if (readOnly || (unixMode && !(unixMode & 0200)))
            ok = SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_READONLY) != 0 && ok;
        return ok;
    }

private:
    HANDLE h_;
    std::wstring path_;
};

class WinTarget : public Target {
public:
    bool open(const std::string& root) override {
        root_ = wide(root);
        while (root_.size() > 1 && (root_.back() == L'\\' || root_.back() == L'/') &&
               root_[root_.size() - 2] != L':')
            root_.pop_back();
        // The folder the user named, with its missing parents.
        for (std::size_t i = 0; i <= root_.size(); ++i) {
            if (i < root_.size() && root_[i] != L'\\' && root_[i] != L'/') continue;
            const std::wstring prefix = root_.substr(0, i);
            if (prefix.empty() || prefix.back() == L':') continue;
            if (!CreateDirectoryW(prefix.c_str(), nullptr) &&
                GetLastError() != ERROR_ALREADY_EXISTS)
                return fail();
        }
        const DWORD a = GetFileAttributesW(root_.c_str());
        if (a == INVALID_FILE_ATTRIBUTES) return fail();
        if (!(a & FILE_ATTRIBUTE_DIRECTORY)) return fail(ERROR_DIRECTORY);
        return true;
    }

    EntryKind kind(const PathParts& path) override {
        std::wstring at;
        if (!folders(path, false, at))
            return lastCode_ == ERROR_PATH_NOT_FOUND ? EntryKind::None : EntryKind::Other;
        const DWORD a = GetFileAttributesW((at + L"\\" + plainName(path.back())).c_str());
        if (a == INVALID_FILE_ATTRIBUTES) return EntryKind::None;
        if (a & FILE_ATTRIBUTE_REPARSE_POINT) return EntryKind::File;
        return (a & FILE_ATTRIBUTE_DIRECTORY) ? EntryKind::Folder : EntryKind::File;
    }

    bool makeFolders(const PathParts& path) override {
        std::wstring at;
        PathParts all = path;
        all.emplace_back(); // folders() stops before the last part
        return folders(all, true, at);
    }

    std::unique_ptr<OutFile> create(const PathParts& path) override {
        std::wstring at;
        if (!folders(path, true, at)) return nullptr;
        const std::wstring name = at + L"\\" + plainName(path.back());
        const DWORD a = GetFileAttributesW(name.c_str());
        if (a != INVALID_FILE_ATTRIBUTES) {
            // A link goes, not what it points at; a real folder stays.
            if ((a & FILE_ATTRIBUTE_DIRECTORY) && !(a & FILE_ATTRIBUTE_REPARSE_POINT)) {
                fail(ERROR_DIRECTORY);
                return nullptr;
            }
            SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL);
            const bool gone = (a & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(name.c_str())
                                                             : DeleteFileW(name.c_str());
            if (!gone) {
                fail();
                return nullptr;
            }
        }
        HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            fail();
            return nullptr;
        }
        return std::make_unique<WinFile>(h, name);
    }

    void remove(const PathParts& path) override {
        std::wstring at;
        if (!folders(path, false, at)) return;
        const std::wstring name = at + L"\\" + plainName(path.back());
        SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(name.c_str());
    }

    std::string lastError() const override { return systemText(lastCode_); }

private:
    // Walks the folders of path (all parts but the last) below the root,
    // creating missing ones when asked; a reparse point on the way fails.
    bool folders(const PathParts& path, bool create, std::wstring& at) {
        at = root_;
        for (std::size_t i = 0; i + 1 < path.size(); ++i) {
            at += L"\\" + plainName(path[i]);
            const DWORD a = GetFileAttributesW(at.c_str());
            if (a == INVALID_FILE_ATTRIBUTES) {
                if (!create) return fail(ERROR_PATH_NOT_FOUND);
                if (!CreateDirectoryW(at.c_str(), nullptr)) return fail();
                continue;
            }
            if (a & FILE_ATTRIBUTE_REPARSE_POINT) return fail(ERROR_CANT_ACCESS_FILE);
            if (!(a & FILE_ATTRIBUTE_DIRECTORY)) return fail(ERROR_DIRECTORY);
        }
        return true;
    }
    bool fail(DWORD code = GetLastError()) {
        lastCode_ = code;
        return false;
    }

    std::wstring root_;
    DWORD lastCode_ = 0;
};

} // namespace

std::unique_ptr<Target> makeTarget() {
    return std::make_unique<WinTarget>();
}

} // namespace sfx

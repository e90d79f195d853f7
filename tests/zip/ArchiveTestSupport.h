// Shared pieces of the archive model tests: source trees, the zipper and
// unzipper with every event recorded, the peer tools' verdicts, streams
// that fail on purpose and a set of simulated removable disks.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "archive/zip/UnZipper.h"
#include "archive/zip/Zipper.h"
#include "archive/zip/ZlExceptions.h"
#include "platform/FileSystem.h"
#include "support/TempDir.h"
#include "zip/ZipTestSupport.h"

namespace ziptest {

namespace fs = std::filesystem;
using testsupport::TempDir;

// Files by relative name.
using Tree = std::map<std::string, Bytes>;

inline Tree sampleTree() {
    Tree t;
    t["a.txt"] = textBytes(5000, 1);
    t["empty.dat"] = {};
    t["sub/b.bin"] = randomBytes(3000, 2);
    t["sub/deeper/c.txt"] = textBytes(70000, 3);
    t["sub/x.exe"] = binaryBytes(20000);
    return t;
}

inline void writeTree(const std::string& root, const Tree& t) {
    for (const auto& [name, data] : t) {
        const std::string path = root + "/" + name;
        fs::create_directories(fs::path(path).parent_path());
        testsupport::writeFile(path, data);
    }
}

// Every regular file under root, by relative name.
inline Tree readTree(const std::string& root) {
    Tree t;
    if (!fs::exists(root)) return t;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file())
            t[fs::relative(e.path(), root).string()] = testsupport::readFile(e.path().string());
    return t;
}

inline std::string q(const std::string& s) {
    std::string r = "'";
    for (char c : s) r += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return r + "'";
}

struct PeerResult {
    bool ran = false;
    int status = -1;
    std::string output;
};

inline PeerResult peer(const std::string& tool, const std::string& cmd) {
    PeerResult r;
    if (!testsupport::haveTool(tool)) return r;
    r.ran = true;
    r.output = testsupport::runOutput(cmd + " 2>&1", &r.status);
    return r;
}

// unzip -t, 7z t and bsdtar -tf all accept the archive (with the password
// when given); the tools that are missing are skipped.
inline void expectPeersAccept(const std::string& zip, const std::string& password = "") {
    const std::string pw = password.empty() ? "" : " -P " + q(password);
    PeerResult r = peer("unzip", "unzip -t" + pw + " " + q(zip));
    if (r.ran) {
        EXPECT_EQ(r.status, 0) << "unzip -t " << zip << "\n" << r.output;
    }
    r = peer("7z", "7z t -p" + q(password) + " " + q(zip));
    if (r.ran) {
        EXPECT_EQ(r.status, 0) << "7z t " << zip << "\n" << r.output;
    }
    r = peer("bsdtar", "bsdtar -tf " + q(zip));
    if (r.ran) {
        EXPECT_EQ(r.status, 0) << "bsdtar -tf " << zip << "\n" << r.output;
    }
}

// For archives with AES members, which unzip cannot read: 7z tests them
// with the password and refuses them with a wrong one, 7z and (when its
// libarchive has the crypto) bsdtar extract `want`.
inline void expectAesPeers(const std::string& zip, const Tree& want, const std::string& work,
                           const std::string& password) {
    PeerResult r = peer("7z", "7z t -p" + q(password) + " " + q(zip));
    if (!r.ran) return;
    EXPECT_EQ(r.status, 0) << "7z t " << zip << "\n" << r.output;
    r = peer("7z", "7z t -p" + q(password + "x") + " " + q(zip));
    EXPECT_NE(r.status, 0) << "7z t with a wrong password passed\n" << r.output;
    fs::create_directories(work);
    r = peer("7z", "7z x -y -p" + q(password) + " -o" + q(work + "/7z") + " " + q(zip));
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(readTree(work + "/7z"), want) << "7z extracted other files";
    fs::create_directories(work + "/bsdtar");
    r = peer("bsdtar", "bsdtar --passphrase " + q(password) + " -xf " + q(zip) + " -C " +
                           q(work + "/bsdtar"));
    if (!r.ran) return;
    if (r.status != 0 && r.output.find("upport") != std::string::npos) {
        std::printf("bsdtar here cannot decrypt AES: %s\n", r.output.c_str());
        return;
    }
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(readTree(work + "/bsdtar"), want) << "bsdtar extracted other files";
}

// Extracts with each peer into its own folder and compares with `want`.
inline void expectPeersExtract(const std::string& zip, const Tree& want, const std::string& work,
                               const std::string& password = "") {
    const std::string pw = password.empty() ? "" : " -P " + q(password);
    struct Tool {
        const char* name;
        std::string cmd;
    };
    const std::vector<Tool> tools = {
        {"unzip", "unzip -qq" + pw + " -d " + q(work + "/unzip") + " " + q(zip)},
        {"7z", "7z x -y -p" + q(password) + " -o" + q(work + "/7z") + " " + q(zip)},
    };
    fs::create_directories(work);
    for (const Tool& t : tools) {
        const PeerResult r = peer(t.name, t.cmd);
        if (!r.ran) continue;
        EXPECT_EQ(r.status, 0) << t.cmd << "\n" << r.output;
        EXPECT_EQ(readTree(work + "/" + t.name), want) << t.name << " extracted other files";
    }
    if (password.empty() && testsupport::haveTool("bsdtar")) {
        fs::create_directories(work + "/bsdtar");
        const PeerResult r = peer("bsdtar", "bsdtar -xf " + q(zip) + " -C " + q(work + "/bsdtar"));
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(readTree(work + "/bsdtar"), want) << "bsdtar extracted other files";
    }
}

// A zipper whose events are all recorded.
struct EventLog {
    std::vector<std::string> lines;
    std::vector<int> archiveProgress;
    std::vector<int> failureCodes;
    void add(const std::string& s) { lines.push_back(s); }
};

inline void recordEvents(TZlCustomZipBrowser& c, EventLog& log) {
    c.OnArchiveProgress = [&log](TObject*, std::uint8_t p, bool&) {
        log.archiveProgress.push_back(p);
    };
    c.OnProcessItemFailure = [&log](TObject*, TZlArchiveItem* item, TZlProcessType type,
                                    TZlErrorClass cls, int code) {
        log.failureCodes.push_back(code);
        log.add("failure " + item->FileName() + " " + std::to_string(type) + " " +
                std::to_string(cls) + " " + std::to_string(code));
    };
    c.OnConfirmProcessItem = [&log](TObject*, TZlArchiveItem* item, TZlProcessType type, bool&) {
        log.add("confirm " + std::to_string(type) + " " + item->FileName());
    };
    c.OnLoad = [&log](TObject*) { log.add("load"); };
}

// The stored names of an archive's members, in order.
inline std::vector<std::string> names(const TZlArchive& a) {
    std::vector<std::string> n;
    for (const auto& i : a.ItemList) n.push_back(i->FileName());
    return n;
}

// Makes an archive of `tree` (written under dir/src) with the zipper.
inline void zipTree(const std::string& zip, const std::string& srcRoot, const std::string& mask,
                    TZlZipDeflationOption option = doNormal, const std::string& password = "") {
    TZlZipper z;
    z.SetBaseDirectory(srcRoot);
    z.SetStoreOptions({soStripDrive, soRemoveDots, soRecurse});
    z.SetDeflationOption(option);
    z.SetPassword(password);
    z.SetFileName(zip);
    z.AddFiles(mask, plat::faHidden);
    z.Save();
}

// Writes succeed until `limit` bytes were written (a full disk).
class FailingStream : public TZlStream {
public:
    FailingStream(std::unique_ptr<TZlStream> inner, std::int64_t limit)
        : inner_(std::move(inner)), limit_(limit) {}
    std::size_t Read(void* b, std::size_t n) override { return inner_->Read(b, n); }
    std::size_t Write(const void* b, std::size_t n) override {
        const std::int64_t room = std::max<std::int64_t>(0, limit_ - written_);
        const std::size_t k = static_cast<std::size_t>(std::min<std::int64_t>(room, n));
        written_ += static_cast<std::int64_t>(k);
        return k ? inner_->Write(b, k) : 0;
    }
    std::int64_t Seek(std::int64_t o, int origin) override { return inner_->Seek(o, origin); }
    void SetSize(std::int64_t n) override { inner_->SetSize(n); }
    std::int64_t Size() override { return inner_->Size(); }
    void Flush() override { inner_->Flush(); }

private:
    std::unique_ptr<TZlStream> inner_;
    std::int64_t limit_;
    std::int64_t written_ = 0;
};

// A removable disk drive with a stack of disks of a fixed capacity; the
// archive file on the inserted disk is a memory image.
struct DiskDrive {
    explicit DiskDrive(std::int64_t capacity) : capacity(capacity) {}
    std::int64_t capacity;
    std::vector<std::shared_ptr<Bytes>> disks;
    std::vector<std::string> labels;
    int inserted = -1;
    void insertBlank() {
        disks.push_back(std::make_shared<Bytes>());
        labels.emplace_back();
        inserted = static_cast<int>(disks.size()) - 1;
    }
};

// The archive file on the inserted disk; writes stop at the disk's capacity.
class DiskStream : public TZlStream {
public:
    DiskStream(std::shared_ptr<Bytes> data, std::int64_t capacity)
        : data_(std::move(data)), capacity_(capacity) {}
    std::size_t Read(void* b, std::size_t n) override {
        if (pos_ >= static_cast<std::int64_t>(data_->size())) return 0;
        const std::size_t k =
            std::min<std::size_t>(n, data_->size() - static_cast<std::size_t>(pos_));
        std::copy_n(data_->data() + pos_, k, static_cast<std::uint8_t*>(b));
        pos_ += static_cast<std::int64_t>(k);
        return k;
    }
    std::size_t Write(const void* b, std::size_t n) override {
        const std::int64_t room = std::max<std::int64_t>(0, capacity_ - pos_);
        const std::size_t k = static_cast<std::size_t>(std::min<std::int64_t>(room, n));
        if (pos_ + static_cast<std::int64_t>(k) > static_cast<std::int64_t>(data_->size()))
            data_->resize(static_cast<std::size_t>(pos_) + k);
        std::copy_n(static_cast<const std::uint8_t*>(b), k, data_->data() + pos_);
        pos_ += static_cast<std::int64_t>(k);
        return k;
    }
    std::int64_t Seek(std::int64_t o, int origin) override {
        pos_ = std::max<std::int64_t>(0, origin == soFromBeginning ? o
                                         : origin == soFromCurrent ? pos_ + o
                                                                   : Size() + o);
        return pos_;
    }
    void SetSize(std::int64_t n) override { data_->resize(static_cast<std::size_t>(n)); }
    std::int64_t Size() override { return static_cast<std::int64_t>(data_->size()); }

private:
    std::shared_ptr<Bytes> data_;
    std::int64_t capacity_;
    std::int64_t pos_ = 0;
};

// An archive whose file lives on the drive's inserted disk.
class RemovableArchive : public TZlZipArchive {
public:
    RemovableArchive(const std::string& name, std::uint16_t mode, DiskDrive& drive)
        : TZlZipArchive(name, mode), drive_(drive) {}
    std::unique_ptr<TZlStream> OpenFile(const std::string& Name, std::uint16_t Mode) override {
        if (Name != FileName()) return TZlZipArchive::OpenFile(Name, Mode);
        if (drive_.inserted < 0) throw EFOpenError("no disk");
        auto& disk = drive_.disks[static_cast<std::size_t>(drive_.inserted)];
        if (Mode == fmCreate) disk->clear();
        return std::make_unique<DiskStream>(disk, drive_.capacity);
    }
    bool OnRemovableDisk() override { return true; }
    void SetVolumeLabel(const std::string& Label) override {
        drive_.labels[static_cast<std::size_t>(drive_.inserted)] = Label;
    }

private:
    DiskDrive& drive_;
};

} // namespace ziptest

// The archive model's operations that do not depend on the ZIP layout:
// stored names, masks, adding, deleting, renaming and extracting members,
// and the load and save frames.
#include "archive/zip/ZipArchive.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "archive/core/StringResource.h"
#include "archive/zip/ZlExceptions.h"
#include "platform/FileSystem.h"

namespace {

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string slashes(std::string s) {
    std::replace(s.begin(), s.end(), '\\', '/');
    return s;
}

// One-sided '*' and '?' match of upper-cased strings, backtracking to the
// last star only (linear space, no recursion).
bool wildMatch(std::string_view mask, std::string_view name) {
    std::size_t m = 0, n = 0, starM = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == '?' || mask[m] == name[n])) {
            ++m;
            ++n;
        } else if (m < mask.size() && mask[m] == '*') {
            starM = m++;
            starN = n;
        } else if (starM != std::string_view::npos) {
            m = starM + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') ++m;
    return m == mask.size();
}

// A DOS mask: "*.*" and "name.*" also match names without an extension.
bool nameMatch(const std::string& mask, const std::string& name) {
    if (wildMatch(mask, name)) return true;
    if (mask.size() >= 2 && mask.compare(mask.size() - 2, 2, ".*") == 0 &&
        name.find('.') == std::string::npos)
        return wildMatch(std::string_view(mask).substr(0, mask.size() - 2), name);
    return false;
}

void splitLast(const std::string& path, std::string& folder, std::string& name) {
    const std::size_t cut = path.rfind('/');
    if (cut == std::string::npos) {
        folder.clear();
        name = path;
    } else {
        folder = path.substr(0, cut);
        name = path.substr(cut + 1);
    }
}

std::function<void(const std::string&, const std::string&)>& diskPromptHook() {
    static std::function<void(const std::string&, const std::string&)> hook;
    return hook;
}

// Beyond this depth a tree is taken as a loop of bind mounts.
constexpr int kMaxDepth = 256;

} // namespace

void ZlSetDiskPromptHook(std::function<void(const std::string&, const std::string&)> hook) {
    diskPromptHook() = std::move(hook);
}

namespace {
void showDiskPrompt(const std::string& caption, const std::string& text) {
    if (diskPromptHook()) diskPromptHook()(caption, text);
}
} // namespace

void ZlPromptLastDisk() {
    showDiskPrompt(ZlMessage(11), ZlMessage(12));
}

void ZlPromptNthDisk(std::uint32_t Disk) {
    showDiskPrompt(ZlMessage(11), ZlFormat(14, std::to_string(Disk + 1)));
}

void ZlPromptBlankDisk() {
    showDiskPrompt(ZlMessage(11), ZlMessage(17));
}

// "./a" names the same member as "a" (some writers store names so).
static std::string withoutDotParts(std::string s) {
    while (s.size() >= 2 && s[0] == '.' && s[1] == '/') s.erase(0, 2);
    return s;
}

bool ZlMatchesMask(const std::string& Mask, const std::string& Name) {
    std::string maskFolder, maskName, folder, name;
    const std::string mask = withoutDotParts(upper(slashes(Mask)));
    splitLast(mask, maskFolder, maskName);
    splitLast(withoutDotParts(upper(slashes(Name))), folder, name);
    if (mask.find('/') != std::string::npos && !wildMatch(maskFolder, folder)) return false;
    return nameMatch(maskName, name);
}

void ZlClassifyException(const std::exception& e, TZlErrorClass& ErrorClass, int& ErrorCode) {
    ErrorCode = 0;
    if (const auto* zl = dynamic_cast<const EZlException*>(&e)) {
        ErrorClass = ecLibrary;
        ErrorCode = zl->ErrorCode;
    } else if (const auto* io = dynamic_cast<const EInOutError*>(&e)) {
        ErrorClass = ecInOutError;
        ErrorCode = io->ErrorCode;
    } else if (dynamic_cast<const EFCreateError*>(&e)) {
        ErrorClass = ecFileCreateError;
    } else if (dynamic_cast<const EFOpenError*>(&e)) {
        ErrorClass = ecFileOpenError;
    } else if (dynamic_cast<const EStreamError*>(&e)) {
        ErrorClass = ecFilerError;
    } else {
        ErrorClass = ecOther;
    }
}

// ---- TZlArchive ----

TZlArchive::TZlArchive(const std::string& FileName, std::uint16_t Mode)
    : fileName_(FileName), mode_(Mode), ownsStream_(true) {
    baseDirectory_ = plat::excludeTrailingDelimiter(plat::programDir());
}

TZlArchive::TZlArchive(TZlStream* Stream, bool OwnsStream)
    : stream_(Stream), ownsStream_(OwnsStream), opened_(true) {
    if (OwnsStream) ownedStream_.reset(Stream);
    baseDirectory_ = plat::excludeTrailingDelimiter(plat::programDir());
}

TZlArchive::~TZlArchive() = default;

TZlStream* TZlArchive::Stream() {
    if (!opened_) {
        OpenStream();
        opened_ = true;
    }
    return stream_;
}

void TZlArchive::OpenStream() {
    if (mode_ == fmCreate) return;
    ownedStream_ = std::make_unique<TZlFileStream>(fileName_, mode_);
    stream_ = ownedStream_.get();
}

int TZlArchive::IndexOf(const TZlArchiveItem* Item) const {
    for (std::size_t i = 0; i < ItemList.size(); ++i)
        if (ItemList[i].get() == Item) return static_cast<int>(i);
    return -1;
}

void TZlArchive::SetBaseDirectory(const std::string& Value) {
    std::string v = Value;
    if (v.size() > 1 && v.back() == '/') v.pop_back();
    if (!v.empty() && !plat::directoryExists(v)) throw EZlNoSuchDirectory();
    baseDirectory_ = v;
}

void TZlArchive::CheckValid() const {
    if (State == stInvalid) throw EZlNoArchive();
}

bool TZlArchive::Confirm(TZlArchiveItem* Item, TZlProcessType Type) {
    bool confirm = true;
    if (OnConfirmProcessItem) OnConfirmProcessItem(this, Item, Type, confirm);
    return confirm;
}

void TZlArchive::Progress(std::uint8_t Percent) {
    if (!OnArchiveProgress) return;
    bool abort = false;
    OnArchiveProgress(this, Percent, abort);
    if (abort) throw EZlUserAbort();
}

void TZlArchive::ItemFailure(TZlArchiveItem* Item, TZlProcessType Type, TZlErrorClass Class,
                             int Code) {
    if (OnProcessItemFailure) OnProcessItemFailure(this, Item, Type, Class, Code);
}

void TZlArchive::Load() {
    TZlLockGuard lock(PadLock);
    InvalidateIndex();
    State = stBusy;
    try {
        LoadArchive();
    } catch (...) {
        State = stInvalid;
        throw;
    }
    State = stIdle;
    if (OnLoad) OnLoad(this);
}

void TZlArchive::Save() {
    if (State == stInvalid || !IsDirty) return;
    TZlLockGuard lock(PadLock);
    bool confirm = true;
    if (OnConfirmSave) OnConfirmSave(this, confirm);
    if (!confirm) return;
    State = stBusy;
    InvalidateIndex();
    try {
        SaveArchive();
    } catch (...) {
        // The archive on disk is as it was; the changes stay pending
        // unless the user stopped the save.
        if (State != stInvalid) State = stIdle;
        throw;
    }
    State = stIdle;
    IsDirty = false;
    if (OnSave) OnSave(this);
}

std::string TZlArchive::FixName(const std::string& Name) {
    std::string name = Name;
    // No short names on this file system: DOSMode leaves names as they are.
    StoreOptions.Include(soStripDrive);
    if (name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0])))
        name.erase(0, 2);
    // Folder parts: no empty or "." parts, ".." taken back where a part
    // precedes it; leading ".." parts stay unless soRemoveDots.
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t slash = name.find('/', start);
        if (slash == std::string::npos) slash = name.size();
        std::string part = name.substr(start, slash - start);
        start = slash + 1;
        if (part.empty() || part == ".") continue;
        if (part == ".." && !parts.empty() && parts.back() != "..")
            parts.pop_back();
        else
            parts.push_back(std::move(part));
    }
    if (StoreOptions.Contains(soStripPath) && parts.size() > 1)
        parts.erase(parts.begin(), parts.end() - 1);
    if (StoreOptions.Contains(soRemoveDots))
        while (!parts.empty() && parts.front() == "..") parts.erase(parts.begin());
    std::string out;
    for (const std::string& p : parts) {
        if (!out.empty()) out += '/';
        out += p;
    }
    return out;
}

std::string TZlArchive::ExpandFileName(const std::string& Name) const {
    std::string path = Name;
    if (path.empty() || path[0] != '/') {
        const std::string base = baseDirectory_.empty() ? plat::getCurrentDir() : baseDirectory_;
        path = plat::includeTrailingDelimiter(base) + path;
    }
    std::vector<std::string> parts;
    std::size_t start = 1;
    while (start <= path.size()) {
        std::size_t slash = path.find('/', start);
        if (slash == std::string::npos) slash = path.size();
        std::string part = path.substr(start, slash - start);
        start = slash + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else {
            parts.push_back(std::move(part));
        }
    }
    std::string out;
    for (const std::string& p : parts) out += '/' + p;
    return out.empty() ? "/" : out;
}

bool TZlArchive::NameTaken(const std::string& StoredName, const TZlArchiveItem* Except) {
    const std::string key = upper(StoredName);
    if (Except) {
        for (const auto& item : ItemList)
            if (item.get() != Except && item->Action != iaDelete && item->Action != iaFailed &&
                upper(item->FileName()) == key)
                return true;
        return false;
    }
    if (!indexValid_) {
        nameIndex_.clear();
        for (const auto& item : ItemList)
            if (item->Action != iaDelete && item->Action != iaFailed)
                nameIndex_.insert(upper(item->FileName()));
        indexValid_ = true;
    }
    return nameIndex_.count(key) != 0;
}

void TZlArchive::AddItem(std::unique_ptr<TZlArchiveItem> Item) {
    TZlArchiveItem* old = nullptr;
    if (NameTaken(Item->FileName(), nullptr)) {
        if (!ReplaceDuplicates) {
            ItemFailure(Item.get(), ptAdd, ecLibrary, 7);
            return;
        }
        const std::string key = upper(Item->FileName());
        for (const auto& i : ItemList)
            if (i->Action != iaDelete && i->Action != iaFailed && upper(i->FileName()) == key)
                old = i.get();
    }
    TZlLockGuard lock(PadLock);
    if (!Confirm(Item.get(), old ? ptFreshen : ptAdd)) return;
    Item->Action = iaAdd;
    if (old) {
        Item->Action = iaFreshen;
        if (old->Action == iaAdd || old->Action == iaFreshen) {
            // Not in the archive yet: the newer pending add takes its place.
            Item->Replaces = old->Replaces;
            ItemList.erase(ItemList.begin() + IndexOf(old));
        } else {
            old->Action = iaDelete;
            Item->Replaces = old;
        }
    }
    if (indexValid_) nameIndex_.insert(upper(Item->FileName()));
    ItemList.push_back(std::move(Item));
    IsDirty = true;
    if (AutoSave) Save();
}

void TZlArchive::collectFiles(const std::string& folder, const std::string& prefix,
                              const std::string& pattern, int searchAttr, bool recurse,
                              std::vector<std::string>& out) const {
    static thread_local int depth = 0;
    if (depth > kMaxDepth) return;
    DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!d) return;
    std::vector<std::string> names;
    while (dirent* e = ::readdir(d)) {
        if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
        names.emplace_back(e->d_name);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    const bool hidden = searchAttr & plat::faHidden;
    const std::string dir = folder.empty() ? "" : plat::includeTrailingDelimiter(folder);
    const std::string up = upper(pattern);
    std::vector<std::string> subfolders;
    for (const std::string& n : names) {
        if (n[0] == '.' && !hidden) continue;
        struct stat st;
        if (::stat((dir + n).c_str(), &st) != 0) continue;
        if (S_ISREG(st.st_mode)) {
            if (nameMatch(up, upper(n))) out.push_back(prefix + n);
        } else if (S_ISDIR(st.st_mode) && recurse) {
            // A link to a folder is not followed: it could lead back up.
            struct stat lst;
            if (::lstat((dir + n).c_str(), &lst) == 0 && S_ISDIR(lst.st_mode))
                subfolders.push_back(n);
        }
    }
    ++depth;
    for (const std::string& s : subfolders)
        collectFiles(dir + s, prefix + s + "/", pattern, searchAttr, recurse, out);
    --depth;
}

void TZlArchive::AddFiles(const std::string& FileMask, int SearchAttr) {
    CheckValid();
    const bool wild = FileMask.find_first_of("*?") != std::string::npos;
    const bool absolute = !FileMask.empty() && FileMask[0] == '/';
    const bool recurse = StoreOptions.Contains(soRecurse);
    const std::string base = absolute                 ? std::string()
                             : baseDirectory_.empty() ? plat::getCurrentDir()
                                                      : baseDirectory_;

    std::vector<std::string> paths;
    if (wild || recurse) {
        std::string maskFolder, pattern;
        splitLast(FileMask, maskFolder, pattern);
        const std::size_t cut = FileMask.rfind('/');
        const std::string prefix = cut == std::string::npos ? "" : FileMask.substr(0, cut + 1);
        std::string folder = absolute ? (maskFolder.empty() ? "/" : maskFolder)
                                      : plat::includeTrailingDelimiter(base) + maskFolder;
        collectFiles(folder, prefix, pattern, SearchAttr & ~plat::faDirectory, recurse, paths);
    } else {
        paths.push_back(FileMask);
    }

    for (const std::string& p : paths) AddItem(CreateItem(p));
}

void TZlArchive::DeleteFiles(const std::string& FileMask) {
    CheckValid();
    const int n = Count();
    for (int i = n - 1; i >= 0; --i) {
        if (i < Count() && ItemList[static_cast<std::size_t>(i)]->Action != iaDelete &&
            ZlMatchesMask(FileMask, Items(i)->FileName()))
            DeleteAt(i);
        Progress(ZlPercentage(n - i, n));
    }
    Progress(100);
}

void TZlArchive::DeleteAt(int Index) {
    CheckValid();
    TZlArchiveItem* item = Items(Index);
    if (item->Action == iaDelete) return;
    TZlLockGuard lock(PadLock);
    if (!Confirm(item, ptDelete)) return;
    InvalidateIndex();
    if (item->Action == iaAdd || item->Action == iaFreshen || item->Action == iaFailed) {
        // Not in the archive yet: nothing to delete but the pending add
        // (and a member it was to replace stays).
        if (item->Replaces && item->Replaces->Action == iaDelete) item->Replaces->Action = iaNone;
        ItemList.erase(ItemList.begin() + Index);
        IsDirty = std::any_of(ItemList.begin(), ItemList.end(),
                              [](const auto& i) { return i->Action != iaNone; });
    } else {
        item->Action = iaDelete;
        IsDirty = true;
    }
    if (AutoSave) Save();
}

void TZlArchive::Move(TZlArchiveItem* Item, const std::string& NewName) {
    CheckValid();
    if (!Item || IndexOf(Item) < 0 || Item->Action == iaDelete || Item->Action == iaFailed) return;
    const std::string fixed = FixName(NewName);
    if (fixed.empty() || NameTaken(fixed, Item)) {
        ItemFailure(Item, ptMove, ecLibrary, 7);
        return;
    }
    TZlLockGuard lock(PadLock);
    if (!Confirm(Item, ptMove)) return;
    InvalidateIndex();
    Item->SetFileName(fixed);
    if (Item->Action == iaNone) Item->Action = iaMove;
    IsDirty = true;
    if (AutoSave) Save();
}

void TZlArchive::ExtractFiles(const std::string& FileMask) {
    CheckValid();
    std::vector<TZlArchiveItem*> items;
    for (const auto& i : ItemList) items.push_back(i.get());
    const int n = static_cast<int>(items.size());
    for (int i = 0; i < n; ++i) {
        const int at = IndexOf(items[static_cast<std::size_t>(i)]);
        if (at >= 0 && ZlMatchesMask(FileMask, Items(at)->FileName())) ExtractAt(at, "");
        Progress(ZlPercentage(i + 1, n));
    }
    Progress(100);
}

void TZlArchive::ExtractAt(int Index, const std::string& NewName) {
    CheckValid();
    TZlArchiveItem* item = Items(Index);
    if (item->Action == iaDelete || item->Action == iaFailed) return;
    if (item->Action != iaNone) {
        Save();
        if (IndexOf(item) < 0 || item->Action != iaNone) return;
    }
    TZlLockGuard lock(PadLock);
    if (!Confirm(item, ptExtract)) return;
    CurrentItem = item;
    ExtractItem(*item, NewName.empty() ? item->FileName() : NewName);
}

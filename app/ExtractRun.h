// Runs the archive components' extractors for the windows: their events
// become the progress window, the password prompt, the overwrite question
// and the error messages, and the progress window's Cancel reaches the
// extractor (it stops after the member being written, so no file is left
// half written).
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/core/ArcTypes.h"

class TUnBase;
class TZipCommon;

namespace app {

// The extractor of an archive type as the viewer and the copy/move dialog
// choose it; null for the types they do not extract (atLhaExe, HA, PAK,
// RAR, ...).
std::unique_ptr<TUnBase> viewerExtractorFor(TArcType type);
// Whether the viewer's table names an extractor for the type.
bool viewerExtracts(TArcType type);

// The message for an archive type the viewer does not extract.
QString extractNotAvailableText(TArcType type);

class ExtractorDriver {
public:
    // Single: the one-bar window, shown while the extractor runs (the
    // viewer and the copy/move dialog).  Double: the two-bar window, upper
    // line the member, lower line the whole archive (the folder window).
    enum class Style { Single, Double };

    ExtractorDriver(QWidget* owner, Style style);
    ~ExtractorDriver();

    // Wires every event of x to this driver.  askOverwrite: an existing
    // file is replaced only after a yes.
    void attach(TUnBase& x, bool askOverwrite);
    // Double style: the archive whose members are extracted next (listed
    // first for the member sizes and methods behind the archive bar).
    void prepareArchive(const QString& archive);
    // True once the user pressed Cancel during the last run.
    bool cancelled() const { return cancelled_; }
    void resetCancel() { cancelled_ = false; }
    // Runs x (Extract) with the progress window shown.
    void run(TUnBase& x);

private:
    struct Member {
        std::string name;
        std::int64_t packed = 0;
        int method = -1;
    };
    void onActivate();
    void onProgress(TUnBase& x, const std::string& fn, std::uint8_t percent);
    void onEnd(TUnBase& x, const std::string& fn, bool pass);
    void onDeactivate();
    void checkCancel(TZipCommon& x);
    int findMember(const std::string& targetPath, const std::string& extractDir);

    QPointer<QWidget> owner_;
    Style style_;
    bool cancelled_ = false;
    bool zip_ = false;
    std::vector<Member> members_;
    std::int64_t total_ = 0;
    std::int64_t done_ = 0;
    int current_ = -1;
    int cursor_ = 0;
};

} // namespace app

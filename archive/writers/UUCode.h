// TUUCode turns one file into uuencoded, xxencoded or Base64 text and such
// text back into the file.  Files are streamed in blocks of whole lines;
// the output is written beside its target and renamed into place when it
// is complete, so a failed run leaves no partial file behind.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "archive/core/ArcTypes.h"
#include "archive/core/Rtl.h"

enum TAlgorithm : std::uint8_t {
    filecopy,
    uuencode,
    uudecode,
    xxencode,
    xxdecode,
    base64encode,
    base64decode
};

enum TUnixCRLF : std::uint8_t { CRLF, LF };

using TProgressEvent = std::function<void(TObject* Sender, std::uint16_t Percent)>;

// Usage errors and text that cannot be decoded.
class EUUCode : public Exception {
public:
    using Exception::Exception;
};

class TUUCode : public TComponent {
public:
    explicit TUUCode(TComponent* AOwner = nullptr);

    std::string About() const;
    void SetAbout(const std::string&) {}
    // Setting it to true runs Execute once (ignored while a run is in
    // progress); it reads false again when the run is over.
    bool Active() const { return Active_; }
    void SetActive(bool Value);

    TAlgorithm Algorithm = filecopy;
    // Written into the "begin" line as decimal digits: 644 gives 0644.
    std::uint16_t FileMode = 644;
    bool Headers = true;
    std::string InputFile;
    // The file to write.  Decoding with headers replaces it by the name of
    // the "begin" line inside OutputDir.
    std::string OutputFile;
    // Line ends of the text; line feeds alone unless the caller chooses CRLF.
    TUnixCRLF UnixCRLF = LF;
    TProgressEvent OnProgress;

    // Decoding with headers: the folder that receives the file; empty means
    // the input's folder.  Only the last part of the name in the "begin"
    // line is used, so the file never lands outside this folder.
    std::string OutputDir;
    // Asked before an existing file is replaced.  Accept comes preset true
    // for an OutputFile the caller chose and false for a name taken from a
    // "begin" line: such a file is only replaced when the handler agrees.
    TOnFileExists OnFileExists;

    // Runs the conversion.  False when an existing file was kept because
    // the replacement was declined (nothing is written then).
    bool Execute();

private:
    bool encode();
    bool decode();
    bool copy();
    bool consent(const std::string& target, bool chosen);
    void report(std::uint16_t percent);

    bool Active_ = false;
    std::uint16_t lastPercent_ = 0;
};

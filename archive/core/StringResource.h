// Numbered message tables kept as raw-data resources in the "STR0" layout:
// signature, entry count, sorted (id, offset, length) entries and UTF-16LE
// texts.  The program carries two: its string manager's own messages and
// the ZIP library's message table.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "archive/core/Rtl.h"

// A module's raw-data resources by name.
class TResourceModule {
public:
    std::map<std::string, std::vector<std::uint8_t>> RawData;
    const std::vector<std::uint8_t>* Find(const std::string& name) const;
};

// The program's own module, holding "SRMGR_STRINGS" and "ZL_STRINGS_ENGLISH".
const TResourceModule& HInstance();

// Builds a table in the STR0 layout from (id, UTF-8 text) pairs.
std::vector<std::uint8_t> BuildStr0(const std::vector<std::pair<int, std::string>>& entries);

class EStringResourceError : public Exception {
public:
    using Exception::Exception;
};

class TStringResource : public TObject {
public:
    // The name is kept up to 255 characters.
    TStringResource(const TResourceModule* Instance, const std::string& ResName);
    ~TStringResource() override;

    bool RaiseOnMissing = false;

    // Finds, loads and checks the resource; throws EStringResourceError.
    void Open();
    // Text of id k (empty when missing, unless RaiseOnMissing).
    std::string GetString(int Id);
    // Fills a caller's buffer, shortening the text until it fits with its
    // terminating zero; returns Buffer.
    char* GetString(int Id, char* Buffer, int BufSize);

private:
    bool find(int id, std::u16string& text);

    const TResourceModule* Instance_;
    std::string ResName_;
    const std::vector<std::uint8_t>* Locked_ = nullptr;
};

// The process-wide manager over "SRMGR_STRINGS".
std::string SrMgrString(int Id);
// A message of the ZIP library's table ("ZL_STRINGS_ENGLISH").
std::string ZlMessage(int No);

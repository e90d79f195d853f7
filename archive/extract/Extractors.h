// The extractor of each archive type.  Front ends (olmek-cli, the folder
// window, the viewer) ask this table and never name an extractor class.
//
// HOW TO ADD AN EXTRACTOR
//   1. Write archive/extract/Un<Family>.h and .cpp with the TUnBase subclass
//      (its member walk, method table, policy and, if the family encrypts,
//      its TMemberCipher).  Read the family's headers through its module in
//      archive/format/.
//   2. In Un<Family>.cpp define, at namespace scope,
//          void registerUn<Family>(ExtractorTable& table)
//      adding a factory for the archive types it accepts.  CMake globs the
//      Un*.cpp files and generates a table that calls each such function, so
//      a missing or misnamed one is a link error, never a silently absent
//      extractor.
#pragma once

#include <initializer_list>
#include <memory>

#include "archive/extract/UnBase.h"

using ExtractorFactory = std::unique_ptr<TUnBase> (*)();

class ExtractorTable {
public:
    void add(std::initializer_list<TArcType> types, ExtractorFactory factory);
    // Null when no extractor serves the type.
    std::unique_ptr<TUnBase> make(TArcType type) const;
    bool serves(TArcType type) const;

    static const ExtractorTable& instance();

private:
    ExtractorFactory factories_[kArcTypeCount] = {};
};

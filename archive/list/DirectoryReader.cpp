#include "archive/list/DirectoryReader.h"

void registerAllDirectoryReaders(DirectoryReaderTable& table);

void DirectoryReaderTable::add(std::initializer_list<TArcType> Types,
                               DirectoryReaderFactory Factory) {
    for (TArcType t : Types) factories_[t] = Factory;
}

std::unique_ptr<DirectoryReader> DirectoryReaderTable::make(TArcType Type,
                                                            TArcLister& Lister) const {
    if (Type >= kArcTypeCount || !factories_[Type]) return nullptr;
    return factories_[Type](Lister);
}

const DirectoryReaderTable& DirectoryReaderTable::instance() {
    static const DirectoryReaderTable table = [] {
        DirectoryReaderTable t;
        registerAllDirectoryReaders(t);
        return t;
    }();
    return table;
}

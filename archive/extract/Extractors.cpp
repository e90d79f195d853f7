#include "archive/extract/Extractors.h"

void registerAllExtractors(ExtractorTable& table);

void ExtractorTable::add(std::initializer_list<TArcType> types, ExtractorFactory factory) {
    for (TArcType t : types) factories_[t] = factory;
}

std::unique_ptr<TUnBase> ExtractorTable::make(TArcType type) const {
    if (type >= kArcTypeCount || !factories_[type]) return nullptr;
    return factories_[type]();
}

bool ExtractorTable::serves(TArcType type) const {
    return type < kArcTypeCount && factories_[type] != nullptr;
}

const ExtractorTable& ExtractorTable::instance() {
    static const ExtractorTable table = [] {
        ExtractorTable t;
        registerAllExtractors(t);
        return t;
    }();
    return table;
}

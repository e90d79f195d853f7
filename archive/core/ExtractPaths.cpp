// Target paths of extracted members.
#include "archive/core/ArcRoot.h"

#include "platform/FileSystem.h"

void TZipCommon::SetExtractDir(const std::string& Value) {
    ExtractDir_ = Value.empty() ? Value : plat::includeTrailingDelimiter(Value);
}

void TZipCommon::MakeFileName(const std::string& StoredName) {
    FileName = ExtractDir_ + StoredName;
}

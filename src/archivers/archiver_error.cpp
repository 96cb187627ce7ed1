// Message texts of the archiver exceptions.
#include "archivers/archiver_error.h"

ENoArchiverDLL::ENoArchiverDLL(const std::string& description, const std::string& dllFileName)
    : EArchiver(description + " を扱うには " + dllFileName + " が 必要です。") {}

EEntryNotFound::EEntryNotFound(const std::string& modulePath, const std::string& entryName)
    : EArchiver(modulePath + " に " + entryName + " のエントリが見つかりません。") {}

ESfxNoRequiredFile::ESfxNoRequiredFile(std::string formatName, std::string platformName, std::string requiredFile)
    : EArchiver(formatName + " 書庫からの" + platformName + "自己解凍書庫の作成には '" + requiredFile +
                "' ファイルが必要です。"),
      FormatName(std::move(formatName)),
      PlatformName(std::move(platformName)),
      RequiredFile(std::move(requiredFile)) {}

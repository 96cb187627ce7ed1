// The format table: extensions, archiver factories and content checks in one place.
#include "archivers/detect.h"

#include <string_view>

#include "archivers/arj32.h"
#include "archivers/bga32.h"
#include "archivers/cab32.h"
#include "archivers/lha32.h"
#include "archivers/path_util.h"
#include "archivers/rar32.h"
#include "archivers/szip32.h"
#include "archivers/tar32.h"
#include "archivers/yz132.h"
#include "archivers/zip32.h"
#include "platform/string_list.h"

namespace {

struct TExtensionRow {
    const char* ext;
    TArchiverType type;
};

// atAutoDetect here stands for "decide by content" (self-extracting archives).
constexpr TExtensionRow kExtensions[] = {
    {".lzh", atLha}, {".lha", atLha},  // the program accepts .lha as LHA, so detection must give it an archiver
    {".cab", atCab}, {".zip", atZip}, {".jar", atZip}, {".ear", atZip}, {".war", atZip}, {".arj", atArj},
    {".rar", atRar}, {".yz1", atYz1}, {".gca", atGCA}, {".gza", atBga}, {".bza", atBga}, {".bz2", atBZ2},
    {".a", atTar}, {".lib", atTar}, {".tar", atTar}, {".deb", atTar}, {".rpm", atTar}, {".cpio", atTar},
    {".z", atTgz}, {".gz", atTgz}, {".tgz", atTgz}, {".taz", atTgz}, {".7z", at7z}, {".exe", atAutoDetect},
};

template <typename T>
std::unique_ptr<TArchiver> Make() {
    auto archiver = std::make_unique<T>();
    archiver->Create();
    return archiver;
}

using TContentCheck = bool (*)(const std::string&);

struct TContentRow {
    TArchiverType type;
    TContentCheck check;
};

// Run in this order, the last one that recognises the file wins: the priority is the reverse.
const TContentRow kContentChecks[] = {
    {atRar, IsRarArchive},
    {atArj, IsArjArchive},
    {atZip, IsZipArchive},
    {atBga, IsBgaArchive},
    {atYz1, IsYz1Archive},
    {atCab, IsCabArchive},
    {atLha, IsLhaArchive},
};

TArchiverType DetectByContent(const std::string& fileName) {
    TArchiverType result = atNone;
    try {
        result = GetTarArchiveType(fileName);
    } catch (...) {
        result = atNone;
    }
    for (const auto& row : kContentChecks) {
        try {
            if (row.check(fileName)) result = row.type;
        } catch (...) {
        }
    }
    return result;
}

}  // namespace

TArchiverType DetectArchiverType(const std::string& fileName, bool byExtension) {
    if (!byExtension) return DetectByContent(fileName);
    const std::string ext = ExtractFileExt(fileName);
    if (ext.empty()) return atNone;
    for (const auto& row : kExtensions) {
        if (platform::CompareTextSjis(ext, row.ext) != 0) continue;
        return row.type == atAutoDetect ? DetectByContent(fileName) : row.type;
    }
    return atNone;
}

std::unique_ptr<TArchiver> CreateArchiver(TArchiverType type) {
    switch (type) {
        case atLha: return Make<TLha32>();
        case atZip: return Make<TZip32>();
        case atCab: return Make<TCab32>();
        case atArj: return Make<TArj32>();
        case atTar: return Make<TTar32>();
        case atTgz: return Make<TTgz32>();
        case atBZ2: return Make<TBZ232>();
        case atRar: return Make<TRar32>();
        case atBga: return Make<TBGA32>();
        case atYz1: return Make<TYZ1>();
        case at7z: return Make<TSevenZip32>();
        default: return nullptr;
    }
}

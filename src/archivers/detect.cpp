// The format table: extensions, archiver factories and content checks in one place.
#include "archivers/detect.h"

#include <array>
#include <string_view>

#include "archivers/lha32.h"
#include "archivers/path_util.h"
#include "platform/string_list.h"

#if __has_include("archivers/zip32.h")
#include "archivers/zip32.h"
#define VELMOR_HAVE_ZIP 1
#endif
#if __has_include("archivers/cab32.h")
#include "archivers/cab32.h"
#define VELMOR_HAVE_CAB 1
#endif
#if __has_include("archivers/arj32.h")
#include "archivers/arj32.h"
#define VELMOR_HAVE_ARJ 1
#endif
#if __has_include("archivers/rar32.h")
#include "archivers/rar32.h"
#define VELMOR_HAVE_RAR 1
#endif
#if __has_include("archivers/tar32.h")
#include "archivers/tar32.h"
#define VELMOR_HAVE_TAR 1
#endif
#if __has_include("archivers/bga32.h")
#include "archivers/bga32.h"
#define VELMOR_HAVE_BGA 1
#endif
#if __has_include("archivers/yz132.h")
#include "archivers/yz132.h"
#define VELMOR_HAVE_YZ1 1
#endif
#if __has_include("archivers/szip32.h")
#include "archivers/szip32.h"
#define VELMOR_HAVE_7Z 1
#endif

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
#ifdef VELMOR_HAVE_RAR
    {atRar, IsRarArchive},
#endif
#ifdef VELMOR_HAVE_ARJ
    {atArj, IsArjArchive},
#endif
#ifdef VELMOR_HAVE_ZIP
    {atZip, IsZipArchive},
#endif
#ifdef VELMOR_HAVE_BGA
    {atBga, IsBgaArchive},
#endif
#ifdef VELMOR_HAVE_YZ1
    {atYz1, IsYz1Archive},
#endif
#ifdef VELMOR_HAVE_CAB
    {atCab, IsCabArchive},
#endif
    {atLha, IsLhaArchive},
};

TArchiverType DetectByContent(const std::string& fileName) {
    TArchiverType result = atNone;
#ifdef VELMOR_HAVE_TAR
    try {
        result = GetTarArchiveType(fileName);
    } catch (...) {
        result = atNone;
    }
#endif
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
#ifdef VELMOR_HAVE_ZIP
        case atZip: return Make<TZip32>();
#endif
#ifdef VELMOR_HAVE_CAB
        case atCab: return Make<TCab32>();
#endif
#ifdef VELMOR_HAVE_ARJ
        case atArj: return Make<TArj32>();
#endif
#ifdef VELMOR_HAVE_TAR
        case atTar: return Make<TTar32>();
        case atTgz: return Make<TTgz32>();
        case atBZ2: return Make<TBZ232>();
#endif
#ifdef VELMOR_HAVE_RAR
        case atRar: return Make<TRar32>();
#endif
#ifdef VELMOR_HAVE_BGA
        case atBga: return Make<TBGA32>();
#endif
#ifdef VELMOR_HAVE_YZ1
        case atYz1: return Make<TYZ1>();
#endif
#ifdef VELMOR_HAVE_7Z
        case at7z: return Make<TSevenZip32>();
#endif
        default: return nullptr;
    }
}

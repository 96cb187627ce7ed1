// What a caller wants an archiver library to do: one value per switch letter of the LHA switch set, which
// every format's builder maps onto its own library's switches, plus free text and a few behaviour settings.
#pragma once

#include <cstdint>
#include <string>

#include "platform/string_list.h"

// A text switch holding this one-character text (its only character NUL) is not given; "" is a given value.
inline const std::string kUnsetText(1, '\0');
inline bool IsUnset(const std::string& s) { return s.size() == 1 && s[0] == '\0'; }

enum TPackFilter : uint8_t { pfArchiver = 0, pfComponent = 1 };

enum TResFileUse : uint8_t { ruOnPack = 0, ruOnUnpack = 1, ruOnRemoveItem = 2, ruOnUpdate = 3 };
// Set of TResFileUse: bit n for value n.
using TResFileUsage = uint8_t;
constexpr TResFileUsage ResUse(TResFileUse u) { return static_cast<TResFileUsage>(1u << u); }
constexpr bool HasResUse(TResFileUsage set, TResFileUse u) { return (set & ResUse(u)) != 0; }
constexpr TResFileUsage kDefaultResFileUsage = ResUse(ruOnPack) | ResUse(ruOnUnpack) | ResUse(ruOnRemoveItem);

class TArchiverOptions {
public:
    TArchiverOptions();

    // Byte switches: -1 is not given.
    int8_t a, c, e, f, h, i, l, m, n, o, p, r, s, t, u;
    std::string w;
    int8_t x, y, z, jc, jd, je, jf, jh, ji, jm, jn;
    std::string jo, job;
    int8_t jp, jr, jsb, jsc, jsd, jse, jsf, jsl, jso, jss, jst, jsv, jsz, jw;
    platform::TStringList jx;
    int8_t jyc, jyd, jyk, jyn, jyo;
    std::string jz;
    int8_t ga, gd, ge, gf, gj, gm, gn, go, gp;
    std::string gr;
    int8_t gs, gu, gw, gya, gyc;
    std::string gyd, gye;
    int8_t gyo, gyq, gys;
    std::string gyt, gyw;
    int8_t gyx;

    std::string UserOptions;
    std::string UserFileList;
    TPackFilter PackFilter = pfComponent;
    std::string ResFileName;
    TResFileUsage ResFileUsage = kDefaultResFileUsage;
    bool IncludeExtraStreams = true;
    std::string StreamSeparator = ";#";

    // Every switch unset, lists and texts empty; IncludeExtraStreams and StreamSeparator stay as they are.
    void Reset();
    void AssignTo(TArchiverOptions& dest) const { dest = *this; }
    void Assign(const TArchiverOptions& source) { source.AssignTo(*this); }

    // True when ResFileName names a response file.
    bool HasResFile() const { return !ResFileName.empty() && !IsUnset(ResFileName); }
};

// Where the built server DLL lies, as a Windows path (the build passes its Unix path behind "Z:").
#pragma once

#include <string>

namespace tarnel {

inline std::wstring DllPath() {
    std::string narrow = TARNEL_DLL;
    std::wstring path(narrow.begin(), narrow.end());
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    return path;
}

}  // namespace tarnel

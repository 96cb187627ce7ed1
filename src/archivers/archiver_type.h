// The archive formats the component knows, in their fixed order.
#pragma once

#include <cstdint>

enum TArchiverType : uint8_t {
    atLha, atZip, atCab, atArj, atTar, atTgz, atBZ2, atRar, atBga, atYz1, atGCA, atBel, at7z, atNone, atAutoDetect
};

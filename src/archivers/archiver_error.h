// The archiver layer's exception family. Messages are Shift-JIS texts shown to the user as they stand.
#pragma once

#include <stdexcept>
#include <string>

class EArchiver : public std::runtime_error {
public:
    explicit EArchiver(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

// The library file cannot be loaded.
class ENoArchiverDLL : public EArchiver {
public:
    ENoArchiverDLL(const std::string& description, const std::string& dllFileName);
};

// A required entry is missing from a loaded library.
class EEntryNotFound : public EArchiver {
public:
    EEntryNotFound(const std::string& modulePath, const std::string& entryName);
    // The ZIP binding words its message itself.
    explicit EEntryNotFound(const std::string& message) : EArchiver(message) {}
};

// A file needed to build a self-extracting archive is missing.
class ESfxNoRequiredFile : public EArchiver {
public:
    ESfxNoRequiredFile(std::string formatName, std::string platformName, std::string requiredFile);
    std::string FormatName, PlatformName, RequiredFile;
};

// A file could not be created or written while building a command (response files).
class EArchiverFileError : public EArchiver {
public:
    using EArchiver::EArchiver;
};

// A builder's precondition failed (a switch that must be given is not); nothing is built.
class EArchiverAssertion : public EArchiver {
public:
    using EArchiver::EArchiver;
};

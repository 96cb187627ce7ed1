// ParsedCommand lines of the stand-in libraries: tokenising and the per-library dialects, turned into one
// operation that the library then carries out.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace standin {

enum class Dialect { Lha, UnZip, Zip, Cab, Tar, Rar, Bga, Yz1, SevenZip };

enum class Operation { None, Extract, Test, List, Add, Freshen, Delete, MakeSfx, AdjustSfx };

enum class Overwrite { Always, Never, Newer, Rename };

struct ParsedCommand {
    Operation op = Operation::None;
    std::string archive;
    std::string folder;              // output folder for extraction, base folder for packing
    std::vector<std::string> names;  // member names or wildcards, response files read
    std::vector<std::string> excludes;
    bool junkPaths = false;
    bool recurse = false;
    bool updateOnly = false;  // add only what is newer than the archived copy
    bool gzip = false;
    bool bzip2 = false;
    bool store = false;       // no compression
    bool zipClasses = false;  // "[...]" in names is a character class (ZIP wildcard syntax)
    Overwrite overwrite = Overwrite::Never;
    std::string sfxPath;  // "-A": the self-extracting file to adjust
    std::string error;    // a response file could not be read
};

struct Token {
    std::string text;  // quotes removed
    size_t end = 0;    // offset in the line just past the token
};

// Blanks separate, double quotes group (a pair may enclose a switch and its value together).
std::vector<Token> Tokenize(std::string_view line);

// Parses a command line in the given dialect. Unknown switches are accepted and ignored.
ParsedCommand ParseCommand(Dialect dialect, std::string_view line);

// Undoes the wildcard escapes of ZIP member names ("[-]" at the start, "[[]") and turns "/" into "\".
std::string UnescapeZipName(std::string_view name);

// Wildcard match of a member name: case-insensitive for ASCII, "/" and "\" equal, "*" crosses folders,
// "*.*" matches every name, a plain name also matches what lies under it as a folder.
bool MatchMember(std::string_view pattern, std::string_view name, bool zipClasses);

}  // namespace standin

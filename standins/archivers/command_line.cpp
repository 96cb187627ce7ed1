// Tokeniser, dialect parsers and member-name matching of the stand-in libraries. Each dialect knows its
// command words or command switches and the few switches that change what is done; everything else is
// accepted and ignored, as the outside libraries ignore what they do not know.
#include "command_line.h"

#include <windows.h>

#include <cstdint>

#include "archive_formats.h"
#include "platform/sjis.h"

namespace standin {

namespace {

bool IsSwitch(const std::string& t) { return t.size() > 1 && t[0] == '-'; }

bool StartsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

bool ReadResponseFile(const std::string& path, std::vector<std::string>& names) {
    std::string text;
    if (!ReadWholeFile(platform::SjisToWide(path), text)) return false;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        std::string line = text.substr(pos, eol == std::string::npos ? std::string::npos : eol - pos);
        pos = eol == std::string::npos ? text.size() : eol + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() >= 2 && line.front() == '"' && line.back() == '"')
            line = line.substr(1, line.size() - 2);
        if (!line.empty()) names.push_back(line);
    }
    return true;
}

// ParsedCommand words of the dialects that take one before the archive name.
Operation WordOperation(Dialect d, const std::string& w, ParsedCommand& c) {
    if (w.size() != 1) return Operation::None;
    char ch = static_cast<char>(w[0] | 0x20);
    switch (d) {
        case Dialect::Lha:
        case Dialect::Bga:
        case Dialect::SevenZip:
            if (ch == 'e') c.junkPaths = true;
            if (ch == 'x' || ch == 'e') return Operation::Extract;
            if (ch == 'l' || ch == 'v') return Operation::List;
            if (ch == 't') return Operation::Test;
            if (ch == 'a' || ch == 'u' || ch == 'm') return Operation::Add;
            if (ch == 'f' && d == Dialect::Lha) return Operation::Freshen;
            if (ch == 'd') return Operation::Delete;
            if (ch == 's' && d != Dialect::SevenZip) return Operation::MakeSfx;
            return Operation::None;
        case Dialect::Yz1:
            if (ch == 'x') return Operation::Extract;
            if (ch == 'c') return Operation::Add;
            if (ch == 'l') return Operation::List;
            if (ch == 't') return Operation::Test;
            return Operation::None;
        case Dialect::Tar:
            if (ch == 'x') return Operation::Extract;
            if (ch == 'c') return Operation::Add;
            if (ch == 't') return Operation::List;
            return Operation::None;
        default:
            return Operation::None;
    }
}

// ParsedCommand switches of the dialects whose command is a switch ("-x").
Operation SwitchOperation(Dialect d, const std::string& s, ParsedCommand& c) {
    switch (d) {
        case Dialect::UnZip:
            if (s == "-x") return Operation::Extract;
            if (s == "-l" || s == "-v") return Operation::List;
            if (s == "-t") return Operation::Test;
            break;
        case Dialect::Cab:
            if (s == "-x") return Operation::Extract;
            if (s == "-a") return Operation::Add;
            if (s == "-f") return Operation::MakeSfx;
            if (s == "-l") return Operation::List;
            if (s == "-t") return Operation::Test;
            break;
        case Dialect::Rar:
            if (s == "-e") c.junkPaths = true;
            if (s == "-x" || s == "-e") return Operation::Extract;
            if (s == "-l") return Operation::List;
            if (s == "-t") return Operation::Test;
            break;
        case Dialect::Tar:
            if (s == "-x") return Operation::Extract;
            if (s == "-c") return Operation::Add;
            if (s == "-t") return Operation::List;
            break;
        default:
            break;
    }
    return Operation::None;
}

void ApplySwitch(Dialect d, const std::string& s, ParsedCommand& c) {
    switch (d) {
        case Dialect::Lha:
        case Dialect::Yz1:
            if (d == Dialect::Lha && StartsWith(s, "-jx"))
                c.excludes.push_back(s.substr(3));
            else if (s == "-x0")
                c.junkPaths = true;
            else if (StartsWith(s, "-x") && s.size() == 3)
                c.junkPaths = false;
            else if (s == "-jn1")
                c.overwrite = Overwrite::Never;
            else if (s == "-u1")
                c.overwrite = Overwrite::Newer;
            else if (StartsWith(s, "-r") && s.size() == 3 && s[2] > '0' && s[2] <= '9')
                c.recurse = true;
            break;
        case Dialect::UnZip:
            if (s == "-o")
                c.overwrite = Overwrite::Always;
            else if (s == "-n")
                c.overwrite = Overwrite::Never;
            else if (s == "-u" || s == "-f")
                c.overwrite = Overwrite::Newer;
            else if (s == "-j")
                c.junkPaths = true;
            break;
        case Dialect::Zip:
            if (StartsWith(s, "--")) break;
            for (size_t i = 1; i < s.size(); ++i) {
                char ch = s[i];
                if (ch == 'd')
                    c.op = Operation::Delete;
                else if (ch == 'f')
                    c.op = Operation::Freshen;
                else if (ch == 'u')
                    c.updateOnly = true;
                else if (ch == 'r')
                    c.recurse = true;
                else if (ch == 'j')
                    c.junkPaths = true;
                else if (ch == '0')
                    c.store = true;
            }
            break;
        case Dialect::Cab:
        case Dialect::Bga:
            if (s == "-o")
                c.overwrite = Overwrite::Always;
            else if (s == "-n")
                c.overwrite = Overwrite::Never;
            else if (s == "-j")
                c.junkPaths = true;
            else if (s == "-r")
                c.recurse = true;
            break;
        case Dialect::Rar:
            if (s == "-o" || s == "-y")
                c.overwrite = Overwrite::Always;
            else if (s == "-o-")
                c.overwrite = Overwrite::Never;
            else if (s == "-u")
                c.overwrite = Overwrite::Newer;
            break;
        case Dialect::Tar:
            if (StartsWith(s, "-z"))
                c.gzip = true;
            else if (StartsWith(s, "-B"))
                c.bzip2 = true;
            else if (s == "--use-directory=0")
                c.junkPaths = true;
            break;
        case Dialect::SevenZip:
            if (s == "-aoa" || (s == "-y" && c.overwrite == Overwrite::Never))
                c.overwrite = Overwrite::Always;
            else if (s == "-aos")
                c.overwrite = Overwrite::Never;
            else if (s == "-aou")
                c.overwrite = Overwrite::Rename;
            else if (s == "-r")
                c.recurse = true;
            else if (s == "-r-")
                c.recurse = false;
            else if (StartsWith(s, "-x!"))
                c.excludes.push_back(s.substr(3));
            else if (StartsWith(s, "-o"))
                c.folder = s.substr(2);
            break;
    }
}

// One character of a name, as a code for matching: case folded, "\" and "/" the same.
std::vector<uint16_t> Codes(std::string_view s) {
    std::vector<uint16_t> out;
    for (size_t i = 0; i < s.size();) {
        size_t n = platform::SjisCharLength(s, i);
        uint16_t c = static_cast<unsigned char>(s[i]);
        if (n == 2)
            c = static_cast<uint16_t>(c << 8 | static_cast<unsigned char>(s[i + 1]));
        else if (c == '\\')
            c = '/';
        else if (c >= 'a' && c <= 'z')
            c = static_cast<uint16_t>(c - 32);
        out.push_back(c);
        i += n;
    }
    return out;
}

bool MatchCodes(const std::vector<uint16_t>& p, size_t pi, const std::vector<uint16_t>& n, size_t ni,
                bool classes) {
    while (pi < p.size()) {
        uint16_t pc = p[pi];
        if (pc == '*') {
            while (pi < p.size() && p[pi] == '*') ++pi;
            if (pi == p.size()) return true;
            for (size_t k = ni; k <= n.size(); ++k)
                if (MatchCodes(p, pi, n, k, classes)) return true;
            return false;
        }
        if (ni == n.size()) return false;
        if (pc == '?') {
            ++pi, ++ni;
            continue;
        }
        if (pc == '[' && classes) {
            size_t close = pi + 2;  // a "]" right after "[" is a member of the class
            while (close < p.size() && p[close] != ']') ++close;
            if (close < p.size()) {
                bool hit = false;
                for (size_t k = pi + 1; k < close; ++k) {
                    if (k + 2 < close && p[k + 1] == '-') {
                        hit = hit || (n[ni] >= p[k] && n[ni] <= p[k + 2]);
                        k += 2;
                    } else {
                        hit = hit || n[ni] == p[k];
                    }
                }
                if (!hit) return false;
                pi = close + 1, ++ni;
                continue;
            }
        }
        if (pc != n[ni]) return false;
        ++pi, ++ni;
    }
    return ni == n.size();
}

}  // namespace

std::vector<Token> Tokenize(std::string_view line) {
    std::vector<Token> tokens;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i >= line.size()) break;
        Token t;
        bool quoted = false;
        while (i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
            if (line[i] == '"')
                quoted = !quoted;
            else
                t.text.push_back(line[i]);
            ++i;
        }
        t.end = i;
        tokens.push_back(std::move(t));
    }
    return tokens;
}

ParsedCommand ParseCommand(Dialect d, std::string_view line) {
    ParsedCommand c;
    c.zipClasses = d == Dialect::UnZip || d == Dialect::Zip;
    if (d == Dialect::Lha || d == Dialect::Tar || d == Dialect::Yz1) c.overwrite = Overwrite::Always;
    if (d == Dialect::Zip) c.op = Operation::Add;
    bool haveFolder = false;
    std::vector<Token> tokens = Tokenize(line);
    for (size_t i = 0; i < tokens.size(); ++i) {
        const std::string& t = tokens[i].text;
        if (d == Dialect::Zip && t == "-A") {
            // The path follows unquoted and may hold blanks: it is the rest of the line.
            std::string_view rest = line.substr(tokens[i].end);
            while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
            while (!rest.empty() && rest.back() == ' ') rest.remove_suffix(1);
            if (rest.size() >= 2 && rest.front() == '"' && rest.back() == '"')
                rest = rest.substr(1, rest.size() - 2);
            c.op = Operation::AdjustSfx;
            c.sfxPath = std::string(rest);
            break;
        }
        if (IsSwitch(t)) {
            Operation op = c.op == Operation::None ? SwitchOperation(d, t, c) : Operation::None;
            if (op != Operation::None)
                c.op = op;
            else
                ApplySwitch(d, t, c);
            continue;
        }
        if (c.op == Operation::None && c.archive.empty()) {
            Operation op = WordOperation(d, t, c);
            if (op != Operation::None) {
                c.op = op;
                continue;
            }
        }
        if (!t.empty() && t[0] == '@' && !c.archive.empty()) {
            if (!ReadResponseFile(t.substr(1), c.names))
                c.error = "cannot read the response file " + t.substr(1);
            continue;
        }
        if (c.archive.empty()) {
            c.archive = t;
        } else if (!haveFolder && d != Dialect::SevenZip && platform::SjisEndsWithChar(t, '\\')) {
            c.folder = t;
            haveFolder = true;
        } else if (!t.empty()) {
            c.names.push_back(t);
        }
    }
    return c;
}

std::string UnescapeZipName(std::string_view name) {
    std::string out;
    if (StartsWith(name, "[-]")) {
        out = "-";
        name.remove_prefix(3);
    }
    for (size_t i = 0; i < name.size();) {
        size_t n = platform::SjisCharLength(name, i);
        if (n == 1 && name.substr(i, 3) == "[[]") {
            out.push_back('[');
            i += 3;
            continue;
        }
        out.append(name.substr(i, n));
        if (n == 1 && out.back() == '/') out.back() = '\\';
        i += n;
    }
    return out;
}

bool MatchMember(std::string_view pattern, std::string_view name, bool zipClasses) {
    std::string p(pattern);
    if (p.size() >= 3 && p.compare(p.size() - 3, 3, "*.*") == 0) p.resize(p.size() - 2);
    std::vector<uint16_t> pc = Codes(p), nc = Codes(name);
    while (!pc.empty() && pc.back() == '/') pc.pop_back();
    while (!nc.empty() && nc.back() == '/') nc.pop_back();
    if (MatchCodes(pc, 0, nc, 0, zipClasses)) return true;
    // A plain folder name selects what lies under it.
    bool wild = false;
    for (uint16_t ch : pc) wild = wild || ch == '*' || ch == '?' || (zipClasses && ch == '[');
    if (wild || pc.empty() || nc.size() <= pc.size() || nc[pc.size()] != '/') return false;
    return std::equal(pc.begin(), pc.end(), nc.begin());
}

}  // namespace standin

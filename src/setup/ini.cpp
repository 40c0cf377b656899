// The profile rules over the bytes of one INI file: finding sections and
// keys, and writing a key with every other byte of the file left alone.
#include "setup/ini.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>

namespace ini {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(const char* a, std::size_t aLen, const std::string& b) {
    if (aLen != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < aLen; ++i) {
        if (Lower(a[i]) != Lower(b[i])) {
            return false;
        }
    }
    return true;
}

// [begin, end) of s without the blanks at either end.
void Trim(const std::string& s, std::size_t& begin, std::size_t& end) {
    while (begin < end && IsBlank(s[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(s[end - 1])) {
        --end;
    }
}

std::string Trimmed(const std::string& s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    Trim(s, b, e);
    return s.substr(b, e - b);
}

// One line of the text: [begin, end) is its content, next the start of the
// following line (end, plus the length of the line end: 0, 1 for LF, 2 for
// CR LF).
struct LineSpan {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t next = 0;
    int number = 0; // 1-based
};

class LineWalker {
public:
    explicit LineWalker(const std::string& text, std::size_t from = 0, int firstLine = 1)
        : text_(text), pos_(from), number_(firstLine - 1) {}

    bool Next(LineSpan& line) {
        if (pos_ >= text_.size()) {
            return false;
        }
        line.begin = pos_;
        const void* nl = std::memchr(text_.data() + pos_, '\n', text_.size() - pos_);
        if (nl == nullptr) {
            line.end = text_.size();
            line.next = text_.size();
        } else {
            const std::size_t at = static_cast<const char*>(nl) - text_.data();
            line.end = (at > pos_ && text_[at - 1] == '\r') ? at - 1 : at;
            line.next = at + 1;
        }
        if (number_ < std::numeric_limits<int>::max()) {
            ++number_;
        }
        line.number = number_;
        pos_ = line.next;
        return true;
    }

private:
    const std::string& text_;
    std::size_t pos_;
    int number_;
};

enum class Kind { Blank, Comment, Section, Key, Other };

// What a line is. For a section: name = the text between "[" and the first
// "]", trimmed. For a key: name = the text before the first "=", value = the
// text after it, both trimmed.
struct LineInfo {
    Kind kind = Kind::Other;
    std::size_t nameBegin = 0;
    std::size_t nameEnd = 0;
    std::size_t valueBegin = 0;
    std::size_t valueEnd = 0;
};

LineInfo Classify(const std::string& text, const LineSpan& line) {
    LineInfo info;
    std::size_t first = line.begin;
    while (first < line.end && IsBlank(text[first])) {
        ++first;
    }
    if (first == line.end) {
        info.kind = Kind::Blank;
        return info;
    }
    if (text[first] == ';') {
        info.kind = Kind::Comment;
        return info;
    }
    if (text[first] == '[') {
        const void* close = std::memchr(text.data() + first + 1, ']', line.end - first - 1);
        if (close != nullptr) {
            info.kind = Kind::Section;
            info.nameBegin = first + 1;
            info.nameEnd = static_cast<const char*>(close) - text.data();
            Trim(text, info.nameBegin, info.nameEnd);
            return info;
        }
        // "[" without "]" is no section header; it may still be a key line.
    }
    const void* eq = std::memchr(text.data() + first, '=', line.end - first);
    if (eq == nullptr) {
        return info; // Other
    }
    const std::size_t eqAt = static_cast<const char*>(eq) - text.data();
    info.kind = Kind::Key;
    info.nameBegin = first;
    info.nameEnd = eqAt;
    Trim(text, info.nameBegin, info.nameEnd);
    info.valueBegin = eqAt + 1;
    info.valueEnd = line.end;
    Trim(text, info.valueBegin, info.valueEnd);
    return info;
}

bool NameIs(const std::string& text, const LineInfo& info, const std::string& name) {
    return SameName(text.data() + info.nameBegin, info.nameEnd - info.nameBegin, name);
}

std::string NameOf(const std::string& text, const LineInfo& info) {
    return text.substr(info.nameBegin, info.nameEnd - info.nameBegin);
}

// Walks the lines of a section's body, from `body` (the line after the
// header) to the next header. The callback gets every line with its kind and
// returns false to stop.
template <typename Visit>
void WalkBody(const std::string& text, std::size_t body, int firstLine, Visit visit) {
    LineWalker walker(text, body, firstLine);
    LineSpan line;
    while (walker.Next(line)) {
        const LineInfo info = Classify(text, line);
        if (info.kind == Kind::Section || !visit(line, info)) {
            return;
        }
    }
}

// The first key line called `key` in a section's body.
bool FindKeyIn(const std::string& text, std::size_t body, int firstLine, const std::string& key,
               LineSpan& found, LineInfo& foundInfo) {
    const std::string wanted = Trimmed(key);
    bool hit = false;
    WalkBody(text, body, firstLine, [&](const LineSpan& line, const LineInfo& info) {
        if (info.kind == Kind::Key && NameIs(text, info, wanted)) {
            found = line;
            foundInfo = info;
            hit = true;
            return false;
        }
        return true;
    });
    return hit;
}

// Orders names byte by byte, ASCII letters without regard to case.
bool NameLess(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(Lower(a[i]));
        const auto cb = static_cast<unsigned char>(Lower(b[i]));
        if (ca != cb) {
            return ca < cb;
        }
    }
    return a.size() < b.size();
}

// One Set never writes more than one line: line breaks given by the caller
// become blanks.
std::string OneLine(std::string s) {
    for (char& c : s) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return s;
}

bool EndsWithLineEnd(const std::string& text) {
    return !text.empty() && text.back() == '\n';
}

// The line end that closes a text whose last line has none. A CR at the very
// end is part of that line; an LF right after it would make a CR LF line end
// of it and change the line's value, so such a line is closed with CR LF.
std::string ClosingLineEnd(const std::string& text, const std::string& eol) {
    return !text.empty() && text.back() == '\r' ? std::string("\r\n") : eol;
}

} // namespace

Profile Profile::FromText(std::string text) {
    Profile p;
    p.text_ = std::move(text);
    if (p.text_.starts_with(kByteOrderMark)) {
        p.start_ = kByteOrderMark.size();
    }
    const std::size_t nl = p.text_.find('\n');
    if (nl != std::string::npos && nl > 0 && p.text_[nl - 1] == '\r') {
        p.eol_ = "\r\n";
    }
    p.Reindex();
    return p;
}

void Profile::Reindex() {
    index_.clear();
    LineWalker walker(text_, start_);
    LineSpan line;
    while (walker.Next(line)) {
        const LineInfo info = Classify(text_, line);
        if (info.kind == Kind::Section) {
            index_.push_back(SectionRef{info.nameBegin, info.nameEnd, line.next, line.number});
        }
    }
    auto name = [this](const SectionRef& r) {
        return std::string_view(text_).substr(r.nameBegin, r.nameEnd - r.nameBegin);
    };
    // Stable, so that of several sections with the same name the first in
    // the file comes first and is the one kept.
    std::stable_sort(index_.begin(), index_.end(), [&](const SectionRef& a, const SectionRef& b) {
        return NameLess(name(a), name(b));
    });
    index_.erase(std::unique(index_.begin(), index_.end(),
                             [&](const SectionRef& a, const SectionRef& b) {
                                 return !NameLess(name(a), name(b)) && !NameLess(name(b), name(a));
                             }),
                 index_.end());
    index_.shrink_to_fit();
}

const Profile::SectionRef* Profile::FindSection(const std::string& section) const {
    const std::string wanted = Trimmed(section);
    auto name = [this](const SectionRef& r) {
        return std::string_view(text_).substr(r.nameBegin, r.nameEnd - r.nameBegin);
    };
    const auto it = std::lower_bound(
        index_.begin(), index_.end(), wanted,
        [&](const SectionRef& r, const std::string& w) { return NameLess(name(r), w); });
    if (it == index_.end() ||
        !SameName(text_.data() + it->nameBegin, it->nameEnd - it->nameBegin, wanted)) {
        return nullptr;
    }
    return &*it;
}

std::optional<std::string> Profile::Get(const std::string& section, const std::string& key) const {
    const SectionRef* ref = FindSection(section);
    LineSpan line;
    LineInfo info;
    if (ref == nullptr || !FindKeyIn(text_, ref->body, ref->line + 1, key, line, info)) {
        return std::nullopt;
    }
    std::size_t b = info.valueBegin;
    std::size_t e = info.valueEnd;
    if (e - b >= 2 && (text_[b] == '"' || text_[b] == '\'') && text_[e - 1] == text_[b]) {
        ++b;
        --e;
    }
    return text_.substr(b, e - b);
}

std::string Profile::GetString(const std::string& section, const std::string& key,
                               const std::string& fallback) const {
    std::optional<std::string> v = Get(section, key);
    return v ? *v : fallback;
}

bool Profile::HasSection(const std::string& section) const {
    return FindSection(section) != nullptr;
}

std::vector<std::string> Profile::Keys(const std::string& section) const {
    std::vector<std::string> keys;
    const SectionRef* ref = FindSection(section);
    if (ref == nullptr) {
        return keys;
    }
    WalkBody(text_, ref->body, ref->line + 1, [&](const LineSpan&, const LineInfo& info) {
        if (info.kind == Kind::Key) {
            keys.push_back(NameOf(text_, info));
        }
        return true;
    });
    return keys;
}

std::vector<std::string> Profile::Sections() const {
    std::vector<std::string> names;
    LineWalker walker(text_, start_);
    LineSpan line;
    while (walker.Next(line)) {
        const LineInfo info = Classify(text_, line);
        if (info.kind == Kind::Section) {
            names.push_back(NameOf(text_, info));
        }
    }
    return names;
}

int Profile::LineOf(const std::string& section, const std::string& key) const {
    const SectionRef* ref = FindSection(section);
    LineSpan line;
    LineInfo info;
    if (ref == nullptr || !FindKeyIn(text_, ref->body, ref->line + 1, key, line, info)) {
        return 0;
    }
    return line.number;
}

int Profile::SectionLine(const std::string& section) const {
    const SectionRef* ref = FindSection(section);
    return ref == nullptr ? 0 : ref->line;
}

std::vector<Profile::LooseLine> Profile::LinesBeforeSections() const {
    std::vector<LooseLine> lines;
    LineWalker walker(text_, start_);
    LineSpan line;
    while (walker.Next(line)) {
        const Kind kind = Classify(text_, line).kind;
        if (kind == Kind::Section) {
            break;
        }
        if (kind != Kind::Blank && kind != Kind::Comment) {
            lines.push_back({line.number, text_.substr(line.begin, line.end - line.begin)});
        }
    }
    return lines;
}

void Profile::Set(const std::string& section, const std::string& key, const std::string& value) {
    const std::string sectionName = Trimmed(OneLine(section));
    const std::string keyName = Trimmed(OneLine(key));
    const std::string entry = keyName + "=" + OneLine(value);

    if (const SectionRef* ref = FindSection(sectionName)) {
        // Replace the key's line in place, its line end kept.
        LineSpan line;
        LineInfo info;
        if (FindKeyIn(text_, ref->body, ref->line + 1, keyName, line, info)) {
            text_.replace(line.begin, line.end - line.begin, entry);
            Reindex();
            return;
        }
        // Add the key after the last line of its section that is not blank,
        // so that the blank lines that part it from the next section stay
        // there.
        std::size_t insertAt = ref->body;
        WalkBody(text_, ref->body, ref->line + 1, [&](const LineSpan& l, const LineInfo& i) {
            if (i.kind != Kind::Blank) {
                insertAt = l.next;
            }
            return true;
        });
        if (insertAt == text_.size() && !EndsWithLineEnd(text_)) {
            text_ += ClosingLineEnd(text_, eol_) + entry + eol_;
        } else {
            text_.insert(insertAt, entry + eol_);
        }
        Reindex();
        return;
    }

    // Add the section at the end, after a blank line.
    std::string tail;
    if (text_.size() > start_) {
        LineWalker walker(text_, start_);
        LineSpan line;
        LineSpan last;
        while (walker.Next(line)) {
            last = line;
        }
        if (!EndsWithLineEnd(text_)) {
            tail += ClosingLineEnd(text_, eol_);
        }
        if (Classify(text_, last).kind != Kind::Blank) {
            tail += eol_;
        }
    }
    tail += "[" + sectionName + "]" + eol_ + entry + eol_;
    text_ += tail;
    Reindex();
}

std::string Profile::Text() const {
    return text_;
}

std::optional<std::int64_t> ParseProfileInteger(const std::string& text) {
    std::size_t i = 0;
    std::size_t end = text.size();
    Trim(text, i, end);
    bool negative = false;
    if (i < end && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    unsigned base = 10;
    if (i < end && text[i] == '$') {
        base = 16;
        ++i;
    } else if (end - i >= 2 && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == end) {
        return std::nullopt;
    }
    // Accumulate the magnitude; the most negative value has one more than
    // the most positive.
    const std::uint64_t limit =
        static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + (negative ? 1 : 0);
    std::uint64_t magnitude = 0;
    for (; i < end; ++i) {
        const char c = text[i];
        unsigned digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (base == 16 && Lower(c) >= 'a' && Lower(c) <= 'f') {
            digit = static_cast<unsigned>(Lower(c) - 'a' + 10);
        } else {
            return std::nullopt;
        }
        if (magnitude > (limit - digit) / base) {
            return std::nullopt;
        }
        magnitude = magnitude * base + digit;
    }
    if (negative) {
        // -(2^63) has no positive counterpart: negate in unsigned arithmetic.
        return static_cast<std::int64_t>(0 - magnitude);
    }
    return static_cast<std::int64_t>(magnitude);
}

bool GetProfileBool(const Profile& p, const std::string& section, const std::string& key,
                    bool fallback) {
    const std::optional<std::string> text = p.Get(section, key);
    if (!text) {
        return fallback;
    }
    const std::optional<std::int64_t> value = ParseProfileInteger(*text);
    return value ? *value != 0 : fallback;
}

} // namespace ini

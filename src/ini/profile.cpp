// The profile rules over the bytes of one INI file: finding sections and
// keys, and writing a key with every other byte of the file left alone.
#include "ini/profile.h"

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

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    if (a == b) {
        return true; // the usual case, compared in one go
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
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

// The line that starts at begin.
LineSpan LineFrom(const std::string& text, std::size_t begin, int number) {
    LineWalker walker(text, begin, number);
    LineSpan line;
    walker.Next(line);
    return line;
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

// The scope of a key's name in the index: its section's.
std::uint64_t KeyScope(std::uint32_t section) {
    return static_cast<std::uint64_t>(section) + 1;
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
    sections_.clear();
    keys_.clear();
    LineWalker walker(text_, start_);
    LineSpan line;
    while (walker.Next(line)) {
        const LineInfo info = Classify(text_, line);
        const auto nameLength = static_cast<std::uint32_t>(info.nameEnd - info.nameBegin);
        if (info.kind == Kind::Section) {
            const auto index = static_cast<std::uint32_t>(sections_.size());
            sections_.push_back(SectionRef{line.begin, info.nameBegin, nameLength, index,
                                           keys_.size(), keys_.size(), line.number});
        } else if (info.kind == Kind::Key && !sections_.empty()) {
            const auto index = static_cast<std::uint32_t>(keys_.size());
            keys_.push_back(KeyRef{line.begin, info.nameBegin, nameLength,
                                   static_cast<std::uint32_t>(sections_.size() - 1), index,
                                   line.number});
            sections_.back().endKey = keys_.size();
        }
    }
    // Of several sections (keys of a section) with the same name, the first
    // in the file is the one found.
    sectionNames_.Reset(sections_.size());
    for (std::uint32_t i = 0; i < sections_.size(); ++i) {
        const std::string_view name = SectionName(i);
        sections_[i].first = sectionNames_.Add(FoldedNameHash(name), i, [&](std::uint32_t other) {
            return SameName(SectionName(other), name);
        });
    }
    keyNames_.Reset(keys_.size());
    for (std::uint32_t i = 0; i < keys_.size(); ++i) {
        const std::string_view name = KeyName(i);
        const std::uint32_t section = keys_[i].section;
        keys_[i].first =
            keyNames_.Add(FoldedNameHash(name, KeyScope(section)), i, [&](std::uint32_t other) {
                return keys_[other].section == section && SameName(KeyName(other), name);
            });
    }
}

std::string_view Profile::SectionName(std::uint32_t index) const {
    const SectionRef& ref = sections_[index];
    return std::string_view(text_).substr(ref.nameBegin, ref.nameLength);
}

std::string_view Profile::KeyName(std::uint32_t index) const {
    const KeyRef& ref = keys_[index];
    return std::string_view(text_).substr(ref.nameBegin, ref.nameLength);
}

const Profile::SectionRef* Profile::FindSection(const std::string& section) const {
    std::size_t b = 0;
    std::size_t e = section.size();
    Trim(section, b, e);
    const std::string_view wanted = std::string_view(section).substr(b, e - b);
    const std::uint32_t found = sectionNames_.Find(
        FoldedNameHash(wanted), [&](std::uint32_t i) { return SameName(SectionName(i), wanted); });
    return found == NameIndex::kNone ? nullptr : &sections_[found];
}

const Profile::KeyRef* Profile::FindKey(const SectionRef& section, const std::string& key,
                                        ValueSpan* value) const {
    std::size_t b = 0;
    std::size_t e = key.size();
    Trim(key, b, e);
    return FindKey(static_cast<std::uint32_t>(&section - sections_.data()),
                   std::string_view(key).substr(b, e - b), value);
}

const Profile::KeyRef* Profile::FindKey(std::uint32_t section, std::string_view key,
                                        ValueSpan* value) const {
    const std::uint32_t found =
        keyNames_.Find(FoldedNameHash(key, KeyScope(section)), [&](std::uint32_t i) {
            return keys_[i].section == section && SameName(KeyName(i), key);
        });
    if (found == NameIndex::kNone)
        return nullptr;
    const KeyRef& ref = keys_[found];
    if (value != nullptr) {
        const LineInfo info = Classify(text_, LineFrom(text_, ref.lineBegin, ref.line));
        *value = ValueSpan{info.valueBegin, info.valueEnd};
    }
    return &ref;
}

Profile::SectionView Profile::Section(const std::string& section) const {
    return SectionView(*this, FindSection(section));
}

std::optional<std::string> Profile::SectionView::Get(const std::string& key) const {
    ValueSpan value;
    if (ref_ == nullptr || profile_->FindKey(*ref_, key, &value) == nullptr) {
        return std::nullopt;
    }
    const std::string& text = profile_->text_;
    std::size_t b = value.begin;
    std::size_t e = value.end;
    if (e - b >= 2 && (text[b] == '"' || text[b] == '\'') && text[e - 1] == text[b]) {
        ++b;
        --e;
    }
    return text.substr(b, e - b);
}

std::string Profile::SectionView::GetString(const std::string& key,
                                            const std::string& fallback) const {
    std::optional<std::string> v = Get(key);
    return v ? *v : fallback;
}

std::vector<std::string> Profile::SectionView::Keys() const {
    std::vector<std::string> keys;
    if (ref_ == nullptr)
        return keys;
    keys.reserve(ref_->endKey - ref_->firstKey);
    for (std::size_t i = ref_->firstKey; i < ref_->endKey; ++i)
        keys.emplace_back(profile_->KeyName(static_cast<std::uint32_t>(i)));
    return keys;
}

std::size_t Profile::SectionView::KeyCount() const {
    return ref_ == nullptr ? 0 : ref_->endKey - ref_->firstKey;
}

std::vector<Profile::NamedLine> Profile::SectionView::KeyLines() const {
    std::vector<NamedLine> lines;
    if (ref_ == nullptr)
        return lines;
    lines.reserve(ref_->endKey - ref_->firstKey);
    for (std::size_t i = ref_->firstKey; i < ref_->endKey; ++i) {
        const KeyRef& key = profile_->keys_[i];
        lines.push_back(NamedLine{std::string(profile_->KeyName(static_cast<std::uint32_t>(i))),
                                  key.line, profile_->keys_[key.first].line});
    }
    return lines;
}

int Profile::SectionView::LineOf(const std::string& key) const {
    const KeyRef* found = ref_ == nullptr ? nullptr : profile_->FindKey(*ref_, key);
    return found == nullptr ? 0 : found->line;
}

std::optional<std::string> Profile::Get(const std::string& section, const std::string& key) const {
    return Section(section).Get(key);
}

std::string Profile::GetString(const std::string& section, const std::string& key,
                               const std::string& fallback) const {
    return Section(section).GetString(key, fallback);
}

bool Profile::HasSection(const std::string& section) const {
    return FindSection(section) != nullptr;
}

std::vector<std::string> Profile::Keys(const std::string& section) const {
    return Section(section).Keys();
}

std::vector<std::string> Profile::Sections() const {
    std::vector<std::string> names;
    names.reserve(sections_.size());
    for (std::uint32_t i = 0; i < sections_.size(); ++i)
        names.emplace_back(SectionName(i));
    return names;
}

std::vector<Profile::NamedLine> Profile::SectionLines() const {
    std::vector<NamedLine> lines;
    lines.reserve(sections_.size());
    for (std::uint32_t i = 0; i < sections_.size(); ++i) {
        const SectionRef& ref = sections_[i];
        lines.push_back(
            NamedLine{std::string(SectionName(i)), ref.line, sections_[ref.first].line});
    }
    return lines;
}

int Profile::LineOf(const std::string& section, const std::string& key) const {
    return Section(section).LineOf(key);
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
        if (const KeyRef* found = FindKey(*ref, keyName)) {
            const LineSpan line = LineFrom(text_, found->lineBegin, found->line);
            text_.replace(line.begin, line.end - line.begin, entry);
            Reindex();
            return;
        }
        // Add the key after the last line of its section that is not blank,
        // so that the blank lines that part it from the next section stay
        // there.
        const std::size_t body = LineFrom(text_, ref->lineBegin, ref->line).next;
        std::size_t insertAt = body;
        WalkBody(text_, body, ref->line + 1, [&](const LineSpan& l, const LineInfo& i) {
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

#include "datagram/radio_info.h"

#include <array>

namespace datagram {

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsNameStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':';
}

bool IsNameChar(char c) {
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

// A whole number of at most 12 digits (tens of hertz up to 10 THz).
std::optional<std::uint64_t> Digits(std::string_view text) {
    text = Trim(text);
    if (text.empty() || text.size() > 12)
        return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

std::optional<bool> Boolean(std::string_view text) {
    text = Trim(text);
    if (EqualsNoCase(text, "true"))
        return true;
    if (EqualsNoCase(text, "false"))
        return false;
    return std::nullopt;
}

// A cursor over the datagram that fails once and stays failed.
class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    bool AtEnd() const { return pos_ >= text_.size(); }
    bool Failed() const { return error_ != nullptr; }
    const char* Error() const { return error_; }
    std::size_t Pos() const { return pos_; }

    bool Fail(const char* why) {
        if (error_ == nullptr)
            error_ = why;
        return false;
    }
    void SkipSpace() {
        while (!AtEnd() && IsSpace(text_[pos_]))
            ++pos_;
    }
    bool StartsWith(std::string_view s) const { return text_.substr(pos_).starts_with(s); }
    // Moves past the next occurrence of s; fails when there is none.
    bool SkipPast(std::string_view s, const char* why) {
        const std::size_t at = text_.find(s, pos_);
        if (at == std::string_view::npos)
            return Fail(why);
        pos_ = at + s.size();
        return true;
    }
    std::string_view Name() {
        const std::size_t start = pos_;
        if (AtEnd() || !IsNameStart(text_[pos_])) {
            Fail("a tag without a name");
            return {};
        }
        while (!AtEnd() && IsNameChar(text_[pos_]))
            ++pos_;
        return text_.substr(start, pos_ - start);
    }
    // Attributes (name="value", each after a blank) up to the tag's end;
    // empty tells "/>" (an empty element).
    bool TagEnd(bool& empty) {
        for (;;) {
            const std::size_t before = pos_;
            SkipSpace();
            if (AtEnd())
                return Fail("a tag without its '>'");
            if (text_[pos_] == '>') {
                ++pos_;
                empty = false;
                return true;
            }
            if (text_[pos_] == '/') {
                if (Peek(1) != '>')
                    return Fail("a stray '/' in a tag");
                pos_ += 2;
                empty = true;
                return true;
            }
            if (pos_ == before)
                return Fail("a tag name followed by something else than a blank");
            Name();
            if (Failed())
                return false;
            SkipSpace();
            if (Peek() != '=')
                return Fail("an attribute without its value");
            ++pos_;
            SkipSpace();
            const char quote = Peek();
            if (quote != '"' && quote != '\'')
                return Fail("an attribute value without quotes");
            const std::size_t close = text_.find(quote, pos_ + 1);
            if (close == std::string_view::npos)
                return Fail("an attribute value without its closing quote");
            if (text_.substr(pos_, close - pos_).find('<') != std::string_view::npos)
                return Fail("a '<' inside an attribute value");
            pos_ = close + 1;
        }
    }
    // Character data up to the next '<'.
    std::string_view Text() {
        const std::size_t start = pos_;
        while (!AtEnd() && text_[pos_] != '<')
            ++pos_;
        return text_.substr(start, pos_ - start);
    }
    char Peek(std::size_t ahead = 0) const {
        return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0';
    }
    void Advance(std::size_t n) { pos_ += n; }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
    const char* error_ = nullptr;
};

// Comments and processing instructions between elements.
bool SkipMisc(Reader& r) {
    for (;;) {
        r.SkipSpace();
        if (r.StartsWith("<!--")) {
            if (!r.SkipPast("-->", "a comment without its end"))
                return false;
        } else if (r.StartsWith("<?")) {
            if (!r.SkipPast("?>", "a declaration without its end"))
                return false;
        } else {
            return true;
        }
    }
}

enum Field { kRadioNr, kFreq, kTxFreq, kIsTransmitting, kActiveRadioNr, kFieldCount };

std::optional<Field> FieldNamed(std::string_view name) {
    static constexpr std::array<std::string_view, kFieldCount> kNames = {
        "RadioNr", "Freq", "TXFreq", "IsTransmitting", "ActiveRadioNr"};
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        if (name == kNames[i])
            return static_cast<Field>(i);
    }
    return std::nullopt;
}

bool Store(Field field, std::string_view text, RadioInfo& info, Reader& r) {
    switch (field) {
    case kRadioNr:
    case kActiveRadioNr: {
        const std::optional<std::uint64_t> n = Digits(text);
        if (!n || *n < 1 || *n > 99)
            return r.Fail("a radio number that is not 1 to 99");
        if (field == kRadioNr)
            info.radioNr = static_cast<int>(*n);
        else
            info.activeRadioNr = static_cast<int>(*n);
        return true;
    }
    case kFreq:
    case kTxFreq: {
        const std::optional<std::uint64_t> tens = Digits(text);
        if (!tens)
            return r.Fail("a frequency that is not digits alone");
        if (field == kFreq)
            info.freqHz = *tens * 10;
        else
            info.txFreqHz = *tens * 10;
        return true;
    }
    case kIsTransmitting: {
        const std::optional<bool> b = Boolean(text);
        if (!b)
            return r.Fail("IsTransmitting that is neither True nor False");
        info.transmitting = *b;
        return true;
    }
    case kFieldCount:
        break;
    }
    return r.Fail("an unknown field");
}

// The elements inside RadioInfo, up to and past its end tag.
bool ParseContent(Reader& r, RadioInfo& info, std::array<bool, kFieldCount>& seen) {
    // Names of the open elements, the root first.
    std::array<std::string_view, kMaxDepth + 1> open{"RadioInfo"};
    int depth = 1;
    // The known field open at depth 2; kFieldCount while none is.
    Field field = kFieldCount;
    std::string_view fieldText;
    while (depth > 0) {
        const std::string_view text = r.Text();
        if (r.AtEnd())
            return r.Fail("the document ends inside an element");
        if (depth == 2 && field != kFieldCount)
            fieldText = text;
        else if (!Trim(text).empty() && depth == 1)
            return r.Fail("text directly inside RadioInfo");
        if (r.StartsWith("<!--")) {
            if (!r.SkipPast("-->", "a comment without its end"))
                return false;
            if (field != kFieldCount)
                return r.Fail("a comment inside a field");
            continue;
        }
        if (r.StartsWith("<![CDATA[") || r.StartsWith("<!") || r.StartsWith("<?"))
            return r.Fail("markup that a RadioInfo datagram does not hold");
        r.Advance(1); // '<'
        if (r.Peek() == '/') {
            r.Advance(1);
            const std::string_view name = r.Name();
            if (r.Failed())
                return false;
            r.SkipSpace();
            if (r.Peek() != '>')
                return r.Fail("an end tag without its '>'");
            r.Advance(1);
            if (name != open[static_cast<std::size_t>(depth - 1)])
                return r.Fail("an end tag that does not match its start tag");
            if (depth == 2 && field != kFieldCount && !Store(field, fieldText, info, r))
                return false;
            if (depth == 2)
                field = kFieldCount;
            --depth;
            continue;
        }
        const std::string_view name = r.Name();
        bool empty = false;
        if (r.Failed() || !r.TagEnd(empty))
            return false;
        if (field != kFieldCount)
            return r.Fail("an element inside a field");
        if (depth == 1) {
            field = FieldNamed(name).value_or(kFieldCount);
            fieldText = {};
            if (field != kFieldCount) {
                if (seen[field])
                    return r.Fail("a field given twice");
                seen[field] = true;
            }
        }
        if (empty) {
            if (field != kFieldCount && !Store(field, {}, info, r))
                return false;
            field = kFieldCount;
            continue;
        }
        if (depth == kMaxDepth)
            return r.Fail("elements nested too deep");
        open[static_cast<std::size_t>(depth)] = name;
        ++depth;
    }
    return true;
}

} // namespace

std::optional<RadioInfo> ParseRadioInfo(std::string_view datagram, std::string* error) {
    auto fail = [error](const char* why) -> std::optional<RadioInfo> {
        if (error != nullptr)
            *error = why;
        return std::nullopt;
    };
    if (datagram.size() > kMaxRadioInfoSize)
        return fail("larger than a RadioInfo datagram can be");
    if (datagram.starts_with("\xEF\xBB\xBF"))
        datagram.remove_prefix(3);
    Reader r(datagram);
    if (!SkipMisc(r))
        return fail(r.Error());
    if (r.Peek() != '<')
        return fail("not an XML document");
    r.Advance(1);
    const std::string_view root = r.Name();
    bool empty = false;
    if (r.Failed() || !r.TagEnd(empty))
        return fail(r.Error());
    if (root != "RadioInfo")
        return fail("not a RadioInfo document");
    RadioInfo info;
    std::array<bool, kFieldCount> seen{};
    if (!empty && !ParseContent(r, info, seen))
        return fail(r.Error());
    if (!SkipMisc(r))
        return fail(r.Error());
    if (!r.AtEnd())
        return fail("content after the RadioInfo element");
    if (!seen[kRadioNr])
        return fail("no RadioNr");
    if (!seen[kFreq])
        return fail("no Freq");
    return info;
}

} // namespace datagram

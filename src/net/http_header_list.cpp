#include "net/http_header_list.h"

#include "net/net_text.h"

namespace tessellon {

namespace {

constexpr std::size_t kFoldWidth = 78;

bool IsContinuation(const std::string& line) {
    return !line.empty() && (line.front() == ' ' || line.front() == '\t');
}

// Cuts `line` into pieces of at most kFoldWidth characters at blanks where
// possible; every piece but the first begins with the blank it was cut at.
std::vector<std::string> Fold(const std::string& line) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (line.size() - start > kFoldWidth) {
        std::size_t cut = line.find_last_of(" \t", start + kFoldWidth);
        if (cut == std::string::npos || cut <= start) {
            cut = line.find_first_of(" \t", start + kFoldWidth);
            if (cut == std::string::npos) {
                break;
            }
        }
        pieces.push_back(TrimRight(line.substr(start, cut - start)));
        start = cut;
    }
    pieces.push_back(TrimRight(line.substr(start)));
    return pieces;
}

}  // namespace

void THttpHeaderList::AddAll(const THttpHeaderList& other) {
    lines_.insert(lines_.end(), other.lines_.begin(), other.lines_.end());
}

std::string_view THttpHeaderList::NameOf(std::string_view line) {
    const std::size_t colon = line.find(':');
    return colon == std::string_view::npos ? std::string_view() : line.substr(0, colon);
}

std::size_t THttpHeaderList::IndexOf(std::string_view name) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (SameText(NameOf(lines_[i]), name)) {
            return i;
        }
    }
    return lines_.size();
}

std::size_t THttpHeaderList::EndOfField(std::size_t index) const {
    std::size_t end = index + 1;
    while (end < lines_.size() && IsContinuation(lines_[end])) {
        ++end;
    }
    return end;
}

std::string THttpHeaderList::JoinedValue(std::size_t index) const {
    const std::string& line = lines_[index];
    // The name and the one separator character after it are skipped.
    const std::size_t skip = NameOf(line).size() + 1;
    const std::string_view first =
        skip < line.size() ? std::string_view(line).substr(skip) : std::string_view();
    const std::size_t end = EndOfField(index);
    if (end == index + 1) {
        // A field of one line, as nearly all are: its value is cut out once.
        return TrimLeft(first);
    }
    std::string value(first);
    for (std::size_t i = index + 1; i < end; ++i) {
        // An empty value takes the continuation as it is: the result is
        // left-trimmed anyway.
        if (!value.empty() && value.back() != ' ' && value.back() != '\t') {
            value += ' ';
        }
        value += TrimLeft(lines_[i]);
    }
    return TrimLeft(value);
}

std::string THttpHeaderList::ValueOf(const std::string& name) const {
    const std::size_t index = IndexOf(name);
    return index < lines_.size() ? JoinedValue(index) : std::string();
}

std::vector<std::string> THttpHeaderList::ValuesOf(const std::string& name) const {
    std::vector<std::string> values;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (!IsContinuation(lines_[i]) && SameText(NameOf(lines_[i]), name)) {
            values.push_back(JoinedValue(i));
        }
    }
    return values;
}

void THttpHeaderList::PutValue(const std::string& name, const std::string& value) {
    if (value.empty()) {
        Delete(name);
        return;
    }
    const std::vector<std::string> pieces = Fold(name + ": " + value);
    const std::size_t index = IndexOf(name);
    if (index == lines_.size()) {
        lines_.insert(lines_.end(), pieces.begin(), pieces.end());
        return;
    }
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(index),
                 lines_.begin() + static_cast<std::ptrdiff_t>(EndOfField(index)));
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(index), pieces.begin(),
                  pieces.end());
}

void THttpHeaderList::TakeFirstValues(std::span<const std::string_view> names,
                                      std::span<std::optional<std::string>> values) {
    for (std::optional<std::string>& value : values) {
        value.reset();
    }
    // A continuation line never bears one of the names (they begin with no
    // blank), so the first line of each name is the same before and after
    // the other names' lines are taken out.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < lines_.size();) {
        const std::size_t end = EndOfField(i);
        const std::string_view name = NameOf(lines_[i]);
        std::size_t which = 0;
        while (which < names.size() && (values[which] || !SameText(name, names[which]))) {
            ++which;
        }
        if (which < names.size()) {
            values[which] = JoinedValue(i);
        } else {
            for (std::size_t k = i; k < end; ++k) {
                if (kept != k) {
                    lines_[kept] = std::move(lines_[k]);
                }
                ++kept;
            }
        }
        i = end;
    }
    lines_.resize(kept);
}

void THttpHeaderList::Delete(const std::string& name) {
    const std::size_t index = IndexOf(name);
    if (index < lines_.size()) {
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(index),
                     lines_.begin() + static_cast<std::ptrdiff_t>(EndOfField(index)));
    }
}

}  // namespace tessellon

#pragma once
// A list of header lines, unsorted and with duplicates allowed, as they go on
// the wire. The name of a line is the text before its first ":", compared
// without regard to case; a line that begins with a blank or a tab continues
// the line before it.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessellon {

class THttpHeaderList {
public:
    std::size_t Count() const { return lines_.size(); }
    bool Empty() const { return lines_.empty(); }
    const std::string& operator[](std::size_t index) const { return lines_[index]; }
    const std::vector<std::string>& Lines() const { return lines_; }
    void Add(std::string line) { lines_.push_back(std::move(line)); }
    void AddAll(const THttpHeaderList& other);
    void Clear() { lines_.clear(); }

    bool Has(const std::string& name) const { return IndexOf(name) < lines_.size(); }
    // The value of the first line of that name, its continuation lines
    // joined with one blank, left-trimmed; "" when there is none.
    std::string ValueOf(const std::string& name) const;
    // Every line of that name, each with its continuations joined.
    std::vector<std::string> ValuesOf(const std::string& name) const;
    // With a value, replaces the first line of that name (with its
    // continuations), or appends one; lines over 78 characters are folded.
    // Without a value, deletes that line and its continuations.
    void PutValue(const std::string& name, const std::string& value);
    // Deletes the first line of that name with its continuations.
    void Delete(const std::string& name);
    // For each of `names`, the value of its first line (none when there is
    // none) into `values`, and that line deleted with its continuations: the
    // same as ValueOf() and Delete() name by name, in one pass.
    void TakeFirstValues(std::span<const std::string_view> names,
                         std::span<std::optional<std::string>> values);

    // The name of a line: the text before its first ":", "" without one.
    static std::string_view NameOf(std::string_view line);

private:
    // Index of the first line of that name, or Count().
    std::size_t IndexOf(std::string_view name) const;
    std::string JoinedValue(std::size_t index) const;
    // One past the last continuation line of the line at `index`.
    std::size_t EndOfField(std::size_t index) const;

    std::vector<std::string> lines_;
};

}  // namespace tessellon
